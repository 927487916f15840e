#include "core/analysis/pulsation_stats_stream.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/base/safe_file.h"
#include "core/model/records.h"

namespace mdv {
namespace {

std::string TempFile(const std::string& name) {
  return ::testing::TempDir() + "pulsation_stream_" + std::to_string(::getpid()) + "_" + name;
}

// A record whose Vx drifts from -0,2 to 0 over its first fifth (a start-up)
// on top of an oscillation; the samples are extended values no double holds,
// and the length crosses several reading blocks with a ragged end.
PulsationRecord DriftingRecord(int32_t m) {
  PulsationRecord r;
  r.StartTime = 0.1L;
  r.TimeStep = 0.001L;
  r.Points = {{0.2L, 0.15L}, {-0.1L, 0.3L}};
  r.SampleCount = m;
  r.Vx.assign(2, TRealArray(static_cast<size_t>(m)));
  r.Vy.assign(2, TRealArray(static_cast<size_t>(m)));
  for (int32_t j = 0; j < m; ++j) {
    const long double x = static_cast<long double>(j) / m;
    const long double drift = x < 0.2L ? -0.2L * (1 - x / 0.2L) : 0;
    for (size_t k = 0; k < 2; ++k) {
      r.Vx[k][j] = -1.1L / 3 + drift + 0.05L * std::sin(97.1L * x + k);
      r.Vy[k][j] = 0.3L / 7 + 0.02L * std::cos(311.3L * x * x);
    }
  }
  return r;
}

struct Collected {
  std::vector<double> T, Fx, Fy;
  int Blocks = 0;
};

FluctuationSink Into(Collected& c) {
  return [&c](const double* t, const double* fx, const double* fy, std::size_t n, std::string&) {
    c.T.insert(c.T.end(), t, t + n);
    c.Fx.insert(c.Fx.end(), fx, fx + n);
    c.Fy.insert(c.Fy.end(), fy, fy + n);
    ++c.Blocks;
    return true;
  };
}

class StopAfter : public Observer {
 public:
  explicit StopAfter(int asks) : left_(asks) {}
  bool StopRequested() override { return left_-- <= 0; }

 private:
  int left_;
};

// The streamed figures and series are those of the whole record in memory,
// bit for bit, for either point: same arithmetic, same order.
TEST(PulsationStatsStream, EqualsTheWholeRecordBitForBit) {
  const int32_t m = 3 * 32768 + 17;
  const PulsationRecord r = DriftingRecord(m);
  const std::string path = TempFile("drift.pls");
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(path, EncodePulsationRecord(r), error)) << error;
  for (int32_t k : {0, 1}) {
    SCOPED_TRACE(k);
    PulsationStats whole;
    ASSERT_TRUE(CalcPulsationStats(r, k, whole, error)) << error;
    Observer never;
    PulsationRecord header;
    PulsationStats streamed;
    Collected c;
    ASSERT_TRUE(StreamPulsationStats(path, k, never, header, streamed, Into(c), error)) << error;
    EXPECT_EQ(c.Blocks, 4);
    EXPECT_EQ(header.SampleCount, m);
    EXPECT_EQ(header.StartTime, r.StartTime);
    EXPECT_EQ(header.Points[1].X, r.Points[1].X);
    EXPECT_TRUE(streamed.Times.empty());
    EXPECT_EQ(streamed.MeanVx, whole.MeanVx);
    EXPECT_EQ(streamed.MeanVy, whole.MeanVy);
    EXPECT_EQ(streamed.RmsVx, whole.RmsVx);
    EXPECT_EQ(streamed.RmsVy, whole.RmsVy);
    EXPECT_EQ(streamed.LabVx + streamed.LabVy + streamed.LabVx2 + streamed.LabVy2,
              whole.LabVx + whole.LabVy + whole.LabVx2 + whole.LabVy2);
    EXPECT_EQ(c.T, whole.Times);
    EXPECT_EQ(c.Fx, whole.FluctVx);
    EXPECT_EQ(c.Fy, whole.FluctVy);
    // The drift is in the figures: a mean well below the oscillation's centre.
    EXPECT_LT(streamed.MeanVx, -1.1 / 3 - 0.015);
  }
  std::remove(path.c_str());
}

// Refusals as in memory (the same messages), a stop between blocks (false,
// no message, the sink never fed after it) and a sink's own failure.
TEST(PulsationStatsStream, RefusalsStopsAndSinkFailures) {
  std::string error, whole;
  const std::string path = TempFile("odd.pls");
  Observer never;
  PulsationRecord header;
  PulsationStats s;

  EXPECT_FALSE(StreamPulsationStats(path + ".missing", 0, never, header, s, {}, error));
  EXPECT_NE(error.find(".missing"), std::string::npos) << error;
  PulsationRecord nowhere = DriftingRecord(0);
  nowhere.Points.clear();
  nowhere.Vx.clear();
  nowhere.Vy.clear();
  ASSERT_TRUE(WriteFileAtomically(path, EncodePulsationRecord(nowhere), error)) << error;
  EXPECT_FALSE(CalcPulsationStats(nowhere, 0, s, whole));
  EXPECT_FALSE(StreamPulsationStats(path, 0, never, header, s, {}, error));
  EXPECT_EQ(error, whole);

  PulsationRecord empty = DriftingRecord(0);
  ASSERT_TRUE(WriteFileAtomically(path, EncodePulsationRecord(empty), error)) << error;
  EXPECT_FALSE(CalcPulsationStats(empty, 0, s, whole));
  EXPECT_FALSE(StreamPulsationStats(path, 0, never, header, s, {}, error));
  EXPECT_EQ(error, whole);
  EXPECT_FALSE(StreamPulsationStats(path, 2, never, header, s, {}, error));
  EXPECT_NE(error.find("точек в файле: 2"), std::string::npos) << error;

  // Finite in extended, beyond double: the figures are refused, not shown.
  PulsationRecord huge = DriftingRecord(40);
  huge.Vy[1][7] = 1e400L;
  ASSERT_TRUE(WriteFileAtomically(path, EncodePulsationRecord(huge), error)) << error;
  EXPECT_FALSE(CalcPulsationStats(huge, 1, s, whole));
  EXPECT_FALSE(StreamPulsationStats(path, 1, never, header, s, {}, error));
  EXPECT_EQ(error, whole);
  EXPECT_TRUE(StreamPulsationStats(path, 0, never, header, s, {}, error)) << error;

  const PulsationRecord r = DriftingRecord(2 * 32768 + 5);
  ASSERT_TRUE(WriteFileAtomically(path, EncodePulsationRecord(r), error)) << error;
  // Asked before each read, the last one finding the end: 4 per pass. The
  // 6th ask stops the second pass after its first block.
  for (int asks : {0, 5}) {
    StopAfter stop(asks);
    Collected c;
    EXPECT_FALSE(StreamPulsationStats(path, 1, stop, header, s, Into(c), error));
    EXPECT_TRUE(error.empty()) << error;
    EXPECT_EQ(c.Blocks, asks == 0 ? 0 : 1);
  }
  const FluctuationSink full = [](const double*, const double*, const double*, std::size_t, std::string& why) {
    why = "диск заполнен";
    return false;
  };
  EXPECT_FALSE(StreamPulsationStats(path, 1, never, header, s, full, error));
  EXPECT_EQ(error, "диск заполнен");
  std::remove(path.c_str());
}

}  // namespace
}  // namespace mdv
