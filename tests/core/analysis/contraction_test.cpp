// The mouth from the geometry against hand-computed points, the contraction
// coefficient of synthetic profiles against their closed forms, and the vena
// contracta and reattachment found from made-up sections.
#include "core/analysis/contraction.h"
#include "core/base/numfmt.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/analysis/centreline.h"
#include "core/model/contour_area.h"
#include "core/model_fixtures.h"

namespace mdv {
namespace {

Model Hood(Real alphaDeg, Real flangeLength = 0.5L) {
  Model m;
  m.FlangeAngle = alphaDeg * Pi / 180;
  m.FlangeLength = flangeLength;
  m.PlaneX = -2;
  BuildArea(m);
  return m;
}

TEST(Contraction, TheMouthIsTheEdgeWhereTheFlowEntersTheChannel) {
  const struct {
    const char* name;
    Real alphaDeg, flange, x, y;
  } rows[] = {
      {"default hood, α = 30°: the corner", 30, 0.5L, 0, 0.15L},
      {"flush flange, α = 90°: the corner", 90, 0.5L, 0, 0.15L},
      {"slight incline, α = 1°: the corner still sheds", 1, 0.5L, 0, 0.15L},
      {"re-entrant tube, α = 0: the flange's end", 0, 0.5L, -0.5L, 0.15L},
      {"re-entrant tube with a 0,3 m flange", 0, 0.3L, -0.3L, 0.15L},
  };
  for (const auto& r : rows) {
    const Model m = Hood(r.alphaDeg, r.flange);
    EXPECT_TRUE(test::PointNear(MouthEdge(m), {r.x, r.y}, 1e-15L)) << r.name;
    // The first centre-line station lies x/D = 0,1 in front of it.
    EXPECT_TRUE(test::RealNear(CentrelinePoint(m, 0.1).X, r.x - 0.03L, 1e-15L)) << r.name;
  }
  // With the flange inclined the stations are −x/D·2B to the bit, as before the mouth was found.
  const Model m = Hood(30);
  for (const double xd : CentrelineStations) {
    EXPECT_TRUE(test::SameBits(CentrelinePoint(m, xd).X, -static_cast<Real>(xd) * 2 * m.ChannelRadius)) << xd;
  }
}

TEST(Contraction, SectionsStartAtTheMouthAndKeepClearOfTheSuction) {
  const Model inclined = Hood(30), tube = Hood(0);
  const std::vector<Real> a = ContractionSectionXs(inclined), b = ContractionSectionXs(tube);
  // L = 1, B = 0,15: every 0,0375 m up to 0,925 m.
  ASSERT_EQ(a.size(), 24u);
  EXPECT_TRUE(test::RealNear(a.front(), 0.0375L, 1e-15L));
  EXPECT_TRUE(test::RealNear(a.back(), 0.9L, 1e-15L));
  ASSERT_EQ(b.size(), 38u) << "from −0,4625 to 0,925 m, the last place itself";
  EXPECT_TRUE(test::RealNear(b.front(), -0.4625L, 1e-15L));
  EXPECT_TRUE(test::RealNear(b.back(), 0.925L, 1e-15L));
  EXPECT_TRUE(test::RealNear(ContractionSectionPoint(tube, 0, 0).Y, 0.0025L, 1e-15L));
  EXPECT_TRUE(test::RealNear(ContractionSectionPoint(tube, 0, ContractionSectionPoints - 2).Y, 0.1425L, 1e-15L));
  EXPECT_TRUE(test::RealNear(ContractionSectionPoint(tube, 0, ContractionSectionPoints - 1).Y, 0.145L, 1e-15L))
      << "the last midpoint, 0,1475 m, lies within h/2 of the wall";
  EXPECT_TRUE(test::RealNear(ContractionWallPoint(tube, 0).Y, 0.14L, 1e-15L)) << "one spacing from the wall";
}

// Profile of a uniform jet of radius k/n·B at speed u over n strips.
std::vector<double> UniformJet(int k, double u = 2.5) {
  std::vector<double> vx(ContractionSectionPoints, 0.0);
  for (int j = 0; j < k; ++j) vx[static_cast<size_t>(j)] = u;
  return vx;
}

TEST(Contraction, CcOfSyntheticProfilesIsTheirClosedForm) {
  constexpr double B = 0.15;
  const double pi = std::acos(-1.0);
  for (const int k : {30, 21, 15, 1}) {
    const double ratio = (k / 30.0) * (k / 30.0);
    double flux = 0;
    EXPECT_NEAR(SectionCc(UniformJet(k), B, &flux), ratio, 1e-12) << "uniform jet over " << k << " strips";
    EXPECT_NEAR(flux, pi * ratio * B * B * 2.5, 1e-12) << k;
  }
  // Poiseuille profile u(1 − r²/B²): Q = πB²u/2, ∫u² dA = πB²u²/3, so C_c = 3/4
  // (midpoint rule over 30 strips: within 1e-3).
  std::vector<double> parabola(ContractionSectionPoints);
  for (int j = 0; j < ContractionSectionPoints; ++j) {
    const double y = (j + 0.5) / ContractionSectionPoints;
    parabola[static_cast<size_t>(j)] = 1.7 * (1 - y * y);
  }
  EXPECT_NEAR(SectionCc(parabola, B), 0.75, 1e-3);
  // Reverse flow by the wall counts in the momentum flux, against the flux.
  std::vector<double> reverse = UniformJet(15, 4.0);
  for (int j = 15; j < 30; ++j) reverse[static_cast<size_t>(j)] = -1.0;
  // Q ∝ 4·(1/4) − (3/4) = 1/4, ∫vx² ∝ 16·(1/4) + 3/4 = 19/4: C_c = (1/16)/(19/4).
  EXPECT_NEAR(SectionCc(reverse, B), 1.0 / 76, 1e-12);
  EXPECT_TRUE(std::isnan(SectionCc(std::vector<double>(30, 0.0), B))) << "no flow: not known";
}

TEST(Contraction, VenaContractaAndReattachmentFromTheSections) {
  const Model m = Hood(30);
  const size_t n = ContractionSectionXs(m).size();
  const auto summary = [&](const std::vector<int>& jetStrips, const std::vector<double>& wall) {
    std::vector<double> profiles;
    for (size_t k = 0; k < n; ++k) {
      const std::vector<double> p = UniformJet(k < jetStrips.size() ? jetStrips[k] : 30);
      profiles.insert(profiles.end(), p.begin(), p.end());
    }
    std::vector<double> w(n, 0.5);
    for (size_t k = 0; k < wall.size(); ++k) w[k] = wall[k];
    return SummariseContraction(m, profiles, w);
  };
  const ContractionSummary c = summary({27, 24, 22, 23, 25, 28}, {0.2, -0.3, -0.1, 0.1, 0.3});
  ASSERT_TRUE(c.Present);
  EXPECT_EQ(c.MouthX, 0.0);
  EXPECT_EQ(c.MouthY, 0.15);
  ASSERT_EQ(c.Sections.size(), n);
  EXPECT_NEAR(c.Sections[1].Cc, 0.64, 1e-12);
  EXPECT_NEAR(c.Sections[1].XOverD, 0.25, 1e-12);
  EXPECT_NEAR(c.Sections.back().Cc, 1.0, 1e-12);
  EXPECT_EQ(c.Sections[3].VxWall, 0.1);
  ASSERT_TRUE(c.HasVenaContracta);
  EXPECT_NEAR(c.VenaCc, (22 / 30.0) * (22 / 30.0), 1e-12);
  EXPECT_NEAR(c.VenaX, 3 * 0.0375, 1e-12);
  EXPECT_NEAR(c.VenaXOverD, 0.375, 1e-12);
  EXPECT_NEAR(c.JetRadius, 0.11, 1e-12) << "22 of 30 strips of 0,15 m";
  // A jet of area ratio (22/30)² whose excess speed 900/484 − 1 is lost.
  EXPECT_NEAR(c.ZetaBC, (900.0 / 484 - 1) * (900.0 / 484 - 1), 1e-12);
  EXPECT_NEAR(BordaCarnotZeta(0.5), 1.0, 1e-15) << "Borda's mouthpiece";
  EXPECT_NEAR(BordaCarnotZeta(0.6), 4.0 / 9, 1e-15);
  EXPECT_EQ(BordaCarnotZeta(1.0), 0.0) << "no contraction, no loss";
  EXPECT_TRUE(c.Separated);
  ASSERT_TRUE(c.Reattached);
  EXPECT_NEAR(c.ReattachX, 3.5 * 0.0375, 1e-12) << "halfway between −0,1 and 0,1";
  EXPECT_NEAR(c.ReattachXOverD, 3.5 * 0.125, 1e-12);

  // The table: decimal commas, 6 decimals at most (flux π·0,64·0,15²·2,5 m³/s).
  const std::string csv = ContractionCsv(c);
  EXPECT_EQ(csv.substr(0, csv.find('\n')), "x [m];x/D;flux [m3/s];Cc;vx_wall [m/s]");
  EXPECT_NE(csv.find("\n0,075;0,25;0,113097;0,64;-0,3\n"), std::string::npos) << csv;

  const ContractionSummary attached = summary({}, {});
  EXPECT_FALSE(attached.Separated);
  EXPECT_FALSE(attached.Reattached);
  EXPECT_NEAR(attached.VenaCc, 1.0, 1e-12);
  EXPECT_NEAR(attached.VenaX, 0.0375, 1e-12) << "a tie keeps the first section";
  std::vector<double> reverse(n, -0.2);
  reverse[0] = 0.3;
  const ContractionSummary never = summary({}, reverse);
  EXPECT_TRUE(never.Separated);
  EXPECT_FALSE(never.Reattached) << "reverse flow to the last section";
  // Too few values: the mouth alone.
  const ContractionSummary empty = SummariseContraction(m, {}, {});
  EXPECT_TRUE(empty.Present);
  EXPECT_TRUE(empty.Sections.empty());
  EXPECT_FALSE(empty.HasVenaContracta);
  // One profile value short, or one wall value short, is as bad.
  const std::vector<double> full(n * ContractionSectionPoints, 1.0), walls(n, 0.5);
  EXPECT_TRUE(SummariseContraction(m, std::span(full).first(full.size() - 1), walls).Sections.empty());
  EXPECT_TRUE(SummariseContraction(m, full, std::span(walls).first(n - 1)).Sections.empty());
  EXPECT_EQ(SummariseContraction(m, full, walls).Sections.size(), n);

  // The vena contracta's place is a measurement only where its 95 % interval
  // lies below both neighbours' (C_c 0,64 | 0,538 | 0,588 here).
  struct Row {
    const char* name;
    double hwVena, hwUp, hwDown, ccUp;
    bool standsOut;
  } rows[] = {{"clear of both", 0.02, 0.02, 0.02, 0.64, true},
              {"downstream overlaps", 0.03, 0.03, 0.03, 0.64, false},
              {"upstream overlaps", 0.02, 0.02, 0.02, 0.56, false},
              {"own half-width unknown", NAN, 0.02, 0.02, 0.64, false},
              {"a neighbour's unknown", 0.02, 0.02, NAN, 0.64, false}};
  for (const Row& r : rows) {
    ContractionSummary v = c;
    v.Sections[1].Cc = r.ccUp;
    v.Sections[1].CcHalfWidth95 = r.hwUp;
    v.Sections[2].CcHalfWidth95 = r.hwVena;
    v.Sections[3].CcHalfWidth95 = r.hwDown;
    JudgeVenaContracta(v);
    EXPECT_EQ(v.VenaStandsOut, r.standsOut) << r.name;
  }
  ContractionSummary shown = c;
  for (ContractionSection& s : shown.Sections) s.CcHalfWidth95 = 0.02;
  JudgeVenaContracta(shown);

  // The text, figures to the decimals shown: the balance's ζ is the entry
  // loss, Borda–Carnot the contraction's estimate, the place only where it stands out.
  EXPECT_EQ(ContractionText(shown),
            "Устье (кромка входа в канал): x = 0,000 м, y = 0,150 м\n"
            "Сжатие струи Cc = 0,538 при x = 0,113 м (0,375 D от устья), радиус струи 0,1100 м\n"
            "Оценка по сжатию струи (Борда–Карно) ζ = (1/Cc − 1)² = 0,739\n"
            "Присоединение к стенке при x = 0,131 м (0,44 D от устья)\n");
  ContractionSummary flat = c;
  flat.ZetaM = 0.269;
  EXPECT_EQ(ContractionText(flat),
            "Устье (кромка входа в канал): x = 0,000 м, y = 0,150 м\n"
            "Потери на входе ζ = 0,269 (по балансу импульса от сжатого сечения до x = " +
                FormatFixed(c.Sections.back().X, 15, 3) + " м)\n"
            "Сжатие струи Cc = 0,538, радиус струи 0,1100 м; место сжатого сечения не выражено "
            "(Cc соседних сечений в пределах точности)\n"
            "Оценка по сжатию струи (Борда–Карно) ζ = (1/Cc − 1)² = 0,739\n"
            "Присоединение к стенке при x = 0,131 м (0,44 D от устья)\n");
  EXPECT_TRUE(ContractionText(never).ends_with("\nПоток не присоединяется к стенке в пределах канала\n"));
  EXPECT_TRUE(ContractionText(attached).ends_with("\nОбратного течения у стенки канала нет\n"));
}

// The jet's edge: from the profile's fastest point outward, where the mean
// axial velocity turns negative, between the points' own radii (those within
// h/2 of the wall sit h/2 from it).
TEST(Contraction, JetEdgeWhereTheMeanFlowTurnsBack) {
  const Model m = Hood(30);
  const size_t n = ContractionSectionXs(m).size();
  const double b = 0.15, h = static_cast<double>(m.VortexSpacing);
  const auto midpoint = [b](int j) { return b * (j + 0.5) / 30; };
  struct Row {
    const char* name;
    std::vector<double> profile;
    double edge, top;
  };
  std::vector<double> linear(30), offAxis(30, 1.0), atWall(30, 1.0), forward(30, 1.0);
  for (int j = 0; j < 30; ++j) linear[j] = 2 - 0.1 * j;  // zero at strip 20, negative from 21
  offAxis[0] = -0.1;  // reverse flow on the axis, the jet's top at strip 10
  offAxis[10] = 3;
  for (int j = 16; j < 30; ++j) offAxis[j] = -0.2;
  atWall[28] = 0.3;
  atWall[29] = -0.1;
  const double y28 = midpoint(28), y29 = b - h / 2;  // the last point sits h/2 from the wall
  ASSERT_LT(y28, b - h / 2);
  const std::vector<Row> rows = {
      {"zero exactly at a point", linear, midpoint(20), 2.0},
      {"scanned from the top, not from the axis", offAxis, midpoint(15) + (midpoint(16) - midpoint(15)) / 1.2, 3.0},
      {"the last point h/2 from the wall", atWall, y28 + (y29 - y28) * 0.75, 1.0},
      {"no reverse flow: the whole channel", forward, b, 1.0}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<double> profiles;
    for (size_t k = 0; k < n; ++k) profiles.insert(profiles.end(), r.profile.begin(), r.profile.end());
    const ContractionSummary c = SummariseContraction(m, profiles, std::vector<double>(n, 0.1));
    ASSERT_EQ(c.Sections.size(), n);
    for (const ContractionSection& s : c.Sections) {
      EXPECT_NEAR(s.ZeroRadius, r.edge, 1e-12);
      EXPECT_EQ(s.VxMax, r.top);
    }
  }
}

// A contour's mouth is where its inner wall becomes the channel: the
// parametric hood's edge at any angle, a rounded inlet's tangent point, a
// narrowing wall's last corner before the straight channel.
TEST(ContractionMouth, WhereTheContourBecomesTheChannel) {
  for (Real alpha : {0.0L, 30.0L, 90.0L}) {
    Model p;
    p.FlangeAngle = alpha / 180 * Pi;
    BuildArea(p);
    Model c;
    c.HoodContour = ParametricContour(p);
    c.ContourArea = true;
    BuildArea(c);
    EXPECT_TRUE(test::PointNear(MouthEdge(c), MouthEdge(p), 0)) << static_cast<double>(alpha);
  }
  Model m;
  m.ContourArea = true;
  m.HoodContour.Start = {1.2L, 0.17L};
  m.HoodContour.Wall = {{{0, 0.17L}, 0}, {{0, 0.15L}, 0}, {{0.06L, 0.09L}, -0.06L}, {{0.3L, 0.15L}, 0},
                        {{0.6L, 0.15L}, 0}, {{1.2L, 0.15L}, 0}};
  BuildArea(m);
  EXPECT_TRUE(test::PointNear(MouthEdge(m), {0.3L, 0.15L}, 0)) << "two straight stretches at B join";
  m.HoodContour.Wall = {{{0, 0.21L}, 0}, {{0.06L, 0.15L}, 0.06L}, {{1.2L, 0.15L}, 0}};
  BuildArea(m);
  EXPECT_TRUE(test::PointNear(MouthEdge(m), {0.06L, 0.15L}, 0)) << "the arc's end, not its start";
}

}  // namespace
}  // namespace mdv
