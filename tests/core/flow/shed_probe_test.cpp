// The Kutta-flux shedding: the flux by hand, the probe points' geometry, the
// edge's speed from two probes, and the circulation a step sheds at each edge.
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

// A coarse contour about to take one refined step with the given Kutta-flux
// rule (probes 0,03 m out, dt 0,01 s), its attached rings solved.
Model KuttaStepModel(ShedRule rule) {
  Model m = test::CoarseModel(0.05L);
  m.Flow = FlowModel::Refined;
  m.Refined.Shedding = rule;
  m.Refined.SmoothingLength = 0.03L;  // d_p = δ
  m.Exec.Arithmetic = Precision::Double;
  m.MaxFreeVortex = 10;
  m.Dt = 0.01L;
  RefinedStep().Prepare(m);
  test::SolveAttached(m);
  return m;
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

// U₊, the faster of the points around the edge velocity at d (from the
// state before the step), by hand.
Real OuterSpeedByHand(const Model& m, int32_t s, Real d) {
  const int32_t k = m.SeparationIndex[s];
  Real u, v;
  CalcVelocityPair(m, m.Vortices[k].Pos, k, u, v);
  TRealPoint a, b;
  LeavingProbePoints(m, s, d, u, v, a, b);
  Real ua, va, ub, vb;
  CalcVelocityPair(m, a, -1, ua, va);
  CalcVelocityPair(m, b, -1, ub, vb);
  return std::sqrt(std::max(ua * ua + va * va, ub * ub + vb * vb));
}

TEST(RefinedStep, OuterShedding) {
  Model m = KuttaStepModel(ShedRule::Outer);
  // ½·U₊²·dt, with the sign of the edge's bound ring.
  std::vector<Real> expected;
  for (int32_t s = 0; s < m.SeparationCount; ++s) {
    const Real fast = OuterSpeedByHand(m, s, 0.03L);
    EXPECT_GT(fast, 0);
    expected.push_back(std::copysign(fast * fast / 2 * m.Dt, m.Vortices[m.SeparationIndex[s]].Gamma));
  }
  std::vector<int32_t> counters;
  RefinedStep().Move(m, counters);
  ASSERT_EQ(m.FreeVortexCount, m.SeparationCount);
  for (int32_t s = 0; s < m.SeparationCount; ++s) {
    SCOPED_TRACE(s);
    EXPECT_TRUE(RealNear(m.Vortices[m.AttachedCount + s].Gamma, expected[s], 1e-9L * std::fabs(expected[s])));
  }
}

TEST(EdgeSpeed, TheSquareRootLawExtrapolatedToTheEdge) {
  // U(r) = 2·(1 − 0,5·√(r/0,01 m)): 1 m/s at 1 cm, 2 − √2 at 2 cm, 2 m/s at the edge.
  EXPECT_TRUE(RealNear(EdgeSpeedFromProbes(1, 2 - std::sqrt(Real{2})), 2, 1e-17L));
  // A speed that does not change with the distance is the edge's own.
  EXPECT_TRUE(RealNear(EdgeSpeedFromProbes(1.3L, 1.3L), 1.3L, 1e-17L));
  // Faster farther out than √2 times: no outer speed, nothing shed.
  EXPECT_EQ(EdgeSpeedFromProbes(1, 1.5L), 0);
}

TEST(RefinedStep, EdgeSpeedShedding) {
  Model m = KuttaStepModel(ShedRule::EdgeSpeed);
  std::vector<Real> expected;
  for (int32_t s = 0; s < m.SeparationCount; ++s) {
    const Real u1 = OuterSpeedByHand(m, s, 0.03L), u2 = OuterSpeedByHand(m, s, 0.06L);
    const Real edge = (std::sqrt(Real{2}) * u1 - u2) / (std::sqrt(Real{2}) - 1);
    expected.push_back(std::copysign(edge * edge / 2 * m.Dt, m.Vortices[m.SeparationIndex[s]].Gamma));
  }
  std::vector<int32_t> counters;
  RefinedStep().Move(m, counters);
  ASSERT_EQ(m.FreeVortexCount, m.SeparationCount);
  for (int32_t s = 0; s < m.SeparationCount; ++s) {
    SCOPED_TRACE(s);
    EXPECT_TRUE(RealNear(m.Vortices[m.AttachedCount + s].Gamma, expected[s], 1e-9L * std::fabs(expected[s])));
  }
}

}  // namespace
}  // namespace mdv
