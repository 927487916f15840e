#pragma once
// Viscous diffusion of the free rings by a diffusive velocity (the viscous
// vortex domains approach): the meridional vorticity ω is carried by the
// flow's velocity plus
//   V_d = −ν·∇ω/ω − (ν/r)·e_r.
// The second term is the axisymmetric one: ν(∇²ω − ω/r²), with ∇² the
// axisymmetric Laplacian, is the divergence of ν∇ω + ν·(ω/r)·e_r, so the
// circulation only moves, and in open space the impulse ∫ω·r² dA stays
// unchanged (∫ r² ∇·F dA = −∫ 2r·F_r dA, and the two parts of F_r cancel).
//
// ω at a ring is estimated from the free rings of its own sign through a
// Gaussian exp(−d²/ε²) of width ε = δ (the smoothing length, m); rings of
// the other sign are left out, as the quotient ∇ω/ω has no meaning where ω
// changes sign. A ring within a few ε of a wall also sees the mirror images
// of those rings in the wall's tangent line at its nearest wall point: the
// wall lets no vorticity diffuse through it, so a ring near it diffuses away
// from it.
//
// ν is ViscosityOf(m), m²/s (a turbulent viscosity: the model resolves
// no wall layer, so the molecular one would act too slowly to matter).
#include "core/model/model.h"

namespace mdv {

// Adds V_d of every free ring to velocity[k] (k the free ring's index, 0 for
// the first free ring), m/s; nothing when ν is 0. Allocates nothing in a run
// (the rings' places in double go to m.RefinedWork); the result does not
// depend on the thread count, and is DiffusiveVelocity's to the bit.
void AddDiffusiveVelocities(Model& m, TRealPointArray& velocity);

// V_d of the free ring with free index k alone, summed over every free ring, m/s.
TRealPoint DiffusiveVelocity(const Model& m, int32_t k);

}  // namespace mdv
