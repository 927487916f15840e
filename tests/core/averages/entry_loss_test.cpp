// The momentum-balance entry loss against closed forms: a jet of known
// contraction that mixes out gives Borda–Carnot's (1/C_c − 1)², a jet that has
// not mixed out has lost nothing yet, and each fluctuation and cross-flow term
// moves ζ_M by the amount worked by hand.
#include "core/averages/entry_loss.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/averages/averaging.h"
#include "core/model_fixtures.h"

namespace mdv {
namespace {

constexpr double B = 0.15;  // m
constexpr double V0 = 1.3;  // the channel's mean speed, m/s
const double Area = std::acos(-1.0) * B * B;

Model Hood() {
  Model m;
  m.FlangeAngle = 30 * Pi / 180;
  m.PlaneX = -2;
  BuildArea(m);
  return m;
}

// Per section: jet strips k (a uniform jet of area ratio (k/30)² carrying
// πB²v0, the rest at rest), vx variance inside the jet, uniform vy.
struct Section {
  int Strips = 30;
  double Variance = 0;  // m²/s²
  double Vy = 0;        // m/s
};

struct Profiles {
  std::vector<double> Vx, Var, Vy;
};

Profiles Make(const std::vector<Section>& sections) {
  Profiles p;
  for (const Section& s : sections) {
    for (int j = 0; j < ContractionSectionPoints; ++j) {
      const bool jet = j < s.Strips;
      p.Vx.push_back(jet ? V0 * 900.0 / (s.Strips * s.Strips) : 0.0);
      p.Var.push_back(jet ? s.Variance : 0.0);
      p.Vy.push_back(s.Vy);
    }
  }
  return p;
}

TEST(EntryLoss, MomentumBalanceOfSyntheticJets) {
  const Model m = Hood();
  const size_t n = ContractionSectionXs(m).size();
  ASSERT_GE(n, 7u);
  const double cc = 484.0 / 900;  // 22 of 30 strips
  const double bc = (1 / cc - 1) * (1 / cc - 1);
  // Vena contracta at section 2 (22 strips), mixed out from section 4 on.
  // The last section's vy on the two before it as well, so that ∂v̄r/∂x = 0
  // there and the pressure stays uniform across it.
  const auto sections = [&](Section vena, Section last) {
    std::vector<Section> s(n);
    s[1].Strips = 26;
    s[2] = vena;
    s[3].Strips = 25;
    s[n - 3].Vy = s[n - 2].Vy = last.Vy;
    s.back() = last;
    return s;
  };
  struct Row {
    const char* Name;
    std::vector<Section> Sections;
    double Zeta;
  };
  const double var = 0.09, vy = 0.2;  // m²/s², m/s
  const std::vector<Row> rows = {
      {"mixed out, no fluctuations: Borda–Carnot", sections({22}, {30}), bc},
      // M_c grows by var·C_c·A: p_s and p̄t_s rise by var·C_c.
      {"fluctuation in the vena's jet", sections({22, var}, {30}), bc - 2 * var * cc / (V0 * V0)},
      // M_s grows by var·A: p_s falls by var.
      {"fluctuation across the last section", sections({22}, {30, var}), bc + 2 * var / (V0 * V0)},
      // The energy flux grows by v0·vy²·A: p̄t_s rises by vy²/2.
      {"cross-flow at the last section", sections({22}, {30, 0, vy}), bc - vy * vy / (V0 * V0)},
      // The jet still at the last section: its core keeps its total pressure.
      {"not mixed out yet", sections({22}, {22}), 0.0},
  };
  for (const Row& row : rows) {
    ASSERT_EQ(row.Sections.size(), n);
    const Profiles p = Make(row.Sections);
    const std::vector<double> wall(n, 0.5);
    ContractionSummary c = SummariseContraction(m, p.Vx, wall);
    // Without the radial velocity's variance: the uniform-pressure balance.
    ContractionSummary uniform = c;
    AddSectionMomentum(uniform, B, p.Vx, p.Var, p.Vy);
    EXPECT_FALSE(BalanceMomentum(uniform, B).PressureAcross) << row.Name;
    EXPECT_NEAR(BalanceMomentum(uniform, B).Zeta, row.Zeta, 1e-12) << row.Name;
    // Top-hat jets, v̄r the same at every point of a section: the radial
    // momentum leaves the pressure uniform, the same ζ_M.
    AddSectionMomentum(c, B, p.Vx, p.Var, p.Vy, std::vector<double>(p.Vx.size(), 0.0), 0.005);
    ASSERT_TRUE(c.HasVenaContracta) << row.Name;
    EXPECT_NEAR(c.VenaCc, cc, 1e-12) << row.Name;
    EXPECT_NEAR(c.ZetaBC, bc, 1e-12) << row.Name << ": Borda–Carnot sees no fluctuations";
    const MomentumBalance b = BalanceMomentum(c, B);
    ASSERT_TRUE(b.Known) << row.Name;
    EXPECT_TRUE(b.PressureAcross) << row.Name;
    EXPECT_NEAR(b.VenaWallPressure, 0, 1e-12) << row.Name;
    EXPECT_NEAR(b.Zeta, row.Zeta, 1e-12) << row.Name;
    EXPECT_NEAR(b.ZetaUniform, row.Zeta, 1e-12) << row.Name;
    EXPECT_NEAR(b.ChannelSpeed, V0, 1e-12) << row.Name;
    EXPECT_NEAR(b.CoreSpeed, V0 / cc, 1e-12) << row.Name;
    EXPECT_NEAR(b.VenaPressure, -1 / (cc * cc), 1e-12) << row.Name << ": Bernoulli from rest";
    EXPECT_EQ(b.VenaX, c.VenaX) << row.Name;
    EXPECT_EQ(b.SuctionX, c.Sections.back().X) << row.Name;
    EXPECT_NEAR(b.FluctuationShareVena, row.Sections[2].Variance / (V0 * V0 / (cc * cc) + row.Sections[2].Variance),
                1e-12)
        << row.Name;
  }
  // Every section's sums: section 1, 26 strips at v0·900/676.
  const std::vector<Section> all = sections({22, var}, {30, var, vy});
  const Profiles p = Make(all);
  ContractionSummary c = SummariseContraction(m, p.Vx, std::vector<double>(n, 0.5));
  AddSectionMomentum(c, B, p.Vx, p.Var, p.Vy);
  for (size_t k = 0; k < n; ++k) {
    const Section& s = all[k];
    const double ratio = s.Strips * s.Strips / 900.0, u = V0 / ratio;
    EXPECT_NEAR(c.Sections[k].MomentumFlux, (u * u + s.Variance) * ratio * Area, 1e-12) << k;
    EXPECT_NEAR(c.Sections[k].EnergyFlux, V0 * (u * u + s.Vy * s.Vy) * Area, 1e-12) << k;
    EXPECT_NEAR(c.Sections[k].VxMax, u, 1e-12) << k;
  }
}

TEST(EntryLoss, PressureAcrossASectionFromTheRadialMomentum) {
  const Model m = Hood();
  const std::vector<Real> xs = ContractionSectionXs(m);
  const size_t n = xs.size(), points = ContractionSectionPoints;
  const double gap = static_cast<double>(m.VortexSpacing) / 2;
  const auto radiusOf = [&](size_t j) { return std::min((j + 0.5) * B / points, B - gap); };
  // A point sink at (xs, 0) upstream of the sections: irrotational, so the
  // pressure across every section is Bernoulli's, p − p_axis = −(|V|² − |V_axis|²)/2.
  const double strength = 0.05, sinkX = -2 * B;  // m³/s / 4π, m
  std::vector<double> vx, vy, zero(n * points, 0.0);
  for (size_t k = 0; k < n; ++k) {
    for (size_t j = 0; j < points; ++j) {
      const double dx = static_cast<double>(xs[k]) - sinkX, r = radiusOf(j);
      const double d3 = std::pow(dx * dx + r * r, 1.5);
      vx.push_back(-strength * dx / d3);
      vy.push_back(-strength * r / d3);
    }
  }
  ContractionSummary c = SummariseContraction(m, vx, std::vector<double>(n, 0.0));
  AddSectionMomentum(c, B, vx, zero, vy, zero, gap);
  for (size_t k = 0; k < n; ++k) {
    const auto v2 = [&](size_t j) { return vx[k * points + j] * vx[k * points + j] + vy[k * points + j] * vy[k * points + j]; };
    double integral = 0;
    for (size_t j = 0; j < points; ++j) integral += -(v2(j) - v2(0)) / 2 * 2 * std::acos(-1.0) * (j + 0.5) * (B / points) * (B / points);
    const double wall = -(v2(points - 1) - v2(0)) / 2;
    // 5-point differences over B/4 and the trapezoid rule: within 1 % of the
    // fall (0,9 % at the first section, one-sided, 2,25 B from the sink).
    EXPECT_NEAR(c.Sections[k].WallPressure, wall, 0.01 * std::abs(wall)) << "x = " << xs[k];
    EXPECT_NEAR(c.Sections[k].PressureIntegral, integral, 0.01 * std::abs(integral)) << "x = " << xs[k];
    EXPECT_NEAR(c.Sections[k].AxisHead, v2(0) / 2, 1e-15) << "x = " << xs[k];
  }

  // Uniform axial flow, v̄r = 0, a radial variance a·r²: ∂p/∂r/ρ = −∂v′r²/∂r
  // − v′r²/r = −3ar, p − p_axis = −3a(r² − r0²)/2 (the trapezoid is exact).
  const double a = 4.0;  // 1/s²
  std::vector<double> ux(n * points, V0), var;
  for (size_t k = 0; k < n; ++k)
    for (size_t j = 0; j < points; ++j) var.push_back(a * radiusOf(j) * radiusOf(j));
  ContractionSummary u = SummariseContraction(m, ux, std::vector<double>(n, V0));
  AddSectionMomentum(u, B, ux, zero, zero, var, gap);
  const double r0 = radiusOf(0), rw = radiusOf(points - 1);
  double integral = 0;
  for (size_t j = 0; j < points; ++j)
    integral += -1.5 * a * (radiusOf(j) * radiusOf(j) - r0 * r0) * 2 * std::acos(-1.0) * (j + 0.5) * (B / points) * (B / points);
  for (size_t k = 0; k < n; ++k) {
    EXPECT_NEAR(u.Sections[k].WallPressure, -1.5 * a * (rw * rw - r0 * r0), 1e-12) << k;
    EXPECT_NEAR(u.Sections[k].PressureIntegral, integral, 1e-12) << k;
    EXPECT_NEAR(u.Sections[k].PressureFlux, V0 * integral, 1e-12) << k;
  }
}

// The potential flow of the bare contour (no free vortices) loses nothing:
// the balance must give ζ_M ≈ 0 for the flanged and the re-entrant inlet.
TEST(EntryLoss, LosslessFlowOfTheBareContour) {
  for (const double alphaDeg : {90.0, 0.0}) {
    Model m;
    m.FlangeAngle = static_cast<Real>(alphaDeg) * Pi / 180;
    m.InflowSpeed = 0;
    m.PlaneX = -4;
    m.PlaneHalfLength = 0.2L;
    BuildArea(m);
    test::SolveAttached(m);
    AveragingSettings a;
    a.AverageFrom = 0;
    a.SampleEverySteps = 1;
    a.ZoneEverySamples = 0;
    AveragingState s;
    StartAveraging(s, m, a);
    FeedStep(s, m);
    const ContractionSummary c = SummariseAveraging(s, m).Contraction;
    const MomentumBalance b = BalanceMomentum(c, B);
    ASSERT_TRUE(b.Known && b.PressureAcross) << alphaDeg;
    // Measured 0,006 (α = 90°) and −0,008 (α = 0): the differences over B/4.
    EXPECT_NEAR(b.Zeta, 0, 0.015) << "α = " << alphaDeg << "°, uniform pressure would give " << b.ZetaUniform;
    EXPECT_EQ(c.ZetaM, b.Zeta);
    // The section by the mouth is far from uniform in pressure: what the
    // uniform balance missed.
    EXPECT_GT(b.ZetaUniform, 0.1) << alphaDeg;
    EXPECT_LT(b.VenaWallPressure, -0.2) << "faster by the wall than on the axis, so lower in pressure";
    const std::string text = MomentumBalanceText(b);
    EXPECT_NE(text.find("скорость на оси"), std::string::npos) << text;
    EXPECT_NE(text.find("при постоянном давлении по сечениям было бы ζ = 0,2"), std::string::npos) << text;
  }
}

TEST(EntryLoss, BordasMouthpieceAndWhatIsNotKnown) {
  // Hand-built sections: C_c = 0,5, the jet at 2v0, mixed out downstream.
  ContractionSummary c;
  c.HasVenaContracta = true;
  c.VenaX = 0.1;
  c.VenaCc = 0.5;
  ContractionSection vena{0.1, 0.3, Area * V0, 0.5, -0.2, 2 * Area * V0 * V0, 4 * Area * V0 * V0 * V0, 2 * V0};
  ContractionSection last{0.8, 2.7, Area * V0, 1.0, 0.1, Area * V0 * V0, Area * V0 * V0 * V0, V0};
  c.Sections = {vena, last};
  EXPECT_NEAR(BalanceMomentum(c, B).Zeta, 1.0, 1e-12) << "Borda: C_c = 0,5 gives 1";
  EXPECT_NEAR(BalanceMomentum(c, B).SuctionPressure, -2.0, 1e-12);
  EXPECT_NEAR(BalanceMomentum(c, B).SuctionTotalPressure, -1.0, 1e-12);

  // A file written before the sums: not known, and no text.
  ContractionSummary old = c;
  old.Sections[1].EnergyFlux = std::nan("");
  EXPECT_FALSE(BalanceMomentum(old, B).Known);
  EXPECT_EQ(MomentumBalanceText(BalanceMomentum(old, B)), "");
  old = c;
  old.Sections[0].MomentumFlux = std::nan("");
  EXPECT_FALSE(BalanceMomentum(old, B).Known);
  old = c;
  old.HasVenaContracta = false;
  EXPECT_FALSE(BalanceMomentum(old, B).Known);
  old = c;
  old.Sections[1].Flux = 0;
  EXPECT_FALSE(BalanceMomentum(old, B).Known) << "no flux at the suction section: no velocity pressure";

  EXPECT_FALSE(BalanceMomentum(c, 0).Known) << "no channel";
  old = c;
  old.Sections.clear();
  EXPECT_FALSE(BalanceMomentum(old, B).Known) << "no sections";
  // Profiles shorter than the sections need leave the sums unknown.
  ContractionSummary shortOne = c;
  shortOne.Sections[0].MomentumFlux = shortOne.Sections[1].MomentumFlux = std::nan("");
  const std::vector<double> full(2 * ContractionSectionPoints, 1.0), cut(2 * ContractionSectionPoints - 1, 1.0);
  for (int which = 0; which < 3; ++which) {
    AddSectionMomentum(shortOne, B, which == 0 ? cut : full, which == 1 ? cut : full, which == 2 ? cut : full);
    EXPECT_TRUE(std::isnan(shortOne.Sections[1].MomentumFlux)) << "short array " << which;
  }
  AddSectionMomentum(shortOne, 0, full, full, full);
  EXPECT_TRUE(std::isnan(shortOne.Sections[1].MomentumFlux)) << "no channel";

  // Borda's 1 whatever the speed (a slow channel, v0 = 0,4 m/s, too).
  ContractionSummary slow = c;
  for (ContractionSection& sec : slow.Sections) {
    const double k = 0.4 / V0;
    sec.Flux *= k;
    sec.MomentumFlux *= k * k;
    sec.EnergyFlux *= k * k * k;
    sec.VxMax *= k;
  }
  EXPECT_NEAR(BalanceMomentum(slow, B).Zeta, 1.0, 1e-12);
  EXPECT_NEAR(BalanceMomentum(slow, B).ChannelSpeed, 0.4, 1e-12);

  // A fifth of each momentum flux in the fluctuations: M_c = 2,5 and M_s =
  // 1,25 (in ρv0²πB²) give ζ_M = 4 − 5 + 2,5 − 1 = 0,5.
  ContractionSummary fluctuating = c;
  fluctuating.Sections[0].MomentumFlux = 2.5 * Area * V0 * V0;
  fluctuating.Sections[1].MomentumFlux = 1.25 * Area * V0 * V0;
  EXPECT_NEAR(BalanceMomentum(fluctuating, B).Zeta, 0.5, 1e-12);
  EXPECT_NE(MomentumBalanceText(BalanceMomentum(fluctuating, B)).find("в потоке импульса: 20,0 % и 20,0 %"),
            std::string::npos)
      << MomentumBalanceText(BalanceMomentum(fluctuating, B));

  // The text: decimal commas, the terms in velocity pressures.
  const std::string text = MomentumBalanceText(BalanceMomentum(c, B));
  EXPECT_NE(text.find("между x = 0,100 м и x = 0,800 м"), std::string::npos) << text;
  EXPECT_NE(text.find("скорость ядра струи 2,6000 м/с, давление в сжатом сечении -4,000"), std::string::npos)
      << text;
  EXPECT_NE(text.find("давление в сечении отсоса -2,000, среднее полное давление -1,000"), std::string::npos)
      << text;
}

}  // namespace
}  // namespace mdv
