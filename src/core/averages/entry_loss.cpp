#include "core/averages/entry_loss.h"

#include <algorithm>
#include <cmath>

#include "core/base/numfmt.h"

namespace mdv {

namespace {

double Pi64() { return std::acos(-1.0); }

std::string Fixed(double v, int decimals) { return FormatFixed(static_cast<Real>(v), 15, decimals); }

}  // namespace

void AddSectionMomentum(ContractionSummary& c, double radius, std::span<const double> vxMean,
                        std::span<const double> vxVariance, std::span<const double> vyMean) {
  const size_t n = ContractionSectionPoints;
  const size_t need = c.Sections.size() * n;
  if (vxMean.size() < need || vxVariance.size() < need || vyMean.size() < need || !(radius > 0)) return;
  // The midpoint rule over the strips, as the section's C_c takes it.
  const double dy = radius / static_cast<double>(n);
  for (size_t k = 0; k < c.Sections.size(); ++k) {
    double momentum = 0, energy = 0;  // m⁴/s², m⁵/s³
    double vmax = vxMean[k * n];
    for (size_t j = 0; j < n; ++j) {
      const double vx = vxMean[k * n + j], vy = vyMean[k * n + j];
      const double var = std::max(0.0, vxVariance[k * n + j]);
      const double da = 2 * Pi64() * (static_cast<double>(j) + 0.5) * dy * dy;  // strip's ring area, m²
      momentum += (vx * vx + var) * da;
      energy += vx * (vx * vx + vy * vy) * da;
      vmax = std::max(vmax, vx);
    }
    ContractionSection& s = c.Sections[k];
    s.MomentumFlux = momentum;
    s.EnergyFlux = energy;
    s.VxMax = vmax;
  }
}

MomentumBalance BalanceMomentum(const ContractionSummary& c, double radius) {
  MomentumBalance b;
  if (!c.HasVenaContracta || c.Sections.empty() || !(radius > 0)) return b;
  const ContractionSection* vena = nullptr;
  for (const ContractionSection& s : c.Sections) {
    if (s.X == c.VenaX) vena = &s;
  }
  const ContractionSection& suction = c.Sections.back();
  if (vena == nullptr) return b;
  const double area = Pi64() * radius * radius;  // m²
  const double v0 = suction.Flux / area;
  if (!std::isfinite(vena->MomentumFlux) || !std::isfinite(vena->VxMax) || !std::isfinite(suction.MomentumFlux) ||
      !std::isfinite(suction.EnergyFlux) || !(v0 > 0))
    return b;
  b.Known = true;
  b.VenaX = vena->X;
  b.SuctionX = suction.X;
  b.CoreSpeed = vena->VxMax;
  b.ChannelSpeed = v0;
  const double q = v0 * v0 / 2;  // the velocity pressure over ρ, m²/s²
  // Pressures over ρ, m²/s², from p_∞ = 0.
  const double pc = -b.CoreSpeed * b.CoreSpeed / 2;
  const double ps = pc + (vena->MomentumFlux - suction.MomentumFlux) / area;
  const double pts = ps + suction.EnergyFlux / (2 * suction.Flux);
  b.VenaPressure = pc / q;
  b.SuctionPressure = ps / q;
  b.SuctionTotalPressure = pts / q;
  // The mean flow's part of M is Q²/(πB² C_c), the section's C_c by definition.
  const auto fluctuationShare = [&](const ContractionSection& s) {
    return 1 - s.Flux * s.Flux / (area * s.Cc) / s.MomentumFlux;
  };
  b.FluctuationShareVena = fluctuationShare(*vena);
  b.FluctuationShareSuction = fluctuationShare(suction);
  b.Zeta = -b.SuctionTotalPressure;
  return b;
}

std::string MomentumBalanceText(const MomentumBalance& b) {
  if (!b.Known) return {};
  return "Баланс импульса между x = " + Fixed(b.VenaX, 3) + " м и x = " + Fixed(b.SuctionX, 3) +
         " м (давления в ρv0²/2, v0 = " + Fixed(b.ChannelSpeed, 4) + " м/с):\n" +
         "  скорость ядра струи " + Fixed(b.CoreSpeed, 4) + " м/с, давление в сжатом сечении " +
         Fixed(b.VenaPressure, 3) + "\n" + "  давление в сечении отсоса " + Fixed(b.SuctionPressure, 3) +
         ", среднее полное давление " + Fixed(b.SuctionTotalPressure, 3) + "\n" +
         "  доля пульсаций в потоке импульса: " + Fixed(100 * b.FluctuationShareVena, 1) + " % и " +
         Fixed(100 * b.FluctuationShareSuction, 1) + " %\n";
}

}  // namespace mdv
