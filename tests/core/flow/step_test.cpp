#include "core/flow/step.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "core/flow/circulation.h"
#include "core/model_fixtures.h"

namespace mdv {
namespace {

using test::PointNear;
using test::RealNear;

// The default hood, solved, ready for a step.
Model SolvedDefault(int32_t maxFree = 100) {
  Model m;
  m.MaxFreeVortex = maxFree;
  BuildArea(m);
  SetSheddingIntervals(m, 0, 0, 0);
  m.ShedOffset = m.VortexSpacing / 2;
  m.NewFreeVortices.assign(static_cast<size_t>(maxFree), TVortex{});
  test::SolveAttached(m);
  return m;
}

TEST(ConvectFreeVortices, RemovalAtTheSuctionBarrierKeepsTheOrder) {
  Model m = SolvedDefault();
  const int32_t n = m.AttachedCount;
  m.FreeVortexCount = 3;
  m.Vortices[n] = TVortex{{0.5L, 0.07L}, 1e-4L};
  m.Vortices[n + 1] = TVortex{{0.994L, 0.07L}, 2e-4L};  // 1 mm before the suction barrier
  m.Vortices[n + 2] = TVortex{{0.3L, 0.1L}, 3e-4L};
  const Model before = m;

  ConvectFreeVortices(m);
  ASSERT_EQ(m.FreeVortexCount, 2);
  EXPECT_EQ(m.Vortices[n].Gamma, 1e-4L);
  EXPECT_EQ(m.Vortices[n + 1].Gamma, 3e-4L) << "the vortex after the removed one moved down";
  // Each survivor made a plain Euler step with the velocity of the old state.
  for (int32_t k : {0, 2}) {
    const TVortex& v = before.Vortices[n + k];
    const Real u = CalcVelocity(before, v.Pos, {1, 0}, n + k);
    const Real w = CalcVelocity(before, v.Pos, {0, 1}, n + k);
    const TRealPoint& moved = m.Vortices[n + (k == 0 ? 0 : 1)].Pos;
    EXPECT_TRUE(PointNear(moved, {u * m.Dt + v.Pos.X, w * m.Dt + v.Pos.Y}, 0)) << k;
    EXPECT_GT(moved.X, v.Pos.X) << "carried toward the suction section";
  }
  for (int32_t i = 0; i < n; ++i) {
    ASSERT_TRUE(PointNear(m.Vortices[i].Pos, before.Vortices[i].Pos, 0)) << "attached " << i;
  }
}

// A hand-made field: one ring of circulation 1 at (0, 1) drives free vortices
// on its plane in +x. Barrier 0 is a short suction line, barrier 1 an oblique wall.
TEST(ConvectFreeVortices, SlidingAlongAWallAndRemoval) {
  Model m;
  m.AttachedCount = 1;
  m.FreeVortexCount = 3;
  m.MaxFreeVortex = 3;
  m.Dt = 0.5L;
  m.Vortices = {TVortex{{0, 1}, 1}, TVortex{{0, 0.5L}, 0.02L}, TVortex{{0, 0.6L}, 0.01L},
                TVortex{{0, 0.3L}, 0.03L}};
  m.NewFreeVortices.resize(3);
  const TRib wall{{0.03L, 0}, {0.05L, 2}};
  m.BarrierRibs = {TRib{{0.02L, 0.55L}, {0.02L, 0.7L}}, wall};
  m.BarrierRibCount = 2;
  m.SuctionRib = 0;
  const Model before = m;

  ConvectFreeVortices(m);
  ASSERT_EQ(m.FreeVortexCount, 2) << "the vortex at y = 0.6 crossed the suction line";
  const int32_t survivors[] = {1, 3};
  const TRealPoint t{0.02L / std::sqrt(0.02L * 0.02L + 4), 2 / std::sqrt(0.02L * 0.02L + 4)};
  for (int k = 0; k < 2; ++k) {
    SCOPED_TRACE(k);
    const TVortex& old = before.Vortices[survivors[k]];
    const TVortex& now = m.Vortices[1 + k];
    EXPECT_EQ(now.Gamma, old.Gamma);
    const Real u = CalcVelocity(before, old.Pos, {1, 0}, survivors[k]);
    const TRealPoint euler{u * m.Dt + old.Pos.X, old.Pos.Y};
    ASSERT_GT(euler.X, 0.06L) << "the Euler step passes the wall";
    // On the start side, 1e-4 m back along the step from the crossing
    // (so 1e-4 sin θ from the wall's line), at the foot of the perpendicular.
    Real a, b, c;
    LineCoefs(wall.P1, wall.P2, a, b, c);
    EXPECT_EQ(LineValue(now.Pos, double(a), double(b), double(c)) > 0,
              LineValue(old.Pos, double(a), double(b), double(c)) > 0);
    const Real sinTheta = t.Y;  // the step runs along +x
    EXPECT_TRUE(RealNear(DistToLine(now.Pos, wall.P1, wall.P2), 1e-4L * sinTheta, 1e-15L));
    EXPECT_TRUE(RealNear(DotProduct(euler - now.Pos, t), 0, 1e-15L));
  }
}

TEST(ShedVortices, DefaultEdgesShedOutsideTheBarrier) {
  Model m = SolvedDefault();
  std::vector<int32_t> counters(3, 0);
  ShedVortices(m, counters);
  ASSERT_EQ(m.FreeVortexCount, 3);
  const int32_t n = m.AttachedCount;
  for (int32_t s = 0; s < 3; ++s) {
    SCOPED_TRACE(s);
    const TVortex& edge = m.Vortices[m.SeparationIndex[s]];
    const TVortex& nv = m.Vortices[n + s];
    EXPECT_EQ(nv.Gamma, edge.Gamma) << "takes the edge's circulation";
    EXPECT_TRUE(PathCrossesRibs(edge.Pos, nv.Pos, m.BarrierRibs)) << "on the fluid side";
    // Either half a spacing along the flow, or pushed out along the bisector
    // to just beyond the barrier.
    const Real d = PointDistance(edge.Pos, nv.Pos);
    Real nearestWall = 1;
    for (const TRib& r : m.BarrierRibs) nearestWall = std::min(nearestWall, DistToLine(nv.Pos, r.P1, r.P2));
    EXPECT_TRUE(std::fabs(d - m.ShedOffset) <= 1e-15L || nearestWall <= 1e-4L + 1e-12L)
        << "distance " << test::Show(d) << ", from the barrier " << test::Show(nearestWall);
  }
  EXPECT_EQ(counters, (std::vector<int32_t>{0, 0, 0}));
}

TEST(ShedVortices, LimitStopsSheddingAndTheCounters) {
  Model m = SolvedDefault(2);
  SetSheddingIntervals(m, 1, 1, 1);
  std::vector<int32_t> counters(3, 0);
  ShedVortices(m, counters);
  EXPECT_EQ(m.FreeVortexCount, 2) << "points 0 and 1 only";
  EXPECT_EQ(counters, (std::vector<int32_t>{1, 1, 0})) << "point 2 blocked: no advance";
  ShedVortices(m, counters);
  EXPECT_EQ(m.FreeVortexCount, 2);
  EXPECT_EQ(counters, (std::vector<int32_t>{1, 1, 0})) << "all blocked at the limit";
}

TEST(ShedVortices, IntervalsZeroTwoZero) {
  Model m = SolvedDefault();
  SetSheddingIntervals(m, 0, 2, 0);
  std::vector<int32_t> counters(3, 0);
  const int expected[] = {3, 2, 2, 3, 2, 2, 3};  // point 1 in steps 1, 4, 7
  for (int step = 0; step < 7; ++step) {
    const int32_t before = m.FreeVortexCount;
    ShedVortices(m, counters);
    EXPECT_EQ(m.FreeVortexCount - before, expected[step]) << "step " << step + 1;
    EXPECT_EQ(counters[1], (step + 1) % 3) << "step " << step + 1;
  }
}

TEST(ShedVortices, SecondEdgeIgnoresTheVortexShedJustBefore) {
  Model base = SolvedDefault();
  const int32_t n = base.AttachedCount;
  // An older free vortex near the inner tip, which the direction must see.
  base.FreeVortexCount = 1;
  base.Vortices[n] = TVortex{{-0.40L, 0.33L}, 0.02L};

  Model both = base;
  std::vector<int32_t> all(3, 0);
  ShedVortices(both, all);
  ASSERT_EQ(both.FreeVortexCount, 4);

  Model alone = base;  // point 0 not due: point 1 sheds first
  SetSheddingIntervals(alone, 1, 0, 0);
  std::vector<int32_t> skipFirst = {1, 0, 0};
  ShedVortices(alone, skipFirst);
  ASSERT_EQ(alone.FreeVortexCount, 3);
  EXPECT_TRUE(PointNear(both.Vortices[n + 2].Pos, alone.Vortices[n + 1].Pos, 0));

  Model noOld = base;
  noOld.FreeVortexCount = 0;
  std::vector<int32_t> fresh(3, 0);
  ShedVortices(noOld, fresh);
  EXPECT_FALSE(PointNear(noOld.Vortices[n + 1].Pos, both.Vortices[n + 2].Pos, 1e-12L))
      << "the older free vortex changes the direction";
}

TEST(ShedVortices, StillAirAtAnEdgeShedsNothingThere) {
  // All attached circulations zero; one older free vortex sits exactly on the
  // outer tip, so the cut-off hides it there: the tip sees no velocity.
  Model m;
  BuildArea(m);
  m.ShedOffset = m.VortexSpacing / 2;
  const int32_t n = m.AttachedCount;
  m.FreeVortexCount = 1;
  m.Vortices[n] = TVortex{m.Vortices[m.SeparationIndex[0]].Pos, 0.05L};

  Model reference = m;
  SetSheddingIntervals(m, 1, 1, 1);
  SetSheddingIntervals(reference, 1, 1, 1);
  std::vector<int32_t> counters(3, 0);
  ShedVortices(m, counters);
  EXPECT_EQ(counters, (std::vector<int32_t>{1, 1, 1})) << "every counter advances";
  ASSERT_EQ(m.FreeVortexCount, 3) << "no vortex at the still tip";

  std::vector<int32_t> tipNotDue = {1, 0, 0};
  ShedVortices(reference, tipNotDue);
  ASSERT_EQ(reference.FreeVortexCount, 3);
  for (int32_t k = n + 1; k < n + 3; ++k) {
    EXPECT_TRUE(std::isfinite(m.Vortices[k].Pos.X) && std::isfinite(m.Vortices[k].Pos.Y));
    EXPECT_TRUE(PointNear(m.Vortices[k].Pos, reference.Vortices[k].Pos, 0))
        << "later edges see the older vortex as if nothing had been tried at the tip";
  }
}

}  // namespace
}  // namespace mdv
