#include "core/flow/circulation.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/flow/flow_path.h"
#include "core/flow/kernel.h"
#include "core/base/parallel.h"
#include "core/flow/ring_kernel.h"

namespace mdv {

namespace {

// The velocity cut-off lies this far inside half the vortex spacing, m, so
// that a free vortex on the barrier still sees the attached vortices.
constexpr Real CutOffMargin = 1e-5L;

// Relative width of the band around the squared cut-off radius inside which
// the fast sums take the square root to decide, as the literal test does.
// Outside it the decision of the squared distance is certain: the band is far
// wider than the rounding of d², of the root and of the squared radius.
constexpr Real CutOffBand = 0x1p-40L;

// The literal cut-off test `PointDistance(p, v) < cutOff`, mostly without the
// root: q is the same rounded sum of squares PointDistance takes the root of.
struct CutOff {
  explicit CutOff(Real spacing) : radius(spacing / 2 - CutOffMargin) {
    if (std::isfinite(radius) && radius > 0) {
      const Real sq = radius * radius;
      below = sq * (1 - CutOffBand);
      above = sq * (1 + CutOffBand);
    }
  }
  bool Inside(Real q) const {
    if (q < below) return true;
    if (q > above) return false;
    return std::sqrt(q) < radius;
  }
  Real radius;  // m
  // Without a usable radius every test takes the root.
  Real below = -std::numeric_limits<Real>::infinity();  // m²
  Real above = std::numeric_limits<Real>::infinity();   // m²
};

// The sums of CalcVelocity along (1, 0) and (0, 1) over vortices [begin, end),
// in index order, added to su and sv.
void SumPair(const TVortex* vortices, int32_t begin, int32_t end, const TRealPoint& p,
             const CutOff& cut, Real& su, Real& sv) {
  for (int32_t i = begin; i < end; ++i) {
    const TVortex& w = vortices[i];
    const Real dx = p.X - w.Pos.X;
    const Real dy = p.Y - w.Pos.Y;
    Real cu = 0;
    Real cv = 0;
    if (!cut.Inside(dx * dx + dy * dy)) {
      Real ku, kv;
      ring::Pair(p, w, ku, kv);
      cu = ku * w.Gamma;
      cv = kv * w.Gamma;
    }
    su = su + cu;
    sv = sv + cv;
  }
}

// A right-hand-side row of a control point: Vn less the free vortices' normal velocity.
Real RightHandSideRow(const Model& m, const TCalcPoint& cp, int32_t begin, int32_t end) {
  Real rhs = cp.Vn;
  for (int32_t k = begin; k < end; ++k) {
    const TVortex& v = m.Vortices[k];
    rhs = rhs - ring::Along(cp.Pos, v, cp.Normal) * v.Gamma;
  }
  return rhs;
}

// The augmented N x (N+1) shape SolveGauss insists on.
bool SystemShapeFits(const TRealMatr& a, int32_t n) {
  if (n < 0 || a.size() < static_cast<size_t>(n)) return false;
  for (int32_t r = 0; r < n; ++r) {
    if (a[r].size() < static_cast<size_t>(n) + 1) return false;
  }
  return true;
}

// Rows of the influence matrix built between two stop questions: at the
// largest accepted system (4000 attached vortices) a block is some 10⁵ kernel
// evaluations, a few hundredths of a second.
constexpr int32_t SetupRowBlock = 32;

// fill(begin, end) on consecutive blocks of the rows [0, rows); after each
// block the progress goes to obs and the stop question is asked. Returns
// false when stopped. The blocks never change what a row computes.
template <class Fill>
bool InRowBlocks(Observer& obs, int32_t rows, Fill&& fill) {
  for (int32_t begin = 0; begin < rows; begin += SetupRowBlock) {
    const int32_t end = std::min(rows, begin + SetupRowBlock);
    fill(begin, end);
    obs.SetupProgress(Observer::SetupStage::Matrix, end, rows);
    if (obs.StopRequested()) return false;
  }
  return true;
}

// Row N-1: the total circulation of attached and free vortices together is zero.
void TotalCirculationRow(Model& m) {
  const int32_t n = m.AttachedCount;
  if (n <= 0) return;
  TRealArray& last = m.InfluenceMatrix[n - 1];
  for (int32_t j = 0; j < n; ++j) last[j] = 1;
  last[n] = 0;
}

// The literal forms: one thread, two kernel calls, full elimination.
bool BuildInfluenceMatrixLiteral(Model& m, Observer& obs, bool& stopped) {
  const int32_t n = m.AttachedCount;
  SetMatrSize(m.InfluenceMatrix, n, n + 1);
  TRealMatr& a = m.InfluenceMatrix;
  stopped = !InRowBlocks(obs, n > 0 ? n - 1 : 0, [&](int32_t begin, int32_t end) {
    for (int32_t i = begin; i < end; ++i) {
      const TCalcPoint& cp = m.CalcPoints[i];
      TRealArray& row = a[i];
      for (int32_t j = 0; j < n; ++j) row[j] = RingVelocity(cp.Pos, m.Vortices[j], cp.Normal);
      row[n] = cp.Vn;
    }
  });
  if (stopped) return false;
  TotalCirculationRow(m);
  SetMatrSize(m.InfluenceMatrixCopy, n, n + 1);
  return CopyMatr(m.InfluenceMatrix, m.InfluenceMatrixCopy, n, n + 1);
}

void UpdateRightHandSideLiteral(Model& m) {
  const int32_t n = m.AttachedCount;
  const int32_t end = n + m.FreeVortexCount;
  TRealMatr& a = m.InfluenceMatrix;
  for (int32_t i = 0; i + 1 < n; ++i) {
    const TCalcPoint& cp = m.CalcPoints[i];
    Real rhs = cp.Vn;
    for (int32_t k = n; k < end; ++k) {
      const TVortex& v = m.Vortices[k];
      rhs = rhs - RingVelocity(cp.Pos, v, cp.Normal) * v.Gamma;
    }
    a[i][n] = rhs;
  }
}

// The fast extended forms: all threads, the elimination recorded once.
bool BuildInfluenceMatrixFast(Model& m, Observer& obs, bool& stopped) {
  const int32_t n = m.AttachedCount;
  ThreadPool& pool = SharedPool(m.Exec.Threads);
  SetMatrSize(m.InfluenceMatrix, n, n + 1);
  TRealMatr& a = m.InfluenceMatrix;
  stopped = !InRowBlocks(obs, n > 0 ? n - 1 : 0, [&](int32_t first, int32_t last) {
    pool.For(last - first, [&](int32_t begin, int32_t end) {
      for (int32_t i = first + begin; i < first + end; ++i) {
        const TCalcPoint& cp = m.CalcPoints[i];
        TRealArray& row = a[i];
        for (int32_t j = 0; j < n; ++j) row[j] = ring::Along(cp.Pos, m.Vortices[j], cp.Normal);
        row[n] = cp.Vn;
      }
    });
  });
  if (stopped) return false;
  TotalCirculationRow(m);
  SetMatrSize(m.InfluenceMatrixCopy, n, n + 1);
  const bool copied = CopyMatr(m.InfluenceMatrix, m.InfluenceMatrixCopy, n, n + 1);
  // The coefficients stay as they are for the whole run: eliminate them once.
  m.Factored.Factor(m.InfluenceMatrix, n, &pool, &obs);
  if (!m.Factored.Factored()) {
    stopped = true;
    return false;
  }
  m.RightHandSide.assign(static_cast<size_t>(n), 0);
  return copied;
}

// Row N-1 of the right-hand side: minus the free circulation.
void TotalCirculationRightHandSide(Model& m) {
  const int32_t n = m.AttachedCount;
  const int32_t end = n + m.FreeVortexCount;
  if (n > 0) {
    Real rhs = 0;
    for (int32_t k = n; k < end; ++k) rhs = rhs - m.Vortices[k].Gamma;
    m.InfluenceMatrix[n - 1][n] = rhs;
  }
}

void StoreCirculations(Model& m) {
  for (int32_t i = 0; i < m.AttachedCount; ++i) m.Vortices[i].Gamma = m.Circulations[i];
  ++m.Revision;
}

// The velocity sums of CalcVelocity, vortex after vortex in index order.
Real LiteralVelocity(const Model& m, const TRealPoint& p, const TRealPoint& dir, int32_t skipIndex) {
  const Real cutOff = m.VortexSpacing / 2 - CutOffMargin;  // m
  const int32_t end = m.AttachedCount + m.FreeVortexCount;
  Real sum = 0;
  for (int32_t i = 0; i < end; ++i) {
    if (i == skipIndex) continue;
    const TVortex& v = m.Vortices[i];
    const Real d = PointDistance(p, v.Pos);
    Real contribution = 0;
    if (!(d < cutOff)) contribution = RingVelocity(p, v, dir) * v.Gamma;
    sum = sum + contribution;
  }
  return sum;
}

class LiteralFlowPath final : public FlowPath {
 public:
  bool BuildInfluenceMatrix(Model& m, Observer& obs, bool& stopped) const override {
    m.Factored.Clear();
    return BuildInfluenceMatrixLiteral(m, obs, stopped);
  }
  void UpdateRightHandSide(Model& m) const override {
    UpdateRightHandSideLiteral(m);
    TotalCirculationRightHandSide(m);
  }
  void SolveCirculations(Model& m) const override {
    const int32_t n = m.AttachedCount;
    if (m.Circulations.size() < static_cast<size_t>(n)) m.Circulations.resize(n);
    // A singular system leaves the previous circulations in place.
    SolveGauss(m.InfluenceMatrix, n, m.Circulations);
    CopyMatr(m.InfluenceMatrixCopy, m.InfluenceMatrix, n, n + 1);
    StoreCirculations(m);
  }
  Real Velocity(const Model& m, const TRealPoint& p, const TRealPoint& dir,
                int32_t skipIndex) const override {
    return LiteralVelocity(m, p, dir, skipIndex);
  }
  void VelocityPair(const Model& m, const TRealPoint& p, int32_t skipIndex, Real& u,
                    Real& v) const override {
    u = LiteralVelocity(m, p, {1, 0}, skipIndex);
    v = LiteralVelocity(m, p, {0, 1}, skipIndex);
  }
};

class ExtendedFlowPath final : public FlowPath {
 public:
  bool BuildInfluenceMatrix(Model& m, Observer& obs, bool& stopped) const override {
    return BuildInfluenceMatrixFast(m, obs, stopped);
  }
  void UpdateRightHandSide(Model& m) const override {
    const int32_t n = m.AttachedCount;
    const int32_t end = n + m.FreeVortexCount;
    TRealMatr& a = m.InfluenceMatrix;
    SharedPool(m.Exec.Threads).For(n > 0 ? n - 1 : 0, [&](int32_t begin, int32_t stop) {
      for (int32_t i = begin; i < stop; ++i) a[i][n] = RightHandSideRow(m, m.CalcPoints[i], n, end);
    });
    TotalCirculationRightHandSide(m);
  }
  void SolveCirculations(Model& m) const override {
    const int32_t n = m.AttachedCount;
    if (m.Circulations.size() < static_cast<size_t>(n)) m.Circulations.resize(n);
    if (SystemShapeFits(m.InfluenceMatrix, n) && SystemShapeFits(m.InfluenceMatrixCopy, n)) {
      // Like SolveGauss, a matrix of another shape is left alone.
      if (!m.Factored.Factored() || m.Factored.Size() != n) {
        // The matrix was built on the literal path (or by hand): factor it now.
        m.Factored.Factor(m.InfluenceMatrixCopy, n, &SharedPool(m.Exec.Threads));
      }
      if (m.RightHandSide.size() < static_cast<size_t>(n)) m.RightHandSide.resize(n);
      TRealMatr& a = m.InfluenceMatrix;
      for (int32_t i = 0; i < n; ++i) m.RightHandSide[i] = a[i][n];
      // The replay leaves the circulations untouched when the system is singular.
      m.Factored.Solve(m.RightHandSide, m.Circulations);
      // The coefficients were never touched: restoring column N restores the matrix.
      for (int32_t i = 0; i < n; ++i) a[i][n] = m.InfluenceMatrixCopy[i][n];
    }
    StoreCirculations(m);
  }
  Real Velocity(const Model& m, const TRealPoint& p, const TRealPoint& dir,
                int32_t skipIndex) const override {
    return LiteralVelocity(m, p, dir, skipIndex);
  }
  void VelocityPair(const Model& m, const TRealPoint& p, int32_t skipIndex, Real& u,
                    Real& v) const override {
    const CutOff cut(m.VortexSpacing);
    const int32_t end = m.AttachedCount + m.FreeVortexCount;
    const TVortex* vortices = m.Vortices.data();
    Real su = 0;
    Real sv = 0;
    if (skipIndex >= 0 && skipIndex < end) {
      SumPair(vortices, 0, skipIndex, p, cut, su, sv);
      SumPair(vortices, skipIndex + 1, end, p, cut, su, sv);
    } else {
      SumPair(vortices, 0, end, p, cut, su, sv);
    }
    u = su;
    v = sv;
  }
};

}  // namespace

const FlowPath& PathOf(const Execution& exec) {
  static const LiteralFlowPath literal;
  static const ExtendedFlowPath extended;
  if (exec.Literal) return literal;
  if (exec.Arithmetic == Precision::Double) return DoublePath();
  return extended;
}

bool BuildInfluenceMatrix(Model& m) {
  bool stopped = false;
  return PathOf(m).BuildInfluenceMatrix(m, NullObserver(), stopped);
}

bool SetUpCirculationSystem(Model& m, Observer& obs) {
  bool stopped = false;
  PathOf(m).BuildInfluenceMatrix(m, obs, stopped);
  return !stopped;
}

void UpdateRightHandSide(Model& m) { PathOf(m).UpdateRightHandSide(m); }

void SolveCirculations(Model& m) { PathOf(m).SolveCirculations(m); }

Real CalcVelocity(const Model& m, const TRealPoint& p, const TRealPoint& dir, int32_t skipIndex) {
  return PathOf(m).Velocity(m, p, dir, skipIndex);
}

void CalcVelocityPair(const Model& m, const TRealPoint& p, int32_t skipIndex, Real& u, Real& v) {
  PathOf(m).VelocityPair(m, p, skipIndex, u, v);
}

}  // namespace mdv
