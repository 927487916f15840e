// The refined model's speed goal: 20 s of model time of the default hood
// with the refined model's own set on the double path within 20 s of wall
// time on this 2-core machine, beside the program's model over the same 20 s
// (its free-vortex limit 400, as the window's default):
//
//   mdv_bench --benchmark_filter=BM_Refined
//
// Counters: free rings at the end, steps, merged and removed rings.
#include <benchmark/benchmark.h>

#include "core/flow/run.h"
#include "core/model/area.h"
#include "core/model/model.h"

namespace mdv {
namespace {

// Arg 0: the refined model as `--model refined` alone runs it (ceiling
// 4 000, dt = 0,5·min(h, δ)/v0 = 0,005 s); 1: the program's model, limit 400.
void BM_RefinedTwentySeconds(benchmark::State& state) {
  const bool refined = state.range(0) == 0;
  Model m;
  for (auto _ : state) {
    m = Model{};
    SetSheddingIntervals(m, 0, 0, 0);
    m.Exec.Arithmetic = Precision::Double;
    m.Flow = refined ? FlowModel::Refined : FlowModel::Program;
    const RunSummary r = RunSimulation(m, refined ? 4000 : 400, 0, 0, 20.0L, 0.005L);
    benchmark::DoNotOptimize(r.Steps);
    state.counters["steps"] = static_cast<double>(r.Steps);
  }
  state.counters["free"] = m.FreeVortexCount;
  state.counters["merged"] = static_cast<double>(m.RefinedCount.Merged);
  state.counters["removed_far"] = static_cast<double>(m.RefinedCount.RemovedFar);
  state.counters["removed_axis"] = static_cast<double>(m.RefinedCount.RemovedAxis);
  state.SetLabel(refined ? "refined, double" : "program, double, limit 400");
}
BENCHMARK(BM_RefinedTwentySeconds)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace mdv
