// The refined model's speed goal: 10 s of model time of the default hood
// with the refined defaults on the double path within 60 s on this 2-core
// machine, beside the program's model over the same 10 s (its free-vortex
// limit 400, as the window's default):
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

// Arg 0: the refined model (ceiling 4 000, δ = 0,01 m, sheet-flux shedding,
// merging within h/2 of rings older than 0,1 s, dt = 0,5·min(h, δ)/v0 = 0,005 s);
// 1: the program's model, limit 400; 2: the refined model with the
// one-sided Kutta flux, the new ring at U·dt/2 and the diffusive velocity of
// ν = 3e-4 m²/s (what the diffusion and the two probe velocities per edge cost).
void BM_RefinedTenSeconds(benchmark::State& state) {
  const bool refined = state.range(0) != 1;
  Model m;
  for (auto _ : state) {
    m = Model{};
    SetSheddingIntervals(m, 0, 0, 0);
    m.Exec.Arithmetic = Precision::Double;
    m.Flow = refined ? FlowModel::Refined : FlowModel::Program;
    if (state.range(0) == 2) {
      m.Refined.Shedding = ShedRule::Outer;
      m.Refined.Placement = ShedPlacement::Convected;
      m.Refined.Viscosity = 3e-4L;
    }
    const RunSummary r = RunSimulation(m, refined ? 4000 : 400, 0, 0, 10.0L, 0.005L);
    benchmark::DoNotOptimize(r.Steps);
    state.counters["steps"] = static_cast<double>(r.Steps);
  }
  state.counters["free"] = m.FreeVortexCount;
  state.counters["merged"] = static_cast<double>(m.RefinedCount.Merged);
  state.counters["removed_far"] = static_cast<double>(m.RefinedCount.RemovedFar);
  state.counters["removed_axis"] = static_cast<double>(m.RefinedCount.RemovedAxis);
  state.SetLabel(state.range(0) == 2 ? "refined, outer, nu 3e-4, double"
                 : refined            ? "refined, double"
                                      : "program, double, limit 400");
}
BENCHMARK(BM_RefinedTenSeconds)->Arg(0)->Arg(1)->Arg(2)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace mdv
