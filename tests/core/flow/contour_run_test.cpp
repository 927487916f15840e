#include <gtest/gtest.h>

#include <cmath>

#include "core/flow/run.h"
#include "core/model/contour_area.h"
#include "core/model_fixtures.h"

namespace mdv {
namespace {

// The refined model's short run, double path.
RunSummary RunRefined(Model& m, int steps) {
  SetSheddingIntervals(m, 0, 0, 0);
  m.Flow = FlowModel::Refined;
  m.Exec.Arithmetic = Precision::Double;
  const Real dt = 0.005L;
  return RunSimulation(m, 4000, 0, 0, steps * dt - dt / 2, dt, NullObserver());
}

// The default hood through the general path moves its rings as the
// parametric build does: the two differ only where no ring goes (the
// barrier beyond the suction section, the far distance), so a short run
// gives the same rings to rounding.
TEST(ContourRun, ParametricHoodRunsAlike) {
  Model p;
  BuildArea(p);
  Model c;
  c.HoodContour = ParametricContour(p);
  c.ContourArea = true;
  BuildArea(c);
  ASSERT_EQ(RunRefined(p, 12).Steps, 12);
  ASSERT_EQ(RunRefined(c, 12).Steps, 12);
  ASSERT_EQ(c.FreeVortexCount, p.FreeVortexCount);
  ASSERT_GT(p.FreeVortexCount, 0);
  for (int32_t i = 0; i < p.AttachedCount + p.FreeVortexCount; ++i) {
    ASSERT_TRUE(test::PointNear(c.Vortices[i].Pos, p.Vortices[i].Pos, 1e-12L)) << i;
    ASSERT_NEAR(static_cast<double>(c.Vortices[i].Gamma), static_cast<double>(p.Vortices[i].Gamma), 1e-12) << i;
  }
}

// A contour with no shedding corner at the inlet (a rounded mouth) and one
// with more edges than the parametric hood's three both run: every corner
// found sheds, and none sheds where none is found.
TEST(ContourRun, AnyNumberOfSheddingCorners) {
  Contour round;
  round.Start = {0.0L, 0.6L};
  round.Wall = {{{0, 0.21L}, 0}, {{0.06L, 0.15L}, 0.06L}, {{1.2L, 0.15L}, 0}};
  round.PlaneX = -4;
  round.PlaneRadius = 0.5L;
  Model m;
  m.HoodContour = round;
  m.ContourArea = true;
  BuildArea(m);
  ASSERT_EQ(m.SeparationCount, 0);
  ASSERT_EQ(RunRefined(m, 6).Steps, 6);
  EXPECT_EQ(m.FreeVortexCount, 0);

  // A stepped lip: the tube end and two outer steps of its wall all shed.
  Contour stepped;
  stepped.Start = {1.2L, 0.25L};
  stepped.Wall = {{{0.3L, 0.25L}, 0}, {{0.3L, 0.2L}, 0}, {{0.1L, 0.2L}, 0}, {{0.1L, 0.17L}, 0},
                  {{0, 0.17L}, 0},    {{0, 0.15L}, 0},  {{1.2L, 0.15L}, 0}};
  stepped.PlaneX = -0.5L;
  m = Model{};
  m.HoodContour = stepped;
  m.ContourArea = true;
  BuildArea(m);
  ASSERT_EQ(m.SeparationCount, 4) << "two step edges and the tube end's two corners";
  ASSERT_EQ(RunRefined(m, 6).Steps, 6);
  for (int32_t e = 0; e < 4; ++e) {
    const TRealPoint edge = m.Vortices[m.SeparationIndex[e]].Pos;
    Real nearest = 1;  // m
    for (int32_t i = m.AttachedCount; i < m.AttachedCount + m.FreeVortexCount; ++i) {
      nearest = std::min(nearest, PointDistance(m.Vortices[i].Pos, edge));
    }
    EXPECT_LT(nearest, 3 * SmoothingLengthOf(m)) << "edge " << e << " shed nothing";
  }
}

}  // namespace
}  // namespace mdv
