#pragma once
// Lines of constant value of a field sampled on a regular grid (marching
// squares), joined into polylines. Grid points outside the flow are masked:
// a cell is contoured only when its four corners are flow points, so no line
// runs into a wall.
#include <cstdint>
#include <vector>

namespace mdv {

struct ScalarGridView {
  double X0 = 0, Y0 = 0;  // first point, m
  double Dx = 0, Dy = 0;  // spacing, m
  int32_t Nx = 0, Ny = 0;
  const double* Values = nullptr;   // Nx·Ny, row-major, x fastest (index j·Nx + i)
  const uint8_t* Inside = nullptr;  // same layout; 0 = masked; null = all points
};

struct IsoPoint {
  double X = 0, Y = 0;  // m
};
using IsoPolyline = std::vector<IsoPoint>;

// The polylines where the field equals `level`. A line that closes on itself
// ends with its first point repeated. A grid point exactly at the level counts
// as above it, so a line never passes through a grid point twice. Saddle
// cells are split by the mean of their corners.
std::vector<IsoPolyline> Isolines(const ScalarGridView& g, double level);

// Length of a polyline, m.
double PolylineLength(const IsoPolyline& p);
// The point halfway along the polyline (by length), m.
IsoPoint PolylineMidpoint(const IsoPolyline& p);

}  // namespace mdv
