// The main window's reports as exact texts.
#include <gtest/gtest.h>

#include <cctype>
#include <sstream>
#include <vector>

#include "core/model/area.h"
#include "core/flow/circulation.h"
#include "core/base/numfmt.h"
#include "core/analysis/reports.h"

namespace mdv {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream in(text);
  std::string line;
  while (std::getline(in, line, '\r')) out.push_back(line);
  return out;
}

// Default area with known circulations: attached sum 0,5, one free vortex -0,25.
Model StateWithKnownCirculations() {
  Model m;
  BuildArea(m);
  for (int32_t i = 0; i < m.AttachedCount; ++i) m.Vortices[i].Gamma = 0;
  m.Vortices[10].Gamma = 0.25L;
  m.Vortices[200].Gamma = 0.25L;
  m.FreeVortexCount = 1;
  m.Vortices[m.AttachedCount] = TVortex{{-0.2L, 0.3L}, -0.25L};
  return m;
}

TEST(Reports, SpeedAtPointKeepsTheTypedCoordinates) {
  const Model m = StateWithKnownCirculations();
  const Real vx = CalcVelocity(m, {0.1L, 0.05L}, {1, 0}, -1);
  const Real vy = CalcVelocity(m, {0.1L, 0.05L}, {0, 1}, -1);
  ASSERT_NE(FormatFixed(vx, 6, 4), "0,0000") << "the test needs a flow at the point";
  EXPECT_EQ(SpeedAtPointText(m, "0,10", " 0,05", 0.1L, 0.05L),
            "Скорость воздуха в точке (0,10; 0,05):\r  Vx = " + FormatFixed(vx, 6, 4) +
                " м/с\r  Vy = " + FormatFixed(vy, 6, 4) + " м/с");
}

TEST(Reports, InformationReportOnTheDefaults) {
  const Model m = StateWithKnownCirculations();
  const std::vector<std::string> lines = Lines(InformationReportText(m));
  ASSERT_EQ(lines.size(), 17u + 2u);
  const char* xs[] = {"0,15", "0,2", "0,25", "0,3", "0,35", "0,4", "0,45", "0,5", "0,55",
                      "0,6",  "0,65", "0,7", "0,75", "0,8", "0,85", "0,9", "0,95"};
  for (int k = 0; k < 17; ++k) {
    const std::string head = std::string("Средняя скорость по профилю x = ") + xs[k] + ":  ";
    EXPECT_EQ(lines[k].rfind(head, 0), 0u) << lines[k];
    const std::string& l = lines[k];
    ASSERT_GT(l.size(), head.size() + 6);
    EXPECT_EQ(l.substr(l.size() - 5), "м/с") << l;
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(l[l.size() - 6]))) << "no blank before the unit: " << l;
    EXPECT_EQ(l[l.size() - 11], ',') << "five decimals: " << l;
  }
  // An independent mean for the profile at x = 0,5.
  Real sum = 0;
  for (int i = 0; i < 50; ++i) sum += CalcVelocity(m, {0.5L, 0.15L * i / 50}, {1, 0}, -1);
  EXPECT_EQ(lines[7], "Средняя скорость по профилю x = 0,5:  " + FormatFixed(sum / 50, 7, 5) + "м/с");
  EXPECT_EQ(lines[17], "Сумма циркуляций присоединенных вихрей = 0,50000");
  EXPECT_EQ(lines[18], "Сумма циркуляций всех вихрей = 0,25000");
}

TEST(Reports, NoProfilesWhenTheSuctionSectionIsNearTheMouth) {
  Model m = StateWithKnownCirculations();
  m.SuctionX = 0.15L;
  const std::vector<std::string> lines = Lines(InformationReportText(m));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("Сумма циркуляций присоединенных вихрей", 0), 0u);
}

TEST(Reports, TestCommandFindsThePointInside) { EXPECT_EQ(TestCommandText(), "yes"); }

}  // namespace
}  // namespace mdv
