#include "core/factored_system.h"

#include <cmath>
#include <utility>

#include "core/parallel.h"

namespace mdv {

namespace {

// Below this many updated elements a column is eliminated on the calling
// thread: waking the pool would cost more than it saves.
constexpr int64_t ParallelColumnWork = 16384;

}  // namespace

void FactoredSystem::Clear() {
  n_ = 0;
  factored_ = false;
  regular_ = false;
  std::vector<int32_t>().swap(pivotRow_);
  TRealArray().swap(factors_);
  std::vector<size_t>().swap(factorStart_);
  TRealArray().swap(upper_);
  std::vector<size_t>().swap(upperStart_);
  TRealArray().swap(work_);
}

void FactoredSystem::Factor(const TRealMatr& a, int32_t n, ThreadPool* pool) {
  Clear();
  if (n < 0) n = 0;
  n_ = n;
  factored_ = true;
  // Working copy of the coefficient columns; rows are exchanged by index so
  // that the values follow the same path as in the full elimination.
  TRealMatr m(n);
  for (int32_t r = 0; r < n; ++r) m[r].assign(a[r].begin(), a[r].begin() + n);
  pivotRow_.assign(n, 0);
  factorStart_.assign(n + 1, 0);
  for (int32_t i = 0; i < n; ++i) factorStart_[i + 1] = factorStart_[i] + (n - 1 - i);
  factors_.assign(factorStart_[n], 0);
  regular_ = true;
  for (int32_t i = 0; i < n; ++i) {
    int32_t best = i;
    Real bestAbs = std::fabs(m[i][i]);
    for (int32_t r = i + 1; r < n; ++r) {
      const Real v = std::fabs(m[r][i]);
      if (v > bestAbs) {
        bestAbs = v;
        best = r;
      }
    }
    if (bestAbs == 0) {
      regular_ = false;
      return;
    }
    pivotRow_[i] = best;
    if (best != i) std::swap(m[i], m[best]);
    const TRealArray& pivot = m[i];
    Real* f = factors_.data() + factorStart_[i];
    // Rows below the pivot are independent of each other.
    auto eliminate = [&](int32_t begin, int32_t end) {
      for (int32_t r = i + 1 + begin; r < i + 1 + end; ++r) {
        const Real factor = -m[r][i] / pivot[i];
        f[r - i - 1] = factor;
        TRealArray& row = m[r];
        for (int32_t c = i; c < n; ++c) row[c] = factor * pivot[c] + row[c];
      }
    };
    const int32_t below = n - 1 - i;
    if (pool != nullptr && int64_t{below} * (n - i) >= ParallelColumnWork) {
      pool->For(below, eliminate);
    } else {
      eliminate(0, below);
    }
  }
  upperStart_.assign(n + 1, 0);
  for (int32_t i = 0; i < n; ++i) upperStart_[i + 1] = upperStart_[i] + (n - i);
  upper_.assign(upperStart_[n], 0);
  for (int32_t i = 0; i < n; ++i)
    for (int32_t c = i; c < n; ++c) upper_[upperStart_[i] + (c - i)] = m[i][c];
  work_.assign(n, 0);
}

bool FactoredSystem::Solve(const TRealArray& rhs, TRealArray& x) {
  if (!regular_) return false;
  const int32_t n = n_;
  Real* b = work_.data();
  for (int32_t r = 0; r < n; ++r) b[r] = rhs[r];
  // Forward: the right-hand-side column of the full elimination, step by step.
  for (int32_t i = 0; i < n; ++i) {
    const int32_t p = pivotRow_[i];
    if (p != i) std::swap(b[i], b[p]);
    const Real bi = b[i];
    const Real* f = &factors_[factorStart_[i]];
    for (int32_t r = i + 1; r < n; ++r) b[r] = f[r - i - 1] * bi + b[r];
  }
  // Back substitution in the order of SolveGauss.
  for (int32_t i = n - 1; i >= 0; --i) {
    const Real* u = &upper_[upperStart_[i]];
    Real s = b[i];
    for (int32_t j = i + 1; j < n; ++j) s = s - u[j - i] * x[j];
    x[i] = s / u[0];
  }
  return true;
}

}  // namespace mdv
