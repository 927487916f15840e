#pragma once
// The inlet's mean separation streamline, from the averaged field, and the
// hood whose wall follows it (the zone filled with wall).
//
// In the mean, axisymmetric flow the Stokes stream function of a channel
// section, ψ(r) = ∫₀ʳ v̄x r' dr' (per 2π, m³/s), rises from the axis to the
// wall's value; where the jet has left the wall it overshoots in the
// recirculating zone and falls back to it at the wall. The separation
// streamline is the streamline of the wall's value that leaves the edge:
// in each section, the least r at which ψ reaches the value it has at the
// wall. Where no such r lies more than a strip of the section's profile
// inside the wall, the flow has reattached.
#include <string>
#include <vector>

#include "core/averages/averaging.h"
#include "core/model/contour.h"

namespace mdv {

struct SeparationLine {
  bool Separated = false;   // the mean flow leaves the wall at the edge
  bool Reattached = false;  // and meets it again before the suction section
  // From the edge to the reattachment point on the wall (when reattached), m.
  std::vector<TRealPoint> Points;
  std::string Message;  // why there is no line, in Russian; empty when Separated
};

// The separation streamline that leaves `edge` (the mouth, where the inner
// wall becomes the channel) in the mean profiles of the channel's sections
// (ContractionSummary: every B/4 from the mouth to half a radius before the
// suction section) of a run on the contour `c`.
SeparationLine MeanSeparationLine(const ContractionSummary& sections, const Contour& c, const TRealPoint& edge);

// The mean separation streamline of every shedding corner of `c`: the
// mouth's from the channel sections (MeanSeparationLine); any other corner's
// traced through the averaged grid field from the corner along its upstream
// face (Heun's steps of half a grid spacing) until it comes within a grid
// spacing of a wall two spacings or more from the corner (reattached), leaves
// the field, stops, or has run twenty channel radii. A corner whose flow does
// not separate in the mean gives no line.
std::vector<CornerSeparation> MeanSeparationLines(const AveragingResults& r, const Contour& c);

// The contour whose wall follows `line` from the shedding corner `corner`
// (a vertex of c at the line's first point) to the reattachment: the wall
// leaves the corner along its upstream face (a smooth curve, in short chords,
// to the line's first point past the corner, so the corner no longer turns
// the flow), then
// follows the line, its points smoothed (a three-point running mean) and
// thinned to within `tolerance` m of it, then meets the old wall at the
// reattachment and follows it on. A listed set of shedding corners loses
// those in the zone (a list left empty falls back to the angle). False with a Russian message when the
// line does not reattach or the supply face lies in the zone.
bool ProfiledContour(const Contour& c, int corner, const SeparationLine& line, Real tolerance, Contour& out,
                     std::string& error);

}  // namespace mdv
