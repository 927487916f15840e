#include "core/area_validation.h"

#include <cmath>

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

}  // namespace

int64_t ExpectedAttachedCount(const AreaParameters& p) {
  const Real shift = CornerShift(p);
  // Lengths of the seven body ribs in contour order.
  const Real lengths[7] = {p.ChannelLength - shift, p.FlangeLength - shift, p.WallThickness,
                           p.FlangeLength,          p.ChannelLength,         p.ChannelRadius,
                           p.PlaneHalfLength};
  Real total = 1;  // the end vortex at the plane's rim
  for (Real len : lengths) {
    const Real n = std::nearbyint(len / p.VortexSpacing);
    total += n < 1 ? 1 : n;
  }
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
