#include "core/analysis/pulsation_stats.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "core/base/bytes.h"
#include "core/model/records.h"
#include "core/base/safe_file.h"

namespace mdv {
namespace {

PulsationRecord Record(const TRealArray& vx, const TRealArray& vy) {
  PulsationRecord r;
  r.StartTime = 0.5L;
  r.TimeStep = 0.005L;
  r.Points = {{0.2L, 0.15L}, {-0.1L, 0.3L}};
  r.SampleCount = static_cast<int32_t>(vx.size());
  // Point 1 carries the series under test; point 0 something else.
  TRealArray other(vx.size(), 7.0L);
  r.Vx = {other, vx};
  r.Vy = {other, vy};
  return r;
}

std::string TempFile(const std::string& name) { return ::testing::TempDir() + "pulsation_stats_" + std::to_string(::getpid()) + "_" + name; }

bool WriteBytes(const std::string& path, const Bytes& b) {
  std::string error;
  return WriteFileAtomically(path, b, error);
}

TEST(PulsationStats, ConstantSeriesHasNoFluctuation) {
  const PulsationRecord r = Record(TRealArray(9, 1.25L), TRealArray(9, -0.4L));
  PulsationStats s;
  std::string error;
  ASSERT_TRUE(CalcPulsationStats(r, 1, s, error)) << error;
  // 1,25 is exact in 64 bits: the fluctuations vanish exactly. -0,4 is not:
  // its 64-bit mean differs from the extended samples in the last places, so
  // the curve lies within 1e-16 of the zero line and the label still reads 0.
  EXPECT_EQ(s.MeanVx, 1.25);
  EXPECT_EQ(s.RmsVx, 0.0);
  EXPECT_LT(s.RmsVy, 1e-16);
  ASSERT_EQ(s.FluctVx.size(), 9u);
  for (size_t j = 0; j < 9; ++j) {
    EXPECT_EQ(s.FluctVx[j], 0.0) << "j = " << j;
    EXPECT_LT(std::fabs(s.FluctVy[j]), 1e-16) << "j = " << j;
  }
  EXPECT_EQ(s.LabVx, "<Vx> = 1,25000");
  EXPECT_EQ(s.LabVy2, "Среднекв. значение попереч. пульсации = 0,00000");
  EXPECT_EQ(s.LabVx2, "Среднекв. значение прод. пульсации = 0,00000");
}

TEST(PulsationStats, KnownSeriesUsesThePopulationForm) {
  // Vx = 1, 2, 3, 4: mean 2,5, squares 2,25 + 0,25 + 0,25 + 2,25 = 5, divided
  // by M = 4 (not 3): sqrt(1,25).
  const PulsationRecord r = Record({1, 2, 3, 4}, {0.5L, -0.5L, 0.5L, -0.5L});
  PulsationStats s;
  std::string error;
  ASSERT_TRUE(CalcPulsationStats(r, 1, s, error)) << error;
  EXPECT_EQ(s.MeanVx, 2.5);
  EXPECT_EQ(s.MeanVy, 0.0);
  EXPECT_DOUBLE_EQ(s.RmsVx, std::sqrt(1.25));
  EXPECT_DOUBLE_EQ(s.RmsVy, 0.5);
  const double fx[] = {-1.5, -0.5, 0.5, 1.5};
  for (size_t j = 0; j < 4; ++j) {
    EXPECT_EQ(s.FluctVx[j], fx[j]) << "j = " << j;
    // t_j = j·TimeStep + StartTime, the record's own times.
    EXPECT_DOUBLE_EQ(s.Times[j], 0.5 + 0.005 * static_cast<double>(j)) << "j = " << j;
  }
  EXPECT_EQ(s.LabVx, "<Vx> = 2,50000");
  EXPECT_EQ(s.LabVy, "<Vy> = 0,00000");
  EXPECT_EQ(s.LabVx2, "Среднекв. значение прод. пульсации = 1,11803");
  EXPECT_EQ(s.LabVy2, "Среднекв. значение попереч. пульсации = 0,50000");
}

TEST(PulsationStats, RecordsThatCannotBeChartedAreReported) {
  struct Row {
    const char* name;
    PulsationRecord record;
    int32_t point;
    std::string message;
  };
  PulsationRecord noPoints;
  noPoints.SampleCount = 5;
  PulsationRecord noSamples = Record({}, {});
  const Row rows[] = {
      {"no points", noPoints, 0, NoPulsationPointsText},
      {"no samples", noSamples, 0, NoPulsationSamplesText},
      {"point past the end", Record({1}, {1}), 2, ""},
      {"negative point", Record({1}, {1}), -1, ""},
  };
  for (const Row& row : rows) {
    PulsationStats s;
    s.MeanVx = 42;
    std::string error;
    EXPECT_FALSE(CalcPulsationStats(row.record, row.point, s, error)) << row.name;
    EXPECT_FALSE(error.empty()) << row.name;
    if (!row.message.empty()) {
      EXPECT_EQ(error, row.message) << row.name;
    }
    EXPECT_EQ(s.MeanVx, 42) << row.name << ": untouched";
  }
}

TEST(PulsationStats, PointLinesAndFileLabel) {
  EXPECT_EQ(PulsationPointLine(0, {0.2L, 0.15L}), "1: (0,2; 0,15)");
  EXPECT_EQ(PulsationPointLine(11, {-0.05L, 0}), "12: (-0,05; 0)");
  EXPECT_EQ(RecordFileLabel("/tmp/runs/pulsate.pls"), "Имя файла: pulsate.pls");
  EXPECT_EQ(RecordFileLabel("pulsate.pls"), "Имя файла: pulsate.pls");
}

TEST(PulsationStats, LoaderRejectsShortAndInconsistentFiles) {
  const Bytes good = EncodePulsationRecord(Record({1, 2, 3}, {4, 5, 6}));
  ASSERT_EQ(good.size(), 28u + 2 * 24 + 20 * 3 * 2);
  const std::string path = TempFile("r.pls");

  ASSERT_TRUE(WriteBytes(path, good));
  PulsationRecord r;
  std::string error;
  ASSERT_TRUE(LoadPulsationRecord(path, r, error)) << error;
  ASSERT_EQ(r.SampleCount, 3);
  EXPECT_EQ(r.Vx[1][2], 3);
  EXPECT_EQ(r.Vy[1][0], 4);

  auto withInt = [&](size_t at, int32_t v) {
    Bytes b = good;
    PutInt32(&b[at], v);
    return b;
  };
  const size_t mAt = 24 + 2 * 24;
  struct Row {
    const char* name;
    Bytes data;
  };
  const Row rows[] = {
      {"empty", {}},
      {"shorter than the header", Bytes(good.begin(), good.begin() + 20)},
      {"one byte short", Bytes(good.begin(), good.end() - 1)},
      {"one byte too many", [&] { Bytes b = good; b.push_back(0); return b; }()},
      {"negative point count", withInt(20, -1)},
      {"point count past the file", withInt(20, 1000000)},
      {"negative sample count", withInt(mAt, -3)},
      {"sample count past the file", withInt(mAt, 0x7fffffff)},
      {"sample count one too many", withInt(mAt, 4)},
  };
  for (const Row& row : rows) {
    ASSERT_TRUE(WriteBytes(path, row.data)) << row.name;
    PulsationRecord kept;
    kept.SampleCount = 77;
    EXPECT_FALSE(LoadPulsationRecord(path, kept, error)) << row.name;
    EXPECT_NE(error.find(path), std::string::npos) << row.name << ": " << error;
    EXPECT_EQ(kept.SampleCount, 77) << row.name << ": the record must stay as it was";
  }
  PulsationRecord kept;
  EXPECT_FALSE(LoadPulsationRecord(TempFile("missing.pls"), kept, error));
  EXPECT_FALSE(error.empty());
  std::remove(path.c_str());
}

TEST(CirculationSeries, ScaledToASpeedAndAlwaysPositive) {
  TrackRecord r;
  r.StartTime = 0.5L;
  r.TimeStep = 0.005L;
  r.Spacing = 0.01L;
  r.Gammas = {0.0314L, -0.0628L, 0};
  const std::string path = TempFile("t.fvt");
  ASSERT_TRUE(WriteBytes(path, EncodeTrackRecord(r)));
  TrackRecord loaded;
  std::string error;
  ASSERT_TRUE(LoadTrackRecord(path, loaded, error)) << error;
  CirculationSeries s;
  ASSERT_TRUE(CalcCirculationSeries(loaded, s, error)) << error;
  ASSERT_EQ(s.T.size(), 3u);
  const Real twoPiDelta = 2 * Pi * 0.01L;
  EXPECT_EQ(s.T[0], 0.5L);
  EXPECT_EQ(s.T[1], 1 * 0.005L + 0.5L);
  EXPECT_EQ(s.Y[0], 0.0314L / twoPiDelta);
  EXPECT_EQ(s.Y[1], 0.0628L / twoPiDelta);  // a negative circulation charted positive
  EXPECT_EQ(s.Y[2], 0);
  std::remove(path.c_str());
}

TEST(CirculationSeries, BadRecordsAreRejected) {
  TrackRecord r;
  r.Spacing = 0.01L;
  r.Gammas = {1, 2};
  const Bytes good = EncodeTrackRecord(r);
  auto withN = [&](int32_t n) {
    Bytes b = good;
    PutInt32(&b[0], n);
    return b;
  };
  struct Row {
    const char* name;
    Bytes data;
  };
  const Row rows[] = {
      {"shorter than the header", Bytes(good.begin(), good.begin() + 30)},
      {"one byte short", Bytes(good.begin(), good.end() - 1)},
      {"negative count", withN(-1)},
      {"count past the file", withN(3)},
      {"huge count", withN(0x7fffffff)},
  };
  const std::string path = TempFile("bad.fvt");
  for (const Row& row : rows) {
    ASSERT_TRUE(WriteBytes(path, row.data));
    TrackRecord kept;
    kept.Spacing = 5;
    std::string error;
    EXPECT_FALSE(LoadTrackRecord(path, kept, error)) << row.name;
    EXPECT_FALSE(error.empty()) << row.name;
    EXPECT_EQ(kept.Spacing, 5) << row.name;
  }
  std::remove(path.c_str());

  // A spacing of zero would divide by zero: refused, nothing computed.
  TrackRecord zero = r;
  zero.Spacing = 0;
  CirculationSeries s;
  std::string error;
  EXPECT_FALSE(CalcCirculationSeries(zero, s, error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(s.Y.empty());
}

}  // namespace
}  // namespace mdv
