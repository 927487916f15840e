// The double arithmetic path against the extended one, and its own
// reproducibility: instruction sets, thread counts, files, refreshed copies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/flow/circulation.h"
#include "core/flow/kernel.h"
#include "core/flow/run.h"
#include "core/flow/smoothed_kernel.h"
#include "core/flow/vector_kernel.h"
#include "core/model/vortex_file.h"
#include "core/model_fixtures.h"

namespace mdv {
namespace {

constexpr Real Dt = 0.005L;
constexpr vk::Isa AllIsas[] = {vk::Isa::Sse2, vk::Isa::Avx2, vk::Isa::Avx512};

Execution DoubleExec(int threads = 0) { return Execution{false, threads, Precision::Double}; }

// Makes another instruction set active for the life of the object.
class IsaScope {
 public:
  explicit IsaScope(vk::Isa isa) : before_(vk::ActiveIsa()) { ok_ = vk::UseIsa(isa); }
  ~IsaScope() { vk::UseIsa(before_); }
  bool Ok() const { return ok_; }

 private:
  vk::Isa before_;
  bool ok_ = false;
};

// Both components of one unit ring at p on one instruction set.
void DoublePair(vk::Isa isa, const TRealPoint& p, const TRealPoint& ring, double& u, double& v) {
  // The kernel reads whole blocks: room for the padding.
  std::vector<double> x(1 + RingPadding, 0), y(1 + RingPadding, 0), g(1 + RingPadding, 0);
  x[0] = static_cast<double>(ring.X);
  y[0] = static_cast<double>(ring.Y);
  g[0] = 1;
  vk::KernelsOf(isa).SumPair(RingArrays{x.data(), y.data(), g.data()}, 0, 1, -1,
                             static_cast<double>(p.X), static_cast<double>(p.Y), -1, u, v);
}

struct KernelRow {
  int set;  // rows of one set share the tolerance
  const char* name;
  TRealPoint ring, point;
};

// Near the contour and at the cut-off (set 0), on and next to the axis and far
// off (set 1), below the axis, where the elliptic approximations are taken
// outside their range as the extended kernel takes them (set 2): the double
// kernel within 1e-12 of the largest magnitude of the set from the extended
// one, with the same bits on every instruction set.
TEST(DoublePath, KernelAgreesWithExtendedOnEveryInstructionSet) {
  const Real h = 0.01L, cut = h / 2 - 1e-5L;
  const TRealPoint edge{0, 0.15L};  // a ring at the channel's mouth, m
  const KernelRow rows[] = {
      {0, "near the contour, beside", edge, {0.005L, 0.15L}},
      {0, "near the contour, outside", edge, {0.0035L, 0.1535L}},
      {0, "near the contour, inside", edge, {-0.001L, 0.1451L}},
      {0, "at the cut-off", edge, {cut * 0.6L, 0.15L + cut * 0.8L}},
      {1, "on the axis", edge, {-0.1L, 0}},
      {1, "at the ring's centre", edge, {0, 0}},
      {1, "1e-12 off the axis", edge, {0.05L, 1e-12L}},
      {1, "a millimetre off the axis", {0, 1}, {0.5L, 1e-3L}},
      {1, "unit ring, (0.5, 0.5)", {0, 1}, {0.5L, 0.5L}},
      {1, "unit ring, (1, 2)", {0, 1}, {1, 2}},
      {1, "far off", edge, {-3, 2.5L}},
      {2, "below the axis", edge, {0.02L, -0.1L}},
      {2, "below the axis, far", edge, {-0.5L, -0.4L}},
      {2, "below the axis, near the mirror ring", edge, {0.004L, -0.148L}},
      {2, "at the mirror ring", edge, {0, -0.15L}},
  };
  Real largest[3] = {0, 0, 0};
  std::vector<Real> au, av;
  for (const KernelRow& row : rows) {
    Real u, v;
    RingVelocityPair(row.point, TVortex{row.ring, 1}, u, v);
    au.push_back(u);
    av.push_back(v);
    largest[row.set] = std::max({largest[row.set], std::fabs(u), std::fabs(v)});
  }
  ASSERT_GT(largest[0], 10) << "the set reaches close to a ring";
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].name);
    const Real tol = 1e-12L * largest[rows[i].set];
    double bu = 0, bv = 0;
    for (vk::Isa isa : AllIsas) {
      if (!vk::IsaSupported(isa)) continue;
      SCOPED_TRACE(vk::IsaName(isa));
      double u, v;
      DoublePair(isa, rows[i].point, rows[i].ring, u, v);
      EXPECT_TRUE(test::RealNear(u, au[i], tol));
      EXPECT_TRUE(test::RealNear(v, av[i], tol));
      if (isa == vk::Isa::Sse2) {
        bu = u;
        bv = v;
      } else {
        EXPECT_EQ(std::memcmp(&u, &bu, sizeof u), 0) << "axial differs from sse2";
        EXPECT_EQ(std::memcmp(&v, &bv, sizeof v), 0) << "radial differs from sse2";
      }
    }
  }
}

// Point by point over a plane around a unit ring (every ratio Q/P the
// logarithm's reduction meets), each component within 1e-12 of the point's
// own speed from the extended kernel; at the edge of the axis band the
// general form still holds, inside it the closed form R²/(2S√S) on the axis.
TEST(DoublePath, KernelPointByPointAndAtTheAxisBand) {
  const TRealPoint ring{0.3L, 1};
  for (vk::Isa isa : AllIsas) {
    if (!vk::IsaSupported(isa)) continue;
    SCOPED_TRACE(vk::IsaName(isa));
    int compared = 0;
    for (int i = -20; i <= 20; ++i) {
      for (int j = 1; j <= 30; ++j) {
        const TRealPoint p{0.3L + 0.0937L * i, 0.0713L * j};
        Real au, av;
        RingVelocityPair(p, TVortex{ring, 1}, au, av);
        double u, v;
        DoublePair(isa, p, ring, u, v);
        const Real tol = 1e-12L * std::max(std::fabs(au), std::fabs(av));
        EXPECT_TRUE(test::RealNear(u, au, tol)) << test::Show(p.X) << " " << test::Show(p.Y);
        EXPECT_TRUE(test::RealNear(v, av, tol)) << test::Show(p.X) << " " << test::Show(p.Y);
        ++compared;
      }
    }
    EXPECT_EQ(compared, 41 * 30);
    // 2rR = 5e-10 and 1,2e-10, outside the band of 1e-10: the radial
    // component is the general form's, not zero (there it is the elliptic
    // approximations' error over r, which the two precisions round apart).
    for (const Real r : {2.5e-10L, 6e-11L}) {
      SCOPED_TRACE(test::Show(r));
      const TRealPoint p{0.8L, r};
      Real au, av;
      RingVelocityPair(p, TVortex{ring, 1}, au, av);
      double u, v;
      DoublePair(isa, p, ring, u, v);
      EXPECT_NE(v, 0);
      EXPECT_TRUE(test::RealNear(v, av, 1e-4L * std::fabs(av)));
      EXPECT_TRUE(test::RealNear(u, au, 1e-12L * std::fabs(au)));
    }
    // 2rR = 8e-11 and 0: on the axis.
    for (const Real r : {4e-11L, 0.0L}) {
      const TRealPoint p{0.8L, r};
      double u, v;
      DoublePair(isa, p, ring, u, v);
      const double S = 0.25 + 1 + static_cast<double>(r * r);
      EXPECT_EQ(v, 0);
      EXPECT_NEAR(u, 1 / (2 * S * std::sqrt(S)), 1e-16);
    }
  }
}

// The sum over a range of rings leaves out the skipped ring and those
// within the cut-off, whatever the range's place in a block of 8; the
// normal row gives every element, the tail of a short block too.
TEST(DoublePath, KernelSumsAndRowsOverRangesOfRings) {
  const int32_t count = 21;
  std::vector<double> x(count + RingPadding, 0), y(count + RingPadding, 0), g(count + RingPadding, 0);
  for (int32_t i = 0; i < count; ++i) {
    x[i] = 0.05 * i - 0.4;
    y[i] = 0.1 + 0.03 * i;
    g[i] = 0.01 * (i % 5) - 0.017;
  }
  const RingArrays rings{x.data(), y.data(), g.data()};
  const double px = x[6] + 0.002, py = y[6];  // ring 6 lies within the cut-off 1e-5 m²
  // delta2 < 0: the exact kernel; else the smoothed one (no cut-off).
  auto expected = [&](int32_t begin, int32_t end, int32_t skip, double cut, Real& su, Real& sv,
                      double delta2 = -1) {
    su = sv = 0;
    for (int32_t i = begin; i < end; ++i) {
      const double d2 = (px - x[i]) * (px - x[i]) + (py - y[i]) * (py - y[i]);
      if (i == skip || (delta2 < 0 && d2 < cut)) continue;
      Real u, v;
      if (delta2 < 0) {
        RingVelocityPair({px, py}, TVortex{{x[i], y[i]}, 1}, u, v);
      } else {
        ring::SmoothedPair({px, py}, TVortex{{x[i], y[i]}, 1}, delta2, u, v);
      }
      su += g[i] * u;
      sv += g[i] * v;
    }
  };
  struct Row {
    const char* name;
    int32_t begin, end, skip;
    double cut;
  };
  const Row rows[] = {{"all", 0, count, -1, -1},        {"skip in a whole block", 0, count, 3, -1},
                      {"skip in the tail", 0, count, 17, -1}, {"skip at a block's start", 0, count, 8, -1},
                      {"skip at a block's end", 0, count, 15, -1}, {"cut-off", 0, count, -1, 1e-5},
                      {"cut-off and skip", 2, 19, 11, 1e-5},  {"one ring", 20, 21, -1, -1},
                      {"empty", 5, 5, -1, -1}};
  for (vk::Isa isa : AllIsas) {
    if (!vk::IsaSupported(isa)) continue;
    SCOPED_TRACE(vk::IsaName(isa));
    for (const Row& row : rows) {
      SCOPED_TRACE(row.name);
      Real eu, ev;
      expected(row.begin, row.end, row.skip, row.cut, eu, ev);
      double su = 7, sv = 7;
      vk::KernelsOf(isa).SumPair(rings, row.begin, row.end, row.skip, px, py, row.cut, su, sv);
      EXPECT_TRUE(test::RealNear(su, eu, 1e-12L * (1 + std::fabs(eu))));
      EXPECT_TRUE(test::RealNear(sv, ev, 1e-12L * (1 + std::fabs(ev))));
      // The smoothed sums (δ = 0,01 m): no cut-off, every ring but the skipped one.
      const double d2 = 1e-4;
      expected(row.begin, row.end, row.skip, row.cut, eu, ev, d2);
      vk::KernelsOf(isa).SumPairSmoothed(rings, row.begin, row.end, row.skip, px, py, d2, su, sv);
      EXPECT_TRUE(test::RealNear(su, eu, 1e-12L * (1 + std::fabs(eu)))) << "smoothed";
      EXPECT_TRUE(test::RealNear(sv, ev, 1e-12L * (1 + std::fabs(ev)))) << "smoothed";
    }
    for (const int32_t begin : {0, 3}) {
      std::vector<double> out(count + 2, 99);
      const double nx = 0.6, ny = -0.8;
      vk::KernelsOf(isa).NormalRow(rings, begin, count, -0.1, 0.35, nx, ny, out.data());
      for (int32_t j = begin; j < count; ++j) {
        Real u, v;
        RingVelocityPair({-0.1L, 0.35L}, TVortex{{x[j], y[j]}, 1}, u, v);
        const Real e = nx * u + ny * v;
        EXPECT_TRUE(test::RealNear(out[j - begin], e, 1e-12L * (1 + std::fabs(e)))) << "ring " << j;
      }
      EXPECT_EQ(out[count - begin], 99) << "nothing written past the row";
    }
  }
}

// The double copy is a cache asked for at every velocity: each vortex
// rounded to the nearest double and zeros past the count, converted again
// when the revision moves or more vortices are wanted, and not otherwise (a
// vortex written by hand without a new revision is not seen).
TEST(DoublePath, MirrorConvertsOnANewRevisionOrMoreVorticesOnly) {
  Model m = test::DefaultModel();
  const int32_t n = m.AttachedCount;
  ASSERT_GT(m.Vortices.size(), static_cast<size_t>(n));
  const auto same = [&](const RingArrays& a, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
      const TVortex& v = m.Vortices[i];
      if (a.X[i] != static_cast<double>(v.Pos.X) || a.Y[i] != static_cast<double>(v.Pos.Y) ||
          a.G[i] != static_cast<double>(v.Gamma))
        return false;
    }
    for (int32_t i = count; i < count + RingPadding; ++i)
      if (a.X[i] != 0 || a.Y[i] != 0 || a.G[i] != 0) return false;
    return true;
  };
  VortexMirror mirror;
  EXPECT_TRUE(same(mirror.Of(m), n));
  const double before = static_cast<double>(m.Vortices[1].Pos.X);
  m.Vortices[1].Pos.X += 0.25L;
  EXPECT_EQ(mirror.Of(m).X[1], before) << "same revision: the copy is kept";
  ++m.Revision;
  EXPECT_TRUE(same(mirror.Of(m), n)) << "a new revision";
  m.Vortices[n] = TVortex{{-0.3L, 0.2L}, 0.0123456789L};
  m.FreeVortexCount = 1;
  EXPECT_TRUE(same(mirror.Of(m), n + 1)) << "one vortex more, same revision";
}

// The default model after `steps` steps from the start on the given path.
Model AfterSteps(const Execution& exec, int steps) {
  Model m = test::DefaultModel();
  m.Exec = exec;
  test::RecordingObserver obs;
  obs.stopAfter = steps;
  const RunSummary r = RunSimulation(m, 400, 0, 0, 1, Dt, obs);
  EXPECT_EQ(r.Steps, steps) << r.Message;
  return m;
}

bool SameState(const Model& a, const Model& b) {
  if (a.FreeVortexCount != b.FreeVortexCount || a.AttachedCount != b.AttachedCount) return false;
  for (int32_t i = 0; i < a.AttachedCount + a.FreeVortexCount; ++i) {
    const TVortex &x = a.Vortices[i], &y = b.Vortices[i];
    if (!test::SameBits(x.Pos.X, y.Pos.X) || !test::SameBits(x.Pos.Y, y.Pos.Y) ||
        !test::SameBits(x.Gamma, y.Gamma)) {
      return false;
    }
  }
  return true;
}

// 40 steps give the same bytes on 1, 2 and 3 threads and on every
// instruction set of this processor.
TEST(DoublePath, SameBytesForEveryThreadCountAndInstructionSet) {
  const Model first = AfterSteps(DoubleExec(1), 40);
  ASSERT_GT(first.FreeVortexCount, 100);
  for (int threads : {2, 3}) {
    EXPECT_TRUE(SameState(AfterSteps(DoubleExec(threads), 40), first)) << threads << " threads";
  }
  for (vk::Isa isa : AllIsas) {
    IsaScope scope(isa);
    // Each supported set is taken, or the comparison below proves nothing.
    ASSERT_EQ(scope.Ok(), vk::IsaSupported(isa)) << vk::IsaName(isa);
    if (!scope.Ok()) continue;
    ASSERT_EQ(vk::ActiveIsa(), isa);
    ASSERT_EQ(&vk::Active(), &vk::KernelsOf(isa));
    EXPECT_TRUE(SameState(AfterSteps(DoubleExec(2), 40), first)) << vk::IsaName(isa);
  }
}

// Over the first 20 steps of the default run, before the wake's chaos has
// grown the rounding differences, positions and circulations agree with the
// extended path's to 1e-9 of each array's largest magnitude.
TEST(DoublePath, FirstTwentyStepsAgreeWithExtended) {
  const Model ext = AfterSteps(Execution{}, 20);
  const Model dbl = AfterSteps(DoubleExec(), 20);
  ASSERT_EQ(dbl.FreeVortexCount, ext.FreeVortexCount);
  const int32_t end = ext.AttachedCount + ext.FreeVortexCount;
  Real posScale = 0, gammaScale = 0, posDiff = 0, gammaDiff = 0;
  for (int32_t i = 0; i < end; ++i) {
    const TVortex &e = ext.Vortices[i], &d = dbl.Vortices[i];
    posScale = std::max({posScale, std::fabs(e.Pos.X), std::fabs(e.Pos.Y)});
    gammaScale = std::max(gammaScale, std::fabs(e.Gamma));
    posDiff = std::max({posDiff, std::fabs(d.Pos.X - e.Pos.X), std::fabs(d.Pos.Y - e.Pos.Y)});
    gammaDiff = std::max(gammaDiff, std::fabs(d.Gamma - e.Gamma));
  }
  EXPECT_LE(posDiff, 1e-9L * posScale) << "largest position difference " << test::Show(posDiff);
  EXPECT_LE(gammaDiff, 1e-9L * gammaScale) << "largest circulation difference " << test::Show(gammaDiff);
  EXPECT_GT(posDiff + gammaDiff, 0) << "the paths are different arithmetic";
}

// Analysis between runs sees the state as it is now: after a load over
// another state, after a run, and on a copy of the model.
TEST(DoublePath, VelocityFollowsLoadsAndRuns) {
  test::TempDir dir;
  std::string error;
  Model early = AfterSteps(Execution{}, 10);
  Model late = AfterSteps(Execution{}, 30);
  ASSERT_TRUE(SaveVortexFile(early, dir.File("early.evt"), error)) << error;
  ASSERT_TRUE(SaveVortexFile(late, dir.File("late.evt"), error)) << error;
  const TRealPoint p{0.05L, 0.2L};
  auto velocity = [&](const Model& m) {
    Real u, v;
    CalcVelocityPair(m, p, -1, u, v);
    return std::make_pair(u, v);
  };

  Model fresh;
  fresh.Exec = DoubleExec();
  ASSERT_TRUE(LoadVortexState(fresh, dir.File("late.evt"), error)) << error;
  const auto expected = velocity(fresh);

  Model reused;
  reused.Exec = DoubleExec();
  ASSERT_TRUE(LoadVortexState(reused, dir.File("early.evt"), error)) << error;
  const auto before = velocity(reused);
  ASSERT_TRUE(LoadVortexState(reused, dir.File("late.evt"), error)) << error;
  EXPECT_NE(before, expected);
  EXPECT_EQ(velocity(reused), expected) << "after a second load";
  const Model copy = reused;
  EXPECT_EQ(velocity(copy), expected) << "on a copy";
  // A component along a direction is the pair's projection on it.
  EXPECT_EQ(CalcVelocity(fresh, p, {1, 0}, -1), expected.first);
  EXPECT_EQ(CalcVelocity(fresh, p, {0, 1}, -1), expected.second);
  EXPECT_TRUE(test::RealNear(CalcVelocity(fresh, p, {0.6L, -0.8L}, -1),
                             0.6L * expected.first - 0.8L * expected.second, 1e-15L));
  // Within the double solution's rounding of the extended one.
  late.Exec = Execution{};
  const auto ext = velocity(late);
  EXPECT_TRUE(test::RealNear(expected.first, ext.first, 1e-9L));
  EXPECT_TRUE(test::RealNear(expected.second, ext.second, 1e-9L));

  // After a run on the double path, the velocity is that of the final state.
  const Model run = AfterSteps(DoubleExec(), 12);
  Model same = run;
  EXPECT_EQ(velocity(run), velocity(same));
  ASSERT_TRUE(SaveVortexFile(run, dir.File("run.evt"), error)) << error;
  Model loaded;
  loaded.Exec = DoubleExec();
  ASSERT_TRUE(LoadVortexState(loaded, dir.File("run.evt"), error)) << error;
  EXPECT_EQ(velocity(loaded), velocity(run)) << "after a run and a load";
}

// A saved double state continued on the double path is the uninterrupted
// run; a state saved by either path continues on the other.
TEST(DoublePath, SavedStatesContinueOnEitherPath) {
  test::TempDir dir;
  std::string error;
  const Model whole = AfterSteps(DoubleExec(), 30);
  struct Row {
    const char* name;
    Execution first, second;
  };
  for (const Row& row : {Row{"double, then double", DoubleExec(), DoubleExec()},
                         Row{"extended, then double", Execution{}, DoubleExec()},
                         Row{"double, then extended", DoubleExec(), Execution{}}}) {
    SCOPED_TRACE(row.name);
    Model part = AfterSteps(row.first, 15);
    ASSERT_TRUE(SaveVortexFile(part, dir.File("part.evt"), error)) << error;
    Model next;
    SetSheddingIntervals(next, 0, 0, 0);
    ASSERT_TRUE(LoadVortexState(next, dir.File("part.evt"), error)) << error;
    next.Exec = row.second;
    test::RecordingObserver obs;
    obs.stopAfter = 15;
    const RunSummary r = RunSimulation(next, 400, next.FreeVortexCount, next.Time, 1, Dt, obs);
    ASSERT_EQ(r.Steps, 15) << r.Message;
    EXPECT_TRUE(test::RealNear(next.Time, whole.Time, 1e-12L));
    if (row.first.Arithmetic == Precision::Double && row.second.Arithmetic == Precision::Double) {
      EXPECT_TRUE(SameState(next, whole)) << "the continued run is the whole run";
    } else {
      ASSERT_EQ(next.FreeVortexCount, whole.FreeVortexCount);
      const int32_t last = next.AttachedCount + next.FreeVortexCount - 1;
      EXPECT_TRUE(test::PointNear(next.Vortices[last].Pos, whole.Vortices[last].Pos, 1e-9L));
    }
  }
}


// The set-up reports its matrix rows and its factorization and gives up
// when asked to stop, leaving no system to solve with.
TEST(DoublePath, SetUpReportsProgressAndStops) {
  class Setup : public Observer {
   public:
    explicit Setup(int stopAfter) : stopAfter_(stopAfter) {}
    void SetupProgress(SetupStage stage, int32_t done, int32_t total) override {
      ++reports;
      lastStage = stage;
      lastDone = done;
      lastTotal = total;
    }
    bool StopRequested() override { return stopAfter_ > 0 && reports >= stopAfter_; }
    int reports = 0;
    SetupStage lastStage = SetupStage::Matrix;
    int32_t lastDone = 0, lastTotal = 0;

   private:
    int stopAfter_;
  };
  Model m = test::CoarseModel(0.002L);  // N over 2000: several blocks of rows
  m.Exec = DoubleExec();
  Setup whole(0);
  ASSERT_TRUE(SetUpCirculationSystem(m, whole));
  EXPECT_TRUE(whole.lastStage == Observer::SetupStage::Elimination);
  EXPECT_EQ(whole.lastDone, whole.lastTotal);
  EXPECT_GT(whole.reports, 3);
  EXPECT_TRUE(m.Double.System.Factored);

  Setup stopped(1);
  EXPECT_FALSE(SetUpCirculationSystem(m, stopped));
  EXPECT_EQ(stopped.reports, 1) << "stopped after the first block of rows";
  EXPECT_FALSE(m.Double.System.Factored);

  // The factorization is asked between its panels as well.
  struct InElimination : Setup {
    InElimination() : Setup(0) {}
    void SetupProgress(SetupStage stage, int32_t done, int32_t total) override {
      Setup::SetupProgress(stage, done, total);
      if (stage == SetupStage::Elimination) ++panels;
    }
    bool StopRequested() override { return panels >= 2; }
    int panels = 0;
  } inElimination;
  EXPECT_FALSE(SetUpCirculationSystem(m, inElimination));
  EXPECT_TRUE(inElimination.lastStage == Observer::SetupStage::Elimination);
  EXPECT_LT(inElimination.lastDone, inElimination.lastTotal) << "stopped inside the factorization";
  EXPECT_FALSE(m.Double.System.Factored);
}

}  // namespace
}  // namespace mdv
