#pragma once
// What the markers have come to so far, for a person watching a run: the
// counts summed over the sources, whether the capture lines rest on enough
// fates yet, and when they can appear at all.
#include <cstdint>
#include <string>

#include "core/averages/tracer_results.h"

namespace mdv {

struct MarkerCounts {
  int64_t Released = 0, Caught = 0, Lost = 0, Expired = 0, InFlight = 0;  // counted markers
  int32_t GridSources = 0;  // sources on the grid
  int32_t GridKnown = 0;    // of them, with a caught fraction
};
MarkerCounts CountMarkers(const TracerResults& r);

// The capture lines are provisional while a grid source that released has
// no fate yet, or one's fraction rests on fewer fates than it has markers in
// flight: the lines will still move.
bool CaptureProvisional(const TracerResults& r);

// One line for the status bar at model time `now`, s: before the counting
// starts, what starts it; then released / caught / lost / not caught within
// T / in flight and T; and where the capture lines stand ("появятся не
// раньше t = …", "предварительные", "в «Осреднённом течении»").
// `shown`: markers in flight that are only shown (released before the start).
std::string MarkerStatusText(const TracerResults& r, double now, int64_t shown);

}  // namespace mdv
