// The refined model at the walls: the field the free rings move in meets the
// wall condition at every control point, and the distance to the walls (the
// diffusion's mirror) is measured to the walls' own lines.
#include <gtest/gtest.h>

#include <cmath>

#include "core/flow/circulation.h"
#include "core/flow/refined_step.h"
#include "core/flow/run.h"
#include "core/model_fixtures.h"

namespace mdv {
namespace {

// Largest |u·n − Vn| over the control points with a row of their own, m/s.
Real WallMiss(const Model& m) {
  Real miss = 0;
  for (int32_t i = 0; i + 1 < m.AttachedCount; ++i) {
    const TCalcPoint& cp = m.CalcPoints[i];
    Real u, v;
    CalcVelocityPair(m, cp.Pos, -1, u, v);
    miss = std::max(miss, std::fabs(cp.Normal.X * u + cp.Normal.Y * v - cp.Vn));
  }
  return miss;
}

// At h = 0,02 m the suction section (0,15 m in 8 intervals of 0,01875 m) and,
// at α = 30°, the outer wall and the flange have spacings below h: a cut-off
// of h/2 left out both neighbours of their control points, which the solve
// counts (0,35 m/s off at the section's first point).
TEST(RefinedWallCondition, MetAtEveryControlPointAfterSteps) {
  for (const Real alpha : {0.0L, Pi / 6}) {
    for (const Precision p : {Precision::Double, Precision::Extended}) {
      SCOPED_TRACE(static_cast<double>(alpha));
      SCOPED_TRACE(static_cast<int>(p));
      Model m = test::CoarseModel(0.02L);
      m.FlangeAngle = alpha;
      m.PlaneX = -1;
      m.InflowSpeed = 0;
      BuildArea(m);
      ASSERT_LT(m.AttachedSpacingMin, 0.0199L);
      m.Flow = FlowModel::Refined;
      m.Exec.Arithmetic = p;
      const RunSummary r = RunSimulation(m, 4000, 0, 0, 0.2L, 0.01L, NullObserver());
      ASSERT_EQ(r.HowEnded, RunSummary::End::TimeLimit) << r.Message;
      ASSERT_GT(m.FreeVortexCount, 10);
      EXPECT_LT(WallMiss(m), 1e-12L);
    }
  }
}

TEST(WallDistance, ToTheNearestWallButTheSection) {
  Model m = test::CoarseModel(0.01L);
  m.FlangeAngle = 0;  // the re-entrant tube: inner wall y = B for −0,5 ≤ x ≤ 1,2, end face x = −0,5
  m.PlaneX = -4;
  BuildArea(m);
  m.Flow = FlowModel::Refined;
  const Real B = m.ChannelRadius, W = m.WallThickness;
  struct Row {
    TRealPoint p;
    Real distance;  // by hand, m
  };
  for (const Row& row : {Row{{0.3L, B - 0.03L}, 0.03L},                       // inside, off the inner wall
                         Row{{0.3L, B + W + 0.004L}, 0.004L},                 // outside, off the outer wall
                         Row{{-0.53L, B + 0.01L}, 0.03L},                     // in front of the end face
                         Row{{-0.53L, B + W + 0.04L}, 0.05L},                 // off the outer lip corner (3-4-5)
                         Row{{0.9L, 0.01L}, B - 0.01L},                       // by the section: no wall there
                         Row{{-3.9L, 0.2L}, 0.1L}}) {                         // the plane
    SCOPED_TRACE(test::Show(row.p));
    EXPECT_TRUE(test::RealNear(WallDistance(m, row.p), row.distance, 1e-15L));
  }
}

}  // namespace
}  // namespace mdv
