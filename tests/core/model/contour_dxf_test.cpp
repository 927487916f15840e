// DXF export and import: the wall comes back within 1e-9 m with its arcs'
// signed radii, an arc over 180° as two halves, and files without a wall
// are refused.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>

#include "core/model/contour_dxf.h"

namespace mdv {
namespace {

constexpr double Tolerance = 1e-9;  // m

Contour Sample() {
  Contour c;
  c.Start = {1.2L, 0.17L};
  // A left-turning rounded inlet, a right-turning bump and a wide left arc.
  c.Wall = {{{0.02L, 0.17L}, 0},       {{0.02L, 0.6L}, 0},   {{0, 0.6L}, 0},       {{0, 0.21L}, 0},
            {{0.06L, 0.15L}, 0.06L},   {{0.5L, 0.15L}, 0},   {{0.7L, 0.15L}, -0.1L}, {{1.2L, 0.15L}, 0.4L}};
  c.SuctionX = 1;
  c.PlaneX = -4;
  c.PlaneRadius = 0.5L;
  return c;
}

void ExpectNearContour(const Contour& a, const Contour& b) {
  ASSERT_EQ(a.Wall.size(), b.Wall.size());
  EXPECT_NEAR(static_cast<double>(a.Start.X), static_cast<double>(b.Start.X), Tolerance);
  EXPECT_NEAR(static_cast<double>(a.Start.Y), static_cast<double>(b.Start.Y), Tolerance);
  for (size_t k = 0; k < a.Wall.size(); ++k) {
    EXPECT_NEAR(static_cast<double>(a.Wall[k].End.X), static_cast<double>(b.Wall[k].End.X), Tolerance) << k;
    EXPECT_NEAR(static_cast<double>(a.Wall[k].End.Y), static_cast<double>(b.Wall[k].End.Y), Tolerance) << k;
    EXPECT_NEAR(static_cast<double>(a.Wall[k].ArcRadius), static_cast<double>(b.Wall[k].ArcRadius), Tolerance) << k;
  }
}

TEST(ContourDxf, RoundTripKeepsPointsArcsSectionAndPlane) {
  const Contour c = Sample();
  const std::string dxf = WriteContourDxf(c);
  EXPECT_NE(dxf.find("\nWALL\n"), std::string::npos);
  EXPECT_NE(dxf.find("\n1200.0\n"), std::string::npos) << "millimetres";
  Contour defaults;
  defaults.SuctionX = 7;
  defaults.PlaneX = -7;
  defaults.Spacing = 0.005L;
  Contour back;
  std::string error;
  ASSERT_TRUE(ReadContourDxf(dxf, defaults, back, error)) << error;
  ExpectNearContour(c, back);
  EXPECT_NEAR(static_cast<double>(back.SuctionX), 1, Tolerance) << "from the SUCTION line";
  EXPECT_NEAR(static_cast<double>(back.PlaneX), -4, Tolerance);
  EXPECT_NEAR(static_cast<double>(back.PlaneRadius), 0.5, Tolerance);
  EXPECT_EQ(back.Spacing, 0.005L) << "what DXF does not hold comes from the defaults";
}

TEST(ContourDxf, ImportSplitsLongArcsAndTakesDefaultsWithoutLines) {
  // An LWPOLYLINE on another layer: a 270° counter-clockwise arc (bulge
  // tan(270°/4)) from (100, 100) to (0, 0) mm, then a line; no SUCTION or PLANE.
  char b[32];
  std::snprintf(b, sizeof b, "%.17g", std::tan(3 * std::numbers::pi / 8));
  const std::string dxf = "0\nSECTION\n2\nENTITIES\n0\nLWPOLYLINE\n8\nOUTLINE\n90\n3\n70\n0\n"
                          "10\n100\n20\n100\n42\n" + std::string(b) + "\n10\n0\n20\n0\n10\n500\n20\n0\n0\nENDSEC\n0\nEOF\n";
  Contour defaults;
  defaults.SuctionX = 0.3L;
  Contour c;
  std::string error;
  ASSERT_TRUE(ReadContourDxf(dxf, defaults, c, error)) << error;
  ASSERT_EQ(c.Wall.size(), 3u) << "the long arc as two";
  // Chord 0,1414 m, θ = 270°: radius = chord / (2 sin 135°) = 0,1 m.
  EXPECT_NEAR(static_cast<double>(c.Wall[0].ArcRadius), 0.1, 1e-12);
  EXPECT_NEAR(static_cast<double>(c.Wall[1].ArcRadius), 0.1, 1e-12);
  // Counter-clockwise over 270° the centre is (0; 0,1): the start at 0°, the
  // end at 270°, the midpoint at 135°.
  const TRealPoint mid = c.Wall[0].End;
  EXPECT_NEAR(static_cast<double>(mid.X), -0.1 * std::sqrt(0.5), 1e-12);
  EXPECT_NEAR(static_cast<double>(mid.Y), 0.1 + 0.1 * std::sqrt(0.5), 1e-12);
  EXPECT_NEAR(static_cast<double>(c.Wall[2].End.X), 0.5, 1e-12);
  EXPECT_EQ(c.SuctionX, 0.3L);
}

// The sample's DXF with the suction line's first x moved by 1 mm.
std::string Slanted() {
  std::string t = WriteContourDxf(Sample());
  const std::string from = "SUCTION\n 10\n1000.0";
  return t.replace(t.find(from), from.size(), "SUCTION\n 10\n1001.0");
}

TEST(ContourDxf, RefusesFilesWithoutAnOpenWall) {
  const struct {
    const char* Name;
    std::string Text;
    const char* Why;
  } cases[] = {
      {"lines only", "0\nSECTION\n2\nENTITIES\n0\nLINE\n8\n0\n10\n0\n20\n0\n11\n1\n21\n1\n0\nENDSEC\n0\nEOF\n",
       "нет полилинии"},
      {"closed", "0\nSECTION\n2\nENTITIES\n0\nLWPOLYLINE\n8\nWALL\n90\n3\n70\n1\n10\n0\n20\n1\n10\n1\n20\n1\n10\n1\n20\n2\n0\nENDSEC\n0\nEOF\n",
       "замкнута"},
      {"one vertex", "0\nSECTION\n2\nENTITIES\n0\nLWPOLYLINE\n8\nWALL\n90\n1\n70\n0\n10\n0\n20\n1\n0\nENDSEC\n0\nEOF\n",
       "меньше двух"},
      {"slanted section", Slanted(), "не вертикальна"},
  };
  for (const auto& k : cases) {
    Contour out;
    out.Name = "untouched";
    std::string error;
    EXPECT_FALSE(ReadContourDxf(k.Text, Contour{}, out, error)) << k.Name;
    EXPECT_NE(error.find(k.Why), std::string::npos) << k.Name << ": " << error;
    EXPECT_EQ(out.Name, "untouched") << k.Name;
  }
}

}  // namespace
}  // namespace mdv
