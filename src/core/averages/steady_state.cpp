#include "core/averages/steady_state.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/base/numfmt.h"

namespace mdv {

namespace {

constexpr double Infinity = std::numeric_limits<double>::infinity();
// A spread of the batch means below this fraction of their mean is rounding.
constexpr double ConstantSpread = 1e-12;

// Consecutive batches of `size` observations of a series (a short tail left
// out), their means computed when asked, so that nothing is stored.
struct Batches {
  std::span<const double> x;
  int64_t size;
  int64_t Count() const { return size > 0 ? static_cast<int64_t>(x.size()) / size : 0; }
  double Mean(int64_t j) const {
    double sum = 0;
    for (int64_t i = 0; i < size; ++i) sum += x[static_cast<size_t>(j * size + i)];
    return sum / static_cast<double>(size);
  }
};

double MeanOf(std::span<const double> x) {
  double sum = 0;
  for (double v : x) sum += v;
  return x.empty() ? 0 : sum / static_cast<double>(x.size());
}

std::string Percent(double fraction) { return FormatFixed(fraction * 100, 6, 1); }

}  // namespace

namespace {

// MSER-5 over b batch means that `sweep(count, visit)` visits in order from
// the first (three sweeps: their mean, the sums of deviations, the scan of
// the first half); false when a sweep failed.
template <class Sweep>
bool Mser5Of(int64_t b, Sweep&& sweep, Truncation& t) {
  t = Truncation{};
  if (b < MserMinBatches) return true;
  // Deviations from the overall batch mean keep the running sums free of cancellation.
  double shift = 0;
  if (!sweep(b, [&](double z) { shift += z; })) return false;
  shift /= static_cast<double>(b);
  double s1 = 0, s2 = 0;  // sums over batches d..b-1 of the deviation and its square
  if (!sweep(b, [&](double z) {
        const double d = z - shift;
        s1 += d;
        s2 += d * d;
      }))
    return false;
  const int64_t last = b / 2;
  int64_t best = 0;
  double bestValue = Infinity;
  int64_t d = 0;
  if (!sweep(last + 1, [&](double z) {
        const double n = static_cast<double>(b - d);
        const double sse = std::max(0.0, s2 - s1 * s1 / n);
        const double value = sse / (n * n);
        if (value < bestValue) {
          bestValue = value;
          best = d;
        }
        const double dev = z - shift;
        s1 -= dev;
        s2 -= dev * dev;
        ++d;
      }))
    return false;
  // Still falling at the end of the first half: the series has not settled.
  if (best == last && bestValue > 0) return true;
  t.Found = true;
  t.Start = best * MserBatchSize;
  return true;
}

}  // namespace

Truncation Mser5(std::span<const double> series) {
  const Batches z{series, MserBatchSize};
  Truncation t;
  Mser5Of(z.Count(), [&](int64_t count, auto&& visit) {
    for (int64_t j = 0; j < count; ++j) visit(z.Mean(j));
    return true;
  }, t);
  return t;
}

bool Mser5Sweeps(int64_t batches, const BatchMeanSweep& sweep, Truncation& t) {
  return Mser5Of(batches, [&](int64_t count, auto&& visit) {
    const std::function<void(double)> f = [&visit](double z) { visit(z); };
    return sweep(count, f);
  }, t);
}

double StudentT975(int32_t dof) {
  static constexpr double Table[] = {12.706, 4.303, 3.182, 2.776, 2.571, 2.447, 2.365, 2.306,
                                     2.262,  2.228, 2.201, 2.179, 2.160, 2.145, 2.131, 2.120,
                                     2.110,  2.101, 2.093, 2.086, 2.080, 2.074, 2.069, 2.064,
                                     2.060,  2.056, 2.052, 2.048, 2.045, 2.042};
  if (dof < 1) return Infinity;
  if (dof <= 30) return Table[dof - 1];
  // Cornish-Fisher expansion about the normal quantile; below 1e-3 off beyond 30.
  const double z = 1.959963984540054;
  const double v = dof;
  return z + (z * z * z + z) / (4 * v) + (5 * std::pow(z, 5) + 16 * z * z * z + 3 * z) / (96 * v * v);
}

BatchMeans ComputeBatchMeans(std::span<const double> series) {
  BatchMeans r;
  r.Samples = static_cast<int64_t>(series.size());
  r.Mean = MeanOf(series);
  r.HalfWidth95 = Infinity;
  r.RelativeHalfWidth = Infinity;
  for (int32_t b : BatchCounts) {
    const int64_t size = r.Samples / b;
    if (size < 2) continue;
    // The newest b·size observations; a remainder is left out at the old end.
    const Batches z{series.subspan(series.size() - static_cast<size_t>(size * b)), size};
    double zm = 0;
    for (int64_t j = 0; j < b; ++j) zm += z.Mean(j);
    zm /= b;
    double ss = 0, lag = 0, prev = 0;
    for (int64_t j = 0; j < b; ++j) {
      const double d = z.Mean(j) - zm;
      ss += d * d;
      if (j > 0) lag += prev * d;
      prev = d;
    }
    double sd = std::sqrt(ss / (b - 1));
    // Batch means that differ by rounding only: a constant series.
    const bool constant = sd <= ConstantSpread * std::fabs(zm);
    if (constant) sd = 0;
    const double lag1 = ss > 0 && !constant ? lag / ss : 0;  // lag-1 autocorrelation of the batch means
    r.Batches = b;
    r.HalfWidth95 = StudentT975(b - 1) * sd / std::sqrt(static_cast<double>(b));
    r.RelativeHalfWidth = r.HalfWidth95 == 0 ? 0 : (r.Mean != 0 ? r.HalfWidth95 / std::fabs(r.Mean) : Infinity);
    r.Valid = lag1 < 2 / std::sqrt(static_cast<double>(b));
    if (r.Valid) break;
  }
  return r;
}

bool UpdateStartupHold(StartupHold& h, bool found, int64_t start, int64_t samples) {
  if (found) {
    h = {true, start, samples};
  } else if (h.Held && (samples < h.ConfirmedAt || samples >= StartupReleaseFactor * h.ConfirmedAt ||
                        h.Start >= samples)) {
    // Let go after the record doubled; a record that shrank belongs to another run.
    h = StartupHold{};
  }
  return h.Held;
}

SteadyVerdict JudgeSteadyState(std::span<const std::vector<double>> series,
                               std::span<const Real> times, double tolerance, bool withText,
                               std::optional<Real> averageFrom, StartupHold* hold) {
  SteadyVerdict v;
  v.Tolerance = tolerance;
  const size_t n = times.size();
  v.Samples = static_cast<int64_t>(n);
  if (n > 0) v.LastTime = times[n - 1];
  bool consistent = !series.empty() && series.size() <= static_cast<size_t>(MaxJudgedSeries);
  for (const auto& s : series) consistent = consistent && s.size() == n;
  if (!consistent) {
    if (withText) v.Text = SteadyVerdictText(v);
    return v;
  }
  int64_t start = 0;
  bool over = true;
  for (const auto& s : series) {
    const Truncation t = Mser5(s);
    over = over && t.Found;
    start = std::max(start, t.Start);
  }
  if (hold != nullptr && UpdateStartupHold(*hold, over, start, static_cast<int64_t>(n)) && !over) {
    over = true;
    start = hold->Start;
    v.StartupHeld = true;
    v.ConfirmedTime = times[static_cast<size_t>(hold->ConfirmedAt - 1)];
  }
  if (over) {
    v.StartupOver = true;
    v.StartIndex = start;
    v.StartupEnd = times[static_cast<size_t>(start)];
  }
  // The stretch the means are taken over: from the given time, else from the
  // end of the start-up.
  size_t first = n;
  if (averageFrom) {
    first = static_cast<size_t>(std::lower_bound(times.begin(), times.end(), *averageFrom) - times.begin());
  } else if (over) {
    first = static_cast<size_t>(start);
  }
  if (first < n) {
    v.HasMeans = true;
    v.MeansFrom = static_cast<int64_t>(first);
    v.SeriesCount = static_cast<int32_t>(series.size());
    bool allTrusted = true;
    double worst = 0;
    for (size_t i = 0; i < series.size(); ++i) {
      const BatchMeans b = ComputeBatchMeans(std::span<const double>(series[i]).subspan(first));
      v.Series[i] = b;
      allTrusted = allTrusted && HalfWidthTrusted(b);
      worst = std::max(worst, b.RelativeHalfWidth);
    }
    v.MeansKnown = over && allTrusted && std::isfinite(worst);
    v.WorstRelativeHalfWidth = worst;
    v.Reached = v.MeansKnown && worst <= tolerance && !v.StartupHeld;
  }
  if (withText) v.Text = SteadyVerdictText(v);
  return v;
}

std::string SteadyVerdictText(const SteadyVerdict& v) {
  if (!v.StartupOver) {
    if (v.Samples / MserBatchSize < MserMinBatches) {
      return "Режим не установился: мало шагов для оценки (" + std::to_string(v.Samples) + ")";
    }
    return "Режим не установился: разгон не закончился к t = " + FormatFixed(v.LastTime, 6, 2) + " с";
  }
  const std::string from = FormatFixed(v.StartupEnd, 6, 2);
  if (v.StartupHeld) {
    // Found on a shorter record and not since: the averages stay, with why.
    std::string t = "Разгон закончился к t = " + from + " с по записи до t = " +
                    FormatFixed(v.ConfirmedTime, 6, 2) + " с; по всей записи до t = " +
                    FormatFixed(v.LastTime, 6, 2) + " с это не подтверждается";
    if (!v.MeansKnown) return t + "; точность средних не оценена";
    return t + "; точность средних " + Percent(v.WorstRelativeHalfWidth) + " %";
  }
  if (v.Reached) {
    return "Установившийся режим с t = " + from + " с; точность средних " +
           Percent(v.WorstRelativeHalfWidth) + " %";
  }
  if (!v.MeansKnown) {
    return "Разгон закончился к t = " + from +
           " с; точность средних ещё не оценена: мало независимых данных после разгона";
  }
  return "Разгон закончился к t = " + from + " с; точность средних " + Percent(v.WorstRelativeHalfWidth) +
         " % хуже заданной " + FormatGeneral(v.Tolerance * 100) + " %";
}

}  // namespace mdv
