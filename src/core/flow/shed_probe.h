#pragma once
// The refined model's Kutta-flux shedding (ShedRule::Probe): the shear layer
// leaving a separating edge carries per second the circulation
// ½·(U₊² − U₋²), U₊ and U₋ the speeds on its two sides. The speeds are taken
// at two points a fixed distance d_p in metres from the edge (not at the
// edge's own ring, whose velocity a finer contour resolves ever closer to
// the edge's singularity), so the shed rate does not hang on the spacing h.
//
// Speeds rather than the velocity vectors' difference: with γ = U₊ − U₋ and
// Ū = (U₊ + U₋)/2 the sheet-mean form γ·Ū is the same number; the vectors'
// difference would also count the turn of the flow between the two points,
// which is no part of the layer's strength.
#include "core/model/model.h"

namespace mdv {

// The probe distance of m, m: m.Refined.ShedProbe, or δ when it is 0.
Real ShedProbeDistance(const Model& m);

// The two probe points of separation point s: d from the edge, at ±45° from
// its bisector (m.SeparationDir[s]), one on each side of the line the layer
// leaves along. Both lie in the flow for an edge whose body angle is below 270°.
void ShedProbePoints(const Model& m, int32_t s, Real d, TRealPoint& a, TRealPoint& b);

// The circulation shed in `span` seconds from the two sides' speeds, with the
// sign of the edge's bound circulation (the sign the existing rules shed):
// sign(Γ_edge)·½·|Ua² − Ub²|·span, m²/s.
Real KuttaFluxCirculation(Real speedA, Real speedB, Real edgeGamma, Real span);

// The circulation separation point s sheds in `span` seconds by the Kutta
// flux, from the field of the state as it stands.
Real ProbeShedCirculation(const Model& m, int32_t s, Real span);

// The two sides' probes above see one speed wherever the flow still goes
// round the edge: attached flow in a wedge of fluid angle θ has the potential
// z^(π/θ), whose speed c·r^(π/θ − 1) does not depend on the angle, so the
// flux ½·(U₊² − U₋²) of two points at one distance is zero until a separated
// layer already exists, and the rule sustains only the separation it
// inherits. ShedRule::Outer takes the dead side's speed as zero, the
// classical Kutta flux ½·U₊², with U₊ the faster of two points around the
// direction the layer leaves in (the edge velocity), so neither point sits
// in the layer itself.

// Half the angle of the flow's wedge at separation point s, rad: the angle
// between its bisector and either face (3π/4 at a square corner).
Real FluidHalfAngle(const Model& m, int32_t s);

// Two points d from the edge of s, one on each side of the direction (ux,
// uy) the layer leaves in: at ±45° from it, or closer to it where a face is
// nearer, so both lie in the flow (the direction itself kept π/8 off the faces).
void LeavingProbePoints(const Model& m, int32_t s, Real d, Real ux, Real uy, TRealPoint& a, TRealPoint& b);

// The unit direction of the face of separation point s produced beyond the
// edge, of its two faces the one nearer the direction (ux, uy): where the
// layer of a separated flow leaves (tangent to the face it came along).
TRealPoint FaceTangent(const Model& m, int32_t s, Real ux, Real uy);

// The circulation separation point s sheds in `span` seconds by the one-
// sided Kutta flux, sign(Γ_edge)·½·U₊²·span, the layer leaving along (ux, uy).
Real OuterShedCirculation(const Model& m, int32_t s, Real ux, Real uy, Real span);

}  // namespace mdv
