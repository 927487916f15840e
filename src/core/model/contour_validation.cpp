#include "core/model/contour_validation.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/base/numfmt.h"
#include "core/model/area_validation.h"

namespace mdv {

namespace {

// Fewest rings on a wall segment (but the supply face), the suction
// section and the plane; round(len / h) >= 2 holds exactly for h <= len / 1.5.
constexpr Real MinRingsPerSegment = 2;
constexpr Real LengthPerSpacingForTwo = 1.5L;
// A turn this close to ±π folds a segment back along the previous one, rad.
constexpr Real FoldBackTolerance = 1e-9L;

std::string Num(Real v) { return FormatSignificant(v, 6); }
// Appended piece by piece: GCC 12 warns falsely (-Wrestrict) of "(" + string.
std::string PointText(const TRealPoint& p) {
  std::string s(1, '(');
  s += Num(p.X);
  s += "; ";
  s += Num(p.Y);
  return s += ')';
}
std::string SegmentText(const Contour& c, int k, const char* noun = "отрезок") {
  return std::string(noun) + " " + std::to_string(k + 1) + " стенки (от " + PointText(ContourVertex(c, k)) + " до " +
         PointText(c.Wall[static_cast<size_t>(k)].End) + ")";
}
std::string VertexText(const Contour& c, int k) {
  return (k == 0 ? std::string("начало стенки ") : "точка " + std::to_string(k) + " ") +
         PointText(ContourVertex(c, k));
}

// An arc's circle and angular span; Straight for a straight segment.
struct Span {
  bool Straight = true;
  TRealPoint Centre;
  Real Radius = 0;
  Real From = 0;   // angle of the start point seen from the centre, rad
  Real Sweep = 0;  // signed, positive counter-clockwise, rad
};

Span SpanOf(const Contour& c, int k) {
  const TRealPoint a = ContourVertex(c, k), b = c.Wall[static_cast<size_t>(k)].End;
  const Real radius = c.Wall[static_cast<size_t>(k)].ArcRadius;
  const Real chord = PointDistance(a, b);
  Span s;
  if (radius == 0 || !(chord > 0)) return s;
  const Real sign = radius < 0 ? -1 : 1;
  const Real r = std::fabs(radius);
  const Real phi = std::asin(std::min<Real>(1, chord / (2 * r)));
  const TRealPoint dir{(b.X - a.X) / chord, (b.Y - a.Y) / chord};
  const Real toCentre = r * std::cos(phi);
  s.Straight = false;
  s.Centre = {(a.X + b.X) / 2 - sign * toCentre * dir.Y, (a.Y + b.Y) / 2 + sign * toCentre * dir.X};
  s.Radius = r;
  s.From = std::atan2(a.Y - s.Centre.Y, a.X - s.Centre.X);
  s.Sweep = sign * 2 * phi;
  return s;
}

bool SpanContains(const Span& s, Real angle) {
  Real rel = std::remainder(angle - s.From, 2 * Pi);  // (-π, π]
  if (s.Sweep > 0 && rel < 0) rel += 2 * Pi;
  if (s.Sweep < 0 && rel > 0) rel -= 2 * Pi;
  return s.Sweep > 0 ? rel <= s.Sweep : rel >= s.Sweep;
}

// The points of segment k as chords: its ends, and for an arc points no
// more than ContourArcChordAngle apart.
std::vector<TRealPoint> Chords(const Contour& c, int k, const Span& s) {
  int n = 1;
  if (!s.Straight) n = std::max(2, static_cast<int>(std::ceil(std::fabs(s.Sweep) / ContourArcChordAngle)));
  std::vector<TRealPoint> pts;
  pts.reserve(static_cast<size_t>(n) + 1);
  pts.push_back(ContourVertex(c, k));
  for (int i = 1; i < n; ++i) {
    const Real a = s.From + s.Sweep * i / n;
    pts.push_back({s.Centre.X + s.Radius * std::cos(a), s.Centre.Y + s.Radius * std::sin(a)});
  }
  pts.push_back(c.Wall[static_cast<size_t>(k)].End);
  return pts;
}

// The segment's lowest r, and its leftmost point.
Real LowestR(const Contour& c, int k, const Span& s) {
  Real r = std::min(ContourVertex(c, k).Y, c.Wall[static_cast<size_t>(k)].End.Y);
  if (!s.Straight && SpanContains(s, -Pi / 2)) r = std::min(r, s.Centre.Y - s.Radius);
  return r;
}
TRealPoint Leftmost(const Contour& c, int k, const Span& s) {
  TRealPoint p = ContourVertex(c, k);
  if (c.Wall[static_cast<size_t>(k)].End.X < p.X) p = c.Wall[static_cast<size_t>(k)].End;
  if (!s.Straight && SpanContains(s, Pi) && s.Centre.X - s.Radius < p.X) p = {s.Centre.X - s.Radius, s.Centre.Y};
  return p;
}

Real Cross(const TRealPoint& o, const TRealPoint& a, const TRealPoint& b) {
  return (a.X - o.X) * (b.Y - o.Y) - (a.Y - o.Y) * (b.X - o.X);
}
bool Within(Real v, Real a, Real b) { return std::min(a, b) <= v && v <= std::max(a, b); }
bool OnSegment(const TRealPoint& p, const TRealPoint& a, const TRealPoint& b) {
  return Within(p.X, a.X, b.X) && Within(p.Y, a.Y, b.Y);
}

// Whether chords ab and cd meet (touching counts); `at` gets a common point.
bool ChordsMeet(const TRealPoint& a, const TRealPoint& b, const TRealPoint& c, const TRealPoint& d, TRealPoint& at) {
  const Real d1 = Cross(c, d, a), d2 = Cross(c, d, b), d3 = Cross(a, b, c), d4 = Cross(a, b, d);
  if (((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0))) {
    const Real t = d1 / (d1 - d2);
    at = {a.X + t * (b.X - a.X), a.Y + t * (b.Y - a.Y)};
    return true;
  }
  if (d1 == 0 && OnSegment(a, c, d)) return at = a, true;
  if (d2 == 0 && OnSegment(b, c, d)) return at = b, true;
  if (d3 == 0 && OnSegment(c, a, b)) return at = c, true;
  if (d4 == 0 && OnSegment(d, a, b)) return at = d, true;
  return false;
}

struct Box {
  Real X0, X1, Y0, Y1;
};
Box BoxOf(const std::vector<TRealPoint>& pts) {
  Box b{pts[0].X, pts[0].X, pts[0].Y, pts[0].Y};
  for (const TRealPoint& p : pts) {
    b.X0 = std::min(b.X0, p.X), b.X1 = std::max(b.X1, p.X);
    b.Y0 = std::min(b.Y0, p.Y), b.Y1 = std::max(b.Y1, p.Y);
  }
  return b;
}

Real Rings(Real length, Real h) {
  const Real n = std::nearbyint(length / h);
  return n < 1 ? 1 : n;
}

Real AttachedCountAt(const Contour& c, Real h) {
  Real total = 1;  // the ring at the plane's rim
  for (int k = 0; k < static_cast<int>(c.Wall.size()); ++k) total += Rings(SegmentLength(c, k), h);
  TRealPoint top;
  int seg = 0;
  bool in = false;
  total += Rings(ContourSuctionTop(c, top, seg, in) ? top.Y : 0, h);
  return total + Rings(c.PlaneRadius, h);
}

// `limit` rounded down to two significant digits, m.
std::string RoundedDown(Real limit) {
  const Real unit = std::pow(Real(10), std::floor(std::log10(limit)) - 1);
  return FormatGeneral(std::floor(limit / unit * (1 + 1e-12L)) * unit);
}

std::string FiniteFault(const Contour& c) {
  auto bad = [](Real v) { return !std::isfinite(v); };
  for (int k = 0; k <= static_cast<int>(c.Wall.size()); ++k) {
    const TRealPoint p = ContourVertex(c, k);
    if (bad(p.X) || bad(p.Y)) return (k == 0 ? std::string("начала стенки") : "точки " + std::to_string(k));
    if (k > 0 && bad(c.Wall[static_cast<size_t>(k - 1)].ArcRadius))
      return "радиуса дуги отрезка " + std::to_string(k);
  }
  if (bad(c.Spacing)) return "расстояния между расчетными точками";
  if (bad(c.SuctionX) || bad(c.SuctionSpeed)) return "всасывающего сечения";
  if (bad(c.PlaneX) || bad(c.PlaneRadius)) return "экрана";
  if (bad(c.SupplySpeed)) return "скорости притока";
  if (bad(c.SeparationAngle)) return "угла отрыва";
  return {};
}

std::string CrossingFault(const Contour& c) {
  const int n = static_cast<int>(c.Wall.size());
  std::vector<std::vector<TRealPoint>> chords;
  std::vector<Box> boxes;
  for (int k = 0; k < n; ++k) {
    chords.push_back(Chords(c, k, SpanOf(c, k)));
    boxes.push_back(BoxOf(chords.back()));
  }
  for (int i = 0; i < n; ++i) {
    for (int j = i + 1; j < n; ++j) {
      if (j == i + 1 && std::fabs(VertexTurn(c, j)) > Pi - FoldBackTolerance) {
        return "Отрезки " + std::to_string(i + 1) + " и " + std::to_string(j + 1) +
               " стенки налегают друг на друга: стенка поворачивает назад в " + VertexText(c, j);
      }
      const Box& a = boxes[static_cast<size_t>(i)];
      const Box& b = boxes[static_cast<size_t>(j)];
      if (a.X1 < b.X0 || b.X1 < a.X0 || a.Y1 < b.Y0 || b.Y1 < a.Y0) continue;
      const auto& p = chords[static_cast<size_t>(i)];
      const auto& q = chords[static_cast<size_t>(j)];
      for (size_t u = 0; u + 1 < p.size(); ++u) {
        for (size_t v = 0; v + 1 < q.size(); ++v) {
          // Neighbours share their common point.
          if (j == i + 1 && u + 2 == p.size() && v == 0) continue;
          TRealPoint at;
          if (ChordsMeet(p[u], p[u + 1], q[v], q[v + 1], at)) {
            return "Стенка пересекает сама себя: отрезки " + std::to_string(i + 1) + " и " +
                   std::to_string(j + 1) + " встречаются в точке " + PointText(at);
          }
        }
      }
    }
  }
  return {};
}

}  // namespace

bool ContourSuctionTop(const Contour& c, TRealPoint& top, int& segment, bool& intoChannel) {
  const Real xs = c.SuctionX;
  bool found = false;
  auto consider = [&](Real r, int k, Real dx) {
    if (!(r > 0) || (found && r >= top.Y)) return;
    found = true;
    top = {xs, r};
    segment = k;
    intoChannel = dx > 0;
  };
  for (int k = 0; k < static_cast<int>(c.Wall.size()); ++k) {
    const TRealPoint a = ContourVertex(c, k), b = c.Wall[static_cast<size_t>(k)].End;
    const Span s = SpanOf(c, k);
    if (s.Straight) {
      if (a.X == b.X) {
        if (a.X == xs) consider(std::min(a.Y, b.Y), k, 0);
      } else if (Within(xs, a.X, b.X)) {
        consider(a.Y + (xs - a.X) / (b.X - a.X) * (b.Y - a.Y), k, b.X - a.X);
      }
      continue;
    }
    const Real dx = xs - s.Centre.X;
    if (std::fabs(dx) > s.Radius) continue;
    const Real dy = std::sqrt(s.Radius * s.Radius - dx * dx);
    for (Real y : {s.Centre.Y - dy, s.Centre.Y + dy}) {
      const Real angle = std::atan2(y - s.Centre.Y, dx);
      // The tangent's x: -sin for a counter-clockwise arc, +sin for a clockwise one.
      if (SpanContains(s, angle)) consider(y, k, (s.Sweep > 0 ? -1 : 1) * std::sin(angle));
    }
  }
  return found;
}

int64_t ContourAttachedCount(const Contour& c) {
  const Real total = AttachedCountAt(c, c.Spacing);
  if (!(total < Real(INT64_MAX / 2))) return INT64_MAX / 2;
  return static_cast<int64_t>(total);
}

std::string ValidateContour(const Contour& c) {
  if (const std::string what = FiniteFault(c); !what.empty())
    return "Значение " + what + " не является конечным числом";
  const int n = static_cast<int>(c.Wall.size());
  if (n < 2) return "Стенка должна состоять не менее чем из двух отрезков";
  for (int k = 0; k <= n; ++k) {
    if (ContourVertex(c, k).Y < 0) return "Стенка уходит под ось: " + VertexText(c, k) + " лежит при r < 0";
  }
  for (int k = 0; k < n; ++k) {
    const TRealPoint a = ContourVertex(c, k), b = c.Wall[static_cast<size_t>(k)].End;
    if (a.X == b.X && a.Y == b.Y)
      return "Отрезок " + std::to_string(k + 1) + " стенки имеет нулевую длину: " + VertexText(c, k);
  }
  for (int k = 0; k < n; ++k) {
    const Real r = std::fabs(c.Wall[static_cast<size_t>(k)].ArcRadius);
    const Real chord = PointDistance(ContourVertex(c, k), c.Wall[static_cast<size_t>(k)].End);
    if (r > 0 && r < chord / 2) {
      return "Радиус дуги " + Num(r) + " м меньше половины ее хорды (" + Num(chord / 2) + " м): " +
             SegmentText(c, k);
    }
  }
  for (int k = 0; k < n; ++k) {
    if (!(LowestR(c, k, SpanOf(c, k)) > 0)) {
      return "Стенка касается оси или пересекает ее: " + SegmentText(c, k) +
             " (r = 0 допустимо только для всасывающего сечения и экрана)";
    }
  }
  if (!(c.Spacing > 0)) return "Расстояние между расчетными точками должно быть положительным";
  if (!(c.SuctionSpeed > 0)) return "Скорость всасывания должна быть положительной";
  if (!(c.PlaneRadius > 0)) return "Радиус экрана должен быть положительным";
  if (!(c.SeparationAngle > 0 && c.SeparationAngle < Pi)) return "Угол отрыва должен быть больше 0 и меньше 180 градусов";
  if (c.SupplySegment < -1 || c.SupplySegment >= n) {
    return "Отрезка притока " + std::to_string(c.SupplySegment + 1) + " нет: у стенки отрезки от 1 до " +
           std::to_string(n);
  }
  if (c.SupplySegment >= 0 && !(c.SupplySpeed >= 0)) return "Скорость притока не может быть отрицательной";
  for (size_t i = 0; i < c.SheddingCorners.size(); ++i) {
    const int k = c.SheddingCorners[i];
    if (k < 1 || k >= n) {
      return "Точки отрыва " + std::to_string(k) + " нет среди изломов стенки (допустимо от 1 до " +
             std::to_string(n - 1) + ")";
    }
    if (i > 0 && k <= c.SheddingCorners[i - 1]) return "Точки отрыва должны идти по порядку стенки без повторов";
  }
  const TRealPoint end = c.Wall.back().End;
  if (!(end.X > c.SuctionX)) {
    return "Конец стенки " + PointText(end) + " должен лежать дальше всасывающего сечения (x = " +
           Num(c.SuctionX) + " м)";
  }
  TRealPoint top;
  int topSegment = 0;
  bool intoChannel = false;
  if (!ContourSuctionTop(c, top, topSegment, intoChannel)) {
    return "Всасывающее сечение x = " + Num(c.SuctionX) + " м не встречает стенку";
  }
  if (!intoChannel) {
    return "Всасывающее сечение x = " + Num(c.SuctionX) + " м встречает стенку в точке " + PointText(top) +
           " не на внутренней поверхности канала: " + SegmentText(c, topSegment);
  }
  TRealPoint nearest = Leftmost(c, 0, SpanOf(c, 0));
  for (int k = 1; k < n; ++k) {
    const TRealPoint p = Leftmost(c, k, SpanOf(c, k));
    if (p.X < nearest.X) nearest = p;
  }
  if (!(c.PlaneX < nearest.X - c.Spacing)) {
    return "Экран (x = " + Num(c.PlaneX) + " м) должен лежать левее патрубка более чем на расстояние между " +
           "расчетными точками (" + Num(c.Spacing) + " м): ближайшая точка стенки " + PointText(nearest);
  }
  // The shortest part with fewer than two rings names the spacing that serves all.
  std::string where;
  Real shortest = std::numeric_limits<Real>::infinity();
  auto coarse = [&](Real length, const std::string& what) {
    if (Rings(length, c.Spacing) < MinRingsPerSegment && length < shortest) shortest = length, where = what;
  };
  for (int k = 0; k < n; ++k) {
    if (k != c.SupplySegment) coarse(SegmentLength(c, k), "на " + SegmentText(c, k, "отрезке"));
  }
  coarse(top.Y, "на всасывающем сечении");
  coarse(c.PlaneRadius, "на экране");
  if (!where.empty()) {
    const Real proposed = shortest / LengthPerSpacingForTwo;
    const std::string start = "Расстояние между расчетными точками слишком велико: " + where +
                              " получается меньше двух присоединенных вихрей.";
    if (AttachedCountAt(c, proposed) > MaxAttachedVortices) {
      return start + " При меньшем расстоянии их было бы более " + std::to_string(MaxAttachedVortices) +
             ": этот участок мал по сравнению с остальными.";
    }
    return start + " Уменьшите его до " + RoundedDown(proposed) + " м.";
  }
  const int64_t count = ContourAttachedCount(c);
  if (count > MaxAttachedVortices) {
    return "Слишком много присоединенных вихрей (" +
           (count >= INT64_MAX / 2 ? std::string("более миллиона") : std::to_string(count)) +
           ", допустимо не более " + std::to_string(MaxAttachedVortices) +
           "). Увеличьте расстояние между расчетными точками.";
  }
  return CrossingFault(c);
}

}  // namespace mdv
