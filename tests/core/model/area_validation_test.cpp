// The area checks shared by the dialog, the file loader and the batch tool.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "core/model/area.h"
#include "core/model/area_validation.h"
#include "core/flow/circulation.h"
#include "core/flow/run.h"

namespace mdv {
namespace {

const std::string Signs =
    "Параметры области должны быть положительными\r(угол наклона может быть нулевым)";
const std::string Channel =
    "Длина всасывающего канала должна быть\rбольше либо равна абсциссе всасывающего отрезка.";
const std::string Plane = "Плоскость должна находиться левее козырька";
const std::string Coarse = "Расстояние между расчетными точками слишком велико:\r";
const std::string Gap = "Плоскость расположена слишком близко к козырьку:\r";

AreaParameters Defaults() { return AreaParametersOf(Model{}); }

Real Degrees(Real deg) { return deg / 180 * Pi; }

TEST(AreaValidation, FirstFailingMessageInTheDialogsOrder) {
  struct Row {
    const char* name;
    void (*change)(AreaParameters&);
    std::string expected;  // empty: accepted; otherwise the start of the message
  } rows[] = {
      {"defaults", [](AreaParameters&) {}, ""},
      {"flat flange and no supply air",
       [](AreaParameters& p) { p.FlangeAngle = 0; p.InflowSpeed = 0; p.PlaneX = -0.6L; }, ""},
      {"thin wall: the supply slot may carry one vortex", [](AreaParameters& p) { p.WallThickness = 0.004L; }, ""},
      {"flange at 90 degrees", [](AreaParameters& p) { p.FlangeAngle = Pi / 2; }, ""},
      {"suction section at the channel end", [](AreaParameters& p) { p.SuctionX = p.ChannelLength; }, ""},
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
      // A spacing too coarse for the contour: a rib (the slot aside) with one vortex.
      {"spacing of 1 m", [](AreaParameters& p) { p.VortexSpacing = 1; }, Coarse},
      {"channel radius of 5 mm",
       [](AreaParameters& p) { p.ChannelRadius = 0.005L; p.ChannelLength = 0.5L; p.SuctionX = 0.4L; },
       Coarse + "на всасывающем отрезке получается меньше двух\rприсоединенных вихрей. "
                "Уменьшите его до 0,0033 м."},
      {"channel radius of 1 mm: no spacing within the count",
       [](AreaParameters& p) { p.ChannelRadius = 0.001L; },
       Coarse + "на всасывающем отрезке получается меньше двух\rприсоединенных вихрей. При меньшем "
                "расстоянии их было бы\rболее 4000"},
      {"plane of 1 cm", [](AreaParameters& p) { p.PlaneHalfLength = 0.01L; }, Coarse + "на плоскости"},
      // A plane closer to the hood than one spacing.
      {"plane exactly at the flange end",
       [](AreaParameters& p) { p.PlaneX = -p.FlangeLength * std::cos(p.FlangeAngle); }, Gap},
      {"plane a hair from the tip", [](AreaParameters& p) { p.PlaneX = -0.4331L; },
       Gap + "зазор 0,0000873 м меньше расстояния между\rрасчетными точками (0,01 м)."},
      {"flat flange's tip on the default plane", [](AreaParameters& p) { p.FlangeAngle = 0; }, Gap},
      // The gap is taken to the hood's nearest point, not to the tip's x:
      // a small plane in the mouth of a flat flange is clear of it.
      {"small plane in the mouth of a flat flange",
       [](AreaParameters& p) { p.FlangeAngle = 0; p.PlaneHalfLength = 0.1L; }, ""},
      {"plane just under one spacing from the tip",
       [](AreaParameters& p) { p.PlaneX = -p.FlangeLength * std::cos(p.FlangeAngle) - 0.0099L; }, Gap},
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

TEST(AreaValidation, SpacingProposedByARefusalIsAccepted) {
  for (const Real radius : {Real(0.15L), Real(0.005L)}) {
    AreaParameters p = Defaults();
    p.ChannelRadius = radius;
    p.VortexSpacing = 1;
    const std::string refusal = ValidateAreaParameters(p);
    const size_t at = refusal.find("Уменьшите его до ");
    ASSERT_NE(at, std::string::npos) << refusal;
    std::string proposed = refusal.substr(at + std::string("Уменьшите его до ").size());
    std::replace(proposed.begin(), proposed.end(), ',', '.');
    p.VortexSpacing = std::stold(proposed.substr(0, proposed.find(' ')));
    EXPECT_EQ(ValidateAreaParameters(p), "") << "radius " << double(radius) << ", proposed " << proposed;
  }
}

TEST(AreaValidation, ExpectedCountMatchesTheBuild) {
  struct Row {
    const char* name;
    void (*change)(AreaParameters&);
  } rows[] = {
      {"defaults", [](AreaParameters&) {}},
      {"flat flange", [](AreaParameters& p) { p.FlangeAngle = 0; p.PlaneX = -0.6L; }},
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

TEST(AreaValidation, GeometryJustInsideTheRulesCarriesAFlow) {
  // Beyond the limits the issue saw 7·10¹⁶ m/s (plane 0,1 mm from the tip) and
  // -958 847 m/s (spacing 1 m); just inside them a short run stays within a
  // few times the suction speed and keeps its rings off the axis.
  constexpr Real Bounded = 20;  // m/s; the defaults give about 1,6
  const std::pair<const char*, void (*)(AreaParameters&)> rows[] = {
      {"flat flange 1,01 spacings from the plane", [](AreaParameters& p) { p.FlangeAngle = 0; p.PlaneX = -0.5101L; }},
      {"suction section of two vortices", [](AreaParameters& p) { p.ChannelRadius = 0.015L; }},
      {"plane of two vortices", [](AreaParameters& p) { p.PlaneHalfLength = 0.015L; }},
  };
  for (const auto& [name, change] : rows) {
    Model m;
    AreaParameters p = AreaParametersOf(m);
    change(p);
    ASSERT_EQ(ValidateAreaParameters(p), "") << name;
    SetAreaParameters(m, p);
    ASSERT_EQ(RunSimulation(m, 100, 0, 0, 0.05L, 0.005L).HowEnded, RunSummary::End::TimeLimit) << name;
    for (int32_t i = m.AttachedCount; i < m.AttachedCount + m.FreeVortexCount; ++i)
      EXPECT_GT(m.Vortices[i].Pos.Y, 0) << name << ", free vortex " << i;
    for (Real x = -0.3L; x < 0.9L; x += 0.1L) {
      for (Real y = 0.02L; y < 0.6L; y += 0.1L) {
        Real u = 0, v = 0;
        CalcVelocityPair(m, {x, y}, -1, u, v);
        EXPECT_LT(std::hypot(u, v), Bounded) << name << " at (" << double(x) << ", " << double(y) << ")";
      }
    }
  }
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
