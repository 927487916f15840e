// Feeding the averages allocates nothing per step: the monitors, the grid
// samples (also when the blocks merge) and the steady-state checks work in
// storage laid out when the run starts. This executable counts the global
// operator new calls between the ends of two steps.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "core/averages/averaging.h"
#include "core/model_fixtures.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

// GCC 12 sees the replaced operators inlined into std::allocator and warns
// that free() gets memory from operator new; here it is malloc's memory.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace mdv {
namespace {

class AllocationObserver : public Observer {
 public:
  explicit AllocationObserver(size_t steps) : steps_(steps) { counts_.reserve(steps); }
  void StepDone(const Model&) override {
    if (counts_.size() < steps_) counts_.push_back(allocations.load());
  }
  bool StopRequested() override { return counts_.size() >= steps_; }
  const std::vector<long>& Counts() const { return counts_; }

 private:
  size_t steps_;
  std::vector<long> counts_;
};

TEST(Averaging, FeedingAllocatesNothingPerStep) {
  constexpr int Steps = 140;  // the 129th grid sample merges the blocks; checks at 20, 40, …
  for (const Execution exec : {Execution{false, 0}, Execution{true, 1}}) {
    SCOPED_TRACE(exec.Literal ? "literal" : "fast, all cores");
    Model m = test::CoarseModel(0.05L);
    m.Exec = exec;
    AveragingSettings a;
    a.AverageFrom = 0;
    a.SampleEverySteps = 1;
    a.GridSpacing = 0.2;
    a.ZoneEverySamples = 0;
    AveragingState s;
    StartAveraging(s, m, a);
    AllocationObserver obs(Steps);
    const AveragedRunSummary r = RunAveraged(m, s, 30, 0, 0, 10, 0.005L, obs);
    ASSERT_EQ(r.Run.Steps, Steps);
    ASSERT_EQ(s.BlockLength, 2) << "the blocks merged";
    const std::vector<long>& counts = obs.Counts();
    for (size_t i = 1; i < counts.size(); ++i) EXPECT_EQ(counts[i], counts[0]) << "step " << i + 1 << " allocated";
  }
}

}  // namespace
}  // namespace mdv
