// The double path gives the flow's statistics of the extended path: the mean
// axial velocity on the axis at x = -B and x = -2B over model time 2..10 s of
// the default run agrees within the sum of the two runs' 95 % batch-means
// half-widths. Long (two 10 s runs): one test.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "core/flow/circulation.h"
#include "core/flow/run.h"
#include "core/model_fixtures.h"

namespace mdv {
namespace {

constexpr Real From = 2, To = 10;  // model time of the averages, s
constexpr int Batches = 10;
constexpr double Student975Df9 = 2.262;  // t quantile 0.975, 9 degrees of freedom

// The axial velocity at the given axis points after every step in [From, To].
class AxisSampler : public Observer {
 public:
  explicit AxisSampler(std::vector<TRealPoint> points) : points_(std::move(points)), series_(points_.size()) {}
  void StepDone(const Model& m) override {
    if (m.Time < From || m.Time > To) return;
    for (size_t i = 0; i < points_.size(); ++i) {
      Real u, v;
      CalcVelocityPair(m, points_[i], -1, u, v);
      series_[i].push_back(static_cast<double>(u));
    }
  }
  const std::vector<double>& Series(size_t i) const { return series_[i]; }

 private:
  std::vector<TRealPoint> points_;
  std::vector<std::vector<double>> series_;
};

struct Estimate {
  double mean = 0, halfWidth = 0;
};

// Mean of the series and the 95 % half-width from the means of equal batches.
Estimate BatchMeans(const std::vector<double>& x) {
  const size_t per = x.size() / Batches;
  double means[Batches];
  double grand = 0;
  for (int b = 0; b < Batches; ++b) {
    double s = 0;
    for (size_t k = 0; k < per; ++k) s += x[b * per + k];
    means[b] = s / static_cast<double>(per);
    grand += means[b];
  }
  grand /= Batches;
  double ss = 0;
  for (double m : means) ss += (m - grand) * (m - grand);
  const double sd = std::sqrt(ss / (Batches - 1));
  return {grand, Student975Df9 * sd / std::sqrt(static_cast<double>(Batches))};
}

TEST(DoublePathStatistics, MeanAxialVelocityOnTheAxisMatchesExtended) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "two 10 s runs: too long under the sanitizers, which the shorter double-path "
                  "tests cover";
#endif
  Estimate est[2][2];  // [path][point]
  const char* const names[2] = {"extended", "double"};
  for (int path = 0; path < 2; ++path) {
    Model m = test::DefaultModel();
    m.Exec.Arithmetic = path == 0 ? Precision::Extended : Precision::Double;
    const Real b = m.ChannelRadius;
    AxisSampler sampler({{-b, 0}, {-2 * b, 0}});
    const RunSummary r = RunSimulation(m, 400, 0, 0, To, 0.005L, sampler);
    ASSERT_EQ(r.HowEnded, RunSummary::End::TimeLimit) << r.Message;
    for (int point = 0; point < 2; ++point) {
      ASSERT_GE(sampler.Series(point).size(), 1500u);
      est[path][point] = BatchMeans(sampler.Series(point));
    }
  }
  for (int point = 0; point < 2; ++point) {
    SCOPED_TRACE(point == 0 ? "x = -B" : "x = -2B");
    for (int path = 0; path < 2; ++path) {
      std::printf("mean axial velocity at x = -%dB, t 2..10 s, %s: %.5f ± %.5f m/s\n", point + 1,
                  names[path], est[path][point].mean, est[path][point].halfWidth);
    }
    const double difference = std::fabs(est[1][point].mean - est[0][point].mean);
    EXPECT_LE(difference, est[0][point].halfWidth + est[1][point].halfWidth);
    // The suction draws the air towards the hood: a definite mean, not noise around 0.
    EXPECT_GT(est[0][point].mean, 2 * est[0][point].halfWidth);
  }
}

}  // namespace
}  // namespace mdv
