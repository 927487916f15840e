// The refined model's field and the parts of its step that the order and
// shedding tests leave open: the field against its own sum written out (both
// paths, both attached kernels), merging at the edges of its rules, and the
// two paths stepping alike.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "core/flow/circulation.h"
#include "core/flow/run.h"
#include "core/flow/vector_kernel.h"
#include "core/flow/refined_step.h"
#include "core/flow/ring_kernel.h"
#include "core/flow/ring_merging.h"
#include "core/flow/smoothed_kernel.h"
#include "core/model_fixtures.h"

namespace mdv {
namespace {

using test::RealNear;

// The coarse hood with free rings in front of it, the attached circulations
// solved on `arithmetic`; a strong ring is left just past the free count, as
// a removed ring leaves it, which no sum may take.
Model WithRings(Precision arithmetic) {
  Model m = test::CoarseModel(0.05L);
  m.Flow = FlowModel::Refined;
  m.Exec.Arithmetic = arithmetic;
  m.MaxFreeVortex = 8;
  m.Dt = 0.005L;
  RefinedStep().Prepare(m);
  const TVortex rings[] = {{{-0.20L, 0.30L}, 0.02L}, {{-0.10L, 0.12L}, -0.01L}, {{0.05L, 0.13L}, 0.015L}};
  const int32_t n = m.AttachedCount;
  for (int k = 0; k < 3; ++k) m.Vortices[n + k] = rings[k];
  m.Vortices[n + 3] = TVortex{{-0.12L, 0.12L}, 5.0L};
  m.FreeVortexCount = 3;
  test::SolveAttached(m);
  return m;
}

// Σ attached (beyond the cut-off s/2 − 1e-5 m, s the shortest spacing of the
// contour: here the end face's 0,02 m, one interval of h = 0,05 m) + Σ free
// smoothed over δ = D/30 = 0,01 m.
void SumWrittenOut(const Model& m, const TRealPoint& p, Real& u, Real& v) {
  const int32_t n = m.AttachedCount;
  const Real cutOff = m.WallThickness / 2 - 1e-5L;
  u = v = 0;
  for (int32_t i = 0; i < n + m.FreeVortexCount; ++i) {
    const TVortex& w = m.Vortices[i];
    Real ku = 0, kv = 0;
    if (i >= n) {
      ring::SmoothedPair(p, w, 0.01L * 0.01L, ku, kv);
    } else if (PointDistance(p, w.Pos) >= cutOff) {
      ring::Pair(p, w, ku, kv);
    }
    u += ku * w.Gamma;
    v += kv * w.Gamma;
  }
}

TEST(RefinedField, IsItsSumWrittenOutOnBothPaths) {
  struct Row {
    const char* name;
    Precision arithmetic;
    Real tolerance;  // m/s
  };
  const Row rows[] = {{"extended", Precision::Extended, 1e-15L}, {"double", Precision::Double, 1e-11L}};
  // In front of the hood, on a free ring, beside the first attached ring
  // (within its cut-off; and 8 mm off, inside the cut-off of 0,00999 m but
  // beyond a third of the spacing), on the axis.
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const Model m = WithRings(r.arithmetic);
    const TRealPoint first = m.Vortices[0].Pos;
    const TRealPoint points[] = {{-0.15L, 0.2L}, {-0.10L, 0.12L}, {first.X + 0.005L, first.Y},
                                   {first.X + 0.008L, first.Y}, {-0.3L, 0}};
    for (const TRealPoint& p : points) {
      SCOPED_TRACE(test::Show(p));
      Real u, v, eu, ev;
      CalcVelocityPair(m, p, -1, u, v);
      SumWrittenOut(m, p, eu, ev);
      EXPECT_TRUE(RealNear(u, eu, r.tolerance * (1 + std::fabs(eu))));
      EXPECT_TRUE(RealNear(v, ev, r.tolerance * (1 + std::fabs(ev))));
    }
  }
}

// Free rings of a built model appended after the attached ones, all old.
Model Appended(const std::vector<TVortex>& rings, int32_t room) {
  Model m = test::CoarseModel(0.05L);
  m.Flow = FlowModel::Refined;
  m.MaxFreeVortex = room;
  m.Time = 1;
  RefinedStep().Prepare(m);
  for (size_t k = 0; k < rings.size(); ++k) {
    m.Vortices[m.AttachedCount + k] = rings[k];
    m.RefinedWork.Birth[k] = 0;
  }
  m.FreeVortexCount = static_cast<int32_t>(rings.size());
  return m;
}

TEST(MergeFreeRings, OneMergeAndAFullCeiling) {
  const std::vector<TVortex> rings = {
      {{-0.20L, 0.30L}, 0.010L}, {{-0.203L, 0.302L}, 0.004L}, {{-0.20L, 0.40L}, 0.010L}};
  struct Row {
    const char* name;
    int32_t room;  // the ceiling: 3 is every free place taken
  };
  for (const Row& r : {Row{"room to spare", 10}, Row{"at the ceiling", 3}}) {
    SCOPED_TRACE(r.name);
    Model m = Appended(rings, r.room);
    EXPECT_EQ(MergeFreeRings(m, 0.005L, 0.1L), 1);
    ASSERT_EQ(m.FreeVortexCount, 2);
    const int32_t n = m.AttachedCount;
    EXPECT_EQ(m.Vortices[n].Gamma, 0.014L);
    EXPECT_TRUE(RealNear(m.Vortices[n].Pos.Y * m.Vortices[n].Pos.Y * 0.014L,
                         0.010L * 0.09L + 0.004L * 0.302L * 0.302L, 1e-18L));
    EXPECT_EQ(m.Vortices[n + 1].Pos.Y, 0.40L) << "the third ring moved down one place";
  }
  // Two rings on the axis carry no impulse: the midpoint.
  const TVortex c = MergedRing({{0.1L, 0}, 0.01L}, {{0.3L, 0}, 0.02L});
  EXPECT_EQ(c.Pos.X, 0.2L);
  EXPECT_EQ(c.Pos.Y, 0);
  EXPECT_EQ(c.Gamma, 0.03L);
}

TEST(RefinedStep, MergesWithinHalfASpacingRingsOlderThanAThirdOfATransit) {
  // Pairs of weak rings 0,45·h and 0,55·h apart (h = 0,05 m), far from each
  // other and the walls; only the first pair is close enough.
  const std::vector<TVortex> rings = {{{-0.30L, 0.45L}, 1e-6L}, {{-0.30L, 0.4725L}, 1e-6L},
                                      {{-0.45L, 0.30L}, 1e-6L}, {{-0.45L, 0.3275L}, 1e-6L}};
  struct Row {
    const char* name;
    Real age;   // s
    Real v0;    // suction speed, m/s: the merge age is D/(3·v0)
    int64_t merged;
  };
  const Row rows[] = {{"1 s old", 1, 1, 1},
                      {"0,09 s old, younger than 0,1 s", 0.09L, 1, 0},
                      {"0,09 s old at v0 = 2 m/s, older than 0,05 s", 0.09L, 2, 1}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Model m = Appended(rings, 20);
    m.SuctionSpeed = r.v0;
    m.Exec.Arithmetic = Precision::Double;
    m.Dt = 1e-4L;
    for (size_t k = 0; k < rings.size(); ++k) m.RefinedWork.Birth[k] = m.Time - r.age;
    test::SolveAttached(m);
    std::vector<int32_t> counters;
    RefinedStep().Move(m, counters);
    EXPECT_EQ(m.RefinedCount.Merged, r.merged);
  }
}

TEST(RefinedStep, BothPathsStepAlike) {
  // Three steps with shedding: the double path's copy of the rings must
  // follow every ring the step adds, removes or merges.
  std::vector<TVortex> end[2];
  for (int path = 0; path < 2; ++path) {
    Model m = WithRings(path == 0 ? Precision::Extended : Precision::Double);
    m.MaxFreeVortex = 8;
    std::vector<int32_t> counters;
    for (int s = 0; s < 3; ++s) {
      m.Time += m.Dt;
      RefinedStep().Move(m, counters);
    }
    end[path].assign(m.Vortices.begin() + m.AttachedCount,
                     m.Vortices.begin() + m.AttachedCount + m.FreeVortexCount);
  }
  ASSERT_EQ(end[0].size(), end[1].size());
  ASSERT_GT(end[0].size(), 3u) << "rings were shed";
  for (size_t k = 0; k < end[0].size(); ++k) {
    SCOPED_TRACE(k);
    EXPECT_TRUE(test::PointNear(end[1][k].Pos, end[0][k].Pos, 1e-9L));
    EXPECT_TRUE(RealNear(end[1][k].Gamma, end[0][k].Gamma, 1e-9L * (1 + std::fabs(end[0][k].Gamma))));
  }
}

TEST(RefinedField, MutualSumsAreEachRingsOwnToRoundingOnAnyThreadCount) {
  // 301 free rings (four tiles and a short fifth), of both signs, close
  // pairs, one on the axis as the predictor leaves a ring bound for it: the
  // double path's velocity at every free ring, each pair of free rings
  // evaluated once for both, against each ring's own sum (CalcVelocityPair,
  // another order of the same terms); the same bits on 1 and 2 threads.
  Model m = test::CoarseModel(0.05L);
  m.Flow = FlowModel::Refined;
  m.Exec.Arithmetic = Precision::Double;
  m.MaxFreeVortex = 301;
  RefinedStep().Prepare(m);
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> unit(0, 1);
  const int32_t n = m.AttachedCount;
  for (int32_t k = 0; k < 301; ++k) {
    const TRealPoint p{-0.4L + 0.6L * unit(rng), k == 150 ? 0 : 0.02L + 0.4L * unit(rng)};
    m.Vortices[n + k] = TVortex{k % 9 == 1 ? TRealPoint{m.Vortices[n + k - 1].Pos.X + 1e-4L, p.Y} : p,
                                (unit(rng) < 0.4 ? -1 : 1) * 0.01L * unit(rng)};
  }
  m.FreeVortexCount = 301;
  test::SolveAttached(m);
  TRealPointArray mutual[2];
  for (int threads = 1; threads <= 2; ++threads) {
    m.Exec.Threads = threads;
    mutual[threads - 1].assign(301, TRealPoint{});
    FreeRingVelocities(m, mutual[threads - 1]);
  }
  double worst = 0;
  for (int32_t k = 0; k < 301; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(mutual[0][k].X, mutual[1][k].X);
    EXPECT_EQ(mutual[0][k].Y, mutual[1][k].Y);
    Real u, v;
    CalcVelocityPair(m, m.Vortices[n + k].Pos, -1, u, v);
    // Rounding of sums whose terms reach some m/s: 1e-13 m/s is a few hundred ulps of them.
    worst = std::max({worst, static_cast<double>(std::fabs(mutual[0][k].X - u)),
                      static_cast<double>(std::fabs(mutual[0][k].Y - v))});
    EXPECT_TRUE(RealNear(mutual[0][k].X, u, 1e-13L)) << u;
    EXPECT_TRUE(RealNear(mutual[0][k].Y, v, 1e-13L)) << v;
  }
  EXPECT_GT(worst, 0) << "another order of the terms rounds otherwise somewhere";
  EXPECT_EQ(mutual[0][150].Y, 0) << "on the axis no radial velocity";
  // The extended path takes each ring's own sum.
  m.Exec.Arithmetic = Precision::Extended;
  test::SolveAttached(m);
  FreeRingVelocities(m, mutual[0]);
  for (int32_t k = 0; k < 301; k += 10) {
    Real u, v;
    CalcVelocityPair(m, m.Vortices[n + k].Pos, -1, u, v);
    EXPECT_EQ(mutual[0][k].X, u) << k;
    EXPECT_EQ(mutual[0][k].Y, v) << k;
  }
}

TEST(RefinedField, RightHandSideFromKeptTilesIsTheOneSummedAfresh) {
  // The run loop's right-hand side after shedding keeps the tiles of the
  // rings shedding left alone, and one after a ring in the second tile moved
  // keeps the first: each must be the one summed afresh, to the bit.
  Model m = test::CoarseModel(0.02L);
  m.Flow = FlowModel::Refined;
  m.Exec.Arithmetic = Precision::Double;
  RunSimulation(m, 4000, 0, 0, 0.5L, 0.005L, NullObserver());
  m.MaxFreeVortex = 4000;
  RefinedStep().Prepare(m);
  const int32_t n = m.AttachedCount;
  for (int32_t k = 0; k < 150; ++k)  // two rows of rings downstream, too far apart to merge: more tiles
    m.Vortices[n + m.FreeVortexCount++] = TVortex{TRealPoint{-0.6L + 0.012L * (k % 75), 0.25L + 0.05L * (k / 75)}, 1e-3L};
  ++m.Revision;
  test::SolveAttached(m);
  std::vector<int32_t> counters;
  m.Time += m.Dt;
  RefinedStep().Move(m, counters);
  RefinedScratch& w = m.RefinedWork;
  const auto afresh = [](Model& model) {
    model.RefinedWork.RhsRings.Rings = 0;
    UpdateRightHandSide(model);
    return model.Double.System.Rhs;
  };
  // Kept tiles are not summed again: spoilt, the first one shows in the sum.
  Model spoilt = m;
  spoilt.RefinedWork.RhsU[0] = std::nan("");
  UpdateRightHandSide(spoilt);
  EXPECT_TRUE(std::isnan(spoilt.Double.System.Rhs[0]));
  UpdateRightHandSide(m);
  const std::vector<double> kept = m.Double.System.Rhs;
  EXPECT_EQ(kept, afresh(m));
  ASSERT_GT(m.FreeVortexCount, 2 * vk::TileRings);
  m.Vortices[n + vk::TileRings + 6].Pos.Y += 1e-3L;  // m
  ++m.Revision;
  w.RhsU[0] = std::nan("");  // the first tile, which stands, spoilt again
  UpdateRightHandSide(m);
  EXPECT_TRUE(std::isnan(m.Double.System.Rhs[0]));
  const std::vector<double> fresh = afresh(m);
  w.RhsRings.Rings = 0;
  UpdateRightHandSide(m);  // every tile
  m.Vortices[n + vk::TileRings + 6].Pos.Y += 1e-3L;
  ++m.Revision;
  UpdateRightHandSide(m);  // the first tile kept
  const std::vector<double> moved = m.Double.System.Rhs;
  EXPECT_EQ(moved, afresh(m));
  EXPECT_NE(moved, fresh);
  m.Refined.SmoothingLength = 0.02L;  // m: another δ, no tile stands
  UpdateRightHandSide(m);
  const std::vector<double> wider = m.Double.System.Rhs;
  EXPECT_EQ(wider, afresh(m));
  EXPECT_NE(wider, moved);
}

}  // namespace
}  // namespace mdv
