#include "core/averages/record_spectrum.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/averages/steady_state.h"
#include "core/base/numfmt.h"
#include "core/model/pulsation_stream.h"

namespace mdv {

namespace {

// Samples read at a time from the file (of each component).
constexpr std::size_t BlockSamples = 1 << 15;

// The first sample at or after time `from`, clamped to the record.
int64_t SampleAt(const PulsationRecord& r, Real from) {
  const Real k = std::ceil((from - r.StartTime) / r.TimeStep - 1e-9L);
  if (!(k > 0)) return 0;
  return k >= r.SampleCount ? r.SampleCount : static_cast<int64_t>(k);
}

void SetTime(const PulsationRecord& r, SpectrumStart& start) {
  start.Time = static_cast<double>(r.StartTime + r.TimeStep * static_cast<Real>(start.First));
}

}  // namespace

std::string SpectrumStartText(const SpectrumStart& s) {
  const std::string t = FormatGeneral(static_cast<Real>(s.Time));
  if (s.Given) return "Спектр с t = " + t + " с (задано)";
  if (s.Detected) return "Спектр с t = " + t + " с (конец разгона по записи)";
  return "Спектр по всей записи: конец разгона в ней не найден";
}

bool RecordSpectra(const PulsationRecord& r, int32_t k, std::optional<Real> from, PulsationSpectra& s,
                   SpectrumStart& start, std::string& error) {
  start = SpectrumStart{};
  if (k < 0 || k >= static_cast<int32_t>(r.Points.size()) || static_cast<int32_t>(r.Vx.size()) <= k ||
      static_cast<int32_t>(r.Vy.size()) <= k) {
    return CalcPulsationSpectra(r, k, s, error);  // its message
  }
  const auto m = static_cast<std::size_t>(std::max<int32_t>(r.SampleCount, 0));
  if (from) {
    start.Given = true;
    start.First = SampleAt(r, *from);
  } else if (r.Vx[k].size() >= m && r.Vy[k].size() >= m) {
    std::vector<double> vx(m), vy(m);
    for (std::size_t j = 0; j < m; ++j) {
      vx[j] = static_cast<double>(r.Vx[k][j]);
      vy[j] = static_cast<double>(r.Vy[k][j]);
    }
    const Truncation tx = Mser5(vx), ty = Mser5(vy);
    start.Detected = tx.Found && ty.Found;
    if (start.Detected) start.First = std::max(tx.Start, ty.Start);
  }
  SetTime(r, start);
  return CalcPulsationSpectra(r, k, s, error, 0, start.First);
}

bool StreamRecordSpectra(const std::string& file, int32_t k, std::optional<Real> from, Observer& obs,
                         PulsationRecord& header, PulsationSpectra& s, SpectrumStart& start,
                         std::string& error) {
  start = SpectrumStart{};
  error.clear();
  PulsationPointStream in;
  if (!in.Open(file, header, error)) return false;
  if (k < 0 || k >= static_cast<int32_t>(header.Points.size())) {
    error = "Нет точки с номером " + std::to_string(int64_t{k} + 1) + " (точек в файле: " +
            std::to_string(header.Points.size()) + ")";
    return false;
  }
  const int64_t m = header.SampleCount;
  std::vector<double> bx(BlockSamples), by(BlockSamples);

  if (from) {
    start.Given = true;
    start.First = SampleAt(header, *from);
  } else {
    // Batch means of five, read again for each of MSER's sweeps.
    const int64_t batches = m / MserBatchSize;
    Truncation found[2];
    for (int c = 0; c < 2; ++c) {
      const BatchMeanSweep sweep = [&](int64_t count, const std::function<void(double)>& visit) {
        if (!in.Start(k, 0, error)) return false;
        int64_t done = 0;
        while (done < count) {
          if (obs.StopRequested()) return false;
          const int64_t want = std::min<int64_t>(count - done, BlockSamples / MserBatchSize);
          std::size_t got = 0;
          if (!in.Read(bx.data(), by.data(), static_cast<std::size_t>(want * MserBatchSize), got, error))
            return false;
          const double* x = c == 0 ? bx.data() : by.data();
          for (int64_t j = 0; j < want; ++j) {
            double sum = 0;
            for (int i = 0; i < MserBatchSize; ++i) sum += x[j * MserBatchSize + i];
            visit(sum / static_cast<double>(MserBatchSize));
          }
          done += want;
        }
        return true;
      };
      if (!Mser5Sweeps(batches, sweep, found[c])) return false;
    }
    start.Detected = found[0].Found && found[1].Found;
    if (start.Detected) start.First = std::max(found[0].Start, found[1].Start);
  }
  SetTime(header, start);

  const std::size_t n = static_cast<std::size_t>(m - start.First);
  if (n < MinSpectrumSamples) {
    error = TooFewSpectrumSamplesText;
    return false;
  }
  const std::size_t len = DefaultSegmentLength(n);
  WelchAccumulator wx, wy;
  const double dt = static_cast<double>(header.TimeStep);
  if (!wx.Begin(len, dt, error) || !wy.Begin(len, dt, error)) return false;
  if (!in.Start(k, start.First, error)) return false;
  for (;;) {
    if (obs.StopRequested()) return false;
    std::size_t got = 0;
    if (!in.Read(bx.data(), by.data(), BlockSamples, got, error)) return false;
    if (got == 0) break;
    wx.Add(bx.data(), got);
    wy.Add(by.data(), got);
  }
  PulsationSpectra out;
  out.FirstSample = start.First;
  out.FromTime = start.Time;
  if (!wx.Finish(out.Vx, error) || !wy.Finish(out.Vy, error)) return false;
  s = std::move(out);
  return true;
}

}  // namespace mdv
