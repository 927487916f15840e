// A step of a run allocates nothing: every array it writes is sized when the
// run starts. This executable counts the global operator new calls; between
// the end of one step and the end of the next the count must not move.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "core/flow/run.h"
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

// Notes the allocation count at the end of every step; allocates nothing itself.
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

TEST(RunSimulation, StepsAllocateNothing) {
  constexpr int Steps = 45;  // the pulsation rows grow twice on the way
  test::TempDir dir;
  for (const Execution exec : {Execution{false, 1}, Execution{false, 0}, Execution{true, 1},
                               Execution{false, 1, Precision::Double},
                               Execution{false, 0, Precision::Double}}) {
    SCOPED_TRACE(exec.Literal ? "literal" : (exec.Threads == 1 ? "fast, 1 thread" : "fast, all cores"));
    SCOPED_TRACE(exec.Arithmetic == Precision::Double ? "double" : "extended");
    Model m = test::CoarseModel(0.02L);
    m.Exec = exec;
    m.PulsationOn = true;
    m.PulsationPointCount = 2;
    m.PulsationPoints = {{0.2L, 0.05L}, {-0.2L, 0.3L}};
    m.PulsationFileName = dir.File("p.pls");
    m.TrackOn = true;
    m.TrackFileName = dir.File("t.fvt");
    AllocationObserver obs(Steps);
    const RunSummary r = RunSimulation(m, 60, 0, 0, 1, 0.005L, obs);
    ASSERT_EQ(r.Steps, Steps) << r.Message;
    const std::vector<long>& counts = obs.Counts();
    ASSERT_GT(m.FreeVortexCount, 60 - 10) << "the limit was reached and shedding paused";
    for (size_t i = 1; i < counts.size(); ++i) {
      EXPECT_EQ(counts[i], counts[0]) << "step " << i + 1 << " allocated";
    }
  }
}

TEST(RunSimulation, RefinedStepsAllocateNothing) {
  constexpr int Steps = 45;
  for (const Execution exec : {Execution{false, 0}, Execution{false, 0, Precision::Double}}) {
    SCOPED_TRACE(exec.Arithmetic == Precision::Double ? "double" : "extended");
    Model m = test::CoarseModel(0.02L);
    m.Exec = exec;
    m.Flow = FlowModel::Refined;
    AllocationObserver obs(Steps);
    const RunSummary r = RunSimulation(m, 400, 0, 0, 1, 0.005L, obs);
    ASSERT_EQ(r.Steps, Steps) << r.Message;
    EXPECT_GT(m.RefinedCount.Merged, 0);
    const std::vector<long>& counts = obs.Counts();
    for (size_t i = 1; i < counts.size(); ++i) {
      EXPECT_EQ(counts[i], counts[0]) << "step " << i + 1 << " allocated";
    }
  }
}

}  // namespace
}  // namespace mdv
