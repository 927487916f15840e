// The double arithmetic path: the vectorised double kernel over a double copy
// of the vortices, and the attached system factored once per run by LAPACK
// (OpenBLAS) and solved every step. Positions, time and the wall rule stay
// in the model's extended values; velocities and circulations are double.
//
// Same bytes for every thread count: each matrix row, right-hand-side row and
// velocity sum is computed whole by one thread in a fixed order, and OpenBLAS
// works on one thread.
#include <cblas.h>
#include <lapacke.h>

#include <algorithm>
#include <mutex>

#include "core/flow/flow_path.h"
#include "core/model/geometry.h"
#include "core/base/parallel.h"
#include "core/flow/vector_kernel.h"

extern "C" void openblas_set_num_threads(int num_threads);

namespace mdv {

namespace {

static_assert(sizeof(lapack_int) == sizeof(int32_t), "LAPACK's integers are 32-bit here");

// The velocity cut-off lies this far inside half the vortex spacing, m (as on the extended path).
constexpr Real CutOffMargin = 1e-5L;

// OpenBLAS on one thread: its threads would split sums by the core count.
void PinBlasToOneThread() {
  static std::once_flag once;
  std::call_once(once, [] { openblas_set_num_threads(1); });
}

// A vortex closer to the point than the cut-off radius is left out: the
// squared radius (m²), or -1 (nothing is left out) when there is no radius.
double CutOffSquared(const Model& m) {
  const Real radius = m.VortexSpacing / 2 - CutOffMargin;  // m
  if (!(radius > 0)) return -1;
  const double r = static_cast<double>(radius);
  return r * r;
}

double D(Real v) { return static_cast<double>(v); }

// Matrix rows built between two stop questions: at 4000 attached vortices a
// block is some 10⁶ kernel evaluations, a few milliseconds.
constexpr int32_t SetupRowBlock = 256;

// Columns of one panel of the blocked LU factorization: at N = 4000 a panel
// and its trailing update are a few hundredths of a second on one core.
constexpr lapack_int FactorPanel = 128;

// LU factorization with partial pivoting of the n x n column-major matrix a,
// as LAPACK's dgetrf (same pivots, 1-based), panel by panel: each panel is
// factored by dgetrf, its row swaps applied to the other columns, its block
// row of U solved and the trailing matrix updated; between panels the
// progress goes to obs and the stop question is asked. Returns dgetrf's info
// (0, or the first exactly zero pivot), or -1 when stopped.
lapack_int FactorInPanels(double* a, lapack_int n, lapack_int* pivots, Observer& obs) {
  lapack_int info = 0;
  for (lapack_int j = 0; j < n; j += FactorPanel) {
    const lapack_int jb = std::min(FactorPanel, n - j);
    double* panel = a + j + static_cast<size_t>(j) * n;
    const lapack_int panelInfo = LAPACKE_dgetrf_work(LAPACK_COL_MAJOR, n - j, jb, panel, n, pivots + j);
    if (info == 0 && panelInfo > 0) info = panelInfo + j;
    for (lapack_int i = j; i < j + jb; ++i) pivots[i] += j;
    // The panel's row swaps on the columns before and after it.
    if (j > 0) LAPACKE_dlaswp_work(LAPACK_COL_MAJOR, j, a, n, j + 1, j + jb, pivots, 1);
    const lapack_int rest = n - j - jb;
    if (rest > 0) {
      double* right = a + static_cast<size_t>(j + jb) * n;
      LAPACKE_dlaswp_work(LAPACK_COL_MAJOR, rest, right, n, j + 1, j + jb, pivots, 1);
      cblas_dtrsm(CblasColMajor, CblasLeft, CblasLower, CblasNoTrans, CblasUnit, jb, rest, 1.0, panel, n,
                  right + j, n);
      cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, rest, rest, jb, -1.0, panel + jb, n, right + j, n,
                  1.0, right + j + jb, n);
    }
    obs.SetupProgress(Observer::SetupStage::Elimination, j + jb, n);
    if (obs.StopRequested()) return -1;
  }
  return info;
}

// Builds the matrix and factors it; `stopped`: obs asked to stop before the
// factorization (which, once begun, runs to its end: a second or two at the
// largest systems).
bool BuildSystem(Model& m, Observer& obs, bool& stopped) {
  stopped = false;
  DoubleSystem& s = m.Double.System;
  const int32_t n = m.AttachedCount;
  s.Clear();
  if (n <= 0 || m.CalcPoints.size() + 1 < static_cast<size_t>(n)) return false;
  const size_t nn = static_cast<size_t>(n);
  s.N = n;
  s.A.assign(nn * nn, 0);
  s.Pivots.assign(nn, 0);
  s.Rhs0.assign(nn, 0);
  s.X.assign(nn, 0);
  m.Double.Mirror.Reserve(nn + static_cast<size_t>(std::max<int32_t>(m.MaxFreeVortex, 0)));
  const RingArrays rings = m.Double.Mirror.Of(m);
  const vk::Kernels& k = vk::Active();
  // Row i of A, control point i's equation, is column i of the stored Aᵀ.
  ThreadPool& pool = SharedPool(m.Exec.Threads);
  for (int32_t first = 0; first < n - 1; first += SetupRowBlock) {
    const int32_t last = std::min(n - 1, first + SetupRowBlock);
    pool.For(last - first, [&](int32_t begin, int32_t end) {
      for (int32_t i = first + begin; i < first + end; ++i) {
        const TCalcPoint& cp = m.CalcPoints[i];
        k.NormalRow(rings, 0, n, D(cp.Pos.X), D(cp.Pos.Y), D(cp.Normal.X), D(cp.Normal.Y),
                    s.A.data() + static_cast<size_t>(i) * nn);
        s.Rhs0[i] = D(cp.Vn);
      }
    });
    obs.SetupProgress(Observer::SetupStage::Matrix, last, n - 1);
    if (obs.StopRequested()) {
      s.Clear();
      stopped = true;
      return false;
    }
  }
  // Total circulation of attached and free vortices together is zero.
  std::fill_n(s.A.begin() + static_cast<std::ptrdiff_t>((nn - 1) * nn), nn, 1.0);
  s.Rhs = s.Rhs0;
  PinBlasToOneThread();
  const lapack_int info = FactorInPanels(s.A.data(), n, s.Pivots.data(), obs);
  if (info < 0) {
    s.Clear();
    stopped = true;
    return false;
  }
  s.Factored = true;
  s.Regular = info == 0;  // info > 0: an exactly zero pivot
  return true;
}

bool BuildSystem(Model& m) {
  bool stopped = false;
  return BuildSystem(m, NullObserver(), stopped);
}

void UpdateRightHandSideD(Model& m) {
  DoubleSystem& s = m.Double.System;
  const int32_t n = m.AttachedCount;
  if (!s.Factored || s.N != n) BuildSystem(m);
  if (s.N != n) return;
  const int32_t end = n + m.FreeVortexCount;
  const RingArrays rings = m.Double.Mirror.Of(m);
  const vk::Kernels& k = vk::Active();
  SharedPool(m.Exec.Threads).For(n - 1, [&](int32_t begin, int32_t stop) {
    for (int32_t i = begin; i < stop; ++i) {
      const TCalcPoint& cp = m.CalcPoints[i];
      double su, sv;
      k.SumPair(rings, n, end, -1, D(cp.Pos.X), D(cp.Pos.Y), -1, su, sv);
      s.Rhs[i] = s.Rhs0[i] - (D(cp.Normal.X) * su + D(cp.Normal.Y) * sv);
    }
  });
  double total = 0;
  for (int32_t j = n; j < end; ++j) total = total - rings.G[j];
  s.Rhs[n - 1] = total;
}

class DoubleFlowPath final : public FlowPath {
 public:
  bool BuildInfluenceMatrix(Model& m, Observer& obs, bool& stopped) const override {
    return BuildSystem(m, obs, stopped);
  }

  void UpdateRightHandSide(Model& m) const override { UpdateRightHandSideD(m); }

  void SolveCirculations(Model& m) const override {
    DoubleSystem& s = m.Double.System;
    const int32_t n = m.AttachedCount;
    if (n <= 0) return;
    if (m.Circulations.size() < static_cast<size_t>(n)) m.Circulations.resize(n);
    if (!s.Factored || s.N != n) {
      // Built on another path (or never): build it, with the free vortices' right-hand side.
      BuildSystem(m);
      if (m.FreeVortexCount != 0) UpdateRightHandSideD(m);
    }
    if (s.N == n && s.Regular) {
      std::copy(s.Rhs.begin(), s.Rhs.end(), s.X.begin());
      PinBlasToOneThread();
      LAPACKE_dgetrs_work(LAPACK_COL_MAJOR, 'T', n, 1, s.A.data(), n, s.Pivots.data(), s.X.data(), n);
      for (int32_t i = 0; i < n; ++i) m.Circulations[i] = s.X[i];
    }
    // A singular system leaves the previous circulations in place.
    if (s.N == n) std::copy(s.Rhs0.begin(), s.Rhs0.end(), s.Rhs.begin());
    for (int32_t i = 0; i < n; ++i) m.Vortices[i].Gamma = m.Circulations[i];
    ++m.Revision;
  }

  Real Velocity(const Model& m, const TRealPoint& p, const TRealPoint& dir,
                int32_t skipIndex) const override {
    Real u, v;
    VelocityPair(m, p, skipIndex, u, v);
    return dir.X * u + dir.Y * v;
  }

  void VelocityPair(const Model& m, const TRealPoint& p, int32_t skipIndex, Real& u,
                    Real& v) const override {
    const RingArrays rings = m.Double.Mirror.Of(m);
    const int32_t end = m.AttachedCount + m.FreeVortexCount;
    double su = 0, sv = 0;
    vk::Active().SumPair(rings, 0, end, skipIndex, D(p.X), D(p.Y), CutOffSquared(m), su, sv);
    u = su;
    v = sv;
  }
};

}  // namespace

const FlowPath& DoublePath() {
  static const DoubleFlowPath path;
  return path;
}

}  // namespace mdv
