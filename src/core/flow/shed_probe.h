#pragma once
// The refined model's shedding: the shear layer leaving a separating edge
// carries per second the circulation ½·(U₊² − U₋²), U₊ and U₋ the speeds on
// its two sides (the Kutta flux). The dead side is taken as still, U₋ = 0.
// U₊ comes from points a distance d_p = δ in metres from the edge (not from
// the edge's own ring, whose velocity a finer contour resolves ever closer
// to the edge's singularity), so the shed rate does not hang on the spacing h.
//
// Two points, one on each side of the direction the layer leaves in, and the
// faster of their speeds: attached flow round an edge has the same speed at
// one distance on both sides (the wedge's potential z^(π/θ)), so the
// difference of the two sides would shed nothing until a layer already
// existed, while the faster side is the flow's outer speed either way.
#include "core/model/model.h"

namespace mdv {

// The probe distance of m, m: δ.
Real ShedProbeDistance(const Model& m);

// The circulation shed in `span` seconds from the two sides' speeds, with the
// sign of the edge's bound circulation (the sign of the flow round the edge):
// sign(Γ_edge)·½·|Ua² − Ub²|·span, m²/s.
Real KuttaFluxCirculation(Real speedA, Real speedB, Real edgeGamma, Real span);

// Half the angle of the flow's wedge at separation point s, rad: the angle
// between its bisector and either face (3π/4 at a square corner).
Real FluidHalfAngle(const Model& m, int32_t s);

// Two points d from the edge of s, one on each side of the direction (ux,
// uy) the layer leaves in: at ±45° from it, or closer to it where a face is
// nearer, so both lie in the flow (the direction itself kept π/8 off the faces).
void LeavingProbePoints(const Model& m, int32_t s, Real d, Real ux, Real uy, TRealPoint& a, TRealPoint& b);

// The circulation separation point s sheds in `span` seconds by the one-
// sided Kutta flux, sign(Γ_edge)·½·U₊²·span, the layer leaving along (ux, uy).
Real OuterShedCirculation(const Model& m, int32_t s, Real ux, Real uy, Real span);

// Near a sharp edge that a layer leaves smoothly the speed on its outer side
// is U_e·(1 − c·√r): the first correction of the free-streamline flow at a
// separating edge. From the outer speeds U₁ at d_p and U₂ at 2·d_p the edge's
// own speed is U_e = (√2·U₁ − U₂)/(√2 − 1) (never below 0), m/s.
Real EdgeSpeedFromProbes(Real near, Real far);

// The circulation separation point s sheds in `span` seconds by the one-sided
// Kutta flux of the edge's own speed, sign(Γ_edge)·½·U_e²·span, m²/s.
Real EdgeSpeedShedCirculation(const Model& m, int32_t s, Real ux, Real uy, Real span);

}  // namespace mdv
