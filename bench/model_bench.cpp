// Time of the flow model's inner work on the fast path beside the literal
// one (full elimination each step, two kernel calls per point, one thread),
// measured in the same run so that the ratios are read from one output.
//
//   mdv_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
//
// States with free vortices come from real runs of the default hood (shedding
// intervals 0, limit 400) stopped when the count is reached.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <thread>
#include <utility>
#include <vector>

#include "core/model/area.h"
#include "core/flow/circulation.h"
#include "core/flow/kernel.h"
#include "core/model/model.h"
#include "core/base/observer.h"
#include "core/flow/ring_kernel.h"
#include "core/flow/run.h"
#include "core/flow/step.h"

namespace mdv {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t DefaultMaxFree = 400;
constexpr Real DefaultDt = 0.005L;
constexpr Real DefaultEnd = 1;

int Cores() { return std::max(1, static_cast<int>(std::thread::hardware_concurrency())); }

Execution Literal() { return Execution{true, 1}; }
Execution Fast(int threads = 0) { return Execution{false, threads}; }

// Stops a run as soon as it holds the wanted number of free vortices.
class StopAtCount : public Observer {
 public:
  explicit StopAtCount(int32_t wanted) : wanted_(wanted) {}
  void StepDone(const Model& m) override { reached_ = m.FreeVortexCount >= wanted_; }
  bool StopRequested() override { return reached_; }

 private:
  int32_t wanted_;
  bool reached_ = false;
};

// The default hood at spacing h with `free` free vortices, as a run leaves it
// (run arrays released). Built once per (h, free) on the fast path.
const Model& StateWith(Real spacing, int32_t free) {
  static std::map<std::pair<Real, int32_t>, Model> cache;
  const auto key = std::make_pair(spacing, free);
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  Model m;
  m.VortexSpacing = spacing;
  SetSheddingIntervals(m, 0, 0, 0);
  m.MaxFreeVortex = DefaultMaxFree;
  BuildArea(m);
  m.Vortices.resize(static_cast<size_t>(m.AttachedCount + DefaultMaxFree));
  if (free > 0) {
    StopAtCount stop(free);
    RunSimulation(m, DefaultMaxFree, 0, 0, 1e6L, DefaultDt, stop);
    // As Continue does with a smaller limit: the newest vortices go.
    m.FreeVortexCount = std::min(m.FreeVortexCount, free);
  }
  return cache.emplace(key, std::move(m)).first->second;
}

// The arrays a run sets up before its first step, and the first solve.
void StartRun(Model& m, const Execution& exec) {
  m.Exec = exec;
  m.ShedOffset = m.VortexSpacing / 2;
  m.MaxFreeVortex = DefaultMaxFree;
  m.Dt = DefaultDt;
  m.NewFreeVortices.assign(static_cast<size_t>(m.MaxFreeVortex), TVortex{});
  m.ConvectedPos.assign(static_cast<size_t>(m.MaxFreeVortex), TRealPoint{});
  m.ConvectedGone.assign(static_cast<size_t>(m.MaxFreeVortex), 0);
  m.Circulations.assign(static_cast<size_t>(m.AttachedCount), 0);
  BuildInfluenceMatrix(m);
  if (m.FreeVortexCount != 0) UpdateRightHandSide(m);
  SolveCirculations(m);
}

// One step of the run loop without its records and its observer.
void OneStep(Model& m, std::vector<int32_t>& counters) {
  m.Time = m.Time + m.Dt;
  ConvectFreeVortices(m);
  ShedVortices(m, counters);
  UpdateRightHandSide(m);
  SolveCirculations(m);
}

// ---- the kernel ----

// The (point, ring) pairs of a convection step in the 400-vortex state:
// every free vortex against every other vortex outside the cut-off.
struct KernelPairs {
  std::vector<TRealPoint> points;
  std::vector<TVortex> rings;
};

const KernelPairs& ConvectionPairs(Real spacing, int32_t free) {
  static std::map<std::pair<Real, int32_t>, KernelPairs> cache;
  const auto key = std::make_pair(spacing, free);
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  const Model& m = StateWith(spacing, free);
  const Real cutOff = m.VortexSpacing / 2 - 1e-5L;
  KernelPairs k;
  const int32_t end = m.AttachedCount + m.FreeVortexCount;
  for (int32_t i = m.AttachedCount; i < end; ++i) {
    for (int32_t j = 0; j < end; ++j) {
      if (j == i || PointDistance(m.Vortices[i].Pos, m.Vortices[j].Pos) < cutOff) continue;
      k.points.push_back(m.Vortices[i].Pos);
      k.rings.push_back(m.Vortices[j]);
    }
  }
  return cache.emplace(key, std::move(k)).first->second;
}

// The (control point, free vortex) pairs of a right-hand-side update.
struct NormalPairs {
  std::vector<TCalcPoint> points;
  std::vector<TVortex> rings;
};

const NormalPairs& RightHandSidePairs(Real spacing, int32_t free) {
  static std::map<std::pair<Real, int32_t>, NormalPairs> cache;
  const auto key = std::make_pair(spacing, free);
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  const Model& m = StateWith(spacing, free);
  NormalPairs k;
  for (int32_t i = 0; i + 1 < m.AttachedCount; ++i) {
    for (int32_t j = m.AttachedCount; j < m.AttachedCount + m.FreeVortexCount; ++j) {
      k.points.push_back(m.CalcPoints[i]);
      k.rings.push_back(m.Vortices[j]);
    }
  }
  return cache.emplace(key, std::move(k)).first->second;
}

// Seconds of one thread for all the paired evaluations of a convection step.
double PairSeconds(const KernelPairs& k) {
  const auto begin = Clock::now();
  Real sink = 0;
  for (size_t i = 0; i < k.points.size(); ++i) {
    Real u, v;
    ring::Pair(k.points[i], k.rings[i], u, v);
    sink = sink + u + v;
  }
  benchmark::DoNotOptimize(sink);
  return std::chrono::duration<double>(Clock::now() - begin).count();
}

// Seconds of one thread for all the single evaluations of a right-hand side.
double NormalSeconds(const NormalPairs& k) {
  const auto begin = Clock::now();
  Real sink = 0;
  for (size_t i = 0; i < k.points.size(); ++i) {
    sink = sink + ring::Along(k.points[i].Pos, k.rings[i], k.points[i].Normal);
  }
  benchmark::DoNotOptimize(sink);
  return std::chrono::duration<double>(Clock::now() - begin).count();
}

// Kernel evaluations of a convection step, per (point, ring) pair:
// 0 two literal calls, 1 the paired call; one literal call and the single
// call with K and E from one logarithm, along a control point's normal.
void BM_Kernel(benchmark::State& state) {
  const int variant = static_cast<int>(state.range(0));
  const KernelPairs& k = ConvectionPairs(0.01L, DefaultMaxFree);
  const NormalPairs& nk = RightHandSidePairs(0.01L, DefaultMaxFree);
  const TRealPoint ax{1, 0}, rad{0, 1};
  size_t count = 0;
  for (auto _ : state) {
    Real sink = 0;
    switch (variant) {
      case 0:
        for (size_t i = 0; i < k.points.size(); ++i)
          sink = sink + RingVelocity(k.points[i], k.rings[i], ax) + RingVelocity(k.points[i], k.rings[i], rad);
        count += k.points.size();
        break;
      case 1:
        for (size_t i = 0; i < k.points.size(); ++i) {
          Real u, v;
          RingVelocityPair(k.points[i], k.rings[i], u, v);
          sink = sink + u + v;
        }
        count += k.points.size();
        break;
      case 2:
        for (size_t i = 0; i < nk.points.size(); ++i)
          sink = sink + RingVelocity(nk.points[i].Pos, nk.rings[i], nk.points[i].Normal);
        count += nk.points.size();
        break;
      default:
        for (size_t i = 0; i < nk.points.size(); ++i)
          sink = sink + ring::Along(nk.points[i].Pos, nk.rings[i], nk.points[i].Normal);
        count += nk.points.size();
        break;
    }
    benchmark::DoNotOptimize(sink);
  }
  state.SetItemsProcessed(static_cast<int64_t>(count));
  static const char* const labels[] = {"both components, two literal calls",
                                       "both components, paired call",
                                       "along a normal, literal call",
                                       "along a normal, one logarithm"};
  state.SetLabel(labels[variant]);
}
BENCHMARK(BM_Kernel)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- the influence matrix (once per run) ----

// path 0 literal, 1 fast on one thread, 2 fast on all cores; range(1) = 1
// adds the first solve (a run's start: the literal path eliminates there);
// range(2) the spacing in µm.
void BM_BuildInfluenceMatrix(benchmark::State& state) {
  const int path = static_cast<int>(state.range(0));
  const bool withSolve = state.range(1) != 0;
  Model m = StateWith(static_cast<Real>(state.range(2)) / 1e6L, 0);
  m.Exec = path == 0 ? Literal() : Fast(path == 1 ? 1 : 0);
  m.Circulations.assign(static_cast<size_t>(m.AttachedCount), 0);
  for (auto _ : state) {
    BuildInfluenceMatrix(m);
    if (withSolve) SolveCirculations(m);
  }
  state.counters["N"] = m.AttachedCount;
  static const char* const labels[] = {"literal", "fast, 1 thread", "fast, all cores"};
  state.SetLabel(std::string(labels[path]) + (withSolve ? ", + first solve" : ""));
}
BENCHMARK(BM_BuildInfluenceMatrix)
    ->ArgsProduct({{0, 1, 2}, {0, 1}, {10000}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_BuildInfluenceMatrix)
    ->ArgsProduct({{0, 1, 2}, {1}, {2500}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// ---- one step ----

// One step from a state with `free` free vortices at spacing h (µm in
// range(1)); path 0 literal, 1 fast on one thread, 2 fast on all cores. The
// counters give the kernel floor of the step (its paired and single kernel
// evaluations on one thread ÷ cores) and the step's multiple of it.
void BM_Step(benchmark::State& state) {
  const int path = static_cast<int>(state.range(0));
  const int32_t free = static_cast<int32_t>(state.range(1));
  const Real spacing = static_cast<Real>(state.range(2)) / 1e6L;
  const Model& start = StateWith(spacing, free);
  Model m = start;
  StartRun(m, path == 0 ? Literal() : Fast(path == 1 ? 1 : 0));
  const TVortexArray vortices = m.Vortices;
  const Real time = m.Time;
  std::vector<int32_t> counters(static_cast<size_t>(m.SeparationCount), 0);
  double stepSeconds = 0;
  int64_t steps = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::copy(vortices.begin(), vortices.end(), m.Vortices.begin());
    m.FreeVortexCount = start.FreeVortexCount;
    m.Time = time;
    std::fill(counters.begin(), counters.end(), 0);
    state.ResumeTiming();
    const auto begin = Clock::now();
    OneStep(m, counters);
    stepSeconds += std::chrono::duration<double>(Clock::now() - begin).count();
    ++steps;
  }
  state.counters["N"] = m.AttachedCount;
  state.counters["M"] = start.FreeVortexCount;
  if (free > 0 && steps > 0) {
    // The floor: the step's kernel evaluations at one thread's cost, over the cores.
    const KernelPairs& k = ConvectionPairs(spacing, free);
    const NormalPairs& nk = RightHandSidePairs(spacing, free);
    double pairs = 1e300, normals = 1e300;
    for (int rep = 0; rep < 3; ++rep) {
      pairs = std::min(pairs, PairSeconds(k));
      normals = std::min(normals, NormalSeconds(nk));
    }
    const double floor = (pairs + normals) / Cores();
    state.counters["pairs"] = static_cast<double>(k.points.size());
    state.counters["normals"] = static_cast<double>(nk.points.size());
    state.counters["floor_ms"] = floor * 1e3;
    state.counters["x_floor"] = stepSeconds / static_cast<double>(steps) / floor;
  }
  static const char* const labels[] = {"literal", "fast, 1 thread", "fast, all cores"};
  state.SetLabel(labels[path]);
}
BENCHMARK(BM_Step)
    ->ArgsProduct({{0, 1, 2}, {0, 100, 400}, {10000}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
// How the step grows with the spacing: h = 0.01, 0.005, 0.0025 (N ≈ 396, 800, 1600).
BENCHMARK(BM_Step)
    ->ArgsProduct({{2}, {400}, {5000, 2500}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Step)->Args({0, 400, 5000})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Step)->Args({0, 400, 2500})->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- a whole default run: 200 steps, limit 400 ----

void BM_WholeRun(benchmark::State& state) {
  const int path = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    Model m;
    SetSheddingIntervals(m, 0, 0, 0);
    m.Exec = path == 0 ? Literal() : Fast(path == 1 ? 1 : 0);
    state.ResumeTiming();
    const RunSummary r = RunSimulation(m, DefaultMaxFree, 0, 0, DefaultEnd, DefaultDt);
    benchmark::DoNotOptimize(r.Steps);
    state.counters["steps"] = static_cast<double>(r.Steps);
  }
  static const char* const labels[] = {"literal", "fast, 1 thread", "fast, all cores"};
  state.SetLabel(labels[path]);
}
BENCHMARK(BM_WholeRun)->DenseRange(0, 2)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace mdv

BENCHMARK_MAIN();
