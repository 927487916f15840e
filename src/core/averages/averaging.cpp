#include "core/averages/averaging.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/averages/averaged_half_widths.h"
#include "core/averages/separation_line.h"
#include "core/flow/circulation.h"
#include "core/base/numfmt.h"
#include "core/model/contour_area.h"
#include "core/model/contour_file.h"
#include "core/base/parallel.h"
#include "core/analysis/vortex_area.h"
#include "core/averages/entry_loss.h"

namespace mdv {

namespace {

// Per sample point and block: mean and sum of squared deviations of vx, vy, |V|.
constexpr int32_t MomentsPerPoint = AveragingState::MomentsPerPoint;
// Spacings below this are refused (the default is taken instead), m.
constexpr double MinGridSpacing = 1e-4;
// Widenings of the spacing tried before a grid gives up (each one at least
// shrinks the point count by the ratio still to go).
constexpr int32_t MaxCoarsenings = 64;
// The monitor series are reserved for at most this many steps ahead of a run.
constexpr Real ReserveStepLimit = 1e6L;
// Integration step of the vortex-zone traces, as the vortex-zone window proposes, s.
constexpr const char* ZoneTraceStep = "0,001";

// Runs fn(begin, end) over `count` points: on the model's threads, or in
// order on the literal path. Each point is computed wholly by one thread.
template <class Fn>
void ForPoints(const Model& m, int32_t count, Fn&& fn) {
  if (m.Exec.Literal) {
    fn(int32_t{0}, count);
  } else {
    SharedPool(m.Exec.Threads).For(count, fn);
  }
}

double DistToSegment(const TRealPoint& p, const TRib& r) {
  const double ax = static_cast<double>(r.P1.X), ay = static_cast<double>(r.P1.Y);
  const double bx = static_cast<double>(r.P2.X) - ax, by = static_cast<double>(r.P2.Y) - ay;
  const double px = static_cast<double>(p.X) - ax, py = static_cast<double>(p.Y) - ay;
  const double len2 = bx * bx + by * by;
  const double t = len2 > 0 ? std::clamp((px * bx + py * by) / len2, 0.0, 1.0) : 0.0;
  return std::hypot(px - t * bx, py - t * by);
}

// Even-odd test against the closed polygon of the wall (its ribs, the first
// `wall` of them, closed by the channel's end face).
bool InsideWalls(const TRealPoint& p, const TRibArray& ribs, int32_t wall) {
  bool inside = false;
  for (int32_t i = 0; i <= wall; ++i) {
    const TRealPoint& a = i < wall ? ribs[static_cast<size_t>(i)].P1 : ribs[static_cast<size_t>(wall - 1)].P2;
    const TRealPoint& b = i > 0 ? ribs[static_cast<size_t>(i - 1)].P1 : ribs[static_cast<size_t>(wall - 1)].P2;
    const Real xi = a.X, yi = a.Y, xj = b.X, yj = b.Y;
    if ((yi > p.Y) != (yj > p.Y) && p.X < (xj - xi) * (p.Y - yi) / (yj - yi) + xi) inside = !inside;
  }
  return inside;
}

bool SameContour(const TRibArray& a, const TRibArray& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].P1.X != b[i].P1.X || a[i].P1.Y != b[i].P1.Y || a[i].P2.X != b[i].P2.X ||
        a[i].P2.Y != b[i].P2.Y)
      return false;
  }
  return true;
}

// Welford's update of (mean, sum of squared deviations) with the n-th value.
void Accumulate(double* mm, int64_t n, double x) {
  const double d = x - mm[0];
  mm[0] += d / static_cast<double>(n);
  mm[1] += d * (x - mm[0]);
}

// Chan's combination of (mean, M2) over na values with (mean, M2) over nb values, into a.
void Combine(double* a, int64_t na, const double* b, int64_t nb) {
  if (nb == 0) return;
  if (na == 0) {
    a[0] = b[0];
    a[1] = b[1];
    return;
  }
  const double n = static_cast<double>(na + nb);
  const double d = b[0] - a[0];
  a[0] += d * static_cast<double>(nb) / n;
  a[1] += b[1] + d * d * static_cast<double>(na) * static_cast<double>(nb) / n;
}

void SanitiseSettings(AveragingSettings& s) {
  if (!(s.GridSpacing >= MinGridSpacing) || !std::isfinite(s.GridSpacing)) s.GridSpacing = DefaultGridSpacing;
  if (s.SampleEverySteps < 1) s.SampleEverySteps = 1;
  if (s.ZoneEverySamples < 0) s.ZoneEverySamples = 0;
  if (!(s.Tolerance > 0)) s.Tolerance = DefaultSteadyTolerance;
}

// Midpoint of strip j of the channel's cross-section at x = L/2.
TRealPoint FluxSectionPoint(const Model& m, int32_t j) {
  return {m.SuctionX / 2, m.ChannelRadius * (static_cast<Real>(j) + 0.5L) / FluxSectionPoints};
}

bool AreaBuilt(const Model& m) { return m.BodyRibCount >= 7 && m.BodyRibs.size() >= 7; }

// Lays the grid and the sample points over the model's present contour.
void LayGrid(AveragingState& s, const Model& m) {
  s.Grid = MakeAveragingGrid(m, s.Settings.GridSpacing, AveragingGridPoints);
  s.Contour = m.BodyRibs;
  s.SamplePoints.clear();
  s.SampleCell.clear();
  for (int32_t j = 0; j < s.Grid.Ny; ++j) {
    for (int32_t i = 0; i < s.Grid.Nx; ++i) {
      const int32_t cell = j * s.Grid.Nx + i;
      if (!s.Grid.Inside[static_cast<size_t>(cell)]) continue;
      s.SamplePoints.push_back(s.Grid.Point(i, j));
      s.SampleCell.push_back(cell);
    }
  }
  for (int32_t k = 0; k < CentrelineStationCount; ++k) {
    if (!CentrelineInFlow(m, CentrelineStations[k])) continue;
    s.SamplePoints.push_back(CentrelinePoint(m, CentrelineStations[k]));
    s.SampleCell.push_back(-1 - k);
  }
  for (int32_t j = 0; j < FluxSectionPoints; ++j) {
    s.SamplePoints.push_back(FluxSectionPoint(m, j));
    s.SampleCell.push_back(AveragingState::FluxCell0 - j);
  }
  int32_t q = 0;
  for (const Real x : ContractionSectionXs(m)) {
    for (int32_t j = 0; j <= ContractionSectionPoints; ++j, ++q) {
      s.SamplePoints.push_back(j < ContractionSectionPoints ? ContractionSectionPoint(m, x, j)
                                                            : ContractionWallPoint(m, x));
      s.SampleCell.push_back(AveragingState::ContractionCell0 - q);
    }
  }
  // With an inclined flange the mouth is x = 0 and these are (−B, 0),
  // (−2B, 0), (0, 0) to the bit.
  const Real b = m.ChannelRadius;
  const Real mouth = MouthX(m);
  s.MonitorPoints = {TRealPoint{mouth - b, 0}, TRealPoint{mouth - 2 * b, 0}, TRealPoint{mouth, 0}};
  s.BlockLength = 1;
  s.BlockCount = 0;
  s.BlockStart.assign(AveragingState::MaxBlocks, 0);
  s.BlockSamples.assign(AveragingState::MaxBlocks, 0);
  s.Moments.assign(static_cast<size_t>(AveragingState::MaxBlocks) * s.SamplePoints.size() * MomentsPerPoint, 0.0);
  s.GridSamples = 0;
}

// Halves the block count by merging neighbours; the block length doubles.
void MergeBlocks(AveragingState& s) {
  const size_t stride = s.SamplePoints.size() * MomentsPerPoint;
  const int32_t half = s.BlockCount / 2;
  for (int32_t b = 0; b < half; ++b) {
    double* dst = s.Moments.data() + static_cast<size_t>(b) * stride;
    const double* lo = s.Moments.data() + static_cast<size_t>(2 * b) * stride;
    const double* hi = s.Moments.data() + static_cast<size_t>(2 * b + 1) * stride;
    const int64_t nlo = s.BlockSamples[static_cast<size_t>(2 * b)];
    const int64_t nhi = s.BlockSamples[static_cast<size_t>(2 * b + 1)];
    for (size_t q = 0; q < stride; q += 2) {
      double acc[2] = {lo[q], lo[q + 1]};
      Combine(acc, nlo, hi + q, nhi);
      dst[q] = acc[0];
      dst[q + 1] = acc[1];
    }
    s.BlockStart[static_cast<size_t>(b)] = s.BlockStart[static_cast<size_t>(2 * b)];
    s.BlockSamples[static_cast<size_t>(b)] = nlo + nhi;
  }
  s.BlockCount = half;
  s.BlockLength *= 2;
}

// Reads the model apart from its vortex-zone stop flag, which nothing else
// reads while the grid is sampled; writes only s.Zone.
void MeasureZone(AveragingState& s, Model& m) {
  const VortexAreaStartTexts texts = DefaultVortexAreaStart(m);
  const auto fx = ParseReal(texts.FirstX), fy = ParseReal(texts.FirstY);
  const auto sx = ParseReal(texts.SecondX), sy = ParseReal(texts.SecondY);
  const auto dt = ParseReal(ZoneTraceStep);
  ZoneMeasurement z;
  z.Time = m.Time;
  z.Failed = true;
  if (fx && fy && sx && sy && dt) {
    TVortexAreaParams r;
    const VortexAreaOutcome o = CalcVortexAreaParams(m, {*fx, *fy}, {*sx, *sy}, r, *dt);
    z.Values = {static_cast<double>(r.EffWidth),  static_cast<double>(r.MaxGap),
                static_cast<double>(r.MaxGapPos), static_cast<double>(r.Overshoot),
                static_cast<double>(r.ZoneLength), static_cast<double>(r.ChannelGap),
                static_cast<double>(r.ChannelGapPos)};
    bool finite = true;
    for (double v : z.Values) finite = finite && std::isfinite(v);
    z.Failed = !o.Ok || o.Stopped || o.StalledPhases != 0 || !finite;
  }
  s.Zone.push_back(z);
}

void SampleGrid(AveragingState& s, Model& m) {
  const int32_t count = static_cast<int32_t>(s.SamplePoints.size());
  if (s.BlockCount == 0 || s.BlockSamples[static_cast<size_t>(s.BlockCount - 1)] >= s.BlockLength) {
    if (s.BlockCount == AveragingState::MaxBlocks) MergeBlocks(s);
    const size_t b = static_cast<size_t>(s.BlockCount);
    s.BlockStart[b] = m.Time;
    s.BlockSamples[b] = 0;
    std::fill_n(s.Moments.begin() + static_cast<std::ptrdiff_t>(b * s.SamplePoints.size() * MomentsPerPoint),
                s.SamplePoints.size() * MomentsPerPoint, 0.0);
    s.BlockCount += 1;
  }
  const size_t b = static_cast<size_t>(s.BlockCount - 1);
  const int64_t n = s.BlockSamples[b] + 1;
  double* block = s.Moments.data() + b * s.SamplePoints.size() * MomentsPerPoint;
  const Model& model = m;
  // A vortex-zone measurement (a sequential trace) is item 0 of the same
  // parallel loop, so that the other threads sample the grid meanwhile.
  // The zone's dimensions belong to the parametric hood's flange; a contour's
  // zones are its corners' separation streamlines (MeanSeparationLines).
  const bool zone = !m.ContourArea && s.Settings.ZoneEverySamples > 0 &&
                    (s.GridSamples + 1) % s.Settings.ZoneEverySamples == 0;
  const int32_t first = zone ? 1 : 0;
  ForPoints(m, count + first, [&](int32_t begin, int32_t end) {
    for (int32_t item = begin; item < end; ++item) {
      if (item < first) {
        MeasureZone(s, m);
        continue;
      }
      const int32_t p = item - first;
      Real u, v;  // m/s
      CalcVelocityPair(model, s.SamplePoints[static_cast<size_t>(p)], -1, u, v);
      double* mm = block + static_cast<size_t>(p) * MomentsPerPoint;
      Accumulate(mm, n, static_cast<double>(u));
      Accumulate(mm + 2, n, static_cast<double>(v));
      Accumulate(mm + 4, n, static_cast<double>(std::sqrt(u * u + v * v)));
    }
  });
  s.BlockSamples[b] = n;
  s.GridSamples += 1;
}

// Row spacing for a spacing, m: B / k, so that a row lies on the channel's
// inner wall y = B; coarser than B, a whole multiple of B.
double RowSpacing(double radius, double spacing) {
  const double k = std::round(radius / spacing);
  if (k >= 1) return radius / k;
  return radius * std::max(1.0, std::round(spacing / radius));
}

}  // namespace

AveragingGrid MakeAveragingGrid(const Model& m, double spacing, double maxPoints) {
  AveragingGrid g;
  if (!AreaBuilt(m) || !(spacing >= MinGridSpacing) || !std::isfinite(spacing)) return g;
  maxPoints = std::clamp(maxPoints, 4.0, GridPointCap);
  double x0 = static_cast<double>(m.PlaneX);
  const double x1 = static_cast<double>(m.SuctionX);
  const double radius = static_cast<double>(m.ChannelRadius);
  if (!(x1 > x0) || !(radius > 0)) return g;
  // The top of the picture's flow region: twice the hood's highest point.
  double top = static_cast<double>(m.PlaneHalfLength);
  double hood = 0;  // the hood's size, m
  for (int32_t i = 0; i < m.SuctionRib; ++i) {  // the wall's ribs
    for (const TRealPoint& p : {m.BodyRibs[static_cast<size_t>(i)].P1, m.BodyRibs[static_cast<size_t>(i)].P2}) {
      top = std::max(top, static_cast<double>(p.Y));
      hood = std::max({hood, std::abs(static_cast<double>(p.X)), static_cast<double>(p.Y)});
    }
  }
  top *= 2;
  const double reach = GridReachHoodSizes * hood;
  if (x0 < -reach) {
    x0 = -reach;
    g.Clipped = true;
  }
  if (top > reach) {
    top = reach;
    g.Clipped = true;
  }
  // The counts in double first: a far plane must not overflow them.
  g.Spacing = spacing;
  double nx = 0, ny = 0, dy = 0;
  for (int32_t k = 0; k <= MaxCoarsenings; ++k) {
    nx = std::max(2.0, std::round((x1 - x0) / spacing) + 1);
    dy = RowSpacing(radius, spacing);
    ny = std::floor(top / dy + 1e-9) + 1;
    if (nx * ny <= maxPoints) break;
    spacing *= std::sqrt(nx * ny / maxPoints) * (1 + 1e-9);
    g.Coarsened = true;
  }
  if (!(nx * ny <= maxPoints)) return AveragingGrid{};
  g.Nx = static_cast<int32_t>(nx);
  g.Dx = (x1 - x0) / (g.Nx - 1);
  g.Dy = dy;
  g.Ny = static_cast<int32_t>(ny);
  g.X0 = x0;
  g.Y0 = 0;
  g.Inside.assign(static_cast<size_t>(g.Nx) * static_cast<size_t>(g.Ny), 0);
  const double clearance = static_cast<double>(m.VortexSpacing) / 2;  // m
  for (int32_t j = 0; j < g.Ny; ++j) {
    for (int32_t i = 0; i < g.Nx; ++i) {
      const TRealPoint p = g.Point(i, j);
      bool flow = !InsideWalls(p, m.BodyRibs, m.SuctionRib);
      for (int32_t r = 0; flow && r < m.BodyRibCount; ++r) {
        flow = DistToSegment(p, m.BodyRibs[static_cast<size_t>(r)]) >= clearance;
      }
      g.Inside[static_cast<size_t>(j) * static_cast<size_t>(g.Nx) + static_cast<size_t>(i)] = flow ? 1 : 0;
    }
  }
  return g;
}

void StartAveraging(AveragingState& s, const Model& m, const AveragingSettings& settings) {
  s = AveragingState{};
  s.Settings = settings;
  SanitiseSettings(s.Settings);
  s.Started = true;
  if (AreaBuilt(m)) LayGrid(s, m);
}

void ContinueAveraging(AveragingState& s, const Model& m, const AveragingSettings& settings) {
  if (!s.Started) {
    StartAveraging(s, m, settings);
    return;
  }
  s.Settings.UntilSteady = settings.UntilSteady;
  s.Settings.Tolerance = settings.Tolerance;
  s.Settings.AverageFrom = settings.AverageFrom;
  SanitiseSettings(s.Settings);
  s.Last = SteadyVerdict{};
  s.SteadyStop = false;
}

void ReserveAveraging(AveragingState& s, int64_t steps) {
  const size_t more = static_cast<size_t>(std::clamp<int64_t>(steps, 0, static_cast<int64_t>(ReserveStepLimit)));
  s.Times.reserve(s.Times.size() + more + 1);
  for (auto& series : s.Monitors) series.reserve(series.size() + more + 1);
  const int64_t zoneEvery = int64_t{s.Settings.SampleEverySteps} * std::max(1, s.Settings.ZoneEverySamples);
  s.Zone.reserve(s.Zone.size() + more / static_cast<size_t>(zoneEvery) + 2);
}

void FeedStep(AveragingState& s, Model& m) {
  if (!s.Started) return;
  if (!SameContour(s.Contour, m.BodyRibs)) {
    // A new area (or the first step of a batch run, whose area the run
    // built): what was gathered belongs to another hood. The room reserved
    // for the run is kept.
    const AveragingSettings settings = s.Settings;
    const int64_t reserved = static_cast<int64_t>(s.Times.capacity());
    StartAveraging(s, m, settings);
    ReserveAveraging(s, reserved);
  }
  std::array<Real, 3> u{}, v{};  // m/s
  const Model& model = m;
  ForPoints(m, 3, [&](int32_t begin, int32_t end) {
    for (int32_t i = begin; i < end; ++i) CalcVelocityPair(model, s.MonitorPoints[static_cast<size_t>(i)], -1, u[static_cast<size_t>(i)], v[static_cast<size_t>(i)]);
  });
  Real gamma = 0;  // m²/s
  const int32_t end = m.AttachedCount + m.FreeVortexCount;
  for (int32_t i = m.AttachedCount; i < end; ++i) gamma += m.Vortices[static_cast<size_t>(i)].Gamma;
  s.Times.push_back(m.Time);
  s.Monitors[0].push_back(static_cast<double>(u[0]));
  s.Monitors[1].push_back(static_cast<double>(u[1]));
  s.Monitors[2].push_back(static_cast<double>(u[2]));
  s.Monitors[3].push_back(static_cast<double>(gamma));
  s.Steps += 1;

  const bool due = s.Steps % s.Settings.SampleEverySteps == 0 &&
                   (!s.Settings.AverageFrom || m.Time >= *s.Settings.AverageFrom);
  if (due && !s.SamplePoints.empty()) SampleGrid(s, m);
  if (s.Steps % SteadyCheckEverySteps == 0) {
    s.Last = JudgeSteadyState(s.Monitors, s.Times, s.Settings.Tolerance, false, s.Settings.AverageFrom,
                              &s.Hold);
  }
}

SteadyVerdict JudgeAveraging(const AveragingState& s, bool withText) {
  // The run's checks hold the start-up's end; this judgement applies the same
  // rule once more to the whole record and leaves the state as it is.
  StartupHold hold = s.Hold;
  return JudgeSteadyState(s.Monitors, s.Times, s.Settings.Tolerance, withText, s.Settings.AverageFrom,
                          &hold);
}

AveragingResults SummariseAveraging(const AveragingState& s, const Model& m) {
  AveragingResults r;
  r.Precision = m.Exec.Arithmetic == Precision::Double && !m.Exec.Literal ? "double" : "extended";
  r.FlowModelName = m.Flow == FlowModel::Refined ? "refined" : "program";
  r.AreaKind = m.ContourArea ? "contour" : "parametric";
  r.AreaContour = WriteContourText(m.ContourArea ? m.HoodContour : ParametricContour(m));
  if (m.Flow == FlowModel::Refined) {
    r.RefinedShedding = ShedRuleName(m.Refined.Shedding);
    r.RefinedPlacement = ShedPlacementName(m.Refined.Placement);
    r.RefinedSmoothing = static_cast<double>(SmoothingLengthOf(m));
    r.RefinedViscosity = static_cast<double>(ViscosityOf(m));
  }
  r.TimeStep = static_cast<double>(m.Dt);
  r.FreeLimit = m.MaxFreeVortex;
  r.FreeLimitTime = static_cast<double>(s.FreeLimitTime);
  r.SampleEverySteps = s.Settings.SampleEverySteps;
  r.Steps = s.Steps;
  r.Steady = JudgeAveraging(s, true);
  r.Field.Grid = s.Grid;
  const size_t cells = s.Grid.Inside.size();
  for (auto* a : {&r.Field.VxMean, &r.Field.VyMean, &r.Field.SpeedMean, &r.Field.VxRms, &r.Field.VyRms,
                  &r.Field.SpeedRms})
    a->assign(cells, 0.0);
  if (!s.Times.empty()) r.EndTime = static_cast<double>(s.Times.back());

  // Averages start at the given time, or where the start-up was found to end.
  std::optional<Real> from = s.Settings.AverageFrom;
  if (!from && r.Steady.StartupOver) from = r.Steady.StartupEnd;

  // The monitors over the same stretch, as the verdict judged them.
  for (int32_t i = 0; i < MonitorCount; ++i) {
    MonitorSummary ms;
    ms.Name = MonitorNames[i];
    ms.Unit = MonitorUnits[i];
    if (r.Steady.HasMeans) {
      const BatchMeans& b = r.Steady.Series[static_cast<size_t>(i)];
      ms.Known = true;
      ms.Trusted = HalfWidthTrusted(b);
      ms.Mean = b.Mean;
      ms.HalfWidth95 = b.HalfWidth95;
      ms.RelativeHalfWidth = b.RelativeHalfWidth;
      ms.Batches = b.Batches;
      ms.Samples = b.Samples;
    }
    r.Monitors.push_back(ms);
  }

  // The grid and the stations: the blocks that begin at or after the start.
  const size_t points = s.SamplePoints.size();
  std::vector<double> total(points * MomentsPerPoint, 0.0);
  int64_t n = 0;
  if (from) {
    for (int32_t b = 0; b < s.BlockCount; ++b) {
      if (s.BlockStart[static_cast<size_t>(b)] < *from) continue;
      const int64_t nb = s.BlockSamples[static_cast<size_t>(b)];
      if (n == 0) r.StartTime = static_cast<double>(s.BlockStart[static_cast<size_t>(b)]);
      const double* block = s.Moments.data() + static_cast<size_t>(b) * points * MomentsPerPoint;
      for (size_t q = 0; q < points * MomentsPerPoint; q += 2) Combine(&total[q], n, block + q, nb);
      n += nb;
    }
  }
  r.Samples = n;
  r.HasAverages = n > 0;
  std::vector<double> stationVx(CentrelineStationCount, std::numeric_limits<double>::quiet_NaN());
  std::vector<double> sectionVx(FluxSectionPoints, 0.0);
  const size_t contractionSections = ContractionSectionXs(m).size();
  std::vector<double> profiles(contractionSections * ContractionSectionPoints, 0.0);
  std::vector<double> wallVx(contractionSections, 0.0);
  // The sections' vx variance and mean vy, for the momentum balance.
  std::vector<double> profilesVar(profiles.size(), 0.0), profilesVy(profiles.size(), 0.0);
  std::vector<double> profilesVyVar(profiles.size(), 0.0);
  if (r.HasAverages) {
    const double count = static_cast<double>(n);
    for (size_t p = 0; p < points; ++p) {
      const double* t = &total[p * MomentsPerPoint];
      const int32_t cell = s.SampleCell[p];
      if (cell <= AveragingState::ContractionCell0) {
        const auto q = static_cast<size_t>(AveragingState::ContractionCell0 - cell);
        const size_t k = q / (ContractionSectionPoints + 1), j = q % (ContractionSectionPoints + 1);
        if (k >= contractionSections) continue;
        if (j == ContractionSectionPoints) {
          wallVx[k] = t[0];
          continue;
        }
        profiles[k * ContractionSectionPoints + j] = t[0];
        profilesVar[k * ContractionSectionPoints + j] = t[1] / count;
        profilesVy[k * ContractionSectionPoints + j] = t[2];
        profilesVyVar[k * ContractionSectionPoints + j] = t[3] / count;
        continue;
      }
      if (cell <= AveragingState::FluxCell0) {
        sectionVx[static_cast<size_t>(AveragingState::FluxCell0 - cell)] = t[0];
        continue;
      }
      if (cell < 0) {
        stationVx[static_cast<size_t>(-1 - cell)] = t[0];
        continue;
      }
      const size_t c = static_cast<size_t>(cell);
      r.Field.VxMean[c] = t[0];
      r.Field.VxRms[c] = std::sqrt(std::max(0.0, t[1] / count));
      r.Field.VyMean[c] = t[2];
      r.Field.VyRms[c] = std::sqrt(std::max(0.0, t[3] / count));
      r.Field.SpeedMean[c] = t[4];
      r.Field.SpeedRms[c] = std::sqrt(std::max(0.0, t[5] / count));
    }
  }
  r.Centreline = CentrelineRows(m, stationVx);

  // Flux through the channel's middle section (midpoint rule over the strips).
  const double radius = static_cast<double>(m.ChannelRadius);
  if (r.HasAverages && radius > 0) {
    const double pi = std::acos(-1.0);
    const double flux = SectionFlux(m, sectionVx);
    r.Flux.Valid = true;
    r.Flux.X = static_cast<double>(m.SuctionX / 2);
    r.Flux.Flux = flux;
    r.Flux.Reference = pi * radius * radius * static_cast<double>(m.SuctionSpeed);
    r.Flux.Ratio = r.Flux.Reference != 0 ? flux / r.Flux.Reference : 0;
  }

  if (r.HasAverages) SummariseHalfWidths(s, m, *from, r);

  // Without averages: the mouth alone, no sections.
  if (AreaBuilt(m)) {
    r.Contraction = r.HasAverages ? SummariseContraction(m, profiles, wallVx) : SummariseContraction(m, {}, {});
    if (r.HasAverages) {
      AddSectionMomentum(r.Contraction, radius, profiles, profilesVar, profilesVy, profilesVyVar,
                         static_cast<double>(m.VortexSpacing) / 2);
      const MomentumBalance balance = BalanceMomentum(r.Contraction, radius);
      if (balance.Known) r.Contraction.ZetaM = balance.Zeta;
      SummariseContractionHalfWidths(s, m, *from, r.Contraction);
    }
  }

  // Vortex-zone measurements taken within the averaged stretch.
  VortexZoneSummary& z = r.VortexZone;
  z.EverySamples = s.Settings.ZoneEverySamples;
  if (from) {
    std::array<double, ZoneDimensionCount> sum{}, sum2{};
    for (const ZoneMeasurement& zm : s.Zone) {
      if (zm.Time < *from) continue;
      if (zm.Failed) {
        z.Failed += 1;
        continue;
      }
      z.Measured += 1;
      for (int32_t d = 0; d < ZoneDimensionCount; ++d) sum[static_cast<size_t>(d)] += zm.Values[static_cast<size_t>(d)];
    }
    if (z.Measured > 0) {
      for (int32_t d = 0; d < ZoneDimensionCount; ++d) z.Dimensions[static_cast<size_t>(d)].Mean = sum[static_cast<size_t>(d)] / z.Measured;
      for (const ZoneMeasurement& zm : s.Zone) {
        if (zm.Time < *from || zm.Failed) continue;
        for (int32_t d = 0; d < ZoneDimensionCount; ++d) {
          const double dev = zm.Values[static_cast<size_t>(d)] - z.Dimensions[static_cast<size_t>(d)].Mean;
          sum2[static_cast<size_t>(d)] += dev * dev;
        }
      }
      if (z.Measured > 1) {
        for (int32_t d = 0; d < ZoneDimensionCount; ++d)
          z.Dimensions[static_cast<size_t>(d)].Sd = std::sqrt(sum2[static_cast<size_t>(d)] / (z.Measured - 1));
      }
    }
  }
  if (r.HasAverages) r.SeparationLines = MeanSeparationLines(r, m.ContourArea ? m.HoodContour : ParametricContour(m));
  return r;
}

double SectionFlux(const Model& m, std::span<const double> sectionVx) {
  const double pi = std::acos(-1.0);
  const double radius = static_cast<double>(m.ChannelRadius);
  double flux = 0;
  for (int32_t j = 0; j < FluxSectionPoints && static_cast<size_t>(j) < sectionVx.size(); ++j) {
    const double y = static_cast<double>(FluxSectionPoint(m, j).Y);
    flux += 2 * pi * y * sectionVx[static_cast<size_t>(j)] * (radius / FluxSectionPoints);
  }
  return flux;
}

// ---- feeding a run ----

void AveragingObserver::StepDone(const Model& m) {
  FeedStep(s_, m_);
  inner_.StepDone(m);
}

void AveragingObserver::FreeLimitReached(const Model& m) {
  if (s_.FreeLimitTime < 0) s_.FreeLimitTime = m.Time;
  inner_.FreeLimitReached(m);
}

bool AveragingObserver::StopRequested() {
  if (inner_.StopRequested()) return true;
  if (s_.Settings.UntilSteady && s_.Last.Reached) {
    s_.SteadyStop = true;
    return true;
  }
  return false;
}

AveragedRunSummary RunAveraged(Model& m, AveragingState& s, int32_t maxFree, int32_t freeCount,
                               Real startTime, Real endTime, Real step, Observer& obs) {
  AveragedRunSummary out;
  const Real steps = (endTime - startTime) / step + 2;
  if (std::isfinite(steps) && steps > 0) ReserveAveraging(s, static_cast<int64_t>(std::min(steps, ReserveStepLimit)));
  s.Last = SteadyVerdict{};
  s.SteadyStop = false;
  AveragingObserver feeder(s, m, obs);
  out.Run = RunSimulation(m, maxFree, freeCount, startTime, endTime, step, feeder);
  // A stop asked for by the user (or the model's flag) is not a steady end.
  if (out.Run.HowEnded == RunSummary::End::Stopped && s.SteadyStop && !m.StopRequested) {
    out.Run.HowEnded = RunSummary::End::TimeLimit;
    out.EndedSteady = true;
  } else {
    s.SteadyStop = false;
  }
  out.Verdict = JudgeAveraging(s, true);
  std::string how;
  if (out.EndedSteady) {
    how = "Расчёт закончен: режим установился. ";
  } else if (out.Run.HowEnded == RunSummary::End::TimeLimit) {
    how = "Расчёт закончен по времени окончания, t = " + FormatFixed(m.Time, 6, 3) + " с. ";
  } else if (out.Run.HowEnded == RunSummary::End::Stopped) {
    how = "Расчёт остановлен при t = " + FormatFixed(m.Time, 6, 3) + " с. ";
  } else {
    how = out.Run.Message + "\n";
  }
  out.EndText = how + out.Verdict.Text;
  return out;
}

}  // namespace mdv
