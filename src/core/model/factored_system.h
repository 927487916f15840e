#pragma once
// The attached-circulation system factored once per run. The coefficient
// matrix never changes during a run and the pivot choices of the elimination
// depend on the coefficient columns alone, so the row exchanges and the
// elimination factors are recorded once and replayed on each step's
// right-hand side: the solution is bit-identical to a full SolveGauss, at
// O(N²) per step.
//
// Why the order may change and the bits may not: in SolveGauss an element of
// row ρ receives, at each elimination step j below its pivot, the update
// value := factor(ρ, j) · pivotRow_j + value. Rows travel with their values
// when they are exchanged, so what an element ends as depends only on that
// sequence of updates in increasing j, not on when each update is made. Here
// every element (and every right-hand-side entry) gets the same updates in
// the same order, but accumulated in a register, element by element
// (left-looking), rather than stored back after every step.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/model/geometry.h"

namespace mdv {

class ThreadPool;
class Observer;

class FactoredSystem {
 public:
  // Eliminates the coefficient part of the augmented N x (N+1) matrix `a`
  // (only columns 0..N-1 are read). Allocates; called once per run. With a
  // pool, rows and columns of each step are worked on in parallel (each
  // element's arithmetic is unchanged, so the result is the same for any pool).
  // With an observer, each step is reported (Observer::SetupStage::Elimination)
  // and followed by obs->StopRequested(); a stop clears the factorization
  // (Factored() is then false).
  void Factor(const TRealMatr& a, int32_t n, ThreadPool* pool = nullptr, Observer* obs = nullptr);
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
  std::vector<int32_t> rowAt_;  // original row that ends at each position
  TRealArray lower_;            // row-major, position k holds its factors of steps 0..k-1
  TRealArray upper_;            // row-major upper triangle, position i holds columns i..N-1
  TRealArray work_;             // the eliminated right-hand side
};

}  // namespace mdv
