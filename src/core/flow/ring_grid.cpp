#include "core/flow/ring_grid.h"

#include <algorithm>
#include <cmath>

namespace mdv {

size_t GridCellsFor(int32_t count) { return 4 * static_cast<size_t>(std::max(count, 0)) + 64; }

RingGrid BuildRingGrid(const double* x, const double* y, int32_t count, double cell,
                       std::vector<int32_t>& start, std::vector<int32_t>& items) {
  RingGrid g;
  g.Count = count;
  if (count <= 0 || !(cell > 0)) return g;
  double x0 = x[0], x1 = x[0], y0 = y[0], y1 = y[0];
  for (int32_t i = 1; i < count; ++i) {
    x0 = std::min(x0, x[i]);
    x1 = std::max(x1, x[i]);
    y0 = std::min(y0, y[i]);
    y1 = std::max(y1, y[i]);
  }
  bool finite = std::isfinite(x0) && std::isfinite(x1) && std::isfinite(y0) && std::isfinite(y1);
  for (int32_t i = 0; finite && i < count; ++i) finite = !std::isnan(x[i]) && !std::isnan(y[i]);
  if (!finite || !std::isfinite(cell)) return g;  // min and max pass NaN by: every ring is near
  const size_t cap = GridCellsFor(count);
  double nx = std::floor((x1 - x0) / cell) + 1, ny = std::floor((y1 - y0) / cell) + 1;
  while (nx * ny > static_cast<double>(cap)) {
    cell *= 2;
    nx = std::floor((x1 - x0) / cell) + 1;
    ny = std::floor((y1 - y0) / cell) + 1;
  }
  g.X0 = x0;
  g.Y0 = y0;
  g.Cell = cell;
  g.Nx = static_cast<int32_t>(nx);
  g.Ny = static_cast<int32_t>(ny);
  const size_t cells = static_cast<size_t>(g.Nx) * static_cast<size_t>(g.Ny);
  if (start.size() < cells + 1) start.resize(cells + 1);
  if (items.size() < static_cast<size_t>(count)) items.resize(static_cast<size_t>(count));
  const auto cellOf = [&](int32_t i) {
    const int32_t cx = std::min(static_cast<int32_t>((x[i] - x0) / cell), g.Nx - 1);
    const int32_t cy = std::min(static_cast<int32_t>((y[i] - y0) / cell), g.Ny - 1);
    return static_cast<size_t>(cy) * static_cast<size_t>(g.Nx) + static_cast<size_t>(cx);
  };
  // A counting sort: each cell's rings stay in index order.
  std::fill_n(start.begin(), cells + 1, 0);
  for (int32_t i = 0; i < count; ++i) ++start[cellOf(i) + 1];
  for (size_t c = 0; c < cells; ++c) start[c + 1] += start[c];
  for (int32_t i = 0; i < count; ++i) items[static_cast<size_t>(start[cellOf(i)]++)] = i;
  for (size_t c = cells; c > 0; --c) start[c] = start[c - 1];  // back to each cell's first
  start[0] = 0;
  g.Start = start.data();
  g.Items = items.data();
  return g;
}

void RingMarks::Reset(int32_t base, int32_t count) {
  base_ = base;
  end_ = std::min(count, base + Window);
  words_ = std::max(end_ - base_ + 63, 0) / 64;
  std::fill_n(bits_, words_, uint64_t{0});
}

int32_t RingMarks::Next(int32_t i) const {
  if (i < base_) i = base_;
  if (i >= end_) return end_;
  int32_t w = (i - base_) / 64;
  uint64_t bits = bits_[w] & (~uint64_t{0} << ((i - base_) % 64));
  while (bits == 0) {
    if (++w >= words_) return end_;
    bits = bits_[w];
  }
  return std::min(base_ + w * 64 + __builtin_ctzll(bits), end_);
}

namespace {

// The cells [lo, hi] of a grid of n cells that meet [a, b] in cell units; false: none.
bool CellRange(double a, double b, int32_t n, int32_t& lo, int32_t& hi) {
  if (!(b >= 0) || !(a < n)) return false;  // also a place not finite
  lo = a <= 0 ? 0 : static_cast<int32_t>(a);
  hi = b >= n - 1 ? n - 1 : static_cast<int32_t>(b);
  return true;
}

}  // namespace

void RingMarks::Mark(const RingGrid& g, double x, double y, double reach) {
  const auto mark = [&](int32_t i) {
    if (i < base_ || i >= end_) return;
    const int32_t o = i - base_;
    bits_[o / 64] |= uint64_t{1} << (o % 64);
  };
  if (g.Nx <= 0) {
    for (int32_t i = base_; i < end_; ++i) mark(i);
    return;
  }
  int32_t cx0, cx1, cy0, cy1;
  if (!CellRange((x - reach - g.X0) / g.Cell, (x + reach - g.X0) / g.Cell, g.Nx, cx0, cx1)) return;
  if (!CellRange((y - reach - g.Y0) / g.Cell, (y + reach - g.Y0) / g.Cell, g.Ny, cy0, cy1)) return;
  for (int32_t cy = cy0; cy <= cy1; ++cy) {
    for (int32_t cx = cx0; cx <= cx1; ++cx) {
      const size_t c = static_cast<size_t>(cy) * static_cast<size_t>(g.Nx) + static_cast<size_t>(cx);
      for (int32_t e = g.Start[c]; e < g.Start[c + 1]; ++e) mark(g.Items[e]);
    }
  }
}

}  // namespace mdv
