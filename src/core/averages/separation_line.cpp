#include "core/averages/separation_line.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/base/numfmt.h"
#include "core/model/contour_area.h"

namespace mdv {

namespace {

// The profiled wall's chords off the corner turn by at most this each, rad
// (well below any separation angle a contour would state).
constexpr Real HermiteTurn = Pi / 36;

// The radius where ψ first reaches its wall value in a section's mean
// profile (strips of equal width, each carried at its point's speed and its
// midpoint's radius, as the section's flux); the wall's radius when it does
// so only in the last strip (a zone thinner than a strip is not seen); NaN
// for a section that carries no flux inwards.
double DividingRadius(const std::vector<double>& vx, double radius) {
  const size_t n = vx.size();
  const double dr = radius / static_cast<double>(n);
  std::vector<double> psi(n + 1, 0.0);  // at the strips' bounds, m³/s per 2π
  for (size_t j = 0; j < n; ++j) psi[j + 1] = psi[j] + vx[j] * (static_cast<double>(j) + 0.5) * dr * dr;
  const double wall = psi[n];
  if (!(wall > 0)) return std::nan("");
  for (size_t j = 0; j + 1 < n; ++j) {
    if (psi[j + 1] >= wall) return (static_cast<double>(j) + (wall - psi[j]) / (psi[j + 1] - psi[j])) * dr;
  }
  return radius;
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

SeparationLine MeanSeparationLine(const ContractionSummary& sections, const Contour& c, const TRealPoint& edge) {
  SeparationLine line;
  const Real radius = WallRadiusAt(c, c.SuctionX);
  const double b = static_cast<double>(radius);
  const double x0 = static_cast<double>(edge.X);
  line.Points.push_back(edge);
  bool open = false, profiles = false;  // a section inside the zone has been seen; any profile at all
  for (const ContractionSection& s : sections.Sections) {
    if (s.Vx.size() < 2 || !(s.X > x0)) continue;
    profiles = true;
    const double r = DividingRadius(s.Vx, b);
    if (!std::isfinite(r)) continue;
    const bool inZone = r < b;
    if (!inZone) {
      // Next to the edge the zone may be thinner than a strip (the mean
      // reverse flow starts about a radius downstream); past three channel
      // radii, the flow never left the wall.
      if (!open) {
        if (s.X - x0 > 3 * b) break;
        continue;
      }
      line.Reattached = true;
      line.Points.push_back({static_cast<Real>(s.X), radius});
      break;
    }
    open = true;
    line.Points.push_back({static_cast<Real>(s.X), static_cast<Real>(r)});
  }
  line.Separated = open;
  if (!open) {
    line.Points.clear();
    line.Message = profiles ? "Осредненный поток не отрывается от кромки входа: вихревой зоны нет"
                            : "В файле средних нет профилей скорости в сечениях канала (записан более ранней версией)";
  }
  return line;
}

namespace {

// The mean velocity at (x, y) from the grid's flow points around it
// (bilinear, over those of the four that are flow points); false where
// they carry less than a quarter of the weight.
bool MeanVelocityAt(const GridField& f, double x, double y, double& u, double& v) {
  const AveragingGrid& g = f.Grid;
  const double fi = (x - g.X0) / g.Dx, fj = (y - g.Y0) / g.Dy;
  const double i0 = std::floor(fi), j0 = std::floor(fj);
  if (!(i0 >= 0 && j0 >= 0 && i0 + 1 < g.Nx && j0 + 1 < g.Ny)) return false;
  const double tx = fi - i0, ty = fj - j0;
  double su = 0, sv = 0, sw = 0;
  for (int dj = 0; dj < 2; ++dj) {
    for (int di = 0; di < 2; ++di) {
      const size_t k = static_cast<size_t>(j0 + dj) * static_cast<size_t>(g.Nx) + static_cast<size_t>(i0 + di);
      if (!g.Inside[k]) continue;
      const double w = (di ? tx : 1 - tx) * (dj ? ty : 1 - ty);
      su += w * f.VxMean[k];
      sv += w * f.VyMean[k];
      sw += w;
    }
  }
  if (!(sw >= 0.25)) return false;
  u = su / sw;
  v = sv / sw;
  return true;
}

double SegmentDistance(double px, double py, const TRealPoint& a, const TRealPoint& b) {
  const double ax = static_cast<double>(a.X), ay = static_cast<double>(a.Y);
  const double bx = static_cast<double>(b.X) - ax, by = static_cast<double>(b.Y) - ay;
  const double len2 = bx * bx + by * by;
  const double t = len2 > 0 ? std::clamp(((px - ax) * bx + (py - ay) * by) / len2, 0.0, 1.0) : 0.0;
  return std::hypot(px - ax - t * bx, py - ay - t * by);
}

// The distance from (x, y) to the wall, m (an arc by 16 chords).
double WallDistance(const Contour& c, double x, double y) {
  double best = std::numeric_limits<double>::infinity();
  for (int k = 0; k < static_cast<int>(c.Wall.size()); ++k) {
    const int n = c.Wall[static_cast<size_t>(k)].ArcRadius != 0 ? 16 : 1;
    TRealPoint a = ContourVertex(c, k);
    for (int j = 1; j <= n; ++j) {
      const TRealPoint b = SegmentPoint(c, k, static_cast<Real>(j) / n);
      best = std::min(best, SegmentDistance(x, y, a, b));
      a = b;
    }
  }
  return best;
}

CornerSeparation TracedLine(const GridField& f, const Contour& c, int corner, double radius) {
  CornerSeparation line;
  line.Corner = corner;
  const AveragingGrid& g = f.Grid;
  const double cell = std::max(g.Dx, g.Dy);  // m
  const double ds = std::min(g.Dx, g.Dy) / 2;
  const TRealPoint e = ContourVertex(c, corner);
  const TRealPoint t = SegmentEndTangent(c, corner - 1);
  double x = static_cast<double>(e.X) + cell * static_cast<double>(t.X);
  double y = static_cast<double>(e.Y) + cell * static_cast<double>(t.Y);
  line.Points.push_back({static_cast<double>(e.X), static_cast<double>(e.Y)});
  line.Points.push_back({x, y});
  const auto direction = [&](double px, double py, double& dx, double& dy) {
    double u, v;
    if (!MeanVelocityAt(f, px, py, u, v)) return false;
    const double speed = std::hypot(u, v);
    if (!(speed > 0)) return false;
    dx = u / speed;
    dy = v / speed;
    return true;
  };
  const double reach = 20 * radius;
  double travelled = cell;
  while (travelled < reach) {
    double dx1, dy1, dx2, dy2;
    if (!direction(x, y, dx1, dy1) || !direction(x + dx1 * ds, y + dy1 * ds, dx2, dy2)) break;
    x += (dx1 + dx2) / 2 * ds;
    y += (dy1 + dy2) / 2 * ds;
    travelled += ds;
    if (y < 0 || x > static_cast<double>(c.SuctionX) - radius / 2) break;
    line.Points.push_back({x, y});
    // Near its own corner the wall is within a cell whatever the line does
    // (a flange thinner than a cell): only two cells away does it meet one.
    const double fromCorner = std::hypot(x - static_cast<double>(e.X), y - static_cast<double>(e.Y));
    if (travelled > 2 * cell && fromCorner > 2 * cell && WallDistance(c, x, y) < cell) {
      line.Reattached = true;
      break;
    }
  }
  return line;
}

}  // namespace

std::vector<CornerSeparation> MeanSeparationLines(const AveragingResults& r, const Contour& c) {
  std::vector<CornerSeparation> out;
  const std::vector<int> corners = SheddingVertices(c);
  const GridField& f = r.Field;
  const size_t points = static_cast<size_t>(f.Grid.Nx) * static_cast<size_t>(f.Grid.Ny);
  const bool field = f.Grid.Nx > 1 && f.Grid.Ny > 1 && f.Grid.Inside.size() == points &&
                     f.VxMean.size() == points && f.VyMean.size() == points;
  const double radius = static_cast<double>(WallRadiusAt(c, c.SuctionX));
  for (int k : corners) {
    const TRealPoint e = ContourVertex(c, k);
    // The mouth as the averages file holds it: in double, to the file's digits.
    if (r.Contraction.Present && std::fabs(static_cast<double>(e.X) - r.Contraction.MouthX) < 1e-9 &&
        std::fabs(static_cast<double>(e.Y) - r.Contraction.MouthY) < 1e-9) {
      const SeparationLine line = MeanSeparationLine(r.Contraction, c, e);
      if (!line.Separated) continue;
      CornerSeparation s;
      s.Corner = k;
      s.Reattached = line.Reattached;
      for (const TRealPoint& p : line.Points) s.Points.push_back({static_cast<double>(p.X), static_cast<double>(p.Y)});
      out.push_back(std::move(s));
    } else if (field && radius > 0) {
      CornerSeparation s = TracedLine(f, c, k, radius);
      if (s.Points.size() > 2) out.push_back(std::move(s));
    }
  }
  return out;
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
  // Every new segment takes at least two attached rings, so it is 2h long
  // at least: a point nearer than that to the last one kept is left out (the
  // point on the wall is kept, the one before it gives way).
  const Real least = 2 * c.Spacing;  // m
  const TRealPoint vertex = ContourVertex(c, corner);
  std::vector<TRealPoint> kept;
  TRealPoint last = vertex;
  for (size_t i = 1; i < p.size(); ++i) {
    if (!keep[i]) continue;
    if (i + 1 == p.size()) {
      while (!kept.empty() && PointDistance(kept.back(), onWall) < least) kept.pop_back();
      kept.push_back(onWall);
    } else if (PointDistance(last, p[i]) >= least) {
      kept.push_back(p[i]);
      last = p[i];
    }
  }
  // Off the corner along the upstream face: a cubic (Hermite) curve from the
  // corner, tangent to that face, to the first kept point, tangent there to
  // the line on, cut into chords that turn by at most HermiteTurn each (as
  // far as chords 2h long allow).
  const TRealPoint t0 = SegmentEndTangent(c, corner - 1);
  const TRealPoint p1 = kept.front();
  const TRealPoint p2 = kept.size() > 1 ? kept[1] : p1;
  const Real chord = PointDistance(vertex, p1);
  TRealPoint t1{p2.X - p1.X, p2.Y - p1.Y};
  const Real t1Length = VectorLength(t1);
  t1 = t1Length > 0 ? TRealPoint{t1.X / t1Length, t1.Y / t1Length} : t0;
  const Real turn = std::acos(std::clamp<Real>(DotProduct(t0, t1), -1, 1));
  const auto curve = [&](int pieces, int j) {
    const Real u = static_cast<Real>(j) / pieces, u2 = u * u, u3 = u2 * u;
    const Real h00 = 2 * u3 - 3 * u2 + 1, h10 = u3 - 2 * u2 + u, h01 = -2 * u3 + 3 * u2, h11 = u3 - u2;
    return TRealPoint{h00 * vertex.X + h10 * chord * t0.X + h01 * p1.X + h11 * chord * t1.X,
                      h00 * vertex.Y + h10 * chord * t0.Y + h01 * p1.Y + h11 * chord * t1.Y};
  };
  int pieces = std::max(4, static_cast<int>(std::ceil(turn / HermiteTurn)) * 2);
  for (; pieces > 1; --pieces) {
    bool longEnough = true;
    for (int j = 1; j <= pieces && longEnough; ++j) longEnough = PointDistance(curve(pieces, j - 1), curve(pieces, j)) >= least;
    if (longEnough) break;
  }
  for (int j = 1; j < pieces; ++j) out.Wall.push_back(ContourSegment{curve(pieces, j), 0});
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
