#include "core/analysis/centreline.h"

#include <array>
#include <cmath>

#include "core/analysis/contraction.h"
#include "core/flow/circulation.h"
#include "core/base/numfmt.h"
#include "core/base/parallel.h"

namespace mdv {

namespace {

// DallaValle's flanged hood draws 0,75 of the plain hood's flow for the same
// centre-line velocity.
constexpr double FlangedFactor = 0.75;
// Coefficient of x² in DallaValle's equations (x in m, A in m²).
constexpr double DallaValleCoefficient = 10;

// Decimal comma, up to 6 significant digits.
std::string Number(double v) { return FormatGeneral(static_cast<Real>(std::round(v * 1e6) / 1e6)); }

}  // namespace

TRealPoint CentrelinePoint(const Model& m, double xOverD) {
  // With the flange inclined the mouth is at x = 0 and this is −x/D·2B to the bit.
  return {MouthX(m) - static_cast<Real>(xOverD) * 2 * m.ChannelRadius, 0};
}

bool CentrelineInFlow(const Model& m, double xOverD) {
  return CentrelinePoint(m, xOverD).X > m.PlaneX + m.VortexSpacing / 2;
}

double DiscSinkRatio(double x, double radius) { return 1 - x / std::sqrt(x * x + radius * radius); }

double DallaValleFlangedRatio(double x, double radius) {
  const double a = std::acos(-1.0) * radius * radius;
  return a / (FlangedFactor * (DallaValleCoefficient * x * x + a));
}

double DallaVallePlainRatio(double x, double radius) {
  const double a = std::acos(-1.0) * radius * radius;
  return a / (DallaValleCoefficient * x * x + a);
}

std::vector<CentrelineRow> CentrelineRows(const Model& m, std::span<const double> vx) {
  std::vector<CentrelineRow> rows;
  const double radius = static_cast<double>(m.ChannelRadius);
  const double v0 = static_cast<double>(m.SuctionSpeed);
  for (int32_t k = 0; k < CentrelineStationCount; ++k) {
    CentrelineRow r;
    r.XOverD = CentrelineStations[k];
    const double x = r.XOverD * 2 * radius;  // distance in front of the mouth, m
    r.HasModel = CentrelineInFlow(m, r.XOverD) && static_cast<size_t>(k) < vx.size() &&
                 std::isfinite(vx[static_cast<size_t>(k)]) && v0 != 0;
    if (r.HasModel) r.Model = vx[static_cast<size_t>(k)] / v0;
    r.DiscSink = DiscSinkRatio(x, radius);
    r.DallaValleFlanged = DallaValleFlangedRatio(x, radius);
    r.DallaVallePlain = DallaVallePlainRatio(x, radius);
    rows.push_back(r);
  }
  return rows;
}

std::vector<CentrelineRow> CentrelineOfState(const Model& m) {
  std::array<Real, CentrelineStationCount> u{}, v{};
  auto sample = [&](int32_t begin, int32_t end) {
    for (int32_t k = begin; k < end; ++k) {
      if (CentrelineInFlow(m, CentrelineStations[k])) {
        CalcVelocityPair(m, CentrelinePoint(m, CentrelineStations[k]), -1, u[k], v[k]);
      }
    }
  };
  if (m.Exec.Literal) {
    sample(0, CentrelineStationCount);
  } else {
    SharedPool(m.Exec.Threads).For(CentrelineStationCount, sample, 1);
  }
  std::array<double, CentrelineStationCount> vx{};
  for (int32_t k = 0; k < CentrelineStationCount; ++k) vx[k] = static_cast<double>(u[k]);
  return CentrelineRows(m, vx);
}

std::string CentrelineCsv(const std::vector<CentrelineRow>& rows) {
  std::string out = "x/D;model v/v0;disc sink;DallaValle flanged;DallaValle plain\n";
  for (const CentrelineRow& r : rows) {
    out += Number(r.XOverD) + ";" + (r.HasModel ? Number(r.Model) : "") + ";" + Number(r.DiscSink) + ";" +
           Number(r.DallaValleFlanged) + ";" + Number(r.DallaVallePlain) + "\n";
  }
  return out;
}

std::string CentrelineTable(const std::vector<CentrelineRow>& rows) {
  std::string out =
      "Скорость на оси перед отсосом, v/v0 (D = 2B)\n"
      "x/D\tмодель\tдиск-сток\tДаллаВалле, с фланцем\tДаллаВалле, без фланца\n";
  for (const CentrelineRow& r : rows) {
    out += FormatFixed(r.XOverD, 6, 2) + "\t" + (r.HasModel ? FormatFixed(r.Model, 7, 4) : "—") + "\t" +
           FormatFixed(r.DiscSink, 7, 4) + "\t" + FormatFixed(r.DallaValleFlanged, 7, 4) + "\t" +
           FormatFixed(r.DallaVallePlain, 7, 4) + "\n";
  }
  return out;
}

}  // namespace mdv
