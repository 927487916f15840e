// The contour file: exact round trips, expressions and overrides, refusals
// naming the key, and the example of the default hood against BuildArea.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "core/model/area.h"
#include "core/model/contour_file.h"
#include "core/model/model.h"

namespace mdv {
namespace {

// Bit-for-bit equality of two extended values (0.1L and 0.1 differ).
bool Same(Real a, Real b) { return std::memcmp(&a, &b, 10) == 0; }

void ExpectSameContour(const Contour& a, const Contour& b) {
  EXPECT_EQ(a.Name, b.Name);
  EXPECT_TRUE(Same(a.Start.X, b.Start.X) && Same(a.Start.Y, b.Start.Y));
  ASSERT_EQ(a.Wall.size(), b.Wall.size());
  for (size_t k = 0; k < a.Wall.size(); ++k) {
    EXPECT_TRUE(Same(a.Wall[k].End.X, b.Wall[k].End.X) && Same(a.Wall[k].End.Y, b.Wall[k].End.Y)) << "segment " << k;
    EXPECT_TRUE(Same(a.Wall[k].ArcRadius, b.Wall[k].ArcRadius)) << "segment " << k;
  }
  EXPECT_EQ(a.SupplySegment, b.SupplySegment);
  for (auto [x, y] : {std::pair{a.SupplySpeed, b.SupplySpeed}, {a.SuctionX, b.SuctionX},
                      {a.SuctionSpeed, b.SuctionSpeed}, {a.PlaneX, b.PlaneX}, {a.PlaneRadius, b.PlaneRadius},
                      {a.Spacing, b.Spacing}, {a.SeparationAngle, b.SeparationAngle}})
    EXPECT_TRUE(Same(x, y)) << static_cast<double>(x) << " vs " << static_cast<double>(y);
  EXPECT_EQ(a.SheddingCorners, b.SheddingCorners);
  ASSERT_EQ(a.Parameters.size(), b.Parameters.size());
  for (size_t i = 0; i < a.Parameters.size(); ++i) {
    EXPECT_EQ(a.Parameters[i].Name, b.Parameters[i].Name);
    EXPECT_TRUE(Same(a.Parameters[i].Value, b.Parameters[i].Value));
  }
}

const char* const Bellmouth = R"(format = "rinfet-mdv contour"
version = 1
name = "Раструб \"r/D = 0,2\""
spacing = "0.01"
[parameters]
B = 0.15
R = 0.06
[suction]
x = 1
speed = 1.5
[plane]
x = -4.0
radius = 0.5
[supply]
segment = 2
speed = 0.75
[separation]
angle = 45
corners = [3, 2]
[wall]
start = [1.2, "B + 0.02"]
segments = [
  { to = [0.02, 0.17] }, { to = [0.02, 0.6] }, { to = [0, 0.6] }, { to = [0, "B + R"] },
  { to = ["R", "B"], radius = "R" },
  { to = [1.2, "B"] },
  { to = [1.3, 0.1], radius = -1e-1 },
]
)";

TEST(ContourFile, ReadsAndRoundTripsBitForBit) {
  Contour c;
  std::string error;
  ASSERT_TRUE(ReadContourText(Bellmouth, c, error)) << error;
  EXPECT_EQ(c.Name, "Раструб \"r/D = 0,2\"");
  EXPECT_TRUE(Same(c.Spacing, 0.01L)) << "a quoted number is read as the extended value";
  EXPECT_EQ(c.SupplySegment, 1) << "the file counts segments from 1";
  EXPECT_EQ(c.SheddingCorners, (std::vector<int>{2, 3})) << "kept in wall order";
  EXPECT_TRUE(Same(c.SeparationAngle, Real(45) / 180 * Pi));
  ASSERT_EQ(c.Wall.size(), 7u);
  EXPECT_TRUE(Same(c.Wall[4].ArcRadius, Real(0.06)));
  EXPECT_TRUE(Same(c.Wall[6].ArcRadius, Real(-0.1)));
  EXPECT_TRUE(Same(c.Start.Y, Real(0.15) + 0.02L)) << "B a double, the quoted 0.02 extended";

  const std::string text = WriteContourText(c);
  Contour again;
  ASSERT_TRUE(ReadContourText(text, again, error)) << error << "\n" << text;
  ExpectSameContour(c, again);
  EXPECT_EQ(WriteContourText(again), text);

  // Values no double holds, a negative zero and a separation angle that is
  // not a whole number of degrees survive as well.
  c.PlaneX = -4.000000000000000000001L;
  c.Wall[3].End.X = -0.0L;
  c.SeparationAngle = 0.7L;
  c.SupplySegment = -1;
  c.SupplySpeed = 0;  // without a supply face the file holds no speed
  ASSERT_TRUE(ReadContourText(WriteContourText(c), again, error)) << error << "\n" << WriteContourText(c);
  ExpectSameContour(c, again);
  EXPECT_TRUE(std::signbit(again.Wall[3].End.X));
}

TEST(ContourFile, ExpressionsFollowArithmeticRules) {
  const std::vector<ContourParameter> p{{"R", 0.06L}, {"B_2", 2}};
  const struct {
    const char* Text;
    Real Value;
  } good[] = {{"1 + 2 * 3", 7},       {"(1 + 2) * 3", 9},      {"8 / 4 / 2", 1},   {"2 - 3 - 4", -5},
              {"-2 * -3", 6},         {"--R", 0.06L},          {"R*B_2", 0.12L},   {"1.5e-3 * 1E3", 1.5L},
              {".5 + 5.", 5.5L},      {"-(R + 0.04) / B_2", -0.05L}};
  for (const auto& g : good) {
    Real v = 0;
    std::string error;
    ASSERT_TRUE(EvaluateContourExpression(g.Text, p, v, error)) << g.Text << ": " << error;
    EXPECT_NEAR(static_cast<double>(v), static_cast<double>(g.Value), 1e-15) << g.Text;
  }
  static const std::string deep(200, '(');
  const struct {
    const char* Text;
    const char* Why;
  } bad[] = {{"1 / (R - R)", "деление на ноль"}, {"2 *", "обрывается"},   {"(1 + 2", "скобки"},
             {"D", "«D»"},                        {"1 2", "лишний"},      {"1e", "порядок"},
             {"0,5", "лишний знак «,»"},          {".", "точка без цифр"}, {deep.c_str(), "вложенность"}};
  for (const auto& b : bad) {
    Real v = 0;
    std::string error;
    EXPECT_FALSE(EvaluateContourExpression(b.Text, p, v, error)) << b.Text;
    EXPECT_NE(error.find(b.Why), std::string::npos) << b.Text << ": " << error;
  }
}

TEST(ContourFile, OverridesReplaceDeclaredParametersOnly) {
  Contour c;
  std::string error;
  // An override is rounded to a double, as the file's own numbers are (so a
  // saved state writes it back as a plain number).
  ASSERT_TRUE(ReadContourText(Bellmouth, c, error, {{"R", 0.03L}})) << error;
  EXPECT_TRUE(Same(c.Wall[3].End.Y, Real(0.15) + Real(0.03)));
  EXPECT_TRUE(Same(c.Wall[4].ArcRadius, Real(0.03)));
  ASSERT_EQ(c.Parameters.size(), 2u);
  EXPECT_TRUE(Same(c.Parameters[1].Value, Real(0.03))) << "the file written again holds the swept value";

  Contour kept = c;
  EXPECT_FALSE(ReadContourText(Bellmouth, c, error, {{"D", 0.3L}}));
  EXPECT_NE(error.find("parameters.D"), std::string::npos) << error;
  ExpectSameContour(c, kept);
}

TEST(ContourFile, RefusalsNameTheKey) {
  const std::string base(Bellmouth);
  auto with = [&](const std::string& from, const std::string& to) {
    std::string t = base;
    t.replace(t.find(from), from.size(), to);
    return t;
  };
  const struct {
    std::string Text;
    const char* Key;
  } cases[] = {
      {with("format = \"rinfet-mdv contour\"", "format = \"rinfet-mdv study\""), "«format»"},
      {with("version = 1", "version = 2"), "«version»"},
      {with("version = 1", "version = \"1\""), "«version»"},
      {with("speed = 1.5", "speed = 1.5\ndiameter = 3"), "«suction.diameter»"},
      {with("x = -4.0", "x = true"), "«plane.x»"},
      {with("{ to = [0, 0.6] }", "{ to = [0] }"), "«wall.segments[3].to»"},
      {with("radius = \"R\"", "radius = \"R +\""), "«wall.segments[5].radius»"},
      {with("radius = \"R\"", "r = 1"), "«wall.segments[5].r»"},
      {with("corners = [3, 2]", "corners = [7]"), "«separation.corners»"},
      {with("B = 0.15", "B = \"0.15\""), "«parameters.B»"},
      {with("B = 0.15", "\"2B\" = 0.15"), "«parameters.2B»"},
      {with("[plane]\nx = -4.0\nradius = 0.5\n", ""), "«plane»"},
      {with("segment = 2", "segment = 2.5"), "«supply.segment»"},
  };
  for (const auto& c : cases) {
    Contour out;
    std::string error;
    EXPECT_FALSE(ReadContourText(c.Text, out, error)) << c.Key;
    EXPECT_NE(error.find(c.Key), std::string::npos) << c.Key << ": " << error;
  }
  Contour out;
  std::string error;
  EXPECT_FALSE(ReadContourText("format = \n", out, error));
  EXPECT_NE(error.find("строка 1"), std::string::npos) << error;
}

TEST(ContourFile, DefaultHoodExampleHasBuildAreasPoints) {
  Contour c;
  std::string error;
  ASSERT_TRUE(ReadContourFile(std::string(MDV_SOURCE_DIR) + "/examples/contours/flanged-hood.toml", c, error))
      << error;
  Model m;
  BuildArea(m);
  ASSERT_EQ(c.Wall.size(), 5u);
  for (int k = 0; k < 5; ++k) {
    const TRealPoint a = ContourVertex(c, k), b = c.Wall[static_cast<size_t>(k)].End;
    const TRib& rib = m.BodyRibs[static_cast<size_t>(k)];
    EXPECT_TRUE(Same(a.X, rib.P1.X) && Same(a.Y, rib.P1.Y) && Same(b.X, rib.P2.X) && Same(b.Y, rib.P2.Y))
        << "rib " << k << ": " << static_cast<double>(a.X) << " " << static_cast<double>(rib.P1.X);
  }
  EXPECT_EQ(c.SupplySegment, m.InflowRib);
  EXPECT_TRUE(Same(c.SuctionX, m.SuctionX) && Same(c.PlaneX, m.PlaneX) && Same(c.PlaneRadius, m.PlaneHalfLength) &&
              Same(c.Spacing, m.VortexSpacing) && Same(c.SupplySpeed, m.InflowSpeed));
}

}  // namespace
}  // namespace mdv
