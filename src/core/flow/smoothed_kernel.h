#pragma once
// The refined model's free rings: the ring kernel with a smoothing length δ
// (m) in the form of Nitsche and Krasny, δ² added to the squared distances
// from the ring's nearest and farthest points, so the velocity is finite
// everywhere, at the ring itself too (there it is the ring's own motion).
// With δ = 0 it is the exact kernel of ring_kernel.h.
#include <cmath>

#include "core/flow/ring_kernel.h"

namespace mdv::ring {

// Velocity along (1, 0) and (0, 1) at p of a unit ring at ring.Pos, delta2 = δ², m².
inline void SmoothedPair(const TRealPoint& p, const TVortex& ring, Real delta2, Real& axial,
                         Real& radial) {
  const Real R = ring.Pos.Y;  // ring radius, m
  const Real r = p.Y;
  const Real dx = p.X - ring.Pos.X;
  const Real S = dx * dx + r * r + R * R + delta2;
  const Real T = (r * 2) * R;
  if (std::fabs(T) < AxisBand) {
    axial = S == 0 ? 0 : R * R / (2 * S * std::sqrt(S));
    radial = 0;
    return;
  }
  const Real sPlusT = S + T;
  if (sPlusT == 0 || S - T == 0) {
    axial = 0;
    radial = 0;
    return;
  }
  const Real m = 2 * T / sPlusT;
  Real k, e;
  EllipticKE(m, k, e);
  const Real root = std::sqrt(sPlusT);
  axial = GeneralComponent(1, 0, S, T, dx, r, R, e, k, root);
  radial = GeneralComponent(0, 1, S, T, dx, r, R, e, k, root);
}

}  // namespace mdv::ring
