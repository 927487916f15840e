#include "core/circulation.h"

#include "core/kernel.h"

namespace mdv {

namespace {

// The velocity cut-off lies this far inside half the vortex spacing, m, so
// that a free vortex on the barrier still sees the attached vortices.
constexpr Real CutOffMargin = 1e-5L;

}  // namespace

bool BuildInfluenceMatrix(Model& m) {
  const int32_t n = m.AttachedCount;
  SetMatrSize(m.InfluenceMatrix, n, n + 1);
  TRealMatr& a = m.InfluenceMatrix;
  for (int32_t i = 0; i + 1 < n; ++i) {
    const TCalcPoint& cp = m.CalcPoints[i];
    TRealArray& row = a[i];
    for (int32_t j = 0; j < n; ++j) row[j] = RingVelocity(cp.Pos, m.Vortices[j], cp.Normal);
    row[n] = cp.Vn;
  }
  if (n > 0) {
    // Total circulation of attached and free vortices together is zero.
    TRealArray& last = a[n - 1];
    for (int32_t j = 0; j < n; ++j) last[j] = 1;
    last[n] = 0;
  }
  SetMatrSize(m.InfluenceMatrixCopy, n, n + 1);
  return CopyMatr(m.InfluenceMatrix, m.InfluenceMatrixCopy, n, n + 1);
}

void UpdateRightHandSide(Model& m) {
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
  if (n > 0) {
    Real rhs = 0;
    for (int32_t k = n; k < end; ++k) rhs = rhs - m.Vortices[k].Gamma;
    a[n - 1][n] = rhs;
  }
}

void SolveCirculations(Model& m) {
  const int32_t n = m.AttachedCount;
  if (m.Circulations.size() < static_cast<size_t>(n)) m.Circulations.resize(n);
  // A singular system leaves the previous circulations in place.
  SolveGauss(m.InfluenceMatrix, n, m.Circulations);
  CopyMatr(m.InfluenceMatrixCopy, m.InfluenceMatrix, n, n + 1);
  for (int32_t i = 0; i < n; ++i) m.Vortices[i].Gamma = m.Circulations[i];
}

Real CalcVelocity(const Model& m, const TRealPoint& p, const TRealPoint& dir, int32_t skipIndex) {
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

}  // namespace mdv
