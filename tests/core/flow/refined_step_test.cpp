// The refined model: merging, the smoothed kernel on both paths, Heun's
// order, the shedding rule, the axis and the free-vortex ceiling.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "core/flow/refined_step.h"
#include "core/flow/ring_kernel.h"
#include "core/flow/ring_merging.h"
#include "core/flow/run.h"
#include "core/flow/smoothed_kernel.h"
#include "core/flow/vector_kernel.h"
#include "core/model_fixtures.h"

namespace mdv {
namespace {

using test::RealNear;

TEST(MergedRing, KeepsCirculationAndImpulse) {
  struct Row {
    const char* name;
    TVortex a, b;
  };
  const Row rows[] = {
      {"positive", {{0.10L, 0.20L}, 0.003L}, {{0.104L, 0.197L}, 0.001L}},
      {"negative", {{-0.3L, 0.05L}, -0.02L}, {{-0.31L, 0.06L}, -0.05L}},
      {"equal", {{1.0L, 0.1L}, 0.5L}, {{1.0L, 0.3L}, 0.5L}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const TVortex c = MergedRing(r.a, r.b);
    const Real gamma = r.a.Gamma + r.b.Gamma;
    const Real ia = r.a.Gamma * r.a.Pos.Y * r.a.Pos.Y, ib = r.b.Gamma * r.b.Pos.Y * r.b.Pos.Y;
    EXPECT_EQ(c.Gamma, gamma);
    EXPECT_TRUE(RealNear(c.Gamma * c.Pos.Y * c.Pos.Y, ia + ib, 1e-17L * std::fabs(ia + ib)));
    // The axial moment Γ·r²·x is kept too: the centroid of the impulse.
    EXPECT_TRUE(RealNear(c.Gamma * c.Pos.Y * c.Pos.Y * c.Pos.X, ia * r.a.Pos.X + ib * r.b.Pos.X,
                         1e-17L * std::fabs(ia + ib)));
  }
  // Equal rings at radii 0.1 and 0.3: r² = (0.01 + 0.09) / 2.
  const TVortex c = MergedRing({{1.0L, 0.1L}, 0.5L}, {{1.0L, 0.3L}, 0.5L});
  EXPECT_TRUE(RealNear(c.Pos.Y, std::sqrt(0.05L), 1e-18L));
  // Two rings on the axis carry no impulse: the midpoint, whatever their strengths.
  const TVortex axis = MergedRing({{0.1L, 0}, 1}, {{0.3L, 0}, 2});
  EXPECT_TRUE(RealNear(axis.Pos.X, 0.2L, 1e-18L));
  EXPECT_EQ(axis.Pos.Y, 0);
  EXPECT_EQ(axis.Gamma, 3);
}

// Free rings appended after the attached ones of a built model, all born at t = 0.
Model WithFreeRings(const std::vector<TVortex>& rings, Real time) {
  Model m = test::CoarseModel(0.05L);
  m.Flow = FlowModel::Refined;
  m.MaxFreeVortex = 20;
  m.Time = time;
  RefinedStep().Prepare(m);
  for (size_t k = 0; k < rings.size(); ++k) {
    m.Vortices[m.AttachedCount + k] = rings[k];
    m.RefinedWork.Birth[k] = 0;
  }
  m.FreeVortexCount = static_cast<int32_t>(rings.size());
  return m;
}

TEST(MergeFreeRings, OnlyOldCloseRingsOfOneSign) {
  const std::vector<TVortex> rings = {
      {{-0.20L, 0.30L}, 0.010L},   // 0: takes in 1
      {{-0.203L, 0.302L}, 0.004L},  // 1: 3,6 mm from 0
      {{-0.202L, 0.299L}, -0.02L},  // 2: opposite sign, close: stays
      {{-0.20L, 0.36L}, 0.010L},   // 3: 60 mm away: stays
      {{0.40L, 0.10L}, -0.001L},   // 4: takes in 5
      {{0.401L, 0.1005L}, -0.002L},
  };
  Model m = WithFreeRings(rings, 1.0L);
  Real gamma = 0, impulse = 0;
  for (const TVortex& v : rings) {
    gamma += v.Gamma;
    impulse += v.Gamma * v.Pos.Y * v.Pos.Y;
  }
  EXPECT_EQ(MergeFreeRings(m, 0.005L, 0.1L), 2);
  ASSERT_EQ(m.FreeVortexCount, 4);
  const int32_t n = m.AttachedCount;
  Real gammaAfter = 0, impulseAfter = 0;
  for (int32_t k = 0; k < 4; ++k) {
    const TVortex& v = m.Vortices[n + k];
    gammaAfter += v.Gamma;
    impulseAfter += v.Gamma * v.Pos.Y * v.Pos.Y;
  }
  EXPECT_TRUE(RealNear(gammaAfter, gamma, 1e-18L));
  EXPECT_TRUE(RealNear(impulseAfter, impulse, 1e-18L));
  EXPECT_EQ(m.Vortices[n + 0].Gamma, 0.014L);
  EXPECT_EQ(m.Vortices[n + 1].Gamma, -0.02L);
  EXPECT_EQ(m.Vortices[n + 2].Gamma, 0.010L);
  EXPECT_EQ(m.Vortices[n + 3].Gamma, -0.001L + -0.002L);

  // Young rings are left alone: the same rings born 0,05 s ago.
  Model young = WithFreeRings(rings, 0.05L);
  EXPECT_EQ(MergeFreeRings(young, 0.005L, 0.1L), 0);
  EXPECT_EQ(young.FreeVortexCount, 6);
  // Born exactly the least age ago (0,5 s at t = 0,5 s, both exact in binary): old enough.
  Model atLimit = WithFreeRings(rings, 0.5L);
  EXPECT_EQ(MergeFreeRings(atLimit, 0.005L, 0.5L), 2);
}

TEST(SmoothedKernel, ExactFarOffAndFiniteOnTheRingOnBothPaths) {
  const TVortex ring{{0.1L, 0.2L}, 1};
  struct Row {
    const char* name;
    TRealPoint p;
  };
  const Row rows[] = {{"ahead", {-0.3L, 0.1L}}, {"outside", {0.15L, 0.5L}}, {"axis", {0.4L, 0}},
                      {"on the ring", {0.1L, 0.2L}}, {"near", {0.103L, 0.198L}}};
  std::vector<double> x(16, 0.1), y(16, 0.2), g(16, 0);
  g[0] = 1;
  const RingArrays arrays{x.data(), y.data(), g.data()};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const Real d2 = 1e-4L;  // δ = 0,01 m
    Real su, sv;
    ring::SmoothedPair(r.p, ring, d2, su, sv);
    ASSERT_TRUE(std::isfinite(su) && std::isfinite(sv));
    // The vector kernel gives the same smoothed field.
    double vu, vv;
    vk::Active().SumPairSmoothed(arrays, 0, 1, -1, static_cast<double>(r.p.X),
                                 static_cast<double>(r.p.Y), 1e-4, vu, vv);
    EXPECT_NEAR(vu, static_cast<double>(su), 1e-9 * (1 + std::fabs(static_cast<double>(su))));
    EXPECT_NEAR(vv, static_cast<double>(sv), 1e-9 * (1 + std::fabs(static_cast<double>(sv))));
    if (PointDistance(r.p, ring.Pos) > 0.1L) {
      // Far from the ring a tiny δ is the exact kernel, and δ = 0,01 m nearly so.
      Real eu, ev, tu, tv;
      ring::Pair(r.p, ring, eu, ev);
      ring::SmoothedPair(r.p, ring, 1e-20L, tu, tv);
      EXPECT_TRUE(RealNear(tu, eu, 1e-15L));
      EXPECT_TRUE(RealNear(tv, ev, 1e-15L));
      EXPECT_TRUE(RealNear(su, eu, 0.01L * std::fabs(eu) + 1e-6L));
    }
  }
  // A lone ring moves along the axis by its own induction, as a real ring does
  // (Kelvin: Γ/(4πR)·(ln(8R/a) − 1/4) for a core a; here of order Γ/(4πR)).
  Real su, sv;
  ring::SmoothedPair(ring.Pos, ring, 1e-4L, su, sv);
  EXPECT_GT(su, 0.5L / (4 * Pi * 0.2L));
  EXPECT_LT(su, 5.0L / (4 * Pi * 0.2L));
  EXPECT_EQ(sv, 0);
}

// One free ring in front of the hood, moved by Heun's step for 0,05 s; the
// attached circulations are solved for each predicted and corrected state.
TRealPoint HeunEnd(Real dt, Precision arithmetic) {
  Model m = test::CoarseModel(0.05L);
  m.Flow = FlowModel::Refined;
  m.Exec.Arithmetic = arithmetic;
  m.MaxFreeVortex = 4;
  m.Dt = dt;
  m.Vortices.resize(static_cast<size_t>(m.AttachedCount) + 4);
  m.Vortices[m.AttachedCount] = TVortex{{-0.25L, 0.08L}, 0.05L};
  m.FreeVortexCount = 1;
  test::SolveAttached(m);
  const int steps = static_cast<int>(std::lround(0.05L / dt));
  for (int s = 0; s < steps; ++s) {
    ConvectFreeRingsHeun(m);
    UpdateRightHandSide(m);
    SolveCirculations(m);
  }
  return m.Vortices[m.AttachedCount].Pos;
}

TEST(ConvectFreeRingsHeun, SecondOrderInTheStep) {
  for (Precision p : {Precision::Extended, Precision::Double}) {
    SCOPED_TRACE(p == Precision::Double ? "double" : "extended");
    const TRealPoint a = HeunEnd(0.01L, p), b = HeunEnd(0.005L, p), c = HeunEnd(0.0025L, p);
    const Real d1 = std::hypot(a.X - b.X, a.Y - b.Y), d2 = std::hypot(b.X - c.X, b.Y - c.Y);
    ASSERT_GT(d1, 1e-9L);  // the ring moved through a field that is not uniform
    // Halving the step divides the error by 4 (Euler would give 2).
    EXPECT_GT(d1 / d2, 3.4L);
    EXPECT_LT(d1 / d2, 4.6L);
  }
}

// Records the smallest free-ring radius seen after any step.
class RadiusObserver : public Observer {
 public:
  void StepDone(const Model& m) override {
    for (int32_t k = 0; k < m.FreeVortexCount; ++k)
      least = std::min(least, m.Vortices[m.AttachedCount + k].Pos.Y);
  }
  Real least = 1e9L;
};

TEST(RefinedStep, RingsStayOffTheAxisAndTheCeilingIsReported) {
  // The re-entrant inlet sheds at the tube's end into the jet near the axis's side.
  Model m = test::CoarseModel(0.03L);
  m.FlangeAngle = 0;
  BuildArea(m);
  m.Flow = FlowModel::Refined;
  m.Exec.Arithmetic = Precision::Double;
  m.Refined.SmoothingLength = 0.04L;  // wide: rings near the axis are met early
  m.Refined.Placement = ShedPlacement::Convected;  // a ring per portion: the ceiling is met
  RadiusObserver obs;
  const RunSummary r = RunSimulation(m, 30, 0, 0, 1.0L, 0.01L, obs);
  EXPECT_EQ(r.HowEnded, RunSummary::End::TimeLimit);
  EXPECT_GE(obs.least, m.Refined.SmoothingLength);
  // 2 edges × 100 steps against a ceiling of 30: met, and counted.
  EXPECT_TRUE(r.FreeLimitReached());
  EXPECT_GT(m.RefinedCount.NotShed, 0);
  EXPECT_LE(m.FreeVortexCount, 30);

  // A ring placed below δ is removed by the next step, its circulation accounted.
  Model a = WithFreeRings({{{-0.3L, 0.005L}, 0.02L}, {{-0.3L, 0.3L}, 0.01L}}, 1.0L);
  a.Exec.Arithmetic = Precision::Double;
  a.Dt = 0.001L;
  test::SolveAttached(a);
  std::vector<int32_t> counters;
  RefinedStep().Move(a, counters);
  EXPECT_EQ(a.RefinedCount.RemovedAxis, 1);
  EXPECT_EQ(a.RefinedCount.AxisCirculation, 0.02L);
  EXPECT_EQ(a.Vortices[a.AttachedCount].Gamma, 0.01L);
}

TEST(RunSimulation, ProgramModelReportsItsFreeLimit) {
  Model m = test::CoarseModel(0.05L);
  const RunSummary r = RunSimulation(m, 5, 0, 0, 0.02L, 0.005L);
  // Three edges shed in every step: 3, then 5 of 5 after the second step.
  EXPECT_TRUE(RealNear(r.FreeLimitTime, 0.01L, 1e-15L));
  Model roomy = test::CoarseModel(0.05L);
  EXPECT_FALSE(RunSimulation(roomy, 100, 0, 0, 0.02L, 0.005L).FreeLimitReached());
}

// A separation point with the shedding interval n sheds at every (n+1)-th step,
// the others at every step; at the ceiling each edge's step is a ring shed or
// a shedding counted as skipped, over the whole run.
TEST(RefinedStep, EachEdgeShedsOnItsScheduleOrIsCountedAtTheCeiling) {
  Model m = test::CoarseModel(0.05L);
  m.Flow = FlowModel::Refined;
  m.Exec.Arithmetic = Precision::Double;
  SetSheddingIntervals(m, 3, 0, 0);
  const int64_t steps = RunSimulation(m, 400, 0, 0, 0.2L, 0.01L).Steps;
  ASSERT_EQ(m.SeparationCount, 3);
  ASSERT_GE(steps, 20);
  EXPECT_EQ(m.RefinedCount.Sheddings[0], (steps + 3) / 4) << "the first step, then every fourth";
  EXPECT_EQ(m.RefinedCount.Sheddings[1], steps);
  EXPECT_EQ(m.RefinedCount.Sheddings[2], steps);
  EXPECT_EQ(m.RefinedCount.NotShed, 0);

  Model c = test::CoarseModel(0.05L);
  c.Flow = FlowModel::Refined;
  c.Exec.Arithmetic = Precision::Double;
  c.Refined.Placement = ShedPlacement::Convected;  // a ring per portion: the ceiling is met and stays met
  const int64_t run = RunSimulation(c, 12, 0, 0, 0.3L, 0.01L).Steps;
  int64_t shed = c.RefinedCount.NotShed;
  for (int32_t s = 0; s < c.SeparationCount; ++s) shed += c.RefinedCount.Sheddings[s];
  EXPECT_GT(c.RefinedCount.NotShed, run);
  EXPECT_EQ(shed, run * c.SeparationCount);
}

// A new ring placed by its own short move is pushed out past the barrier (it
// would cross back otherwise), and is born at the step's time.
TEST(RefinedStep, NewRingsArePushedPastTheBarrier) {
  Model m = test::CoarseModel(0.05L);
  m.Flow = FlowModel::Refined;
  m.Exec.Arithmetic = Precision::Double;
  m.MaxFreeVortex = 10;
  m.Dt = 1e-4L;  // a move far shorter than the barrier's distance
  m.Time = 0.01L;
  RefinedStep().Prepare(m);
  test::SolveAttached(m);
  std::vector<int32_t> counters;
  RefinedStep().Move(m, counters);
  ASSERT_EQ(m.FreeVortexCount, m.SeparationCount);
  for (int32_t s = 0; s < m.SeparationCount; ++s) {
    const TRealPoint edge = m.Vortices[m.SeparationIndex[s]].Pos;
    const TRealPoint p = m.Vortices[m.AttachedCount + s].Pos;
    EXPECT_TRUE(PathCrossesRibs(edge, p, m.BarrierRibs)) << "edge " << s;
    // The move (≈ 5e-5 m) is nothing beside the push along the edge's bisector.
    const TRealPoint dir = m.SeparationDir[s];
    const Real along = ((p.X - edge.X) * dir.X + (p.Y - edge.Y) * dir.Y) / std::hypot(dir.X, dir.Y);
    EXPECT_GT(along, 0.99L * PointDistance(edge, p)) << "edge " << s;
    EXPECT_EQ(m.RefinedWork.Birth[s], 0.01L);
    EXPECT_EQ(m.Vortices[m.AttachedCount + s].Gamma, m.RefinedCount.Shed[s]);
  }
}

// A nascent ring gathers its edge's portions while it is within δ of the
// edge, and is let go, a new one started, once it is not.
TEST(RefinedStep, NascentRingGathersUntilItIsDeltaAway) {
  Model m = test::CoarseModel(0.01L);  // the barrier 5 mm off: a pushed-out portion lies within δ
  m.Flow = FlowModel::Refined;
  m.Exec.Arithmetic = Precision::Double;
  m.Refined.Placement = ShedPlacement::Nascent;
  m.MaxFreeVortex = 20;
  m.Dt = 1e-4L;
  RefinedStep().Prepare(m);
  test::SolveAttached(m);
  std::vector<int32_t> counters;
  const int32_t n = m.AttachedCount;
  const int32_t edges = m.SeparationCount;
  for (int step = 0; step < 3; ++step) {
    m.Time += m.Dt;
    RefinedStep().Move(m, counters);
    ASSERT_EQ(m.FreeVortexCount, edges) << "step " << step;
  }
  const Real delta = SmoothingLengthOf(m);
  for (int32_t s = 0; s < edges; ++s) {
    SCOPED_TRACE(s);
    EXPECT_EQ(m.RefinedCount.Sheddings[s], 3);
    EXPECT_TRUE(RealNear(m.Vortices[n + s].Gamma, m.RefinedCount.Shed[s], 1e-15L * std::fabs(m.RefinedCount.Shed[s])));
    EXPECT_LT(PointDistance(m.Vortices[n + s].Pos, m.Vortices[m.SeparationIndex[s]].Pos), delta);
    EXPECT_EQ(m.RefinedWork.Nascent[s], s);
  }
  // Edge 0's ring carried 2δ off along its bisector: the next portion starts a ring of its own.
  const TRealPoint edge0 = m.Vortices[m.SeparationIndex[0]].Pos, dir = m.SeparationDir[0];
  m.Vortices[n].Pos = TRealPoint{edge0.X + 2 * delta * dir.X, edge0.Y + 2 * delta * dir.Y};
  const Real held = m.Vortices[n].Gamma;
  m.Time += m.Dt;
  RefinedStep().Move(m, counters);
  ASSERT_EQ(m.FreeVortexCount, edges + 1);
  EXPECT_EQ(m.Vortices[n].Gamma, held);
  EXPECT_EQ(m.RefinedWork.Nascent[0], -1);
  EXPECT_EQ(m.RefinedWork.Nascent[edges], 0);
  EXPECT_TRUE(RealNear(m.Vortices[n].Gamma + m.Vortices[n + edges].Gamma, m.RefinedCount.Shed[0],
                       1e-15L * std::fabs(m.RefinedCount.Shed[0])));
}

}  // namespace
}  // namespace mdv
