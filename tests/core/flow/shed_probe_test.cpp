// The Kutta-flux shedding: the flux by hand, the probe points' geometry and
// the circulation a step sheds at each edge.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "core/flow/circulation.h"
#include "core/flow/refined_step.h"
#include "core/flow/shed_probe.h"
#include "core/model_fixtures.h"

namespace mdv {
namespace {

using test::RealNear;

TEST(KuttaFlux, HandValues) {
  // Sides at 3 and 1 m/s for 0,01 s: ½·(9 − 1)·0,01 = 0,04 m²/s, signed as the edge.
  EXPECT_TRUE(RealNear(KuttaFluxCirculation(3, 1, 0.2L, 0.01L), 0.04L, 1e-18L));
  EXPECT_TRUE(RealNear(KuttaFluxCirculation(1, 3, 0.2L, 0.01L), 0.04L, 1e-18L));
  EXPECT_TRUE(RealNear(KuttaFluxCirculation(3, 1, -0.2L, 0.01L), -0.04L, 1e-18L));
  // Equal speeds (a uniform field): no layer, nothing shed; no bound circulation: nothing either.
  EXPECT_EQ(KuttaFluxCirculation(2.5L, 2.5L, 0.3L, 0.01L), 0);
  EXPECT_EQ(KuttaFluxCirculation(3, 1, 0, 0.01L), 0);
}

// The probe points from the bisector's angle: θ ± 45° at distance d.
void HandProbes(const Model& m, int32_t s, Real d, TRealPoint& a, TRealPoint& b) {
  const TRealPoint e = m.Vortices[m.SeparationIndex[s]].Pos;
  const Real t = std::atan2(m.SeparationDir[s].Y, m.SeparationDir[s].X);
  const Real q = std::atan(Real{1});
  a = TRealPoint{e.X + d * std::cos(t + q), e.Y + d * std::sin(t + q)};
  b = TRealPoint{e.X + d * std::cos(t - q), e.Y + d * std::sin(t - q)};
}

TEST(ShedProbe, PointsLieInTheFlowAtTheDistance) {
  for (Real alpha : {0.0L, 30.0L, 90.0L}) {
    Model m = test::CoarseModel(0.02L);
    m.FlangeAngle = alpha * Pi / 180;
    m.PlaneX = -4;  // the default plane at −0,5 m touches the re-entrant tube's end
    BuildArea(m);
    SCOPED_TRACE(alpha);
    for (int32_t s = 0; s < m.SeparationCount; ++s) {
      SCOPED_TRACE(s);
      TRealPoint a, b, ha, hb;
      ShedProbePoints(m, s, 0.01L, a, b);
      HandProbes(m, s, 0.01L, ha, hb);
      EXPECT_TRUE(RealNear(PointDistance(a, ha), 0, 1e-15L));
      EXPECT_TRUE(RealNear(PointDistance(b, hb), 0, 1e-15L));
      // In the open flow: no nearer to a wall than to the edge itself (the
      // edge's faces meet at 90° or more, so the edge is the nearest point).
      EXPECT_GT(WallDistance(m, a), 0.01L * 0.7L);
      EXPECT_GT(WallDistance(m, b), 0.01L * 0.7L);
    }
  }
}

// A coarse contour about to take one refined step with the given Kutta-flux
// rule (probes 0,03 m out, dt 0,01 s), its attached rings solved.
Model KuttaStepModel(ShedRule rule) {
  Model m = test::CoarseModel(0.05L);
  m.Flow = FlowModel::Refined;
  m.Refined.Shedding = rule;
  m.Refined.ShedProbe = 0.03L;
  m.Exec.Arithmetic = Precision::Double;
  m.MaxFreeVortex = 10;
  m.Dt = 0.01L;
  m.ShedOffset = m.VortexSpacing / 2;
  RefinedStep().Prepare(m);
  test::SolveAttached(m);
  return m;
}

TEST(RefinedStep, ProbeShedding) {
  Model m = KuttaStepModel(ShedRule::Probe);
  // From the state before the step, at the points placed by hand.
  std::vector<Real> expected;
  for (int32_t s = 0; s < m.SeparationCount; ++s) {
    TRealPoint a, b;
    HandProbes(m, s, 0.03L, a, b);
    Real ua, va, ub, vb;
    CalcVelocityPair(m, a, -1, ua, va);
    CalcVelocityPair(m, b, -1, ub, vb);
    const Real flux = (ua * ua + va * va - ub * ub - vb * vb) / 2 * m.Dt;
    expected.push_back(std::copysign(std::fabs(flux), m.Vortices[m.SeparationIndex[s]].Gamma));
    EXPECT_GT(std::fabs(flux), 0);  // the two sides differ: a layer leaves
  }
  std::vector<int32_t> counters;
  RefinedStep().Move(m, counters);
  ASSERT_EQ(m.FreeVortexCount, m.SeparationCount);
  for (int32_t s = 0; s < m.SeparationCount; ++s) {
    SCOPED_TRACE(s);
    const Real got = m.Vortices[m.AttachedCount + s].Gamma;
    EXPECT_TRUE(RealNear(got, expected[s], 1e-9L * std::fabs(expected[s])));
  }
}

// The sign of the turn from direction t to the point p seen from e.
int Side(const TRealPoint& e, const TRealPoint& t, const TRealPoint& p) {
  const Real c = t.X * (p.Y - e.Y) - t.Y * (p.X - e.X);
  return c > 0 ? 1 : c < 0 ? -1 : 0;
}

TEST(ShedProbe, FlowWedgeAndLeavingProbes) {
  const Real d = 0.01L, q = Pi / 4;
  for (Real alpha : {0.0L, 30.0L, 90.0L}) {
    SCOPED_TRACE(alpha);
    Model m = test::CoarseModel(0.02L);
    m.FlangeAngle = alpha * Pi / 180;
    m.PlaneX = -4;
    BuildArea(m);
    // The end face's corners are square (fluid wedge 270°); the mouth's
    // wedge is π + α (the flange's inner face turned α from the channel wall).
    EXPECT_TRUE(RealNear(FluidHalfAngle(m, 0), 3 * q, 1e-15L));
    EXPECT_TRUE(RealNear(FluidHalfAngle(m, 1), 3 * q, 1e-15L));
    if (m.SeparationCount > 2) {
      EXPECT_TRUE(RealNear(FluidHalfAngle(m, 2), (Pi + m.FlangeAngle) / 2, 1e-15L));
    }
    // The layer leaving along the face that ends at the edge (the rib before
    // the edge's own), continued: the probes straddle that line, d from the
    // edge, in the flow. At the outer corner, 45° each side.
    for (int32_t s = 0; s < m.SeparationCount; ++s) {
      SCOPED_TRACE(s);
      const TRealPoint e = m.Vortices[m.SeparationIndex[s]].Pos;
      const TRib& up = m.BodyRibs[s + 1];
      const Real len = PointDistance(up.P1, up.P2);
      const TRealPoint t{(up.P2.X - up.P1.X) / len, (up.P2.Y - up.P1.Y) / len};
      TRealPoint a, b;
      LeavingProbePoints(m, s, d, t.X, t.Y, a, b);
      EXPECT_EQ(Side(e, t, a) * Side(e, t, b), -1);
      // Inside the flow's wedge, not behind a face (the wall distance alone
      // does not tell the sides apart): at most β − π/16 off the bisector.
      const TRealPoint n = m.SeparationDir[s];
      const auto offBisector = [&](const TRealPoint& p) {
        return std::acos(std::clamp<Real>(((p.X - e.X) * n.X + (p.Y - e.Y) * n.Y) / PointDistance(p, e), -1, 1));
      };
      for (const TRealPoint& p : {a, b}) {
        EXPECT_TRUE(RealNear(PointDistance(p, e), d, 1e-15L));
        EXPECT_GT(WallDistance(m, p), d * std::sin(Pi / 16));
        EXPECT_LE(offBisector(p), FluidHalfAngle(m, s) - Pi / 16 + 1e-12L);
      }
      if (s == 0) {
        const Real a0 = std::atan2(t.Y, t.X);
        EXPECT_TRUE(RealNear(PointDistance(a, {e.X + d * std::cos(a0 + q), e.Y + d * std::sin(a0 + q)}), 0, 1e-15L));
      }
      // An edge velocity pointing into the body (against the bisector,
      // turned a little) still gives two points in the flow.
      LeavingProbePoints(m, s, d, -n.X + 0.2L * n.Y, -n.Y - 0.2L * n.X, a, b);
      for (const TRealPoint& p : {a, b}) {
        EXPECT_GT(WallDistance(m, p), d * std::sin(Pi / 16) * 0.99L);
        EXPECT_LE(offBisector(p), FluidHalfAngle(m, s) - Pi / 16 + 1e-12L);
      }
    }
  }
}

TEST(ShedProbe, FaceTangentIsTheFaceTheFlowCameOn) {
  struct Row {
    Real alphaDeg;
    int32_t s;
    TRealPoint velocity, tangent;
  };
  // Re-entrant outer corner C: the outer face (−x) or the end face produced
  // upwards (+y); flush mouth M: the flange's face produced into the channel
  // (−y), not the channel wall produced outwards (−x), for a flow that turns
  // into the channel (+x, −y).
  const Row rows[] = {{0, 0, {-1, -0.3L}, {-1, 0}},
                      {0, 0, {-0.3L, 1}, {0, 1}},
                      {0, 1, {-0.2L, -1}, {0, -1}},
                      {90, 2, {0.7L, -0.7L}, {0, -1}},
                      {90, 2, {-1, 0.2L}, {-1, 0}}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.alphaDeg);
    SCOPED_TRACE(r.s);
    Model m = test::CoarseModel(0.02L);
    m.FlangeAngle = r.alphaDeg * Pi / 180;
    m.PlaneX = -4;
    BuildArea(m);
    const TRealPoint t = FaceTangent(m, r.s, r.velocity.X, r.velocity.Y);
    EXPECT_TRUE(RealNear(PointDistance(t, r.tangent), 0, 1e-15L)) << t.X << " " << t.Y;
  }
}

TEST(RefinedStep, OuterShedding) {
  Model m = KuttaStepModel(ShedRule::Outer);
  // ½·U₊²·dt, U₊ the faster of the points around the edge velocity, from the
  // state before the step; the sign of the edge's bound ring.
  std::vector<Real> expected;
  for (int32_t s = 0; s < m.SeparationCount; ++s) {
    const int32_t k = m.SeparationIndex[s];
    Real u, v;
    CalcVelocityPair(m, m.Vortices[k].Pos, k, u, v);
    TRealPoint a, b;
    LeavingProbePoints(m, s, 0.03L, u, v, a, b);
    Real ua, va, ub, vb;
    CalcVelocityPair(m, a, -1, ua, va);
    CalcVelocityPair(m, b, -1, ub, vb);
    const Real fast2 = std::max(ua * ua + va * va, ub * ub + vb * vb);
    EXPECT_GT(fast2, 0);
    expected.push_back(std::copysign(fast2 / 2 * m.Dt, m.Vortices[k].Gamma));
  }
  std::vector<int32_t> counters;
  RefinedStep().Move(m, counters);
  ASSERT_EQ(m.FreeVortexCount, m.SeparationCount);
  for (int32_t s = 0; s < m.SeparationCount; ++s) {
    SCOPED_TRACE(s);
    EXPECT_TRUE(RealNear(m.Vortices[m.AttachedCount + s].Gamma, expected[s], 1e-9L * std::fabs(expected[s])));
  }
}

TEST(RefinedStep, TangentPlacementLeavesAlongTheFace) {
  Model m = test::CoarseModel(0.005L);
  m.FlangeAngle = 0;
  m.PlaneX = -4;
  BuildArea(m);
  m.Flow = FlowModel::Refined;
  m.Refined.Shedding = ShedRule::Outer;
  m.Refined.Placement = ShedPlacement::Tangent;
  m.Exec.Arithmetic = Precision::Double;
  m.MaxFreeVortex = 10;
  m.Dt = 0.02L;
  RefinedStep().Prepare(m);
  test::SolveAttached(m);
  // Each ring starts U·dt/2 from its edge along the face tangent of the
  // edge velocity of the state before the step.
  std::vector<TRealPoint> expected;
  for (int32_t s = 0; s < m.SeparationCount; ++s) {
    const int32_t k = m.SeparationIndex[s];
    Real u, v;
    CalcVelocityPair(m, m.Vortices[k].Pos, k, u, v);
    const Real along = std::hypot(u, v) * m.Dt / 2;
    const TRealPoint t = FaceTangent(m, s, u, v);
    expected.push_back({m.Vortices[k].Pos.X + along * t.X, m.Vortices[k].Pos.Y + along * t.Y});
  }
  std::vector<int32_t> counters;
  RefinedStep().Move(m, counters);
  ASSERT_EQ(m.FreeVortexCount, m.SeparationCount);
  for (int32_t s = 0; s < m.SeparationCount; ++s) {
    SCOPED_TRACE(s);
    EXPECT_TRUE(RealNear(PointDistance(m.Vortices[m.AttachedCount + s].Pos, expected[s]), 0, 1e-12L));
  }
}

}  // namespace
}  // namespace mdv
