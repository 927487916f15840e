// The contour's checks: each class of refusal once, with the point it names,
// and the ring count and suction section of a sound contour by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/model/area_validation.h"
#include "core/model/contour_validation.h"

namespace mdv {
namespace {

// A tube in a flange with a rounded inlet (radius 0,06 m), as the bellmouth example.
Contour Bellmouth() {
  Contour c;
  c.Start = {1.2L, 0.17L};
  c.Wall = {{{0.02L, 0.17L}, 0}, {{0.02L, 0.6L}, 0},         {{0, 0.6L}, 0},
            {{0, 0.21L}, 0},     {{0.06L, 0.15L}, 0.06L},   {{1.2L, 0.15L}, 0}};
  c.SuctionX = 1;
  c.PlaneX = -4;
  c.PlaneRadius = 0.5L;
  c.Spacing = 0.01L;
  return c;
}

TEST(ContourValidation, SoundContourPassesWithItsCountAndSection) {
  const Contour c = Bellmouth();
  EXPECT_EQ(ValidateContour(c), "");
  // 118 + 43 + 2 + 39 + round(0,03π / 0,01) = 9 + 114 on the wall, 15 on the
  // section, 50 on the plane and one at its rim.
  EXPECT_EQ(ContourAttachedCount(c), 118 + 43 + 2 + 39 + 9 + 114 + 15 + 50 + 1);
  TRealPoint top;
  int segment = -1;
  bool in = false;
  ASSERT_TRUE(ContourSuctionTop(c, top, segment, in));
  EXPECT_EQ(segment, 5);
  EXPECT_TRUE(in);
  EXPECT_NEAR(static_cast<double>(top.Y), 0.15, 1e-15);
  // A section through the rounded inlet meets the arc where (x - R)² + (r - B - R)² = R².
  Contour arc = c;
  arc.SuctionX = 0.03L;
  ASSERT_TRUE(ContourSuctionTop(arc, top, segment, in));
  EXPECT_EQ(segment, 4);
  EXPECT_NEAR(static_cast<double>(top.Y), 0.21 - std::sqrt(0.06 * 0.06 - 0.03 * 0.03), 1e-15);
  EXPECT_EQ(ValidateContour(arc), "");
  // A narrowing channel: the section meets the sloped inner wall between its ends.
  Contour cone = c;
  cone.Wall[5].End.Y = 0.1L;
  ASSERT_TRUE(ContourSuctionTop(cone, top, segment, in));
  EXPECT_NEAR(static_cast<double>(top.Y), 0.15 - 0.05 * 0.94 / 1.14, 1e-15);
}

TEST(ContourValidation, RefusalsNameTheSegmentOrPoint) {
  struct Case {
    const char* Name;
    Contour C;
    std::vector<const char*> Expected;
  };
  std::vector<Case> cases;
  auto add = [&](const char* name, auto change, std::vector<const char*> expected) {
    Contour c = Bellmouth();
    change(c);
    cases.push_back({name, c, expected});
  };
  add("non-finite", [](Contour& c) { c.Wall[2].End.Y = NAN; }, {"точки 3", "конечным"});
  add("one segment", [](Contour& c) { c.Wall.resize(1); }, {"двух отрезков"});
  add("below the axis", [](Contour& c) { c.Wall[0].End.Y = -0.01L; }, {"точка 1 (0,02; -0,01)", "r < 0"});
  add("zero length", [](Contour& c) { c.Wall[1].End = c.Wall[0].End; }, {"Отрезок 2", "нулевую длину"});
  add("short radius", [](Contour& c) { c.Wall[4].ArcRadius = 0.042L; },
      {"отрезок 5 стенки (от (0; 0,21) до (0,06; 0,15))", "меньше половины"});
  add("along the axis", [](Contour& c) { c.Wall[3].End.Y = 0; c.Wall[4].End.Y = 0; },
      {"касается оси", "отрезок 4 стенки (от (0; 0,6) до (0; 0))"});
  // Both ends at r = 0,02, the arc's centre at (0,05; 0,0532): its lowest point at r < 0.
  add("arc through the axis", [](Contour& c) { c.Wall[3].End = {0, 0.02L}; c.Wall[4] = {{0.1L, 0.02L}, 0.06L}; },
      {"касается оси", "отрезок 5"});
  add("spacing", [](Contour& c) { c.Spacing = 0; }, {"положительным"});
  add("supply out of range", [](Contour& c) { c.SupplySegment = 6; }, {"притока 7", "от 1 до 6"});
  add("corner out of range", [](Contour& c) { c.SheddingCorners = {2, 6}; }, {"отрыва 6", "от 1 до 5"});
  add("corner twice", [](Contour& c) { c.SheddingCorners = {2, 2}; }, {"без повторов"});
  add("angle", [](Contour& c) { c.SeparationAngle = Pi; }, {"180"});
  add("wall ends before the section", [](Contour& c) { c.SuctionX = 1.2L; }, {"Конец стенки (1,2; 0,15)"});
  add("section misses the wall", [](Contour& c) { c.SuctionX = -1; }, {"x = -1 м", "не встречает"});
  add("section inside the solid",
      [](Contour& c) {
        c.Start = {1.2L, 0.12L};  // an outer surface below the channel's wall
        c.Wall[0].End = {0.02L, 0.12L};
        c.Wall[1].End.X = 0.02L;
      },
      {"не на внутренней", "отрезок 1 стенки"});
  add("plane through the hood", [](Contour& c) { c.PlaneX = 0.01L; }, {"Экран (x = 0,01 м)", "(0; 0,6)"});
  add("plane within one spacing", [](Contour& c) { c.PlaneX = -0.01L; }, {"Экран (x = -0,01 м)", "(0; 0,6)"});
  add("coarse spacing", [](Contour& c) { c.Spacing = 0.02L; },
      {"на отрезке 3 стенки (от (0,02; 0,6) до (0; 0,6))", "меньше двух", "0,013 м"});
  add("coarse for the section", [](Contour& c) { c.Wall[4].End.Y = c.Wall[5].End.Y = 0.012L; c.Wall[4].ArcRadius = 0.2L; },
      {"на всасывающем сечении"});
  add("too many rings", [](Contour& c) { c.Spacing = 0.0005L; }, {"Слишком много", "4000"});
  add("self-crossing",
      [](Contour& c) {
        c.Start = {1.2L, 0.17L};
        c.Wall = {{{0, 0.17L}, 0}, {{0, 0.3L}, 0}, {{0.5L, 0.3L}, 0}, {{0.5L, 0.1L}, 0}, {{1.2L, 0.1L}, 0}};
      },
      {"пересекает сама себя", "отрезки 1 и 4", "(0,5; 0,17)"});
  add("touching itself",
      [](Contour& c) {
        c.Start = {1.2L, 0.17L};
        c.Wall = {{{0, 0.17L}, 0}, {{0, 0.3L}, 0}, {{0.5L, 0.3L}, 0}, {{0.5L, 0.17L}, 0}, {{0.5L, 0.1L}, 0},
                  {{1.2L, 0.1L}, 0}};
      },
      {"пересекает сама себя", "отрезки 1 и 4", "(0,5; 0,17)"});
  add("folding back", [](Contour& c) { c.Wall.push_back({{1.1L, 0.15L}, 0}); },
      {"налегают", "Отрезки 6 и 7", "точка 6 (1,2; 0,15)"});
  for (const Case& k : cases) {
    const std::string message = ValidateContour(k.C);
    EXPECT_FALSE(message.empty()) << k.Name;
    for (const char* e : k.Expected) EXPECT_NE(message.find(e), std::string::npos) << k.Name << ": " << message;
  }
}

}  // namespace
}  // namespace mdv
