// The spectra of a pulsation point with the start-up left out: the record in
// memory and the record streamed from its file give the same bits; a given
// start time picks the first sample at or after it; a stop ends the reading.
#include "core/averages/record_spectrum.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>

#include "core/averages/steady_state.h"
#include "core/base/safe_file.h"

namespace mdv {
namespace {

// Three points, 4000 samples at 0,005 s from t = 2 s; point 1's Vx drifts
// from −0,2 to 0 over the first 2,5 s, then carries 0,05 m/s at 12,5 Hz.
PulsationRecord StartUpRecord() {
  PulsationRecord r;
  r.StartTime = 2;
  r.TimeStep = 0.005L;
  r.Points = {{0.1L, 0.1L}, {-0.2L, 0.1L}, {-0.3L, 0.2L}};
  const int m = 4000;
  r.SampleCount = m;
  r.Vx.assign(3, TRealArray(m, 0.5L));
  r.Vy.assign(3, TRealArray(m, 0.0L));
  for (int j = 0; j < m; ++j) {
    const double t = j * 0.005;
    r.Vx[1][j] = 0.05 * std::sin(2 * std::numbers::pi * 12.5 * t) + 0.01 * std::cos(7.3 * j) +
                 (t < 2.5 ? -0.2 * (1 - t / 2.5) : 0.0);
    r.Vy[1][j] = 0.1 * std::sin(2 * std::numbers::pi * 30 * t) + 0.02 * std::cos(3.1 * j);
  }
  return r;
}

std::string WriteRecord(const PulsationRecord& r) {
  const std::string path = ::testing::TempDir() + "record_spectrum_" + std::to_string(::getpid()) + ".pls";
  std::string error;
  EXPECT_TRUE(WriteFileAtomically(path, EncodePulsationRecord(r), error)) << error;
  return path;
}

class StopAfter : public Observer {
 public:
  explicit StopAfter(int n) : left_(n) {}
  bool StopRequested() override { return ++asked_, left_-- <= 0; }
  int asked_ = 0;

 private:
  int left_;
};

TEST(RecordSpectrum, StreamedEqualsInMemoryWithTheStartUpLeftOut) {
  const PulsationRecord r = StartUpRecord();
  const std::string path = WriteRecord(r);
  PulsationSpectra a, b;
  SpectrumStart sa, sb;
  PulsationRecord header;
  std::string error;
  ASSERT_TRUE(RecordSpectra(r, 1, std::nullopt, a, sa, error)) << error;
  ASSERT_TRUE(StreamRecordSpectra(path, 1, std::nullopt, NullObserver(), header, b, sb, error)) << error;
  // The start-up ends where MSER-5 puts it on Vx and Vy (the later).
  std::vector<double> vx(r.Vx[1].begin(), r.Vx[1].end()), vy(r.Vy[1].begin(), r.Vy[1].end());
  const Truncation tx = Mser5(vx), ty = Mser5(vy);
  ASSERT_TRUE(tx.Found && ty.Found);
  EXPECT_TRUE(sa.Detected);
  EXPECT_EQ(sa.First, std::max(tx.Start, ty.Start));
  EXPECT_GE(sa.First, 400) << "the drift of the first 2,5 s (500 samples) is mostly left out";
  EXPECT_EQ(sb.First, sa.First);
  EXPECT_EQ(sb.Time, sa.Time);
  EXPECT_DOUBLE_EQ(sa.Time, 2 + 0.005 * static_cast<double>(sa.First));
  EXPECT_EQ(b.Vx.Density, a.Vx.Density);
  EXPECT_EQ(b.Vy.Density, a.Vy.Density);
  EXPECT_EQ(header.SampleCount, r.SampleCount);
  EXPECT_EQ(PeakText("Vx", a.Vx), "Пик спектра Vx: 12,5 Гц");
  EXPECT_EQ(SpectrumStartText(sa).rfind("Спектр с t = ", 0), 0u);
  std::remove(path.c_str());
}

TEST(RecordSpectrum, GivenStartAndItsBounds) {
  const PulsationRecord r = StartUpRecord();
  const std::string path = WriteRecord(r);
  struct Row {
    const char* name;
    Real from;
    int64_t first;
    bool ok;
  };
  for (const Row& row : {Row{"on a sample", 2 + 3 * 0.005L, 3, true}, Row{"just after it", 2 + 3.01L * 0.005L, 4, true},
                         Row{"before the record", -5, 0, true}, Row{"16 samples left", 2 + 3984 * 0.005L, 3984, true},
                         Row{"15 samples left", 2 + 3985 * 0.005L, 3985, false},
                         Row{"after the record", 1e6, 4000, false}}) {
    SCOPED_TRACE(row.name);
    PulsationSpectra s;
    SpectrumStart start;
    std::string error;
    EXPECT_EQ(RecordSpectra(r, 1, row.from, s, start, error), row.ok) << error;
    EXPECT_TRUE(start.Given);
    EXPECT_EQ(start.First, row.first);
    if (row.ok) {
      EXPECT_EQ(s.FirstSample, row.first);
    } else {
      EXPECT_EQ(error, TooFewSpectrumSamplesText);
    }
    // Streamed from the file: the same verdict and the same bits.
    PulsationSpectra streamed;
    SpectrumStart start2;
    PulsationRecord header;
    std::string error2;
    EXPECT_EQ(StreamRecordSpectra(path, 1, row.from, NullObserver(), header, streamed, start2, error2), row.ok)
        << error2;
    EXPECT_EQ(start2.First, row.first);
    EXPECT_EQ(error2, error);
    if (row.ok) {
      EXPECT_EQ(streamed.Vx.Density, s.Vx.Density);
    }
  }
  std::remove(path.c_str());
}

// A point the record does not have, in memory or in the file, or whose rows
// are missing: refused with the point's number from 1.
TEST(RecordSpectrum, PointsTheRecordLacks) {
  PulsationRecord r = StartUpRecord();
  const std::string path = WriteRecord(r);
  for (const int32_t k : {3, -1}) {
    SCOPED_TRACE(k);
    const std::string message = "Нет точки с номером " + std::to_string(k + 1) + " (точек в файле: 3)";
    PulsationSpectra s;
    SpectrumStart start;
    PulsationRecord header;
    std::string error;
    EXPECT_FALSE(RecordSpectra(r, k, std::nullopt, s, start, error));
    EXPECT_EQ(error, message);
    error.clear();
    EXPECT_FALSE(StreamRecordSpectra(path, k, std::nullopt, NullObserver(), header, s, start, error));
    EXPECT_EQ(error, message);
  }
  std::remove(path.c_str());
  for (TRealMatr PulsationRecord::*rows : {&PulsationRecord::Vx, &PulsationRecord::Vy}) {
    PulsationRecord cut = r;
    (cut.*rows).pop_back();
    PulsationSpectra s;
    SpectrumStart start;
    std::string error;
    EXPECT_FALSE(RecordSpectra(cut, 2, std::nullopt, s, start, error));
    EXPECT_EQ(error, "Запись пульсаций неполна у точки 3");
  }
}

TEST(RecordSpectrum, AStopEndsTheReadingWithoutAnError) {
  const std::string path = WriteRecord(StartUpRecord());
  for (const int after : {0, 3, 6}) {  // six sweeps of MSER, then the spectra
    SCOPED_TRACE(after);
    StopAfter stop(after);
    PulsationSpectra s;
    SpectrumStart start;
    PulsationRecord header;
    std::string error;
    EXPECT_FALSE(StreamRecordSpectra(path, 1, std::nullopt, stop, header, s, start, error));
    EXPECT_TRUE(error.empty()) << error;
    EXPECT_EQ(stop.asked_, after + 1) << "not asked again once it said stop";
  }
  std::remove(path.c_str());
}

}  // namespace
}  // namespace mdv
