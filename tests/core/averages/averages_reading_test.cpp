// The averages file read back: a file written before the reader changed reads
// whole and writes again to the same bytes; broken files are refused whole.
#include <gtest/gtest.h>

#include <cmath>
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

TEST(AveragesReading, TheContractionRoundTripsThroughTheOneReader) {
  AveragingResults w;
  std::string error;
  ASSERT_TRUE(ReadAveragesText(Fixture(), w, error)) << error;
  EXPECT_FALSE(w.Contraction.Present) << "an earlier file has none";
  ContractionSummary& c = w.Contraction;
  c.Present = true;
  c.MouthX = -0.5;
  c.MouthY = 0.15;
  c.WallOffset = 0.01;
  c.Sections = {{-0.4625, 0.125, 0.0706, 0.61234567890123, -0.031}, {-0.425, 0.25, 0.0707, NAN, 0.2}};
  c.HasVenaContracta = true;
  c.VenaX = -0.4625;
  c.VenaXOverD = 0.125;
  c.VenaCc = 0.61234567890123;
  c.JetRadius = 0.1173;
  c.Separated = true;
  c.Reattached = true;
  c.ReattachX = -0.44;
  c.ReattachXOverD = 0.2 / 3;
  const std::string text = AveragesJson(w);
  AveragingResults r;
  ASSERT_TRUE(ReadAveragesText(text, r, error)) << error;
  const ContractionSummary& b = r.Contraction;
  EXPECT_TRUE(b.Present);
  EXPECT_EQ(b.MouthX, -0.5);
  EXPECT_EQ(b.MouthY, 0.15);
  EXPECT_EQ(b.WallOffset, 0.01);
  ASSERT_EQ(b.Sections.size(), 2u);
  for (size_t k = 0; k < 2; ++k) {
    EXPECT_EQ(b.Sections[k].X, c.Sections[k].X) << k;
    EXPECT_EQ(b.Sections[k].XOverD, c.Sections[k].XOverD) << k;
    EXPECT_EQ(b.Sections[k].Flux, c.Sections[k].Flux) << k;
    EXPECT_EQ(b.Sections[k].VxWall, c.Sections[k].VxWall) << k;
  }
  EXPECT_EQ(b.Sections[0].Cc, 0.61234567890123);
  EXPECT_TRUE(std::isnan(b.Sections[1].Cc)) << "null";
  EXPECT_TRUE(b.HasVenaContracta);
  EXPECT_EQ(b.VenaX, c.VenaX);
  EXPECT_EQ(b.VenaXOverD, c.VenaXOverD);
  EXPECT_EQ(b.VenaCc, c.VenaCc);
  EXPECT_EQ(b.JetRadius, c.JetRadius);
  EXPECT_TRUE(b.Separated);
  EXPECT_TRUE(b.Reattached);
  EXPECT_EQ(b.ReattachX, c.ReattachX);
  EXPECT_EQ(b.ReattachXOverD, c.ReattachXOverD);
  EXPECT_EQ(AveragesJson(r), text);
  const std::string earlier = Fixture();
  const size_t grid = earlier.find("  \"grid\"");
  EXPECT_EQ(text.substr(0, grid), earlier.substr(0, grid)) << "the keys before it unchanged";
  EXPECT_EQ(text.substr(text.size() - (earlier.size() - grid)), earlier.substr(grid)) << "the grid unchanged";

  // Neither vena contracta nor reattachment known.
  c.HasVenaContracta = false;
  c.Separated = false;
  c.Reattached = false;
  const std::string unknown = AveragesJson(w);
  EXPECT_NE(unknown.find("\"vena_contracta\": null"), std::string::npos);
  EXPECT_NE(unknown.find("\"x\": null, \"length_over_D\": null"), std::string::npos);
  ASSERT_TRUE(ReadAveragesText(unknown, r, error)) << error;
  EXPECT_FALSE(r.Contraction.HasVenaContracta);
  EXPECT_FALSE(r.Contraction.Separated);
  EXPECT_FALSE(r.Contraction.Reattached);
  EXPECT_EQ(AveragesJson(r), unknown);
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
