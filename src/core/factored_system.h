#pragma once
// The attached-circulation system factored once per run. The coefficient
// matrix never changes during a run and the pivot choices of the elimination
// depend on the coefficient columns alone, so the row exchanges and the
// elimination factors are recorded once and replayed on each step's
// right-hand side in exactly the order the full elimination would apply them:
// the solution is bit-identical to a full SolveGauss, at O(N²) per step.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/geometry.h"

namespace mdv {

class ThreadPool;

class FactoredSystem {
 public:
  // Eliminates the coefficient part of the augmented N x (N+1) matrix `a`
  // (only columns 0..N-1 are read). Allocates; called once per run. With a
  // pool, the rows below each pivot are eliminated in parallel (each row's
  // arithmetic is unchanged, so the factors are the same for any pool).
  void Factor(const TRealMatr& a, int32_t n, ThreadPool* pool = nullptr);
  // Factor has run since the last Clear (the system may be singular).
  bool Factored() const { return factored_; }
  // False when the elimination met an exactly zero pivot column (a full
  // SolveGauss would fail in every step; X must then stay untouched).
  bool Regular() const { return regular_; }
  int32_t Size() const { return n_; }
  // Solves for the right-hand side rhs[0..N-1] (given in the original row
  // order). Writes x[0..N-1] unless the system is singular. No allocation.
  bool Solve(const TRealArray& rhs, TRealArray& x);
  // Forgets the factorization and gives its memory back.
  void Clear();

 private:
  int32_t n_ = 0;
  bool factored_ = false;
  bool regular_ = false;
  std::vector<int32_t> pivotRow_;  // row exchanged with row i at column i
  TRealArray factors_;             // column-major: factors of rows i+1..N-1 for column i
  std::vector<size_t> factorStart_;
  TRealArray upper_;               // row-major upper triangle, row i holds columns i..N-1
  std::vector<size_t> upperStart_;
  TRealArray work_;                // permuted, eliminated right-hand side
};

}  // namespace mdv
