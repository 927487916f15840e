#include "core/analysis/vortex_area.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "core/model/area.h"
#include "core/flow/circulation.h"
#include "core/model/geometry.h"
#include "core/flow/run.h"
#include "core/model/vortex_file.h"

namespace mdv {
namespace {

// A short run of the given area, saved and loaded back as the window's load
// command does: the state the analysis works on.
Model SavedState(Real flangeAngle, const std::string& tag) {
  Model run;
  run.FlangeAngle = flangeAngle;
  BuildArea(run);
  SetSheddingIntervals(run, 0, 0, 0);
  const RunSummary s = RunSimulation(run, 100, 0, 0, 0.1L, 0.005L);
  EXPECT_EQ(s.HowEnded, RunSummary::End::TimeLimit) << s.Message;
  const std::string file = ::testing::TempDir() + "vortex_area_" + std::to_string(::getpid()) + "_" + tag + ".evt";
  std::string error;
  EXPECT_TRUE(SaveVortexFile(run, file, error)) << error;
  Model m;
  m.FlangeAngle = flangeAngle;
  EXPECT_TRUE(LoadVortexState(m, file, error)) << error;
  std::remove(file.c_str());
  return m;
}

const Model& DefaultState() {
  static const Model m = SavedState(Pi / 6, "default");
  return m;
}

TRealPoint Tip(const Model& m) {
  return {-m.FlangeLength * std::cos(m.FlangeAngle),
          m.FlangeLength * std::sin(m.FlangeAngle) + m.ChannelRadius};
}

// The window's own settings, read back from its edit texts.
struct Settings {
  TRealPoint First, Second;
  Real Dt;
};
Settings WindowSettings(const Model& m) {
  const VortexAreaStartTexts t = DefaultVortexAreaStart(m);
  auto num = [](const std::string& s) {
    std::string c = s;
    for (char& ch : c) if (ch == ',') ch = '.';
    return std::stold(c);
  };
  return {{num(t.FirstX), num(t.FirstY)}, {num(t.SecondX), num(t.SecondY)}, num(t.Dt)};
}

struct CountingObserver : Observer {
  int Pumps = 0;
  int TracePoints = 0;
  int StopAtPump = -1;   // answer "stop" at this pump (1-based)
  Model* SetFlagOf = nullptr;  // or raise the model's flag there, as the Stop button does
  void PumpEvents() override {
    ++Pumps;
    if (SetFlagOf && Pumps == StopAtPump) SetFlagOf->AreaCalcStopRequested = true;
  }
  bool StopRequested() override { return !SetFlagOf && Pumps == StopAtPump; }
  void TracePoint(const TRealPoint&, bool) override { ++TracePoints; }
};

TEST(VortexArea, DefaultStateGivesConsistentDimensions) {
  Model m = DefaultState();
  ASSERT_GT(m.FreeVortexCount, 0);
  const Settings s = WindowSettings(m);
  CountingObserver obs;
  TVortexAreaParams r;
  const VortexAreaOutcome out = CalcVortexAreaParams(m, s.First, s.Second, r, s.Dt, obs);
  ASSERT_TRUE(out.Ok) << out.Error;
  EXPECT_FALSE(out.Stopped);
  EXPECT_EQ(obs.TracePoints, static_cast<int>(out.FirstLine.size() + out.SecondLine.size()));

  const TRealPoint t = Tip(m);
  const TRealPoint mouth{0, m.ChannelRadius};
  // Phase 1 stops at the first point past the tip's x.
  EXPECT_GT(r.EffWidthPoint.X, t.X);
  EXPECT_EQ(r.EffWidth, 2 * r.EffWidthPoint.Y);
  // The drawn first line starts at the first start point; its widest point
  // is the largest distance from the flange line over the traced points.
  ASSERT_GE(out.FirstLine.size(), 2u);
  EXPECT_EQ(out.FirstLine[0].X, s.First.X);
  Real widest = 0;
  for (size_t i = 1; i < out.FirstLine.size(); ++i)
    widest = std::max(widest, DistToLine(out.FirstLine[i], t, mouth));
  EXPECT_EQ(r.MaxGap, widest);
  EXPECT_EQ(r.MaxGap, DistToLine(r.MaxGapPoint, t, mouth));
  EXPECT_GE(r.ZoneLength, r.Overshoot);
  // The channel gap is the largest distance from y = B over the second line.
  Real deepest = 0;
  for (size_t i = 1; i < out.SecondLine.size(); ++i)
    deepest = std::max(deepest, std::fabs(out.SecondLine[i].Y - m.ChannelRadius));
  EXPECT_NEAR(static_cast<double>(r.ChannelGap), static_cast<double>(deepest), 1e-15);
  EXPECT_NEAR(static_cast<double>(r.ChannelGapPos), static_cast<double>(std::fabs(r.ChannelGapPoint.X)),
              1e-15);
  // Only the stop flag of the model is touched.
  EXPECT_FALSE(m.AreaCalcStopRequested);

  const std::vector<VortexAreaRow> rows = VortexAreaRows(r);
  const char* labels[] = {"Bэф", "b", "l", "a0", "a", "dmax", "lmax"};
  ASSERT_EQ(rows.size(), 7u);
  for (size_t i = 0; i < 7; ++i) EXPECT_EQ(rows[i].Label, labels[i]);
}

TEST(VortexArea, UprightFlangeGivesTwiceTheRadiusExactly) {
  Model m = SavedState(Pi / 2, "upright");
  TVortexAreaParams r;
  const Settings s = WindowSettings(m);
  const VortexAreaOutcome out = CalcVortexAreaParams(m, s.First, s.Second, r, s.Dt);
  ASSERT_TRUE(out.Ok) << out.Error;
  EXPECT_EQ(r.EffWidth, 2 * m.ChannelRadius);
  EXPECT_EQ(r.EffWidthPoint.X, 0);
  EXPECT_EQ(r.EffWidthPoint.Y, m.ChannelRadius);
}

TEST(VortexArea, StopsEndTheComputationWhereTheyComeIn) {
  struct Row {
    const char* name;
    int stopAtPump;
    bool viaModelFlag;
    int phase;
  };
  // A first line 5 cm ahead of the tip at a small step takes well over 50
  // steps in phase 1.
  const Row rows[] = {
      {"observer stops in phase 1", 1, false, 1},
      {"the Stop button's flag in phase 1", 1, true, 1},
  };
  for (const Row& row : rows) {
    Model m = DefaultState();
    const TRealPoint first{Tip(m).X - 0.05L, Tip(m).Y + 0.05L};
    CountingObserver obs;
    obs.StopAtPump = row.stopAtPump;
    if (row.viaModelFlag) obs.SetFlagOf = &m;
    TVortexAreaParams r;
    const VortexAreaOutcome out =
        CalcVortexAreaParams(m, first, {0, m.ChannelRadius - 0.001L}, r, 0.0001L, obs);
    EXPECT_FALSE(out.Ok) << row.name;
    EXPECT_TRUE(out.Stopped) << row.name;
    EXPECT_EQ(out.StoppedInPhase, row.phase) << row.name;
    EXPECT_TRUE(m.AreaCalcStopRequested) << row.name;
    EXPECT_EQ(obs.Pumps, row.stopAtPump) << row.name;
    // Nothing was drawn and nothing measured.
    EXPECT_EQ(obs.TracePoints, 0) << row.name;
    EXPECT_TRUE(out.FirstLine.empty()) << row.name;
    EXPECT_EQ(r.EffWidth, 0) << row.name;
    EXPECT_EQ(r.MaxGap, 0) << row.name;
  }
}

TEST(VortexArea, StopFlagIsClearedAtTheStart) {
  Model m = DefaultState();
  m.AreaCalcStopRequested = true;  // left over from an earlier stop
  const Settings s = WindowSettings(m);
  TVortexAreaParams r;
  const VortexAreaOutcome out = CalcVortexAreaParams(m, s.First, s.Second, r, s.Dt);
  EXPECT_TRUE(out.Ok);
  EXPECT_FALSE(m.AreaCalcStopRequested);
}

TEST(VortexArea, FirstLineEnteringTheMouthIsContinuedInPhase3) {
  Model m = DefaultState();
  const Real b = m.ChannelRadius;
  const TRealPoint second{0, b - 0.001L};
  struct Row {
    const char* name;
    TRealPoint first;
    bool continues;
  };
  const Row rows[] = {
      {"starts just ahead of the mouth near the axis", {-0.02L, 0.05L}, true},
      {"starts past the mouth plane above the channel wall", {0.05L, 0.3L}, false},
  };
  for (const Row& row : rows) {
    TVortexAreaParams r;
    const VortexAreaOutcome out = CalcVortexAreaParams(m, row.first, second, r, 0.001L);
    ASSERT_TRUE(out.Ok) << row.name;
    ASSERT_FALSE(out.FirstLine.empty());
    ASSERT_FALSE(out.SecondLine.empty());
    EXPECT_EQ(out.SecondContinuesFirst, row.continues) << row.name;
    const TRealPoint start = out.SecondLine[0];
    const TRealPoint expected = row.continues ? out.FirstLine.back() : second;
    EXPECT_EQ(start.X, expected.X) << row.name;
    EXPECT_EQ(start.Y, expected.Y) << row.name;
    if (row.continues) {
      EXPECT_GE(start.X, 0) << row.name;
      EXPECT_LE(start.Y, b) << row.name;
    }
  }
}

TEST(VortexArea, FlowAtRestEndsEveryTraceInsteadOfHanging) {
  Model m;  // built area, no circulation anywhere: the velocity is zero
  BuildArea(m);
  const Settings s = WindowSettings(m);
  TVortexAreaParams r;
  const VortexAreaOutcome out = CalcVortexAreaParams(m, s.First, s.Second, r, s.Dt);
  ASSERT_TRUE(out.Ok);
  EXPECT_EQ(out.StalledPhases, 7);
  EXPECT_EQ(r.EffWidth, 2 * s.First.Y);
  EXPECT_EQ(out.FirstLine.size(), 1u);
  EXPECT_EQ(out.SecondLine.size(), 1u);
}

TEST(VortexArea, BadStepsAreRefused) {
  const Real steps[] = {0, -0.001L, NAN, INFINITY};
  for (Real dt : steps) {
    Model m = DefaultState();
    CountingObserver obs;
    TVortexAreaParams r;
    const VortexAreaOutcome out = CalcVortexAreaParams(m, {-0.4L, 0.4L}, {0, 0.149L}, r, dt, obs);
    EXPECT_FALSE(out.Ok) << "dt = " << static_cast<double>(dt);
    EXPECT_FALSE(out.Stopped);
    EXPECT_FALSE(out.Error.empty());
    EXPECT_EQ(obs.TracePoints, 0);
  }
}

TEST(VortexArea, WindowDefaultsAndPicture) {
  Model m;
  BuildArea(m);
  const VortexAreaStartTexts t = DefaultVortexAreaStart(m);
  EXPECT_EQ(t.FirstX, "-0,4340");  // -0,5·cos 30° - 0,001
  EXPECT_EQ(t.FirstY, "0,4010");   // 0,5·sin 30° + 0,15 + 0,001
  EXPECT_EQ(t.SecondX, "0,0000");
  EXPECT_EQ(t.SecondY, "0,1490");
  EXPECT_EQ(t.Dt, "0,001");

  // 723 / (1,2 - 0,02·tan 15° + 1,0) against 215 / 0,15.
  const Real scale = VortexAreaScale(m, 873, 265);
  EXPECT_NEAR(static_cast<double>(scale), 723.0 / (2.2 - 0.02 * std::tan(M_PI / 12)), 1e-9);
  int32_t ox = 0, oy = 0;
  VortexAreaOrigin(m, 873, 265, scale, ox, oy);
  EXPECT_EQ(ox, 873 - 329 - 40);
  EXPECT_EQ(oy, 245);
}

TEST(VortexArea, WorldToScreenRoundsHalvesToEven) {
  const ScreenMap map{1, 10, 100};
  struct Row {
    Real x, y;
    int32_t col, row;
  };
  const Row rows[] = {{2.5L, 2.5L, 12, 98}, {3.5L, 3.5L, 14, 96}, {-2.5L, -0.5L, 8, 100},
                      {0.49L, 1.51L, 10, 98}};
  for (const Row& r : rows) {
    const ScreenPoint p = WorldToScreen(map, {r.x, r.y});
    EXPECT_EQ(p.X, r.col) << static_cast<double>(r.x);
    EXPECT_EQ(p.Y, r.row) << static_cast<double>(r.y);
  }
}

TEST(VortexArea, MarksComeInOrderWithTheirColoursAndAnchors) {
  Model m;
  BuildArea(m);
  const Real b = m.ChannelRadius;
  const TRealPoint t = Tip(m);
  const TRealPoint mouth{0, b};
  const TRealPoint nf = UnitNormal(mouth, t);  // towards the flange
  // A zone 2 cm off the middle of the flange.
  const TRealPoint mid{(t.X + mouth.X) / 2, (t.Y + mouth.Y) / 2};
  TVortexAreaParams r;
  r.MaxGap = 0.02L;
  r.MaxGapPoint = {mid.X - 0.02L * nf.X, mid.Y - 0.02L * nf.Y};
  r.EffWidthPoint = {t.X + 0.001L, 0.31L};
  r.OvershootPoint = {t.X - 0.01L, t.Y - 0.01L};
  r.ZoneEndPoint = {mouth.X - 0.05L, mouth.Y + 0.01L};
  r.ChannelGap = 0.03L;
  r.ChannelGapPoint = {0.2L, b - 0.03L};
  // Origin row 0 puts the model above the picture's top: odd negative sums
  // must be halved toward zero.
  const ScreenMap map{100, 50, 0};
  const std::vector<MarkItem> items = VortexAreaMarks(m, r, map);

  const MarkKind L = MarkKind::Line, D = MarkKind::Dot, X = MarkKind::Text;
  const MarkKind kinds[] = {L, D, X, L, D, X, L, L, L, X, L, X, L, L, L, X};
  ASSERT_EQ(items.size(), std::size(kinds));
  for (size_t i = 0; i < items.size(); ++i) EXPECT_EQ(items[i].Kind, kinds[i]) << "item " << i;
  EXPECT_EQ(items[0].Colour.R, 255);  // "Bэф" magenta
  EXPECT_EQ(items[3].Colour.G, 128);  // "b" teal
  EXPECT_EQ(items[6].Colour.B, 128);  // "a" navy
  EXPECT_EQ(items[2].Text, "Bэф");
  EXPECT_EQ(items[5].Text, "b");
  EXPECT_EQ(items[9].Text, "a");
  EXPECT_EQ(items[11].Text, "dmax");
  EXPECT_EQ(items[15].Text, "lmax");

  // "Bэф": from the axis row up to the point; text at (sx + 5, (sy + 0) div 2).
  const ScreenPoint e = WorldToScreen(map, r.EffWidthPoint);
  EXPECT_EQ(e.Y, -31);
  EXPECT_EQ(items[0].A.X, e.X);
  EXPECT_EQ(items[0].A.Y, 0);
  EXPECT_EQ(items[0].B.Y, e.Y);
  EXPECT_EQ(items[1].A.X, e.X - 1);
  EXPECT_EQ(items[1].B.Y, e.Y + 2);
  EXPECT_EQ(items[2].A.X, e.X + 5);
  EXPECT_EQ(items[2].A.Y, -15);  // -31 div 2, toward zero
  // "b" meets the flange surface 2 cm away: its end lies on rib 3.
  const ScreenPoint f = WorldToScreen(map, mid);
  EXPECT_NEAR(items[3].B.X, f.X, 1);
  EXPECT_NEAR(items[3].B.Y, f.Y, 1);
  // "dmax" runs straight up to the wall line y = B; text halves toward zero.
  const ScreenPoint c = WorldToScreen(map, r.ChannelGapPoint);
  const ScreenPoint g = WorldToScreen(map, {0.2L, b});
  EXPECT_EQ(items[10].A.Y, c.Y);
  EXPECT_EQ(items[10].B.Y, g.Y);
  EXPECT_EQ(items[11].A.Y, (c.Y + g.Y) / 2 - 3);
}

TEST(VortexArea, GapMarkMissingTheFlangeRunsToItsFarEnd) {
  Model m;
  BuildArea(m);
  const TRealPoint t = Tip(m);
  const TRealPoint mouth{0, m.ChannelRadius};
  const TRealPoint nf = UnitNormal(mouth, t);
  // Beyond the flange's tip: the normal towards the flange passes it by.
  TVortexAreaParams r;
  r.MaxGap = 0.05L;
  r.MaxGapPoint = {t.X - 0.1L, t.Y + 0.1L};
  const ScreenMap map{1000, 600, 600};
  const std::vector<MarkItem> items = VortexAreaMarks(m, r, map);
  ASSERT_GE(items.size(), 4u);
  const TRealPoint far{r.MaxGapPoint.X + (r.MaxGap + 0.2L) * nf.X,
                       r.MaxGapPoint.Y + (r.MaxGap + 0.2L) * nf.Y};
  const ScreenPoint e = WorldToScreen(map, far);
  EXPECT_EQ(items[3].Kind, MarkKind::Line);
  EXPECT_EQ(items[3].B.X, e.X);
  EXPECT_EQ(items[3].B.Y, e.Y);
}

}  // namespace
}  // namespace mdv

namespace mdv {
namespace {

// A step far too large sends a trace across the axis; one far too small
// never reaches the end of its phase. Neither may yield a dimension.
// One slow ring and the hood's walls: a million steps stay cheap. The ring's
// sign makes the air at the first start point move towards the axis.
Model OneRingAtTheHood() {
  Model m;
  BuildArea(m);
  m.AttachedCount = 1;
  m.FreeVortexCount = 0;
  m.Vortices[0] = TVortex{{-0.2L, 0.3L}, 0.01L};
  if (CalcVelocity(m, WindowSettings(m).First, {0, 1}, -1) > 0) m.Vortices[0].Gamma = -0.01L;
  return m;
}

TEST(VortexArea, AbsurdStepsGiveFailedMeasurementsNotResults) {
  {
    SCOPED_TRACE("a step of 1000 s");
    Model m = OneRingAtTheHood();
    const Settings s = WindowSettings(m);
    TVortexAreaParams r;
    const VortexAreaOutcome out = CalcVortexAreaParams(m, s.First, s.Second, r, 1000);
    ASSERT_TRUE(out.Ok);
    EXPECT_EQ(out.TruncatedPhases, 0);
    ASSERT_LT(r.EffWidth, 0) << "the trace crossed the axis";
    EXPECT_NE(out.FailedRows & 1u, 0u);
    ASSERT_FALSE(out.Failures.empty());
    EXPECT_EQ(out.Failures[0].rfind("Bэф: ", 0), 0u) << out.Failures[0];
    const std::vector<VortexAreaRow> rows = VortexAreaRows(r, out.FailedRows);
    for (int32_t i = 0; i < VortexAreaRowCount; ++i) {
      const bool failed = (out.FailedRows & (1u << i)) != 0;
      EXPECT_EQ(rows[i].Measured, !failed) << rows[i].Label;
      const std::string expected = failed ? VortexAreaNotMeasuredText : rows[i].Value;
      EXPECT_EQ(rows[i].Value, expected) << rows[i].Label;
      EXPECT_EQ(rows[i].Value.find('-'), std::string::npos) << rows[i].Label << ": no negative result shown";
    }
    // Nor is its mark drawn.
    const ScreenMap map{329.4L, 600, 245};
    int widthTexts = 0, texts = 0;
    for (const MarkItem& item : VortexAreaMarks(m, r, map, out.FailedRows)) {
      texts += item.Kind == MarkKind::Text ? 1 : 0;
      widthTexts += item.Text == "Bэф" ? 1 : 0;
    }
    EXPECT_EQ(widthTexts, 0);
    EXPECT_GT(texts, 0) << "the measured dimensions keep their marks";
  }
  {
    SCOPED_TRACE("a step of 1e-9 s");
    Model m = OneRingAtTheHood();
    const Settings s = WindowSettings(m);
    TVortexAreaParams r;
    CountingObserver obs;
    const VortexAreaOutcome out = CalcVortexAreaParams(m, s.First, s.Second, r, 1e-9L, obs);
    ASSERT_TRUE(out.Ok);
    EXPECT_EQ(out.TruncatedPhases, 7);
    EXPECT_EQ(out.FailedRows, (1u << VortexAreaRowCount) - 1) << "every dimension comes from a cut trace";
    EXPECT_EQ(out.Failures.size(), static_cast<size_t>(VortexAreaRowCount));
    EXPECT_EQ(out.FirstLine.size(), static_cast<size_t>(AreaTraceStepLimit) + 1);
    EXPECT_EQ(obs.Pumps, 3 * AreaTraceStepLimit / AreaYieldSteps) << "the stop question kept coming";
  }
}

}  // namespace
}  // namespace mdv
