#include "core/flow/shed_probe.h"

#include <cmath>

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

}  // namespace mdv
