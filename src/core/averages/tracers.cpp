#include "core/averages/tracers.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/analysis/contraction.h"
#include "core/model/area.h"
#include "core/base/numfmt.h"
#include "core/base/parallel.h"
#include "core/flow/circulation.h"

namespace mdv {

namespace {

enum Fate : uint8_t { InFlight = 0, Caught = 1, Lost = 2 };

// Releases of one source at most this many per horizon are kept in flight
// at once (the reserve), markers.
constexpr double ReserveSlack = 1.05;

template <class Fn>
void ForMarkers(const Model& m, int32_t count, Fn&& fn) {
  if (m.Exec.Literal) {
    fn(int32_t{0}, count);
  } else {
    SharedPool(m.Exec.Threads).For(count, fn);
  }
}

// Beyond the far boundary: at the plane's level beyond its rim (round the
// rim to its back), or farther than the far radius from the mouth's centre.
bool Beyond(const TracerState& t, const Model& m, const TRealPoint& p) {
  if (p.X <= m.PlaneX + m.VortexSpacing && p.Y > m.PlaneHalfLength) return true;
  const Real dx = p.X - t.Mouth.X, dy = p.Y;
  return dx * dx + dy * dy > static_cast<Real>(t.FarRadius * t.FarRadius);
}

// The Euler step of the free vortices over `dt` with their wall rule: the
// barrier slides the marker along the walls; crossing the suction section's
// barrier catches it.
Fate Move(const Model& m, const TRealPoint& p, Real u, Real w, Real dt, TRealPoint& q) {
  q = TRealPoint{u * dt + p.X, w * dt + p.Y};
  for (int32_t j = 0; j < m.BarrierRibCount; ++j) {
    bool hit = false;
    TRealPoint slid;
    SlideAlongRib(p, q, m.BarrierRibs[static_cast<size_t>(j)], hit, slid);
    q = slid;
    if (j == m.SuctionRib && hit) return Caught;
  }
  // On the axis the path runs into the barrier's end point, which the
  // crossing test does not take: past the barrier inside the channel is caught too.
  const TRib& suction = m.BarrierRibs[static_cast<size_t>(m.SuctionRib)];
  if (q.X >= suction.P1.X && q.Y <= suction.P1.Y) return Caught;
  return InFlight;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string Csv(double v) {
  return std::isfinite(v) ? FormatGeneral(static_cast<Real>(std::round(v * 1e6) / 1e6)) : std::string();
}

bool SameRibs(const TRibArray& a, const TRibArray& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].P1.X != b[i].P1.X || a[i].P1.Y != b[i].P1.Y || a[i].P2.X != b[i].P2.X || a[i].P2.Y != b[i].P2.Y)
      return false;
  }
  return true;
}

}  // namespace

namespace {

// Every k-th node of the averaging grid, k·dx nearest the asked spacing; a
// spacing beyond any grid gives a stride no row has twice (never an overflow).
int32_t GridStride(double spacing, const AveragingGrid& g) {
  const double k = std::round(spacing / g.Dx);
  return !(k < INT32_MAX) ? INT32_MAX : std::max(1, static_cast<int32_t>(k));
}

}  // namespace

int64_t TracerGridSources(const Model& given, double spacing) {
  // The grid needs the contour; a model of parameters alone has none yet.
  Model m = given;
  if (m.BodyRibs.empty()) BuildArea(m);
  const AveragingGrid g = MakeAveragingGrid(m, AveragingSettings{}.GridSpacing, AveragingGridPoints);
  if (g.Nx == 0) return 0;
  const int32_t k = GridStride(spacing, g);
  const double mouth = static_cast<double>(MouthX(m));
  const double nx = std::floor((mouth - g.X0) / (g.Dx * k) + 1e-9) + 1;
  int64_t n = 0;
  for (int64_t j = 0; j * k < g.Ny; ++j)
    for (int64_t i = 0; i < nx && i * k < g.Nx; ++i)
      n += g.Inside[static_cast<size_t>(j * k * g.Nx + i * k)] != 0;
  return n;
}

void StartTracers(TracerState& t, const Model& m, const TracerSettings& settings, const AveragingGrid& g) {
  TracerSettings copy = settings;  // may be t's own
  t = TracerState{};
  t.Settings = std::move(copy);
  if (!(t.Settings.Horizon > 0)) t.Settings.Horizon = DefaultCaptureHorizon;
  if (!(t.Settings.ReleaseEvery > 0)) t.Settings.ReleaseEvery = DefaultReleaseEvery;
  t.Settings.Stride = std::max(1, t.Settings.Stride);
  t.Started = true;
  t.Mouth = {MouthX(m), 0};
  t.Contour = m.BodyRibs;
  t.FarRadius = t.Settings.FarRadius > 0 ? t.Settings.FarRadius
                                         : DefaultFarRadiusOverD * 2 * static_cast<double>(m.ChannelRadius);
  const double dt = static_cast<double>(m.Dt);
  t.ReleaseSteps = dt > 0 ? std::max(1, static_cast<int32_t>(std::lround(t.Settings.ReleaseEvery / dt))) : 1;
  t.Sources = t.Settings.Sources;
  if (t.Settings.GridSpacing > 0) {
    // Nodes of the averaging grid (every k-th), so that the caught fraction
    // is a point array of the field file; from the plane to the mouth.
    if (g.Nx > 0) {
      const int32_t k = GridStride(t.Settings.GridSpacing, g);
      TracerGrid& s = t.Grid;
      s.X0 = g.X0;
      s.Y0 = g.Y0;
      s.Dx = g.Dx * k;
      s.Dy = g.Dy * k;
      const double mouth = static_cast<double>(t.Mouth.X);
      s.Nx = static_cast<int32_t>(std::floor((mouth - g.X0) / s.Dx + 1e-9)) + 1;
      s.Ny = (g.Ny - 1) / k + 1;
      s.Source.assign(static_cast<size_t>(s.Nx) * static_cast<size_t>(s.Ny), -1);
      for (int32_t j = 0; j < s.Ny; ++j) {
        for (int32_t i = 0; i < s.Nx; ++i) {
          if (!g.Inside[static_cast<size_t>(j * k) * static_cast<size_t>(g.Nx) + static_cast<size_t>(i * k)]) continue;
          s.Source[static_cast<size_t>(j) * static_cast<size_t>(s.Nx) + static_cast<size_t>(i)] =
              static_cast<int32_t>(t.Sources.size());
          t.Sources.push_back(g.Point(i * k, j * k));
        }
      }
    }
  }
  t.Tally.assign(t.Sources.size(), SourceTally{});
  t.FirstRelease = t.Settings.ReleaseFrom;
  const double perSource = t.Settings.Horizon / (t.ReleaseSteps * std::max(dt, 1e-12)) + 2;
  ReserveTracers(t, static_cast<size_t>(std::min(perSource * ReserveSlack, 1e6) * static_cast<double>(t.Sources.size())));
}

void ReserveTracers(TracerState& t, size_t markers) {
  t.Markers.reserve(markers);
  t.Moving.reserve(markers);
  t.Moved.reserve(markers);
  t.Fate.reserve(markers);
}

void FeedTracers(TracerState& t, const Model& m, std::optional<Real> startupEnd) {
  if (!t.Started) return;
  const int64_t n = t.Steps++;
  const int32_t stride = t.Settings.Stride;
  const Real horizon = static_cast<Real>(t.Settings.Horizon);
  if (!t.FirstRelease && startupEnd) t.FirstRelease = std::max(m.Time, *startupEnd);

  // Releases: source k at the steps whose count since the first release is
  // ≡ k (mod ReleaseSteps), so that the markers spread over the steps. Shown
  // markers start the schedule earlier; the counted ones keep to it.
  const bool counted = t.FirstRelease && m.Time >= *t.FirstRelease;
  const bool shown = t.Settings.ShowFrom && m.Time >= *t.Settings.ShowFrom;
  if (counted || shown) {
    const Real anchor = t.Settings.ShowFrom ? *t.Settings.ShowFrom : *t.FirstRelease;  // s
    const auto since = static_cast<int64_t>(std::llround((m.Time - anchor) / m.Dt));
    for (size_t k = 0; k < t.Sources.size(); ++k) {
      if (since % t.ReleaseSteps != static_cast<int64_t>(k % static_cast<size_t>(t.ReleaseSteps))) continue;
      SourceTally& tally = t.Tally[k];
      tally.Released += counted;
      if (Beyond(t, m, t.Sources[k])) {
        tally.Lost += counted;
        continue;
      }
      t.Markers.push_back(
          {t.Sources[k], m.Time, static_cast<int32_t>(k), static_cast<int32_t>(n % stride), counted});
    }
  }

  // The group due this step moves over Stride·dt with the present flow.
  t.Moving.clear();
  for (size_t i = 0; i < t.Markers.size(); ++i) {
    if (t.Markers[i].Group == n % stride) t.Moving.push_back(static_cast<int32_t>(i));
  }
  const int32_t count = static_cast<int32_t>(t.Moving.size());
  t.Moved.resize(t.Moving.size());
  t.Fate.resize(t.Moving.size());
  const Real dt = m.Dt * stride;
  ForMarkers(m, count, [&](int32_t begin, int32_t end) {
    for (int32_t q = begin; q < end; ++q) {
      const Marker& mk = t.Markers[static_cast<size_t>(t.Moving[static_cast<size_t>(q)])];
      Real u, w;  // m/s
      CalcVelocityPair(m, mk.Pos, -1, u, w);
      TRealPoint& to = t.Moved[static_cast<size_t>(q)];
      Fate f = Move(m, mk.Pos, u, w, dt, to);
      if (f == InFlight && Beyond(t, m, to)) f = Lost;
      t.Fate[static_cast<size_t>(q)] = f;
    }
  });
  for (int32_t q = 0; q < count; ++q) {
    Marker& mk = t.Markers[static_cast<size_t>(t.Moving[static_cast<size_t>(q)])];
    mk.Pos = t.Moved[static_cast<size_t>(q)];
    // The marker's position now belongs to the time its group has reached.
    const Real age = m.Time + dt - mk.Born;  // s
    SourceTally& tally = t.Tally[static_cast<size_t>(mk.Source)];
    const Fate f = static_cast<Fate>(t.Fate[static_cast<size_t>(q)]);
    if (!mk.Counted) {
      if (f != InFlight || age >= horizon) mk.Source = -1;  // gone from the picture, not counted
      continue;
    }
    if (f == Caught && age <= horizon) {
      tally.Caught += 1;
      tally.CaptureTimes.push_back(static_cast<double>(age));
    } else if (f == Lost) {
      tally.Lost += 1;
    } else if (age >= horizon) {
      tally.Expired += 1;  // still in flight (or caught too late) at the horizon
    } else {
      continue;
    }
    mk.Source = -1;  // decided
  }
  t.Markers.erase(std::remove_if(t.Markers.begin(), t.Markers.end(), [](const Marker& mk) { return mk.Source < 0; }),
                  t.Markers.end());
}

TracerResults SummariseTracers(const TracerState& t) {
  TracerResults r;
  r.Present = t.Started;
  r.Horizon = t.Settings.Horizon;
  r.ReleaseEvery = t.Settings.ReleaseEvery;
  r.FarRadius = t.FarRadius;
  r.Stride = t.Settings.Stride;
  r.HasFirstRelease = t.FirstRelease.has_value();
  r.FirstRelease = r.HasFirstRelease ? static_cast<double>(*t.FirstRelease) : 0;
  r.Grid = t.Grid;
  for (size_t k = 0; k < t.Sources.size(); ++k) {
    const SourceTally& tally = t.Tally[k];
    SourceResult s;
    s.Point = t.Sources[k];
    s.Released = tally.Released;
    s.Caught = tally.Caught;
    s.Lost = tally.Lost;
    s.Expired = tally.Expired;
    s.InFlight = s.Released - s.Caught - s.Lost - s.Expired;
    const int64_t decided = s.Caught + s.Lost + s.Expired;
    s.Known = decided > 0;
    s.CaughtFraction = s.Known ? static_cast<double>(s.Caught) / static_cast<double>(decided) : 0;
    s.HasMedian = !tally.CaptureTimes.empty();
    if (s.HasMedian) s.MedianTime = Median(tally.CaptureTimes);
    r.Sources.push_back(s);
  }
  return r;
}

std::vector<double> CaptureFractionField(const TracerResults& r) {
  std::vector<double> f(r.Grid.Source.size(), std::numeric_limits<double>::quiet_NaN());
  for (size_t c = 0; c < f.size(); ++c) {
    const int32_t k = r.Grid.Source[c];
    if (k < 0 || static_cast<size_t>(k) >= r.Sources.size() || !r.Sources[static_cast<size_t>(k)].Known) continue;
    f[c] = r.Sources[static_cast<size_t>(k)].CaughtFraction;
  }
  return f;
}

std::string TracerCsv(const TracerResults& r) {
  std::string out = "x [m];y [m];released;caught;lost;expired;in_flight;caught_fraction;median_capture_time [s]\n";
  for (const SourceResult& s : r.Sources) {
    out += Csv(static_cast<double>(s.Point.X)) + ";" + Csv(static_cast<double>(s.Point.Y)) + ";" +
           std::to_string(s.Released) + ";" + std::to_string(s.Caught) + ";" + std::to_string(s.Lost) + ";" +
           std::to_string(s.Expired) + ";" + std::to_string(s.InFlight) + ";" +
           (s.Known ? Csv(s.CaughtFraction) : "") + ";" + (s.HasMedian ? Csv(s.MedianTime) : "") + "\n";
  }
  return out;
}

std::string TracerText(const TracerResults& r) {
  const auto fixed = [](double v, int d) { return FormatFixed(static_cast<Real>(v), 15, d); };
  std::string out = "Маркеры: горизонт захвата T = " + fixed(r.Horizon, 2) + " с, выпуск из каждой точки раз в " +
                    fixed(r.ReleaseEvery, 3) + " с" +
                    (r.HasFirstRelease ? " с t = " + fixed(r.FirstRelease, 3) + " с" : " (разгон не закончился: не выпускались)") +
                    "; потеряны за краем экрана или дальше " + fixed(r.FarRadius, 2) + " м от устья\n";
  std::vector<uint8_t> onGrid(r.Sources.size(), 0);
  for (const int32_t k : r.Grid.Source) {
    if (k >= 0 && static_cast<size_t>(k) < onGrid.size()) onGrid[static_cast<size_t>(k)] = 1;
  }
  int64_t grid = 0, known = 0, above90 = 0, above50 = 0;
  for (size_t k = 0; k < r.Sources.size(); ++k) {
    const SourceResult& s = r.Sources[k];
    if (onGrid[k]) {
      grid += 1;
      known += s.Known;
      above90 += s.Known && s.CaughtFraction >= 0.9;
      above50 += s.Known && s.CaughtFraction >= 0.5;
      continue;
    }
    out += "  (" + fixed(static_cast<double>(s.Point.X), 3) + "; " + fixed(static_cast<double>(s.Point.Y), 3) +
           "): выпущено " + std::to_string(s.Released) + ", захвачено " + std::to_string(s.Caught) + ", потеряно " +
           std::to_string(s.Lost) + ", не захвачено за T " + std::to_string(s.Expired) + ", в пути " +
           std::to_string(s.InFlight) + "; доля захвата " + (s.Known ? fixed(s.CaughtFraction, 3) : "—") +
           ", медианное время захвата " + (s.HasMedian ? fixed(s.MedianTime, 3) + " с" : "—") + "\n";
  }
  if (grid > 0) {
    out += "  Сетка " + std::to_string(r.Grid.Nx) + " × " + std::to_string(r.Grid.Ny) + ", шаг " + fixed(r.Grid.Dx, 3) +
           " м: точек " + std::to_string(grid) + ", с известной долей " + std::to_string(known) +
           ", доля захвата не меньше 0,9 в " + std::to_string(above90) + ", не меньше 0,5 в " +
           std::to_string(above50) + "\n";
  }
  return out;
}

void TracerObserver::StepDone(const Model& m) {
  if (!t_.Started || !SameRibs(t_.Contour, m.BodyRibs)) StartTracers(t_, m, t_.Settings, averages_.Grid);
  std::optional<Real> startupEnd = averages_.Settings.AverageFrom;
  if (!startupEnd && averages_.Last.StartupOver) startupEnd = averages_.Last.StartupEnd;
  FeedTracers(t_, m, startupEnd);
  inner_.StepDone(m);
}

}  // namespace mdv
