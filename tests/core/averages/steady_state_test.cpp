// The start-up truncation and the confidence of the means on synthetic series
// whose truth is known: an exponential approach plus noise, a drift that never
// settles, correlated noise whose standard error is known in closed form.
#include "core/averages/steady_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
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

// Series made of blocks of equal values, so that every batch mean, and with it
// every figure of the verdict, can be worked out by hand.
std::vector<double> Blocks(const std::vector<double>& levels, int blockLength) {
  std::vector<double> x;
  for (double v : levels) x.insert(x.end(), static_cast<size_t>(blockLength), v);
  return x;
}

TEST(SteadyState, HandWorkedTruncationAndBatchMeans) {
  // MSER-5 on the batch means Z = [9, 1, -1, 1, …, 1] (ten batches of five):
  // sse/n² is 0,8 with the first batch, 0,1097 without it, 0,125 without
  // two; the first batch goes.
  std::vector<double> z{9};
  for (int j = 1; j < 10; ++j) z.push_back(j % 2 == 1 ? 1.0 : -1.0);
  std::vector<double> x = Blocks(z, MserBatchSize);
  Truncation t = Mser5(x);
  EXPECT_TRUE(t.Found);
  EXPECT_EQ(t.Start, MserBatchSize);
  // Four more samples make no eleventh batch: the result stays.
  x.insert(x.end(), 4, 50.0);
  EXPECT_EQ(Mser5(x).Start, MserBatchSize);
  // Nine batches are too few; ten alternating ones are settled from the start.
  EXPECT_FALSE(Mser5(std::span<const double>(x).first(49)).Found);
  const std::vector<double> alternating = Blocks({1, -1, 1, -1, 1, -1, 1, -1, 1, -1}, MserBatchSize);
  t = Mser5(alternating);
  EXPECT_TRUE(t.Found);
  EXPECT_EQ(t.Start, 0);
  // A ramp keeps falling to the end of the first half: not settled.
  std::vector<double> ramp(100);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<double>(i);
  EXPECT_FALSE(Mser5(ramp).Found);

  struct Row {
    const char* name;
    std::vector<double> series;
    int32_t batches;
    bool valid;
    double mean, halfWidth;
  };
  std::vector<double> pm20;  // 20 batch means ±1 alternating about 10
  for (int j = 0; j < 20; ++j) pm20.push_back(10 + (j % 2 == 0 ? 1 : -1));
  std::vector<double> oldEnd = Blocks(pm20, 2);
  oldEnd.insert(oldEnd.begin(), 1000.0);  // 41 values: the oldest is left out of the batches
  // Blocks of four +1 and four −1 about 10: lag-1 correlation 0,55 of 20
  // batch means (over 2/√20); merged into 10 they are + + − − …, 0,1.
  std::vector<double> fours;
  for (int j = 0; j < 20; ++j) fours.push_back(10 + ((j / 4) % 2 == 0 ? 1 : -1));
  std::vector<double> ramp40(40);
  for (size_t i = 0; i < ramp40.size(); ++i) ramp40[i] = static_cast<double>(i);
  std::vector<double> halves;  // 20 batch means 1 ± 0,5 alternating
  for (int j = 0; j < 20; ++j) halves.push_back(j % 2 == 0 ? 1.5 : 0.5);
  const double inf = std::numeric_limits<double>::infinity();
  const Row rows[] = {
      // sd = √(20/19); t(0,975; 19) = 2,093
      {"20 independent batches", Blocks(pm20, 2), 20, true, 10, 2.093 * std::sqrt(20.0 / 19) / std::sqrt(20.0)},
      {"oldest sample left out", oldEnd, 20, true, (400 + 1000) / 41.0, 2.093 / std::sqrt(19.0)},
      // ten batch means 11 11 9 9 11 11 9 9 11 11: mean 10,2, ss = 9,6; t(0,975; 9) = 2,262
      {"correlated 20, independent 10", Blocks(fours, 2), 10, true, 10.2,
       2.262 * std::sqrt(9.6 / 9) / std::sqrt(10.0)},
      // 39 samples: batches of one for 20 (too small), of three for 10
      {"39 samples", std::vector<double>(oldEnd.begin() + 2, oldEnd.end()), 10, true, 389.0 / 39,
       0},  // half-width checked below as finite only
      {"ramp", ramp40, 10, false, 19.5, 2.262 * std::sqrt(1320.0 / 9) / std::sqrt(10.0)},
      {"19 samples", std::vector<double>(19, 2.0), 0, false, 2.0, inf},
      {"constant 0,1", std::vector<double>(60, 0.1), 20, true, 0.1, 0},
      {"mean exactly 1", Blocks(halves, 2), 20, true, 1, 2.093 * 0.5 / std::sqrt(19.0)},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const BatchMeans b = ComputeBatchMeans(r.series);
    EXPECT_EQ(b.Batches, r.batches);
    EXPECT_EQ(b.Valid, r.valid);
    EXPECT_EQ(b.Samples, static_cast<int64_t>(r.series.size()));
    EXPECT_NEAR(b.Mean, r.mean, 1e-12);
    if (std::string(r.name) == "39 samples") {
      EXPECT_TRUE(std::isfinite(b.HalfWidth95));
      continue;
    }
    if (std::isinf(r.halfWidth)) {
      EXPECT_TRUE(std::isinf(b.HalfWidth95));
      EXPECT_TRUE(std::isinf(b.RelativeHalfWidth));
    } else {
      EXPECT_NEAR(b.HalfWidth95, r.halfWidth, 1e-12);
      EXPECT_NEAR(b.RelativeHalfWidth, r.halfWidth / std::fabs(r.mean), 1e-12);
    }
  }
  // A zero mean with a spread: the relative half-width is infinite.
  const BatchMeans zero = ComputeBatchMeans(Blocks({1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1}, 3));
  EXPECT_TRUE(zero.Valid);
  EXPECT_NEAR(zero.HalfWidth95, 2.093 * std::sqrt(20.0 / 19) / std::sqrt(20.0), 1e-12);
  EXPECT_TRUE(std::isinf(zero.RelativeHalfWidth));
}

// P(T ≤ t) for Student's t with v degrees of freedom, by Simpson's rule on
// the density from 0 (error far below 1e-6 with 4000 intervals).
double StudentCdf(double t, int v) {
  const double dv = v;
  const double c = std::exp(std::lgamma((dv + 1) / 2) - std::lgamma(dv / 2)) / std::sqrt(dv * std::acos(-1.0));
  const auto f = [&](double x) { return c * std::pow(1 + x * x / dv, -(dv + 1) / 2); };
  const int m = 4000;
  const double h = t / m;
  double sum = f(0) + f(t);
  for (int i = 1; i < m; ++i) sum += (i % 2 == 1 ? 4 : 2) * f(i * h);
  return 0.5 + sum * h / 3;
}

TEST(SteadyState, StudentQuantileAgainstTheDistribution) {
  // Each quantile, table row or expansion, must put 97,5 % of the
  // distribution below it; three printed decimals leave at most 3e-5.
  for (int v = 1; v <= 200; v += v < 40 ? 1 : 7) {
    SCOPED_TRACE(v);
    EXPECT_NEAR(StudentCdf(StudentT975(v), v), 0.975, 3e-5) << StudentT975(v);
  }
  // Beyond the table the quantile itself, found by bisection on the
  // distribution: the expansion's own error is under 1e-4 from 31 on.
  for (int v : {31, 45, 90, 400}) {
    double lo = 1.9, hi = 2.1;
    for (int i = 0; i < 40; ++i) (StudentCdf((lo + hi) / 2, v) < 0.975 ? lo : hi) = (lo + hi) / 2;
    EXPECT_NEAR(StudentT975(v), lo, 1e-4) << v;
  }
  EXPECT_NEAR(StudentT975(100000), 1.95998, 1e-4);
  EXPECT_TRUE(std::isinf(StudentT975(0)));
  EXPECT_TRUE(std::isinf(StudentT975(-3)));
}

TEST(SteadyState, VerdictFiguresWorkedByHand) {
  // Two monitors alternating in blocks of ten about 4 and about −2: settled
  // from the first sample; 20 batch means ±a, half-width 2,093·a/√19.
  std::vector<double> a, b;
  for (int j = 0; j < 20; ++j) {
    a.push_back(4 + (j % 2 == 0 ? 0.1 : -0.1));
    b.push_back(-2 + (j % 2 == 0 ? 0.08 : -0.08));
  }
  const std::vector<std::vector<double>> set{Blocks(a, 10), Blocks(b, 10)};
  const std::vector<Real> t = Times(200, 0.25);
  const double worst = 2.093 * 0.08 / std::sqrt(19.0) / 2;  // monitor b: 0,0192
  SteadyVerdict v = JudgeSteadyState(set, t, worst);
  EXPECT_TRUE(v.StartupOver);
  EXPECT_EQ(v.StartIndex, 0);
  EXPECT_EQ(v.StartupEnd, static_cast<Real>(0.25));
  EXPECT_EQ(v.Samples, 200);
  EXPECT_EQ(v.LastTime, static_cast<Real>(50));
  EXPECT_TRUE(v.MeansKnown);
  EXPECT_NEAR(v.WorstRelativeHalfWidth, worst, 1e-12);
  EXPECT_TRUE(v.Reached) << "a half-width equal to the tolerance is enough";
  EXPECT_NE(v.Text.find("t = 0,25 с"), std::string::npos) << v.Text;
  EXPECT_NE(v.Text.find("1,9 %"), std::string::npos) << v.Text;
  v = JudgeSteadyState(set, t, 0.019);
  EXPECT_TRUE(v.StartupOver);
  EXPECT_FALSE(v.Reached);
  EXPECT_NE(v.Text.find("1,9 %"), std::string::npos) << v.Text;
  // Different lengths: no verdict.
  const std::vector<std::vector<double>> uneven{Blocks(a, 10), Blocks(b, 9)};
  EXPECT_FALSE(JudgeSteadyState(uneven, t, 1.0).StartupOver);
  EXPECT_FALSE(JudgeSteadyState({}, t, 1.0).StartupOver);
}

// The batch means given by sweeps (a file read in passes): the same start as
// on the series in memory, and a failed pass, whichever, fails the search.
TEST(SteadyState, TruncationBySweepsAndTheirFailure) {
  const std::vector<double> x = Approach(4000, 1.0, 0.8, 200, 0.05, 21);
  std::vector<double> means;
  for (size_t j = 0; j + MserBatchSize <= x.size(); j += MserBatchSize) {
    double sum = 0;
    for (int64_t i = 0; i < MserBatchSize; ++i) sum += x[j + static_cast<size_t>(i)];
    means.push_back(sum / MserBatchSize);
  }
  for (int failing : {0, 1, 2, 3}) {  // the pass that fails; 0: none
    SCOPED_TRACE(failing);
    int pass = 0;
    const BatchMeanSweep sweep = [&](int64_t count, const std::function<void(double)>& visit) {
      if (++pass == failing) return false;
      for (int64_t j = 0; j < count; ++j) visit(means[static_cast<size_t>(j)]);
      return true;
    };
    Truncation t;
    EXPECT_EQ(Mser5Sweeps(static_cast<int64_t>(means.size()), sweep, t), failing == 0);
    if (failing == 0) {
      const Truncation direct = Mser5(x);
      ASSERT_TRUE(direct.Found);
      EXPECT_TRUE(t.Found);
      EXPECT_EQ(t.Start, direct.Start);
    }
  }
}

// At most MaxJudgedSeries monitors are judged together; one more is refused
// (no verdict rather than a write past the verdict's table).
TEST(SteadyState, AsManySeriesAsTheVerdictHolds) {
  const std::vector<double> settled = Approach(4000, 1.0, 0.8, 200, 0.05, 31);
  const std::vector<Real> t = Times(settled.size(), 0.005);
  std::vector<std::vector<double>> set(static_cast<size_t>(MaxJudgedSeries), settled);
  const SteadyVerdict full = JudgeSteadyState(set, t, 0.05);
  EXPECT_TRUE(full.StartupOver);
  EXPECT_EQ(full.SeriesCount, MaxJudgedSeries);
  EXPECT_EQ(full.Series[static_cast<size_t>(MaxJudgedSeries) - 1].Mean, full.Series[0].Mean);
  set.push_back(settled);
  const SteadyVerdict over = JudgeSteadyState(set, t, 0.05);
  EXPECT_FALSE(over.StartupOver);
  EXPECT_FALSE(over.HasMeans);
}

}  // namespace
}  // namespace mdv
