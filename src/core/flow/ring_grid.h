#pragma once
// A grid of square cells over the free rings' places (in double), for the
// refined step's neighbour searches (diffusion, merging). Each cell lists its
// rings in index order, and a search marks the cells around a place in a
// bit set and walks the marks upwards: it visits the rings a loop over all of
// them would visit, in the same order, less those in cells out of reach, so
// a test applied to each visited ring keeps exactly the rings it kept before.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace mdv {

struct RingGrid {
  double X0 = 0, Y0 = 0;   // the lower left corner, m
  double Cell = 0;         // the side of a cell, m
  int32_t Nx = 0, Ny = 0;  // 0: no grid (no rings, or a place not finite): every ring is near
  int32_t Count = 0;       // rings
  const int32_t* Start = nullptr;  // the rings of cell c: Items[Start[c]] .. Items[Start[c + 1] − 1]
  const int32_t* Items = nullptr;
};

// The most cells a grid over `count` rings gets (its cells are widened to fit).
size_t GridCellsFor(int32_t count);

// The grid over the places (x[i], y[i]), i < count, with cells at least
// `cell` wide (m). start and items hold it; they grow only when too small
// (GridCellsFor(count) + 1 and count: sized once per run, nothing allocated
// per step).
RingGrid BuildRingGrid(const double* x, const double* y, int32_t count, double cell,
                       std::vector<int32_t>& start, std::vector<int32_t>& items);

// The rings of a window [Base, Base + Window) of indices marked by cells,
// walked in ascending order. Lives on a thread's stack: no allocation.
class RingMarks {
 public:
  static constexpr int32_t Window = 4096;
  // Empties the set for the window starting at base.
  void Reset(int32_t base, int32_t count);
  // Marks the rings of the window in every cell that meets the square of
  // half-side `reach` (m) around (x, y); with no grid, every ring of the window.
  void Mark(const RingGrid& g, double x, double y, double reach);
  // The first marked ring at or after i, or End().
  int32_t Next(int32_t i) const;
  int32_t End() const { return end_; }
  // fn(i) for every marked ring, ascending.
  template <class Fn>
  void ForEach(Fn&& fn) const {
    for (int32_t w = 0; w < words_; ++w) {
      uint64_t bits = bits_[w];
      while (bits != 0) {
        fn(base_ + w * 64 + __builtin_ctzll(bits));
        bits &= bits - 1;
      }
    }
  }

 private:
  int32_t base_ = 0;
  int32_t end_ = 0;    // the window's end, not beyond the ring count
  int32_t words_ = 0;  // words of bits_ in use
  uint64_t bits_[Window / 64] = {};
};

}  // namespace mdv
