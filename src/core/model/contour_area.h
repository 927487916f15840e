#pragma once
// The discrete model of a hood given by its contour (contour.h): the same
// arrays BuildArea fills for the parametric hood, so the flow, the averages
// and the analyses run on either kind of area unchanged.
//
// Ribs, in this order: the wall's (one per straight segment, one per
// interval of an arc: its chord), the suction section, the plane. Attached
// rings: at spacing h along every segment (a whole number of intervals per
// segment), the first on the segment's start; the suction section's first
// ring covers the wall's far end (the wall has none there); the end ring at
// the plane's rim has no control point (its row is the total circulation).
// Control points halfway between neighbouring rings, on the arc itself for
// an arc (where its chord's normal is the arc's). The barrier: every wall
// rib moved h/2 into the fluid, neighbours joined where their lines meet.
#include "core/base/observer.h"
#include "core/model/contour.h"
#include "core/model/model.h"

namespace mdv {

// Rebuilds the discrete model from m.HoodContour and sets the parameters the
// analyses read from it (ChannelRadius: the inner wall's r at the suction
// section; SuctionX, ChannelLength: the wall's last x; PlaneX,
// PlaneHalfLength, the speeds and h). The contour must have passed
// ValidateContour. Reports the status text as BuildArea does.
void BuildContourArea(Model& m, Observer& obs = NullObserver());

// The parametric hood of m's area parameters written as a contour: the same
// five faces, the supply on the flange's end face, shedding at the tube
// end's two corners and (α > 0) at the mouth edge.
Contour ParametricContour(const Model& m);

// The inner wall's radius at x, m: where the wall, walked back from its end,
// first reaches x; 0 when it does not.
Real WallRadiusAt(const Contour& c, Real x);

}  // namespace mdv
