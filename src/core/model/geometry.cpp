#include "core/model/geometry.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace mdv {

// ---- array operations ----

void SetMatrSize(TRealMatr& m, int32_t rows, int32_t cols) {
  rows = std::max<int32_t>(rows, 0);
  cols = std::max<int32_t>(cols, 0);
  m.resize(static_cast<size_t>(rows));
  for (TRealArray& row : m) row.resize(static_cast<size_t>(cols));
}

void FreeMatr(TRealMatr& m, int32_t rows) {
  const size_t n = std::min(m.size(), static_cast<size_t>(std::max<int32_t>(rows, 0)));
  for (size_t r = 0; r < n; ++r) TRealArray().swap(m[r]);
  TRealMatr().swap(m);
}

bool CopyMatr(const TRealMatr& src, TRealMatr& dst, int32_t rows, int32_t cols) {
  if (rows < 0 || cols < 0) return false;
  const size_t nr = static_cast<size_t>(rows);
  const size_t nc = static_cast<size_t>(cols);
  if (src.size() != nr || dst.size() != nr) return false;
  if (nr > 0 && (src[0].size() != nc || dst[0].size() != nc)) return false;
  // Only row 0 decides the shape; the other rows must merely be long enough,
  // so a ragged matrix is refused instead of being written past its end.
  for (size_t r = 1; r < nr; ++r) {
    if (src[r].size() < nc || dst[r].size() < nc) return false;
  }
  for (size_t r = 0; r < nr; ++r) std::copy_n(src[r].begin(), nc, dst[r].begin());
  return true;
}

void ZeroIfTiny(Real& x) {
  if (std::fabs(x) < ZeroBand) x = 0;
}

bool SolveGauss(TRealMatr& a, int32_t n, TRealArray& x) {
  if (n < 0 || a.size() < static_cast<size_t>(n) || x.size() < static_cast<size_t>(n)) {
    return false;
  }
  for (int32_t r = 0; r < n; ++r) {
    if (a[r].size() < static_cast<size_t>(n) + 1) return false;
  }

  for (int32_t i = 0; i < n; ++i) {
    // Partial pivoting; among equal magnitudes the earliest row stays.
    int32_t pivot = i;
    Real best = std::fabs(a[i][i]);
    for (int32_t r = i + 1; r < n; ++r) {
      const Real v = std::fabs(a[r][i]);
      if (v > best) {
        best = v;
        pivot = r;
      }
    }
    if (best == 0) return false;
    if (pivot != i) std::swap(a[pivot], a[i]);  // exchanges the row storage

    const TRealArray& rowI = a[i];
    for (int32_t r = i + 1; r < n; ++r) {
      TRealArray& rowR = a[r];
      const Real factor = -rowR[i] / rowI[i];
      for (int32_t c = i; c <= n; ++c) rowR[c] = factor * rowI[c] + rowR[c];
    }
  }

  for (int32_t i = n - 1; i >= 0; --i) {
    Real s = a[i][n];
    for (int32_t j = i + 1; j < n; ++j) s = s - a[i][j] * x[j];
    x[i] = s / a[i][i];
  }
  return true;
}

// ---- points and vectors ----

TRealPoint MakeRealPoint(Real x, Real y) { return TRealPoint{x, y}; }

Real PointDistance(const TRealPoint& p1, const TRealPoint& p2) {
  const Real dx = p1.X - p2.X;
  const Real dy = p1.Y - p2.Y;
  return std::sqrt(dx * dx + dy * dy);
}

Real RibLength(const TRib& r) { return PointDistance(r.P1, r.P2); }

Real VectorLength(const TRealPoint& v) { return std::sqrt(v.X * v.X + v.Y * v.Y); }

Real DotProduct(const TRealPoint& v1, const TRealPoint& v2) { return v1.X * v2.X + v1.Y * v2.Y; }

bool PointsEqual(const TRealPoint& p1, const TRealPoint& p2) {
  return p1.X == p2.X && p1.Y == p2.Y;
}

TRealPoint UnitNormal(const TRealPoint& p1, const TRealPoint& p2) {
  const Real len = VectorLength(p1 - p2);
  return TRealPoint{(p2.Y - p1.Y) / len, (p1.X - p2.X) / len};
}

void LineCoefs(const TRealPoint& p1, const TRealPoint& p2, Real& a, Real& b, Real& c) {
  a = p2.Y - p1.Y;
  b = p1.X - p2.X;
  c = -p1.X * a + (p2.X - p1.X) * p1.Y;
}

Real LineValue(const TRealPoint& p, double a, double b, double c) {
  Real v = Real(a) * p.X + Real(b) * p.Y + Real(c);
  ZeroIfTiny(v);
  return v;
}

Real DistToLine(const TRealPoint& p, const TRealPoint& l1, const TRealPoint& l2) {
  Real a, b, c;
  LineCoefs(l1, l2, a, b, c);
  const Real v = LineValue(p, static_cast<double>(a), static_cast<double>(b),
                           static_cast<double>(c));
  return std::fabs(v) / std::sqrt(a * a + b * b);
}

bool SegmentsParallel(const TRealPoint& a1, const TRealPoint& a2, const TRealPoint& b1,
                      const TRealPoint& b2) {
  return (a2.Y - a1.Y) * (b2.X - b1.X) == (b2.Y - b1.Y) * (a2.X - a1.X);
}

namespace {

bool StrictlyBetween(Real v, Real e1, Real e2) {
  return (e1 < v && v < e2) || (e2 < v && v < e1);
}

int SideSign(const TRealPoint& p, Real a, Real b, Real c) {
  const Real v =
      LineValue(p, static_cast<double>(a), static_cast<double>(b), static_cast<double>(c));
  return (v > 0) - (v < 0);
}

}  // namespace

bool PointInBox(const TRealPoint& p, const TRealPoint& a, const TRealPoint& b) {
  return StrictlyBetween(p.X, a.X, b.X) && StrictlyBetween(p.Y, a.Y, b.Y);
}

bool PointInRect(const TRealPoint& p, const TRib sides[4]) {
  const TRealPoint m1{(sides[0].P1.X + sides[0].P2.X) / 2, (sides[0].P1.Y + sides[0].P2.Y) / 2};
  const TRealPoint m2{(sides[2].P1.X + sides[2].P2.X) / 2, (sides[2].P1.Y + sides[2].P2.Y) / 2};
  const TRealPoint centre{(m1.X + m2.X) / 2, (m1.Y + m2.Y) / 2};
  const TRealPoint u = sides[0].P2 - sides[0].P1;
  const TRealPoint v = sides[1].P2 - sides[1].P1;
  const TRealPoint d = p - centre;
  const Real lu = VectorLength(u);
  const Real lv = VectorLength(v);
  const Real s = DotProduct(d, u) / lu;
  const Real t = DotProduct(d, v) / lv;
  return lu / 2 >= std::fabs(s) && lv / 2 >= std::fabs(t);
}

bool SegmentsIntersect(const TRealPoint& a1, const TRealPoint& a2, const TRealPoint& b1,
                       const TRealPoint& b2, TRealPoint* out) {
  Real aa, ab, ac, ba, bb, bc;
  LineCoefs(a1, a2, aa, ab, ac);
  LineCoefs(b1, b2, ba, bb, bc);
  const int s1 = SideSign(a1, ba, bb, bc);
  const int s2 = SideSign(a2, ba, bb, bc);
  const int s3 = SideSign(b1, aa, ab, ac);
  const int s4 = SideSign(b2, aa, ab, ac);
  const bool par = SegmentsParallel(a1, a2, b1, b2);

  if (s1 == -s2 && s3 == -s4 && s1 != 0 && s3 != 0) {
    if (out != nullptr) {
      // From the unrounded extended coefficients; Y first, X from it.
      const Real y = (bc * aa - ac * ba) / (ba * ab - aa * bb);
      Real x;
      if (std::fabs(aa) > ZeroBand) {
        x = (-ac - ab * y) / aa;
      } else {
        x = (-bc - bb * y) / ba;
      }
      out->X = x;
      out->Y = y;
    }
    return true;
  }

  // Overlapping collinear segments; a spread in both coordinates is needed.
  if (!par) return false;
  if (PointsEqual(a1, a2)) return false;
  if (PointsEqual(b1, b2)) return false;
  if (DistToLine(a1, b1, b2) != 0) return false;
  const bool a1InB = PointInBox(a1, b1, b2);
  const bool a2InB = PointInBox(a2, b1, b2);
  const bool b1InA = PointInBox(b1, a1, a2);
  const bool b2InA = PointInBox(b2, a1, a2);
  const bool overlap = (a1InB && a2InB) || (b1InA && b2InA) || ((a1InB || a2InB) && (b1InA || b2InA));
  if (!overlap) return false;
  if (out != nullptr) *out = a1;
  return true;
}

void SlideAlongRib(const TRealPoint& p0, const TRealPoint& p1, const TRib& rib, bool& hit,
                   TRealPoint& newPos) {
  TRealPoint cross;
  if (!SegmentsIntersect(p0, p1, rib.P1, rib.P2, &cross)) {
    hit = false;
    newPos = p1;
    return;
  }
  hit = true;
  const TRealPoint d = p0 - cross;
  const Real dl = VectorLength(d);
  if (!(dl > 0)) {
    // The step starts on the wall's line (collinear overlap reports the start
    // itself as the crossing): there is no side to back off to, so the point
    // stays where the step began.
    newPos = p0;
    return;
  }
  const TRealPoint back{cross.X + WallBackOff * d.X / dl, cross.Y + WallBackOff * d.Y / dl};
  const TRealPoint dir = rib.P2 - rib.P1;
  const Real rl = VectorLength(dir);
  const TRealPoint t{dir.X / rl, dir.Y / rl};
  const Real s = DotProduct(p1 - back, t);
  newPos = TRealPoint{back.X + s * t.X, back.Y + s * t.Y};
}

bool PathCrossesRibs(const TRealPoint& p0, const TRealPoint& p1, const TRibArray& ribs,
                     TRealPoint* stop) {
  bool hit = false;
  TRealPoint e = p1;
  for (const TRib& rib : ribs) {
    TRealPoint cross;
    if (SegmentsIntersect(p0, e, rib.P1, rib.P2, &cross)) {
      hit = true;
      if (stop == nullptr) return true;
      e = cross;  // later ribs are tested against the shortened path
    }
  }
  if (hit) {
    const TRealPoint d = e - p0;
    const Real dl = VectorLength(d);
    if (dl > 0) {
      *stop = TRealPoint{e.X + WallBackOff * d.X / dl, e.Y + WallBackOff * d.Y / dl};
    } else {
      // The path lies along a wall from its start: no direction to carry the
      // point across, it stays at the crossing (the start).
      *stop = e;
    }
  }
  return hit;
}

}  // namespace mdv
