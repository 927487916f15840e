#pragma once
// A hood given by its wall's half-section instead of the parametric tube with
// a flange: an open polyline of the meridian half-plane (X axial, Y = r the
// distance from the axis, m) of straight segments and circular arcs, with the
// suction section, an optional supply face and the plane in front of it.
//
// The wall is walked with the fluid on the right: along the outer surface
// towards the inlet, round the lip, back along the inner wall into the
// channel (as the parametric hood's ribs run). The inner wall's end lies
// beyond the suction section; the section spans r = 0 to the wall at
// x = SuctionX.
#include <string>
#include <vector>

#include "core/model/geometry.h"

namespace mdv {

// The version of the contour file this program writes and reads.
inline constexpr int ContourFormatVersion = 1;

// Corners whose direction turns by more than this (into the fluid: a convex
// corner) shed free rings unless the contour lists its own set, rad.
inline constexpr Real DefaultSeparationAngle = Pi / 6;

// One segment of the wall, from the previous segment's end (or the wall's
// Start) to End. ArcRadius 0 is a straight segment; otherwise the segment is
// the shorter circular arc of that radius through both ends, turning left
// (counter-clockwise, centre on the left of the chord) when positive and
// right when negative, m.
struct ContourSegment {
  TRealPoint End;
  Real ArcRadius = 0;
};

// A named number of the contour file (a study may sweep it); the file's
// coordinates may refer to it. Value in the file's units (m, m/s, degrees).
struct ContourParameter {
  std::string Name;
  Real Value = 0;
};

struct Contour {
  std::string Name;  // free text, shown in the window's title and reports
  TRealPoint Start;
  std::vector<ContourSegment> Wall;
  int SupplySegment = -1;  // index into Wall of the supply face, -1: none
  Real SupplySpeed = 0;    // m/s, out of the supply face into the fluid
  Real SuctionX = 1.0L;    // m
  Real SuctionSpeed = 1.0L;  // m/s, mean speed through the suction section
  Real PlaneX = -0.5L;       // m, the plane disc at x = PlaneX, r from 0 to PlaneRadius
  Real PlaneRadius = 0.4L;   // m
  Real Spacing = 0.01L;      // h, the attached rings' spacing along the wall, m
  Real SeparationAngle = DefaultSeparationAngle;  // rad
  // When not empty: the wall's vertices (1 .. Wall.size()-1, vertex k joins
  // segment k-1 to segment k) that shed, in place of those found by the angle.
  std::vector<int> SheddingCorners;
  std::vector<ContourParameter> Parameters;
};

// The wall's vertex k: Start for k = 0, else Wall[k-1].End.
TRealPoint ContourVertex(const Contour& c, int k);

// The unit tangent of segment k at its start and at its end (an arc's
// tangents differ from its chord's direction).
TRealPoint SegmentStartTangent(const Contour& c, int k);
TRealPoint SegmentEndTangent(const Contour& c, int k);

// The segment's length along the wall, m (an arc's length, not its chord's).
Real SegmentLength(const Contour& c, int k);

// The point at arc-length fraction t in [0, 1] of segment k.
TRealPoint SegmentPoint(const Contour& c, int k, Real t);

// The signed turn at vertex k (1 .. Wall.size()-1) from the end tangent of
// segment k-1 to the start tangent of segment k, rad, in (-π, π]: positive
// turns left, round the solid (the fluid is on the right): a convex corner
// of the wall that the flow must turn round.
Real VertexTurn(const Contour& c, int k);

// The vertices that shed: SheddingCorners when given, else every vertex whose
// convex turn exceeds SeparationAngle, in wall order.
std::vector<int> SheddingVertices(const Contour& c);

}  // namespace mdv
