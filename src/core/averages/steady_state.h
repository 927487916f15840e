#pragma once
// Where the start-up of a series sampled at equal steps ends (MSER-5, the
// marginal standard error rule on batches of five) and how well the mean of
// the rest is known (non-overlapping batch means, 95 % confidence).
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/base/real.h"

namespace mdv {

// Observations per batch of the truncation rule.
inline constexpr int32_t MserBatchSize = 5;
// Fewer batches of five than this give no truncation at all.
inline constexpr int32_t MserMinBatches = 10;
// Batch counts tried for the confidence interval, most first; a count is taken
// when the lag-1 autocorrelation of its batch means is below 2/sqrt(count).
inline constexpr int32_t BatchCounts[] = {20, 10};
// Relative half-width every monitored mean must reach by default.
inline constexpr double DefaultSteadyTolerance = 0.05;

struct Truncation {
  // False when the series is too short or the statistic was still falling at
  // the end of the searched first half: the start-up has not ended.
  bool Found = false;
  int64_t Start = 0;  // index of the first observation kept
};

// MSER-5: batch means Z_j of five observations (a short last batch is left
// out), d* = argmin over d in [0, b/2] of sum_{j>=d} (Z_j - mean_d)^2 / (b-d)^2;
// the start-up ends at observation 5·d*. A minimum at the end of the searched
// range means the series is still settling (or drifting): not found.
Truncation Mser5(std::span<const double> series);

struct BatchMeans {
  bool Valid = false;        // enough data and batch means not correlated
  double Mean = 0;           // over every observation given
  double HalfWidth95 = 0;    // t(0,975; b-1) · s_b / sqrt(b), in the series' unit
  double RelativeHalfWidth = 0;  // HalfWidth95 / |Mean| (infinite for a zero mean)
  int32_t Batches = 0;       // batch count used (0: too few observations)
  int64_t Samples = 0;
};

// Batch means of the whole span (the caller passes the part after the
// start-up). Needs at least 2 observations per batch. Neither routine allocates.
BatchMeans ComputeBatchMeans(std::span<const double> series);

// Two-sided 95 % quantile of Student's t with `dof` degrees of freedom.
double StudentT975(int32_t dof);

// The verdict on a set of monitored series sampled at the same moments.
struct SteadyVerdict {
  bool Reached = false;      // start-up over and every relative half-width <= tolerance
  bool StartupOver = false;  // every monitor's truncation was found
  Real StartupEnd = 0;       // model time of the first kept sample, s (when StartupOver)
  int64_t StartIndex = 0;    // index of that sample (the latest of the monitors')
  double WorstRelativeHalfWidth = 0;  // largest over the monitors (when StartupOver)
  bool MeansKnown = false;   // every monitor's batch means are valid (when StartupOver)
  double Tolerance = DefaultSteadyTolerance;
  int64_t Samples = 0;       // observations per monitor
  Real LastTime = 0;         // time of the last observation, s
  // For the user: "Установившийся режим с t = 3,45 с; точность средних 4,8 %" and the like.
  std::string Text;
};

// series[i][s] is monitor i at time times[s]. The start-up ends at the latest
// of the monitors' truncation points; each monitor's batch means are taken from
// there. Needs times.size() == every series' size. Without `withText` the
// verdict's Text stays empty and nothing is allocated (the check during a run).
SteadyVerdict JudgeSteadyState(std::span<const std::vector<double>> series,
                               std::span<const Real> times, double tolerance, bool withText = true);
// The verdict's text from its fields.
std::string SteadyVerdictText(const SteadyVerdict& v);

}  // namespace mdv
