// The centre-line speeds before the hood against values worked out by hand
// for B = 0,1 m: the disc sink 1 − x/√(x² + B²) and DallaValle's
// A/(10x² + A) (flanged: over 0,75), A = πB²; the model's stations in the
// flow only; the table and CSV texts.
#include "core/analysis/centreline.h"

#include <gtest/gtest.h>

#include "core/flow/circulation.h"
#include "core/model/area.h"
#include "core/model_fixtures.h"

#include <cmath>
#include <limits>
#include <vector>

namespace mdv {
namespace {

Model Hood() {
  Model m;
  m.ChannelRadius = 0.1L;
  m.SuctionSpeed = 2;
  m.VortexSpacing = 0.02L;
  m.PlaneX = -0.45L;  // stations up to x = 0,44 m (x/D = 2,2) lie in the flow
  return m;
}

TEST(Centreline, StationsAgainstHandValues) {
  struct Row {
    double xOverD, disc, flanged, plain;
  };
  const Row rows[] = {{0.1, 0.803884, 1.182742, 0.887056},  {0.25, 0.552786, 0.742484, 0.556863},
                      {0.5, 0.292893, 0.318743, 0.239057},  {0.75, 0.16795, 0.163359, 0.122519},
                      {1, 0.105573, 0.097094, 0.072821},    {1.5, 0.051317, 0.044972, 0.033729},
                      {2, 0.029857, 0.025676, 0.019257},    {3, 0.013606, 0.011535, 0.008651}};
  const Model m = Hood();
  std::vector<double> vx;
  for (int k = 0; k < CentrelineStationCount; ++k) vx.push_back(-0.1 * (k + 1));
  vx[3] = std::numeric_limits<double>::quiet_NaN();  // a station without a value
  const std::vector<CentrelineRow> c = CentrelineRows(m, vx);
  ASSERT_EQ(c.size(), std::size(rows));
  for (size_t k = 0; k < c.size(); ++k) {
    SCOPED_TRACE(rows[k].xOverD);
    EXPECT_EQ(c[k].XOverD, rows[k].xOverD);
    EXPECT_NEAR(c[k].DiscSink, rows[k].disc, 5e-7);
    EXPECT_NEAR(c[k].DallaValleFlanged, rows[k].flanged, 5e-7);
    EXPECT_NEAR(c[k].DallaVallePlain, rows[k].plain, 5e-7);
    const bool model = k != 3 && k != 7;  // NaN; behind the plane
    EXPECT_EQ(c[k].HasModel, model);
    if (model) {
      EXPECT_DOUBLE_EQ(c[k].Model, -0.05 * static_cast<double>(k + 1));
    }
  }
  EXPECT_DOUBLE_EQ(CentrelinePoint(m, 1.5).X, -0.3);
  EXPECT_EQ(CentrelinePoint(m, 1.5).Y, 0);
  EXPECT_TRUE(CentrelineInFlow(m, 2.19));
  EXPECT_FALSE(CentrelineInFlow(m, 2.21));
  // Fewer values than stations, or no suction: no model values.
  EXPECT_FALSE(CentrelineRows(m, std::vector<double>(2, 1.0))[2].HasModel);
  EXPECT_TRUE(CentrelineRows(m, std::vector<double>(2, 1.0))[1].HasModel);
  Model still = m;
  still.SuctionSpeed = 0;
  EXPECT_FALSE(CentrelineRows(still, vx)[0].HasModel);
}

// The model's column from a solved flow: at every station in the flow the
// axial velocity summed over every vortex at its point, over v0; the
// same on the reference path and on two threads.
TEST(Centreline, ModelColumnOfASolvedFlow) {
  for (const bool literal : {true, false}) {
    SCOPED_TRACE(literal);
    Model m = test::CoarseModel();
    m.Exec.Literal = literal;
    m.Exec.Threads = 2;
    test::SolveAttached(m);
    const std::vector<CentrelineRow> rows = CentrelineOfState(m);
    ASSERT_EQ(rows.size(), static_cast<size_t>(CentrelineStationCount));
    int inFlow = 0;
    for (const CentrelineRow& r : rows) {
      SCOPED_TRACE(r.XOverD);
      ASSERT_EQ(r.HasModel, CentrelineInFlow(m, r.XOverD));
      if (!r.HasModel) continue;
      ++inFlow;
      const TRealPoint p = CentrelinePoint(m, r.XOverD);  // checked by hand above
      const double vx = static_cast<double>(CalcVelocity(m, p, {1, 0}, -1));
      EXPECT_NEAR(r.Model, vx / static_cast<double>(m.SuctionSpeed), 1e-12 * std::fabs(r.Model));
      EXPECT_GT(r.Model, 0) << "towards the hood";
    }
    EXPECT_GE(inFlow, 6);
  }
}

TEST(Centreline, TableAndCsvTexts) {
  CentrelineRow a;
  a.XOverD = 0.5;
  a.HasModel = true;
  a.Model = 0.3141592;
  a.DiscSink = 0.2928932;
  a.DallaValleFlanged = 0.25;
  a.DallaVallePlain = 0.0123456;
  CentrelineRow b = a;
  b.XOverD = 3;
  b.HasModel = false;
  EXPECT_EQ(CentrelineCsv({a, b}),
            "x/D;model v/v0;disc sink;DallaValle flanged;DallaValle plain\n"
            "0,5;0,314159;0,292893;0,25;0,012346\n"
            "3;;0,292893;0,25;0,012346\n");
  const std::string t = CentrelineTable({a, b});
  EXPECT_NE(t.find("\n0,50\t0,3142\t0,2929\t0,2500\t0,0123\n"), std::string::npos) << t;
  EXPECT_NE(t.find("\n3,00\t—\t0,2929\t0,2500\t0,0123\n"), std::string::npos) << t;
}

}  // namespace
}  // namespace mdv
