#include "core/kernel.h"

#include <cmath>

namespace mdv {

namespace {

// Hastings' coefficients for K(m) (a_i, b_i, i = 0..4) and E(m) (c_i, d_i, i = 1..4).
constexpr Real KA[5] = {1.38629436112L, 0.09666344259L, 0.03590092383L, 0.03742563713L,
                        0.01451196212L};
constexpr Real KB[5] = {0.5L, 0.12498593597L, 0.06880248576L, 0.03328355346L, 0.00441787012L};
constexpr Real EC[5] = {0, 0.44325141463L, 0.06260601220L, 0.04757383546L, 0.01736506451L};
constexpr Real ED[5] = {0, 0.24998368310L, 0.09200180037L, 0.04069697526L, 0.00526449639L};

// 4π as the extended constant of the kernel.
constexpr Real FourPi = 12.566370614359172954L;

// Below this |2 r R| the point is on the axis (or the ring has no radius):
// the field there is purely axial and the elliptic form is not used.
constexpr Real AxisBand = 1e-10L;

}  // namespace

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

}  // namespace mdv
