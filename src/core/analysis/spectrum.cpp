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

struct WelchAccumulator::Fft {
  std::unique_ptr<double, FftwFree> in;
  std::unique_ptr<fftw_complex, FftwFree> transform;
  PlanPtr plan;
};

WelchAccumulator::WelchAccumulator() = default;
WelchAccumulator::~WelchAccumulator() = default;

bool WelchAccumulator::Begin(std::size_t segmentLength, double timeStep, std::string& error) {
  if (!(timeStep > 0) || !std::isfinite(timeStep)) {
    error = "Неверный шаг отсчетов по времени (" + FormatGeneral(timeStep) + ")";
    return false;
  }
  if (segmentLength < MinSegmentLength) {
    error = "Длина отрезка спектра " + std::to_string(segmentLength) + " меньше 4";
    return false;
  }
  len_ = segmentLength;
  hop_ = len_ / 2;  // half overlap
  have_ = 0;
  segments_ = 0;
  fs_ = 1.0 / timeStep;  // sample rate, Hz
  magnitude_ = 0;
  const std::size_t bins = len_ / 2 + 1;
  // Periodic Hann window (the form whose half-overlapped copies sum to a
  // constant); U = Σ w² normalises the density.
  window_.assign(len_, 0.0);
  windowPower_ = 0;
  for (std::size_t j = 0; j < len_; ++j) {
    window_[j] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(j) /
                                      static_cast<double>(len_));
    windowPower_ += window_[j] * window_[j];
  }
  buffer_.assign(len_, 0.0);
  sum_.assign(bins, 0.0);
  fft_ = std::make_unique<Fft>();
  fft_->in.reset(fftw_alloc_real(len_));
  fft_->transform.reset(fftw_alloc_complex(bins));
  if (!fft_->in || !fft_->transform) {
    error = "Недостаточно памяти для спектра";
    return false;
  }
  {
    const std::lock_guard<std::mutex> lock(PlannerMutex());
    fft_->plan.reset(fftw_plan_dft_r2c_1d(static_cast<int>(len_), fft_->in.get(), fft_->transform.get(),
                                          FFTW_ESTIMATE));
  }
  if (!fft_->plan) {
    error = "Не удалось подготовить преобразование Фурье";
    return false;
  }
  return true;
}

void WelchAccumulator::Add(const double* x, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    magnitude_ = std::max(magnitude_, std::fabs(x[i]));
    buffer_[have_++] = x[i];
    if (have_ == len_) {
      Segment();
      // The next segment begins half a segment on: its first part is here.
      std::copy(buffer_.begin() + static_cast<std::ptrdiff_t>(hop_), buffer_.end(), buffer_.begin());
      have_ = len_ - hop_;
    }
  }
}

void WelchAccumulator::Segment() {
  // The segment's own mean and linear trend (least squares) are removed, so
  // that a slow drift does not leak from the zero bin into the low
  // frequencies. With j centred, the mean and the slope are independent.
  const double centre = 0.5 * static_cast<double>(len_ - 1);
  double mean = 0, sxy = 0, sxx = 0;
  for (std::size_t j = 0; j < len_; ++j) mean += buffer_[j];
  mean /= static_cast<double>(len_);
  for (std::size_t j = 0; j < len_; ++j) {
    const double c = static_cast<double>(j) - centre;
    sxy += c * (buffer_[j] - mean);
    sxx += c * c;
  }
  const double slope = sxy / sxx;  // per sample
  double* in = fft_->in.get();
  for (std::size_t j = 0; j < len_; ++j)
    in[j] = (buffer_[j] - mean - slope * (static_cast<double>(j) - centre)) * window_[j];
  fftw_execute(fft_->plan.get());
  for (std::size_t k = 0; k < sum_.size(); ++k) {
    const double re = fft_->transform.get()[k][0];
    const double im = fft_->transform.get()[k][1];
    sum_[k] += re * re + im * im;
  }
  ++segments_;
}

bool WelchAccumulator::Finish(PowerSpectrum& out, std::string& error) {
  if (segments_ == 0) {
    error = TooFewSpectrumSamplesText;
    return false;
  }
  const std::size_t bins = sum_.size();
  PowerSpectrum r;
  r.SegmentLength = len_;
  r.SegmentCount = segments_;
  r.SampleRate = fs_;
  r.Frequency.resize(bins);
  r.Density.resize(bins);
  const double scale = 1.0 / (fs_ * windowPower_ * static_cast<double>(segments_));
  for (std::size_t k = 0; k < bins; ++k) {
    r.Frequency[k] = static_cast<double>(k) * fs_ / static_cast<double>(len_);
    // One-sided: the negative frequencies fold onto the positive ones, except
    // for zero and (even N) the Nyquist bin, which have no mirror.
    const bool mirrored = k != 0 && !(len_ % 2 == 0 && k == len_ / 2);
    r.Density[k] = sum_[k] * scale * (mirrored ? 2.0 : 1.0);
    // Samples beyond about 1e154 (or beyond a double at all) square past
    // its range: a density of infinities or NaN is no spectrum.
    if (!std::isfinite(r.Density[k])) {
      error = SpectrumOutOfRangeText;
      return false;
    }
  }
  r.PeakIndex = 1;
  for (std::size_t k = 2; k < bins; ++k)
    if (r.Density[k] > r.Density[r.PeakIndex]) r.PeakIndex = k;
  r.PeakFrequency = r.Frequency[r.PeakIndex];
  const double floor = 1e-12 * magnitude_;  // in the series' unit
  r.HasPeak = r.Density[r.PeakIndex] > 0 && SpectrumIntegral(r) > floor * floor;
  r.PeakAtLowest = r.HasPeak && r.PeakIndex == 1;
  out = std::move(r);
  return true;
}

bool WelchPsd(const double* samples, std::size_t n, double timeStep, PowerSpectrum& out,
              std::string& error, std::size_t segmentLength) {
  if (n < MinSpectrumSamples) {
    error = TooFewSpectrumSamplesText;
    return false;
  }
  const std::size_t len = segmentLength == 0 ? DefaultSegmentLength(n) : segmentLength;
  if (len < MinSegmentLength || len > n) {
    error = "Длина отрезка спектра " + std::to_string(len) + " вне пределов 4 … " +
            std::to_string(n);
    return false;
  }
  WelchAccumulator w;
  if (!w.Begin(len, timeStep, error)) return false;
  w.Add(samples, n);
  return w.Finish(out, error);
}

double SpectrumIntegral(const PowerSpectrum& s) {
  double a = 0;
  for (std::size_t k = 1; k < s.Density.size(); ++k)
    a += 0.5 * (s.Density[k - 1] + s.Density[k]) * (s.Frequency[k] - s.Frequency[k - 1]);
  return a;
}

bool CalcPulsationSpectra(const PulsationRecord& r, int32_t k, PulsationSpectra& s,
                          std::string& error, std::size_t segmentLength, int64_t first) {
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
  if (first < 0 || first > static_cast<int64_t>(m)) {
    error = "Начало спектра вне записи (отсчёт " + std::to_string(first + 1) + ")";
    return false;
  }
  const std::size_t from = static_cast<std::size_t>(first);
  std::vector<double> vx(m - from), vy(m - from);
  for (std::size_t j = from; j < m; ++j) {
    vx[j - from] = static_cast<double>(r.Vx[k][j]);
    vy[j - from] = static_cast<double>(r.Vy[k][j]);
  }
  const double dt = static_cast<double>(r.TimeStep);
  PulsationSpectra out;
  out.FirstSample = first;
  out.FromTime = static_cast<double>(r.StartTime + r.TimeStep * static_cast<Real>(first));
  if (!WelchPsd(vx.data(), vx.size(), dt, out.Vx, error, segmentLength)) return false;
  if (!WelchPsd(vy.data(), vy.size(), dt, out.Vy, error, segmentLength)) return false;
  s = std::move(out);
  return true;
}

bool SpectrumCsv(const PulsationSpectra& s, std::string& out, Observer& obs) {
  constexpr std::size_t LinesBetweenQuestions = 1 << 14;
  out = "f;Svx;Svy\n";
  for (std::size_t k = 0; k < s.Vx.Frequency.size(); ++k) {
    if (k % LinesBetweenQuestions == 0 && obs.StopRequested()) return false;
    out += FormatGeneral(s.Vx.Frequency[k]) + ";" + FormatGeneral(s.Vx.Density[k]) + ";" +
           FormatGeneral(k < s.Vy.Density.size() ? s.Vy.Density[k] : 0.0) + "\n";
  }
  return true;
}

std::string SpectrumCsv(const PulsationSpectra& s) {
  std::string text;
  SpectrumCsv(s, text, NullObserver());
  return text;
}

std::string PeakText(const char* component, const PowerSpectrum& s) {
  // Six significant digits: bin frequencies k·fs/N are often exact in fewer
  // (12,5; 1,5625), and when they are not (10,41666…) six are plenty.
  if (!s.HasPeak) return std::string("Пик спектра ") + component + ": нет (ряд постоянный)";
  char six[32];
  std::snprintf(six, sizeof six, "%.6g", s.PeakFrequency);
  const std::string f = FormatGeneral(std::strtod(six, nullptr));
  if (s.PeakAtLowest)
    return std::string("Пик спектра ") + component + ": нет — наибольшая плотность на низшей частоте " + f +
           " Гц (медленное изменение, не пик)";
  return std::string("Пик спектра ") + component + ": " + f + " Гц";
}

}  // namespace mdv
