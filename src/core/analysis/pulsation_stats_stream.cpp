#include "core/analysis/pulsation_stats_stream.h"

#include <cmath>
#include <vector>

#include "core/model/pulsation_stream.h"

namespace mdv {

namespace {

// Samples read at a time (of each component): 2 × 320 KB of extended values.
constexpr std::size_t BlockSamples = 1 << 15;

}  // namespace

bool StreamPulsationStats(const std::string& file, int32_t k, Observer& obs, PulsationRecord& header,
                          PulsationStats& s, const FluctuationSink& sink, std::string& error) {
  error.clear();
  PulsationPointStream in;
  PulsationRecord h;
  if (!in.Open(file, h, error)) return false;
  if (!CheckPulsationPoint(h, k, error)) return false;
  const int32_t m = h.SampleCount;

  std::vector<Real> vx(BlockSamples), vy(BlockSamples);
  // The arithmetic, and its order, of CalcPulsationStats: sums are doubles,
  // each expression evaluated in extended from the extended samples.
  double sumX = 0;
  double sumY = 0;
  if (!in.Start(k, 0, error)) return false;
  for (;;) {
    if (obs.StopRequested()) return false;
    std::size_t got = 0;
    if (!in.ReadExtended(vx.data(), vy.data(), BlockSamples, got, error)) return false;
    if (got == 0) break;
    for (std::size_t j = 0; j < got; ++j) {
      sumX = static_cast<double>(sumX + vx[j]);
      sumY = static_cast<double>(sumY + vy[j]);
    }
  }
  PulsationStats out;
  out.MeanVx = static_cast<double>(static_cast<Real>(sumX) / m);
  out.MeanVy = static_cast<double>(static_cast<Real>(sumY) / m);

  std::vector<double> t(BlockSamples), fx(BlockSamples), fy(BlockSamples);
  double sx = 0;
  double sy = 0;
  int64_t first = 0;  // index of the block's first sample
  if (!in.Start(k, 0, error)) return false;
  for (;;) {
    if (obs.StopRequested()) return false;
    std::size_t got = 0;
    if (!in.ReadExtended(vx.data(), vy.data(), BlockSamples, got, error)) return false;
    if (got == 0) break;
    for (std::size_t j = 0; j < got; ++j) {
      const Real tj = static_cast<Real>(static_cast<int32_t>(first + static_cast<int64_t>(j))) * h.TimeStep +
                      h.StartTime;
      const Real dx = vx[j] - out.MeanVx;
      const Real dy = vy[j] - out.MeanVy;
      t[j] = static_cast<double>(tj);
      fx[j] = static_cast<double>(dx);
      fy[j] = static_cast<double>(dy);
      sx = static_cast<double>(sx + dx * dx);
      sy = static_cast<double>(sy + dy * dy);
    }
    if (sink && !sink(t.data(), fx.data(), fy.data(), got, error)) return false;
    first += static_cast<int64_t>(got);
  }
  // Population form: divided by M.
  out.RmsVx = static_cast<double>(std::sqrt(static_cast<Real>(sx) / m));
  out.RmsVy = static_cast<double>(std::sqrt(static_cast<Real>(sy) / m));
  if (!LabelPulsationStats(k, out, error)) return false;
  header = std::move(h);
  s = std::move(out);
  return true;
}

}  // namespace mdv
