#include "core/analysis/reports.h"

#include "core/flow/circulation.h"
#include "core/model/geometry.h"
#include "core/base/numfmt.h"

namespace mdv {
namespace {

// The message boxes break lines with a single carriage return.
constexpr char CR = '\r';

// Profiles of the information report: the first across the channel at this
// x, m, then one every ProfilePitch up to the suction section.
constexpr Real FirstProfileX = 0.15L;
constexpr Real ProfilePitch = 0.05L;
// Points of a profile, from the axis up to (not including) the channel wall.
constexpr int ProfilePoints = 50;

}  // namespace

std::string SpeedAtPointText(const Model& m, const std::string& xText, const std::string& yText,
                             Real x, Real y) {
  const TRealPoint p{x, y};
  Real vx, vy;  // m/s
  CalcVelocityPair(m, p, -1, vx, vy);
  return "Скорость воздуха в точке (" + xText + ";" + yText + "):" + CR + "  Vx = " +
         FormatFixed(vx, 6, 4) + " м/с" + CR + "  Vy = " + FormatFixed(vy, 6, 4) + " м/с";
}

std::string InformationReportText(const Model& m, bool withUnits) {
  const std::string metres = withUnits ? " м" : "";
  const std::string speed = withUnits ? " м/с" : "м/с";
  const std::string circulation = withUnits ? " м²/с" : "";
  std::string report;
  const Real suctionX = m.SuctionX;
  const Real radius = m.ChannelRadius;
  for (int k = 0;; ++k) {
    const Real x = ProfilePitch * k + FirstProfileX;
    if (x >= suctionX) break;
    Real sum = 0;  // m/s
    for (int i = 0; i < ProfilePoints; ++i) {
      Real vx, vy;  // m/s
      CalcVelocityPair(m, TRealPoint{x, radius * i / ProfilePoints}, -1, vx, vy);
      sum += vx;
    }
    const Real mean = sum / ProfilePoints;
    report += "Средняя скорость по профилю x = " + FormatGeneral(x) + metres + ":" + "  " +
              FormatFixed(mean, 7, 5) + speed + CR;
  }
  Real attached = 0;  // m²/s
  for (int32_t i = 0; i < m.AttachedCount; ++i) attached += m.Vortices[i].Gamma;
  Real all = attached;
  for (int32_t i = m.AttachedCount; i < m.AttachedCount + m.FreeVortexCount; ++i) {
    all += m.Vortices[i].Gamma;
  }
  return report + "Сумма циркуляций присоединенных вихрей = " + FormatFixed(attached, 7, 5) +
         circulation + CR + "Сумма циркуляций всех вихрей = " + FormatFixed(all, 7, 5) + circulation;
}

std::string TestCommandText() {
  const TRib sides[4] = {
      {{1, 1}, {0.5L, 2.5L}},
      {{0.5L, 2.5L}, {3.5L, 3.5L}},
      {{3.5L, 3.5L}, {4, 2}},
      {{4, 2}, {1, 1}},
  };
  return PointInRect(TRealPoint{2, 1.34L}, sides) ? "yes" : "no";
}

}  // namespace mdv
