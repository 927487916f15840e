#include "core/parallel.h"

#include <memory>

namespace mdv {

ThreadPool::ThreadPool(int threads) {
  if (threads <= 0) threads = static_cast<int>(std::thread::hardware_concurrency());
  if (threads <= 0) threads = 1;
  workers_.reserve(threads - 1);
  for (int i = 1; i < threads; ++i) workers_.emplace_back([this, i] { WorkerLoop(i); });
}

ThreadPool::~ThreadPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  start_.notify_all();
  for (auto& w : workers_) w.join();
}

// Part `part` of Size() equal-as-possible contiguous chunks of [0, count_).
void ThreadPool::Chunk(int part, int32_t& begin, int32_t& end) const {
  const int64_t parts = Size();
  begin = static_cast<int32_t>(count_ * part / parts);
  end = static_cast<int32_t>(count_ * (part + 1) / parts);
}

void ThreadPool::Run(int32_t count, Task task, void* ctx) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    task_ = task;
    ctx_ = ctx;
    count_ = count;
    pending_ = static_cast<int>(workers_.size());
    ++generation_;
  }
  start_.notify_all();
  int32_t begin = 0, end = 0;
  Chunk(0, begin, end);
  if (begin < end) task(ctx, begin, end);
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [this] { return pending_ == 0; });
}

void ThreadPool::WorkerLoop(int index) {
  uint64_t seen = 0;
  for (;;) {
    Task task;
    void* ctx;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      start_.wait(lock, [&] { return quit_ || generation_ != seen; });
      if (quit_) return;
      seen = generation_;
      task = task_;
      ctx = ctx_;
    }
    int32_t begin = 0, end = 0;
    Chunk(index, begin, end);
    if (begin < end) task(ctx, begin, end);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (--pending_ == 0) done_.notify_one();
    }
  }
}

ThreadPool& SharedPool(int threads) {
  static std::unique_ptr<ThreadPool> pool;
  static int requested = -1;
  if (!pool || requested != threads) {
    pool.reset();
    pool = std::make_unique<ThreadPool>(threads);
    requested = threads;
  }
  return *pool;
}

}  // namespace mdv
