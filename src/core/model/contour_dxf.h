#pragma once
// A contour to and from CAD: DXF R12 text, in millimetres (x → X, r → Y).
// The wall is one open POLYLINE on layer WALL, an arc a vertex's bulge
// tan(θ/4) (θ the arc's included angle, positive counter-clockwise: a
// left-turning arc, ArcRadius > 0); the suction section and the plane are
// LINEs on layers SUCTION and PLANE. Layer names are ASCII: an R12 or R2000
// file keeps its texts in a code page, and dxflib passes their bytes as
// they are, so a Cyrillic name would not survive the way to CAD and back.
#include <string>

#include "core/model/contour.h"

namespace mdv {

inline constexpr char DxfWallLayer[] = "WALL";
inline constexpr char DxfSuctionLayer[] = "SUCTION";
inline constexpr char DxfPlaneLayer[] = "PLANE";

// The DXF text of the contour's geometry (the speeds, spacing and
// parameters stay in the contour file).
std::string WriteContourDxf(const Contour& c);
bool WriteContourDxfFile(const std::string& path, const Contour& c, std::string& error);

// Reads the wall from the first polyline on layer WALL (else the first
// polyline of any layer; LWPOLYLINE or POLYLINE), mm → m, bulges → signed
// arc radii (an arc over 180° becomes two arcs); the suction section's x
// and the plane's x and radius from the LINEs on their layers when present.
// Everything else comes from `defaults`. A file without an open polyline of
// two segments or more is refused with a message in Russian.
bool ReadContourDxf(const std::string& text, const Contour& defaults, Contour& out, std::string& error);
bool ReadContourDxfFile(const std::string& path, const Contour& defaults, Contour& out, std::string& error);

}  // namespace mdv
