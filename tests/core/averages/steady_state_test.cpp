// The start-up truncation and the confidence of the means on synthetic series
// whose truth is known: an exponential approach plus noise, a drift that never
// settles, correlated noise whose standard error is known in closed form.
#include "core/averages/steady_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace mdv {
namespace {

// Normal deviates from a fixed seed (Box-Muller, so the values do not depend
// on the library's distribution).
class Noise {
 public:
  explicit Noise(uint32_t seed) : rng_(seed) {}
  double operator()() {
    const double u1 = (static_cast<double>(rng_()) + 1) / 4294967297.0;
    const double u2 = static_cast<double>(rng_()) / 4294967296.0;
    return std::sqrt(-2 * std::log(u1)) * std::cos(2 * std::acos(-1.0) * u2);
  }

 private:
  std::mt19937 rng_;
};

// level - amplitude·exp(-i/tau) + sigma·noise
std::vector<double> Approach(int n, double level, double amplitude, double tau, double sigma, uint32_t seed) {
  Noise noise(seed);
  std::vector<double> x(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) x[static_cast<size_t>(i)] = level - amplitude * std::exp(-i / tau) + sigma * noise();
  return x;
}

std::vector<Real> Times(size_t n, Real dt) {
  std::vector<Real> t(n);
  for (size_t i = 0; i < n; ++i) t[i] = dt * static_cast<Real>(i + 1);
  return t;
}

TEST(SteadyState, TruncationFindsTheKnownEndOfAnExponentialApproach) {
  // The start-up has ended where the exponential's bias sinks into the noise:
  // between bias = 2σ and bias = σ/20 the truncation must fall.
  struct Row {
    const char* name;
    double amplitude, tau, sigma;
    uint32_t seed;
  };
  for (const Row& r : {Row{"slow, quiet", 0.8, 200, 0.05, 1}, Row{"slow, noisy", 0.8, 200, 0.2, 2},
                       Row{"fast", 0.5, 40, 0.05, 3}, Row{"from above", -0.8, 150, 0.05, 4}}) {
    SCOPED_TRACE(r.name);
    const std::vector<double> x = Approach(4000, 1.0, r.amplitude, r.tau, r.sigma, r.seed);
    const Truncation t = Mser5(x);
    ASSERT_TRUE(t.Found);
    const double a = std::fabs(r.amplitude);
    EXPECT_GE(t.Start, static_cast<int64_t>(r.tau * std::log(a / (2 * r.sigma))) - MserBatchSize);
    EXPECT_LE(t.Start, static_cast<int64_t>(r.tau * std::log(a / (r.sigma / 20))));
    // The rest is stationary: its 95 % interval covers the true level.
    const BatchMeans b = ComputeBatchMeans(std::span<const double>(x).subspan(static_cast<size_t>(t.Start)));
    EXPECT_TRUE(b.Valid);
    EXPECT_LE(std::fabs(b.Mean - 1.0), b.HalfWidth95) << "mean " << b.Mean << " ± " << b.HalfWidth95;
  }
}

TEST(SteadyState, VerdictOnMonitorSets) {
  const double dt = 0.005;
  struct Row {
    const char* name;
    std::vector<std::vector<double>> series;
    double tolerance;
    bool over, reached;
    const char* textStart;
  };
  std::vector<double> drift(4000);
  Noise noise(7);
  for (size_t i = 0; i < drift.size(); ++i) drift[i] = 1 + static_cast<double>(i) / 4000 + 0.05 * noise();
  const std::vector<double> settled = Approach(4000, 1.0, 0.8, 200, 0.05, 11);
  const std::vector<double> late = Approach(4000, 2.0, 1.5, 120, 0.05, 12);
  const std::vector<double> wild = Approach(4000, 0.1, 0.1, 50, 1.0, 13);
  const Row rows[] = {
      {"settled pair", {settled, late}, 0.05, true, true, "Установившийся режим с t = "},
      {"a drifting monitor spoils the set", {settled, drift}, 0.05, false, false,
       "Режим не установился: разгон не закончился"},
      {"settled but too noisy for the tolerance", {settled, wild}, 0.05, true, false, "Разгон закончился к t = "},
      {"too short", {std::vector<double>(settled.begin(), settled.begin() + 40)}, 0.05, false, false,
       "Режим не установился: мало шагов"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const std::vector<Real> t = Times(r.series[0].size(), dt);
    const SteadyVerdict v = JudgeSteadyState(r.series, t, r.tolerance);
    EXPECT_EQ(v.StartupOver, r.over);
    EXPECT_EQ(v.Reached, r.reached);
    EXPECT_EQ(v.Text.rfind(r.textStart, 0), 0u) << v.Text;
    if (v.StartupOver) {
      // The set's start-up ends at the latest of its monitors' ends.
      int64_t latest = 0;
      for (const auto& s : r.series) latest = std::max(latest, Mser5(s).Start);
      EXPECT_EQ(v.StartIndex, latest);
      EXPECT_EQ(v.StartupEnd, t[static_cast<size_t>(latest)]);
    }
  }
}

TEST(SteadyState, BatchMeansHalfWidthOfCorrelatedNoise) {
  // AR(1) with coefficient φ: the standard error of the mean of n values is
  // σ_x·sqrt((1+φ)/(1-φ)/n) for large n; treating the values as independent
  // would give a half-width sqrt((1+φ)/(1-φ)) times too small.
  for (const double phi : {0.0, 0.5, 0.9}) {
    SCOPED_TRACE(phi);
    Noise noise(21);
    const int n = 40000;
    std::vector<double> x(static_cast<size_t>(n));
    double y = 0;
    for (int i = 0; i < n; ++i) {
      y = phi * y + std::sqrt(1 - phi * phi) * noise();  // unit variance
      x[static_cast<size_t>(i)] = 3 + y;
    }
    const BatchMeans b = ComputeBatchMeans(x);
    const double expected = 1.96 * std::sqrt((1 + phi) / (1 - phi) / n);
    EXPECT_TRUE(b.Valid);
    EXPECT_GT(b.HalfWidth95, 0.6 * expected);
    EXPECT_LT(b.HalfWidth95, 1.6 * expected);
    EXPECT_NEAR(b.RelativeHalfWidth, b.HalfWidth95 / b.Mean, 1e-15);
  }
}

}  // namespace
}  // namespace mdv
