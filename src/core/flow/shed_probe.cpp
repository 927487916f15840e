#include "core/flow/shed_probe.h"

#include <algorithm>
#include <cmath>

#include "core/flow/circulation.h"

namespace mdv {

Real ShedProbeDistance(const Model& m) { return SmoothingLengthOf(m); }

Real KuttaFluxCirculation(Real speedA, Real speedB, Real edgeGamma, Real span) {
  const Real flux = std::fabs(speedA * speedA - speedB * speedB) / 2 * span;
  return edgeGamma > 0 ? flux : edgeGamma < 0 ? -flux : 0;
}

Real FluidHalfAngle(const Model& m, int32_t s) {
  const TRealPoint e = m.Vortices[m.SeparationIndex[s]].Pos;
  const TRealPoint n = m.SeparationDir[s];
  // The face that starts at the edge (the edge ring is the first of its rib).
  for (int32_t j = 0; j < m.BodyRibCount; ++j) {
    const TRib& r = m.BodyRibs[j];
    if (r.P1.X != e.X || r.P1.Y != e.Y) continue;
    const Real fx = r.P2.X - e.X, fy = r.P2.Y - e.Y;
    return std::acos(std::clamp<Real>((fx * n.X + fy * n.Y) / std::hypot(fx, fy), -1, 1));
  }
  return Pi / 2;  // no face found: a half-plane's edge
}

void LeavingProbePoints(const Model& m, int32_t s, Real d, Real ux, Real uy, TRealPoint& a, TRealPoint& b) {
  const TRealPoint e = m.Vortices[m.SeparationIndex[s]].Pos;
  const TRealPoint n = m.SeparationDir[s];
  const Real beta = FluidHalfAngle(m, s);
  // The leaving direction's angle from the bisector, kept π/8 off the faces
  // (an edge velocity pointing into the body is turned back into the wedge).
  const Real limit = std::max<Real>(beta - Pi / 8, 0);
  const Real phi = std::clamp<Real>(std::atan2(n.X * uy - n.Y * ux, n.X * ux + n.Y * uy), -limit, limit);
  // 45° to each side, or less where the nearer face is closer: the outer
  // point then lies halfway between the layer and the face.
  const Real spread = std::min<Real>(Pi / 4, (beta - std::fabs(phi)) / 2);
  const Real base = std::atan2(n.Y, n.X) + phi;
  a = TRealPoint{e.X + d * std::cos(base + spread), e.Y + d * std::sin(base + spread)};
  b = TRealPoint{e.X + d * std::cos(base - spread), e.Y + d * std::sin(base - spread)};
}

namespace {

// The faster of the two leaving probes at distance d, m/s.
Real OuterSpeed(const Model& m, int32_t s, Real d, Real ux, Real uy) {
  TRealPoint a, b;
  LeavingProbePoints(m, s, d, ux, uy, a, b);
  Real ua, va, ub, vb;
  CalcVelocityPair(m, a, -1, ua, va);
  CalcVelocityPair(m, b, -1, ub, vb);
  return std::max(std::hypot(ua, va), std::hypot(ub, vb));
}

}  // namespace

Real OuterShedCirculation(const Model& m, int32_t s, Real ux, Real uy, Real span) {
  const Real fast = OuterSpeed(m, s, ShedProbeDistance(m), ux, uy);
  return KuttaFluxCirculation(fast, 0, m.Vortices[m.SeparationIndex[s]].Gamma, span);
}

Real EdgeSpeedFromProbes(Real near, Real far) {
  const Real root2 = std::sqrt(Real{2});
  return std::max<Real>((root2 * near - far) / (root2 - 1), 0);
}

Real EdgeSpeedShedCirculation(const Model& m, int32_t s, Real ux, Real uy, Real span) {
  const Real d = ShedProbeDistance(m);
  const Real edge = EdgeSpeedFromProbes(OuterSpeed(m, s, d, ux, uy), OuterSpeed(m, s, 2 * d, ux, uy));
  return KuttaFluxCirculation(edge, 0, m.Vortices[m.SeparationIndex[s]].Gamma, span);
}

}  // namespace mdv
