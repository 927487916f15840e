// The area checks shared by the dialog, the file loader and the batch tool.
#include <gtest/gtest.h>

#include <cmath>

#include "core/area.h"
#include "core/area_validation.h"

namespace mdv {
namespace {

const std::string Signs =
    "Параметры области должны быть положительными\r(угол наклона может быть нулевым)";
const std::string Channel =
    "Длина всасывающего канала должна быть\rбольше либо равна абсциссе всасывающего отрезка.";
const std::string Plane = "Плоскость должна находиться левее козырька";

AreaParameters Defaults() { return AreaParametersOf(Model{}); }

Real Degrees(Real deg) { return deg / 180 * Pi; }

TEST(AreaValidation, FirstFailingMessageInTheDialogsOrder) {
  struct Row {
    const char* name;
    void (*change)(AreaParameters&);
    std::string expected;  // empty: accepted; otherwise the start of the message
  } rows[] = {
      {"defaults", [](AreaParameters&) {}, ""},
      {"flat flange and no supply air", [](AreaParameters& p) { p.FlangeAngle = 0; p.InflowSpeed = 0; }, ""},
      {"flange at 90 degrees", [](AreaParameters& p) { p.FlangeAngle = Pi / 2; }, ""},
      {"suction section at the channel end", [](AreaParameters& p) { p.SuctionX = p.ChannelLength; }, ""},
      {"plane exactly at the flange end",
       [](AreaParameters& p) { p.PlaneX = -p.FlangeLength * std::cos(p.FlangeAngle); }, ""},
      {"zero wall thickness", [](AreaParameters& p) { p.WallThickness = 0; }, Signs},
      {"zero spacing", [](AreaParameters& p) { p.VortexSpacing = 0; }, Signs},
      {"negative radius", [](AreaParameters& p) { p.ChannelRadius = -0.15L; }, Signs},
      {"negative angle", [](AreaParameters& p) { p.FlangeAngle = -0.1L; }, Signs},
      {"negative supply speed", [](AreaParameters& p) { p.InflowSpeed = -1; }, Signs},
      {"NaN suction speed", [](AreaParameters& p) { p.SuctionSpeed = std::nanl(""); }, Signs},
      {"signs before the channel check",
       [](AreaParameters& p) { p.WallThickness = 0; p.SuctionX = 5; }, Signs},
      {"suction section beyond the channel", [](AreaParameters& p) { p.SuctionX = 1.3L; }, Channel},
      {"channel check before the plane check",
       [](AreaParameters& p) { p.SuctionX = 1.3L; p.PlaneX = 0; }, Channel},
      {"plane right of the flange end", [](AreaParameters& p) { p.PlaneX = -0.4L; }, Plane},
      {"plane of no size", [](AreaParameters& p) { p.PlaneHalfLength = 0; }, "Полудлина плоскости"},
      {"flange leaning back", [](AreaParameters& p) { p.FlangeAngle = Degrees(100); }, "Угол наклона"},
      {"channel shorter than the corner shift",
       [](AreaParameters& p) { p.SuctionX = 0.001L; p.ChannelLength = 0.005L; },
       "Длина всасывающего канала слишком мала"},
      {"flange shorter than the corner shift",
       [](AreaParameters& p) { p.FlangeAngle = Degrees(60); p.FlangeLength = 0.01L; },
       "Длина козырька слишком мала"},
      {"spacing giving too many vortices", [](AreaParameters& p) { p.VortexSpacing = 0.0001L; },
       "Слишком много присоединенных вихрей"},
      {"infinite channel", [](AreaParameters& p) { p.ChannelLength = HUGE_VALL; }, Signs},
  };
  for (const Row& r : rows) {
    AreaParameters p = Defaults();
    r.change(p);
    const std::string message = ValidateAreaParameters(p);
    if (r.expected.empty()) {
      EXPECT_EQ(message, "") << r.name;
    } else {
      EXPECT_EQ(message.rfind(r.expected, 0), 0u) << r.name << ": got \"" << message << "\"";
    }
  }
}

TEST(AreaValidation, ExpectedCountMatchesTheBuild) {
  struct Row {
    const char* name;
    void (*change)(AreaParameters&);
  } rows[] = {
      {"defaults", [](AreaParameters&) {}},
      {"flat flange", [](AreaParameters& p) { p.FlangeAngle = 0; }},
      {"steep flange, thick wall", [](AreaParameters& p) { p.FlangeAngle = Degrees(80); p.WallThickness = 0.05L; }},
      {"coarse spacing", [](AreaParameters& p) { p.VortexSpacing = 0.037L; }},
  };
  for (const Row& r : rows) {
    AreaParameters p = Defaults();
    r.change(p);
    ASSERT_EQ(ValidateAreaParameters(p), "") << r.name;
    Model m;
    SetAreaParameters(m, p);
    BuildArea(m);
    EXPECT_EQ(ExpectedAttachedCount(p), m.AttachedCount) << r.name;
  }
  EXPECT_EQ(ExpectedAttachedCount(Defaults()), 396);
}

TEST(AreaValidation, RunParameters) {
  EXPECT_EQ(ValidateRunParameters(0.005L, 1, 400), "");
  EXPECT_EQ(ValidateRunParameters(0.005L, -1, 0), "") << "an end before the start makes no step";
  EXPECT_NE(ValidateRunParameters(0, 1, 400), "");
  EXPECT_NE(ValidateRunParameters(-0.005L, 1, 400), "");
  EXPECT_NE(ValidateRunParameters(0.005L, 1, -1), "");
  EXPECT_NE(ValidateRunParameters(0.005L, 1, int64_t(MaxFreeVortexLimit) + 1), "");
  EXPECT_NE(ValidateRunParameters(std::nanl(""), 1, 4), "");
}

}  // namespace
}  // namespace mdv
