#include "core/analysis/spectrum.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <numbers>
#include <type_traits>

#include "core/base/numfmt.h"

namespace mdv {

namespace {

// Shortest segment accepted from a caller: two frequencies besides zero.
constexpr std::size_t MinSegmentLength = 4;

// FFTW's planner is not thread-safe; executing a plan is. FFTW_ESTIMATE
// picks the algorithm from the size alone, so the same series gives the same
// bits on every run (FFTW_MEASURE would time candidates and could differ).
std::mutex& PlannerMutex() {
  static std::mutex m;
  return m;
}

struct FftwFree {
  void operator()(void* p) const { fftw_free(p); }
};
struct PlanDestroy {
  void operator()(fftw_plan p) const {
    const std::lock_guard<std::mutex> lock(PlannerMutex());
    fftw_destroy_plan(p);
  }
};
using PlanPtr = std::unique_ptr<std::remove_pointer_t<fftw_plan>, PlanDestroy>;

}  // namespace

std::size_t DefaultSegmentLength(std::size_t sampleCount) {
  std::size_t n = MinSpectrumSamples;
  while (n * 2 <= sampleCount / 4) n *= 2;
  return n;
}

bool WelchPsd(const double* samples, std::size_t n, double timeStep, PowerSpectrum& out,
              std::string& error, std::size_t segmentLength) {
  if (n < MinSpectrumSamples) {
    error = TooFewSpectrumSamplesText;
    return false;
  }
  if (!(timeStep > 0) || !std::isfinite(timeStep)) {
    error = "Неверный шаг отсчетов по времени (" + FormatGeneral(timeStep) + ")";
    return false;
  }
  const std::size_t len = segmentLength == 0 ? DefaultSegmentLength(n) : segmentLength;
  if (len < MinSegmentLength || len > n) {
    error = "Длина отрезка спектра " + std::to_string(len) + " вне пределов 4 … " +
            std::to_string(n);
    return false;
  }
  const std::size_t hop = len / 2;  // half overlap
  const std::size_t segments = (n - len) / hop + 1;
  const std::size_t bins = len / 2 + 1;
  const double fs = 1.0 / timeStep;  // sample rate, Hz

  // Periodic Hann window (the form whose half-overlapped copies sum to a
  // constant); U = Σ w² normalises the density.
  std::vector<double> window(len);
  double windowPower = 0;
  for (std::size_t j = 0; j < len; ++j) {
    window[j] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(j) /
                                     static_cast<double>(len));
    windowPower += window[j] * window[j];
  }

  std::unique_ptr<double, FftwFree> in(fftw_alloc_real(len));
  std::unique_ptr<fftw_complex, FftwFree> transform(fftw_alloc_complex(bins));
  if (!in || !transform) {
    error = "Недостаточно памяти для спектра";
    return false;
  }
  PlanPtr plan;
  {
    const std::lock_guard<std::mutex> lock(PlannerMutex());
    plan.reset(fftw_plan_dft_r2c_1d(static_cast<int>(len), in.get(), transform.get(), FFTW_ESTIMATE));
  }
  if (!plan) {
    error = "Не удалось подготовить преобразование Фурье";
    return false;
  }

  std::vector<double> sum(bins, 0.0);
  for (std::size_t s = 0; s < segments; ++s) {
    const double* x = samples + s * hop;
    // The segment's own mean is removed, so a slow drift does not leak
    // from the zero bin into the low frequencies.
    double mean = 0;
    for (std::size_t j = 0; j < len; ++j) mean += x[j];
    mean /= static_cast<double>(len);
    for (std::size_t j = 0; j < len; ++j) in.get()[j] = (x[j] - mean) * window[j];
    fftw_execute(plan.get());
    for (std::size_t k = 0; k < bins; ++k) {
      const double re = transform.get()[k][0];
      const double im = transform.get()[k][1];
      sum[k] += re * re + im * im;
    }
  }

  PowerSpectrum r;
  r.SegmentLength = len;
  r.SegmentCount = segments;
  r.SampleRate = fs;
  r.Frequency.resize(bins);
  r.Density.resize(bins);
  const double scale = 1.0 / (fs * windowPower * static_cast<double>(segments));
  for (std::size_t k = 0; k < bins; ++k) {
    r.Frequency[k] = static_cast<double>(k) * fs / static_cast<double>(len);
    // One-sided: the negative frequencies fold onto the positive ones, except
    // for zero and (even N) the Nyquist bin, which have no mirror.
    const bool mirrored = k != 0 && !(len % 2 == 0 && k == len / 2);
    r.Density[k] = sum[k] * scale * (mirrored ? 2.0 : 1.0);
  }
  r.PeakIndex = 1;
  for (std::size_t k = 2; k < bins; ++k)
    if (r.Density[k] > r.Density[r.PeakIndex]) r.PeakIndex = k;
  r.PeakFrequency = r.Frequency[r.PeakIndex];
  double magnitude = 0;  // largest |sample|, in the series' unit
  for (std::size_t j = 0; j < n; ++j) magnitude = std::max(magnitude, std::fabs(samples[j]));
  const double floor = 1e-12 * magnitude;
  r.HasPeak = r.Density[r.PeakIndex] > 0 && SpectrumIntegral(r) > floor * floor;
  out = std::move(r);
  return true;
}

double SpectrumIntegral(const PowerSpectrum& s) {
  double a = 0;
  for (std::size_t k = 1; k < s.Density.size(); ++k)
    a += 0.5 * (s.Density[k - 1] + s.Density[k]) * (s.Frequency[k] - s.Frequency[k - 1]);
  return a;
}

bool CalcPulsationSpectra(const PulsationRecord& r, int32_t k, PulsationSpectra& s,
                          std::string& error, std::size_t segmentLength) {
  const auto pointCount = static_cast<int64_t>(r.Points.size());
  if (k < 0 || k >= pointCount) {
    error = "Нет точки с номером " + std::to_string(int64_t{k} + 1) + " (точек в файле: " +
            std::to_string(pointCount) + ")";
    return false;
  }
  const auto m = static_cast<std::size_t>(std::max<int32_t>(r.SampleCount, 0));
  if (static_cast<int64_t>(r.Vx.size()) <= k || static_cast<int64_t>(r.Vy.size()) <= k ||
      r.Vx[k].size() < m || r.Vy[k].size() < m) {
    error = "Запись пульсаций неполна у точки " + std::to_string(int64_t{k} + 1);
    return false;
  }
  std::vector<double> vx(m), vy(m);
  for (std::size_t j = 0; j < m; ++j) {
    vx[j] = static_cast<double>(r.Vx[k][j]);
    vy[j] = static_cast<double>(r.Vy[k][j]);
  }
  const double dt = static_cast<double>(r.TimeStep);
  PulsationSpectra out;
  if (!WelchPsd(vx.data(), m, dt, out.Vx, error, segmentLength)) return false;
  if (!WelchPsd(vy.data(), m, dt, out.Vy, error, segmentLength)) return false;
  s = std::move(out);
  return true;
}

std::string PeakText(const char* component, const PowerSpectrum& s) {
  // Six significant digits: bin frequencies k·fs/N are often exact in fewer
  // (12,5; 1,5625), and when they are not (10,41666…) six are plenty.
  if (!s.HasPeak) return std::string("Пик спектра ") + component + ": нет (ряд постоянный)";
  char six[32];
  std::snprintf(six, sizeof six, "%.6g", s.PeakFrequency);
  return std::string("Пик спектра ") + component + ": " + FormatGeneral(std::strtod(six, nullptr)) +
         " Гц";
}

}  // namespace mdv
