#pragma once
// Checks of a contour before the attached rings are built on it. The
// contour file's reader, the batch tool and the window share them; each
// refusal names the segment or the point (segments counted from 1, point k
// the end of segment k, point 0 the wall's start) with its coordinates.
#include <cstdint>
#include <string>

#include "core/model/contour.h"

namespace mdv {

// Arcs are examined as chords of at most this angle, rad (1°): a chord
// stays within 4·10⁻⁵ of the radius from its arc, so a crossing or a gap
// narrower than that is not told apart.
inline constexpr Real ContourArcChordAngle = Pi / 180;

// Where the section x = SuctionX, going up from the axis, first meets the
// wall: the point and the segment's index. `intoChannel` is true when the
// wall there runs towards +x (the fluid below it: the inner wall). False
// when the line misses the wall.
bool ContourSuctionTop(const Contour& c, TRealPoint& top, int& segment, bool& intoChannel);

// The attached rings at spacing h, counted as the parametric hood counts
// them: round(length / h), at least 1, on every wall segment, the suction
// section and the plane, and one more at the plane's rim. Meaningful only
// for a contour that passes the checks before the count.
int64_t ContourAttachedCount(const Contour& c);

// Empty when the contour can be built; otherwise the first refusal, in this
// order: non-finite numbers, fewer than two segments, points below the
// axis, zero-length segments, arcs of a radius shorter than half their
// chord, segments on or across the axis, a spacing, plane radius, speeds,
// separation angle, supply segment or shedding corners out of range; the
// wall's end short of the suction section, a section that misses the inner
// wall; a plane less than one spacing left of the hood; a spacing too
// coarse (every segment but the supply face, and the suction section and
// the plane, get at least two rings, as the parametric hood's ribs: a
// surface of one ring cannot hold the flow along it); too many rings; and
// a wall that crosses itself or folds back on itself.
std::string ValidateContour(const Contour& c);

}  // namespace mdv
