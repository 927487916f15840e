#include "core/model/factored_system.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

#include "core/base/observer.h"
#include "core/base/parallel.h"

namespace mdv {

namespace {

// Below this many element updates a part of a step is done on the calling
// thread: waking the pool would cost more than it saves.
constexpr int64_t ParallelWork = 32768;

// Rows (or columns) whose sums are carried together: independent chains of
// additions keep the floating-point unit busy while each one waits.
constexpr int32_t Block = 4;

size_t LowerStart(int32_t k) { return static_cast<size_t>(int64_t{k} * (k - 1) / 2); }
size_t UpperStart(int32_t i, int32_t n) {
  return static_cast<size_t>(int64_t{i} * n - int64_t{i} * (i - 1) / 2);
}

}  // namespace

void FactoredSystem::Clear() {
  n_ = 0;
  factored_ = false;
  regular_ = false;
  std::vector<int32_t>().swap(rowAt_);
  TRealArray().swap(lower_);
  TRealArray().swap(upper_);
  TRealArray().swap(work_);
}

// Left-looking elimination with the pivoting of SolveGauss. Step i first
// brings column i of every row not yet a pivot up to date (all its updates
// of steps 0..i-1, in order), chooses the pivot exactly as SolveGauss does,
// records the factors, and then brings the pivot row's remaining columns up
// to date. `w` holds the rows in their original order: left of a row's
// pivot step its factors, from there on its values. `u` mirrors the finished
// pivot rows column by column, so that both sweeps read memory in order.
void FactoredSystem::Factor(const TRealMatr& a, int32_t n, ThreadPool* pool, Observer* obs) {
  Clear();
  if (n < 0) n = 0;
  n_ = n;
  factored_ = true;
  regular_ = true;
  const size_t un = static_cast<size_t>(n);
  TRealArray w(un * un);
  for (int32_t r = 0; r < n; ++r) std::copy_n(a[r].begin(), n, w.begin() + r * un);
  TRealArray u(un * un);  // u[c·N + j]: pivot row j at column c
  std::vector<int32_t> at(un);
  std::iota(at.begin(), at.end(), 0);
  auto row = [&](int32_t position) { return w.data() + static_cast<size_t>(at[position]) * un; };
  auto split = [&](int32_t count, int64_t work, auto&& fn) {
    if (pool != nullptr && work >= ParallelWork) {
      pool->For(count, fn);
    } else {
      fn(int32_t{0}, count);
    }
  };

  for (int32_t i = 0; i < n; ++i) {
    // Column i of the rows at positions i..N-1, each with its updates 0..i-1.
    const Real* ucol = u.data() + static_cast<size_t>(i) * un;
    const int32_t rows = n - i;
    split((rows + Block - 1) / Block, int64_t{rows} * i, [&](int32_t b0, int32_t b1) {
      for (int32_t b = b0; b < b1; ++b) {
        const int32_t k0 = i + b * Block;
        const int32_t k1 = std::min(k0 + Block, n);
        if (k1 - k0 == Block) {
          Real* r0 = row(k0);
          Real* r1 = row(k0 + 1);
          Real* r2 = row(k0 + 2);
          Real* r3 = row(k0 + 3);
          Real v0 = r0[i], v1 = r1[i], v2 = r2[i], v3 = r3[i];
          for (int32_t j = 0; j < i; ++j) {
            const Real p = ucol[j];
            v0 = r0[j] * p + v0;
            v1 = r1[j] * p + v1;
            v2 = r2[j] * p + v2;
            v3 = r3[j] * p + v3;
          }
          r0[i] = v0;
          r1[i] = v1;
          r2[i] = v2;
          r3[i] = v3;
        } else {
          for (int32_t k = k0; k < k1; ++k) {
            Real* r = row(k);
            Real v = r[i];
            for (int32_t j = 0; j < i; ++j) v = r[j] * ucol[j] + v;
            r[i] = v;
          }
        }
      }
    });

    // The pivot, as SolveGauss chooses it: the first largest magnitude.
    int32_t best = i;
    Real bestAbs = std::fabs(row(i)[i]);
    for (int32_t k = i + 1; k < n; ++k) {
      const Real v = std::fabs(row(k)[i]);
      if (v > bestAbs) {
        bestAbs = v;
        best = k;
      }
    }
    if (bestAbs == 0) {
      regular_ = false;
      return;
    }
    std::swap(at[i], at[best]);
    Real* pivot = row(i);
    for (int32_t k = i + 1; k < n; ++k) {
      Real* r = row(k);
      r[i] = -r[i] / pivot[i];
    }

    // The pivot row's columns i+1..N-1, each with its updates 0..i-1.
    u[static_cast<size_t>(i) * un + i] = pivot[i];
    const int32_t cols = n - i - 1;
    split((cols + Block - 1) / Block, int64_t{cols} * i, [&](int32_t b0, int32_t b1) {
      for (int32_t b = b0; b < b1; ++b) {
        const int32_t c0 = i + 1 + b * Block;
        const int32_t c1 = std::min(c0 + Block, n);
        if (c1 - c0 == Block) {
          const Real* u0 = u.data() + static_cast<size_t>(c0) * un;
          const Real* u1 = u0 + un;
          const Real* u2 = u1 + un;
          const Real* u3 = u2 + un;
          Real v0 = pivot[c0], v1 = pivot[c0 + 1], v2 = pivot[c0 + 2], v3 = pivot[c0 + 3];
          for (int32_t j = 0; j < i; ++j) {
            const Real f = pivot[j];
            v0 = f * u0[j] + v0;
            v1 = f * u1[j] + v1;
            v2 = f * u2[j] + v2;
            v3 = f * u3[j] + v3;
          }
          pivot[c0] = v0;
          pivot[c0 + 1] = v1;
          pivot[c0 + 2] = v2;
          pivot[c0 + 3] = v3;
        } else {
          for (int32_t c = c0; c < c1; ++c) {
            const Real* uc = u.data() + static_cast<size_t>(c) * un;
            Real v = pivot[c];
            for (int32_t j = 0; j < i; ++j) v = pivot[j] * uc[j] + v;
            pivot[c] = v;
          }
        }
        for (int32_t c = c0; c < c1; ++c) u[static_cast<size_t>(c) * un + i] = pivot[c];
      }
    });

    if (obs != nullptr) {
      obs->SetupProgress(Observer::SetupStage::Elimination, i + 1, n);
      if (obs->StopRequested()) {
        Clear();
        return;
      }
    }
  }

  rowAt_ = at;
  lower_.assign(LowerStart(n), 0);
  upper_.assign(UpperStart(n, n), 0);
  for (int32_t k = 0; k < n; ++k) {
    const Real* r = row(k);
    std::copy_n(r, k, lower_.begin() + LowerStart(k));
    std::copy_n(r + k, n - k, upper_.begin() + UpperStart(k, n));
  }
  work_.assign(un, 0);
}

bool FactoredSystem::Solve(const TRealArray& rhs, TRealArray& x) {
  if (!regular_) return false;
  const int32_t n = n_;
  Real* y = work_.data();
  // Forward: each entry starts as its row's right-hand side and takes the
  // updates of steps 0..k-1 in order; a block of rows shares the loads.
  int32_t k = 0;
  for (; k + Block <= n; k += Block) {
    const Real* l0 = lower_.data() + LowerStart(k);
    const Real* l1 = lower_.data() + LowerStart(k + 1);
    const Real* l2 = lower_.data() + LowerStart(k + 2);
    const Real* l3 = lower_.data() + LowerStart(k + 3);
    Real v0 = rhs[rowAt_[k]], v1 = rhs[rowAt_[k + 1]], v2 = rhs[rowAt_[k + 2]],
         v3 = rhs[rowAt_[k + 3]];
    for (int32_t j = 0; j < k; ++j) {
      const Real p = y[j];
      v0 = l0[j] * p + v0;
      v1 = l1[j] * p + v1;
      v2 = l2[j] * p + v2;
      v3 = l3[j] * p + v3;
    }
    y[k] = v0;
    v1 = l1[k] * v0 + v1;
    y[k + 1] = v1;
    v2 = l2[k] * v0 + v2;
    v2 = l2[k + 1] * v1 + v2;
    y[k + 2] = v2;
    v3 = l3[k] * v0 + v3;
    v3 = l3[k + 1] * v1 + v3;
    v3 = l3[k + 2] * v2 + v3;
    y[k + 3] = v3;
  }
  for (; k < n; ++k) {
    const Real* l = lower_.data() + LowerStart(k);
    Real v = rhs[rowAt_[k]];
    for (int32_t j = 0; j < k; ++j) v = l[j] * y[j] + v;
    y[k] = v;
  }
  // Back substitution in the order of SolveGauss.
  for (int32_t i = n - 1; i >= 0; --i) {
    const Real* up = upper_.data() + UpperStart(i, n);
    Real s = y[i];
    for (int32_t j = i + 1; j < n; ++j) s = s - up[j - i] * x[j];
    x[i] = s / up[0];
  }
  return true;
}

}  // namespace mdv
