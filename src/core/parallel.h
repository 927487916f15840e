#pragma once
// A persistent pool of worker threads for loops whose iterations are
// independent (each iteration writes only its own results). The split of the
// range never changes what an iteration computes, so results are identical
// for any thread count.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

namespace mdv {

class ThreadPool {
 public:
  // threads <= 0: one per hardware thread.
  explicit ThreadPool(int threads = 0);
  ~ThreadPool();
  ThreadPool(const ThreadPool&) = delete;
  ThreadPool& operator=(const ThreadPool&) = delete;

  int Size() const { return static_cast<int>(workers_.size()) + 1; }

  // Calls fn(begin, end) on disjoint chunks covering [0, count); the calling
  // thread takes a chunk too. Returns when every chunk is done. No allocation.
  template <class Fn>
  void For(int32_t count, Fn&& fn) {
    if (count <= 0) return;
    if (workers_.empty() || count == 1) {
      fn(int32_t{0}, count);
      return;
    }
    Run(count, &Trampoline<std::remove_reference_t<Fn>>, &fn);
  }

 private:
  using Task = void (*)(void* ctx, int32_t begin, int32_t end);
  template <class Fn>
  static void Trampoline(void* ctx, int32_t begin, int32_t end) {
    (*static_cast<Fn*>(ctx))(begin, end);
  }
  void Run(int32_t count, Task task, void* ctx);
  void WorkerLoop(int index);
  void Chunk(int part, int32_t& begin, int32_t& end) const;

  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable start_;
  std::condition_variable done_;
  uint64_t generation_ = 0;
  int pending_ = 0;
  bool quit_ = false;
  Task task_ = nullptr;
  void* ctx_ = nullptr;
  int32_t count_ = 0;
};

// The pool shared by the model's computations, resized on demand.
// threads <= 0 means all hardware threads.
ThreadPool& SharedPool(int threads);

}  // namespace mdv
