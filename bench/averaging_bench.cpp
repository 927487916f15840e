// What averaging adds to a run: the default run (limit 400, 0 to 1 s, step
// 0.005 s, all cores) with and without the averages fed, alternated within
// each iteration so that both see the same load; and the parts of the cost
// (one grid sample, one vortex-zone measurement, the monitors of one step)
// at a state with 400 free vortices.
//
//   mdv_bench --benchmark_filter=Averag
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <cstdint>

#include "core/averages/averaging.h"
#include "core/model/model.h"
#include "core/base/observer.h"
#include "core/flow/run.h"

namespace mdv {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// A default run stopped when it holds `wanted` free vortices.
class StopAt : public Observer {
 public:
  explicit StopAt(int32_t wanted) : wanted_(wanted) {}
  void StepDone(const Model& m) override { reached_ = m.FreeVortexCount >= wanted_; }
  bool StopRequested() override { return reached_; }

 private:
  int32_t wanted_;
  bool reached_ = false;
};

Model& FullState() {
  static Model m = [] {
    Model s;
    SetSheddingIntervals(s, 0, 0, 0);
    StopAt stop(400);
    RunSimulation(s, 400, 0, 0, 10, 0.005L, stop);
    return s;
  }();
  return m;
}

// Arguments: k (steps between grid samples), grid spacing in mm, m (grid
// samples between vortex-zone measurements; 0 none).
void BM_AveragingCost(benchmark::State& state) {
  AveragingSettings settings;
  settings.SampleEverySteps = static_cast<int32_t>(state.range(0));
  settings.GridSpacing = static_cast<double>(state.range(1)) / 1000;
  settings.ZoneEverySamples = static_cast<int32_t>(state.range(2));
  settings.AverageFrom = 0;  // every sample from the first step: the dearest case
  double plain = 0, averaged = 0;        // wall time, s
  double plainCpu = 0, averagedCpu = 0;  // process CPU time of all threads, s
  int64_t points = 0;
  int iteration = 0;
  for (auto _ : state) {
    for (int turn = 0; turn < 2; ++turn) {
      const bool withAverages = (turn + iteration) % 2 == 1;
      Model m;
      SetSheddingIntervals(m, 0, 0, 0);
      AveragingState s;
      const auto begin = Clock::now();
      const std::clock_t cpuBegin = std::clock();
      if (withAverages) {
        StartAveraging(s, m, settings);
        const AveragedRunSummary r = RunAveraged(m, s, 400, 0, 0, 1, 0.005L);
        benchmark::DoNotOptimize(r.Run.Steps);
        averaged += Seconds(Clock::now() - begin);
        averagedCpu += static_cast<double>(std::clock() - cpuBegin) / CLOCKS_PER_SEC;
        points = static_cast<int64_t>(s.SamplePoints.size());
      } else {
        const RunSummary r = RunSimulation(m, 400, 0, 0, 1, 0.005L);
        benchmark::DoNotOptimize(r.Steps);
        plain += Seconds(Clock::now() - begin);
        plainCpu += static_cast<double>(std::clock() - cpuBegin) / CLOCKS_PER_SEC;
      }
    }
    ++iteration;
  }
  state.counters["plain_s"] = plain / iteration;
  state.counters["averaged_s"] = averaged / iteration;
  state.counters["added_pct"] = (averaged / plain - 1) * 100;
  // The work added, whatever the machine's load does to the wall times.
  state.counters["added_cpu_pct"] = (averagedCpu / plainCpu - 1) * 100;
  state.counters["points"] = static_cast<double>(points);
}
BENCHMARK(BM_AveragingCost)
    ->Args({25, 25, 8})  // the defaults
    ->Args({25, 25, 0})
    ->Args({20, 25, 10})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Parts at 400 free vortices: 0 one step's monitors, 1 one grid sample
// (spacing 25 mm), 2 one vortex-zone measurement.
void BM_AveragingPart(benchmark::State& state) {
  Model& m = FullState();
  const int part = static_cast<int>(state.range(0));
  AveragingSettings settings;
  settings.AverageFrom = 0;
  settings.SampleEverySteps = part == 0 ? 1000000 : 1;
  settings.ZoneEverySamples = part == 2 ? 1 : 0;
  AveragingState s;
  StartAveraging(s, m, settings);
  ReserveAveraging(s, 100000);
  FeedStep(s, m);  // lays the grid
  for (auto _ : state) FeedStep(s, m);
  static const char* const labels[] = {"monitors", "grid sample + monitors", "zone + grid + monitors"};
  state.SetLabel(labels[part]);
  state.counters["points"] = static_cast<double>(s.SamplePoints.size());
}
BENCHMARK(BM_AveragingPart)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace mdv
