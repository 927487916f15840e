#pragma once
// The capture zone from tracers: massless markers released from source
// points at regular intervals after the start-up and moved with the
// instantaneous flow by the run's own integrator (an explicit Euler step with
// the free vortices' wall rule, velocities from the run's flow path). A
// marker is caught when it crosses the suction section, lost when it passes
// behind the plane (round its rim) or farther than the far radius from the
// mouth, and expired when it is still in flight at the horizon T. Per source:
// the fraction caught within T and the median time to capture.
//
// Markers are split into `Stride` groups; each step one group moves by
// Stride·dt, so that many markers cost a bounded share of a step
// (bench/tracers_bench.cpp). Stride 1 moves every marker every step.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/averages/averaging.h"
#include "core/averages/tracer_results.h"
#include "core/base/observer.h"
#include "core/model/model.h"

namespace mdv {

inline constexpr double DefaultCaptureHorizon = 10;  // s
inline constexpr double DefaultReleaseEvery = 0.25;  // s between two markers of one source
inline constexpr int32_t DefaultTracerStride = 10;
// Lost beyond this many diameters D = 2B from the mouth's centre.
inline constexpr double DefaultFarRadiusOverD = 10;

struct TracerSettings {
  TRealPointArray Sources;        // user-given points, m
  double GridSpacing = 0;         // m; > 0: also every flow point of a grid in front of the hood
  double Horizon = DefaultCaptureHorizon;       // T, s
  double ReleaseEvery = DefaultReleaseEvery;    // s (rounded to whole steps)
  // First release, s; none: once the start-up is over (the averages' start,
  // `--average-from`, or the running verdict's start-up end).
  std::optional<Real> ReleaseFrom;
  // Markers that are only shown (the window's "Маркеры", smoke in a wind
  // tunnel): released on the same schedule from this time, s, moved and kept
  // as the others, but those born before the first release above are left
  // out of every count. None: no marker before the first release.
  std::optional<Real> ShowFrom;
  double FarRadius = 0;  // m; 0: DefaultFarRadiusOverD·D
  int32_t Stride = DefaultTracerStride;
};

struct Marker {
  TRealPoint Pos;   // m
  Real Born = 0;    // release time, s
  int32_t Source = 0;
  int32_t Group = 0;  // moves on steps whose count ≡ Group (mod Stride)
  bool Counted = true;  // false: released before the first release, only shown
};

struct SourceTally {
  int64_t Released = 0, Caught = 0, Lost = 0, Expired = 0;
  std::vector<double> CaptureTimes;  // s, of the caught markers
};

struct TracerState {
  TracerSettings Settings;
  bool Started = false;
  TRealPointArray Sources;  // user points, then the grid's
  TracerGrid Grid;
  std::vector<Marker> Markers;  // in flight
  std::vector<SourceTally> Tally;
  int64_t Steps = 0;
  std::optional<Real> FirstRelease;  // s, once known
  int32_t ReleaseSteps = 1;          // steps between releases
  double FarRadius = 0;              // m
  TRealPoint Mouth;
  TRibArray Contour;  // the body ribs the sources were laid over
  // Scratch of a step (reserved, so that a step allocates nothing).
  std::vector<int32_t> Moving;
  TRealPointArray Moved;
  std::vector<uint8_t> Fate;
};

// Start: forgets everything; lays the sources over the model's present area
// (the grid's sources on nodes of the averaging grid, every k-th with k·dx
// nearest the asked spacing, from the plane to the mouth).
void StartTracers(TracerState& t, const Model& m, const TracerSettings& settings, const AveragingGrid& grid);
// Source nodes a --tracer-grid spacing, m, gives in front of the hood of `m`
// (flow points of the averages' own grid from the plane to the mouth, as
// StartTracers lays them); 0 for a spacing wider than that region.
int64_t TracerGridSources(const Model& m, double spacing);
// Most source nodes a grid may have: each releases a marker every 0,1 s for
// the whole run (the default hood at 0,025 m gives some 700).
inline constexpr int64_t MaxTracerGridSources = 2000;
// Room for `markers` in flight at once.
void ReserveTracers(TracerState& t, size_t markers);
// One complete step: releases (when due), moves one group, sorts out the
// caught, lost and expired. `startupEnd`: the start-up's end once known
// (releases begin there when no ReleaseFrom is set).
void FeedTracers(TracerState& t, const Model& m, std::optional<Real> startupEnd);

TracerResults SummariseTracers(const TracerState& t);

// The caught fraction on the source grid (NaN where no source or no fate),
// row-major, x fastest.
std::vector<double> CaptureFractionField(const TracerResults& r);

// For a person (Russian, decimal comma): the settings, each user-given source
// on a line, the grid's sources summed up (how many caught ≥ 0,9 and ≥ 0,5).
std::string TracerText(const TracerResults& r);
// The table for a person or a CSV ("x [m];y [m];released;caught;lost;expired;
// in_flight;caught_fraction;median_capture_time [s]", decimal commas).
std::string TracerCsv(const TracerResults& r);

// Feeds every complete step to the tracers after `averages` (which runs
// first as the outer relay), then passes it on. Starts the tracers with the
// state's Settings at the first step and whenever the area changed.
class TracerObserver : public ObserverRelay {
 public:
  TracerObserver(TracerState& t, const AveragingState& averages, Observer& inner)
      : ObserverRelay(inner), t_(t), averages_(averages) {}
  void StepDone(const Model& m) override;

 private:
  TracerState& t_;
  const AveragingState& averages_;
};

}  // namespace mdv
