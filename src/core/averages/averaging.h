#pragma once
// averages/ — the settled flow: steady-state detection, time averages and
// their files (the JSON document and its one reader, the field). Uses every
// folder below it: base/, model/, flow/, analysis/.
//
// Time averages of a run: integral signals every step (for the steady-state
// verdict), the mean and r.m.s. velocity on a regular grid over the flow
// region every k-th step, the vortex zone every m-th grid sample, the mean
// centre-line and the flux through the channel.
//
// The state lives beside the model for the whole session: Start (a fresh run)
// begins it anew, Continue adds to it. A run feeds it through an observer
// (AveragingObserver, or RunAveraged which wraps RunSimulation), which only
// reads the model between steps, so the run's results are unchanged.
#include <array>
#include <cstdint>
#include <limits>
#include <span>
#include <optional>
#include <string>
#include <vector>

#include "core/analysis/centreline.h"
#include "core/analysis/contraction.h"
#include "core/model/model.h"
#include "core/base/observer.h"
#include "core/flow/run.h"
#include "core/averages/steady_state.h"
#include "core/averages/tracer_results.h"

namespace mdv {

// Grid spacing, m, and steps between grid samples at the defaults (the cost
// of averaging stays within 30 % of a default run; bench/averaging_bench.cpp).
inline constexpr double DefaultGridSpacing = 0.025;
inline constexpr int32_t DefaultSampleEverySteps = 25;
// Grid samples between two vortex-zone measurements.
inline constexpr int32_t DefaultZoneEverySamples = 8;
// Points across the channel at x = L/2 (midpoints of equal strips from the
// axis to the wall) whose mean axial velocity gives the flux; finer than the
// grid because the profile falls off within a vortex spacing of the wall.
inline constexpr int32_t FluxSectionPoints = 60;
// Steps between two evaluations of the steady-state verdict during a run.
inline constexpr int32_t SteadyCheckEverySteps = 20;

struct AveragingSettings {
  bool UntilSteady = false;  // end the run when the verdict says steady
  double Tolerance = DefaultSteadyTolerance;  // relative 95 % half-width, e.g. 0.05
  // Average from this model time, s; none: from the detected end of the start-up.
  std::optional<Real> AverageFrom;
  double GridSpacing = DefaultGridSpacing;            // m (> 0)
  int32_t SampleEverySteps = DefaultSampleEverySteps;  // k (>= 1)
  int32_t ZoneEverySamples = DefaultZoneEverySamples;  // m (>= 1; 0 = no vortex-zone measurement)
};

// The regular grid over the flow region of the picture: x from the plane to
// the suction section, y from the axis to twice the highest point of the hood.
// The region ends GridReachHoodSizes hood sizes from the mouth (a far or wide
// plane is clipped there), and the spacing is coarsened until the grid has
// at most the points asked for: the grid's cost is bounded whatever the geometry.
// Points inside the walls or within half a vortex spacing of a contour rib
// (where the velocity cut-off leaves the nearest vortices out) are not flow
// points: Inside = 0 and they are never evaluated.
struct AveragingGrid {
  double X0 = 0, Y0 = 0;  // first point, m
  double Dx = 0, Dy = 0;  // spacing, m
  int32_t Nx = 0, Ny = 0;
  std::vector<uint8_t> Inside;  // row-major, x fastest (index j*Nx + i); 1 = flow point
  double Spacing = 0;      // the spacing asked for, m
  bool Clipped = false;    // the region was cut short of the plane or of twice the hood's height
  bool Coarsened = false;  // the spacing was widened to keep the point count bounded
  TRealPoint Point(int32_t i, int32_t j) const {
    return {static_cast<Real>(X0) + static_cast<Real>(Dx) * i, static_cast<Real>(Y0) + static_cast<Real>(Dy) * j};
  }
};

// Hood sizes (the largest coordinate of the hood's walls and flange) from the
// mouth at which the grid's region ends: the sink flow there is some 10⁻⁴ of
// the suction speed, and the default geometry lies well inside.
inline constexpr double GridReachHoodSizes = 10;
// Points a grid may have unless fewer are asked for: 1 MB of flags and some
// 50 MB of field arrays.
inline constexpr double GridPointCap = 1e6;
// Points of the averages' own grid: the blocks hold MaxBlocks × 6 doubles per
// point (some 60 MB here).
inline constexpr double AveragingGridPoints = 10000;

// The grid of the model's present geometry for a spacing, m, with at most
// maxPoints points (never more than GridPointCap).
AveragingGrid MakeAveragingGrid(const Model& m, double spacing, double maxPoints = GridPointCap);

// The monitored integral signals, in this order.
enum class MonitorId : int32_t { AxisB = 0, Axis2B = 1, Mouth = 2, GammaFree = 3 };
inline constexpr int32_t MonitorCount = 4;
inline constexpr const char* MonitorNames[MonitorCount] = {"vx_axis_B", "vx_axis_2B", "v_mouth",
                                                           "gamma_free"};
inline constexpr const char* MonitorUnits[MonitorCount] = {"м/с", "м/с", "м/с", "м²/с"};

// The seven vortex-zone dimensions, in the window's order ("Bэф", "b", "l",
// "a0", "a", "dmax", "lmax").
inline constexpr int32_t ZoneDimensionCount = 7;
inline constexpr const char* ZoneDimensionKeys[ZoneDimensionCount] = {"Beff", "b",    "l",   "a0",
                                                                      "a",    "dmax", "lmax"};

struct ZoneMeasurement {
  Real Time = 0;  // s
  bool Failed = false;  // rejected, stalled or not finite: counted, left out of the statistics
  std::array<double, ZoneDimensionCount> Values{};  // m
};

// ---- the state beside the model ----
struct AveragingState {
  AveragingSettings Settings;
  bool Started = false;
  AveragingGrid Grid;
  // Points sampled every k-th step: the grid's flow points, then the
  // centre-line stations that lie in the flow, then the flux section, then
  // the channel sections of the contraction (each: its strip midpoints, then
  // its point next to the wall).
  TRealPointArray SamplePoints;
  // Grid index of a sample point; -1 - k for station k; FluxCell0 - j for
  // flux-section point j; ContractionCell0 - q for contraction point q.
  std::vector<int32_t> SampleCell;
  static constexpr int32_t FluxCell0 = -100;
  static constexpr int32_t ContractionCell0 = -1000;
  // (mouth − B, 0), (mouth − 2B, 0), (mouth, 0): the mouth from the geometry,
  // MouthX; x = 0 with an inclined flange.
  std::array<TRealPoint, 3> MonitorPoints{};

  // Every step's monitors and time.
  std::vector<Real> Times;  // s
  std::array<std::vector<double>, MonitorCount> Monitors;
  int64_t Steps = 0;  // steps fed since Start

  // Grid samples in blocks of BlockLength samples, each block holding per
  // sample point the count-weighted mean and sum of squared deviations of
  // vx, vy and |V| (6 doubles); adjacent blocks are merged in pairs when all
  // MaxBlocks are in use. Averages start at a block boundary.
  static constexpr int32_t MaxBlocks = 128;
  static constexpr int32_t MomentsPerPoint = 6;  // (mean, M2) of vx, vy, |V|
  int32_t BlockLength = 1;  // samples per full block
  int32_t BlockCount = 0;   // blocks in use (the last may be partial)
  std::vector<Real> BlockStart;      // time of each block's first sample, s
  std::vector<int64_t> BlockSamples;  // samples in each block
  std::vector<double> Moments;       // MaxBlocks × SamplePoints × 6
  int64_t GridSamples = 0;           // grid samples taken since Start

  std::vector<ZoneMeasurement> Zone;

  // The run's free-vortex limit and the model time it was reached at (s;
  // negative: not reached), told by the run (Observer::FreeLimitReached).
  int32_t FreeLimit = 0;
  Real FreeLimitTime = -1;

  SteadyVerdict Last;       // the last check during a run (no Text: SteadyVerdictText(Last))
  StartupHold Hold;         // the start-up's end as the checks hold it (kept by Continue)
  bool SteadyStop = false;  // the last run ended because the verdict said steady
  TRibArray Contour;        // the body ribs the grid was laid over
};

// Start: forgets everything and lays the grid over the model's present area.
void StartAveraging(AveragingState& s, const Model& m, const AveragingSettings& settings);
// Continue: keeps what was gathered; takes the new stop settings (UntilSteady,
// Tolerance, AverageFrom). Starts afresh when nothing was started yet.
void ContinueAveraging(AveragingState& s, const Model& m, const AveragingSettings& settings);
// Room for a run of about `steps` steps, so that feeding allocates nothing.
void ReserveAveraging(AveragingState& s, int64_t steps);
// One complete step of the run: monitors; every k-th step the grid; every
// m-th grid sample the vortex zone; every SteadyCheckEverySteps the verdict.
// Reads the model only (the vortex-zone measurement clears its stop flag).
void FeedStep(AveragingState& s, Model& m);

// The steady-state verdict on the state's monitors over the averaged stretch
// (from AverageFrom, else from the detected end of the start-up): the run's
// stop, the summary and the files all take it from here.
SteadyVerdict JudgeAveraging(const AveragingState& s, bool withText);

// ---- results ----
struct MonitorSummary {
  std::string Name, Unit;
  bool Known = false;  // false: nothing to average (no start-up end, too few samples)
  double Mean = 0, HalfWidth95 = 0, RelativeHalfWidth = 0;
  int64_t Samples = 0;
  // The half-width is a figure to show (HalfWidthTrusted: batch means not
  // correlated, enough of them); false: only the mean is known.
  bool Trusted = true;
  int32_t Batches = 0;  // batch means the half-width is from (0: too few samples)
};
struct DimensionSummary {
  double Mean = 0, Sd = 0;  // m; Sd of the measurements (n - 1), 0 for one
};
struct VortexZoneSummary {
  int32_t Measured = 0, Failed = 0, EverySamples = 0;
  std::array<DimensionSummary, ZoneDimensionCount> Dimensions{};
};
struct FluxSummary {
  bool Valid = false;
  double X = 0;          // section, m (L/2)
  double Flux = 0;       // 2π ∫ vx y dy from the axis to the wall, m³/s
  double Reference = 0;  // π B² v, m³/s
  double Ratio = 0;
  double RatioHalfWidth95 = std::numeric_limits<double>::quiet_NaN();  // NaN: not known
};
struct GridField {
  AveragingGrid Grid;
  // Per grid point (index j*Nx + i), m/s; 0 where Inside = 0 or nothing averaged.
  std::vector<double> VxMean, VyMean, SpeedMean, VxRms, VyRms, SpeedRms;
  // 95 % half-widths of the three means per grid point, m/s (AveragedHalfWidths);
  // NaN where not known; empty for a file of an earlier version.
  std::vector<double> VxHalfWidth95, VyHalfWidth95, SpeedHalfWidth95;
};
// The mean separation streamline of one shedding corner of the contour
// (separation_line.h): from the corner to where it meets a wall again.
struct CornerSeparation {
  int Corner = 0;  // the contour's vertex (a parametric area as its contour)
  bool Reattached = false;
  std::vector<std::array<double, 2>> Points;  // (x, r), m, from the corner
};

struct AveragingResults {
  std::string Precision = "extended";  // arithmetic path of the run
  // The run's model and free-vortex limit; files of earlier versions have
  // neither (false), and are written back without them.
  bool HasModelFacts = true;
  std::string FlowModelName = "program";  // the run's model: "program" or "refined"
  int32_t FreeLimit = 0;                  // the run's free-vortex limit
  double FreeLimitTime = -1;              // s when the limit was reached; negative: never
  // The refined model's set that made the figures (empty Shedding: the
  // program's model, or a file written before the set was recorded).
  std::string RefinedShedding, RefinedPlacement;  // the batch tool's names of the rule and the place
  double RefinedSmoothing = 0;                    // δ, m
  double RefinedViscosity = 0;                    // ν, m²/s
  double TimeStep = 0;                            // dt of the run, s; 0: not recorded
  // The hood the figures belong to, as a contour file's text (a parametric
  // area written as its contour): "parametric" or "contour"; empty in files
  // written before the area was recorded.
  std::string AreaKind, AreaContour;
  bool HasAverages = false;  // at least one grid sample averaged
  double StartTime = 0, EndTime = 0;  // s: first averaged sample's time, last sample's time
  int64_t Samples = 0;                // grid samples averaged
  int32_t SampleEverySteps = 0;
  int64_t Steps = 0;
  SteadyVerdict Steady;
  std::vector<MonitorSummary> Monitors;
  std::vector<CentrelineRow> Centreline;  // mean centre-line (model field only with averages)
  // The 95 % half-widths of the grid's, the centre-line's and the flux's
  // means are written (files of earlier versions have none, and are written
  // back without them).
  bool HasHalfWidths = true;
  std::vector<double> CentrelineHalfWidth95;  // per row of Centreline, of v/v0; NaN: not known
  FluxSummary Flux;
  VortexZoneSummary VortexZone;
  ContractionSummary Contraction;  // the mouth, C_c per section, vena contracta, reattachment
  std::vector<CornerSeparation> SeparationLines;  // one per shedding corner with a zone; none in older files
  TracerResults Tracers;  // the capture zone, when tracers ran beside (SummariseTracers)
  GridField Field;
};

// Everything a window or file shows, computed from the state now.
AveragingResults SummariseAveraging(const AveragingState& s, const Model& m);

// The flux through the channel's middle section, m³/s, from the mean axial
// velocity at each of its FluxSectionPoints strips (midpoint rule).
double SectionFlux(const Model& m, std::span<const double> sectionVx);

// ---- feeding a run ----

// Feeds every complete step to the state, then passes it on to `inner`; asks
// for a stop when inner does or, with UntilSteady, when the verdict is steady.
class AveragingObserver : public ObserverRelay {
 public:
  AveragingObserver(AveragingState& s, Model& m, Observer& inner) : ObserverRelay(inner), s_(s), m_(m) {}
  void StepDone(const Model& m) override;
  bool StopRequested() override;
  void FreeLimitReached(const Model& m) override;

 private:
  AveragingState& s_;
  Model& m_;
};

struct AveragedRunSummary {
  RunSummary Run;
  bool EndedSteady = false;  // the run ended because the flow was judged steady
  SteadyVerdict Verdict;     // the verdict at the end of the run
  // How the run ended, for the user: "Расчёт закончен: режим установился…" and the like.
  std::string EndText;
};

// RunSimulation fed to the state (which must be started or continued first).
// A stop for steadiness is not a Stop: Run.HowEnded is TimeLimit then and
// EndedSteady is set.
AveragedRunSummary RunAveraged(Model& m, AveragingState& s, int32_t maxFree, int32_t freeCount,
                               Real startTime, Real endTime, Real step,
                               Observer& obs = NullObserver());

}  // namespace mdv
