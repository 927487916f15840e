#include "core/flow/run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/base/bytes.h"
#include "core/flow/circulation.h"
#include "core/model/vortex_file.h"
#include "core/model_fixtures.h"

namespace mdv {
namespace {

using test::RealNear;

constexpr Real Dt = 0.005L;

void ExpectRunArraysReleased(const Model& m) {
  EXPECT_TRUE(m.InfluenceMatrix.empty());
  EXPECT_TRUE(m.InfluenceMatrixCopy.empty());
  EXPECT_TRUE(m.Circulations.empty());
  EXPECT_TRUE(m.NewFreeVortices.empty());
  EXPECT_FALSE(m.Factored.Factored());
  EXPECT_TRUE(m.RightHandSide.empty());
  EXPECT_TRUE(m.ConvectedPos.empty());
  EXPECT_TRUE(m.ConvectedGone.empty());
}

bool StateFinite(const Model& m) {
  for (int32_t i = 0; i < m.AttachedCount + m.FreeVortexCount; ++i) {
    const TVortex& v = m.Vortices[i];
    if (!std::isfinite(v.Pos.X) || !std::isfinite(v.Pos.Y) || !std::isfinite(v.Gamma)) return false;
  }
  return true;
}

Real TotalCirculation(const Model& m, Real& scale) {
  Real s = 0;
  scale = 0;
  for (int32_t i = 0; i < m.AttachedCount + m.FreeVortexCount; ++i) {
    s += m.Vortices[i].Gamma;
    scale += std::fabs(m.Vortices[i].Gamma);
  }
  return s;
}

TEST(RunSimulation, StartWithDefaultsShedsThreeInTheFirstStep) {
  Model m = test::DefaultModel();
  test::RecordingObserver obs;
  obs.stopAfter = 1;
  const RunSummary r = RunSimulation(m, 400, 0, 0, 1, Dt, obs);
  EXPECT_EQ(r.HowEnded, RunSummary::End::Stopped);
  EXPECT_EQ(r.Steps, 1);
  EXPECT_TRUE(r.Message.empty());
  EXPECT_EQ(m.FreeVortexCount, 3);
  EXPECT_EQ(m.Time, Dt);
  EXPECT_EQ(m.MaxFreeVortex, 400);
  EXPECT_EQ(m.Vortices.size(), 396u + 400u);
  ASSERT_EQ(obs.freeCounts, (std::vector<int32_t>{3}));
  ASSERT_EQ(obs.statusTexts.size(), 1u) << "a fresh run rebuilds the area";
  ExpectRunArraysReleased(m);
  Real scale;
  const Real total = TotalCirculation(m, scale);
  EXPECT_TRUE(RealNear(total, 0, 1e-14L * scale)) << "solved for the new vortices";
}

TEST(RunSimulation, LimitOfTwoShedsAtTheFirstTwoPointsOnly) {
  Model m = test::CoarseModel();
  test::RecordingObserver obs;
  obs.stopAfter = 1;
  RunSimulation(m, 2, 0, 0, 1, Dt, obs);
  EXPECT_EQ(m.FreeVortexCount, 2);
}

TEST(RunSimulation, StepCountFollowsTheTimeSum) {
  // Time is summed step by step: after 200 steps of 0.005 it is a hair under 1,
  // so a 201st step is made and the run ends at 1.005.
  Model m = test::CoarseModel();
  test::RecordingObserver obs;
  const RunSummary r = RunSimulation(m, 10, 0, 0, 1, Dt, obs);
  EXPECT_EQ(r.HowEnded, RunSummary::End::TimeLimit);
  EXPECT_EQ(r.Steps, 201);
  ASSERT_EQ(obs.stepTimes.size(), 201u);
  EXPECT_LT(obs.stepTimes[199], 1.0L);
  EXPECT_TRUE(RealNear(obs.stepTimes[199], 1, 1e-15L));
  EXPECT_TRUE(RealNear(m.Time, 1.005L, 1e-15L));
  EXPECT_LE(m.FreeVortexCount, 10);
  EXPECT_TRUE(StateFinite(m));
  ExpectRunArraysReleased(m);
}

// A short run with both records on, checked byte by byte against the state.
TEST(RunSimulation, RecordsOfAShortRun) {
  test::TempDir dir;
  Model m = test::CoarseModel();
  m.PulsationOn = true;
  m.PulsationPointCount = 2;
  m.PulsationPoints = {{0.2L, 0.05L}, {-0.2L, 0.3L}, {9, 9}};  // only the first two count
  m.PulsationFileName = dir.File("p.pls");
  m.TrackOn = true;
  m.TrackFileName = dir.File("t.fvt");

  // The velocity the first sample must hold: the solved bare contour at t = 0.
  Model start = m;
  start.MaxFreeVortex = 400;
  BuildArea(start);
  test::SolveAttached(start);
  const Real firstVx = CalcVelocity(start, m.PulsationPoints[0], {1, 0}, -1);
  const Real firstVy1 = CalcVelocity(start, m.PulsationPoints[1], {0, 1}, -1);

  const RunSummary r = RunSimulation(m, 400, 0, 0, 0.0225L, Dt);  // steps at 0 .. 0.02
  ASSERT_EQ(r.HowEnded, RunSummary::End::TimeLimit) << r.Message;
  ASSERT_EQ(r.Steps, 5);

  const Bytes pls = test::ReadBytes(m.PulsationFileName);
  const size_t p = 2, steps = 5;
  ASSERT_EQ(pls.size(), 28 + 24 * p + 20 * steps * p);
  EXPECT_EQ(GetExt(&pls[0]), 0);
  EXPECT_EQ(GetExt(&pls[10]), Dt);
  EXPECT_EQ(GetInt32(&pls[20]), 2);
  EXPECT_EQ(GetExt(&pls[24]), 0.2L);
  EXPECT_EQ(GetExt(&pls[34]), 0.05L);
  EXPECT_EQ(GetExt(&pls[48 + 10]), 0.3L);
  EXPECT_EQ(GetInt32(&pls[24 + 24 * p]), 5);
  const size_t vx = 28 + 24 * p;
  const size_t vy = vx + 10 * steps * p;
  EXPECT_TRUE(test::SameBits(GetExt(&pls[vx]), firstVx)) << "axial sample 0 of point 0";
  EXPECT_TRUE(test::SameBits(GetExt(&pls[vy + 10 * steps]), firstVy1)) << "radial sample 0 of point 1";
  EXPECT_NE(GetExt(&pls[vx + 10 * 4]), firstVx) << "the flow changes as vortices are shed";

  const Bytes fvt = test::ReadBytes(m.TrackFileName);
  ASSERT_EQ(fvt.size(), 34 + 10 * steps);
  EXPECT_EQ(GetInt32(&fvt[0]), 5);
  EXPECT_EQ(GetExt(&fvt[4]), 0);
  EXPECT_EQ(GetExt(&fvt[14]), Dt);
  EXPECT_EQ(GetExt(&fvt[24]), m.VortexSpacing);
  // The last value is the newest free vortex, whose circulation never changes.
  const TVortex& newest = m.Vortices[m.AttachedCount + m.FreeVortexCount - 1];
  EXPECT_TRUE(test::SameBits(GetExt(&fvt[34 + 10 * 4]), newest.Gamma));
}

TEST(RunSimulation, StoppedRunsStillWriteTheirRecords) {
  test::TempDir dir;
  struct Row {
    const char* name;
    int stopAfter;
    Real start, end;
    int32_t samples;
  };
  const Row rows[] = {
      {"stopped after 7 steps", 7, 0, 1, 7},
      {"45 steps: rows grown to 60 slots", 0, 0, 0.2225L, 45},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Model m = test::CoarseModel();
    m.PulsationOn = true;
    m.PulsationPointCount = 3;
    m.PulsationPoints = {{0.2L, 0.05L}, {-0.2L, 0.3L}, {0.5L, 0.1L}};
    m.PulsationFileName = dir.File("p.pls");
    m.TrackOn = true;
    m.TrackFileName = dir.File("t.fvt");
    test::RecordingObserver obs;
    obs.stopAfter = row.stopAfter;
    const RunSummary r = RunSimulation(m, 50, 0, row.start, row.end, Dt, obs);
    EXPECT_EQ(r.Steps, row.samples);
    EXPECT_EQ(r.HowEnded, row.stopAfter ? RunSummary::End::Stopped : RunSummary::End::TimeLimit);
    const Bytes pls = test::ReadBytes(m.PulsationFileName);
    ASSERT_EQ(pls.size(), 28u + 72u + 60u * row.samples);
    EXPECT_EQ(GetInt32(&pls[96]), row.samples);
    EXPECT_EQ(GetExt(&pls[0]), row.start);
    const Bytes fvt = test::ReadBytes(m.TrackFileName);
    ASSERT_EQ(fvt.size(), 34u + 10u * row.samples);
    EXPECT_EQ(GetInt32(&fvt[0]), row.samples);
    EXPECT_EQ(GetExt(&fvt[4]), row.start);
    ExpectRunArraysReleased(m);
  }
}

TEST(RunSimulation, RunWhoseEndTimeIsReachedChangesNothing) {
  // The case: Макс. время = -1 and Начать made no step and replaced
  // pulsate.pls with an empty record.
  test::TempDir dir;
  Model m = test::CoarseModel();
  m.PulsationOn = true;
  m.PulsationPointCount = 1;
  m.PulsationPoints = {{0.2L, 0.05L}};
  m.PulsationFileName = dir.File("p.pls");
  m.TrackOn = true;
  m.TrackFileName = dir.File("t.fvt");
  ASSERT_EQ(RunSimulation(m, 50, 0, 0, 0.02L, Dt).HowEnded, RunSummary::End::TimeLimit);
  const Bytes pls = test::ReadBytes(m.PulsationFileName);
  const Bytes fvt = test::ReadBytes(m.TrackFileName);
  ASSERT_GT(pls.size(), 28u + 24u);
  const Bytes state = EncodeVortexFile(m);

  struct Row {
    const char* name;
    int32_t freeCount;
    Real start, end;
  } rows[] = {
      {"Start with an end time of -1", 0, 0, -1},
      {"Continue past the end time", 5, 0.025L, 0.02L},
  };
  for (const Row& r : rows) {
    test::RecordingObserver obs;
    const RunSummary s = RunSimulation(m, 50, r.freeCount, r.start, r.end, Dt, obs);
    EXPECT_EQ(s.HowEnded, RunSummary::End::EndTimeReached) << r.name;
    EXPECT_EQ(s.Message, "Заданное время моделирования уже достигнуто") << r.name;
    EXPECT_EQ(s.Steps, 0) << r.name;
    EXPECT_TRUE(obs.stepTimes.empty() && obs.statusTexts.empty()) << r.name << ": the area was not rebuilt";
    EXPECT_EQ(EncodeVortexFile(m), state) << r.name;
    EXPECT_EQ(test::ReadBytes(m.PulsationFileName), pls) << r.name;
    EXPECT_EQ(test::ReadBytes(m.TrackFileName), fvt) << r.name;
  }
}

TEST(RunSimulation, ContinueKeepsTheVorticesAndGrowsTheArray) {
  Model m = test::CoarseModel();
  test::RecordingObserver obs;
  obs.stopAfter = 3;
  RunSimulation(m, 20, 0, 0, 1, Dt, obs);
  ASSERT_EQ(m.FreeVortexCount, 9);
  const Model stopped = m;

  // End time already reached: nothing changes, not even the limit.
  const RunSummary r = RunSimulation(m, 60, m.FreeVortexCount, m.Time, m.Time - 1, Dt);
  EXPECT_EQ(r.HowEnded, RunSummary::End::EndTimeReached);
  EXPECT_EQ(m.Vortices.size(), size_t(m.AttachedCount) + 20);
  EXPECT_EQ(m.FreeVortexCount, 9);
  for (int32_t i = 0; i < m.AttachedCount + 9; ++i) {
    ASSERT_TRUE(test::SameBits(m.Vortices[i].Pos.X, stopped.Vortices[i].Pos.X)) << i;
    ASSERT_TRUE(RealNear(m.Vortices[i].Gamma, stopped.Vortices[i].Gamma, 1e-12L)) << i;
  }

  // Continuing with a larger limit sheds into the new room; shedding restarts.
  test::RecordingObserver more;
  more.stopAfter = 1;
  RunSimulation(m, 60, m.FreeVortexCount, m.Time, 1, Dt, more);
  EXPECT_EQ(m.Vortices.size(), size_t(m.AttachedCount) + 60);
  EXPECT_EQ(m.FreeVortexCount, 12);
  EXPECT_TRUE(more.statusTexts.empty()) << "a continued run does not rebuild the area";

  // A count above the new limit is cut to it; no vortex fits in.
  test::RecordingObserver tight;
  tight.stopAfter = 1;
  RunSimulation(m, 5, m.FreeVortexCount, m.Time, 1, Dt, tight);
  EXPECT_EQ(m.FreeVortexCount, 5);
  EXPECT_EQ(m.MaxFreeVortex, 5);
}

TEST(RunSimulation, UnwritableRecordIsReportedAndTheOtherStillWritten) {
  test::TempDir dir;
  Model m = test::CoarseModel();
  m.PulsationOn = true;
  m.PulsationPointCount = 1;
  m.PulsationPoints = {{0.2L, 0.05L}};
  m.PulsationFileName = dir.File("missing-folder/p.pls");
  m.TrackOn = true;
  m.TrackFileName = dir.File("t.fvt");
  test::RecordingObserver obs;
  obs.stopAfter = 2;
  const RunSummary r = RunSimulation(m, 50, 0, 0, 1, Dt, obs);
  EXPECT_EQ(r.HowEnded, RunSummary::End::RecordWriteFailed);
  EXPECT_EQ(r.Steps, 2);
  EXPECT_NE(r.Message.find("missing-folder/p.pls"), std::string::npos) << r.Message;
  EXPECT_EQ(test::ReadBytes(m.TrackFileName).size(), 34u + 20u);
  EXPECT_EQ(m.FreeVortexCount, 6);
  EXPECT_TRUE(StateFinite(m));
}

TEST(RunSimulation, NonFiniteStepIsUndone) {
  test::TempDir dir;
  Model m = test::CoarseModel();
  m.TrackOn = true;
  m.TrackFileName = dir.File("t.fvt");
  m.PulsationOn = true;
  m.PulsationPointCount = 1;
  m.PulsationPoints = {{0.2L, 0.05L}};
  m.PulsationFileName = dir.File("p.pls");
  test::RecordingObserver obs;
  Model* model = &m;
  Model afterThree;
  // Between steps 3 and 4 something spoils a free vortex's circulation.
  obs.onPump = [&](int pumps) {
    if (pumps != 3) return;
    afterThree = *model;
    model->Vortices[model->AttachedCount].Gamma = std::numeric_limits<Real>::quiet_NaN();
  };
  const RunSummary r = RunSimulation(m, 50, 0, 0, 1, Dt, obs);
  EXPECT_EQ(r.HowEnded, RunSummary::End::NonFinite);
  EXPECT_EQ(r.Steps, 3);
  EXPECT_FALSE(r.Message.empty());
  EXPECT_TRUE(StateFinite(m));
  EXPECT_EQ(m.Time, afterThree.Time);
  ASSERT_EQ(m.FreeVortexCount, afterThree.FreeVortexCount);
  for (int32_t i = 0; i < m.AttachedCount + m.FreeVortexCount; ++i) {
    ASSERT_TRUE(test::SameBits(m.Vortices[i].Gamma, afterThree.Vortices[i].Gamma)) << i;
  }
  EXPECT_EQ(test::ReadBytes(m.TrackFileName).size(), 34u + 30u);
  EXPECT_EQ(test::ReadBytes(m.PulsationFileName).size(), 28u + 24u + 20u * 3);
  ExpectRunArraysReleased(m);
}

// Where two byte strings first differ, for the failure message.
std::string FirstDifference(const Bytes& a, const Bytes& b) {
  if (a.size() != b.size()) return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return "first difference at byte " + std::to_string(i);
  }
  return "same";
}

// 30 steps of the default model with both records on: the saved state and the
// records are the same bytes on the literal path and on the fast path with
// one thread, all cores, or more threads than cores.
TEST(RunSimulation, SameBytesOnEveryPathAndThreadCount) {
  test::TempDir dir;
  struct Path {
    const char* name;
    Execution exec;
  };
  const Path paths[] = {{"literal", {true, 1}},
                        {"fast, 1 thread", {false, 1}},
                        {"fast, all cores", {false, 0}},
                        {"fast, 3 threads", {false, 3}}};
  Bytes firstVrt, firstPls, firstFvt;
  for (const Path& path : paths) {
    SCOPED_TRACE(path.name);
    Model m = test::DefaultModel();
    m.Exec = path.exec;
    m.PulsationOn = true;
    m.PulsationPointCount = 3;
    m.PulsationPoints = {{0.2L, 0.05L}, {-0.2L, 0.3L}, {0.1L, 0}};
    m.PulsationFileName = dir.File("p.pls");
    m.TrackOn = true;
    m.TrackFileName = dir.File("t.fvt");
    test::RecordingObserver obs;
    obs.stopAfter = 30;
    const RunSummary r = RunSimulation(m, 400, 0, 0, 1, Dt, obs);
    ASSERT_EQ(r.Steps, 30) << r.Message;
    ASSERT_GT(m.FreeVortexCount, 80);
    std::string error;
    ASSERT_TRUE(SaveVortexFile(m, dir.File("state.evt"), error)) << error;
    const Bytes vrt = test::ReadBytes(dir.File("state.evt"));
    const Bytes pls = test::ReadBytes(m.PulsationFileName);
    const Bytes fvt = test::ReadBytes(m.TrackFileName);
    ASSERT_FALSE(vrt.empty());
    if (firstVrt.empty()) {
      firstVrt = vrt;
      firstPls = pls;
      firstFvt = fvt;
      continue;
    }
    EXPECT_TRUE(vrt == firstVrt) << "vortex file: " << FirstDifference(vrt, firstVrt);
    EXPECT_TRUE(pls == firstPls) << "pulsation record: " << FirstDifference(pls, firstPls);
    EXPECT_TRUE(fvt == firstFvt) << "circulation record: " << FirstDifference(fvt, firstFvt);
  }
}

}  // namespace
}  // namespace mdv

namespace mdv {
namespace {

// The set-up of a large system takes tens of seconds: it reports how far it
// is and gives up between blocks when asked, leaving the state as it was.
TEST(RunSimulation, SetUpReportsProgressAndHonoursAStop) {
  struct SetupWatcher : Observer {
    std::vector<std::pair<SetupStage, int32_t>> Reports;
    int32_t MatrixTotal = 0, EliminationTotal = 0;
    SetupStage StopStage = SetupStage::Matrix;
    size_t StopAtReport = 0;  // stop after this many reports of StopStage; 0: never
    size_t SeenOfStage = 0;
    bool Stop = false;
    void SetupProgress(SetupStage stage, int32_t done, int32_t total) override {
      Reports.push_back({stage, done});
      (stage == SetupStage::Matrix ? MatrixTotal : EliminationTotal) = total;
      if (stage == StopStage && ++SeenOfStage == StopAtReport) Stop = true;
    }
    bool StopRequested() override { return Stop; }
  };
  struct Row {
    const char* name;
    bool literal;
    Observer::SetupStage stage;
    size_t stopAt;
  } rows[] = {
      {"no stop", false, Observer::SetupStage::Matrix, 0},
      {"stop while the matrix is built", false, Observer::SetupStage::Matrix, 2},
      {"stop during the elimination", false, Observer::SetupStage::Elimination, 10},
      {"stop on the literal path", true, Observer::SetupStage::Matrix, 3},
  };
  const Model fresh = test::DefaultModel();
  test::TempDir dir;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Model m = fresh;
    m.Exec.Literal = row.literal;
    // Records of an earlier run, which a run without a step must leave alone.
    m.PulsationOn = m.TrackOn = true;
    m.PulsationPoints = {{0.2L, 0.1L}};
    m.PulsationPointCount = 1;
    m.PulsationFileName = dir.File("p.pls");
    m.TrackFileName = dir.File("t.fvt");
    std::ofstream(m.PulsationFileName) << "earlier";
    std::ofstream(m.TrackFileName) << "earlier";
    SetupWatcher w;
    w.StopStage = row.stage;
    w.StopAtReport = row.stopAt;
    const RunSummary s = RunSimulation(m, 100, 0, 0, 2 * Dt, Dt, w);
    ExpectRunArraysReleased(m);
    const std::vector<uint8_t> earlier{'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    const bool recordsKept =
        test::ReadBytes(m.PulsationFileName) == earlier && test::ReadBytes(m.TrackFileName) == earlier;
    EXPECT_EQ(recordsKept, row.stopAt != 0) << "only a run with steps writes its records";
    ASSERT_FALSE(w.Reports.empty());
    // Progress only grows within a stage, and the matrix comes first.
    for (size_t i = 1; i < w.Reports.size(); ++i) {
      const auto& [stage, done] = w.Reports[i];
      if (stage == w.Reports[i - 1].first) {
        EXPECT_GT(done, w.Reports[i - 1].second);
      } else {
        EXPECT_EQ(stage, Observer::SetupStage::Elimination);
      }
    }
    if (row.stopAt == 0) {
      EXPECT_EQ(s.HowEnded, RunSummary::End::TimeLimit);
      EXPECT_EQ(w.Reports.back(), std::make_pair(Observer::SetupStage::Elimination, w.EliminationTotal));
      EXPECT_EQ(w.MatrixTotal, m.AttachedCount - 1);
      continue;
    }
    // Nothing more is reported after the stop, and no step is made.
    EXPECT_EQ(w.SeenOfStage, row.stopAt);
    EXPECT_EQ(w.Reports.back().first, row.stage);
    EXPECT_EQ(s.HowEnded, RunSummary::End::Stopped);
    EXPECT_EQ(s.Steps, 0);
    EXPECT_EQ(m.Time, 0);
    EXPECT_EQ(m.FreeVortexCount, 0);
    // What a stopped set-up leaves behind does not change the next run.
    Model again = m;
    again.PulsationOn = again.TrackOn = false;
    Model clean = fresh;
    clean.Exec.Literal = row.literal;
    RunSimulation(again, 100, 0, 0, 2 * Dt, Dt);
    RunSimulation(clean, 100, 0, 0, 2 * Dt, Dt);
    EXPECT_TRUE(EncodeVortexFile(again) == EncodeVortexFile(clean));
  }
}

}  // namespace
}  // namespace mdv
