#pragma once
// The refined model's step, for averages that converge as the spacing and the
// step shrink:
// - the free rings move by Heun's second-order step (an Euler predictor, the
//   attached circulations solved for the predicted positions, the mean of the
//   two velocities), with the program's wall rule and removal at the suction
//   section;
// - a ring that leaves the far region, or whose radius falls below the
//   smoothing length δ, is removed and counted (m.RefinedCount); the total-
//   circulation row of the next solve gives its circulation back to the
//   attached rings. Removal, not reflection: a ring that small carries almost
//   no impulse (Γ·r² < Γ·δ²), and a reflected ring would be a ring the flow
//   never made;
// - close rings of one sign are merged (ring_merging.h);
// - every separation point sheds in every step, with the circulation of
//   m.Refined.Shedding; MaxFreeVortex is only a memory ceiling, and a
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
  Barrier,  // a body's barrier (h/2 off the walls): slid along it or reflected, per m.Refined.Wall
  Suction,  // the suction section: the ring leaves the model
};
// The refined model's wall rule for a move from `start` to `q` (the
// program's slide, or with WallRule::Reflect the part beyond a barrier
// mirrored back; Absorb is the caller's: it removes a ring that met a barrier).
WallContact RefinedWallRule(const Model& m, const TRealPoint& start, TRealPoint& q);

// The far region: a ring farther than this from the mouth's centre is removed, m.
Real FarRegionRadius(const Model& m);

}  // namespace mdv
