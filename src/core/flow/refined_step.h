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
// - with a wall layer (m.Refined.WallLayer, m), a ring whose corrected step
//   enters the layer from outside is removed and its circulation given back
//   to the walls, as the absorb rule does at the barrier: the layer is in
//   metres, so it stays where it is as h shrinks. Only rings that come back
//   to a wall are taken: the shed sheet, born inside the layer at h/2 from
//   its edge, is left to the flow (taking every ring that moved closer to a
//   wall took the whole sheet at h = 0,005 m, and nothing separated);
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

// The point of the bodies' walls (the contour but the suction section) nearest
// to p, and its distance from p, m.
TRealPoint NearestWallPoint(const Model& m, const TRealPoint& p, Real& distance);

// Distance from p to the nearest of the bodies' walls (the contour but the
// suction section; the walls' own lines, not the barrier), m.
Real WallDistance(const Model& m, const TRealPoint& p);

// Whether the wall layer takes a ring whose step went from `from` to `to`:
// it ends inside the layer, started outside it, and not within
// two layer thicknesses of a separation point (there the shed sheet itself
// lies in the layer).
bool TakenByWallLayer(const Model& m, const TRealPoint& from, const TRealPoint& to);

// The far region: a ring farther than this from the mouth's centre is removed, m.
Real FarRegionRadius(const Model& m);

}  // namespace mdv
