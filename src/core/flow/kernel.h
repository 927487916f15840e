#pragma once
// The velocity a vortex ring of unit circulation induces at a point.
#include "core/model/geometry.h"
#include "core/model/model.h"

namespace mdv {

// Complete elliptic integrals K(m), E(m), m = k², 0 <= m < 1 (Hastings
// polynomial approximations with a logarithmic term, |error| <= 2e-8).
Real EllipticK(Real m);
Real EllipticE(Real m);

// Component along dir of the velocity induced at p by a unit ring at ring.Pos, m/s.
Real RingVelocity(const TRealPoint& p, const TVortex& ring, const TRealPoint& dir);

// RingVelocity along (1, 0) and along (0, 1) from one evaluation of the
// elliptic integrals; each result equals the single call bit for bit.
void RingVelocityPair(const TRealPoint& p, const TVortex& ring, Real& axial, Real& radial);

}  // namespace mdv
