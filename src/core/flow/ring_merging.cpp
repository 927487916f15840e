#include "core/flow/ring_merging.h"

#include <algorithm>
#include <cmath>

#include "core/flow/ring_grid.h"

namespace mdv {

TVortex MergedRing(const TVortex& a, const TVortex& b) {
  const Real gamma = a.Gamma + b.Gamma;                    // m²/s
  const Real ia = a.Gamma * a.Pos.Y * a.Pos.Y;             // impulse / π, m⁴/s
  const Real ib = b.Gamma * b.Pos.Y * b.Pos.Y;
  const Real impulse = ia + ib;
  TVortex merged;
  merged.Gamma = gamma;
  if (gamma == 0 || impulse == 0) {
    // Only rings of one sign are merged; two rings on the axis have no impulse
    // to keep: the midpoint.
    merged.Pos = TRealPoint{(a.Pos.X + b.Pos.X) / 2, (a.Pos.Y + b.Pos.Y) / 2};
    return merged;
  }
  merged.Pos.Y = std::sqrt(impulse / gamma);
  merged.Pos.X = (ia * a.Pos.X + ib * b.Pos.X) / impulse;
  return merged;
}

int32_t MergeFreeRings(Model& m, Real distance, Real minAge) {
  const int32_t n = m.AttachedCount;
  const int32_t free = m.FreeVortexCount;
  std::vector<Real>& birth = m.RefinedWork.Birth;
  std::vector<uint8_t>& gone = m.RefinedWork.Gone;
  std::vector<int8_t>& nascent = m.RefinedWork.Nascent;
  if (free <= 1 || birth.size() < static_cast<size_t>(free) || gone.size() < static_cast<size_t>(free))
    return 0;
  if (nascent.size() < static_cast<size_t>(free)) nascent.resize(static_cast<size_t>(free), -1);
  const Real youngest = m.Time - minAge;  // rings born after this are kept as they are, s
  const Real d2 = distance * distance;
  std::fill_n(gone.begin(), free, 0);
  // The places in double on a grid of cells `distance` wide: ring i looks
  // only at the later rings in the cells around its present place (looked
  // up again after each merge moves it), in index order; the others are too
  // far for the test below, so the merges are those of a loop over all.
  std::vector<double>& xs = m.RefinedWork.NearX;
  std::vector<double>& ys = m.RefinedWork.NearY;
  if (xs.size() < static_cast<size_t>(free)) xs.resize(static_cast<size_t>(free));  // sized at Prepare in a run
  if (ys.size() < static_cast<size_t>(free)) ys.resize(static_cast<size_t>(free));
  for (int32_t k = 0; k < free; ++k) {
    xs[static_cast<size_t>(k)] = static_cast<double>(m.Vortices[n + k].Pos.X);
    ys[static_cast<size_t>(k)] = static_cast<double>(m.Vortices[n + k].Pos.Y);
  }
  const double search = static_cast<double>(distance) * (1 + 1e-3);  // m, beyond any rounding
  const RingGrid grid = BuildRingGrid(xs.data(), ys.data(), free, search, m.RefinedWork.CellStart,
                                      m.RefinedWork.CellItems);
  RingMarks around;
  int32_t merged = 0;
  for (int32_t i = 0; i < free; ++i) {
    if (gone[i] != 0 || birth[i] > youngest) continue;
    TVortex& a = m.Vortices[n + i];
    bool look = true;  // the marks are not yet those around a's place
    for (int32_t j = i + 1; j < free; ++j) {
      if (look) {
        around.Reset(j - j % RingMarks::Window, free);
        around.Mark(grid, static_cast<double>(a.Pos.X), static_cast<double>(a.Pos.Y), search);
        look = false;
      }
      j = around.Next(j);
      if (j >= around.End()) {  // the window's end: the next one is looked up afresh
        look = true;
        j = around.End() - 1;
        continue;
      }
      if (gone[j] != 0 || birth[j] > youngest) continue;
      const TVortex& b = m.Vortices[n + j];
      if (!(a.Gamma * b.Gamma > 0)) continue;
      const Real dx = a.Pos.X - b.Pos.X, dy = a.Pos.Y - b.Pos.Y;
      if (!(dx * dx + dy * dy < d2)) continue;
      a = MergedRing(a, b);
      birth[i] = std::min(birth[i], birth[j]);
      nascent[i] = std::max(nascent[i], nascent[j]);  // a nascent ring stays one when merged
      gone[j] = 1;
      ++merged;
      look = true;
    }
  }
  if (merged == 0) return 0;
  int32_t count = 0;
  for (int32_t k = 0; k < free; ++k) {
    if (gone[k] != 0) continue;
    m.Vortices[n + count] = m.Vortices[n + k];
    birth[count] = birth[k];
    nascent[count] = nascent[k];
    ++count;
  }
  m.FreeVortexCount = count;
  ++m.Revision;
  return merged;
}

}  // namespace mdv
