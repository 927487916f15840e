// What 2 000 markers add to a step of the default hood on the double path
// (400 free vortices, all cores): steps with and without the tracers fed,
// alternated within each iteration so that both see the same load, timed
// from the first step's end to the last's (the run's set-up left out).
// Argument: the stride (markers move in that many groups, one a step).
//
//   mdv_bench --benchmark_filter=Tracer
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>

#include "core/averages/tracers.h"
#include "core/flow/run.h"
#include "core/model/model.h"

namespace mdv {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t Markers = 2000;
constexpr Real Step = 0.005L;  // s
constexpr int32_t Steps = 41;  // timed: the last 40

class StopAt : public Observer {
 public:
  explicit StopAt(int32_t wanted) : wanted_(wanted) {}
  void StepDone(const Model& m) override { reached_ = m.FreeVortexCount >= wanted_; }
  bool StopRequested() override { return reached_; }

 private:
  int32_t wanted_;
  bool reached_ = false;
};

const Model& FullState() {
  static const Model m = [] {
    Model s;
    s.Exec.Arithmetic = Precision::Double;
    SetSheddingIntervals(s, 0, 0, 0);
    StopAt stop(400);
    RunSimulation(s, 400, 0, 0, 10, Step, stop);
    return s;
  }();
  return m;
}

// Times the steps; feeds the tracers when given.
class Timed : public Observer {
 public:
  explicit Timed(TracerState* t) : t_(t) {}
  void StepDone(const Model& m) override {
    if (t_ != nullptr) FeedTracers(*t_, m, std::nullopt);
    if (steps_++ == 0) first_ = Clock::now();
    last_ = Clock::now();
  }
  double Seconds() const { return std::chrono::duration<double>(last_ - first_).count(); }

 private:
  TracerState* t_;
  int32_t steps_ = 0;
  Clock::time_point first_, last_;
};

void BM_TracerCost(benchmark::State& state) {
  const int32_t stride = static_cast<int32_t>(state.range(0));
  double plain = 0, traced = 0;  // s
  int iteration = 0;
  size_t inFlight = 0;
  for (auto _ : state) {
    for (int turn = 0; turn < 2; ++turn) {
      const bool withTracers = (turn + iteration) % 2 == 1;
      Model m = FullState();
      TracerState t;
      if (withTracers) {
        // 2 000 markers in flight over the region in front of the hood
        // (50 × 40 points, x from −0,45 to −0,01 m, y from 0,01 to 0,79 m);
        // none released during the steps.
        TracerSettings s;
        s.Stride = stride;
        StartTracers(t, m, s, AveragingGrid{});
        for (int32_t k = 0; k < Markers; ++k) {
          const Real x = -0.45L + 0.44L * (k % 50) / 49, y = 0.01L + 0.78L * (k / 50) / 39;
          t.Markers.push_back({{x, y}, 0, 0, k % stride});
        }
        t.Tally.assign(1, SourceTally{});
        ReserveTracers(t, Markers);
      }
      Timed timed(withTracers ? &t : nullptr);
      const RunSummary r = RunSimulation(m, 400, m.FreeVortexCount, m.Time, m.Time + Step * Steps - Step / 2, Step, timed);
      benchmark::DoNotOptimize(r.Steps);
      (withTracers ? traced : plain) += timed.Seconds();
      if (withTracers) inFlight = t.Markers.size();
    }
    ++iteration;
  }
  state.counters["step_ms"] = 1000 * plain / (iteration * (Steps - 1));
  state.counters["traced_step_ms"] = 1000 * traced / (iteration * (Steps - 1));
  state.counters["added"] = traced / plain - 1;
  state.counters["in_flight_at_end"] = static_cast<double>(inFlight);
}
BENCHMARK(BM_TracerCost)->Arg(1)->Arg(4)->Arg(8)->Arg(10)->Arg(16)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace mdv
