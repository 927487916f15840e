#include "core/analysis/streamlines.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <vector>

#include "core/model/area.h"
#include "core/flow/circulation.h"
#include "core/model/geometry.h"

namespace mdv {
namespace {

// A field of one vortex ring and no walls: nothing ends a line but its length.
Model OneRingModel() {
  Model m;
  m.Vortices = {TVortex{{0, 1}, 1}};
  m.AttachedCount = 1;
  m.FreeVortexCount = 0;
  m.BodyRibs.clear();
  m.BodyRibCount = 0;
  return m;
}

// The unit flow direction at p as the tracer takes it (64-bit components).
TRealPoint Direction(const Model& m, const TRealPoint& p) {
  const double vx = static_cast<double>(CalcVelocity(m, p, {1, 0}, -1));
  const double vy = static_cast<double>(CalcVelocity(m, p, {0, 1}, -1));
  const double v = std::hypot(vx, vy);
  return {vx / v, vy / v};
}

struct Recorder : Observer {
  std::vector<TRealPoint> Points;
  int Firsts = 0;
  void TracePoint(const TRealPoint& p, bool first) override {
    Points.push_back(p);
    Firsts += first ? 1 : 0;
  }
};

TEST(StreamLine, StepsAreCountedByTheRunningSumOfSteps) {
  // A 1 m line of 0,005 m steps: the 64-bit running sum first exceeds 1 after
  // 200 additions, so 200 steps and 201 points.
  int steps = 0;
  for (double len = 0; len <= 1.0; len = len + 0.005) ++steps;
  ASSERT_EQ(steps, 200);

  Model m = OneRingModel();
  Recorder rec;
  const StreamLineResult r = TraceStreamLine(m, 0.5, 0.3, 0.005, 1.0, rec);
  ASSERT_TRUE(r.Ok) << r.Error;
  EXPECT_FALSE(r.EndedAtWall);
  EXPECT_FALSE(r.EndedAtRest);
  EXPECT_EQ(r.PointCount, steps + 1);
  ASSERT_EQ(m.StreamLineCount, 1);
  ASSERT_EQ(m.StreamLines.size(), 1u);
  const TRealPointArray& line = m.StreamLines[0];
  ASSERT_EQ(line.size(), 201u);
  // The start point is the 64-bit argument, widened.
  EXPECT_EQ(line[0].X, static_cast<Real>(0.5));
  EXPECT_EQ(line[0].Y, static_cast<Real>(0.3));
  // Every step has the length of the step, along the local flow direction.
  for (size_t i = 1; i < line.size(); ++i) {
    const TRealPoint d = Direction(m, line[i - 1]);
    EXPECT_NEAR(static_cast<double>(line[i].X - line[i - 1].X), 0.005 * static_cast<double>(d.X), 1e-15)
        << "step " << i;
    EXPECT_NEAR(static_cast<double>(line[i].Y - line[i - 1].Y), 0.005 * static_cast<double>(d.Y), 1e-15)
        << "step " << i;
  }
  // The observer saw the same points, the start point flagged.
  ASSERT_EQ(rec.Points.size(), line.size());
  EXPECT_EQ(rec.Firsts, 1);
  EXPECT_EQ(rec.Points.back().X, line.back().X);
  EXPECT_EQ(rec.Points.back().Y, line.back().Y);
}

TEST(StreamLine, AWallEndsTheLineAtTheFirstRibInIndexOrder) {
  const TRealPoint p0{0.5L, 0.3L};
  const Real step = 0.01L;
  Model m = OneRingModel();
  const TRealPoint d = Direction(m, p0);
  const TRealPoint across{-d.Y, d.X};
  // A rib across the first step at `at` of its length, 2 cm long.
  auto ribAt = [&](Real at) {
    const TRealPoint c{p0.X + at * step * d.X, p0.Y + at * step * d.Y};
    return TRib{{c.X - 0.01L * across.X, c.Y - 0.01L * across.Y},
                {c.X + 0.01L * across.X, c.Y + 0.01L * across.Y}};
  };
  struct Row {
    const char* name;
    std::vector<Real> ribs;  // positions along the first step, in index order
    Real expected;           // where the line must end
  };
  const std::vector<Row> rows = {
      {"one rib", {0.5L}, 0.5L},
      {"the first rib wins though farther", {0.8L, 0.3L}, 0.8L},
      {"a rib beyond the step is not met first", {1.5L, 0.4L}, 0.4L},
  };
  for (const Row& row : rows) {
    Model mm = OneRingModel();
    for (Real at : row.ribs) mm.BodyRibs.push_back(ribAt(at));
    mm.BodyRibCount = static_cast<int32_t>(mm.BodyRibs.size());
    const StreamLineResult r =
        TraceStreamLine(mm, static_cast<double>(p0.X), static_cast<double>(p0.Y),
                        static_cast<double>(step), 1.0);
    ASSERT_TRUE(r.Ok) << row.name;
    EXPECT_TRUE(r.EndedAtWall) << row.name;
    ASSERT_EQ(mm.StreamLines.at(0).size(), 2u) << row.name;
    const TRealPoint end = mm.StreamLines[0][1];
    EXPECT_NEAR(static_cast<double>(PointDistance(p0, end)), static_cast<double>(row.expected * step),
                1e-12)
        << row.name;
  }
}

TEST(StreamLine, NegativeLengthStoresTheStartPointOnly) {
  Model m = OneRingModel();
  const StreamLineResult r = TraceStreamLine(m, 0.5, 0.3, 0.005, -1.0);
  ASSERT_TRUE(r.Ok);
  EXPECT_EQ(r.PointCount, 1);
  ASSERT_EQ(m.StreamLineCount, 1);
  EXPECT_EQ(m.StreamLines[0].size(), 1u);
}

TEST(StreamLine, BadStepsAreRefusedBeforeTracing) {
  struct Row {
    const char* name;
    double step, maxLength;
  };
  const Row rows[] = {
      {"zero step", 0.0, 1.0},
      {"negative step", -0.005, 1.0},
      {"not a number", std::nan(""), 1.0},
      {"endless length", 0.005, INFINITY},
      {"more than a million steps", 1e-9, 1.0},
  };
  for (const Row& row : rows) {
    Model m = OneRingModel();
    Recorder rec;
    const StreamLineResult r = TraceStreamLine(m, 0.5, 0.3, row.step, row.maxLength, rec);
    EXPECT_FALSE(r.Ok) << row.name;
    EXPECT_FALSE(r.Error.empty()) << row.name;
    EXPECT_EQ(m.StreamLineCount, 0) << row.name;
    EXPECT_TRUE(m.StreamLines.empty()) << row.name;
    EXPECT_TRUE(rec.Points.empty()) << row.name;
  }
}

TEST(StreamLine, APointAtRestEndsTheLineWithoutFloatingPointError) {
  Model m;  // no vortices at all: the velocity is zero everywhere
  std::feclearexcept(FE_ALL_EXCEPT);
  const StreamLineResult r = TraceStreamLine(m, 0.1, 0.005, 0.005, 1.0);
  EXPECT_FALSE(std::fetestexcept(FE_DIVBYZERO | FE_INVALID));
  ASSERT_TRUE(r.Ok);
  EXPECT_TRUE(r.EndedAtRest);
  EXPECT_EQ(m.StreamLineCount, 1);
  ASSERT_EQ(m.StreamLines[0].size(), 1u);
  EXPECT_EQ(m.StreamLines[0][0].X, static_cast<Real>(0.1));
}

TEST(StreamLine, LinesAccumulateUntilErased) {
  Model m = OneRingModel();
  TraceStreamLine(m, 0.5, 0.3, 0.005, 0.1);
  TraceStreamLine(m, 0.6, 0.3, 0.005, 0.2);
  ASSERT_EQ(m.StreamLineCount, 2);
  EXPECT_EQ(m.StreamLines[0].size(), 21u);
  EXPECT_EQ(m.StreamLines[1].size(), 41u);
  EraseStreamLines(m);
  EXPECT_EQ(m.StreamLineCount, 0);
  EXPECT_TRUE(m.StreamLines.empty());
}

TEST(StreamLine, TheDefaultLineIsStoppedByTheSuctionSection) {
  // The default area, its attached circulations solved with no free vortex:
  // the line from the window's default start runs down the channel and ends
  // on the suction section x = L.
  Model m;
  BuildArea(m);
  ASSERT_TRUE(BuildInfluenceMatrix(m));
  SolveCirculations(m);
  const StreamLineResult r = TraceStreamLine(m, 0.1, 0.005, 0.005, 1.0);
  ASSERT_TRUE(r.Ok);
  ASSERT_TRUE(r.EndedAtWall);
  const TRealPoint end = m.StreamLines[0].back();
  EXPECT_NEAR(static_cast<double>(end.X), 1.0, 1e-12);
  EXPECT_LT(r.PointCount, 201);
}

}  // namespace
}  // namespace mdv

namespace mdv {
namespace {

// Ctrl+C in the batch tool answers the stop question; a line of a million
// steps must not have to run to its end.
TEST(StreamLine, TheStopQuestionEndsALongLine) {
  struct StopAt : Observer {
    int Asked = 0;
    int StopAtAsk = 0;  // 0: never
    bool StopRequested() override { return ++Asked == StopAtAsk; }
  };
  Model m = OneRingModel();
  StopAt never;
  const StreamLineResult whole = TraceStreamLine(m, 0.5, 0.5, 1e-5, 0.01, never);
  ASSERT_TRUE(whole.Ok);
  EXPECT_FALSE(whole.Stopped);
  ASSERT_GT(whole.PointCount, 3 * StreamLineStopSteps) << "the line must be long enough to stop";

  StopAt third;
  third.StopAtAsk = 3;
  const StreamLineResult cut = TraceStreamLine(m, 0.5, 0.5, 1e-5, 0.01, third);
  EXPECT_TRUE(cut.Stopped);
  // The question comes before every StreamLineStopSteps-th step.
  EXPECT_EQ(cut.PointCount, 3 * StreamLineStopSteps);
  ASSERT_EQ(m.StreamLineCount, 2);
  EXPECT_EQ(static_cast<int32_t>(m.StreamLines[1].size()), cut.PointCount) << "kept as far as it got";
}

}  // namespace
}  // namespace mdv
