// A hood from its contour steps at the parametric hood's cost per ring pair:
//
//   mdv_bench --benchmark_filter=BM_ContourSteps
//
// 2 s of model time (400 steps) of the refined model on the double path,
// some 1 000 attached rings each:
//   0 the default parametric hood at h = 0,004 m (990 rings)
//   1 the same hood written as a contour, through the general path
//   2 a tube with a rounded inlet (r = 0,06 m) flush in a flange, h = 0,0039 m
// Counters: attached rings, free rings at the end, the ring pairs the steps
// evaluated (Heun's two sums at every free ring, three right-hand sides) and
// the wall time per pair, ns; `setup_ms` the first step's time, which holds
// the one factorization of the attached system.
#include <benchmark/benchmark.h>

#include <chrono>

#include "core/base/observer.h"
#include "core/flow/run.h"
#include "core/model/area.h"
#include "core/model/contour_area.h"
#include "core/model/model.h"

namespace mdv {
namespace {

using Clock = std::chrono::steady_clock;

class StepClock : public Observer {
 public:
  void StepDone(const Model& m) override {
    const double n = m.AttachedCount, f = last_;
    pairs += 2 * f * f + 2 * f * n + 3 * (n - 1) * f;
    last_ = m.FreeVortexCount;
    if (++steps == 1) first = std::chrono::duration<double>(Clock::now() - begin).count();
  }
  Clock::time_point begin = Clock::now();
  double pairs = 0, first = 0;
  int64_t steps = 0;

 private:
  int32_t last_ = 0;
};

Contour RoundedInlet(Real h) {
  const Real B = 0.15L, W = 0.02L, R = 0.06L, F = 0.65L, LL = 1.2L;
  Contour c;
  c.Start = {LL, B + W};
  c.Wall = {{{W, B + W}, 0}, {{W, F}, 0}, {{0, F}, 0}, {{0, B + R}, 0}, {{R, B}, R}, {{LL, B}, 0}};
  c.PlaneX = -4;
  c.Spacing = h;
  return c;
}

void BM_ContourSteps(benchmark::State& state) {
  Model m;
  StepClock clock;
  for (auto _ : state) {
    m = Model{};
    m.VortexSpacing = 0.004L;
    if (state.range(0) == 1) {
      m.HoodContour = ParametricContour(m);
      m.ContourArea = true;
    } else if (state.range(0) == 2) {
      m.HoodContour = RoundedInlet(0.0039L);
      m.ContourArea = true;
    }
    SetSheddingIntervals(m, 0, 0, 0);
    m.Exec.Arithmetic = Precision::Double;
    m.Flow = FlowModel::Refined;
    clock = StepClock{};
    const Clock::time_point begin = Clock::now();
    const RunSummary r = RunSimulation(m, 4000, 0, 0, 2.0L, 0.005L, clock);
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    benchmark::DoNotOptimize(r.Steps);
    state.counters["ns_per_pair"] = clock.pairs > 0 ? (seconds - clock.first) / clock.pairs * 1e9 : 0;
  }
  state.counters["attached"] = m.AttachedCount;
  state.counters["free"] = m.FreeVortexCount;
  state.counters["pairs_step"] = clock.steps > 0 ? clock.pairs / static_cast<double>(clock.steps) : 0;
  state.counters["setup_ms"] = clock.first * 1e3;
  static const char* const labels[] = {"parametric hood", "the same hood as a contour", "rounded inlet contour"};
  state.SetLabel(labels[state.range(0)]);
}
BENCHMARK(BM_ContourSteps)->DenseRange(0, 2)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace mdv
