#include "core/analysis/spectrum.h"

#include "core/base/numfmt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace mdv {
namespace {

// A sine of amplitude a at f0 Hz plus Gaussian noise of s.d. sigma, sampled
// every dt seconds; fixed seed.
std::vector<double> SineNoise(std::size_t n, double dt, double f0, double a, double sigma,
                              double offset = 0) {
  std::mt19937_64 gen(12345);
  std::normal_distribution<double> noise(0.0, sigma);
  std::vector<double> x(n);
  for (std::size_t j = 0; j < n; ++j)
    x[j] = offset + a * std::sin(2 * std::numbers::pi * f0 * static_cast<double>(j) * dt) +
           noise(gen);
  return x;
}

double Variance(const std::vector<double>& x) {
  double m = 0;
  for (double v : x) m += v;
  m /= static_cast<double>(x.size());
  double s = 0;
  for (double v : x) s += (v - m) * (v - m);
  return s / static_cast<double>(x.size());
}

TEST(Spectrum, SineInNoiseHasItsPeakAndVarianceIntegral) {
  struct Row {
    const char* name;
    std::size_t n;
    double dt, f0, a, sigma;
    std::size_t segment;  // 0 = default
  };
  const Row rows[] = {
      // 10 s at the default step: N = 256, 0,78 Hz apart; 12,5 Hz lies on bin 16.
      {"10 s run, bin-centred", 2000, 0.005, 12.5, 0.3, 0.1, 0},
      // 1 s run: N = 32, 6,25 Hz apart; 30 Hz falls between bins 4 and 5.
      {"1 s run, between bins", 200, 0.005, 30.0, 0.5, 0.05, 0},
      {"odd segment length", 3000, 0.002, 40.0, 0.2, 0.2, 301},
      {"noise dominates the variance", 4000, 0.005, 7.0, 0.1, 0.3, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<double> x = SineNoise(row.n, row.dt, row.f0, row.a, row.sigma, 0.8);
    PowerSpectrum s;
    std::string error;
    ASSERT_TRUE(WelchPsd(x.data(), x.size(), row.dt, s, error, row.segment)) << error;
    const double df = s.SampleRate / static_cast<double>(s.SegmentLength);
    ASSERT_EQ(s.Frequency.size(), s.SegmentLength / 2 + 1);
    EXPECT_DOUBLE_EQ(s.Frequency.back(), df * static_cast<double>(s.SegmentLength / 2));
    EXPECT_TRUE(s.HasPeak);
    // The peak lies on the bin nearest the known frequency (at most one bin
    // off when the frequency lies between two).
    EXPECT_LE(std::fabs(s.PeakFrequency - row.f0), df * 0.5 + 1e-9)
        << "peak " << s.PeakFrequency << " Hz, df = " << df;
    // Parseval: the density's integral is the variance (the offset 0,8 m/s
    // is removed with each segment's mean and must not count).
    const double var = Variance(x);
    EXPECT_NEAR(SpectrumIntegral(s), var, 0.1 * var) << "variance " << var;
    // Away from the peak the density is the white noise level 2σ²/fs.
    const double white = 2 * row.sigma * row.sigma / s.SampleRate;
    const std::size_t far = (s.PeakIndex + s.Frequency.size()) / 2 + 2;
    if (far + 1 < s.Frequency.size()) {
      EXPECT_NEAR(s.Density[far], white, 1.5 * white) << "bin " << far;
    }
  }
}

TEST(Spectrum, EveryBinOfTonesOnExactBins) {
  // Segments of N = 32 at fs = 100 Hz (the default for 128 samples, 7
  // segments). A tone of amplitude A on bin k gives, through the periodic
  // Hann window (Σw = N/2, Σw² = 3N/8), A²N/(3fs) on bin k and A²N/(12fs) on
  // k ± 1 and nothing elsewhere; the Nyquist alternation A(−1)^j gives
  // 2A²N/(3fs) on bin N/2 (which has no mirror) and A²N/(3fs) on N/2 − 1;
  // a cosine on bin 1 leaks A²N·cos²(π/N)/(6fs) into the zero bin (no
  // mirror either). Every segment of the mixture has zero mean after the
  // offset and no linear trend: the cosines are even about the segment's
  // centre c and the sine on bin 4 cancels the alternation's trend.
  const std::size_t N = 32, n = 128;
  const double fs = 100, c = (N - 1) / 2.0, pi = std::numbers::pi;
  const double a1 = 0.3, a4 = -0.5 * std::tan(pi * 4 / N), a10 = 1.0, aNyq = 0.5;
  std::vector<double> x(n);
  for (std::size_t j = 0; j < n; ++j) {
    const double t = static_cast<double>(j);
    x[j] = 0.8 + a1 * std::cos(2 * pi * (t - c) / N) + a4 * std::sin(2 * pi * 4 * t / N) +
           a10 * std::cos(2 * pi * 10 * (t - c) / N) + aNyq * (j % 2 == 0 ? 1 : -1);
  }
  const double unit = static_cast<double>(N) / (3 * fs);  // A²N/(3fs) per unit A²
  std::vector<double> expected(N / 2 + 1, 0.0);
  expected[0] = a1 * a1 * unit * std::pow(std::cos(pi / N), 2) / 2;
  expected[1] = a1 * a1 * unit;
  expected[2] = a1 * a1 * unit / 4;
  expected[3] = expected[5] = a4 * a4 * unit / 4;
  expected[4] = a4 * a4 * unit;
  expected[9] = expected[11] = a10 * a10 * unit / 4;
  expected[10] = a10 * a10 * unit;
  expected[15] = aNyq * aNyq * unit;
  expected[16] = 2 * aNyq * aNyq * unit;
  PowerSpectrum s;
  std::string error;
  ASSERT_TRUE(WelchPsd(x.data(), n, 1 / fs, s, error)) << error;
  EXPECT_EQ(s.SegmentLength, N);
  EXPECT_EQ(s.SegmentCount, 7u);
  EXPECT_DOUBLE_EQ(s.SampleRate, fs);
  ASSERT_EQ(s.Density.size(), N / 2 + 1);
  ASSERT_EQ(s.Frequency.size(), N / 2 + 1);
  for (std::size_t k = 0; k <= N / 2; ++k) {
    SCOPED_TRACE(k);
    EXPECT_NEAR(s.Frequency[k], 3.125 * static_cast<double>(k), 1e-12);
    EXPECT_NEAR(s.Density[k], expected[k], 1e-12);
  }
  EXPECT_EQ(s.PeakIndex, 10u);
  EXPECT_DOUBLE_EQ(s.PeakFrequency, 31.25);
  EXPECT_TRUE(s.HasPeak);
  // The trapezoidal integral: half the end bins, all of the others.
  double area = (expected[0] + expected[16]) / 2;
  for (std::size_t k = 1; k < N / 2; ++k) area += expected[k];
  EXPECT_NEAR(SpectrumIntegral(s), area * 3.125, 1e-12);

  // Odd N = 33: no Nyquist bin, the last bin 16 has a mirror. A cosine on
  // bin 15: A²N/(3fs) there, a quarter of it on bins 14 and 16.
  std::vector<double> odd(129);
  for (std::size_t j = 0; j < odd.size(); ++j)
    odd[j] = 0.4 * std::cos(2 * pi * 15 * (static_cast<double>(j) - 16) / 33);
  ASSERT_TRUE(WelchPsd(odd.data(), odd.size(), 1 / fs, s, error, 33)) << error;
  EXPECT_EQ(s.SegmentCount, 7u);
  ASSERT_EQ(s.Density.size(), 17u);
  const double peak = 0.16 * 33 / (3 * fs);
  EXPECT_NEAR(s.Density[15], peak, 1e-4 * peak);
  EXPECT_NEAR(s.Density[14], peak / 4, 1e-4 * peak);
  EXPECT_NEAR(s.Density[16], peak / 4, 1e-4 * peak);
  EXPECT_NEAR(s.Frequency[16], 100.0 * 16 / 33, 1e-12);
  EXPECT_EQ(s.PeakIndex, 15u);
}

TEST(Spectrum, DefaultSegmentLengthAndSegmentCount) {
  struct Row {
    std::size_t n, segment, segments;
  };
  const Row rows[] = {{16, 16, 1},  {127, 16, 14}, {128, 32, 7},
                      {200, 32, 11}, {2000, 256, 14}, {4096, 1024, 7}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.n);
    EXPECT_EQ(DefaultSegmentLength(row.n), row.segment);
    const std::vector<double> x = SineNoise(row.n, 0.01, 5, 1, 0.1);
    PowerSpectrum s;
    std::string error;
    ASSERT_TRUE(WelchPsd(x.data(), x.size(), 0.01, s, error)) << error;
    EXPECT_EQ(s.SegmentCount, row.segments);
  }
}

TEST(Spectrum, RefusesWhatCannotBeAnalysed) {
  const std::vector<double> x = SineNoise(100, 0.01, 5, 1, 0.1);
  struct Row {
    const char* name;
    std::size_t n;
    double dt;
    std::size_t segment;
  };
  const Row rows[] = {{"15 samples", 15, 0.01, 0},     {"zero step", 100, 0.0, 0},
                      {"NaN step", 100, std::nan(""), 0}, {"segment 3", 100, 0.01, 3},
                      {"segment > n", 100, 0.01, 101}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    PowerSpectrum s;
    s.SegmentLength = 77;
    std::string error;
    EXPECT_FALSE(WelchPsd(x.data(), row.n, row.dt, s, error, row.segment));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(s.SegmentLength, 77u) << "the result is left untouched";
  }
  // The limits themselves are accepted.
  PowerSpectrum s;
  std::string error;
  EXPECT_TRUE(WelchPsd(x.data(), 16, 0.01, s, error)) << error;
  EXPECT_TRUE(WelchPsd(x.data(), 100, 0.01, s, error, 4)) << error;
  EXPECT_EQ(s.SegmentCount, 49u);
  EXPECT_TRUE(WelchPsd(x.data(), 100, 0.01, s, error, 100)) << error;
  EXPECT_EQ(s.SegmentCount, 1u);
}

TEST(Spectrum, PulsationPointSpectraAndPeakText) {
  // Point 1 carries Vx at 10 Hz and Vy at 25 Hz; point 0 is constant.
  const std::size_t m = 1000;
  const double dt = 0.005;
  const std::vector<double> x = SineNoise(m, dt, 10.0, 0.4, 0.05, 1.5);
  const std::vector<double> y = SineNoise(m, dt, 25.0, 0.2, 0.05);
  PulsationRecord r;
  r.TimeStep = dt;
  r.Points = {{0.1L, 0.1L}, {-0.1L, 0.2L}};
  r.SampleCount = static_cast<int32_t>(m);
  r.Vx = {TRealArray(m, 1.0L), TRealArray(x.begin(), x.end())};
  r.Vy = {TRealArray(m, 0.0L), TRealArray(y.begin(), y.end())};
  PulsationSpectra s;
  std::string error;
  ASSERT_TRUE(CalcPulsationSpectra(r, 1, s, error)) << error;
  EXPECT_NEAR(s.Vx.PeakFrequency, 10.0, 0.8);
  EXPECT_NEAR(s.Vy.PeakFrequency, 25.0, 0.8);
  // N = 128 at 200 Hz: bins 1,5625 Hz apart, 10 Hz nearest bin 6.
  EXPECT_EQ(PeakText("Vx", s.Vx), "Пик спектра Vx: 9,375 Гц");
  PowerSpectrum odd;
  odd.HasPeak = true;
  odd.PeakFrequency = 1000.0 / 3.0 / 32.0;  // fs = 333,3 Hz, N = 32
  EXPECT_EQ(PeakText("Vy", odd), "Пик спектра Vy: 10,4167 Гц");

  // Point 0 is constant (Vx exactly 1, Vy exactly 0): no peak to report.
  ASSERT_TRUE(CalcPulsationSpectra(r, 0, s, error)) << error;
  EXPECT_FALSE(s.Vx.HasPeak);
  EXPECT_FALSE(s.Vy.HasPeak);
  EXPECT_EQ(PeakText("Vx", s.Vx), "Пик спектра Vx: нет (ряд постоянный)");
  // A constant that is not exact in binary leaves rounding noise: still none.
  const std::vector<double> c(256, -0.4);
  PowerSpectrum flat;
  ASSERT_TRUE(WelchPsd(c.data(), c.size(), dt, flat, error)) << error;
  EXPECT_FALSE(flat.HasPeak);

  for (int32_t k : {2, -1}) {
    EXPECT_FALSE(CalcPulsationSpectra(r, k, s, error));
    EXPECT_EQ(error, "Нет точки с номером " + std::to_string(k + 1) + " (точек в файле: 2)");
  }
  // From sample 200 of a record starting at 1 s: t = 1 + 200·0,005 = 2 s.
  r.StartTime = 1;
  ASSERT_TRUE(CalcPulsationSpectra(r, 1, s, error, 0, 200)) << error;
  EXPECT_EQ(s.FirstSample, 200);
  EXPECT_NEAR(s.FromTime, 2.0, 1e-12);
  // A start beyond the record, told as a sample number from 1.
  EXPECT_FALSE(CalcPulsationSpectra(r, 1, s, error, 0, 1001));
  EXPECT_EQ(error, "Начало спектра вне записи (отсчёт 1002)");
  // A point whose Vx or Vy rows are missing from the record: refused.
  for (TRealMatr PulsationRecord::*rows : {&PulsationRecord::Vx, &PulsationRecord::Vy}) {
    PulsationRecord cut = r;
    (cut.*rows).pop_back();
    EXPECT_FALSE(CalcPulsationSpectra(cut, 1, s, error));
    EXPECT_EQ(error, "Запись пульсаций неполна у точки 2");
  }
  // A tone on the second bin (2·fs/N) is a peak there, not at the lowest one.
  std::vector<double> two(512);
  for (std::size_t j = 0; j < two.size(); ++j) two[j] = std::sin(2 * std::numbers::pi * 2 * static_cast<double>(j) / 128);
  PowerSpectrum low;
  ASSERT_TRUE(WelchPsd(two.data(), two.size(), dt, low, error, 128)) << error;
  EXPECT_EQ(low.PeakIndex, 2u);
  EXPECT_FALSE(low.PeakAtLowest);
  r.SampleCount = 10;
  EXPECT_FALSE(CalcPulsationSpectra(r, 1, s, error));
  EXPECT_EQ(error, TooFewSpectrumSamplesText);
}

TEST(Spectrum, EachSegmentLosesItsMeanAndLinearTrend) {
  const double dt = 0.005;
  const std::size_t n = 1024;  // N = 256: bins 0,78125 Hz apart
  struct Row {
    const char* name;
    double slope;      // per second
    double amplitude;  // of a 25 Hz sine (bin 32)
    bool peak, lowest;
  };
  for (const Row& row : {Row{"a ramp alone is removed whole", 0.3, 0.0, false, false},
                         Row{"a ramp does not hide the sine", 0.3, 0.05, true, false}}) {
    SCOPED_TRACE(row.name);
    std::vector<double> x(n);
    for (std::size_t j = 0; j < n; ++j) {
      const double t = static_cast<double>(j) * dt;
      x[j] = -0.2 + row.slope * t + row.amplitude * std::sin(2 * std::numbers::pi * 25 * t);
    }
    PowerSpectrum s;
    std::string error;
    ASSERT_TRUE(WelchPsd(x.data(), n, dt, s, error)) << error;
    EXPECT_EQ(s.HasPeak, row.peak);
    EXPECT_EQ(s.PeakAtLowest, row.lowest);
    if (row.peak) {
      EXPECT_EQ(s.PeakFrequency, 25.0);
      // Parseval: the sine's variance a²/2, the ramp contributing nothing.
      EXPECT_NEAR(SpectrumIntegral(s), row.amplitude * row.amplitude / 2, 0.03 * row.amplitude * row.amplitude);
      // Removing each segment's line takes the ramp and the offset out
      // exactly: the same density as the sine alone, to rounding.
      std::vector<double> sine(n);
      for (std::size_t j = 0; j < n; ++j)
        sine[j] = row.amplitude * std::sin(2 * std::numbers::pi * 25 * static_cast<double>(j) * dt);
      PowerSpectrum alone;
      ASSERT_TRUE(WelchPsd(sine.data(), n, dt, alone, error)) << error;
      for (std::size_t k = 0; k < s.Density.size(); ++k)
        EXPECT_NEAR(s.Density[k], alone.Density[k], 1e-9 * alone.Density[32]) << k;
    } else {
      // What is left is rounding: below 1e-24 (m/s)²/Hz everywhere.
      for (double d : s.Density) EXPECT_LT(d, 1e-24);
    }
  }
  // A wave slower than a segment: its largest density is at the lowest
  // frequency, and the text says so instead of calling it a peak.
  std::vector<double> slow(n);
  for (std::size_t j = 0; j < n; ++j) slow[j] = 0.3 * std::sin(2 * std::numbers::pi * static_cast<double>(j) * dt / 8);
  PowerSpectrum s;
  std::string error;
  ASSERT_TRUE(WelchPsd(slow.data(), n, dt, s, error)) << error;
  EXPECT_TRUE(s.PeakAtLowest);
  EXPECT_EQ(s.PeakIndex, 1u);
  EXPECT_EQ(PeakText("Vx", s), "Пик спектра Vx: нет — наибольшая плотность на низшей частоте 0,78125 Гц "
                               "(медленное изменение, не пик)");
}

TEST(Spectrum, FedInBlocksGivesTheSameBits) {
  const double dt = 0.005;
  const std::vector<double> x = SineNoise(3001, dt, 12.5, 0.3, 0.05, 0.7);
  PowerSpectrum whole, blocks;
  std::string error;
  ASSERT_TRUE(WelchPsd(x.data(), x.size(), dt, whole, error, 256)) << error;
  WelchAccumulator w;
  ASSERT_TRUE(w.Begin(256, dt, error)) << error;
  for (std::size_t at = 0, size = 1; at < x.size(); at += size, size = size * 3 % 517 + 1)
    w.Add(x.data() + at, std::min(size, x.size() - at));
  ASSERT_TRUE(w.Finish(blocks, error)) << error;
  EXPECT_EQ(blocks.SegmentCount, (3001u - 256u) / 128u + 1u);
  EXPECT_EQ(blocks.Density, whole.Density);
  EXPECT_EQ(blocks.PeakIndex, whole.PeakIndex);
  // Fewer samples than a segment: nothing to estimate.
  WelchAccumulator few;
  ASSERT_TRUE(few.Begin(256, dt, error));
  few.Add(x.data(), 255);
  EXPECT_FALSE(few.Finish(blocks, error));
}

TEST(Spectrum, OneTableLayout) {
  PulsationSpectra s;
  s.Vx.Frequency = {0, 0.5, 1};
  s.Vx.Density = {0, 0.25, 1e-7};
  s.Vy.Density = {1, 2.5, 0};
  EXPECT_EQ(SpectrumCsv(s), "f;Svx;Svy\n0;0;1\n0,5;0,25;2,5\n1;" + FormatGeneral(1e-7) + ";0\n");

  // A long table asks whether to stop as it goes (Ctrl+C in the batch tool).
  PulsationSpectra big;
  big.Vx.Frequency.assign(40000, 1.0);
  big.Vx.Density.assign(40000, 2.0);
  big.Vy.Density.assign(40000, 3.0);
  struct StopOnSecond : Observer {
    int asked = 0;
    bool StopRequested() override { return ++asked == 2; }
  } stop;
  std::string text;
  EXPECT_FALSE(SpectrumCsv(big, text, stop));
  EXPECT_EQ(stop.asked, 2);
  ASSERT_TRUE(SpectrumCsv(big, text, NullObserver()));
  EXPECT_EQ(text, SpectrumCsv(big));
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 40001);
}

}  // namespace
}  // namespace mdv
