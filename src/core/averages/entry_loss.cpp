#include "core/averages/entry_loss.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/base/numfmt.h"

namespace mdv {

namespace {

double Pi64() { return std::acos(-1.0); }

// Sections taken for ∂v̄r/∂x at a section: the five nearest (centred inside,
// one-sided by the ends). In the bare contour's potential flow ζ_M comes out
// −0,032 / −0,015 / −0,008 / −0,006 with 3 / 4 / 5 / 6 of them (α = 0), and
// 5 / 6 give 0,006 / 0,008 at α = 90°: more points amplify the means' noise.
constexpr size_t SlopePoints = 5;

std::string Fixed(double v, int decimals) { return FormatFixed(static_cast<Real>(v), 15, decimals); }

// d f/dx at xs[at] of the polynomial through the points (xs[i], fs[i]).
double LagrangeSlope(std::span<const double> xs, std::span<const double> fs, size_t at) {
  double slope = 0;
  const double t = xs[at];
  for (size_t i = 0; i < xs.size(); ++i) {
    // d/dt of the i-th basis polynomial, at t.
    double sum = 0;
    for (size_t m = 0; m < xs.size(); ++m) {
      if (m == i) continue;
      double prod = 1 / (xs[i] - xs[m]);
      for (size_t l = 0; l < xs.size(); ++l) {
        if (l != i && l != m) prod *= (t - xs[l]) / (xs[i] - xs[l]);
      }
      sum += prod;
    }
    slope += fs[i] * sum;
  }
  return slope;
}

// The pressure across section k over ρ, from its innermost point outwards:
// the mean flow's radial momentum integrated by the trapezoid rule over the
// points' radii. The part −v̄r ∂v̄r/∂r is integrated exactly, −(v̄r² − v̄r0²)/2.
void AddSectionPressure(ContractionSummary& c, double radius, double wallGap, std::span<const double> vxMean,
                        std::span<const double> vyMean, std::span<const double> vyVariance) {
  const size_t n = ContractionSectionPoints;
  const size_t sections = c.Sections.size();
  if (sections < SlopePoints || vyVariance.size() < sections * n) return;
  const double dy = radius / static_cast<double>(n);
  std::vector<double> r(n), da(n);
  for (size_t j = 0; j < n; ++j) {
    r[j] = std::min((static_cast<double>(j) + 0.5) * dy, radius - wallGap);
    da[j] = 2 * Pi64() * (static_cast<double>(j) + 0.5) * dy * dy;  // the strip's weight, as C_c takes it
  }
  for (size_t k = 0; k < sections; ++k) {
    // The three sections nearest k: centred inside, one-sided at the ends.
    const size_t order = SlopePoints;
    const size_t k0 = std::min(k >= order / 2 ? k - order / 2 : 0, sections - order);
    double xs[SlopePoints], fs[SlopePoints];
    double pressure = 0, before = 0;  // (p − p_axis)/ρ at the point and its integrand, m²/s², 1/s²·m
    double integral = 0, flux = 0;
    for (size_t j = 0; j < n; ++j) {
      const auto vy = [&](size_t s) { return vyMean[s * n + j]; };
      for (size_t i = 0; i < order; ++i) {
        xs[i] = c.Sections[k0 + i].X;
        fs[i] = vy(k0 + i);
      }
      const double slope = LagrangeSlope({xs, order}, {fs, order}, k - k0);
      const double vx = vxMean[k * n + j], vr = vy(k);
      const double var = std::max(0.0, vyVariance[k * n + j]);
      const double integrand = vx * slope + var / r[j];
      if (j > 0) pressure += (before + integrand) / 2 * (r[j] - r[j - 1]);
      before = integrand;
      const double vr0 = vyMean[k * n], var0 = std::max(0.0, vyVariance[k * n]);
      const double p = -pressure - (vr * vr - vr0 * vr0) / 2 - (var - var0);
      integral += p * da[j];
      flux += vx * p * da[j];
      if (j + 1 == n) c.Sections[k].WallPressure = p;
    }
    c.Sections[k].PressureIntegral = integral;
    c.Sections[k].PressureFlux = flux;
  }
}

}  // namespace

void AddSectionMomentum(ContractionSummary& c, double radius, std::span<const double> vxMean,
                        std::span<const double> vxVariance, std::span<const double> vyMean,
                        std::span<const double> vyVariance, double wallGap) {
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
    const double vx0 = vxMean[k * n], vy0 = vyMean[k * n];
    s.AxisHead = (vx0 * vx0 + vy0 * vy0) / 2;
  }
  AddSectionPressure(c, radius, std::max(0.0, wallGap), vxMean, vyMean, vyVariance);
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
  b.ChannelSpeed = v0;
  const double q = v0 * v0 / 2;  // the velocity pressure over ρ, m²/s²
  // Pressures over ρ, m²/s², from p_∞ = 0. Uniform across each section, the
  // core at c from the fastest point.
  const double pcUniform = -vena->VxMax * vena->VxMax / 2;
  const double psUniform = pcUniform + (vena->MomentumFlux - suction.MomentumFlux) / area;
  const double ptsUniform = psUniform + suction.EnergyFlux / (2 * suction.Flux);
  b.ZetaUniform = -ptsUniform / q;
  b.PressureAcross = std::isfinite(vena->AxisHead) && std::isfinite(vena->PressureIntegral) &&
                     std::isfinite(suction.PressureIntegral) && std::isfinite(suction.PressureFlux) &&
                     std::isfinite(vena->WallPressure);
  double pc = pcUniform, ps = psUniform, pts = ptsUniform;
  b.CoreSpeed = vena->VxMax;
  if (b.PressureAcross) {
    // The axial force on c, the pressure on s's axis from the balance.
    const double forceC = -vena->AxisHead * area + vena->PressureIntegral;  // m⁴/s²
    const double axisS = (forceC + vena->MomentumFlux - suction.PressureIntegral - suction.MomentumFlux) / area;
    pc = forceC / area;
    ps = axisS + suction.PressureIntegral / area;
    pts = axisS + (suction.PressureFlux + suction.EnergyFlux / 2) / suction.Flux;
    b.CoreSpeed = std::sqrt(2 * vena->AxisHead);
    b.VenaWallPressure = vena->WallPressure / q;
  }
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
  std::string out = "Баланс импульса между x = " + Fixed(b.VenaX, 3) + " м и x = " + Fixed(b.SuctionX, 3) +
                    " м (давления в ρv0²/2, v0 = " + Fixed(b.ChannelSpeed, 4) + " м/с):\n";
  if (b.PressureAcross) {
    out += "  скорость на оси " + Fixed(b.CoreSpeed, 4) + " м/с, среднее давление в сжатом сечении " +
           Fixed(b.VenaPressure, 3) + ", у стенки минус на оси " + Fixed(b.VenaWallPressure, 3) + "\n";
  } else {
    out += "  скорость ядра струи " + Fixed(b.CoreSpeed, 4) + " м/с, давление в сжатом сечении " +
           Fixed(b.VenaPressure, 3) + " (давление по сечению принято постоянным)\n";
  }
  out += "  давление в сечении отсоса " + Fixed(b.SuctionPressure, 3) + ", среднее полное давление " +
         Fixed(b.SuctionTotalPressure, 3) + "\n" + "  доля пульсаций в потоке импульса: " +
         Fixed(100 * b.FluctuationShareVena, 1) + " % и " + Fixed(100 * b.FluctuationShareSuction, 1) + " %\n";
  if (b.PressureAcross) {
    out += "  при постоянном давлении по сечениям было бы ζ = " + Fixed(b.ZetaUniform, 3) + "\n";
  }
  return out;
}

}  // namespace mdv
