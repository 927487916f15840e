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

// The far region: a ring farther than this from the mouth's centre is removed, m.
Real FarRegionRadius(const Model& m);

}  // namespace mdv
