#include "core/model/contour.h"

#include <algorithm>
#include <cmath>

namespace mdv {

namespace {

TRealPoint Rotated(const TRealPoint& v, Real angle) {
  const Real c = std::cos(angle), s = std::sin(angle);
  return {v.X * c - v.Y * s, v.X * s + v.Y * c};
}

// The chord of segment k: its start, its unit direction and its length.
struct Chord {
  TRealPoint From;
  TRealPoint Dir;
  Real Length = 0;
};

Chord ChordOf(const Contour& c, int k) {
  const TRealPoint a = ContourVertex(c, k);
  const TRealPoint b = c.Wall[static_cast<size_t>(k)].End;
  const Real len = PointDistance(a, b);
  Chord ch{a, {0, 0}, len};
  if (len > 0) ch.Dir = {(b.X - a.X) / len, (b.Y - a.Y) / len};
  return ch;
}

// Half the arc's included angle, rad; 0 for a straight segment. A radius
// shorter than half the chord (refused by the validation) is taken as a
// half circle.
Real HalfAngle(const Contour& c, int k, const Chord& ch) {
  const Real r = std::fabs(c.Wall[static_cast<size_t>(k)].ArcRadius);
  if (!(r > 0) || !(ch.Length > 0)) return 0;
  return std::asin(std::min<Real>(1, ch.Length / (2 * r)));
}

Real Sign(Real x) { return x < 0 ? -1 : 1; }

}  // namespace

TRealPoint ContourVertex(const Contour& c, int k) {
  return k == 0 ? c.Start : c.Wall[static_cast<size_t>(k - 1)].End;
}

TRealPoint SegmentStartTangent(const Contour& c, int k) {
  const Chord ch = ChordOf(c, k);
  const Real phi = HalfAngle(c, k, ch);
  return Rotated(ch.Dir, -Sign(c.Wall[static_cast<size_t>(k)].ArcRadius) * phi);
}

TRealPoint SegmentEndTangent(const Contour& c, int k) {
  const Chord ch = ChordOf(c, k);
  const Real phi = HalfAngle(c, k, ch);
  return Rotated(ch.Dir, Sign(c.Wall[static_cast<size_t>(k)].ArcRadius) * phi);
}

Real SegmentLength(const Contour& c, int k) {
  const Chord ch = ChordOf(c, k);
  const Real phi = HalfAngle(c, k, ch);
  if (phi == 0) return ch.Length;
  return std::fabs(c.Wall[static_cast<size_t>(k)].ArcRadius) * 2 * phi;
}

TRealPoint SegmentPoint(const Contour& c, int k, Real t) {
  const Chord ch = ChordOf(c, k);
  const Real phi = HalfAngle(c, k, ch);
  if (phi == 0) return {ch.From.X + t * ch.Length * ch.Dir.X, ch.From.Y + t * ch.Length * ch.Dir.Y};
  const Real radius = c.Wall[static_cast<size_t>(k)].ArcRadius;
  const Real s = Sign(radius);
  // The centre lies on the chord's left for a left-turning arc.
  const TRealPoint left{-ch.Dir.Y, ch.Dir.X};
  const Real toCentre = std::fabs(radius) * std::cos(phi);
  const TRealPoint mid{ch.From.X + ch.Length / 2 * ch.Dir.X, ch.From.Y + ch.Length / 2 * ch.Dir.Y};
  const TRealPoint centre{mid.X + s * toCentre * left.X, mid.Y + s * toCentre * left.Y};
  const TRealPoint fromCentre{ch.From.X - centre.X, ch.From.Y - centre.Y};
  const TRealPoint p = Rotated(fromCentre, s * 2 * phi * t);
  return {centre.X + p.X, centre.Y + p.Y};
}

Real VertexTurn(const Contour& c, int k) {
  const TRealPoint a = SegmentEndTangent(c, k - 1);
  const TRealPoint b = SegmentStartTangent(c, k);
  const Real cross = a.X * b.Y - a.Y * b.X;
  const Real dot = a.X * b.X + a.Y * b.Y;
  return std::atan2(cross, dot);
}

std::vector<int> SheddingVertices(const Contour& c) {
  if (!c.SheddingCorners.empty()) return c.SheddingCorners;
  std::vector<int> out;
  for (int k = 1; k < static_cast<int>(c.Wall.size()); ++k) {
    if (VertexTurn(c, k) > c.SeparationAngle) out.push_back(k);
  }
  return out;
}

}  // namespace mdv
