#include "core/base/parallel.h"

#include <algorithm>
#include <memory>
#include <system_error>

namespace mdv {

namespace {

int HardwareThreads() {
  const int n = static_cast<int>(std::thread::hardware_concurrency());
  return n > 0 ? n : 1;
}

}  // namespace

ThreadPool::ThreadPool(int threads) {
  if (threads <= 0) threads = HardwareThreads();
  threads = std::min(threads, MaxThreads);
  requested_ = threads;
  workers_.reserve(threads - 1);
  for (int i = 1; i < threads; ++i) {
    try {
      workers_.emplace_back([this] { WorkerLoop(); });
    } catch (const std::system_error&) {
      break;  // the system gives no more threads: work with those there are
    }
  }
}

ThreadPool::~ThreadPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  start_.notify_all();
  for (auto& w : workers_) w.join();
}

// Claims chunks until the range is used up.
void ThreadPool::Work(Task task, void* ctx) {
  for (;;) {
    const int64_t begin = next_.fetch_add(grain_, std::memory_order_relaxed);
    if (begin >= count_) return;
    const int64_t end = std::min<int64_t>(begin + grain_, count_);
    task(ctx, static_cast<int32_t>(begin), static_cast<int32_t>(end));
  }
}

void ThreadPool::Run(int32_t count, int32_t grain, Task task, void* ctx) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    task_ = task;
    ctx_ = ctx;
    count_ = count;
    grain_ = grain;
    next_.store(0, std::memory_order_relaxed);
    open_ = true;
    ++generation_;
  }
  start_.notify_all();
  Work(task, ctx);
  // Workers that have not come in by now find nothing left: close the call
  // to them and wait only for those inside.
  std::unique_lock<std::mutex> lock(mutex_);
  open_ = false;
  done_.wait(lock, [this] { return active_ == 0; });
}

void ThreadPool::WorkerLoop() {
  uint64_t seen = 0;
  for (;;) {
    Task task;
    void* ctx;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      start_.wait(lock, [&] { return quit_ || generation_ != seen; });
      if (quit_) return;
      seen = generation_;
      if (!open_) continue;
      ++active_;
      task = task_;
      ctx = ctx_;
    }
    Work(task, ctx);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (--active_ == 0) done_.notify_one();
    }
  }
}

ThreadPool& SharedPool(int threads) {
  static std::unique_ptr<ThreadPool> pool;
  if (threads <= 0) threads = HardwareThreads();
  threads = std::min(threads, ThreadPool::MaxThreads);
  if (!pool || pool->Requested() != threads) {
    pool.reset();
    pool = std::make_unique<ThreadPool>(threads);
  }
  return *pool;
}

}  // namespace mdv
