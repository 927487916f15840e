#include "core/model/contour_area.h"

#include <algorithm>
#include <cmath>

#include "core/model/area.h"

namespace mdv {

namespace {

// Sub-chords an arc is cut into when the wall's radius at an x is sought.
constexpr int ArcSearchChords = 256;
// A convex corner's barrier joint lies at most g/cos(75°) from the corner:
// sharper corners (a knife edge) clip the joint rather than reach far out.
constexpr Real LeastMiterCosine = 0.1339745962155614L;  // 1 + cos 150°

TRealPoint FluidNormal(const TRib& r) {
  const TRealPoint n = UnitNormal(r.P2, r.P1);  // into the solid
  return {-n.X, -n.Y};
}

// The point g into the fluid from both offset ribs meeting at their common end.
TRealPoint BarrierJoint(const TRib& a, const TRib& b, Real g) {
  const TRealPoint na = FluidNormal(a), nb = FluidNormal(b);
  const Real scale = g / std::max(1 + DotProduct(na, nb), LeastMiterCosine);
  return {a.P2.X + scale * (na.X + nb.X), a.P2.Y + scale * (na.Y + nb.Y)};
}

TRealPoint Offset(const TRealPoint& p, const TRealPoint& n, Real g) { return {p.X + g * n.X, p.Y + g * n.Y}; }

// Appends a rib's attached rings and control points: n intervals, the ring
// at each interval's start, the control point at `mid(j)`.
template <class Mid>
void AddRings(Model& m, const TRib& chord, int32_t n, Real vn, Mid mid) {
  const TRealPoint d{(chord.P2.X - chord.P1.X) / n, (chord.P2.Y - chord.P1.Y) / n};
  const TRealPoint normal = UnitNormal(chord.P2, chord.P1);
  for (int32_t j = 0; j < n; ++j) {
    const Real jj = j;
    m.Vortices.push_back(TVortex{{chord.P1.X + jj * d.X, chord.P1.Y + jj * d.Y}, 0});
    m.CalcPoints.push_back(TCalcPoint{mid(j), normal, vn});
  }
  m.AttachedSpacingMin = std::min(m.AttachedSpacingMin, std::hypot(d.X, d.Y));
}

int32_t Intervals(Real length, Real h) {
  const int32_t n = static_cast<int32_t>(std::nearbyint(length / h));
  return std::max(n, 1);
}

}  // namespace

Real WallRadiusAt(const Contour& c, Real x) {
  for (int k = static_cast<int>(c.Wall.size()) - 1; k >= 0; --k) {
    const bool arc = c.Wall[static_cast<size_t>(k)].ArcRadius != 0;
    const int chords = arc ? ArcSearchChords : 1;
    TRealPoint b = SegmentPoint(c, k, 1);
    for (int j = chords - 1; j >= 0; --j) {
      const TRealPoint a = SegmentPoint(c, k, static_cast<Real>(j) / chords);
      if ((a.X - x) * (b.X - x) <= 0 && a.X != b.X) {
        return a.Y + (b.Y - a.Y) * (x - a.X) / (b.X - a.X);
      }
      b = a;
    }
  }
  return 0;
}

void BuildContourArea(Model& m, Observer& obs) {
  const Contour& c = m.HoodContour;
  const Real h = c.Spacing;
  const Real g = h / 2;  // offset of the barrier into the fluid, m
  const int segments = static_cast<int>(c.Wall.size());
  const TRealPoint wallEnd = ContourVertex(c, segments);

  m.VortexSpacing = h;
  m.SuctionX = c.SuctionX;
  m.SuctionSpeed = c.SuctionSpeed;
  m.InflowSpeed = c.SupplySpeed;
  m.PlaneX = c.PlaneX;
  m.PlaneHalfLength = c.PlaneRadius;
  m.ChannelLength = wallEnd.X;
  m.ChannelRadius = WallRadiusAt(c, c.SuctionX);

  m.BodyRibs.clear();
  m.Vortices.clear();
  m.CalcPoints.clear();
  m.AttachedSpacingMin = h;
  std::vector<int32_t> segmentFirstRing(static_cast<size_t>(segments), 0);
  m.InflowRib = -1;
  Real top = 0, minX = wallEnd.X, maxX = wallEnd.X;  // the wall's extent, m
  for (int k = 0; k < segments; ++k) {
    const Real vn = k == c.SupplySegment ? -c.SupplySpeed : 0;
    const int32_t n = Intervals(SegmentLength(c, k), h);
    segmentFirstRing[static_cast<size_t>(k)] = static_cast<int32_t>(m.Vortices.size());
    if (k == c.SupplySegment) m.InflowRib = static_cast<int32_t>(m.BodyRibs.size());
    if (c.Wall[static_cast<size_t>(k)].ArcRadius == 0) {
      const TRib rib{ContourVertex(c, k), c.Wall[static_cast<size_t>(k)].End};
      const TRealPoint d{(rib.P2.X - rib.P1.X) / n, (rib.P2.Y - rib.P1.Y) / n};
      AddRings(m, rib, n, vn, [&](int32_t j) {
        const Real jj = j;
        return TRealPoint{rib.P1.X + (jj + 0.5L) * d.X, rib.P1.Y + (jj + 0.5L) * d.Y};
      });
      m.BodyRibs.push_back(rib);
    } else {
      for (int32_t j = 0; j < n; ++j) {
        const Real jj = j;
        const TRib rib{SegmentPoint(c, k, jj / n), SegmentPoint(c, k, (jj + 1) / n)};
        AddRings(m, rib, 1, vn, [&](int32_t) { return SegmentPoint(c, k, (jj + 0.5L) / n); });
        m.BodyRibs.push_back(rib);
      }
    }
    const TRealPoint p = ContourVertex(c, k);
    top = std::max(top, p.Y);
    minX = std::min(minX, p.X);
    maxX = std::max(maxX, p.X);
  }
  const int32_t wallRibs = static_cast<int32_t>(m.BodyRibs.size());

  // The suction section; its first ring covers the wall's far end.
  const TRib suction{{c.SuctionX, m.ChannelRadius}, {c.SuctionX, 0}};
  m.SuctionRib = wallRibs;
  const size_t suctionFirst = m.Vortices.size();
  const int32_t ns = Intervals(m.ChannelRadius, h);
  const TRealPoint ds{0, -m.ChannelRadius / ns};
  AddRings(m, suction, ns, c.SuctionSpeed, [&](int32_t j) {
    return TRealPoint{c.SuctionX, m.ChannelRadius + (static_cast<Real>(j) + 0.5L) * ds.Y};
  });
  m.Vortices[suctionFirst].Pos = wallEnd;
  m.BodyRibs.push_back(suction);

  // The plane, and the end ring at its rim.
  const TRib plane{{c.PlaneX, 0}, {c.PlaneX, c.PlaneRadius}};
  const int32_t np = Intervals(c.PlaneRadius, h);
  const Real dp = c.PlaneRadius / np;
  AddRings(m, plane, np, 0, [&](int32_t j) { return TRealPoint{c.PlaneX, (static_cast<Real>(j) + 0.5L) * dp}; });
  m.BodyRibs.push_back(plane);
  m.Vortices.push_back(TVortex{plane.P2, 0});
  m.BodyRibCount = static_cast<int32_t>(m.BodyRibs.size());
  m.AttachedCount = static_cast<int32_t>(m.Vortices.size());

  // Separation at the shedding corners, in wall order; each leaves along the
  // bisector of the fluid's angle there.
  const std::vector<int> corners = SheddingVertices(c);
  m.SeparationCount = static_cast<int32_t>(corners.size());
  m.SeparationIndex.clear();
  m.SeparationDir.clear();
  for (int k : corners) {
    m.SeparationIndex.push_back(segmentFirstRing[static_cast<size_t>(k)]);
    const TRealPoint in = SegmentEndTangent(c, k - 1), out = SegmentStartTangent(c, k);
    const TRealPoint d{in.X - out.X, in.Y - out.Y};
    const Real len = VectorLength(d);
    m.SeparationDir.push_back(len > 0 ? TRealPoint{d.X / len, d.Y / len} : FluidNormal({ContourVertex(c, k), out}));
  }

  // The barrier, one rib per body rib so that SuctionRib names both.
  m.BarrierRibs.assign(static_cast<size_t>(m.BodyRibCount), TRib{});
  for (int32_t i = 0; i < wallRibs; ++i) {
    const TRib& r = m.BodyRibs[static_cast<size_t>(i)];
    const TRealPoint n = FluidNormal(r);
    m.BarrierRibs[static_cast<size_t>(i)] = TRib{
        i == 0 ? Offset(r.P1, n, g) : BarrierJoint(m.BodyRibs[static_cast<size_t>(i - 1)], r, g),
        i + 1 == wallRibs ? Offset(r.P2, n, g) : BarrierJoint(r, m.BodyRibs[static_cast<size_t>(i + 1)], g)};
  }
  const Real x = c.SuctionX - g;
  m.BarrierRibs[static_cast<size_t>(m.SuctionRib)] = TRib{{x, WallRadiusAt(c, x) - g}, {x, 0}};
  m.BarrierRibs[static_cast<size_t>(m.SuctionRib + 1)] = TRib{{c.PlaneX + g, 5 * top}, {c.PlaneX + g, 0}};
  m.BarrierRibCount = m.BodyRibCount;

  m.FarDistance = std::max(2 * top, maxX - minX) + h;
  m.Vortices.resize(static_cast<size_t>(m.AttachedCount) +
                    static_cast<size_t>(std::max<int32_t>(m.MaxFreeVortex, 0)));
  ++m.Revision;
  obs.StatusText(AttachedCountText(m));
}

Contour ParametricContour(const Model& m) {
  const Real B = m.ChannelRadius, LL = m.ChannelLength, l = m.FlangeLength;
  const Real alpha = m.FlangeAngle, W = m.WallThickness;
  const Real cosA = std::cos(alpha), sinA = std::sin(alpha);
  Contour c;
  c.Name = "Параметрический зонт";
  c.Start = {LL, B + W};
  const TRealPoint K{W * std::tan(alpha / 2), B + W};
  const TRealPoint C{-l * cosA + W * std::cos(Pi / 2 - alpha), l * sinA + B + W * std::sin(Pi / 2 - alpha)};
  const TRealPoint T{-l * cosA, l * sinA + B};
  c.Wall = {{K, 0}, {C, 0}, {T, 0}, {{0, B}, 0}, {{LL, B}, 0}};
  c.SupplySegment = 2;
  c.SupplySpeed = m.InflowSpeed;
  c.SuctionX = m.SuctionX;
  c.SuctionSpeed = m.SuctionSpeed;
  c.PlaneX = m.PlaneX;
  c.PlaneRadius = m.PlaneHalfLength;
  c.Spacing = m.VortexSpacing;
  // The tube end's corners always shed; the mouth edge only on an inclined flange.
  c.SheddingCorners = {2, 3};
  if (alpha > 1e-10L) c.SheddingCorners.push_back(4);
  return c;
}

}  // namespace mdv
