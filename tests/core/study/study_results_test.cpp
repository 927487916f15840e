// A case's end-state results against the windows: the vortex zone as the
// vortex-zone window lists it for the same state, then the point's speeds.
#include <gtest/gtest.h>

#include <cmath>

#include "core/analysis/vortex_area.h"
#include "core/base/numfmt.h"
#include "core/flow/circulation.h"
#include "core/flow/run.h"
#include "core/model_fixtures.h"
#include "core/study/study_results.h"

namespace mdv {
namespace {

TEST(StudyResults, EndStateZoneIsTheWindowsSevenRowsThenThePoints) {
  Model m = test::DefaultModel();
  const RunSummary run = RunSimulation(m, 100, 0, 0, 0.1L, 0.005L);
  ASSERT_GT(m.FreeVortexCount, 0) << run.Message;
  ResultRequest request;
  request.VortexZone = true;
  request.Points = {{-0.1L, 0.2L}};
  CaseResults r;
  std::string error;
  ASSERT_TRUE(EndStateResults(m, request, r, error)) << error;

  // The window measures from its own proposals, read from its texts.
  const VortexAreaStartTexts t = DefaultVortexAreaStart(m);
  TVortexAreaParams zone;
  ASSERT_TRUE(CalcVortexAreaParams(m, {*ParseReal(t.FirstX), *ParseReal(t.FirstY)},
                                   {*ParseReal(t.SecondX), *ParseReal(t.SecondY)}, zone, *ParseReal(t.Dt))
                  .Ok);
  const std::vector<VortexAreaRow> rows = VortexAreaRows(zone);
  ASSERT_EQ(r.size(), rows.size() + 3) << "seven dimensions, then vx, vy, v";
  for (size_t k = 0; k < rows.size(); ++k) {
    SCOPED_TRACE(rows[k].Label);
    EXPECT_EQ(ResultLabel(r[k].Name), rows[k].Label);
    EXPECT_EQ(r[k].Unit, "м");
    EXPECT_EQ(FormatFixed(r[k].Value, 6, 4), rows[k].Value);
  }
  EXPECT_EQ(r[rows.size()].Name, "vx(-0,1 0,2)");
  EXPECT_EQ(r.back().Name, "v(-0,1 0,2)");
}

}  // namespace
}  // namespace mdv
