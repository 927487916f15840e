// The averages file read back: a file written before the reader changed reads
// whole and writes again to the same bytes; broken files are refused whole.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <utility>

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
  EXPECT_FALSE(r.HasHalfWidths) << "an earlier file has none";
  EXPECT_TRUE(std::isnan(r.Flux.RatioHalfWidth95));
  EXPECT_TRUE(std::isnan(r.Field.VxHalfWidth95[1]));
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
  const Row rows[] = {{"refined, limit met", "refined", 4000, 12.345}, {"program, not met", "program", 400, -1},
                     {"met at t = 0", "program", 10, 0.0}};
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
  // The second section as a file before the jet's edge was measured: no r_zero.
  c.Sections = {{-0.4625, 0.125, 0.0706, 0.61234567890123, -0.031, NAN, NAN, NAN, 0.1234567},
                {-0.425, 0.25, 0.0707, NAN, 0.2}};
  c.HasVenaContracta = true;
  c.VenaX = -0.4625;
  c.VenaXOverD = 0.125;
  c.VenaCc = 0.61234567890123;
  c.JetRadius = 0.1173;
  c.ZetaBC = 0.39804;
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
  EXPECT_EQ(b.Sections[0].ZeroRadius, 0.1234567);
  EXPECT_TRUE(std::isnan(b.Sections[1].ZeroRadius)) << "absent";
  EXPECT_EQ(text.find("\"r_zero\"", text.find("\"x\": -0.425")), std::string::npos) << "not written when not known";
  EXPECT_TRUE(std::isnan(b.Sections[1].Cc)) << "null";
  EXPECT_TRUE(b.HasVenaContracta);
  EXPECT_EQ(b.VenaX, c.VenaX);
  EXPECT_EQ(b.VenaXOverD, c.VenaXOverD);
  EXPECT_EQ(b.VenaCc, c.VenaCc);
  EXPECT_EQ(b.JetRadius, c.JetRadius);
  EXPECT_EQ(b.ZetaBC, 0.39804);
  EXPECT_TRUE(b.Separated);
  EXPECT_TRUE(b.Reattached);
  EXPECT_EQ(b.ReattachX, c.ReattachX);
  EXPECT_EQ(b.ReattachXOverD, c.ReattachXOverD);
  EXPECT_EQ(AveragesJson(r), text);
  const std::string earlier = Fixture();
  const size_t grid = earlier.find("  \"grid\"");
  EXPECT_EQ(text.substr(0, grid), earlier.substr(0, grid)) << "the keys before it unchanged";
  EXPECT_EQ(text.substr(text.size() - (earlier.size() - grid)), earlier.substr(grid)) << "the grid unchanged";
  EXPECT_TRUE(std::isnan(b.ZetaM)) << "a file without the momentum balance";
  EXPECT_TRUE(std::isnan(b.Sections[0].MomentumFlux) && std::isnan(b.Sections[0].EnergyFlux) &&
              std::isnan(b.Sections[0].VxMax));

  // The momentum balance's sums and ζ_M: written where known, read back.
  c.Sections[0].MomentumFlux = 0.0123456789;
  c.Sections[0].EnergyFlux = 0.00234567;
  c.Sections[0].VxMax = 1.6180339887;
  c.Sections[0].AxisHead = 1.25;
  c.Sections[0].PressureIntegral = -0.0031415;
  c.Sections[0].PressureFlux = -0.0027182;
  c.Sections[0].WallPressure = -0.375;
  c.ZetaM = 0.4472135955;
  const std::string balanced = AveragesJson(w);
  EXPECT_NE(balanced.find("\"vx_wall\": -0.031, \"momentum_flux\": 0.0123456789, \"energy_flux\": 0.00234567, "
                          "\"vx_max\": 1.6180339887, \"r_zero\": 0.1234567, \"axis_head\": 1.25, "
                          "\"pressure_integral\": -0.0031415, \"pressure_flux\": -0.0027182, "
                          "\"wall_pressure\": -0.375}"),
            std::string::npos)
      << balanced;
  EXPECT_NE(balanced.find("\"zeta_bc\": 0.39804, \"zeta_m\": 0.4472135955}"), std::string::npos) << balanced;
  ASSERT_TRUE(ReadAveragesText(balanced, r, error)) << error;
  EXPECT_EQ(r.Contraction.Sections[0].MomentumFlux, 0.0123456789);
  EXPECT_EQ(r.Contraction.Sections[0].EnergyFlux, 0.00234567);
  EXPECT_EQ(r.Contraction.Sections[0].VxMax, 1.6180339887);
  EXPECT_EQ(r.Contraction.Sections[0].AxisHead, 1.25);
  EXPECT_EQ(r.Contraction.Sections[0].PressureIntegral, -0.0031415);
  EXPECT_EQ(r.Contraction.Sections[0].PressureFlux, -0.0027182);
  EXPECT_EQ(r.Contraction.Sections[0].WallPressure, -0.375);
  EXPECT_TRUE(std::isnan(r.Contraction.Sections[1].MomentumFlux)) << "not measured there";
  EXPECT_TRUE(std::isnan(r.Contraction.Sections[1].PressureIntegral)) << "not measured there";
  EXPECT_EQ(r.Contraction.ZetaM, 0.4472135955);
  EXPECT_EQ(AveragesJson(r), balanced);
  c.Sections[0].MomentumFlux = c.Sections[0].EnergyFlux = c.Sections[0].VxMax = NAN;
  c.Sections[0].AxisHead = c.Sections[0].PressureIntegral = c.Sections[0].PressureFlux = NAN;
  c.Sections[0].WallPressure = NAN;
  c.ZetaM = NAN;

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
      {replaced("\"x0\": ", "\"x0\": null, \"was\": "), "неверная сетка"},
      {replaced("\"nx\": 3", "\"nx\": 1"), "неверная сетка"},
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

// Figures no run can give, each refused with its key named (Russian, no text
// of the JSON library), the results left untouched.
TEST(AveragesReading, ImpossibleTracerFiguresAreRefusedWithTheirKey) {
  const std::string good =
      "{\"format\": \"rinfet-mdv-averages\", \"version\": 1, \"samples\": 3,\n"
      " \"tracers\": {\"horizon\": 10.0, \"release_every\": 0.25, \"far_radius\": 3.0, \"stride\": 10,\n"
      "  \"sources\": [{\"x\": -0.1, \"y\": 0.05, \"released\": 7, \"caught\": 3, \"lost\": 1, "
      "\"expired\": 2, \"in_flight\": 1, \"caught_fraction\": 0.5, \"median_capture_time\": 1.25}]}}";
  {
    AveragingResults r;
    std::string error;
    ASSERT_TRUE(ReadAveragesText(good, r, error)) << error;
    EXPECT_TRUE(r.Tracers.Present);
    ASSERT_EQ(r.Tracers.Sources.size(), 1u);
    EXPECT_EQ(r.Tracers.Sources[0].InFlight, 1);
    EXPECT_EQ(r.Tracers.Sources[0].MedianTime, 1.25);
  }
  const auto in = [](std::string t, const std::string& from, const std::string& to) {
    const size_t at = t.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return t.replace(at, from.size(), to);
  };
  const auto with = [&](const std::string& from, const std::string& to) { return in(good, from, to); };
  const struct {
    std::string text, key, detail = "";
  } cases[] = {
      {with("\"caught\": 3", "\"caught\": \"3\""), "tracers.sources[0].caught"},
      {with("\"caught\": 3", "\"caught\": 2.5"), "tracers.sources[0].caught"},
      {with("\"caught\": 3", "\"caught\": 1e30"), "tracers.sources[0].caught"},
      {with("\"released\": 7", "\"released\": -1"), "tracers.sources[0].released"},
      {with("\"released\": 7", "\"released\": 6"), "tracers.sources[0].released", "(7)"},
      {with("\"in_flight\": 1", "\"in_flight\": 9007199254740993"), "tracers.sources[0].in_flight"},
      {with("\"caught\": 3, \"lost\": 1, \"expired\": 2, \"in_flight\": 1",
            "\"caught\": 0, \"lost\": 0, \"expired\": 0, \"in_flight\": 7"),
       "tracers.sources[0].caught_fraction", "ни один маркер"},
      {with("\"in_flight\": 1", "\"in_flight\": 0"), "tracers.sources[0].released"},
      {with("\"horizon\": 10.0", "\"horizon\": null"), "tracers.horizon"},
      {with("\"x\": -0.1", "\"x\": null"), "tracers.sources[0].x"},
      {with("\"caught_fraction\": 0.5", "\"caught_fraction\": 5"), "tracers.sources[0].caught_fraction"},
      {with("\"caught_fraction\": 0.5", "\"caught_fraction\": 0.7"), "tracers.sources[0].caught_fraction"},
      {with("\"median_capture_time\": 1.25", "\"median_capture_time\": -3"),
       "tracers.sources[0].median_capture_time"},
      {with("\"median_capture_time\": 1.25", "\"median_capture_time\": 10.5"),
       "tracers.sources[0].median_capture_time"},
      {with("\"caught\": 3, \"lost\": 1", "\"caught\": 0, \"lost\": 4"), "tracers.sources[0].caught_fraction"},
      {with("\"samples\": 3", "\"samples\": 1.5"), "samples"},
      {with("\"far_radius\": 3.0", "\"far_radius\": 1e400"), "far_radius"},
  };
  for (const auto& c : cases) {
    AveragingResults r;
    r.Samples = -7;
    std::string error;
    EXPECT_FALSE(ReadAveragesText(c.text, r, error)) << c.text;
    EXPECT_NE(error.find("«" + c.key + "»"), std::string::npos) << c.key << ": " << error;
    EXPECT_NE(error.find(c.detail), std::string::npos) << c.key << ": " << error;
    for (const char* english : {"number", "overflow", "parse", "type"})
      EXPECT_EQ(error.find(english), std::string::npos) << "the library's English: " << error;
    EXPECT_EQ(r.Samples, -7) << c.key;
  }
  // Nothing caught: neither a fraction nor a median time is known.
  // A whole float is a count too (0.0).
  const std::string none = with("\"caught\": 3, \"lost\": 1", "\"caught\": 0.0, \"lost\": 4");
  AveragingResults r;
  std::string error;
  EXPECT_TRUE(ReadAveragesText(in(in(none, "\"caught_fraction\": 0.5", "\"caught_fraction\": null"),
                                  "\"median_capture_time\": 1.25", "\"median_capture_time\": null"),
                               r, error))
      << error;
  EXPECT_FALSE(r.Tracers.Sources.at(0).Known);
}

// Results in which every figure differs from every other, so that a value
// written under another key or at another index shows.
AveragingResults Distinct() {
  AveragingResults r;
  r.Precision = "double";
  r.HasAverages = true;
  r.StartTime = 1.25;
  r.EndTime = 3.5;
  r.Samples = 17;
  r.SampleEverySteps = 3;
  r.Steps = 101;
  r.Steady.Reached = true;
  r.Steady.StartupOver = true;
  r.Steady.StartupEnd = 0.75L;
  r.Steady.Tolerance = 0.04;
  r.Steady.Text = "режим \"у\"\tстановился";
  for (int i = 0; i < MonitorCount; ++i)
    r.Monitors.push_back({MonitorNames[i], i == 3 ? "м²/с" : "м/с", i != 2, 0.1 + i, 0.01 * (i + 1), 0.001 * (i + 7), 40 + i});
  for (int k = 0; k < 3; ++k) {
    CentrelineRow c;
    c.XOverD = 0.5 * (k + 1);
    c.HasModel = k != 1;
    c.Model = 0.3 - 0.1 * k;
    c.DiscSink = 0.25 - 0.1 * k;
    c.DallaValleFlanged = 0.21 - 0.1 * k;
    c.DallaVallePlain = 0.17 - 0.1 * k;
    r.Centreline.push_back(c);
  }
  r.Flux = {true, 0.45, 0.061, 0.0625, 0.976};
  r.VortexZone.Measured = 5;
  r.VortexZone.Failed = 2;
  r.VortexZone.EverySamples = 4;
  for (int d = 0; d < ZoneDimensionCount; ++d) r.VortexZone.Dimensions[static_cast<size_t>(d)] = {0.5 + d, 0.05 * (d + 1)};
  AveragingGrid& g = r.Field.Grid;
  g = {-0.6, 0.0, 0.2, 0.05, 3, 2, {1, 0, 1, 1, 1, 0}};
  for (int a = 0; a < 6; ++a) {
    std::vector<double>* arrays[6] = {&r.Field.VxMean, &r.Field.VyMean, &r.Field.SpeedMean,
                                      &r.Field.VxRms,  &r.Field.VyRms,  &r.Field.SpeedRms};
    for (int k = 0; k < 6; ++k) arrays[a]->push_back(10 * a + k + 0.125);
  }
  // Half-widths: vx known at two points, vy at none (the array null), the
  // speed at all; the middle station's model value is behind the plane.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  r.Field.VxHalfWidth95 = {0.5, nan, 0.75, nan, nan, nan};
  r.Field.VyHalfWidth95.assign(6, nan);
  r.Field.SpeedHalfWidth95 = {1.5, 2.5, 3.5, 4.5, 5.5, 6.5};
  r.CentrelineHalfWidth95 = {0.0625, 0.5, nan};
  r.Flux.RatioHalfWidth95 = 0.03125;
  return r;
}

TEST(AveragesFiles, EveryFigureUnderItsKeyAndBack) {
  const AveragingResults r = Distinct();
  const std::string text = AveragesJson(r);
  // Read by a JSON parser of its own, not by the program's reader.
  const nlohmann::json j = nlohmann::json::parse(text);
  EXPECT_EQ(j["precision"], "double");
  EXPECT_EQ(j["start_time"], 1.25);
  EXPECT_EQ(j["end_time"], 3.5);
  EXPECT_EQ(j["samples"], 17);
  EXPECT_EQ(j["sample_every_steps"], 3);
  EXPECT_EQ(j["steps"], 101);
  EXPECT_EQ(j["steady"]["reached"], true);
  EXPECT_EQ(j["steady"]["startup_end"], 0.75);
  EXPECT_EQ(j["steady"]["tolerance"], 0.04);
  EXPECT_EQ(j["steady"]["verdict"], r.Steady.Text);
  ASSERT_EQ(j["monitors"].size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const auto& m = j["monitors"][i];
    EXPECT_EQ(m["name"], MonitorNames[i]);
    EXPECT_EQ(m["unit"], r.Monitors[i].Unit);
    EXPECT_EQ(m["samples"], 40 + i);
    if (i == 2) {
      EXPECT_TRUE(m["mean"].is_null() && m["half_width_95"].is_null() && m["relative_half_width"].is_null());
    } else {
      EXPECT_EQ(m["mean"], r.Monitors[i].Mean);
      EXPECT_EQ(m["half_width_95"], r.Monitors[i].HalfWidth95);
      EXPECT_EQ(m["relative_half_width"], r.Monitors[i].RelativeHalfWidth);
    }
  }
  ASSERT_EQ(j["centreline"].size(), 3u);
  for (size_t k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    const auto& c = j["centreline"][k];
    EXPECT_EQ(c["x_over_D"], r.Centreline[k].XOverD);
    if (k == 1) EXPECT_TRUE(c["model"].is_null());
    else EXPECT_EQ(c["model"], r.Centreline[k].Model);
    EXPECT_EQ(c["disc_sink"], r.Centreline[k].DiscSink);
    EXPECT_EQ(c["dallavalle_flanged"], r.Centreline[k].DallaValleFlanged);
    EXPECT_EQ(c["dallavalle_plain"], r.Centreline[k].DallaVallePlain);
  }
  EXPECT_EQ(j["centreline"][0]["model_half_width_95"], 0.0625);
  EXPECT_TRUE(j["centreline"][1]["model_half_width_95"].is_null()) << "no model value, no half-width";
  EXPECT_TRUE(j["centreline"][2]["model_half_width_95"].is_null()) << "not trusted";
  EXPECT_EQ(j["flux"]["ratio_half_width_95"], 0.03125);
  EXPECT_EQ(j["flux"]["x"], 0.45);
  EXPECT_EQ(j["flux"]["flux"], 0.061);
  EXPECT_EQ(j["flux"]["reference"], 0.0625);
  EXPECT_EQ(j["flux"]["ratio"], 0.976);
  EXPECT_EQ(j["vortex_zone"]["measured"], 5);
  EXPECT_EQ(j["vortex_zone"]["failed"], 2);
  EXPECT_EQ(j["vortex_zone"]["every_samples"], 4);
  for (int d = 0; d < ZoneDimensionCount; ++d) {
    const auto& z = j["vortex_zone"]["dimensions"][ZoneDimensionKeys[d]];
    EXPECT_EQ(z["mean"], 0.5 + d) << ZoneDimensionKeys[d];
    EXPECT_EQ(z["sd"], 0.05 * (d + 1)) << ZoneDimensionKeys[d];
  }
  const auto& g = j["grid"];
  EXPECT_EQ(g["x0"], -0.6);
  EXPECT_EQ(g["y0"], 0.0);
  EXPECT_EQ(g["dx"], 0.2);
  EXPECT_EQ(g["dy"], 0.05);
  EXPECT_EQ(g["nx"], 3);
  EXPECT_EQ(g["ny"], 2);
  EXPECT_EQ(g["inside"], (std::vector<int>{1, 0, 1, 1, 1, 0}));
  const char* names[6] = {"vx_mean", "vy_mean", "speed_mean", "vx_rms", "vy_rms", "speed_rms"};
  for (int a = 0; a < 6; ++a)
    for (int k = 0; k < 6; ++k) EXPECT_EQ(g[names[a]][k], 10 * a + k + 0.125) << names[a] << "[" << k << "]";
  EXPECT_EQ(g["vx_mean_half_width_95"].dump(), "[0.5,null,0.75,null,null,null]");
  EXPECT_TRUE(g["vy_mean_half_width_95"].is_null()) << "none known";
  for (int k = 0; k < 6; ++k) EXPECT_EQ(g["speed_mean_half_width_95"][k], 1.5 + k);

  // The program's reader gives every figure back: the same text again.
  AveragingResults back;
  std::string error;
  ASSERT_TRUE(ReadAveragesText(text, back, error)) << error;
  EXPECT_EQ(AveragesJson(back), text);
  EXPECT_EQ(back.Monitors[3].Unit, "м²/с");
  EXPECT_FALSE(back.Monitors[2].Known);
  EXPECT_EQ(back.Field.VyRms[5], 45.125);
  EXPECT_EQ(back.VortexZone.Dimensions[6].Sd, 0.05 * 7);
  EXPECT_EQ(back.Field.SpeedHalfWidth95[5], 6.5);
  // An array written as null reads back as one unknown per grid point.
  ASSERT_EQ(back.Field.VyHalfWidth95.size(), 6u);
  for (double v : back.Field.VyHalfWidth95) EXPECT_TRUE(std::isnan(v));
  EXPECT_EQ(back.CentrelineHalfWidth95[0], 0.0625);
  EXPECT_EQ(back.Flux.RatioHalfWidth95, 0.03125);

  // Nothing averaged and no start-up end: nulls, and they read back so.
  AveragingResults none = r;
  none.HasAverages = false;
  none.Samples = 0;
  none.Steady.StartupOver = false;
  none.Flux.Valid = false;
  none.VortexZone.Measured = 0;
  const nlohmann::json n = nlohmann::json::parse(AveragesJson(none));
  EXPECT_TRUE(n["start_time"].is_null());
  EXPECT_TRUE(n["steady"]["startup_end"].is_null());
  EXPECT_TRUE(n["flux"]["ratio"].is_null() && n["flux"]["x"].is_null());
  EXPECT_TRUE(n["vortex_zone"]["dimensions"]["lmax"]["mean"].is_null());
  ASSERT_TRUE(ReadAveragesText(AveragesJson(none), back, error)) << error;
  EXPECT_FALSE(back.HasAverages);
  EXPECT_FALSE(back.Steady.StartupOver);
  EXPECT_FALSE(back.Flux.Valid);
}

// The caught fraction on the field file's grid, worked by hand: a tracer
// grid of the field's spacing, four nodes wide on a field three wide. Node 0
// caught 0,25; node 1 has no decided fate and node 2 no source (both −1);
// node 3 lies beyond the field and must not spill into its next row.
TEST(AveragesFiles, CaptureFractionOnTheFieldGrid) {
  AveragingResults r = Distinct();
  r.Tracers.Present = true;
  r.Tracers.Horizon = 10;
  r.Tracers.Sources.resize(3);
  // Fractions the counts give: 1 of 4 and 3 of 4 caught.
  r.Tracers.Sources[0] = {{}, 4, 1, 3, 0, 0, true, 0.25, true, 1.5};
  r.Tracers.Sources[2] = {{}, 5, 3, 0, 1, 1, true, 0.75, true, 2.5};
  r.Tracers.Grid = {-0.6, 0.0, 0.2, 0.05, 4, 1, {0, 1, -1, 2}};
  const std::string vti = FieldVti(r);
  const size_t at = vti.find("Name=\"capture_fraction\"");
  ASSERT_NE(at, std::string::npos);
  std::istringstream in(vti.substr(vti.find('>', at) + 1));
  std::vector<std::string> values;
  for (std::string v; values.size() < 7 && in >> v;) values.push_back(v);
  EXPECT_EQ(values, (std::vector<std::string>{"0.25", "-1.0", "-1.0", "-1.0", "-1.0", "-1.0", "</DataArray>"}));

  // A grid one row or one column wide reads back; an index past the sources as none.
  for (const auto& [nx, ny] : {std::pair{4, 1}, std::pair{1, 4}}) {
    AveragingResults w = r;
    w.Tracers.Grid.Nx = nx;
    w.Tracers.Grid.Ny = ny;
    w.Tracers.Grid.Source = {0, 1, -1, 7};
    AveragingResults back;
    std::string error;
    ASSERT_TRUE(ReadAveragesText(AveragesJson(w), back, error)) << nx << " × " << ny << ": " << error;
    EXPECT_EQ(back.Tracers.Grid.Nx, nx);
    EXPECT_EQ(back.Tracers.Grid.Ny, ny);
    EXPECT_EQ(back.Tracers.Grid.Source, (std::vector<int32_t>{0, 1, -1, -1}));
  }
}

TEST(AveragesFiles, CsvAndVtiHoldEveryPoint) {
  const AveragingResults r = Distinct();
  const std::string csv = FieldCsv(r);
  EXPECT_EQ(csv,
            "x [m];y [m];inside;vx_mean [m/s];vy_mean [m/s];speed_mean [m/s];vx_rms [m/s];vy_rms [m/s];speed_rms [m/s]\n"
            "-0,6;0;1;0,125;10,125;20,125;30,125;40,125;50,125\n"
            "-0,4;0;0;1,125;11,125;21,125;31,125;41,125;51,125\n"
            "-0,2;0;1;2,125;12,125;22,125;32,125;42,125;52,125\n"
            "-0,6;0,05;1;3,125;13,125;23,125;33,125;43,125;53,125\n"
            "-0,4;0,05;1;4,125;14,125;24,125;34,125;44,125;54,125\n"
            "-0,2;0,05;0;5,125;15,125;25,125;35,125;45,125;55,125\n");
  const std::string vti = FieldVti(r);
  EXPECT_NE(vti.find("WholeExtent=\"0 2 0 1 0 0\" Origin=\"-0.6 0.0 0\" Spacing=\"0.2 0.05 1\""), std::string::npos) << vti;
  EXPECT_NE(vti.find("Name=\"vy_rms\" format=\"ascii\">\n          40.125 41.125 42.125 43.125 44.125 45.125\n"),
            std::string::npos)
      << vti;
  EXPECT_NE(vti.find("NumberOfComponents=\"3\" format=\"ascii\">\n          0.125 10.125 0.0 1.125 11.125 0.0 2.125 12.125 0.0 "
                     "3.125 13.125 0.0 4.125 14.125 0.0 5.125 15.125 0.0\n"),
            std::string::npos)
      << vti;
  EXPECT_NE(vti.find("Name=\"inside\" format=\"ascii\">\n          1 0 1 1 1 0\n"), std::string::npos) << vti;
}

}  // namespace
}  // namespace mdv
