// The refined model's speed goal: 20 s of model time of the default hood
// with the refined model's own set on the double path within 20 s of wall
// time on this 2-core machine, beside the program's model over the same 20 s
// (its free-vortex limit 400, as the window's default):
//
//   mdv_bench --benchmark_filter=BM_Refined
//
// Counters: free rings at the end, steps, merged and removed rings, and the
// ring pairs a step evaluates on average by kind (pairs_*).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "core/base/observer.h"
#include "core/base/parallel.h"
#include "core/flow/circulation.h"
#include "core/flow/diffusion.h"
#include "core/flow/refined_step.h"
#include "core/flow/ring_merging.h"
#include "core/flow/run.h"
#include "core/flow/step_model.h"
#include "core/flow/vector_kernel.h"
#include "core/model/area.h"
#include "core/model/model.h"

namespace mdv {
namespace {

using Clock = std::chrono::steady_clock;

// Ring pairs of the refined step, from the free-ring count N after each step
// (the next step's N at its start; the counts within a step differ by the few
// rings merged, removed or shed): Heun's two velocity sums at every free ring
// (N on free rings, n on attached ones), three right-hand sides (the
// predicted state, after merging, after shedding: n − 1 control points on N
// free rings), shedding's five points per edge on all rings, and the
// diffusion's N² neighbour tests (a double distance each, no kernel).
struct StepPairs {
  double FreeOnFree = 0, AttachedOnFree = 0, Rhs = 0, Shed = 0, Near = 0;
  int64_t Steps = 0;
  double Total() const { return FreeOnFree + AttachedOnFree + Rhs + Shed; }
  void Add(const Model& m, int32_t free) {
    const double n = m.AttachedCount, f = free;
    FreeOnFree += 2 * f * f;
    AttachedOnFree += 2 * f * n;
    Rhs += 3 * (n - 1) * f;
    Shed += 5.0 * m.SeparationCount * (n + f);
    Near += 2 * f * f;
    ++Steps;
  }
};

class PairCounter : public Observer {
 public:
  void StepDone(const Model& m) override {
    pairs.Add(m, last_);
    last_ = m.FreeVortexCount;
  }
  StepPairs pairs;

 private:
  int32_t last_ = 0;
};

void SetRefined(Model& m, int threads) {
  SetSheddingIntervals(m, 0, 0, 0);
  m.Exec.Arithmetic = Precision::Double;
  m.Exec.Threads = threads;
  m.Flow = FlowModel::Refined;
}

// Arg 0: the refined model as `--model refined` alone runs it (ceiling
// 4 000, dt = 0,5·min(h, δ)/v0 = 0,005 s); 1: the program's model, limit 400;
// 2: the refined model on one thread.
void BM_RefinedTwentySeconds(benchmark::State& state) {
  const bool refined = state.range(0) != 1;
  Model m;
  PairCounter count;
  for (auto _ : state) {
    m = Model{};
    count = PairCounter{};
    SetRefined(m, state.range(0) == 2 ? 1 : 0);
    if (!refined) m.Flow = FlowModel::Program;
    const RunSummary r = RunSimulation(m, refined ? 4000 : 400, 0, 0, 20.0L, 0.005L, count);
    benchmark::DoNotOptimize(r.Steps);
    state.counters["steps"] = static_cast<double>(r.Steps);
  }
  state.counters["free"] = m.FreeVortexCount;
  state.counters["merged"] = static_cast<double>(m.RefinedCount.Merged);
  state.counters["removed_far"] = static_cast<double>(m.RefinedCount.RemovedFar);
  state.counters["removed_axis"] = static_cast<double>(m.RefinedCount.RemovedAxis);
  if (refined && count.pairs.Steps > 0) {
    const double steps = static_cast<double>(count.pairs.Steps);
    state.counters["pairs_step"] = count.pairs.Total() / steps;
    state.counters["pairs_ff"] = count.pairs.FreeOnFree / steps;
    state.counters["pairs_af"] = count.pairs.AttachedOnFree / steps;
    state.counters["pairs_rhs"] = count.pairs.Rhs / steps;
    state.counters["pairs_shed"] = count.pairs.Shed / steps;
    state.counters["near_tests"] = count.pairs.Near / steps;
  }
  static const char* const labels[] = {"refined, double", "program, double, limit 400",
                                       "refined, double, 1 thread"};
  state.SetLabel(labels[state.range(0)]);
}
BENCHMARK(BM_RefinedTwentySeconds)->DenseRange(0, 2)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// The refined default hood after 10 s of model time on the double path, built once.
const Model& RefinedState() {
  static const Model state = [] {
    Model m;
    SetRefined(m, 0);
    RunSimulation(m, 4000, 0, 0, 10.0L, 0.005L);
    return m;
  }();
  return state;
}

// The parts of one refined step in the state of RefinedState on `threads`
// (Arg 1: 1 or 0 = all), each timed alone on the model's own functions:
//   0 the whole step (Move, right-hand side, solve)
//   1 the free rings' smoothed sums at every free ring (N², one Heun stage)
//   2 the attached rings' sums at every free ring (N·n, one Heun stage)
//   3 one right-hand side summed afresh (N·(n − 1)) and its solve
//   4 the diffusive velocities of one Heun stage
//   5 merging
//   6 the flow's velocity at every free ring as the step takes it
//     (FreeRingVelocities: attached and free rings, one Heun stage)
// Counters: pairs of the part, ns per pair (and per ring for 4, 5).
void BM_RefinedStepParts(benchmark::State& state) {
  const int part = static_cast<int>(state.range(0));
  Model m = RefinedState();
  m.Exec.Threads = static_cast<int>(state.range(1));
  const int32_t n = m.AttachedCount, free = m.FreeVortexCount;
  RefinedStep().Prepare(m);
  UpdateRightHandSide(m);  // builds the double system again
  SolveCirculations(m);
  const Model start = m;
  std::vector<int32_t> counters(static_cast<size_t>(m.SeparationCount), 0);
  TRealPointArray velocity(static_cast<size_t>(free));
  const vk::Kernels& k = vk::Active();
  const double d2 = static_cast<double>(SmoothingLengthOf(m) * SmoothingLengthOf(m));
  const double cut = static_cast<double>(m.VortexSpacing / 2 - 1e-5L);
  double pairs = 0, seconds = 0;
  for (auto _ : state) {
    if (part == 0 || part == 5) {
      state.PauseTiming();
      m = start;
      state.ResumeTiming();
    }
    const auto begin = Clock::now();
    switch (part) {
      case 0:
        m.Time = m.Time + m.Dt;
        RefinedStep().Move(m, counters);
        UpdateRightHandSide(m);
        SolveCirculations(m);
        pairs = 2.0 * free * (free + n) + 3.0 * (n - 1) * free + 5.0 * m.SeparationCount * (n + free);
        break;
      case 1:
      case 2: {
        const RingArrays r = m.Double.Mirror.Of(m);
        const bool smoothed = part == 1;
        SharedPool(m.Exec.Threads).For(free, [&](int32_t b, int32_t e) {
          for (int32_t i = b; i < e; ++i) {
            double u, v;
            const double px = r.X[n + i], py = r.Y[n + i];
            if (smoothed) {
              k.SumPairSmoothed(r, n, n + free, -1, px, py, d2, u, v);
            } else {
              k.SumPair(r, 0, n, -1, px, py, cut * cut, u, v);
            }
            velocity[static_cast<size_t>(i)] = TRealPoint{u, v};
          }
        });
        pairs = static_cast<double>(free) * (smoothed ? free : n);
        break;
      }
      case 3:
        ++m.Revision;
        m.RefinedWork.RhsRings.Rings = 0;  // no tile kept: summed afresh, as after a move
        UpdateRightHandSide(m);
        SolveCirculations(m);
        pairs = static_cast<double>(n - 1) * free;
        break;
      case 4:
        AddDiffusiveVelocities(m, velocity);
        pairs = free;
        break;
      case 5:
        m.Time = m.Time + 1;  // every ring old enough
        MergeFreeRings(m, m.VortexSpacing / 2, MergeAgeOf(m));
        pairs = free;
        break;
      case 6:
        FreeRingVelocities(m, velocity);
        pairs = static_cast<double>(free) * (free + n);
        break;
      default:
        break;
    }
    seconds += std::chrono::duration<double>(Clock::now() - begin).count();
    benchmark::DoNotOptimize(velocity.data());
  }
  state.counters["free"] = free;
  state.counters["attached"] = n;
  state.counters["pairs"] = pairs;
  state.counters["ns_per_pair"] = seconds / static_cast<double>(state.iterations()) / pairs * 1e9;
  static const char* const labels[] = {"whole step", "free on free", "attached on free",
                                       "rhs + solve", "diffusion", "merging",
                                       "velocities at the free rings"};
  state.SetLabel(labels[part]);
}
BENCHMARK(BM_RefinedStepParts)
    ->ArgsProduct({{0, 1, 2, 3, 4, 5, 6}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace mdv
