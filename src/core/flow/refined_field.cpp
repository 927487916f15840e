// The refined model's velocity field: the attached rings as on the run's
// arithmetic path but for the cut-off, half the shortest spacing of the
// contour less 1e-5 m (not half of h: a rib whose length is no whole
// multiple of h has a shorter spacing, and a cut-off of h/2 would leave out
// both neighbours of each of its control points, which the solve counts, so
// the wall condition would fail there), the free rings through the
// smoothed kernel of smoothing length δ (SmoothingLengthOf) with no
// cut-off and their own contribution included. The wall condition's
// right-hand side uses the same smoothed free rings, so the field the rings
// move in is the field that meets the wall condition. The attached system
// itself (its matrix, factorization and solve) is the base path's.
//
// Every sum is computed whole by one thread in index order: the same bits
// for any thread count.
#include <algorithm>
#include <cmath>

#include "core/base/parallel.h"
#include "core/flow/circulation.h"
#include "core/flow/flow_path.h"
#include "core/flow/refined_step.h"
#include "core/flow/ring_kernel.h"
#include "core/flow/smoothed_kernel.h"
#include "core/flow/vector_kernel.h"

namespace mdv {

namespace {

// The velocity cut-off lies this far inside half the vortex spacing, m (as on the program's paths).
constexpr Real CutOffMargin = 1e-5L;

Real Delta2(const Model& m) {
  const Real delta = SmoothingLengthOf(m);  // m
  return delta * delta;
}

// The attached rings' cut-off radius, m.
// A shortest spacing equal to h but for rounding keeps h, so that a contour
// of whole multiples of h keeps the cut-off it always had, to the bit.
Real CutOffRadius(const Model& m) {
  const Real h = m.VortexSpacing;
  const Real s = m.AttachedSpacingMin;
  return (s > 0 && s < h * (1 - 1e-9L) ? s : h) / 2 - CutOffMargin;
}

// Sums over the attached rings [0, n) except skip, then the free rings, extended.
void ExtendedPair(const Model& m, const TRealPoint& p, int32_t skip, Real& u, Real& v) {
  const int32_t n = m.AttachedCount;
  const int32_t end = n + m.FreeVortexCount;
  const Real cutOff = CutOffRadius(m);  // m
  Real su = 0, sv = 0;
  for (int32_t i = 0; i < n; ++i) {
    if (i == skip) continue;
    const TVortex& w = m.Vortices[i];
    Real ku = 0, kv = 0;
    if (!(PointDistance(p, w.Pos) < cutOff)) ring::Pair(p, w, ku, kv);
    su = su + ku * w.Gamma;
    sv = sv + kv * w.Gamma;
  }
  const Real d2 = Delta2(m);
  for (int32_t i = n; i < end; ++i) {
    const TVortex& w = m.Vortices[i];
    Real ku, kv;
    ring::SmoothedPair(p, w, d2, ku, kv);
    su = su + ku * w.Gamma;
    sv = sv + kv * w.Gamma;
  }
  u = su;
  v = sv;
}

double CutOffSquared(const Model& m) {
  const Real radius = CutOffRadius(m);  // m
  if (!(radius > 0)) return -1;
  const double r = static_cast<double>(radius);
  return r * r;
}

void DoublePair(const Model& m, const TRealPoint& p, int32_t skip, Real& u, Real& v) {
  const RingArrays rings = m.Double.Mirror.Of(m);
  const int32_t n = m.AttachedCount;
  const int32_t end = n + m.FreeVortexCount;
  const vk::Kernels& k = vk::Active();
  const double px = static_cast<double>(p.X), py = static_cast<double>(p.Y);
  double au = 0, av = 0, fu = 0, fv = 0;
  k.SumPair(rings, 0, n, skip, px, py, CutOffSquared(m), au, av);
  k.SumPairSmoothed(rings, n, end, -1, px, py, static_cast<double>(Delta2(m)), fu, fv);
  u = static_cast<Real>(au + fu);
  v = static_cast<Real>(av + fv);
}

// The refined model on the double path (PathOf's choice).
bool DoubleRefined(const Model& m) {
  return m.Flow == FlowModel::Refined && !m.Exec.Literal && m.Exec.Arithmetic == Precision::Double;
}

class RefinedPath final : public FlowPath {
 public:
  RefinedPath(const FlowPath& base, bool doubleSums) : base_(base), double_(doubleSums) {}

  bool BuildInfluenceMatrix(Model& m, Observer& obs, bool& stopped) const override {
    return base_.BuildInfluenceMatrix(m, obs, stopped);
  }

  // The right-hand side in the base path's storage: Vn less the free rings'
  // smoothed normal velocity, and minus their circulation in the last row.
  void UpdateRightHandSide(Model& m) const override {
    const int32_t n = m.AttachedCount;
    if (n <= 0) return;
    const int32_t free = m.FreeVortexCount;
    const int32_t end = n + free;
    Real total = 0;
    for (int32_t k = n; k < end; ++k) total = total - m.Vortices[k].Gamma;
    if (double_) {
      DoubleSystem& s = m.Double.System;
      if (!s.Factored || s.N != n) {
        bool stopped = false;  // built on another path (or never): build it now
        base_.BuildInfluenceMatrix(m, NullObserver(), stopped);
      }
      if (s.N != n) return;
      // The free rings' sums at each control point by tile of TileRings
      // rings, kept in m.RefinedWork with what they summed: the tiles of
      // leading rings that have not changed since (with the same control
      // points and δ) stand, as after shedding, which appends rings and
      // moves only nascent ones. Every sum adds its tiles in order, so a
      // right-hand side from kept tiles is the one summed afresh, to the
      // bit, on any thread count.
      const RingArrays rings = m.Double.Mirror.Of(m);
      const vk::Kernels& k = vk::Active();
      const double d2 = static_cast<double>(Delta2(m));
      RefinedScratch& w = m.RefinedWork;
      RefinedScratch::Summed& was = w.RhsRings;
      constexpr int32_t T = vk::TileRings;
      const int32_t points = n - 1;
      const int32_t tiles = (free + T - 1) / T;
      const size_t entries = static_cast<size_t>(points) * static_cast<size_t>(tiles);
      if (w.RhsU.size() < entries) w.RhsU.resize(entries);  // sized at Prepare in a run
      if (w.RhsV.size() < entries) w.RhsV.resize(entries);
      bool same = was.Points == points && was.Delta2 == d2;
      for (int32_t i = 0; same && i < points; ++i)
        same = was.PointX[i] == static_cast<double>(m.CalcPoints[i].Pos.X) &&
               was.PointY[i] == static_cast<double>(m.CalcPoints[i].Pos.Y);
      int32_t kept = 0;  // leading free rings as they were summed
      if (same) {
        const int32_t limit = std::min(free, was.Rings);
        while (kept < limit && was.X[kept] == rings.X[n + kept] && was.Y[kept] == rings.Y[n + kept] &&
               was.G[kept] == rings.G[n + kept])
          ++kept;
      }
      const int32_t from = kept / T;  // the first tile to sum
      double* tu = w.RhsU.data();
      double* tv = w.RhsV.data();
      SharedPool(m.Exec.Threads).For(points, [&](int32_t begin, int32_t stop) {
        for (int32_t i = begin; i < stop; ++i) {
          const TCalcPoint& cp = m.CalcPoints[i];
          const double px = static_cast<double>(cp.Pos.X), py = static_cast<double>(cp.Pos.Y);
          double su = 0, sv = 0;
          for (int32_t J = 0; J < tiles; ++J) {
            const size_t e = static_cast<size_t>(J) * static_cast<size_t>(points) + static_cast<size_t>(i);
            if (J >= from) {
              k.SumPairSmoothed(rings, n + J * T, n + std::min((J + 1) * T, free), -1, px, py, d2,
                                tu[e], tv[e]);
            }
            su += tu[e];
            sv += tv[e];
          }
          s.Rhs[i] = s.Rhs0[i] - (static_cast<double>(cp.Normal.X) * su +
                                  static_cast<double>(cp.Normal.Y) * sv);
        }
      });
      was.X.assign(rings.X + n, rings.X + end);
      was.Y.assign(rings.Y + n, rings.Y + end);
      was.G.assign(rings.G + n, rings.G + end);
      if (!same) {
        was.PointX.resize(static_cast<size_t>(points));
        was.PointY.resize(static_cast<size_t>(points));
        for (int32_t i = 0; i < points; ++i) {
          was.PointX[i] = static_cast<double>(m.CalcPoints[i].Pos.X);
          was.PointY[i] = static_cast<double>(m.CalcPoints[i].Pos.Y);
        }
      }
      was.Rings = free;
      was.Points = points;
      was.Delta2 = d2;
      s.Rhs[n - 1] = static_cast<double>(total);
    } else {
      TRealMatr& a = m.InfluenceMatrix;
      if (a.size() < static_cast<size_t>(n)) return;
      const Real d2 = Delta2(m);
      SharedPool(m.Exec.Threads).For(n - 1, [&](int32_t begin, int32_t stop) {
        for (int32_t i = begin; i < stop; ++i) {
          const TCalcPoint& cp = m.CalcPoints[i];
          Real rhs = cp.Vn;
          for (int32_t k = n; k < end; ++k) {
            const TVortex& w = m.Vortices[k];
            Real ku, kv;
            ring::SmoothedPair(cp.Pos, w, d2, ku, kv);
            rhs = rhs - (cp.Normal.X * ku + cp.Normal.Y * kv) * w.Gamma;
          }
          a[i][n] = rhs;
        }
      });
      a[n - 1][n] = total;
    }
  }

  void SolveCirculations(Model& m) const override { base_.SolveCirculations(m); }

  Real Velocity(const Model& m, const TRealPoint& p, const TRealPoint& dir,
                int32_t skipIndex) const override {
    Real u, v;
    VelocityPair(m, p, skipIndex, u, v);
    return dir.X * u + dir.Y * v;
  }

  // skipIndex leaves out an attached ring only: a free ring's own smoothed
  // field is part of its motion.
  void VelocityPair(const Model& m, const TRealPoint& p, int32_t skipIndex, Real& u,
                    Real& v) const override {
    if (double_) {
      DoublePair(m, p, skipIndex, u, v);
    } else {
      ExtendedPair(m, p, skipIndex, u, v);
    }
  }

 private:
  const FlowPath& base_;
  bool double_;
};

}  // namespace

void FreeRingVelocities(Model& m, TRealPointArray& out) {
  const int32_t n = m.AttachedCount;
  const int32_t free = m.FreeVortexCount;
  if (!DoubleRefined(m)) {
    SharedPool(m.Exec.Threads).For(free, [&](int32_t begin, int32_t end) {
      for (int32_t k = begin; k < end; ++k) {
        Real u, v;
        CalcVelocityPair(m, m.Vortices[n + k].Pos, -1, u, v);
        out[k] = TRealPoint{u, v};
      }
    });
    return;
  }
  // The free rings on each other tile by tile: a tile pair (I, J), I < J,
  // evaluates each of its ring pairs once for both rings; tile I's row sums
  // over tile J go to TileU[i·tiles + J], its column sums to TileU[j·tiles +
  // I]. Every entry is one task's, and each ring adds its row in J order:
  // the same bits for any thread count.
  const RingArrays all = m.Double.Mirror.Of(m);
  const RingArrays rings{all.X + n, all.Y + n, all.G + n};
  RefinedScratch& w = m.RefinedWork;
  constexpr int32_t T = vk::TileRings;
  const int32_t tiles = (free + T - 1) / T;
  const size_t entries = static_cast<size_t>(free) * static_cast<size_t>(tiles);
  const size_t padded = static_cast<size_t>(free + RingPadding);
  if (w.InvRadius.size() < padded) w.InvRadius.resize(padded);  // sized at Prepare in a run
  if (w.TileU.size() < entries) w.TileU.resize(entries);
  if (w.TileV.size() < entries) w.TileV.resize(entries);
  double* inv = w.InvRadius.data();
  for (int32_t j = 0; j < free; ++j) inv[j] = 1 / rings.Y[j];
  for (int32_t j = free; j < free + RingPadding; ++j) inv[j] = 0;
  double* tu = w.TileU.data();
  double* tv = w.TileV.data();
  const vk::Kernels& k = vk::Active();
  const double d2 = static_cast<double>(Delta2(m));
  SharedPool(m.Exec.Threads).For(tiles * (tiles + 1) / 2, [&](int32_t begin, int32_t end) {
    double ru[T], rv[T], cu[T], cv[T];
    for (int32_t t = begin; t < end; ++t) {
      int32_t I = 0, rest = t;  // task t is (I, I + rest): row I holds tiles − I of them
      while (rest >= tiles - I) {
        rest -= tiles - I;
        ++I;
      }
      const int32_t J = I + rest;
      const int32_t i0 = I * T, i1 = std::min(i0 + T, free);
      const int32_t j0 = J * T, j1 = std::min(j0 + T, free);
      k.SmoothedTile(rings, inv, i0, i1, j0, j1, I != J, d2, ru, rv, cu, cv);
      for (int32_t i = i0; i < i1; ++i) {
        tu[static_cast<size_t>(i) * tiles + J] = ru[i - i0];
        tv[static_cast<size_t>(i) * tiles + J] = rv[i - i0];
      }
      if (I == J) continue;
      for (int32_t j = j0; j < j1; ++j) {
        tu[static_cast<size_t>(j) * tiles + I] = cu[j - j0];
        tv[static_cast<size_t>(j) * tiles + I] = cv[j - j0];
      }
    }
  });
  const double cutSq = CutOffSquared(m);
  SharedPool(m.Exec.Threads).For(free, [&](int32_t begin, int32_t end) {
    for (int32_t i = begin; i < end; ++i) {
      double au, av;
      k.SumPair(all, 0, n, -1, rings.X[i], rings.Y[i], cutSq, au, av);
      double fu = 0, fv = 0;
      for (int32_t J = 0; J < tiles; ++J) {
        fu += tu[static_cast<size_t>(i) * tiles + J];
        fv += tv[static_cast<size_t>(i) * tiles + J];
      }
      out[i] = TRealPoint{static_cast<Real>(au + fu), static_cast<Real>(av + fv)};
    }
  });
}

const FlowPath& PathOf(const Model& m) {
  const FlowPath& base = PathOf(m.Exec);
  if (m.Flow == FlowModel::Program) return base;
  static const RefinedPath literal(PathOf(Execution{true, 1, Precision::Extended}), false);
  static const RefinedPath extended(PathOf(Execution{false, 0, Precision::Extended}), false);
  static const RefinedPath vector(DoublePath(), true);
  if (m.Exec.Literal) return literal;
  if (m.Exec.Arithmetic == Precision::Double) return vector;
  return extended;
}

}  // namespace mdv
