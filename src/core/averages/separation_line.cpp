#include "core/averages/separation_line.h"

#include <algorithm>
#include <cmath>

#include "core/base/numfmt.h"
#include "core/model/contour_area.h"

namespace mdv {

namespace {

// Where the line stops short of the suction section, in channel radii: the
// sink's own profile shapes the sections there.
constexpr double SuctionClearanceOverB = 0.5;
// The profiled wall's chords off the corner turn by at most this each, rad
// (well below any separation angle a contour would state).
constexpr Real HermiteTurn = Pi / 36;

struct Section {
  bool Valid = false;
  double Radius = 0;  // of the separation streamline, m
  double Top = 0;     // of the section's last flow point, m
};

// Section i of the grid: ψ from the axis up to the last flow point below the wall.
Section SectionAt(const GridField& f, int32_t i, double wall) {
  const AveragingGrid& g = f.Grid;
  Section s;
  std::vector<double> psi;
  for (int32_t j = 0; j < g.Ny; ++j) {
    const size_t k = static_cast<size_t>(j) * static_cast<size_t>(g.Nx) + static_cast<size_t>(i);
    const double y = g.Y0 + g.Dy * j;
    if (!g.Inside[k] || !(y < wall)) break;
    const double q = f.VxMean[k] * y;
    if (psi.empty()) {
      psi.push_back(0);
    } else {
      const size_t km = k - static_cast<size_t>(g.Nx);
      psi.push_back(psi.back() + (f.VxMean[km] * (y - g.Dy) + q) / 2 * g.Dy);
    }
  }
  if (psi.size() < 3) return s;
  const size_t top = psi.size() - 1;
  s.Valid = true;
  s.Top = g.Y0 + g.Dy * static_cast<double>(top);
  s.Radius = s.Top;
  // ψ at the wall: the last strip, from the last flow point to the wall,
  // carried at that point's speed (the rings slip along the wall: the speed
  // there does not fall to zero).
  const size_t kt = top * static_cast<size_t>(g.Nx) + static_cast<size_t>(i);
  const double wallPsi = psi[top] + f.VxMean[kt] * s.Top * (wall - s.Top);
  for (size_t j = 1; j <= top; ++j) {
    if (psi[j] >= wallPsi) {
      const double y0 = g.Y0 + g.Dy * static_cast<double>(j - 1);
      s.Radius = y0 + (wallPsi - psi[j - 1]) / (psi[j] - psi[j - 1]) * g.Dy;
      break;
    }
  }
  return s;
}

// The perpendicular distance from p to the chord a–b, m.
Real ChordDistance(const TRealPoint& p, const TRealPoint& a, const TRealPoint& b) {
  const Real len = PointDistance(a, b);
  if (!(len > 0)) return PointDistance(p, a);
  return std::fabs((b.X - a.X) * (p.Y - a.Y) - (b.Y - a.Y) * (p.X - a.X)) / len;
}

// Douglas–Peucker: keeps the ends and every point needed to stay within tol.
void Thin(const std::vector<TRealPoint>& p, size_t a, size_t b, Real tol, std::vector<char>& keep) {
  if (b <= a + 1) return;
  size_t far = a;
  Real worst = -1;
  for (size_t i = a + 1; i < b; ++i) {
    const Real d = ChordDistance(p[i], p[a], p[b]);
    if (d > worst) worst = d, far = i;
  }
  if (!(worst > tol)) return;
  keep[far] = 1;
  Thin(p, a, far, tol, keep);
  Thin(p, far, b, tol, keep);
}

// The first segment from `from` on whose inner wall passes x, and the point there.
bool WallCrossing(const Contour& c, int from, Real x, int& segment, TRealPoint& at) {
  constexpr int Chords = 256;
  for (int k = from; k < static_cast<int>(c.Wall.size()); ++k) {
    const int n = c.Wall[static_cast<size_t>(k)].ArcRadius != 0 ? Chords : 1;
    TRealPoint a = SegmentPoint(c, k, 0);
    for (int j = 1; j <= n; ++j) {
      const TRealPoint b = SegmentPoint(c, k, static_cast<Real>(j) / n);
      if (a.X <= x && x <= b.X && a.X < b.X) {
        segment = k;
        at = {x, a.Y + (b.Y - a.Y) * (x - a.X) / (b.X - a.X)};
        return true;
      }
      a = b;
    }
  }
  return false;
}

}  // namespace

SeparationLine MeanSeparationLine(const GridField& f, const Contour& c, const TRealPoint& edge) {
  SeparationLine line;
  const AveragingGrid& g = f.Grid;
  const size_t points = static_cast<size_t>(g.Nx) * static_cast<size_t>(g.Ny);
  if (g.Nx < 2 || g.Inside.size() != points || f.VxMean.size() != points) {
    line.Message = "В файле нет осредненного поля скорости";
    return line;
  }
  const double x0 = static_cast<double>(edge.X);
  const double radius = static_cast<double>(WallRadiusAt(c, c.SuctionX));
  const double last = static_cast<double>(c.SuctionX) - SuctionClearanceOverB * radius;
  line.Points.push_back(edge);
  bool open = false;  // a section inside the zone has been seen
  for (int32_t i = 0; i < g.Nx; ++i) {
    const double x = g.X0 + g.Dx * i;
    if (!(x > x0) || x > last) continue;
    const Real wallRadius = WallRadiusAt(c, static_cast<Real>(x));
    const double wall = static_cast<double>(wallRadius);
    const Section s = SectionAt(f, i, wall);
    if (!s.Valid) continue;
    const bool inZone = s.Top - s.Radius > g.Dy;  // more than a row of reversed flow at the wall
    if (!inZone) {
      // Next to the edge the zone may be thinner than the strip the grid
      // leaves along the wall; past a channel radius, the flow never left it.
      if (!open) {
        if (x - x0 > radius) break;
        continue;
      }
      line.Reattached = true;
      line.Points.push_back({static_cast<Real>(x), wallRadius});
      break;
    }
    open = true;
    line.Points.push_back({static_cast<Real>(x), static_cast<Real>(s.Radius)});
  }
  line.Separated = open;
  if (!open) {
    line.Points.clear();
    line.Message = "Осредненный поток не отрывается от кромки входа: вихревой зоны нет";
  }
  return line;
}

bool ProfiledContour(const Contour& c, int corner, const SeparationLine& line, Real tolerance, Contour& out,
                     std::string& error) {
  if (!line.Separated || !line.Reattached || line.Points.size() < 3) {
    error = line.Separated ? "Вихревая зона не замыкается на стенке до всасывающего сечения"
                           : (line.Message.empty() ? "Вихревой зоны нет" : line.Message);
    return false;
  }
  if (corner < 1 || corner >= static_cast<int>(c.Wall.size())) {
    error = "Кромка отрыва не является вершиной контура";
    return false;
  }
  // The line's interior points smoothed: the mean field's sections scatter by a row.
  std::vector<TRealPoint> p = line.Points;
  for (size_t i = 1; i + 2 < line.Points.size(); ++i) {
    p[i].Y = (line.Points[i - 1].Y + line.Points[i].Y + line.Points[i + 1].Y) / 3;
  }
  std::vector<char> keep(p.size(), 0);
  keep.front() = keep.back() = 1;
  Thin(p, 0, p.size() - 1, tolerance, keep);

  const TRealPoint reattach = p.back();
  int segment = -1;
  TRealPoint onWall;
  if (!WallCrossing(c, corner, reattach.X, segment, onWall)) {
    error = "Точка присоединения x = " + FormatFixed(reattach.X, 15, 3) + " м не лежит на стенке канала";
    return false;
  }
  if (c.SupplySegment >= corner && c.SupplySegment <= segment) {
    error = "Приточная щель лежит в вихревой зоне";
    return false;
  }
  out = c;
  out.Name = c.Name + " — профилированный по вихревой зоне";
  out.Wall.assign(c.Wall.begin(), c.Wall.begin() + corner);
  // The kept points, the last moved onto the wall.
  std::vector<TRealPoint> kept;
  for (size_t i = 1; i < p.size(); ++i) {
    if (keep[i]) kept.push_back(i + 1 == p.size() ? onWall : p[i]);
  }
  // Off the corner along the upstream face: a cubic (Hermite) curve from the
  // corner, tangent to that face, to the first kept point, tangent there to
  // the line on, cut into chords that turn by at most HermiteTurn each.
  const TRealPoint vertex = ContourVertex(c, corner);
  const TRealPoint t0 = SegmentEndTangent(c, corner - 1);
  const TRealPoint p1 = kept.front();
  const TRealPoint p2 = kept.size() > 1 ? kept[1] : p1;
  const Real chord = PointDistance(vertex, p1);
  TRealPoint t1{p2.X - p1.X, p2.Y - p1.Y};
  const Real t1Length = VectorLength(t1);
  t1 = t1Length > 0 ? TRealPoint{t1.X / t1Length, t1.Y / t1Length} : t0;
  const Real turn = std::acos(std::clamp<Real>(DotProduct(t0, t1), -1, 1));
  const int pieces = std::max(4, static_cast<int>(std::ceil(turn / HermiteTurn)) * 2);
  for (int j = 1; j < pieces; ++j) {
    const Real u = static_cast<Real>(j) / pieces, u2 = u * u, u3 = u2 * u;
    const Real h00 = 2 * u3 - 3 * u2 + 1, h10 = u3 - 2 * u2 + u, h01 = -2 * u3 + 3 * u2, h11 = u3 - u2;
    out.Wall.push_back(ContourSegment{{h00 * vertex.X + h10 * chord * t0.X + h01 * p1.X + h11 * chord * t1.X,
                                       h00 * vertex.Y + h10 * chord * t0.Y + h01 * p1.Y + h11 * chord * t1.Y},
                                      0});
  }
  for (const TRealPoint& q : kept) out.Wall.push_back(ContourSegment{q, 0});
  const int added = static_cast<int>(out.Wall.size()) - corner;
  // The rest of the old wall from the reattachment (an arc keeps its radius).
  out.Wall.push_back(ContourSegment{c.Wall[static_cast<size_t>(segment)].End,
                                    c.Wall[static_cast<size_t>(segment)].ArcRadius});
  out.Wall.insert(out.Wall.end(), c.Wall.begin() + segment + 1, c.Wall.end());
  const int shift = corner + added - segment;
  if (c.SupplySegment > segment) out.SupplySegment = c.SupplySegment + shift;
  out.SheddingCorners.clear();
  for (int v : c.SheddingCorners) {
    if (v < corner) out.SheddingCorners.push_back(v);
    if (v > segment) out.SheddingCorners.push_back(v + shift);
  }
  return true;
}

}  // namespace mdv
