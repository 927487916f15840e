// Time averages of a run: the grid, what feeding a run leaves unchanged, the
// blocks against means taken directly, Stop/Continue, the vortex-zone
// statistics, and the two physical checks (disc sink, flux through the channel).
#include "core/averages/averaging.h"
#include "core/averages/entry_loss.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/averages/averaged_half_widths.h"
#include "core/averages/averaging_files.h"
#include "core/flow/circulation.h"
#include "core/model_fixtures.h"

namespace mdv {
namespace {

constexpr Real Dt = 0.005L;

bool SameVortices(const Model& a, const Model& b) {
  if (a.FreeVortexCount != b.FreeVortexCount || !test::SameBits(a.Time, b.Time)) return false;
  for (int32_t i = 0; i < a.AttachedCount + a.FreeVortexCount; ++i) {
    const TVortex& p = a.Vortices[static_cast<size_t>(i)];
    const TVortex& q = b.Vortices[static_cast<size_t>(i)];
    if (!test::SameBits(p.Pos.X, q.Pos.X) || !test::SameBits(p.Pos.Y, q.Pos.Y) || !test::SameBits(p.Gamma, q.Gamma))
      return false;
  }
  return true;
}

// The grid index nearest a point.
size_t Nearest(const AveragingGrid& g, double x, double y) {
  const long i = std::lround((x - g.X0) / g.Dx);
  const long j = std::lround((y - g.Y0) / g.Dy);
  return static_cast<size_t>(j) * static_cast<size_t>(g.Nx) + static_cast<size_t>(i);
}

TEST(Averaging, GridCoversTheFlowRegionAndMarksTheSolids) {
  const Model m = test::DefaultModel();
  const AveragingGrid g = MakeAveragingGrid(m, 0.0025);
  ASSERT_GT(g.Nx, 0);
  EXPECT_DOUBLE_EQ(g.X0, -0.5);
  EXPECT_NEAR(g.X0 + g.Dx * (g.Nx - 1), 1.0, 1e-12) << "x ends at the suction section";
  const double b = 0.15;
  EXPECT_NEAR(std::remainder(b, g.Dy), 0.0, 1e-12) << "a row lies on the channel wall y = B";
  EXPECT_NEAR(g.Dx, 0.0025, 0.0025 * 0.05);
  EXPECT_GE(g.Y0 + g.Dy * (g.Ny - 1), 2 * 0.41) << "up to twice the flange tip";
  struct Row {
    const char* name;
    double x, y;
    uint8_t flow;
  };
  const double tipX = -0.5 * std::cos(std::acos(-1.0) / 6), tipY = 0.15 + 0.25;
  for (const Row& r : {Row{"channel wall", 0.5, 0.16, 0}, Row{"inside the channel", 0.5, 0.08, 1},
                       Row{"on the wall's inner face", 0.5, 0.1525, 0}, Row{"on the axis", -0.2, 0.0, 1},
                       Row{"inside the flange", tipX / 2 - 0.006, (tipY + b) / 2 + 0.0105, 0},
                       Row{"ahead of the flange", tipX / 2 - 0.05, (tipY + b) / 2 - 0.05, 1},
                       Row{"against the plane", -0.4975, 0.1, 0}, Row{"clear of the plane", -0.49, 0.1, 1},
                       Row{"above the hood", 0.3, 0.6, 1}}) {
    EXPECT_EQ(g.Inside[Nearest(g, r.x, r.y)], r.flow) << r.name;
  }
}

// The grid's cost is bounded whatever the geometry: a far or wide plane is
// clipped ten hood sizes (the channel's length, 1,2 m) from the mouth, and a
// fine spacing is widened to at most the points asked for; the default is neither.
TEST(Averaging, GridIsBoundedWhateverTheGeometry) {
  struct Row {
    const char* name;
    Real planeX, planeHalfLength;
    double spacing, maxPoints;
    bool clipped, coarsened;
    double x0, top;  // m: first column, at least the last row's height
  };
  const double reach = 10 * 1.2;
  for (const Row& r : {Row{"default", -0.5L, 0.4L, 0.025, AveragingGridPoints, false, false, -0.5, 0.84},
                       Row{"far plane", -1e7L, 0.4L, 0.025, AveragingGridPoints, true, true, -reach, 0.84},
                       Row{"plane at the reach", -reach, 0.4L, 0.1, AveragingGridPoints, false, false, -reach, 0.84},
                       Row{"wide plane", -0.5L, 20, 0.025, AveragingGridPoints, true, true, -0.5, reach - 0.15},
                       Row{"fine spacing", -0.5L, 0.4L, 1e-4, AveragingGridPoints, false, true, -0.5, 0.84},
                       Row{"the cap", -1e7L, 20, 1e-4, 1e12, true, true, -reach, reach - 0.15}}) {
    SCOPED_TRACE(r.name);
    Model m;
    m.PlaneX = r.planeX;
    m.PlaneHalfLength = r.planeHalfLength;
    BuildArea(m);
    const AveragingGrid g = MakeAveragingGrid(m, r.spacing, r.maxPoints);
    ASSERT_GT(g.Nx, 1);
    EXPECT_LE(double(g.Nx) * g.Ny, std::min(r.maxPoints, GridPointCap));
    EXPECT_EQ(g.Inside.size(), size_t(g.Nx) * size_t(g.Ny));
    EXPECT_EQ(g.Clipped, r.clipped);
    EXPECT_EQ(g.Coarsened, r.coarsened);
    EXPECT_EQ(g.Spacing, r.spacing);
    EXPECT_NEAR(g.X0, r.x0, 1e-9);
    EXPECT_NEAR(g.X0 + g.Dx * (g.Nx - 1), 1.0, 1e-9) << "x ends at the suction section";
    EXPECT_GE(g.Y0 + g.Dy * (g.Ny - 1), r.top - g.Dy);
    EXPECT_LE(g.Y0 + g.Dy * (g.Ny - 1), std::max(0.84, reach) + 1e-9);
    EXPECT_NEAR(std::remainder(0.15, g.Dy) * std::remainder(g.Dy, 0.15), 0.0, 1e-12)
        << "a row lies on the channel wall y = B";
    if (!r.coarsened) {
      EXPECT_NEAR(g.Dx, r.spacing, r.spacing * 0.05);
    }
  }
  // Every array of the averages follows the grid.
  Model far;
  far.PlaneX = -1e7L;
  BuildArea(far);
  AveragingState s;
  StartAveraging(s, far, AveragingSettings{});
  EXPECT_TRUE(s.Grid.Clipped);
  EXPECT_LE(s.SamplePoints.size(), size_t(AveragingGridPoints) + CentrelineStationCount + FluxSectionPoints);
  EXPECT_EQ(s.Moments.size(), size_t(AveragingState::MaxBlocks) * s.SamplePoints.size() * 6);
  const std::string json = AveragesJson(SummariseAveraging(s, far));
  EXPECT_NE(json.find("\"spacing\": 0.025, \"clipped\": true, \"coarsened\": true"), std::string::npos);
}

// Every grid point of a hood with thick walls against a second test of the
// walls' outline (the winding number of the body's polygon) and the
// clearance of half a spacing from every rib.
TEST(Averaging, GridMaskOfThickWallsPointByPoint) {
  Model m;
  m.WallThickness = 0.05L;
  BuildArea(m);
  const AveragingGrid g = MakeAveragingGrid(m, 0.01);
  ASSERT_GT(g.Nx * g.Ny, 1000);
  std::vector<TRealPoint> poly;
  for (int i = 0; i < 5; ++i) poly.push_back(m.BodyRibs[static_cast<size_t>(i)].P1);
  poly.push_back(m.BodyRibs[4].P2);
  const double clearance = static_cast<double>(m.VortexSpacing) / 2;
  int solid = 0, deep = 0;
  for (int32_t j = 0; j < g.Ny; ++j) {
    for (int32_t i = 0; i < g.Nx; ++i) {
      const double x = g.X0 + g.Dx * i, y = g.Y0 + g.Dy * j;
      int winding = 0;
      for (size_t k = 0; k < poly.size(); ++k) {
        const double ax = static_cast<double>(poly[k].X), ay = static_cast<double>(poly[k].Y);
        const double bx = static_cast<double>(poly[(k + 1) % poly.size()].X);
        const double by = static_cast<double>(poly[(k + 1) % poly.size()].Y);
        const double side = (bx - ax) * (y - ay) - (x - ax) * (by - ay);
        if (ay <= y && by > y && side > 0) ++winding;
        if (ay > y && by <= y && side < 0) --winding;
      }
      double nearest = 1e9;
      for (int32_t r = 0; r < m.BodyRibCount; ++r) {
        const TRib& rib = m.BodyRibs[static_cast<size_t>(r)];
        const double ax = static_cast<double>(rib.P1.X), ay = static_cast<double>(rib.P1.Y);
        const double dx = static_cast<double>(rib.P2.X) - ax, dy = static_cast<double>(rib.P2.Y) - ay;
        const double t = std::clamp(((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
        nearest = std::min(nearest, std::hypot(x - ax - t * dx, y - ay - t * dy));
      }
      if (std::fabs(nearest - clearance) < 1e-9) continue;  // on the clearance itself: rounding decides
      const bool flow = winding == 0 && nearest >= clearance;
      solid += flow ? 0 : 1;
      deep += winding != 0 && nearest > clearance ? 1 : 0;
      EXPECT_EQ(g.Inside[static_cast<size_t>(j * g.Nx + i)], flow ? 1 : 0) << "point (" << x << ", " << y << ")";
    }
  }
  EXPECT_GT(deep, 50) << "points inside the walls farther than the clearance from them";
  EXPECT_GT(solid, deep);
}

// A run of the coarse hood with averages fed from the start.
struct AveragedRun {
  Model m;
  AveragingState s;
  AveragedRunSummary summary;
};

AveragingSettings SmallSettings() {
  AveragingSettings a;
  a.AverageFrom = 0;
  a.SampleEverySteps = 2;
  a.GridSpacing = 0.1;
  a.ZoneEverySamples = 5;
  return a;
}

AveragedRun RunCoarse(const Execution& exec, Real endTime, const AveragingSettings& settings, int stopAfter = 0) {
  AveragedRun r{test::CoarseModel(0.02L), {}, {}};
  r.m.Exec = exec;
  StartAveraging(r.s, r.m, settings);
  test::RecordingObserver obs;
  obs.stopAfter = stopAfter;
  r.summary = RunAveraged(r.m, r.s, 60, 0, 0, endTime, Dt, obs);
  if (stopAfter > 0) {
    // Continue to the end, as the window's Continue does.
    ContinueAveraging(r.s, r.m, settings);
    r.summary = RunAveraged(r.m, r.s, 60, r.m.FreeVortexCount, r.m.Time, endTime, Dt);
  }
  return r;
}

TEST(Averaging, FeedingLeavesTheRunUnchangedAndGivesTheSameBitsOnEveryPath) {
  Model plain = test::CoarseModel(0.02L);
  const RunSummary p = RunSimulation(plain, 60, 0, 0, 0.3L, Dt);
  std::string reference;
  for (const Execution exec : {Execution{true, 1}, Execution{false, 1}, Execution{false, 0}}) {
    SCOPED_TRACE(exec.Literal ? "literal" : (exec.Threads == 1 ? "fast, 1 thread" : "fast, all cores"));
    const AveragedRun r = RunCoarse(exec, 0.3L, SmallSettings());
    EXPECT_EQ(r.summary.Run.Steps, p.Steps);
    EXPECT_TRUE(SameVortices(r.m, plain)) << "feeding the averages changed the run";
    EXPECT_EQ(r.s.GridSamples, p.Steps / 2);
    EXPECT_EQ(static_cast<int64_t>(r.s.Zone.size()), r.s.GridSamples / 5);
    const std::string json = AveragesJson(SummariseAveraging(r.s, r.m));
    if (reference.empty()) reference = json;
    EXPECT_EQ(json, reference) << "the averages differ between paths or thread counts";
  }
}

TEST(Averaging, StopAndContinueAddToTheSameAverages) {
  const AveragedRun whole = RunCoarse(Execution{false, 0}, 0.3L, SmallSettings());
  const AveragedRun split = RunCoarse(Execution{false, 0}, 0.3L, SmallSettings(), 25);
  ASSERT_TRUE(SameVortices(whole.m, split.m));
  EXPECT_EQ(split.s.Steps, whole.s.Steps);
  EXPECT_EQ(AveragesJson(SummariseAveraging(split.s, split.m)), AveragesJson(SummariseAveraging(whole.s, whole.m)));
  // Start (a fresh run) forgets them.
  AveragingState again = split.s;
  StartAveraging(again, split.m, SmallSettings());
  EXPECT_FALSE(SummariseAveraging(again, split.m).HasAverages);
}

// Feeding a state laid over another hood (any one coordinate of any rib
// moved) starts it afresh over the new one; the same hood goes on adding.
TEST(Averaging, FeedingAnotherHoodStartsAfresh) {
  Model m = test::CoarseModel(0.05L);
  AveragingSettings a = SmallSettings();
  a.ZoneEverySamples = 0;
  AveragingState s;
  StartAveraging(s, m, a);
  for (int k = 0; k < 4; ++k) {
    m.Time = Dt * k;
    FeedStep(s, m);
  }
  ASSERT_EQ(s.Steps, 4);
  for (const size_t rib : {size_t{0}, m.BodyRibs.size() - 1}) {
    for (int c = 0; c < 4; ++c) {
      SCOPED_TRACE(testing::Message() << "rib " << rib << ", coordinate " << c);
      Model moved = m;
      TRib& r = moved.BodyRibs[rib];
      Real* at[4] = {&r.P1.X, &r.P1.Y, &r.P2.X, &r.P2.Y};
      *at[c] += 1e-3L;
      AveragingState u = s;
      FeedStep(u, moved);
      EXPECT_EQ(u.Steps, 1);
      EXPECT_EQ(u.Times.size(), 1u);
      FeedStep(u, moved);
      EXPECT_EQ(u.Steps, 2) << "the new hood kept";
    }
  }
}

// Velocities of every sample point at every step, taken beside the averages.
class DirectSamples : public Observer {
 public:
  explicit DirectSamples(const AveragingState& s) : s_(s) {}
  void StepDone(const Model& m) override {
    times.push_back(m.Time);
    std::vector<double> row[3];
    for (const TRealPoint& p : s_.SamplePoints) {
      Real u, v;
      CalcVelocityPair(m, p, -1, u, v);
      row[0].push_back(static_cast<double>(u));
      row[1].push_back(static_cast<double>(v));
      row[2].push_back(std::hypot(static_cast<double>(u), static_cast<double>(v)));
    }
    for (int k = 0; k < 3; ++k) samples[k].push_back(row[k]);
    Real u, v;
    CalcVelocityPair(m, {-2 * m.ChannelRadius, 0}, -1, u, v);
    monitor.push_back(static_cast<double>(u));
  }
  std::vector<Real> times;
  std::vector<std::vector<double>> samples[3];  // vx, vy, speed: [step][point]
  std::vector<double> monitor;                  // vx two radii in front of the hood

 private:
  const AveragingState& s_;
};

// The 95 % half-width of the mean of `x` by batch means, written out here:
// 20 batches of whole values from the newest end (10 when the lag-1
// autocorrelation of the 20 means is at or above 2/√20), Student's t by hand;
// NaN when the 10 are correlated too or there are too few values.
double HandHalfWidth(const std::vector<double>& x) {
  for (const size_t b : {size_t{20}, size_t{10}}) {
    const size_t size = x.size() / b;
    if (size < 2) continue;
    const size_t skip = x.size() - size * b;
    std::vector<double> z(b, 0.0);
    double mean = 0;
    for (size_t j = 0; j < b; ++j) {
      for (size_t i = 0; i < size; ++i) z[j] += x[skip + j * size + i];
      z[j] /= static_cast<double>(size);
      mean += z[j] / static_cast<double>(b);
    }
    double ss = 0, lag = 0;
    for (size_t j = 0; j < b; ++j) {
      ss += (z[j] - mean) * (z[j] - mean);
      if (j > 0) lag += (z[j] - mean) * (z[j - 1] - mean);
    }
    if (ss > 0 && lag / ss >= 2 / std::sqrt(static_cast<double>(b))) continue;
    return (b == 20 ? 2.093 : 2.262) * std::sqrt(ss / static_cast<double>(b - 1)) / std::sqrt(static_cast<double>(b));
  }
  return std::numeric_limits<double>::quiet_NaN();
}

void ExpectHalfWidth(double got, double want, const std::string& what) {
  if (std::isnan(want)) {
    EXPECT_TRUE(std::isnan(got)) << what << ": " << got << " where none is trusted";
  } else {
    EXPECT_NEAR(got, want, 1e-10 * want + 1e-14) << what;
  }
}

TEST(Averaging, HalfWidthOfBlockMeansAgainstClosedForms) {
  // 40 blocks: batches of two whose means alternate +1, −1 (independent:
  // lag-1 = −1): s = √(20/19), half-width t(19)·s/√20 = 2,093/√19.
  std::vector<double> alternate;
  for (int j = 0; j < 20; ++j) {
    const double z = j % 2 == 0 ? 1 : -1;
    alternate.insert(alternate.end(), {z + 0.25, z - 0.25});
  }
  EXPECT_NEAR(BlockHalfWidth95(alternate), 2.093 / std::sqrt(19.0), 1e-12);
  // A ramp: correlated at 20 and at 10 batches, so not known.
  std::vector<double> ramp(40);
  for (size_t k = 0; k < ramp.size(); ++k) ramp[k] = static_cast<double>(k);
  EXPECT_TRUE(std::isnan(BlockHalfWidth95(ramp)));
  // 19 blocks: too few for 10 batches of two.
  EXPECT_TRUE(std::isnan(BlockHalfWidth95(std::span<const double>(alternate).first(19))));
  // A constant: known exactly.
  EXPECT_EQ(BlockHalfWidth95(std::vector<double>(24, 0.3)), 0.0);
}

TEST(Averaging, HalfWidthsOfEachPointFromItsOwnWholeBlocksAfterTheStart) {
  // Grid cell 0, then the flux section. Blocks 0 and 1 start before the
  // averaged stretch, block 42 is partial: their wild values must be left out.
  // Blocks 2..41 hold the alternating series above, so the closed form holds.
  const Model m = test::DefaultModel();
  AveragingState s;
  s.SampleCell.push_back(0);
  for (int32_t j = 0; j < FluxSectionPoints; ++j) s.SampleCell.push_back(AveragingState::FluxCell0 - j);
  s.SamplePoints.resize(s.SampleCell.size());
  const size_t points = s.SampleCell.size(), blocks = 43;
  s.BlockLength = 3;
  s.BlockCount = static_cast<int32_t>(blocks);
  s.Moments.assign(blocks * points * AveragingState::MomentsPerPoint, 0.0);
  for (size_t k = 0; k < blocks; ++k) {
    s.BlockStart.push_back(static_cast<Real>(k));
    s.BlockSamples.push_back(k + 1 == blocks ? 1 : 3);
    const size_t j = k - 2;
    const double z = k < 2 || k + 1 == blocks ? 1e3 : (j / 2 % 2 == 0 ? 1 : -1) + (j % 2 == 0 ? 0.25 : -0.25);
    double* at = &s.Moments[k * points * AveragingState::MomentsPerPoint];
    at[0] = 2 * z;                        // vx at cell 0
    at[2] = 0.3;                          // vy: constant
    at[4] = static_cast<double>(k * k);  // |V|: a trend, correlated
    for (size_t p = 1; p < points; ++p) at[p * AveragingState::MomentsPerPoint] = z;  // vx across the section
  }
  AveragingResults r;
  r.Field.Grid.Inside.assign(4, 1);
  const double b = static_cast<double>(m.ChannelRadius), v0 = 2.0;
  r.Flux.Valid = true;
  r.Flux.Reference = std::acos(-1.0) * b * b * v0;
  SummariseHalfWidths(s, m, 2.0L, r);
  const double h = 2.093 / std::sqrt(19.0);
  EXPECT_NEAR(r.Field.VxHalfWidth95[0], 2 * h, 1e-12);
  EXPECT_EQ(r.Field.VyHalfWidth95[0], 0.0);
  EXPECT_TRUE(std::isnan(r.Field.SpeedHalfWidth95[0]));
  for (size_t c = 1; c < 4; ++c) EXPECT_TRUE(std::isnan(r.Field.VxHalfWidth95[c])) << "cell " << c << " not sampled";
  // A uniform vx = z over the section carries z·πB² (midpoint rule, exact for 2πy):
  // the ratio to πB²·v0 is z/v0.
  EXPECT_NEAR(r.Flux.RatioHalfWidth95, h / v0, 1e-9);
}

// C_c's half-width of each channel section from the C_c of each whole
// block's mean profile: section 0 a uniform jet over J of the 30 strips
// (C_c = (J/30)² exactly), J alternating so that the batch means are
// independent; section 1 fills the channel (C_c = 1 in every block: 0).
// Blocks before the start and the partial last one hold a wild jet.
TEST(Averaging, ContractionHalfWidthsFromEachWholeBlocksCc) {
  const Model m = test::DefaultModel();
  AveragingState s;
  constexpr size_t across = ContractionSectionPoints;
  for (size_t q = 0; q < 2 * (across + 1); ++q)
    s.SampleCell.push_back(AveragingState::ContractionCell0 - static_cast<int32_t>(q));
  s.SamplePoints.resize(s.SampleCell.size());
  const size_t points = s.SampleCell.size(), blocks = 43;
  s.BlockLength = 3;
  s.BlockCount = static_cast<int32_t>(blocks);
  s.Moments.assign(blocks * points * AveragingState::MomentsPerPoint, 0.0);
  for (size_t k = 0; k < blocks; ++k) {
    s.BlockStart.push_back(static_cast<Real>(k));
    s.BlockSamples.push_back(k + 1 == blocks ? 1 : 3);
    const bool wild = k < 2 || k + 1 == blocks;
    const size_t j = k - 2;
    const size_t jet = wild ? 3 : 22 + (j / 2 % 2 == 0 ? 2 : -2) + (j % 2 == 0 ? 1 : -1);
    double* at = &s.Moments[k * points * AveragingState::MomentsPerPoint];
    for (size_t i = 0; i < across; ++i) {
      at[i * AveragingState::MomentsPerPoint] = i < jet ? 1.7 : 0.0;
      at[(across + 1 + i) * AveragingState::MomentsPerPoint] = 0.9;
    }
    at[across * AveragingState::MomentsPerPoint] = -5;  // the wall point: no strip of the section
  }
  ContractionSummary c;
  c.Sections.resize(2);
  c.Sections[0].X = 0.0375;
  c.Sections[1].X = 0.075;
  c.Sections[0].Cc = c.VenaCc = 0.5;
  c.VenaX = 0.0375;
  c.HasVenaContracta = true;
  c.Sections[1].Cc = 1;
  SummariseContractionHalfWidths(s, m, 2.0L, c);
  ASSERT_TRUE(std::isfinite(c.Sections[0].CcHalfWidth95));
  // Batch means of two blocks: ((J+1)² + (J−1)²)/2/900 for J = 24 and 20, alternating.
  const double hi = (25.0 * 25 + 23 * 23) / 2 / 900, lo = (21.0 * 21 + 19 * 19) / 2 / 900;
  const double sd = (hi - lo) / 2 * std::sqrt(20.0 / 19);
  EXPECT_NEAR(c.Sections[0].CcHalfWidth95, 2.093 * sd / std::sqrt(20.0), 1e-12);
  EXPECT_EQ(c.Sections[1].CcHalfWidth95, 0.0);
  EXPECT_TRUE(c.VenaStandsOut) << "0,5 and its interval below the full channel's 1";
}

TEST(Averaging, MergedBlocksGiveTheDirectMeansFromABlockBoundary) {
  Model m = test::CoarseModel(0.05L);
  AveragingSettings a;
  a.AverageFrom = 0;
  a.SampleEverySteps = 1;
  a.GridSpacing = 0.3;
  a.ZoneEverySamples = 0;
  AveragingState s;
  StartAveraging(s, m, a);
  DirectSamples direct(s);
  RunAveraged(m, s, 30, 0, 0, 1.5L, Dt, direct);
  ASSERT_EQ(direct.times.size(), 301u);
  EXPECT_EQ(s.BlockLength, 4) << "301 samples in at most 128 blocks";

  // From t = 0, from inside a block, and from the start of block 35, which
  // leaves 40 whole blocks (one fewer would give 10 batches, not 20).
  for (const Real from : {Real{0}, direct.times[137], direct.times[140]}) {
    SCOPED_TRACE(test::Show(from));
    s.Settings.AverageFrom = from;
    const AveragingResults r = SummariseAveraging(s, m);
    // Averages start at the first block that begins at or after `from`.
    size_t first = 0;
    while (static_cast<double>(direct.times[first]) < r.StartTime) ++first;
    EXPECT_GE(r.StartTime, static_cast<double>(from));
    EXPECT_LT(first, 137u + static_cast<size_t>(s.BlockLength) + 1);
    EXPECT_EQ(r.Samples, static_cast<int64_t>(direct.times.size() - first));
    const size_t n = direct.times.size() - first;
    double flux = 0;
    std::vector<double> contraction, contractionVar, contractionVy;
    for (size_t p = 0; p < s.SamplePoints.size(); ++p) {
      double mean[3], rms[3];
      for (int k = 0; k < 3; ++k) {
        double sum = 0;
        for (size_t t = first; t < direct.times.size(); ++t) sum += direct.samples[k][t][p];
        mean[k] = sum / static_cast<double>(n);
        double ss = 0;
        for (size_t t = first; t < direct.times.size(); ++t)
          ss += (direct.samples[k][t][p] - mean[k]) * (direct.samples[k][t][p] - mean[k]);
        rms[k] = std::sqrt(ss / static_cast<double>(n));
      }
      const int32_t cell = s.SampleCell[p];
      if (cell <= AveragingState::ContractionCell0) {
        contraction.push_back(mean[0]);  // in order: each section's strips, then its wall point
        contractionVar.push_back(rms[0] * rms[0]);
        contractionVy.push_back(mean[1]);
        continue;
      }
      if (cell <= AveragingState::FluxCell0) {
        // Midpoint rule over the section's rings: 2π y vx dy.
        flux += 2 * std::acos(-1.0) * static_cast<double>(s.SamplePoints[p].Y) * mean[0] *
                static_cast<double>(m.ChannelRadius) / FluxSectionPoints;
        continue;
      }
      if (cell < 0) {
        EXPECT_NEAR(r.Centreline[static_cast<size_t>(-1 - cell)].Model * static_cast<double>(m.SuctionSpeed), mean[0],
                    1e-12 * (1 + std::fabs(mean[0])))
            << "station " << -1 - cell;
        continue;
      }
      const size_t c = static_cast<size_t>(cell);
      const double got[6] = {r.Field.VxMean[c], r.Field.VyMean[c], r.Field.SpeedMean[c],
                             r.Field.VxRms[c],  r.Field.VyRms[c],  r.Field.SpeedRms[c]};
      for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(got[k], mean[k], 1e-12 * (1 + std::fabs(mean[k]))) << "point " << p << ", quantity " << k;
        EXPECT_NEAR(got[3 + k], rms[k], 1e-10) << "point " << p << ", quantity " << k;
      }
    }
    ASSERT_TRUE(r.Flux.Valid);
    EXPECT_NEAR(r.Flux.Flux, flux, 1e-12 * std::fabs(flux));

    // Half-widths: each whole block of BlockLength samples from the first
    // averaged one is one observation of the batch means.
    const size_t length = static_cast<size_t>(s.BlockLength);
    const size_t blocks = n / length;
    ASSERT_GE(blocks, 20u) << "enough blocks for 10 batches";
    const auto blockMeans = [&](int k, size_t p) {
      std::vector<double> out(blocks, 0.0);
      for (size_t b = 0; b < blocks; ++b) {
        for (size_t t = 0; t < length; ++t) out[b] += direct.samples[k][first + b * length + t][p];
        out[b] /= static_cast<double>(length);
      }
      return out;
    };
    const double v0 = static_cast<double>(m.SuctionSpeed);
    std::vector<double> blockFlux(blocks, 0.0);
    int known = 0;
    for (size_t p = 0; p < s.SamplePoints.size(); ++p) {
      const int32_t cell = s.SampleCell[p];
      if (cell <= AveragingState::ContractionCell0) continue;
      if (cell <= AveragingState::FluxCell0) {
        const std::vector<double> vx = blockMeans(0, p);
        for (size_t b = 0; b < blocks; ++b)
          blockFlux[b] += 2 * std::acos(-1.0) * static_cast<double>(s.SamplePoints[p].Y) * vx[b] *
                          static_cast<double>(m.ChannelRadius) / FluxSectionPoints / r.Flux.Reference;
        continue;
      }
      if (cell < 0) {
        std::vector<double> ratio = blockMeans(0, p);
        for (double& v : ratio) v /= v0;
        ExpectHalfWidth(r.CentrelineHalfWidth95[static_cast<size_t>(-1 - cell)], HandHalfWidth(ratio),
                        "station " + std::to_string(-1 - cell));
        continue;
      }
      const size_t c = static_cast<size_t>(cell);
      const double* got[3] = {&r.Field.VxHalfWidth95[c], &r.Field.VyHalfWidth95[c], &r.Field.SpeedHalfWidth95[c]};
      for (int k = 0; k < 3; ++k) {
        const double want = HandHalfWidth(blockMeans(k, p));
        known += std::isfinite(want) ? 1 : 0;
        ExpectHalfWidth(*got[k], want, "point " + std::to_string(p) + ", quantity " + std::to_string(k));
      }
    }
    EXPECT_GT(known, 0) << "some half-widths are trusted";
    ExpectHalfWidth(r.Flux.RatioHalfWidth95, HandHalfWidth(blockFlux), "flux ratio");
    for (size_t c = 0; c < r.Field.Grid.Inside.size(); ++c)
      if (!r.Field.Grid.Inside[c]) {
        EXPECT_TRUE(std::isnan(r.Field.SpeedHalfWidth95[c])) << "cell " << c << " in a solid";
      }
    const double b = static_cast<double>(m.ChannelRadius);
    EXPECT_NEAR(r.Flux.Reference, std::acos(-1.0) * b * b * static_cast<double>(m.SuctionSpeed), 1e-15);
    EXPECT_DOUBLE_EQ(r.Flux.Ratio, r.Flux.Flux / r.Flux.Reference);
    EXPECT_DOUBLE_EQ(r.Flux.X, static_cast<double>(m.SuctionX / 2));
    // Each contraction section from its own strips' means.
    const size_t per = ContractionSectionPoints + 1;
    ASSERT_EQ(contraction.size(), r.Contraction.Sections.size() * per);
    ASSERT_FALSE(r.Contraction.Sections.empty());
    for (size_t k = 0; k < r.Contraction.Sections.size(); ++k) {
      const std::span<const double> strips(contraction.data() + k * per, ContractionSectionPoints);
      EXPECT_NEAR(r.Contraction.Sections[k].Cc, SectionCc(strips, b), 1e-12) << "section " << k;
      EXPECT_NEAR(r.Contraction.Sections[k].VxWall, contraction[k * per + per - 1], 1e-12) << "section " << k;
      // The momentum balance's sums from the same strips' means and variances.
      double momentum = 0, energy = 0, vmax = -1e300;
      for (size_t j = 0; j < ContractionSectionPoints; ++j) {
        const double vx = contraction[k * per + j], vy = contractionVy[k * per + j];
        const double area = 2 * std::acos(-1.0) * (j + 0.5) * (b / ContractionSectionPoints) * (b / ContractionSectionPoints);
        momentum += (vx * vx + contractionVar[k * per + j]) * area;
        energy += vx * (vx * vx + vy * vy) * area;
        vmax = std::max(vmax, vx);
      }
      EXPECT_NEAR(r.Contraction.Sections[k].MomentumFlux, momentum, 1e-12) << "section " << k;
      EXPECT_NEAR(r.Contraction.Sections[k].EnergyFlux, energy, 1e-12) << "section " << k;
      EXPECT_NEAR(r.Contraction.Sections[k].VxMax, vmax, 1e-12) << "section " << k;
    }
    const MomentumBalance balance = BalanceMomentum(r.Contraction, b);
    ASSERT_TRUE(balance.Known);
    EXPECT_EQ(r.Contraction.ZetaM, balance.Zeta);
    EXPECT_GT(balance.FluctuationShareVena, 0) << "the coarse model's flow fluctuates";
    // Cells in the solids stay zero.
    for (size_t c = 0; c < r.Field.Grid.Inside.size(); ++c)
      if (!r.Field.Grid.Inside[c]) {
        EXPECT_EQ(r.Field.SpeedMean[c] + r.Field.VxRms[c], 0.0) << "cell " << c;
      }
    // The monitor two radii in front is taken at every step; its mean from
    // the first sample at or after the averages' start.
    ASSERT_EQ(s.Monitors[1], direct.monitor);
    size_t fromStep = 0;
    while (direct.times[fromStep] < from) ++fromStep;
    double sum = 0;
    for (size_t t = fromStep; t < direct.monitor.size(); ++t) sum += direct.monitor[t];
    EXPECT_EQ(r.Monitors[1].Samples, static_cast<int64_t>(direct.monitor.size() - fromStep));
    EXPECT_NEAR(r.Monitors[1].Mean, sum / static_cast<double>(direct.monitor.size() - fromStep), 1e-14);
    EXPECT_STREQ(r.Monitors[1].Name.c_str(), MonitorNames[1]);
  }
}

TEST(Averaging, FailedZoneMeasurementsAreCountedAndLeftOut) {
  AveragingState s;
  Model m = test::CoarseModel(0.05L);
  StartAveraging(s, m, SmallSettings());
  // Nothing sampled yet: no averages, no flux, no zone figures.
  const AveragingResults empty = SummariseAveraging(s, m);
  EXPECT_FALSE(empty.HasAverages);
  EXPECT_FALSE(empty.Flux.Valid);
  EXPECT_EQ(empty.Samples, 0);
  EXPECT_EQ(empty.Field.VxMean.size(), empty.Field.Grid.Inside.size());
  const double nan = std::numeric_limits<double>::quiet_NaN();
  s.Zone = {ZoneMeasurement{0.1L, false, {1, 2, 3, 4, 5, 6, 7}}, ZoneMeasurement{0.2L, true, {nan, 0, 0, 0, 0, 0, 0}},
            ZoneMeasurement{0.3L, false, {3, 2, 3, 4, 5, 6, 9}}};
  s.Times = {0.1L, 0.2L, 0.3L};
  for (auto& series : s.Monitors) series = {1, 1, 1};
  for (const auto& [from, measured, failed, meanBeff, sdBeff] :
       {std::tuple{Real{0}, 2, 1, 2.0, std::sqrt(2.0)}, std::tuple{Real{0.15L}, 1, 1, 3.0, 0.0}}) {
    s.Settings.AverageFrom = from;
    const VortexZoneSummary z = SummariseAveraging(s, m).VortexZone;
    EXPECT_EQ(z.Measured, measured);
    EXPECT_EQ(z.Failed, failed);
    EXPECT_DOUBLE_EQ(z.Dimensions[0].Mean, meanBeff);
    EXPECT_DOUBLE_EQ(z.Dimensions[0].Sd, sdBeff);
    EXPECT_DOUBLE_EQ(z.Dimensions[1].Sd, 0.0);
    EXPECT_DOUBLE_EQ(z.Dimensions[6].Mean, measured == 2 ? 8.0 : 9.0);
    EXPECT_DOUBLE_EQ(z.Dimensions[6].Sd, measured == 2 ? std::sqrt(2.0) : 0.0);
  }
}

TEST(Averaging, MonitorsAreMeasuredFromTheMouth) {
  AveragingState s;
  const Model inclined = test::DefaultModel();
  StartAveraging(s, inclined, AveragingSettings{});
  const Real b = inclined.ChannelRadius;
  const TRealPoint before[3] = {{-b, 0}, {-2 * b, 0}, {0, 0}};  // the points measured before the mouth was found
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(test::SameBits(s.MonitorPoints[i].X, before[i].X) && test::SameBits(s.MonitorPoints[i].Y, 0))
        << MonitorNames[i] << " moved at the default hood";
  }
  Model tube;
  tube.FlangeAngle = 0;
  tube.PlaneX = -2;
  BuildArea(tube);
  StartAveraging(s, tube, AveragingSettings{});
  const Real expected[3] = {-0.65L, -0.8L, -0.5L};  // the flange's end at −0,5 m
  for (size_t i = 0; i < 3; ++i) EXPECT_TRUE(test::RealNear(s.MonitorPoints[i].X, expected[i], 1e-15L)) << i;
}

// "Циркуляция свободных вихрей" of the control values: the free rings'
// circulations summed, the attached ones and nothing past the last free ring
// left out, on either model (the refined one keeps its rings in the same array).
TEST(Averaging, TheFreeCirculationMonitorSumsTheFreeRingsOnly) {
  for (const FlowModel flow : {FlowModel::Program, FlowModel::Refined}) {
    Model m = test::DefaultModel();
    m.Flow = flow;
    const Real gammas[] = {0.1L, 0.2L, -0.05L, 0.125L};  // m²/s
    const size_t first = static_cast<size_t>(m.AttachedCount);
    m.Vortices.resize(first + 5);
    for (size_t k = 0; k < 4; ++k) m.Vortices[first + k] = {{-0.1L - 0.01L * k, 0.2L}, gammas[k]};
    m.Vortices[first + 4] = {{-0.2L, 0.3L}, 7};  // beyond the free count: not a ring of the flow
    m.FreeVortexCount = 4;
    for (size_t k = 0; k < first; ++k) m.Vortices[k].Gamma = 1;
    AveragingState s;
    StartAveraging(s, m, AveragingSettings{});
    FeedStep(s, m);
    ASSERT_EQ(s.Monitors[static_cast<size_t>(MonitorId::GammaFree)].size(), 1u);
    EXPECT_NEAR(s.Monitors[static_cast<size_t>(MonitorId::GammaFree)][0], 0.375, 1e-15)
        << (flow == FlowModel::Refined ? "refined" : "program");
  }
}

// The channel's flux by the strips' midpoints against 2π∫vx·y dy in closed
// form: πB²·v for a uniform speed (the rule is exact for it), 2πB²/3 for
// vx = y/B m/s (off by 1/(4n²) with n strips).
TEST(Averaging, SectionFluxAgainstClosedForms) {
  Model m;
  m.ChannelRadius = 0.15L;
  const double b = 0.15, pi = std::acos(-1.0);
  const std::vector<double> uniform(FluxSectionPoints, 2.0);
  EXPECT_NEAR(SectionFlux(m, uniform), pi * b * b * 2.0, 1e-14);
  std::vector<double> linear;
  for (int32_t j = 0; j < FluxSectionPoints; ++j) linear.push_back((j + 0.5) / FluxSectionPoints);
  EXPECT_NEAR(SectionFlux(m, linear) / (2 * pi * b * b / 3), 1.0, 1e-4);
  // Fewer speeds than strips: only those given count.
  EXPECT_NEAR(SectionFlux(m, std::span<const double>(uniform).first(1)),
              2 * pi * (b / 2 / FluxSectionPoints) * 2.0 * (b / FluxSectionPoints), 1e-16);
}

TEST(AveragingPhysics, PotentialFlowFillsTheChannel) {
  // α = 90°, no supply air, no free vortices: nothing separates, and well
  // inside the channel the profile is nearly uniform (C_c → 1).
  Model m;
  m.FlangeAngle = Pi / 2;
  m.InflowSpeed = 0;
  m.PlaneX = -4;
  m.PlaneHalfLength = 0.2L;
  BuildArea(m);
  test::SolveAttached(m);
  AveragingSettings a;
  a.AverageFrom = 0;
  a.SampleEverySteps = 1;
  a.ZoneEverySamples = 0;
  AveragingState s;
  StartAveraging(s, m, a);
  FeedStep(s, m);
  const ContractionSummary c = SummariseAveraging(s, m).Contraction;
  ASSERT_TRUE(c.Present);
  ASSERT_EQ(c.Sections.size(), 24u);
  EXPECT_FALSE(c.Separated) << "a potential flow has no reverse flow by the wall";
  const double reference = std::acos(-1.0) * 0.15 * 0.15;
  for (const ContractionSection& sec : c.Sections) {
    EXPECT_NEAR(sec.Flux / reference, 1.0, 0.03) << "x = " << sec.X;
    if (sec.XOverD >= 1.5) {
      EXPECT_GT(sec.Cc, 0.98) << "x = " << sec.X;
    }
  }
  ASSERT_TRUE(c.HasVenaContracta);
  EXPECT_LT(c.VenaXOverD, 1.0) << "the least uniform section is by the mouth";
}

TEST(AveragingPhysics, BareUprightHoodFollowsTheDiscSink) {
  // α = 90°, no supply air, the plane far away, no free vortices.
  Model m;
  m.FlangeAngle = Pi / 2;
  m.InflowSpeed = 0;
  m.PlaneX = -4;
  m.PlaneHalfLength = 0.2L;
  BuildArea(m);
  test::SolveAttached(m);
  for (const CentrelineRow& r : CentrelineOfState(m)) {
    if (r.XOverD < 0.5 || r.XOverD > 1.5) continue;
    ASSERT_TRUE(r.HasModel) << r.XOverD;
    EXPECT_NEAR(r.Model / r.DiscSink, 1.0, 0.10) << "x/D = " << r.XOverD << ": " << r.Model << " against "
                                                  << r.DiscSink;
  }
}

TEST(AveragingPhysics, MeanFluxThroughTheChannelAtTheDefaults) {
  Model m = test::DefaultModel();
  AveragingSettings a;
  a.AverageFrom = 0.5L;
  a.ZoneEverySamples = 0;
  AveragingState s;
  StartAveraging(s, m, a);
  RunAveraged(m, s, 400, 0, 0, 1, Dt);
  const AveragingResults r = SummariseAveraging(s, m);
  ASSERT_TRUE(r.Flux.Valid);
  EXPECT_GT(r.Samples, 0);
  EXPECT_GT(r.Flux.X, 0.0);
  EXPECT_LT(r.Flux.X, 1.0);
  EXPECT_GE(r.Flux.Ratio, 0.85) << "flux " << r.Flux.Flux << " against " << r.Flux.Reference;
  EXPECT_LE(r.Flux.Ratio, 1.0) << "flux " << r.Flux.Flux << " against " << r.Flux.Reference;
}

}  // namespace
}  // namespace mdv
