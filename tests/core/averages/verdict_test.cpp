// One steady-state verdict: the run's stop, the summary the window and the
// study table read, and the JSON agree on a series whose batch means are
// strongly correlated (half-widths not trusted: no figures) and on one with
// independent batch means (figures, equal to the batch means computed directly).
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <numbers>
#include <random>
#include <vector>

#include "core/averages/averaging.h"
#include "core/averages/averaging_files.h"
#include "core/base/numfmt.h"
#include "core/model_fixtures.h"

namespace mdv {
namespace {

constexpr int kSamples = 4000;
constexpr double kDt = 0.005;  // s

// Monitor k at sample i: level + amplitude·sin(2πi/n) (one slow period over
// the record: the batch means of 20 and of 10 batches follow it, lag-1
// autocorrelation about 0,9 and 0,8) + white noise of s.d. sigma (which the
// batches of five of MSER-5 see: no start-up is cut).
void Fill(AveragingState& s, double amplitude, double sigma) {
  std::mt19937_64 gen(12345);
  std::normal_distribution<double> noise(0.0, sigma);
  s.Times.clear();
  for (auto& m : s.Monitors) m.clear();
  for (int i = 0; i < kSamples; ++i) {
    s.Times.push_back(static_cast<Real>(i * kDt));
    for (int k = 0; k < MonitorCount; ++k) {
      const double level = 1.0 + 0.5 * k;
      s.Monitors[static_cast<size_t>(k)].push_back(level + amplitude * std::sin(2 * std::numbers::pi * i / kSamples) +
                                                   noise(gen));
    }
  }
  s.Steps = kSamples;
}

TEST(SteadyVerdict, StopSummaryAndJsonAgree) {
  const Model m = test::DefaultModel();
  struct Row {
    const char* name;
    double amplitude, sigma;
    bool trusted;  // every half-width shown as a figure
  };
  for (const Row& row : {Row{"independent batch means", 0.0, 0.01, true},
                         Row{"strongly correlated batch means", 0.03, 0.05, false}}) {
    SCOPED_TRACE(row.name);
    AveragingState s;
    StartAveraging(s, m, AveragingSettings{});
    Fill(s, row.amplitude, row.sigma);

    const SteadyVerdict stop = JudgeAveraging(s, false);  // what ends an "until steady" run
    const AveragingResults r = SummariseAveraging(s, m);
    ASSERT_TRUE(r.Steady.StartupOver) << r.Steady.Text;
    EXPECT_EQ(stop.Reached, r.Steady.Reached);
    EXPECT_EQ(stop.MeansKnown, r.Steady.MeansKnown);
    EXPECT_EQ(r.Steady.MeansKnown, row.trusted);
    EXPECT_EQ(r.Steady.Reached, row.trusted) << "tolerance 5 % is met whenever known here";
    EXPECT_EQ(r.Steady.Text.find("не оценена") != std::string::npos, !row.trusted) << r.Steady.Text;

    const nlohmann::json j = nlohmann::json::parse(AveragesJson(r));
    EXPECT_EQ(j["steady"]["reached"].get<bool>(), r.Steady.Reached);
    EXPECT_EQ(j["steady"]["verdict"].get<std::string>(), r.Steady.Text);
    ASSERT_EQ(r.Monitors.size(), static_cast<size_t>(MonitorCount));
    const size_t from = static_cast<size_t>(r.Steady.StartIndex);
    for (int k = 0; k < MonitorCount; ++k) {
      SCOPED_TRACE(MonitorNames[k]);
      const MonitorSummary& ms = r.Monitors[static_cast<size_t>(k)];
      // Second computation: the batch means of the stretch after the start-up.
      const std::vector<double>& series = s.Monitors[static_cast<size_t>(k)];
      const BatchMeans direct = ComputeBatchMeans(std::span<const double>(series).subspan(from));
      EXPECT_TRUE(ms.Known);
      EXPECT_EQ(ms.Trusted, row.trusted);
      EXPECT_EQ(ms.Mean, direct.Mean);
      EXPECT_EQ(ms.Samples, static_cast<int64_t>(series.size() - from));
      const nlohmann::json& jm = j["monitors"][static_cast<size_t>(k)];
      EXPECT_EQ(jm["name"].get<std::string>(), MonitorNames[k]);
      EXPECT_EQ(jm["mean"].get<double>(), direct.Mean);
      if (row.trusted) {
        EXPECT_EQ(jm["half_width_95"].get<double>(), direct.HalfWidth95);
        EXPECT_EQ(jm["relative_half_width"].get<double>(), direct.RelativeHalfWidth);
        // Independent values: t(0,975; 19)·σ/√n within the scatter of 20 batches.
        const double expected = 2.093 * row.sigma / std::sqrt(static_cast<double>(series.size() - from));
        EXPECT_GT(direct.HalfWidth95, 0.6 * expected);
        EXPECT_LT(direct.HalfWidth95, 1.6 * expected);
      } else {
        EXPECT_TRUE(jm["half_width_95"].is_null()) << "a half-width not trusted is not written as a figure";
        EXPECT_TRUE(jm["relative_half_width"].is_null());
      }
    }
  }
}

TEST(SteadyVerdict, GivenStartTimeIsTheStretchJudged) {
  // With --average-from the means and their half-widths are those of the
  // averaged stretch, for the stop as for the file.
  const Model m = test::DefaultModel();
  AveragingState s;
  AveragingSettings settings;
  settings.AverageFrom = 10.0L;  // s: sample 2000
  StartAveraging(s, m, settings);
  Fill(s, 0.0, 0.01);
  const AveragingResults r = SummariseAveraging(s, m);
  ASSERT_TRUE(r.Steady.HasMeans);
  EXPECT_EQ(r.Steady.MeansFrom, 2000);
  EXPECT_EQ(r.Monitors[0].Samples, kSamples - 2000);
  const BatchMeans direct = ComputeBatchMeans(std::span<const double>(s.Monitors[0]).subspan(2000));
  EXPECT_EQ(r.Monitors[0].HalfWidth95, direct.HalfWidth95);
  EXPECT_EQ(JudgeAveraging(s, false).WorstRelativeHalfWidth, r.Steady.WorstRelativeHalfWidth);
  // From a time after the last sample: nothing to average, no figure at all.
  s.Settings.AverageFrom = 1e6L;
  const AveragingResults none = SummariseAveraging(s, m);
  EXPECT_FALSE(none.Steady.HasMeans);
  EXPECT_FALSE(none.Steady.MeansKnown);
  EXPECT_FALSE(none.Monitors[0].Known);
}

TEST(SteadyVerdict, TextsForTheUser) {
  SteadyVerdict v;
  v.Samples = 40;
  EXPECT_EQ(SteadyVerdictText(v), "Режим не установился: мало шагов для оценки (40)");
  v.Samples = 4000;
  v.LastTime = 12.345L;
  EXPECT_EQ(SteadyVerdictText(v), "Режим не установился: разгон не закончился к t = 12,35 с");
  v.StartupOver = true;
  v.StartupEnd = 3.45L;
  EXPECT_EQ(SteadyVerdictText(v), "Разгон закончился к t = 3,45 с; точность средних ещё не оценена: "
                                  "мало независимых данных после разгона");
  v.MeansKnown = true;
  v.WorstRelativeHalfWidth = 0.069;
  v.Tolerance = 0.05;
  EXPECT_EQ(SteadyVerdictText(v), "Разгон закончился к t = 3,45 с; точность средних 6,9 % хуже заданной 5 %");
  v.Reached = true;
  v.WorstRelativeHalfWidth = 0.048;
  EXPECT_EQ(SteadyVerdictText(v), "Установившийся режим с t = 3,45 с; точность средних 4,8 %");
}

// The start-up's end found on a growing record is held while the record is
// shorter than twice the one that last found it, and then let go: checked
// every 20 samples, as a run checks, against MSER-5 on each prefix. The
// series settles (noise about 1), then drifts for good from sample 1000.
TEST(StartupHold, HeldUntilTheRecordDoublesThenReleased) {
  std::mt19937_64 gen(7);
  std::normal_distribution<double> noise(0.0, 0.02);
  std::vector<double> x;
  std::vector<Real> t;
  for (int i = 0; i < 6000; ++i) {
    t.push_back(static_cast<Real>(i * kDt));
    x.push_back(1.0 - 0.5 * std::exp(-i / 60.0) + (i > 1000 ? 4e-4 * (i - 1000) : 0.0) + noise(gen));
  }
  StartupHold hold;
  int64_t foundAt = 0, foundStart = 0;
  int held = 0, released = 0;
  for (size_t n = 20; n <= x.size(); n += SteadyCheckEverySteps) {
    const std::vector<std::vector<double>> one{std::vector<double>(x.begin(), x.begin() + static_cast<long>(n))};
    const Truncation fresh = Mser5(one[0]);
    const SteadyVerdict v = JudgeSteadyState(one, std::span<const Real>(t.data(), n), 0.05, true, std::nullopt, &hold);
    const bool keep = !fresh.Found && foundAt > 0 && static_cast<int64_t>(n) < StartupReleaseFactor * foundAt;
    ASSERT_EQ(v.StartupOver, fresh.Found || keep) << "n = " << n;
    ASSERT_EQ(v.StartupHeld, keep) << "n = " << n;
    ASSERT_EQ(v.HasMeans, v.StartupOver) << "n = " << n;
    if (fresh.Found) {
      foundAt = static_cast<int64_t>(n);
      foundStart = fresh.Start;
    } else if (keep) {
      ++held;
      EXPECT_EQ(v.StartIndex, foundStart) << "n = " << n;
      EXPECT_EQ(v.MeansFrom, foundStart) << "n = " << n;
      EXPECT_FALSE(v.Reached) << "a held end never ends a run, n = " << n;
      EXPECT_DOUBLE_EQ(static_cast<double>(v.ConfirmedTime), static_cast<double>(t[static_cast<size_t>(foundAt - 1)]));
      const auto at = [&](int64_t i) { return FormatFixed(t[static_cast<size_t>(i)], 6, 2); };
      EXPECT_EQ(v.Text.rfind("Разгон закончился к t = " + at(foundStart) + " с по записи до t = " + at(foundAt - 1) +
                                 " с; по всей записи до t = " + at(static_cast<int64_t>(n) - 1) +
                                 " с это не подтверждается",
                             0),
                0u)
          << v.Text;
    } else if (foundAt > 0) {
      ++released;
      foundAt = 0;  // let go: only a new find holds again
      EXPECT_EQ(v.Text, "Режим не установился: разгон не закончился к t = " + FormatFixed(t[n - 1], 6, 2) + " с");
    }
  }
  // The scenario must pass through both: held checks, then the release.
  EXPECT_GT(held, 10);
  EXPECT_GE(released, 1);
}

}  // namespace
}  // namespace mdv
