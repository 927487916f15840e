#pragma once
// A persistent pool of worker threads for loops whose iterations are
// independent (each iteration writes only its own results). How the range is
// split never changes what an iteration computes, so results are identical
// for any thread count.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

namespace mdv {

class ThreadPool {
 public:
  // More threads than this are not started (results are the same for any
  // count; a mistyped count must not exhaust the system).
  static constexpr int MaxThreads = 256;

  // threads <= 0: one per hardware thread. When the system refuses a thread,
  // the pool works with those it got.
  explicit ThreadPool(int threads = 0);
  ~ThreadPool();
  ThreadPool(const ThreadPool&) = delete;
  ThreadPool& operator=(const ThreadPool&) = delete;

  int Size() const { return static_cast<int>(workers_.size()) + 1; }
  // The thread count asked for (after the limits), which Size may fall short of.
  int Requested() const { return requested_; }

  // Calls fn(begin, end) on disjoint chunks covering [0, count); the calling
  // thread takes chunks too. Chunks are claimed as threads come free (the
  // machine is shared, a thread may be late), `grain` indices at a time
  // (0: a few chunks per thread). Returns when every chunk is done. No
  // allocation. Not reentrant: fn must not call For on the same pool.
  template <class Fn>
  void For(int32_t count, Fn&& fn, int32_t grain = 0) {
    if (count <= 0) return;
    if (workers_.empty() || count == 1) {
      fn(int32_t{0}, count);
      return;
    }
    if (grain <= 0) grain = count / (Size() * ChunksPerThread);
    if (grain <= 0) grain = 1;
    Run(count, grain, &Trampoline<std::remove_reference_t<Fn>>, &fn);
  }

 private:
  // Enough chunks that a thread slowed by other work is made up for by the rest.
  static constexpr int ChunksPerThread = 8;

  using Task = void (*)(void* ctx, int32_t begin, int32_t end);
  template <class Fn>
  static void Trampoline(void* ctx, int32_t begin, int32_t end) {
    (*static_cast<Fn*>(ctx))(begin, end);
  }
  void Run(int32_t count, int32_t grain, Task task, void* ctx);
  void Work(Task task, void* ctx);
  void WorkerLoop();

  int requested_ = 1;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable start_;
  std::condition_variable done_;
  // Guarded by mutex_:
  uint64_t generation_ = 0;  // one per For call
  bool open_ = false;        // the current call still takes workers
  int active_ = 0;           // workers inside the current call
  bool quit_ = false;
  Task task_ = nullptr;
  void* ctx_ = nullptr;
  // Set under mutex_ before a call opens; read by the threads it lets in.
  int32_t count_ = 0;
  int32_t grain_ = 1;
  std::atomic<int64_t> next_{0};  // first index not yet claimed
};

// The pool shared by the model's computations, rebuilt when another thread
// count is asked for. threads <= 0 means all hardware threads. Call it from
// one thread only (the one that runs the model).
ThreadPool& SharedPool(int threads);

}  // namespace mdv
