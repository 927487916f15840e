// The double arithmetic path beside the extended one, in the same run so that
// the ratios are read from one output:
//
//   mdv_bench --benchmark_filter=BM_Double
//
// Velocity sums per pair, the default 1 s run, one step at h = 0.0025 with
// 2 000 free vortices, and the set-up of a run at h = 0.001 with its memory.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "core/model/area.h"
#include "core/flow/circulation.h"
#include "core/model/model.h"
#include "core/base/observer.h"
#include "core/flow/run.h"
#include "core/flow/step.h"
#include "core/flow/vector_kernel.h"

namespace mdv {
namespace {

using Clock = std::chrono::steady_clock;

Execution Extended(int threads = 0) { return Execution{false, threads, Precision::Extended}; }
Execution Double(int threads = 0) { return Execution{false, threads, Precision::Double}; }

// Paths of the run and step benchmarks.
Execution PathExec(int path) {
  switch (path) {
    case 0:
      return Extended();
    case 1:
      return Double();
    case 2:
      return Double(1);
    default:
      return Extended(1);
  }
}
const char* const PathLabels[] = {"extended, all cores", "double, all cores", "double, 1 thread",
                                  "extended, 1 thread"};

class StopAtCount : public Observer {
 public:
  explicit StopAtCount(int32_t wanted) : wanted_(wanted) {}
  void StepDone(const Model& m) override { reached_ = m.FreeVortexCount >= wanted_; }
  bool StopRequested() override { return reached_; }

 private:
  int32_t wanted_;
  bool reached_ = false;
};

// The default hood at spacing h with `free` free vortices from a real double
// run with time step dt, stopped when the count is reached; built once.
const Model& StateWith(Real spacing, int32_t free, Real dt) {
  static std::map<std::pair<Real, int32_t>, Model> cache;
  const auto key = std::make_pair(spacing, free);
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  Model m;
  m.VortexSpacing = spacing;
  m.Exec = Double();
  SetSheddingIntervals(m, 0, 0, 0);
  StopAtCount stop(free);
  RunSimulation(m, free, 0, 0, 1e6L, dt, stop);
  m.Dt = 0.005L;
  return cache.emplace(key, std::move(m)).first->second;
}

// Resident and peak resident memory of the process, bytes (/proc/self/status).
int64_t StatusBytes(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string key;
  while (in >> key) {
    int64_t kb = 0;
    if (key == field && in >> kb) return kb * 1024;
    std::getline(in, key);
  }
  return 0;
}

// Makes the peak resident memory the present one (Linux: clear_refs 5).
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// ---- velocity sums ----

// The velocity sums of a convection step on one thread (every free vortex
// against every other vortex, the cut-off applied) in the 400-vortex state at
// h = 0.01: 0 extended (paired kernel), 1..3 double on sse2, avx2, avx512.
void BM_DoubleVelocitySums(benchmark::State& state) {
  const int variant = static_cast<int>(state.range(0));
  Model m = StateWith(0.01L, 400, 0.005L);
  m.Exec = variant == 0 ? Extended(1) : Double(1);
  const vk::Isa before = vk::ActiveIsa();
  const vk::Isa isa = variant == 1 ? vk::Isa::Sse2 : (variant == 2 ? vk::Isa::Avx2 : vk::Isa::Avx512);
  if (variant > 0 && !vk::UseIsa(isa)) {
    state.SkipWithError("the processor lacks this instruction set");
    return;
  }
  const int32_t n = m.AttachedCount, free = m.FreeVortexCount;
  const double pairs = static_cast<double>(free) * (n + free - 1);
  double seconds = 0;
  for (auto _ : state) {
    const auto begin = Clock::now();
    Real sink = 0;
    for (int32_t i = n; i < n + free; ++i) {
      Real u, v;
      CalcVelocityPair(m, m.Vortices[i].Pos, i, u, v);
      sink = sink + u + v;
    }
    benchmark::DoNotOptimize(sink);
    seconds += std::chrono::duration<double>(Clock::now() - begin).count();
  }
  vk::UseIsa(before);
  state.counters["pairs"] = pairs;
  state.counters["ns_per_pair"] = seconds / static_cast<double>(state.iterations()) / pairs * 1e9;
  static const char* const labels[] = {"extended", "double, sse2", "double, avx2",
                                       "double, avx512"};
  state.SetLabel(labels[variant]);
}
BENCHMARK(BM_DoubleVelocitySums)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- the default 1 s run ----

// 0 extended, all cores; 1 double, all cores; 2 double, one thread; 3
// extended, one thread (on one thread the CPU time is the whole work, a
// measure that holds on a busy machine).
void BM_DoubleWholeRun(benchmark::State& state) {
  const int path = static_cast<int>(state.range(0));
  for (auto _ : state) {
    Model m;
    SetSheddingIntervals(m, 0, 0, 0);
    m.Exec = PathExec(path);
    const RunSummary r = RunSimulation(m, 400, 0, 0, 1, 0.005L);
    state.counters["steps"] = static_cast<double>(r.Steps);
  }
  state.SetLabel(PathLabels[path]);
}
BENCHMARK(BM_DoubleWholeRun)->DenseRange(0, 3)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- one step at h = 0.0025 with 2 000 free vortices ----

// The state comes from a double run with a step of 0.0025 s (at 0.005 s the
// count levels off near 1 630). Paths as for the whole run. The run's set-up
// is outside the time.
void BM_DoubleFineStep(benchmark::State& state) {
  const int path = static_cast<int>(state.range(0));
  const Model& start = StateWith(0.0025L, 2000, 0.0025L);
  Model m = start;
  m.Exec = PathExec(path);
  m.MaxFreeVortex = 2000;
  m.ShedOffset = m.VortexSpacing / 2;
  m.NewFreeVortices.assign(2000, TVortex{});
  m.ConvectedPos.assign(2000, TRealPoint{});
  m.ConvectedGone.assign(2000, 0);
  m.Circulations.assign(static_cast<size_t>(m.AttachedCount), 0);
  BuildInfluenceMatrix(m);
  UpdateRightHandSide(m);
  SolveCirculations(m);
  const TVortexArray vortices = m.Vortices;
  std::vector<int32_t> counters(static_cast<size_t>(m.SeparationCount), 0);
  for (auto _ : state) {
    state.PauseTiming();
    std::copy(vortices.begin(), vortices.end(), m.Vortices.begin());
    m.FreeVortexCount = start.FreeVortexCount;
    ++m.Revision;
    state.ResumeTiming();
    ConvectFreeVortices(m);
    ShedVortices(m, counters);
    UpdateRightHandSide(m);
    SolveCirculations(m);
  }
  state.counters["N"] = m.AttachedCount;
  state.counters["M"] = start.FreeVortexCount;
  state.SetLabel(PathLabels[path]);
}
BENCHMARK(BM_DoubleFineStep)->Arg(0)->Arg(3)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DoubleFineStep)->DenseRange(1, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- the set-up of a run at h = 0.001 ----

// The influence matrix with its factorization and the first solve, all
// cores: 1 double, 0 extended (double first: the extended path's freed rows
// may stay with the process). peak_MB is the rise of the process's peak
// resident memory over the set-up, held_MB what the system's arrays hold.
void BM_DoubleSetup(benchmark::State& state) {
  const int path = static_cast<int>(state.range(0));
  Model m;
  m.VortexSpacing = 0.001L;
  BuildArea(m);
  m.Exec = path == 0 ? Extended() : Double();
  double peak = 0, held = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ResetPeak();
    const int64_t before = StatusBytes("VmRSS:");
    m.Circulations.assign(static_cast<size_t>(m.AttachedCount), 0);
    state.ResumeTiming();
    BuildInfluenceMatrix(m);
    SolveCirculations(m);
    state.PauseTiming();
    peak = static_cast<double>(StatusBytes("VmHWM:") - before);
    const double n = m.AttachedCount;
    held = path == 0 ? 2 * n * (n + 1) * sizeof(Real) + n * n * sizeof(Real)  // matrix, copy, L and U
                     : n * n * sizeof(double);
    FreeMatr(m.InfluenceMatrix, m.AttachedCount);
    FreeMatr(m.InfluenceMatrixCopy, m.AttachedCount);
    m.Factored.Clear();
    m.Double.System.Clear();
    state.ResumeTiming();
  }
  state.counters["N"] = m.AttachedCount;
  state.counters["peak_MB"] = peak / (1024 * 1024);
  state.counters["held_MB"] = held / (1024 * 1024);
  state.SetLabel(path == 0 ? "extended, all cores" : "double, all cores");
}
BENCHMARK(BM_DoubleSetup)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace mdv
