// The grid's neighbour searches against loops over every ring: merging and
// the diffusive velocity must come out the same to the bit, beyond the bit
// set's window of 4 096 rings too.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "core/flow/diffusion.h"
#include "core/flow/refined_step.h"
#include "core/flow/ring_grid.h"
#include "core/flow/ring_merging.h"
#include "core/model_fixtures.h"

namespace mdv {
namespace {

// MergeFreeRings as a loop over all later rings (what the grid must reproduce).
int32_t MergeByLoop(Model& m, Real distance, Real minAge) {
  const int32_t n = m.AttachedCount, free = m.FreeVortexCount;
  RefinedScratch& w = m.RefinedWork;
  const Real youngest = m.Time - minAge, d2 = distance * distance;
  std::fill_n(w.Gone.begin(), free, 0);
  int32_t merged = 0;
  for (int32_t i = 0; i < free; ++i) {
    if (w.Gone[i] != 0 || w.Birth[i] > youngest) continue;
    TVortex& a = m.Vortices[n + i];
    for (int32_t j = i + 1; j < free; ++j) {
      const TVortex& b = m.Vortices[n + j];
      const Real dx = a.Pos.X - b.Pos.X, dy = a.Pos.Y - b.Pos.Y;
      if (w.Gone[j] != 0 || w.Birth[j] > youngest || !(a.Gamma * b.Gamma > 0) || !(dx * dx + dy * dy < d2)) continue;
      a = MergedRing(a, b);
      w.Birth[i] = std::min(w.Birth[i], w.Birth[j]);
      w.Nascent[i] = std::max(w.Nascent[i], w.Nascent[j]);
      w.Gone[j] = 1;
      ++merged;
    }
  }
  int32_t count = 0;
  for (int32_t k = 0; k < free; ++k) {
    if (w.Gone[k] != 0) continue;
    m.Vortices[n + count] = m.Vortices[n + k];
    w.Birth[count] = w.Birth[k];
    w.Nascent[count] = w.Nascent[k];
    ++count;
  }
  m.FreeVortexCount = count;
  return merged;
}

// `free` rings of both signs in clumps around the lip of a coarse hood, some
// too young to merge; the clumps are a few merge distances wide, so rings
// merge in chains across cell edges.
Model Clumps(int32_t free, uint32_t seed) {
  Model m = test::CoarseModel(0.02L);
  m.Flow = FlowModel::Refined;
  m.Exec.Arithmetic = Precision::Double;
  m.MaxFreeVortex = free;
  RefinedStep().Prepare(m);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(0, 1);
  const int32_t n = m.AttachedCount;
  TRealPoint centre{};
  for (int32_t k = 0; k < free; ++k) {
    if (k % 40 == 0) centre = TRealPoint{-0.1L + 0.4L * unit(rng), 0.05L + 0.4L * unit(rng)};
    const Real spread = 0.02L;  // m: a few h/2 = 0,005 m
    m.Vortices[n + k] = TVortex{TRealPoint{centre.X + spread * unit(rng), centre.Y + spread * unit(rng)},
                                (unit(rng) < 0.3 ? -1 : 1) * (0.001L + 0.01L * unit(rng))};
    m.RefinedWork.Birth[k] = unit(rng) < 0.1 ? 1 : 0;  // born at 1 s: young
    m.RefinedWork.Nascent[k] = static_cast<int8_t>(unit(rng) < 0.01 ? 0 : -1);
  }
  m.FreeVortexCount = free;
  m.Time = 1.05L;
  return m;
}

TEST(RingGrid, MarksEveryRingWithinReachAndFewBeyond) {
  // A lattice of 0,01 m over 0,7 m × 0,5 m (one window of marks), cells 0,03 m wide: every ring
  // within the reach of a place is marked (the lattice's corner cell too),
  // none farther than the reach and a cell's diagonal; a place off the
  // lattice marks only what lies within reach; a place not finite among
  // the rings leaves the grid out and every ring is a neighbour.
  std::vector<double> x, y;
  for (int i = 0; i <= 70; ++i)
    for (int j = 0; j <= 50; ++j) {
      x.push_back(0.01 * i - 0.3);
      y.push_back(0.01 * j);
    }
  const int32_t count = static_cast<int32_t>(x.size());
  std::vector<int32_t> start, items;
  const double reach = 0.03;  // m
  const RingGrid grid = BuildRingGrid(x.data(), y.data(), count, reach, start, items);
  ASSERT_GT(grid.Nx, 1);
  const double query[][2] = {{-0.3, 0}, {0.2049, 0.251}, {0.4, 0.5}, {-0.32, -0.02}, {-0.5, 0.2}, {0.12, 0.61}};
  for (const auto& q : query) {
    RingMarks marks;
    marks.Reset(0, count);
    marks.Mark(grid, q[0], q[1], reach);
    std::vector<char> marked(static_cast<size_t>(count), 0);
    int32_t last = -1;
    marks.ForEach([&](int32_t i) {
      EXPECT_GT(i, last);  // ascending
      last = i;
      marked[static_cast<size_t>(i)] = 1;
    });
    for (int32_t i = 0; i < count; ++i) {
      const double d = std::hypot(x[i] - q[0], y[i] - q[1]);
      if (d < reach) {
        EXPECT_TRUE(marked[i]) << q[0] << ' ' << q[1] << ": " << i;
      } else if (d > reach + 2 * std::sqrt(2.0) * grid.Cell) {
        EXPECT_FALSE(marked[i]) << q[0] << ' ' << q[1] << ": " << i;
      }
    }
    EXPECT_EQ(marks.Next(0), std::find(marked.begin(), marked.end(), 1) - marked.begin());
  }
  x[count / 2] = std::nan("");
  const RingGrid none = BuildRingGrid(x.data(), y.data(), count, reach, start, items);
  RingMarks all;
  all.Reset(0, count);
  all.Mark(none, 10, 10, reach);
  int32_t seen = 0;
  all.ForEach([&](int32_t) { ++seen; });
  EXPECT_EQ(seen, count);
}

TEST(RingGrid, MergingIsTheLoopOverAllRings) {
  for (const int32_t free : {300, 5000}) {  // one bit-set window, then two
    Model grid = Clumps(free, 7u + static_cast<uint32_t>(free));
    Model loop = grid;
    const Real distance = 0.005L, age = 0.1L;
    const int32_t merged = MergeFreeRings(grid, distance, age);
    EXPECT_EQ(merged, MergeByLoop(loop, distance, age));
    EXPECT_GT(merged, free / 10);  // chains of merges did happen
    ASSERT_EQ(grid.FreeVortexCount, loop.FreeVortexCount);
    const int32_t n = grid.AttachedCount;
    for (int32_t k = 0; k < grid.FreeVortexCount; ++k) {
      ASSERT_EQ(grid.Vortices[n + k].Pos.X, loop.Vortices[n + k].Pos.X) << free << ' ' << k;
      ASSERT_EQ(grid.Vortices[n + k].Pos.Y, loop.Vortices[n + k].Pos.Y) << free << ' ' << k;
      ASSERT_EQ(grid.Vortices[n + k].Gamma, loop.Vortices[n + k].Gamma) << free << ' ' << k;
      ASSERT_EQ(grid.RefinedWork.Birth[k], loop.RefinedWork.Birth[k]) << k;
      ASSERT_EQ(grid.RefinedWork.Nascent[k], loop.RefinedWork.Nascent[k]) << k;
    }
  }
}

TEST(RingGrid, DiffusionOfManyRingsNearTheWallsIsTheWholeSum) {
  // 5 000 rings: the bit set's second window, and rings mirrored in the lip's walls.
  Model m = Clumps(5000, 3u);
  m.Exec.Threads = 2;
  TRealPointArray sum(5000);
  AddDiffusiveVelocities(m, sum);
  int32_t moved = 0;
  for (int32_t k = 0; k < m.FreeVortexCount; k += 7) {
    const TRealPoint whole = DiffusiveVelocity(m, k);
    ASSERT_EQ(sum[k].X, whole.X) << k;
    ASSERT_EQ(sum[k].Y, whole.Y) << k;
    moved += whole.X != 0;
  }
  EXPECT_GT(moved, 600);
}

}  // namespace
}  // namespace mdv
