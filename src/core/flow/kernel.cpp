#include "core/flow/kernel.h"

#include <cmath>

#include "core/flow/ring_kernel.h"

namespace mdv {

using ring::AxisBand;
using ring::EC;
using ring::ED;
using ring::FourPi;
using ring::KA;
using ring::KB;

Real EllipticK(Real m) {
  const Real m1 = 1 - m;
  const Real l = std::log(1 / m1);
  Real sum = 0;
  Real p = 1;
  for (int i = 0; i <= 4; ++i) {
    sum = sum + (KA[i] + KB[i] * l) * p;
    p = p * m1;
  }
  return sum;
}

Real EllipticE(Real m) {
  const Real m1 = 1 - m;
  const Real l = std::log(1 / m1);
  Real sum = 0;
  Real p = 1;
  for (int i = 1; i <= 4; ++i) {
    p = p * m1;
    sum = sum + (EC[i] + ED[i] * l) * p;
  }
  return 1 + sum;
}

Real RingVelocity(const TRealPoint& p, const TVortex& ring, const TRealPoint& dir) {
  const Real R = ring.Pos.Y;  // ring radius, m
  const Real x0 = ring.Pos.X;
  const Real r = p.Y;
  const Real dx = p.X - x0;

  const Real S = dx * dx + r * r + R * R;
  const Real T = (r * 2) * R;

  if (std::fabs(T) < AxisBand) {
    // A ring of no radius seen from its own centre induces nothing.
    if (S == 0) return 0;
    return R * R * dir.X / (2 * S * std::sqrt(S));
  }
  // The mirror image of the ring below the axis (dx = 0, r = -R): k² has no
  // value there; the ring is taken to contribute nothing.
  const Real sPlusT = S + T;
  if (sPlusT == 0) return 0;

  const Real c1 = R * R * dir.X / FourPi;
  const Real c2 = (dx * dir.Y - r * dir.X) * (R / FourPi);
  const Real m = 2 * T / sPlusT;
  const Real e = EllipticE(m);
  const Real k = EllipticK(m);
  const Real root = std::sqrt(sPlusT);
  return e * (4 * (c1 * T + c2 * S) / T) / (root * (S - T)) - k * (4 * c2 / T) / root;
}

void RingVelocityPair(const TRealPoint& p, const TVortex& ring, Real& axial, Real& radial) {
  ring::Pair(p, ring, axial, radial);
}

}  // namespace mdv
