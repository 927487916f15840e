// Tracers in the potential flow of the bare flush hood (no free vortices, a
// steady field): the transit time on the axis against ∫dx/v of the same
// flow, capture within and beyond the horizon, loss beyond the far boundary,
// the same bits on every thread count, and the file round trip (JSON, VTK).
#include "core/averages/tracer_status.h"
#include "core/averages/tracers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <sstream>

#include "core/averages/averages_reading.h"
#include "core/averages/averaging_files.h"
#include "core/analysis/contraction.h"
#include "core/model_fixtures.h"

namespace mdv {
namespace {

constexpr Real Dt = 0.005L;

// α = 90°, no supply air, the plane far away; attached circulations solved.
Model BareHood(Real planeX = -4) {
  Model m;
  m.FlangeAngle = Pi / 2;
  m.InflowSpeed = 0;
  m.PlaneX = planeX;
  m.PlaneHalfLength = 0.2L;
  m.VortexSpacing = 0.02L;
  m.Dt = Dt;
  BuildArea(m);
  test::SolveAttached(m);
  return m;
}

// ∫ dx / vx along the axis from x0 to x1 (Simpson, 400 intervals), s.
double AxisTransit(const Model& m, double x0, double x1) {
  const int n = 400;
  const double h = (x1 - x0) / n;
  double sum = 0;
  for (int k = 0; k <= n; ++k) {
    Real u, v;
    CalcVelocityPair(m, {static_cast<Real>(x0 + h * k), 0}, -1, u, v);
    const double w = (k == 0 || k == n) ? 1 : (k % 2 == 1 ? 4 : 2);
    sum += w / static_cast<double>(u);
  }
  return sum * h / 3;
}

TracerSettings OnAxis(TRealPointArray sources, double horizon, double every) {
  TracerSettings s;
  s.Sources = std::move(sources);
  s.Horizon = horizon;
  s.ReleaseEvery = every;
  s.ReleaseFrom = 0;
  s.Stride = 1;
  return s;
}

TEST(Tracers, AMarkerOnTheAxisReachesTheMouthInTheTransitTimeOfTheFlow) {
  Model m = BareHood();
  const double expected = AxisTransit(m, -0.3, 0);
  // The Euler step is first order: the default stride's tenfold step errs tenfold.
  for (const auto& [stride, tolerance] : {std::pair{1, 0.01}, std::pair{DefaultTracerStride, 0.05}}) {
    TracerState t;
    TracerSettings s = OnAxis({{-0.3L, 0}}, 100, 1000);
    s.Stride = stride;
    StartTracers(t, m, s, AveragingGrid{});
    double reached = -1;
    Real lastX = -0.3L, lastT = 0;
    for (int k = 0; k < 4000 && reached < 0; ++k) {
      m.Time = Dt * k;
      FeedTracers(t, m, std::nullopt);
      ASSERT_EQ(t.Markers.size(), 1u) << "step " << k;
      const Real x = t.Markers[0].Pos.X;
      if (x == lastX) continue;  // not its group's step
      EXPECT_EQ(t.Markers[0].Pos.Y, 0) << "stays on the axis";
      // Its position now belongs to the time its group has reached.
      const Real at = m.Time + Dt * stride;
      if (x >= MouthX(m)) reached = static_cast<double>(lastT + (at - lastT) * (0 - lastX) / (x - lastX));
      lastX = x;
      lastT = at;
    }
    EXPECT_NEAR(reached / expected, 1.0, tolerance)
        << "stride " << stride << ": marker " << reached << " s, ∫dx/v " << expected << " s";
  }
}

TEST(Tracers, CaughtWithinTheHorizonAndLostBeyondTheFarBoundary) {
  Model m = BareHood();
  const double near = AxisTransit(m, -0.1, static_cast<double>(m.SuctionX - m.VortexSpacing / 2));
  const double horizon = 3;
  ASSERT_LT(near, horizon * 0.8);
  ASSERT_GT(AxisTransit(m, -1.0, -0.5), horizon * 2) << "the far source takes longer than the horizon";
  TracerState t;
  // Near and far on the axis; above the far radius (3 m = 10 D); round the plane's rim.
  StartTracers(t, m, OnAxis({{-0.1L, 0}, {-1.0L, 0}, {-0.2L, 5}, {-3.99L, 0.5L}}, horizon, 0.5), AveragingGrid{});
  EXPECT_DOUBLE_EQ(t.FarRadius, 3.0);
  // Source k releases first at step k (the releases spread over the steps).
  for (int k = 0; k < 4; ++k) {
    m.Time = Dt * k;
    FeedTracers(t, m, std::nullopt);
  }
  EXPECT_EQ(t.Tally[2].Lost, 1) << "lost at once";
  EXPECT_EQ(t.Tally[3].Lost, 1) << "lost at once";
  EXPECT_EQ(t.Markers.size(), 2u);
  for (int k = 4; k <= 1200; ++k) {
    m.Time = Dt * k;
    FeedTracers(t, m, std::nullopt);
  }
  const TracerResults r = SummariseTracers(t);
  ASSERT_EQ(r.Sources.size(), 4u);
  const SourceResult& a = r.Sources[0];
  const SourceResult& b = r.Sources[1];
  EXPECT_EQ(a.Released, 13) << "every 0,5 s from 0 to 6 s";
  EXPECT_EQ(a.Lost + a.Expired, 0);
  EXPECT_GE(a.Caught, 10);
  EXPECT_EQ(a.Caught + a.InFlight, a.Released);
  EXPECT_TRUE(a.Known);
  EXPECT_EQ(a.CaughtFraction, 1.0);
  ASSERT_TRUE(a.HasMedian);
  EXPECT_NEAR(a.MedianTime / near, 1.0, 0.02) << "median " << a.MedianTime << " s against ∫dx/v " << near;
  EXPECT_EQ(b.Caught, 0);
  EXPECT_GE(b.Expired, 5) << "released at 0 … 3 s, expired by 6 s";
  EXPECT_EQ(b.CaughtFraction, 0.0);
  EXPECT_FALSE(b.HasMedian);
  EXPECT_EQ(r.Sources[2].CaughtFraction, 0.0);
  EXPECT_EQ(r.Sources[2].Released, r.Sources[2].Lost);
}

// The far boundary is a circle of the far radius about the mouth: at 0,5 m
// a source 0,48 m off is released and one 0,54 m off lost at once; at the
// default 10 D = 3 m, sources 2 m and 2,94 m off are released, 3,01 m lost.
TEST(Tracers, TheFarBoundaryIsACircleOfItsRadiusAboutTheMouth) {
  Model m = BareHood();
  struct Row {
    double radius;  // m; 0: the default
    TRealPoint source;
    bool lost;
  } rows[] = {{0.5, {-0.45L, 0}, false},   {0.5, {-0.3L, 0.38L}, false}, {0.5, {-0.3L, 0.45L}, true},
              {0, {-2.0L, 0}, false},      {0, {-2.9L, 0.5L}, false},    {0, {-2.9L, 0.8L}, true}};
  for (const Row& r : rows) {
    TracerState t;
    TracerSettings s = OnAxis({r.source}, 10, 1000);
    s.FarRadius = r.radius;
    StartTracers(t, m, s, AveragingGrid{});
    m.Time = 0;
    FeedTracers(t, m, std::nullopt);
    const std::string at = std::to_string(static_cast<double>(r.source.X)) + ", " +
                           std::to_string(static_cast<double>(r.source.Y)) + " at R = " + std::to_string(t.FarRadius);
    EXPECT_EQ(t.Tally[0].Released, 1) << at;
    EXPECT_EQ(t.Tally[0].Lost, r.lost ? 1 : 0) << at;
    EXPECT_EQ(t.Markers.size(), r.lost ? 0u : 1u) << at;
  }
}

// A marker's age is the time its group has reached less its birth: caught
// at its group's step j, its capture time is (j + stride)·dt exactly; a
// horizon of that age keeps it caught, one group step less expires it at
// the step its age reaches the horizon. dt = 1/256 s: the ages are exact.
TEST(Tracers, TheAgeAgainstTheHorizonIsTheTimeItsGroupHasReached) {
  Model m = BareHood();
  const Real dt = 1.0L / 256;  // s
  m.Dt = dt;
  constexpr int stride = 4;
  const auto run = [&](double horizon, int& goneAt) {
    TracerState t;
    TracerSettings s = OnAxis({{-0.1L, 0}}, horizon, 1000);
    s.Stride = stride;
    StartTracers(t, m, s, AveragingGrid{});
    goneAt = -1;
    for (int k = 0; k < 4000 && goneAt < 0; ++k) {
      m.Time = dt * k;
      FeedTracers(t, m, std::nullopt);
      if (t.Markers.empty()) goneAt = k;
    }
    return SummariseTracers(t).Sources[0];
  };
  int caughtAt = 0;
  const SourceResult free = run(100, caughtAt);
  ASSERT_EQ(free.Caught, 1);
  ASSERT_EQ(caughtAt % stride, 0) << "group 0 moves on steps 0, 4, 8, …";
  const double age = static_cast<double>(dt * (caughtAt + stride));  // s
  EXPECT_EQ(free.MedianTime, age);
  int at = 0;
  const SourceResult edge = run(age, at);
  EXPECT_EQ(edge.Caught, 1) << "caught at the horizon itself";
  EXPECT_EQ(edge.Expired, 0);
  EXPECT_EQ(at, caughtAt);
  const SourceResult early = run(age - stride * static_cast<double>(dt), at);
  EXPECT_EQ(early.Caught, 0);
  EXPECT_EQ(early.Expired, 1);
  EXPECT_EQ(at, caughtAt - stride) << "expired at the step its age reaches the horizon";
  EXPECT_FALSE(early.HasMedian);
}

TEST(Tracers, ShownMarkersBeforeTheFirstReleaseAreNotCounted) {
  Model m = BareHood();
  const double near = AxisTransit(m, -0.1, static_cast<double>(m.SuctionX - m.VortexSpacing / 2));
  TracerState t;
  TracerSettings s = OnAxis({{-0.1L, 0}}, 3, 0.5);
  s.ShowFrom = 0;
  s.ReleaseFrom = 1.0L;
  StartTracers(t, m, s, AveragingGrid{});
  int step = 0;
  for (; Dt * step < 1.0L - Dt / 2; ++step) {
    m.Time = Dt * step;
    FeedTracers(t, m, std::nullopt);
  }
  // Shown from t = 0 every 0,5 s, the first already caught: nothing counted.
  EXPECT_FALSE(t.Markers.empty());
  EXPECT_GT(near, 0.5);
  EXPECT_EQ(t.Tally[0].Released + t.Tally[0].Caught + t.Tally[0].Lost + t.Tally[0].Expired, 0);
  for (const Marker& mk : t.Markers) EXPECT_FALSE(mk.Counted);
  for (; step <= 700; ++step) {
    m.Time = Dt * step;
    FeedTracers(t, m, std::nullopt);
  }
  // Counted from 1 s on the same schedule: 1; 1,5; … 3,5 s.
  const SourceResult r = SummariseTracers(t).Sources[0];
  EXPECT_EQ(r.Released, 6);
  EXPECT_EQ(r.Caught + r.InFlight, 6);
  EXPECT_NEAR(r.MedianTime / near, 1.0, 0.02);
  EXPECT_DOUBLE_EQ(SummariseTracers(t).FirstRelease, 1.0);
}

TEST(Tracers, SameBitsOnEveryThreadCountAndStride) {
  std::vector<Marker> reference;
  for (const int threads : {1, 0}) {
    Model m = BareHood();
    m.Exec.Threads = threads;
    TracerState t;
    TracerSettings s = OnAxis({{-0.1L, 0.05L}, {-0.2L, 0.3L}, {-0.05L, 0.12L}}, 10, 0.02);
    s.Stride = 3;
    StartTracers(t, m, s, AveragingGrid{});
    for (int k = 0; k < 60; ++k) {
      m.Time = Dt * k;
      FeedTracers(t, m, std::nullopt);
    }
    ASSERT_GT(t.Markers.size(), 20u);
    if (reference.empty()) {
      reference = t.Markers;
      continue;
    }
    ASSERT_EQ(t.Markers.size(), reference.size());
    for (size_t i = 0; i < reference.size(); ++i) {
      EXPECT_TRUE(test::SameBits(t.Markers[i].Pos.X, reference[i].Pos.X) &&
                  test::SameBits(t.Markers[i].Pos.Y, reference[i].Pos.Y))
          << "marker " << i;
    }
  }
}

TEST(Tracers, ResultsRoundTripThroughTheJsonAndReachTheFieldFile) {
  Model m = BareHood(-0.6L);
  AveragingSettings a;
  a.AverageFrom = 0;
  a.SampleEverySteps = 10;
  a.ZoneEverySamples = 0;
  a.GridSpacing = 0.05;
  AveragingState s;
  StartAveraging(s, m, a);
  TracerState t;
  TracerSettings ts = OnAxis({{-0.1L, 0}}, 2, 0.5);
  ts.GridSpacing = 0.2;
  StartTracers(t, m, ts, s.Grid);
  ASSERT_GT(t.Grid.Nx, 1);
  EXPECT_NEAR(t.Grid.Dx, 4 * s.Grid.Dx, 1e-12) << "every fourth node of the averaging grid";
  EXPECT_NEAR(t.Grid.X0 + (t.Grid.Nx - 1) * t.Grid.Dx, static_cast<double>(MouthX(m)), 1e-9)
      << "the last column on the mouth, which is a node";
  // A source at each node of the coarse grid that is a flow point of the fine one.
  for (int32_t j = 0; j < t.Grid.Ny; ++j) {
    for (int32_t i = 0; i < t.Grid.Nx; ++i) {
      const int32_t k = t.Grid.Source[static_cast<size_t>(j * t.Grid.Nx + i)];
      ASSERT_EQ(k >= 0, s.Grid.Inside[static_cast<size_t>(4 * j * s.Grid.Nx + 4 * i)] != 0) << i << ", " << j;
      if (k >= 0) {
        EXPECT_EQ(PointDistance(t.Sources[static_cast<size_t>(k)], s.Grid.Point(4 * i, 4 * j)), 0);
      }
    }
  }
  for (int k = 0; k < 260; ++k) {
    m.Time = Dt * k;
    FeedStep(s, m);
    FeedTracers(t, m, std::nullopt);
  }
  AveragingResults r = SummariseAveraging(s, m);
  r.Tracers = SummariseTracers(t);
  ASSERT_GT(r.Tracers.Sources.size(), 8u);
  const std::string text = AveragesJson(r);
  AveragingResults back;
  std::string error;
  ASSERT_TRUE(ReadAveragesText(text, back, error)) << error;
  const TracerResults& b = back.Tracers;
  ASSERT_TRUE(b.Present);
  EXPECT_EQ(b.Horizon, 2.0);
  EXPECT_EQ(b.ReleaseEvery, 0.5);
  EXPECT_EQ(b.Stride, 1);
  EXPECT_EQ(b.FirstRelease, 0.0);
  EXPECT_EQ(b.Grid.Source, r.Tracers.Grid.Source);
  ASSERT_EQ(b.Sources.size(), r.Tracers.Sources.size());
  int caught = 0;
  for (size_t k = 0; k < b.Sources.size(); ++k) {
    const SourceResult &x = b.Sources[k], &y = r.Tracers.Sources[k];
    EXPECT_EQ(static_cast<double>(x.Point.X), static_cast<double>(y.Point.X)) << k;
    EXPECT_EQ(x.Released, y.Released) << k;
    EXPECT_EQ(x.Caught, y.Caught) << k;
    EXPECT_EQ(x.Lost, y.Lost) << k;
    EXPECT_EQ(x.Expired, y.Expired) << k;
    EXPECT_EQ(x.InFlight, y.InFlight) << k;
    EXPECT_EQ(x.Known, y.Known) << k;
    EXPECT_EQ(x.CaughtFraction, y.CaughtFraction) << k;
    EXPECT_EQ(x.MedianTime, y.MedianTime) << k;
    caught += x.Caught > 0;
  }
  EXPECT_GT(caught, 0);
  EXPECT_EQ(AveragesJson(back), text);

  // The field file: the caught fraction at the source nodes, −1 elsewhere.
  const std::string vti = FieldVti(r);
  const size_t at = vti.find("Name=\"capture_fraction\"");
  ASSERT_NE(at, std::string::npos);
  std::istringstream in(vti.substr(vti.find('>', at) + 1));
  std::vector<double> values;
  for (double v; values.size() < r.Field.Grid.Inside.size() && in >> v;) values.push_back(v);
  ASSERT_EQ(values.size(), r.Field.Grid.Inside.size());
  const std::vector<double> f = CaptureFractionField(r.Tracers);
  const TracerGrid& g = r.Tracers.Grid;
  int sources = 0;
  for (int32_t j = 0; j < g.Ny; ++j) {
    for (int32_t i = 0; i < g.Nx; ++i) {
      const double want = f[static_cast<size_t>(j * g.Nx + i)];
      const double got = values[static_cast<size_t>(4 * j * r.Field.Grid.Nx + 4 * i)];
      EXPECT_EQ(got, std::isfinite(want) ? want : -1.0) << i << ", " << j;
      sources += std::isfinite(want);
    }
  }
  EXPECT_GT(sources, 3) << "sources with a decided fate";
  EXPECT_EQ(values[1], -1.0) << "a node between the sources";

  // Point sources only: the grid is null, reads back as none, and the field
  // file has no capture fraction.
  r.Tracers.Grid = TracerGrid{};
  const std::string points = AveragesJson(r);
  EXPECT_NE(points.find("\"grid\": null"), std::string::npos);
  ASSERT_TRUE(ReadAveragesText(points, back, error)) << error;
  EXPECT_EQ(back.Tracers.Grid.Nx, 0);
  EXPECT_EQ(back.Tracers.Sources.size(), r.Tracers.Sources.size());
  EXPECT_EQ(AveragesJson(back), points);
  EXPECT_EQ(FieldVti(r).find("capture_fraction"), std::string::npos);
}

TEST(Tracers, TheObserverKeepsItsMarkersAndStartsAfreshWhenTheContourChanges) {
  Model m = BareHood();
  AveragingState averages;
  averages.Settings.AverageFrom = Dt * 10;  // the first release: no start-up to wait for
  TracerState t;
  t.Settings = OnAxis({{-0.3L, 0}}, 100, 0.015);
  t.Settings.ReleaseFrom.reset();
  TracerObserver feed(t, averages, NullObserver());
  const auto run = [&](int from, int to) {
    for (int k = from; k < to; ++k) {
      m.Time = Dt * k;
      feed.StepDone(m);
    }
  };
  run(0, 1);
  const size_t room = t.Markers.capacity();
  run(1, 20);
  EXPECT_EQ(t.Steps, 20) << "one start, then fed";
  ASSERT_TRUE(t.FirstRelease.has_value());
  EXPECT_EQ(*t.FirstRelease, Dt * 10);
  EXPECT_EQ(t.Tally[0].Released, 4) << "every third step from the tenth: 10, 13, 16, 19";
  EXPECT_EQ(t.Markers.size(), 4u);
  EXPECT_EQ(t.Markers.capacity(), room) << "the markers in flight within the room reserved at the start";
  // Any coordinate of any rib moved (the first and the last here): a new area.
  for (const size_t rib : {size_t{0}, m.BodyRibs.size() - 1}) {
    for (int c = 0; c < 4; ++c) {
      SCOPED_TRACE(testing::Message() << "rib " << rib << ", coordinate " << c);
      Model moved = m;
      TRib& r = moved.BodyRibs[rib];
      Real* at[4] = {&r.P1.X, &r.P1.Y, &r.P2.X, &r.P2.Y};
      *at[c] += 1e-3L;
      TracerState u = t;
      TracerObserver again(u, averages, NullObserver());
      again.StepDone(moved);
      EXPECT_EQ(u.Steps, 1);
      again.StepDone(moved);
      EXPECT_EQ(u.Steps, 2) << "the new contour kept";
    }
  }
}

TEST(Tracers, TheSummaryCountsEachSourceAndTakesTheMedianCaptureTime) {
  TracerState t;
  t.Started = true;
  t.Sources = {{-0.1L, 0}, {-0.2L, 0}, {-0.3L, 0}};
  t.Tally.resize(3);
  t.Tally[0] = {10, 3, 1, 2, {4.0, 1.0, 3.0}};
  t.Tally[1] = {6, 0, 0, 0, {}};
  t.Tally[2] = {7, 4, 0, 0, {4.0, 1.0, 3.0, 2.0}};
  const TracerResults r = SummariseTracers(t);
  ASSERT_EQ(r.Sources.size(), 3u);
  const SourceResult &a = r.Sources[0], &b = r.Sources[1], &c = r.Sources[2];
  EXPECT_EQ(a.InFlight, 4);
  EXPECT_EQ(a.CaughtFraction, 0.5) << "3 of the 6 decided";
  EXPECT_EQ(a.MedianTime, 3.0);
  EXPECT_FALSE(b.Known);
  EXPECT_FALSE(b.HasMedian);
  EXPECT_EQ(b.InFlight, 6);
  EXPECT_EQ(c.CaughtFraction, 1.0);
  EXPECT_EQ(c.MedianTime, 2.5) << "an even count: the mean of the middle two";
  EXPECT_EQ(static_cast<double>(c.Point.X), -0.3);
}

// The status line while markers run: what starts the counting, the counts
// summed over the sources, and where the capture lines stand.
TEST(Tracers, TheStatusSaysWhereTheCaptureLinesStand) {
  TracerResults r;
  r.Present = true;
  r.Horizon = 10;
  r.Grid.Nx = 2;
  r.Grid.Ny = 1;
  r.Grid.Source = {1, 2};  // source 0 is a user point
  SourceResult user, a, b;
  user.Released = 4, user.Caught = 1, user.InFlight = 3;
  a.Released = 4, a.InFlight = 4;
  b.Released = 4, b.Lost = 1, b.InFlight = 3;
  r.Sources = {user, a, b};
  EXPECT_EQ(MarkerStatusText(r, 1.0, 17),
            "Маркеры: в пути 17 (только показ); счёт начнётся с «Осреднять с» или с конца разгона, который ещё не найден");
  r.HasFirstRelease = true;
  r.FirstRelease = 2;
  EXPECT_EQ(MarkerStatusText(r, 1.5, 17), "Маркеры: в пути 17 (только показ); счёт с t = 2,00 с");
  const std::string counts =
      "Маркеры с t = 2,00 с: выпущено 12, захвачено 1, потеряно 1, не захвачено за T 0, в пути 10; T = 10 с. ";
  EXPECT_EQ(MarkerStatusText(r, 3, 0), counts + "Линии захвата: долей ещё нет, у всех точек — не раньше t = 12,00 с");
  r.Sources[1].Known = r.Sources[2].Known = true;  // now each grid source has a fate …
  r.Sources[1].Expired = 1, r.Sources[1].InFlight = 3;
  EXPECT_TRUE(CaptureProvisional(r)) << "… but fewer fates than markers in flight";
  EXPECT_EQ(MarkerStatusText(r, 3, 0),
            "Маркеры с t = 2,00 с: выпущено 12, захвачено 1, потеряно 1, не захвачено за T 1, в пути 9; T = 10 с. "
            "Доля захвата известна у 2 из 2 точек; линии захвата предварительные (у всех точек — не раньше t = 12,00 с)");
  for (const int k : {1, 2}) r.Sources[static_cast<size_t>(k)].InFlight = 1;
  EXPECT_FALSE(CaptureProvisional(r));
  EXPECT_NE(MarkerStatusText(r, 13, 0).find("линии захвата — в «Осреднённом течении»"), std::string::npos);
}

TEST(Tracers, TheTextCountsTheGridAtTheZoneEdgesThemselves) {
  TracerResults r;
  r.Present = true;
  r.Horizon = 10;
  r.ReleaseEvery = 0.25;
  r.FarRadius = 3;
  r.Grid = {-0.5, 0, 0.1, 0.1, 3, 1, {1, 2, 3}};
  for (const double f : {0.25, 0.9, 0.5, 0.49}) {
    SourceResult s;
    s.Known = true;
    s.CaughtFraction = f;
    r.Sources.push_back(s);
  }
  const std::string text = TracerText(r);
  EXPECT_NE(text.find("точек 3, с известной долей 3, доля захвата не меньше 0,9 в 1, не меньше 0,5 в 2"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("доля захвата 0,250"), std::string::npos) << "the user-given source on a line of its own";
  EXPECT_NE(text.find("(разгон не закончился: не выпускались)"), std::string::npos) << text;
}

}  // namespace
}  // namespace mdv
