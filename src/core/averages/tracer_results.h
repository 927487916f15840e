#pragma once
// What the tracers found, as the averages file carries it (tracers.h gathers it).
#include <cstdint>
#include <vector>

#include "core/model/geometry.h"

namespace mdv {

// The source grid (when GridSpacing > 0): nodes of a regular grid from the
// plane to the mouth and from the axis to the top of the averaging grid;
// Source[k] is the index of node k in Sources or -1 where the node is no flow point.
struct TracerGrid {
  double X0 = 0, Y0 = 0, Dx = 0, Dy = 0;  // m
  int32_t Nx = 0, Ny = 0;
  std::vector<int32_t> Source;
};

struct SourceResult {
  TRealPoint Point;  // m
  int64_t Released = 0, Caught = 0, Lost = 0, Expired = 0, InFlight = 0;
  bool Known = false;         // at least one marker's fate decided
  double CaughtFraction = 0;  // caught / (caught + lost + expired)
  bool HasMedian = false;
  double MedianTime = 0;  // s
};

struct TracerResults {
  bool Present = false;
  double Horizon = 0, ReleaseEvery = 0, FarRadius = 0;  // s, s, m
  int32_t Stride = 1;
  bool HasFirstRelease = false;
  double FirstRelease = 0;  // s
  std::vector<SourceResult> Sources;
  TracerGrid Grid;  // Nx = 0 without a source grid
};

}  // namespace mdv
