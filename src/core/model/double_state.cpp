#include "core/model/double_state.h"

#include <algorithm>

#include "core/model/model.h"

namespace mdv {

// ---- the double copy of the vortices ----

VortexMirror& VortexMirror::operator=(const VortexMirror&) {
  std::lock_guard<std::mutex> lock(mutex_);
  stamp_.store(0, std::memory_order_relaxed);
  covered_.store(0, std::memory_order_relaxed);
  return *this;
}

void VortexMirror::Reserve(size_t n) {
  std::lock_guard<std::mutex> lock(mutex_);
  const size_t size = n + RingPadding;
  x_.reserve(size);
  y_.reserve(size);
  g_.reserve(size);
}

RingArrays VortexMirror::Of(const Model& m) const {
  const int32_t count = static_cast<int32_t>(std::clamp<int64_t>(
      int64_t{m.AttachedCount} + m.FreeVortexCount, 0, static_cast<int64_t>(m.Vortices.size())));
  const uint64_t wanted = m.Revision + 1;
  if (stamp_.load(std::memory_order_acquire) != wanted ||
      covered_.load(std::memory_order_relaxed) < count) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stamp_.load(std::memory_order_relaxed) != wanted ||
        covered_.load(std::memory_order_relaxed) < count) {
      const size_t size = static_cast<size_t>(count) + RingPadding;
      if (x_.size() < size) {
        x_.resize(size);
        y_.resize(size);
        g_.resize(size);
      }
      for (int32_t i = 0; i < count; ++i) {
        const TVortex& v = m.Vortices[i];
        x_[i] = static_cast<double>(v.Pos.X);
        y_[i] = static_cast<double>(v.Pos.Y);
        g_[i] = static_cast<double>(v.Gamma);
      }
      // The kernels read whole blocks; what lies past the count is never used.
      std::fill_n(x_.begin() + count, RingPadding, 0.0);
      std::fill_n(y_.begin() + count, RingPadding, 0.0);
      std::fill_n(g_.begin() + count, RingPadding, 0.0);
      covered_.store(count, std::memory_order_relaxed);
      stamp_.store(wanted, std::memory_order_release);
    }
  }
  return RingArrays{x_.data(), y_.data(), g_.data()};
}

void DoubleSystem::Clear() {
  N = 0;
  Factored = false;
  Regular = false;
  std::vector<double>().swap(A);
  std::vector<int32_t>().swap(Pivots);
  std::vector<double>().swap(Rhs0);
  std::vector<double>().swap(Rhs);
  std::vector<double>().swap(X);
}

}  // namespace mdv
