#pragma once
// The ring kernel's arithmetic, inline, for the loops that sum it: the
// literal kernel (kernel.cpp) and the fast sums (circulation.cpp) are built
// from the same constants and the same expressions, so that the fast forms
// reproduce the literal results bit for bit.
//
// What the fast forms share, and why the bits stay the same:
// - K(m) and E(m) both start from m1 = 1 - m and L = ln(1/(1 - m)), and both
//   build the powers m1, m1², m1³, m1⁴ by repeated multiplication from 1, so
//   one evaluation of m1, L and the powers serves both sums unchanged.
// - The two directions (1, 0) and (0, 1) share S, T, m, K, E and sqrt(S + T);
//   each component is then the literal expression with the direction's
//   components written as the constants 1 and 0. A compiler folds only exact
//   identities (x·1 = x); x·0 stays a multiplication, so its signed zero (or
//   NaN) is the one the literal call produces.
#include <cmath>

#include "core/model/model.h"
#include "core/base/real.h"

namespace mdv::ring {

// Hastings' coefficients for K(m) (a_i, b_i, i = 0..4) and E(m) (c_i, d_i, i = 1..4).
inline constexpr Real KA[5] = {1.38629436112L, 0.09666344259L, 0.03590092383L, 0.03742563713L,
                               0.01451196212L};
inline constexpr Real KB[5] = {0.5L, 0.12498593597L, 0.06880248576L, 0.03328355346L,
                               0.00441787012L};
inline constexpr Real EC[5] = {0, 0.44325141463L, 0.06260601220L, 0.04757383546L,
                               0.01736506451L};
inline constexpr Real ED[5] = {0, 0.24998368310L, 0.09200180037L, 0.04069697526L,
                               0.00526449639L};

// 4π as the extended constant of the kernel.
inline constexpr Real FourPi = 12.566370614359172954L;

// Below this |2 r R| the point is on the axis (or the ring has no radius):
// the field there is purely axial and the elliptic form is not used.
inline constexpr Real AxisBand = 1e-10L;

// K(m) and E(m) from one logarithm; each equals EllipticK / EllipticE bit for bit.
inline void EllipticKE(Real m, Real& k, Real& e) {
  const Real m1 = 1 - m;
  const Real l = std::log(1 / m1);
  const Real one = 1;
  const Real p1 = one * m1;
  const Real p2 = p1 * m1;
  const Real p3 = p2 * m1;
  const Real p4 = p3 * m1;
  Real sk = 0;
  sk = sk + (KA[0] + KB[0] * l) * one;
  sk = sk + (KA[1] + KB[1] * l) * p1;
  sk = sk + (KA[2] + KB[2] * l) * p2;
  sk = sk + (KA[3] + KB[3] * l) * p3;
  sk = sk + (KA[4] + KB[4] * l) * p4;
  Real se = 0;
  se = se + (EC[1] + ED[1] * l) * p1;
  se = se + (EC[2] + ED[2] * l) * p2;
  se = se + (EC[3] + ED[3] * l) * p3;
  se = se + (EC[4] + ED[4] * l) * p4;
  k = sk;
  e = 1 + se;
}

// The general-branch component along (dirX, dirY), given the shared terms.
inline Real GeneralComponent(Real dirX, Real dirY, Real S, Real T, Real dx, Real r, Real R, Real e,
                             Real k, Real root) {
  const Real c1 = R * R * dirX / FourPi;
  const Real c2 = (dx * dirY - r * dirX) * (R / FourPi);
  return e * (4 * (c1 * T + c2 * S) / T) / (root * (S - T)) - k * (4 * c2 / T) / root;
}

// RingVelocity along an arbitrary direction with K and E from one logarithm.
inline Real Along(const TRealPoint& p, const TVortex& ring, const TRealPoint& dir) {
  const Real R = ring.Pos.Y;  // ring radius, m
  const Real r = p.Y;
  const Real dx = p.X - ring.Pos.X;
  const Real S = dx * dx + r * r + R * R;
  const Real T = (r * 2) * R;
  if (std::fabs(T) < AxisBand) {
    if (S == 0) return 0;
    return R * R * dir.X / (2 * S * std::sqrt(S));
  }
  const Real sPlusT = S + T;
  if (sPlusT == 0) return 0;
  const Real m = 2 * T / sPlusT;
  Real k, e;
  EllipticKE(m, k, e);
  return GeneralComponent(dir.X, dir.Y, S, T, dx, r, R, e, k, std::sqrt(sPlusT));
}

// RingVelocity along (1, 0) and along (0, 1) in one evaluation.
inline void Pair(const TRealPoint& p, const TVortex& ring, Real& axial, Real& radial) {
  const Real R = ring.Pos.Y;  // ring radius, m
  const Real r = p.Y;
  const Real dx = p.X - ring.Pos.X;
  const Real S = dx * dx + r * r + R * R;
  const Real T = (r * 2) * R;
  const Real one = 1;
  const Real zero = 0;
  if (std::fabs(T) < AxisBand) {
    if (S == 0) {
      axial = 0;
      radial = 0;
      return;
    }
    const Real den = 2 * S * std::sqrt(S);
    axial = R * R * one / den;
    radial = R * R * zero / den;
    return;
  }
  const Real sPlusT = S + T;
  if (sPlusT == 0) {
    axial = 0;
    radial = 0;
    return;
  }
  const Real m = 2 * T / sPlusT;
  Real k, e;
  EllipticKE(m, k, e);
  const Real root = std::sqrt(sPlusT);
  axial = GeneralComponent(one, zero, S, T, dx, r, R, e, k, root);
  radial = GeneralComponent(zero, one, S, T, dx, r, R, e, k, root);
}

}  // namespace mdv::ring
