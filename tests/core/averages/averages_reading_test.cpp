// The averages file read back: a file written before the reader changed reads
// whole and writes again to the same bytes; broken files are refused whole.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "core/averages/averages_reading.h"
#include "core/averages/averaging_files.h"

namespace mdv {
namespace {

std::string Fixture() {
  std::ifstream in(std::string(MDV_SOURCE_DIR) + "/tests/data/averages_v1.json", std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(AveragesReading, AnEarlierFileReadsWholeAndWritesTheSameBytes) {
  const std::string text = Fixture();
  ASSERT_FALSE(text.empty());
  AveragingResults r;
  std::string error;
  ASSERT_TRUE(ReadAveragesText(text, r, error)) << error;
  EXPECT_EQ(r.Precision, "double");
  EXPECT_EQ(r.Samples, 3);
  EXPECT_TRUE(r.HasAverages);
  EXPECT_EQ(r.Steps, 81);
  EXPECT_FALSE(r.Steady.StartupOver) << "null start-up end";
  ASSERT_EQ(r.Monitors.size(), 4u);
  EXPECT_EQ(r.Monitors[1].Name, "vx_axis_2B");
  EXPECT_EQ(r.Monitors[1].Mean, 0.25209836745237885);
  EXPECT_EQ(r.Monitors[3].Unit, "м²/с");
  EXPECT_EQ(r.Centreline.front().XOverD, 0.1);
  EXPECT_TRUE(r.Centreline.front().HasModel);
  EXPECT_EQ(r.VortexZone.Measured, 0);
  EXPECT_EQ(r.Field.Grid.Nx, 3);
  EXPECT_EQ(r.Field.Grid.Dy, 0.024999999999999998);
  EXPECT_EQ(r.Field.Grid.Inside, (std::vector<uint8_t>{0, 1, 1, 1, 1, 1}));
  EXPECT_EQ(r.Field.VxMean[1], 0.036335514915924766);
  EXPECT_EQ(r.Field.VxRms[5], 0.018990938331912684) << "the last array's last value";
  EXPECT_EQ(AveragesJson(r), text) << "shortest round-trip decimals, nulls and layout unchanged";
}

TEST(AveragesReading, TheRunsModelAndFreeVortexLimitRoundTrip) {
  AveragingResults r;
  std::string error;
  ASSERT_TRUE(ReadAveragesText(Fixture(), r, error)) << error;
  EXPECT_FALSE(r.HasModelFacts);
  struct Row {
    const char* name;
    std::string model;
    int32_t limit;
    double reached;
  };
  const Row rows[] = {{"refined, limit met", "refined", 4000, 12.345}, {"program, not met", "program", 400, -1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    r.HasModelFacts = true;
    r.FlowModelName = row.model;
    r.FreeLimit = row.limit;
    r.FreeLimitTime = row.reached;
    const std::string text = AveragesJson(r);
    AveragingResults back;
    ASSERT_TRUE(ReadAveragesText(text, back, error)) << error;
    EXPECT_TRUE(back.HasModelFacts);
    EXPECT_EQ(back.FlowModelName, row.model);
    EXPECT_EQ(back.FreeLimit, row.limit);
    EXPECT_EQ(back.FreeLimitTime, row.reached);
    EXPECT_EQ(AveragesJson(back), text);
  }
}

TEST(AveragesReading, BrokenFilesAreRefusedAndChangeNothing) {
  const std::string good = Fixture();
  const auto replaced = [&](const std::string& from, const std::string& to) {
    std::string t = good;
    const size_t at = t.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return t.replace(at, from.size(), to);
  };
  const struct {
    std::string text, why;
  } cases[] = {
      {good.substr(0, good.size() / 2), "не документ JSON"},
      {"[1, 2]", "не файл средних"},
      {replaced("\"version\": 1", "\"version\": 2"), "не файл средних"},
      {replaced("rinfet-mdv-averages", "rinfet-mdv-other"), "не файл средних"},
      {replaced("\"nx\": 3", "\"nx\": 4"), "в массиве inside"},
      {replaced("\"nx\": 3", "\"nx\": 100000000"), "неверная сетка"},
      {replaced("\"dx\": 0.025", "\"dx\": null"), "неверная сетка"},
      {replaced("\"vy_rms\": [0.0,", "\"vy_rms\": ["), "в массиве vy_rms 5"},
  };
  for (const auto& c : cases) {
    AveragingResults r;
    r.Samples = -7;
    std::string error;
    EXPECT_FALSE(ReadAveragesText(c.text, r, error)) << c.why;
    EXPECT_NE(error.find(c.why), std::string::npos) << error;
    EXPECT_EQ(r.Samples, -7) << c.why << ": results untouched";
  }
}

}  // namespace
}  // namespace mdv
