#include "core/model/area_validation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "core/base/numfmt.h"

namespace mdv {

AreaParameters AreaParametersOf(const Model& m) {
  AreaParameters p;
  p.VortexSpacing = m.VortexSpacing;
  p.SuctionSpeed = m.SuctionSpeed;
  p.InflowSpeed = m.InflowSpeed;
  p.ChannelRadius = m.ChannelRadius;
  p.SuctionX = m.SuctionX;
  p.ChannelLength = m.ChannelLength;
  p.FlangeLength = m.FlangeLength;
  p.FlangeAngle = m.FlangeAngle;
  p.WallThickness = m.WallThickness;
  p.PlaneHalfLength = m.PlaneHalfLength;
  p.PlaneX = m.PlaneX;
  return p;
}

void SetAreaParameters(Model& m, const AreaParameters& p) {
  m.VortexSpacing = p.VortexSpacing;
  m.SuctionSpeed = p.SuctionSpeed;
  m.InflowSpeed = p.InflowSpeed;
  m.ChannelRadius = p.ChannelRadius;
  m.SuctionX = p.SuctionX;
  m.ChannelLength = p.ChannelLength;
  m.FlangeLength = p.FlangeLength;
  m.FlangeAngle = p.FlangeAngle;
  m.WallThickness = p.WallThickness;
  m.PlaneHalfLength = p.PlaneHalfLength;
  m.PlaneX = p.PlaneX;
}


namespace {

// How far the corner K between the channel's and the flange's outer surfaces
// lies from the flange root along the flange: W·tan(α/2), m. Rib 0 (channel
// outside) is LL minus this, rib 1 (flange outside) l minus this.
Real CornerShift(const AreaParameters& p) { return p.WallThickness * std::tan(p.FlangeAngle / 2); }

constexpr int RibCount = 7;
constexpr int SupplySlotRib = 2;

// Lengths of the seven body ribs in contour order, m.
std::array<Real, RibCount> RibLengths(const AreaParameters& p) {
  const Real shift = CornerShift(p);
  return {p.ChannelLength - shift, p.FlangeLength - shift, p.WallThickness, p.FlangeLength,
          p.ChannelLength,         p.ChannelRadius,        p.PlaneHalfLength};
}

// Attached vortices BuildArea puts on a rib of this length.
Real VorticesOnRib(Real length, Real spacing) {
  const Real n = std::nearbyint(length / spacing);
  return n < 1 ? 1 : n;
}

// Fewest attached vortices on every rib but the supply slot. With one, a
// surface is a single ring and cannot hold the flow along it (a spacing of
// 1 m gave -958 847 m/s and free vortices at negative radius, a channel
// radius of 1 mm 2,4·10⁵ m/s). The slot is one wall thickness wide and may
// carry a single vortex (a wall thinner than h/2 is an ordinary case).
constexpr Real MinVorticesPerRib = 2;
// round(len / h) >= 2 holds exactly for h <= len / 1.5.
constexpr Real LengthPerSpacingForTwo = 1.5L;

// Where each rib lies, for the message about a too coarse spacing.
const char* const RibWhere[RibCount] = {
    "на наружной поверхности канала",     "на наружной поверхности козырька",
    "на торце козырька",                  "на внутренней поверхности козырька",
    "на внутренней поверхности канала",   "на всасывающем отрезке",
    "на плоскости"};

// A length for a message: three significant digits, m.
std::string Short(Real v) {
  if (v == 0 || !std::isfinite(v)) return FormatGeneral(v);
  const Real scale = std::pow(Real(10), 2 - std::floor(std::log10(std::fabs(v))));
  return FormatGeneral(std::nearbyint(v * scale) / scale);
}

// `limit` rounded down to two significant digits, m.
std::string RoundedDown(Real limit) {
  const Real unit = std::pow(Real(10), std::floor(std::log10(limit)) - 1);
  // A hair of slack so that a quotient of 9,99…9 still counts as 10 units.
  return FormatGeneral(std::floor(limit / unit * (1 + 1e-12L)) * unit);
}

Real PointToSegment(const TRealPoint& q, const TRealPoint& a, const TRealPoint& b) {
  const TRealPoint d = b - a;
  const Real len2 = d.X * d.X + d.Y * d.Y;
  const Real t = len2 > 0 ? std::clamp<Real>(((q.X - a.X) * d.X + (q.Y - a.Y) * d.Y) / len2, 0, 1) : 0;
  return PointDistance(q, TRealPoint{a.X + t * d.X, a.Y + t * d.Y});
}

// Shortest distance between the plane (x = Px, 0 <= y <= PL) and the walls
// of the hood (body ribs 0 to 4), m. The hood lies at x >= Px (checked
// before), so the segments never cross and the distance is that of an end
// point of one to the other.
Real PlaneGap(const AreaParameters& p) {
  const Real B = p.ChannelRadius, LL = p.ChannelLength, l = p.FlangeLength, W = p.WallThickness;
  const Real cosA = std::cos(p.FlangeAngle), sinA = std::sin(p.FlangeAngle);
  // The hood's contour from the channel's outer end to its inner end.
  const TRealPoint hood[6] = {{LL, B + W},
                              {W * std::tan(p.FlangeAngle / 2), B + W},    // K
                              {-l * cosA + W * sinA, l * sinA + B + W * cosA},  // C
                              {-l * cosA, l * sinA + B},                   // T
                              {0, B},                                      // M
                              {LL, B}};
  const TRealPoint p1{p.PlaneX, 0}, p2{p.PlaneX, p.PlaneHalfLength};
  Real gap = std::numeric_limits<Real>::infinity();
  for (int i = 0; i + 1 < 6; ++i) {
    gap = std::min({gap, PointToSegment(hood[i], p1, p2), PointToSegment(hood[i + 1], p1, p2),
                    PointToSegment(p1, hood[i], hood[i + 1]),
                    PointToSegment(p2, hood[i], hood[i + 1])});
  }
  return gap;
}

}  // namespace

int64_t ExpectedAttachedCount(const AreaParameters& p) {
  Real total = 1;  // the end vortex at the plane's rim
  for (Real len : RibLengths(p)) total += VorticesOnRib(len, p.VortexSpacing);
  if (!(total < Real(INT64_MAX / 2))) return INT64_MAX / 2;
  return static_cast<int64_t>(total);
}

std::string ValidateAreaParameters(const AreaParameters& p) {
  auto positive = [](Real v) { return std::isfinite(v) && v > 0; };
  auto notNegative = [](Real v) { return std::isfinite(v) && v >= 0; };
  if (!positive(p.VortexSpacing) || !positive(p.SuctionSpeed) || !positive(p.ChannelRadius) ||
      !positive(p.SuctionX) || !positive(p.ChannelLength) || !positive(p.FlangeLength) ||
      !notNegative(p.FlangeAngle) || !notNegative(p.InflowSpeed) || !positive(p.WallThickness) ||
      !std::isfinite(p.PlaneHalfLength) || !std::isfinite(p.PlaneX)) {
    return "Параметры области должны быть положительными\r(угол наклона может быть нулевым)";
  }
  if (p.SuctionX > p.ChannelLength) {
    return "Длина всасывающего канала должна быть\rбольше либо равна абсциссе всасывающего "
           "отрезка.";
  }
  if (p.PlaneX > -p.FlangeLength * std::cos(p.FlangeAngle)) {
    return "Плоскость должна находиться левее козырька";
  }
  // The plane's rib would have no length and no normal.
  if (!(p.PlaneHalfLength > 0)) return "Полудлина плоскости должна быть положительной";
  // Beyond 90° the flange leans back over the channel and its inner surface
  // crosses the channel's outer wall: the contour would cut itself.
  if (p.FlangeAngle > Pi / 2) return "Угол наклона козырька не должен превышать 90 градусов";
  const Real shift = CornerShift(p);
  if (!(p.ChannelLength > shift)) {
    return "Длина всасывающего канала слишком мала при заданных\rтолщине стенок и угле наклона "
           "козырька";
  }
  if (!(p.FlangeLength > shift)) {
    return "Длина козырька слишком мала при заданных\rтолщине стенок и угле наклона козырька";
  }
  // Every rib but the supply slot carries at least two attached vortices.
  const std::array<Real, RibCount> lengths = RibLengths(p);
  int coarsest = -1;
  for (int i = 0; i < RibCount; ++i) {
    if (i == SupplySlotRib) continue;
    if (VorticesOnRib(lengths[i], p.VortexSpacing) < MinVorticesPerRib &&
        (coarsest < 0 || lengths[i] < lengths[coarsest])) {
      coarsest = i;
    }
  }
  // The plane stays one spacing clear of the hood: the barrier bands of both
  // (h/2 wide) then just meet, and no ring of the plane nearly coincides with
  // one of the flange (a gap of 0,1 mm gave 7·10¹⁶ m/s; a flat flange whose
  // tip touches the default plane made the system singular).
  const Real gap = PlaneGap(p);
  if (coarsest >= 0) {
    // The spacing proposed passes the gap check as well, where the gap allows one.
    Real proposed = lengths[coarsest] / LengthPerSpacingForTwo;
    if (gap > 0 && gap < proposed) proposed = gap;
    const std::string start = std::string("Расстояние между расчетными точками слишком велико:\r") +
                              RibWhere[coarsest] + " получается меньше двух\rприсоединенных вихрей.";
    AreaParameters finer = p;
    finer.VortexSpacing = proposed;
    if (ExpectedAttachedCount(finer) > MaxAttachedVortices) {
      return start + " При меньшем расстоянии их было бы\rболее " + std::to_string(MaxAttachedVortices) +
             ": этот участок мал по сравнению с остальными.";
    }
    return start + " Уменьшите его до " + RoundedDown(proposed) + " м.";
  }
  if (!(gap >= p.VortexSpacing)) {
    return "Плоскость расположена слишком близко к козырьку:\rзазор " + Short(gap) +
           " м меньше расстояния между\rрасчетными точками (" + Short(p.VortexSpacing) + " м).";
  }
  const int64_t count = ExpectedAttachedCount(p);
  if (count > MaxAttachedVortices) {
    return "Слишком много присоединенных вихрей (" +
           (count >= INT64_MAX / 2 ? std::string("более миллиона") : std::to_string(count)) +
           ", допустимо не более " + std::to_string(MaxAttachedVortices) +
           ").\rУвеличьте расстояние между расчетными точками.";
  }
  return {};
}

std::string ValidateRunParameters(Real dt, Real maxTime, int64_t maxFree) {
  if (!std::isfinite(dt) || !(dt > 0)) return "Шаг по времени должен быть положительным";
  if (!std::isfinite(maxTime)) return "Время моделирования должно быть числом";
  if (maxFree < 0) return "Количество свободных вихрей не может быть отрицательным";
  if (maxFree > MaxFreeVortexLimit) {
    return "Количество свободных вихрей не может превышать " + std::to_string(MaxFreeVortexLimit);
  }
  return {};
}

}  // namespace mdv
