#pragma once
// What the double path keeps inside the model: a double copy of the vortices
// (a structure of arrays for the vector kernel), kept in step with the
// model's extended values through Model::Revision, and the run's attached
// system factored in double.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace mdv {

struct Model;

// Rings for the vector kernel: plane X, radius Y (m) and circulation G
// (m²/s) as doubles, each readable RingPadding elements past the count.
struct RingArrays {
  const double* X = nullptr;
  const double* Y = nullptr;
  const double* G = nullptr;
};
inline constexpr int32_t RingPadding = 8;

class VortexMirror {
 public:
  VortexMirror() = default;
  // The copy is a cache of the model it belongs to: copies start empty.
  VortexMirror(const VortexMirror&) {}
  VortexMirror& operator=(const VortexMirror&);

  // Vortices [0, AttachedCount + FreeVortexCount) of m as doubles (rounded
  // to nearest), converted again only when m.Revision moved or more vortices
  // are wanted than were converted. May be called from several threads at
  // once while m does not change.
  RingArrays Of(const Model& m) const;
  // Room for n vortices, so that refreshing up to n allocates nothing.
  void Reserve(size_t n);

 private:
  mutable std::mutex mutex_;
  mutable std::atomic<uint64_t> stamp_{0};   // Revision + 1 of the copy; 0: none
  mutable std::atomic<int32_t> covered_{0};  // vortices converted
  mutable std::vector<double> x_, y_, g_;
};

// The attached system in double for one run: the coefficients factored once
// by LAPACK, the right-hand side rewritten every step.
struct DoubleSystem {
  int32_t N = 0;
  bool Factored = false;
  bool Regular = false;        // no exactly zero pivot
  std::vector<double> A;       // row i holds control point i's coefficients: Aᵀ column-major, then its LU
  std::vector<int32_t> Pivots; // LAPACK's row exchanges of Aᵀ
  std::vector<double> Rhs0;    // the right-hand side without free vortices (Vn, and 0)
  std::vector<double> Rhs;     // this step's right-hand side; back to Rhs0 after each solve
  std::vector<double> X;       // the solve's work array
  void Clear();
};

struct DoubleState {
  VortexMirror Mirror;
  DoubleSystem System;
};

}  // namespace mdv
