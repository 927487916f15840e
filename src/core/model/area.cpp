#include "core/model/area.h"

#include "core/model/contour_area.h"

#include <algorithm>
#include <cmath>

namespace mdv {

namespace {

// A flange not inclined by more than this (rad) has no corner at the mouth
// edge, so nothing separates there.
constexpr Real FlatFlangeAngle = 1e-10L;

constexpr int32_t RibCount = 7;

}  // namespace

std::string AttachedCountText(const Model& m) {
  return "Количество присоединенных вихрей: " + std::to_string(m.AttachedCount);
}

void BuildArea(Model& m, Observer& obs) {
  if (m.ContourArea) {
    BuildContourArea(m, obs);
    return;
  }
  const Real B = m.ChannelRadius;
  const Real L = m.SuctionX;
  const Real LL = m.ChannelLength;
  const Real l = m.FlangeLength;
  const Real alpha = m.FlangeAngle;
  const Real W = m.WallThickness;
  const Real PL = m.PlaneHalfLength;
  const Real Px = m.PlaneX;
  const Real h = m.VortexSpacing;
  const Real g = h / 2;  // offset of the barrier into the fluid, m
  const Real G = g + W;

  m.FarDistance = std::max(std::max(2 * B, LL), l) + h;

  // Named points of the body contour.
  const Real cosA = std::cos(alpha);
  const Real sinA = std::sin(alpha);
  const Real halfTan = std::tan(alpha / 2);
  const TRealPoint C{-l * cosA + W * std::cos(Pi / 2 - alpha),
                     l * sinA + B + W * std::sin(Pi / 2 - alpha)};
  const TRealPoint T{-l * cosA, l * sinA + B};
  const TRealPoint M{0, B};
  const TRealPoint K{W * halfTan, B + W};

  m.BodyRibs.assign(RibCount, TRib{});
  m.BodyRibCount = RibCount;
  m.SuctionRib = 5;
  m.InflowRib = 2;
  m.BodyRibs[0] = TRib{{LL, B + W}, K};
  m.BodyRibs[1] = TRib{K, C};
  m.BodyRibs[2] = TRib{C, T};
  m.BodyRibs[3] = TRib{T, M};
  m.BodyRibs[4] = TRib{M, {LL, B}};
  m.BodyRibs[5] = TRib{{L, B}, {L, 0}};
  m.BodyRibs[6] = TRib{{Px, 0}, {Px, PL}};

  m.SeparationCount = alpha > FlatFlangeAngle ? 3 : 2;
  m.SeparationIndex.assign(static_cast<size_t>(m.SeparationCount), 0);

  m.AttachedCount = 0;
  m.AttachedSpacingMin = h;
  for (int32_t i = 0; i < RibCount; ++i) {
    const TRib& rib = m.BodyRibs[i];
    // The spacing is adjusted so that a whole number of intervals fits the rib.
    int32_t n = static_cast<int32_t>(std::nearbyint(RibLength(rib) / h));
    if (n == 0) n = 1;
    const TRealPoint d{(rib.P2.X - rib.P1.X) / n, (rib.P2.Y - rib.P1.Y) / n};
    m.AttachedSpacingMin = std::min(m.AttachedSpacingMin, std::hypot(d.X, d.Y));
    const size_t size = static_cast<size_t>(m.AttachedCount) + static_cast<size_t>(n);
    m.Vortices.resize(size);
    m.CalcPoints.resize(size);
    const TRealPoint normal = UnitNormal(rib.P2, rib.P1);
    Real vn = 0;
    if (i == m.SuctionRib) {
      vn = m.SuctionSpeed;
    } else if (i == m.InflowRib) {
      vn = -m.InflowSpeed;
    }
    for (int32_t j = 0; j < n; ++j) {
      const size_t k = static_cast<size_t>(m.AttachedCount + j);
      const Real jj = j;
      TVortex& v = m.Vortices[k];
      if (i == m.SuctionRib && j == 0) {
        // The suction section's first vortex covers the channel's far inner corner.
        v.Pos = m.BodyRibs[4].P2;
      } else {
        v.Pos = TRealPoint{rib.P1.X + jj * d.X, rib.P1.Y + jj * d.Y};
      }
      v.Gamma = 0;
      TCalcPoint& cp = m.CalcPoints[k];
      cp.Pos = TRealPoint{rib.P1.X + (jj + 0.5L) * d.X, rib.P1.Y + (jj + 0.5L) * d.Y};
      cp.Normal = normal;
      cp.Vn = vn;
    }
    m.AttachedCount += n;
    // The first vortex of each of these ribs sits exactly on the sharp edge.
    if (i == 2) m.SeparationIndex[0] = m.AttachedCount - n;
    if (i == 3) m.SeparationIndex[1] = m.AttachedCount - n;
    if (i == 4 && m.SeparationCount > 2) m.SeparationIndex[2] = m.AttachedCount - n;
  }

  // End vortex at the rim of the plane: no control point of its own; its row
  // of the system is the total-circulation condition.
  m.Vortices.push_back(TVortex{m.BodyRibs[RibCount - 1].P2, 0});
  m.AttachedCount += 1;

  m.SeparationDir.assign(static_cast<size_t>(m.SeparationCount), TRealPoint{});
  m.SeparationDir[0] = TRealPoint{-std::cos(alpha + Pi / 4), std::sin(alpha + Pi / 4)};
  m.SeparationDir[1] = TRealPoint{-std::cos(alpha - Pi / 4), std::sin(alpha - Pi / 4)};
  if (m.SeparationCount > 2) {
    m.SeparationDir[2] = TRealPoint{-std::cos(alpha / 2 - Pi / 2), std::sin(alpha / 2 - Pi / 2)};
  }

  // The barrier: the contour moved g into the fluid; free vortices stay outside it.
  m.BarrierRibs.assign(RibCount, TRib{});
  m.BarrierRibCount = RibCount;
  m.SuctionRib = 5;
  const TRealPoint b0{G * halfTan, B + G};
  const TRealPoint b1{C.X - g * cosA + g * sinA, C.Y + g * sinA + g * cosA};
  const TRealPoint b2{T.X - g * cosA - g * sinA, T.Y + g * sinA - g * cosA};
  const TRealPoint b3{-g * halfTan, B - g};
  m.BarrierRibs[0] = TRib{{LL, B + G}, b0};
  m.BarrierRibs[1] = TRib{b0, b1};
  m.BarrierRibs[2] = TRib{b1, b2};
  m.BarrierRibs[3] = TRib{b2, b3};
  m.BarrierRibs[4] = TRib{b3, {L - g, B - g}};
  m.BarrierRibs[5] = TRib{{L - g, B - g}, {L - g, 0}};
  m.BarrierRibs[6] = TRib{{Px + g, 5 * (B + l)}, {Px + g, 0}};

  // Room for the free vortices of a run; the new slots are zero.
  m.Vortices.resize(static_cast<size_t>(m.AttachedCount) +
                    static_cast<size_t>(std::max<int32_t>(m.MaxFreeVortex, 0)));
  ++m.Revision;

  obs.StatusText(AttachedCountText(m));
}

}  // namespace mdv
