#pragma once
// The refined model's step, for averages that converge as the spacing and the
// step shrink:
// - the free rings move by Heun's second-order step (an Euler predictor, the
//   attached circulations solved for the predicted positions, the mean of the
//   two velocities) with the flow's velocity and the diffusive velocity of a
//   turbulent viscosity (diffusion.h); a ring whose step crosses a body's
//   barrier slides along it (the program's rule), one that crosses the
//   suction section leaves;
// - a ring that leaves the far region, or whose radius falls below the
//   smoothing length δ, is removed and counted (m.RefinedCount); the total-
//   circulation row of the next solve gives its circulation back to the
//   attached rings. Removal, not reflection: a ring that small carries almost
//   no impulse (Γ·r² < Γ·δ²), and a reflected ring would be a ring the flow
//   never made;
// - close rings of one sign are merged (ring_merging.h);
// - every separation point sheds in every step the one-sided Kutta flux of
//   m.Refined.Shedding (shed_probe.h), into a new ring or its nascent ring
//   (m.Refined.Placement); MaxFreeVortex is only a memory ceiling, and a
//   shedding it prevents is counted.
#include "core/flow/step_model.h"

namespace mdv {

const StepModel& RefinedStep();

// Heun's step of the free rings alone (no removal but at the suction
// section, no merging, no shedding); the attached circulations are left
// solved for the predicted positions. Exposed for the order test.
void ConvectFreeRingsHeun(Model& m);

// What a free ring's move met.
enum class WallContact {
  None,     // nothing: the move stands
  Barrier,  // a body's barrier (h/2 off the walls): slid along it
  Suction,  // the suction section: the ring leaves the model
};
// The flow's velocity at every free ring into out[k] (k the free index),
// m/s, on all threads, the same bits for any thread count: on the double
// path from the free rings' sums on each other, each pair of free rings
// evaluated once for both (to rounding the per-ring sums of CalcVelocityPair,
// in another order); on the other paths ring by ring with CalcVelocityPair.
void FreeRingVelocities(Model& m, TRealPointArray& out);

// The refined model's wall rule for a move from `start` to `q`: the
// program's slide along a barrier; q is left where the move ends.
WallContact RefinedWallRule(const Model& m, const TRealPoint& start, TRealPoint& q);

// The point of the bodies' walls (the contour but the suction section) nearest
// to p, and its distance from p, m.
TRealPoint NearestWallPoint(const Model& m, const TRealPoint& p, Real& distance);

// Distance from p to the nearest of the bodies' walls (the contour but the
// suction section; the walls' own lines, not the barrier), m.
Real WallDistance(const Model& m, const TRealPoint& p);

// The far region: a ring farther than this from the mouth's centre is removed, m.
Real FarRegionRadius(const Model& m);

}  // namespace mdv
