#include "core/flow/shed_probe.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/flow/circulation.h"

namespace mdv {

Real ShedProbeDistance(const Model& m) {
  return m.Refined.ShedProbe > 0 ? m.Refined.ShedProbe : m.Refined.SmoothingLength;
}

void ShedProbePoints(const Model& m, int32_t s, Real d, TRealPoint& a, TRealPoint& b) {
  const TRealPoint e = m.Vortices[m.SeparationIndex[s]].Pos;
  const TRealPoint n = m.SeparationDir[s];
  const Real c = std::sqrt(Real{0.5});  // cos 45° = sin 45°
  // The bisector turned by +45° and by −45°.
  a = TRealPoint{e.X + d * c * (n.X - n.Y), e.Y + d * c * (n.Y + n.X)};
  b = TRealPoint{e.X + d * c * (n.X + n.Y), e.Y + d * c * (n.Y - n.X)};
}

Real KuttaFluxCirculation(Real speedA, Real speedB, Real edgeGamma, Real span) {
  const Real flux = std::fabs(speedA * speedA - speedB * speedB) / 2 * span;
  return edgeGamma > 0 ? flux : edgeGamma < 0 ? -flux : 0;
}

Real ProbeShedCirculation(const Model& m, int32_t s, Real span) {
  TRealPoint a, b;
  ShedProbePoints(m, s, ShedProbeDistance(m), a, b);
  Real ua, va, ub, vb;
  CalcVelocityPair(m, a, -1, ua, va);
  CalcVelocityPair(m, b, -1, ub, vb);
  return KuttaFluxCirculation(std::hypot(ua, va), std::hypot(ub, vb), m.Vortices[m.SeparationIndex[s]].Gamma,
                              span);
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

TRealPoint FaceTangent(const Model& m, int32_t s, Real ux, Real uy) {
  const TRealPoint e = m.Vortices[m.SeparationIndex[s]].Pos;
  TRealPoint best{ux, uy};
  Real bestDot = -std::numeric_limits<Real>::infinity();
  for (int32_t j = 0; j < m.BodyRibCount; ++j) {
    const TRib& r = m.BodyRibs[j];
    // The face's far end: the one that is not the edge.
    const bool starts = r.P1.X == e.X && r.P1.Y == e.Y;
    const bool ends = r.P2.X == e.X && r.P2.Y == e.Y;
    if (starts == ends) continue;
    const TRealPoint far = starts ? r.P2 : r.P1;
    const Real len = std::hypot(e.X - far.X, e.Y - far.Y);
    const TRealPoint t{(e.X - far.X) / len, (e.Y - far.Y) / len};  // produced beyond the edge
    const Real dot = t.X * ux + t.Y * uy;
    if (dot > bestDot) {
      bestDot = dot;
      best = t;
    }
  }
  return best;
}

Real OuterShedCirculation(const Model& m, int32_t s, Real ux, Real uy, Real span) {
  TRealPoint a, b;
  LeavingProbePoints(m, s, ShedProbeDistance(m), ux, uy, a, b);
  Real ua, va, ub, vb;
  CalcVelocityPair(m, a, -1, ua, va);
  CalcVelocityPair(m, b, -1, ub, vb);
  const Real fast = std::max(std::hypot(ua, va), std::hypot(ub, vb));
  return KuttaFluxCirculation(fast, 0, m.Vortices[m.SeparationIndex[s]].Gamma, span);
}

}  // namespace mdv
