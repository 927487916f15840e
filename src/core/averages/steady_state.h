#pragma once
// Where the start-up of a series sampled at equal steps ends (MSER-5, the
// marginal standard error rule on batches of five) and how well the mean of
// the rest is known (non-overlapping batch means, 95 % confidence).
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
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

// The batch means of five of a series that is not held in memory (a record
// read from disk): sweep(count, visit) calls visit(Z_j) for j = 0 … count−1
// in order, from the first batch each time, and returns false when it could
// not (a read failure, a stop asked for).
using BatchMeanSweep = std::function<bool(int64_t count, const std::function<void(double)>& visit)>;
// Mser5 over `batches` batch means given by three sweeps: the same bits as
// Mser5 on the series in memory. False when a sweep failed.
bool Mser5Sweeps(int64_t batches, const BatchMeanSweep& sweep, Truncation& t);

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

// The start-up's end as a run holds it from one check to the next. MSER-5 on
// a growing record can find the end, lose it a few steps later (a slow swing
// of the wake looks like a drift over the last half) and find it again; the
// averages would come and go with it. A found end is held until the record
// has grown to StartupReleaseFactor times its length at the last check that
// found one, every check in between having found none: a drift as long as
// the settled stretch is clear evidence, a swing is not.
inline constexpr int64_t StartupReleaseFactor = 2;
struct StartupHold {
  bool Held = false;
  int64_t Start = 0;        // index of the first kept sample
  int64_t ConfirmedAt = 0;  // record length (samples) of the last check that found it
};
// One check: `found` and `start` from this record of `samples` observations.
// Returns whether the start-up's end is known (found now, or held).
bool UpdateStartupHold(StartupHold& h, bool found, int64_t start, int64_t samples);

// Most series one verdict judges (the run has four monitors).
inline constexpr int32_t MaxJudgedSeries = 8;

// The verdict on a set of monitored series sampled at the same moments. It is
// the one account of how well the means are known: the run's stop, the
// status bar, the averages window, the JSON and the study table all read it.
struct SteadyVerdict {
  bool Reached = false;      // start-up over and every relative half-width <= tolerance
  bool StartupOver = false;  // every monitor's truncation was found (or held, below)
  // The end is held from a shorter record (StartupHold): this check did not
  // find it. Then the verdict is never Reached.
  bool StartupHeld = false;
  Real ConfirmedTime = 0;    // time of the last sample of the record that found it, s (when held)
  Real StartupEnd = 0;       // model time of the first kept sample, s (when StartupOver)
  int64_t StartIndex = 0;    // index of that sample (the latest of the monitors')
  double WorstRelativeHalfWidth = 0;  // largest over the monitors (when MeansKnown)
  // Start-up over and every monitor's half-width trusted: its batch means
  // not correlated (BatchMeans::Valid) and the half-width finite.
  bool MeansKnown = false;
  // Each series' mean and half-width over the averaged stretch, from sample
  // MeansFrom to the end; none (HasMeans false) before the start-up is over
  // unless a start time was given.
  bool HasMeans = false;
  int64_t MeansFrom = 0;
  int32_t SeriesCount = 0;
  std::array<BatchMeans, MaxJudgedSeries> Series{};
  double Tolerance = DefaultSteadyTolerance;
  int64_t Samples = 0;       // observations per monitor
  Real LastTime = 0;         // time of the last observation, s
  // For the user: "Установившийся режим с t = 3,45 с; точность средних 4,8 %" and the like.
  std::string Text;
};

// series[i][s] is monitor i at time times[s]. The start-up ends at the latest
// of the monitors' truncation points; each monitor's batch means are taken from
// there, or from the first sample at or after `averageFrom` when given (the
// stretch the averages are taken over). Needs times.size() == every series'
// size and at most MaxJudgedSeries series. Without `withText` the verdict's
// Text stays empty and nothing is allocated (the check during a run). With
// `hold` the check updates it and a held end counts as found (the run's
// checks; a summary passes a copy so that it changes nothing).
SteadyVerdict JudgeSteadyState(std::span<const std::vector<double>> series,
                               std::span<const Real> times, double tolerance, bool withText = true,
                               std::optional<Real> averageFrom = std::nullopt,
                               StartupHold* hold = nullptr);
// A series' half-width is shown as a figure only when trusted.
inline bool HalfWidthTrusted(const BatchMeans& b) { return b.Valid && std::isfinite(b.HalfWidth95); }
// The verdict's text from its fields.
std::string SteadyVerdictText(const SteadyVerdict& v);

}  // namespace mdv
