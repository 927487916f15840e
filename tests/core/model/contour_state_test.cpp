#include "core/model/contour_state.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "core/model/area_validation.h"
#include "core/model/contour_area.h"
#include "core/model/vortex_file.h"
#include "core/model_fixtures.h"

namespace fs = std::filesystem;

namespace mdv {
namespace {

// A contour area with a few free rings, a time and a step of its own.
Model ContourModel() {
  Model p;
  p.FlangeAngle = Pi / 4;
  Model m;
  m.HoodContour = ParametricContour(p);
  m.HoodContour.Name = "Проба";
  m.ContourArea = true;
  m.MaxFreeVortex = 7;
  BuildArea(m);
  for (int32_t i = 0; i < m.AttachedCount; ++i) m.Vortices[i].Gamma = 1e-3L * i / 3;
  for (int32_t k = 0; k < 3; ++k) m.Vortices[m.AttachedCount + k] = TVortex{{0.1L * k / 3, 0.12L + k / 7.0L}, -0.01L / 3};
  m.FreeVortexCount = 3;
  m.Time = 1.0L / 3;
  m.Dt = 0.0025L;
  return m;
}

class ContourState : public ::testing::Test {
 protected:
  void SetUp() override { file_ = fs::temp_directory_path() / ("mdv_cstate_" + std::to_string(::getpid())); }
  void TearDown() override { fs::remove(file_); }
  fs::path file_;
};

// Saved and loaded through the commands' one pair of functions: the same
// contour, rings, time and step, to the bit; a parametric file loaded after
// it makes the area parametric again.
TEST_F(ContourState, RoundTripThroughTheStateFunctions) {
  const Model saved = ContourModel();
  std::string error;
  ASSERT_TRUE(SaveVortexFile(saved, file_.string(), error)) << error;
  Model m;
  ASSERT_TRUE(LoadVortexState(m, file_.string(), error)) << error;
  EXPECT_TRUE(m.ContourArea);
  EXPECT_EQ(m.HoodContour.Name, "Проба");
  EXPECT_EQ(m.AttachedCount, saved.AttachedCount);
  EXPECT_EQ(m.FreeVortexCount, 3);
  EXPECT_EQ(m.MaxFreeVortex, 7);
  EXPECT_EQ(m.Time, saved.Time);
  EXPECT_EQ(m.Dt, saved.Dt);
  EXPECT_EQ(m.CalcPoints.size(), saved.CalcPoints.size());
  for (int32_t i = 0; i < saved.AttachedCount + 3; ++i) {
    ASSERT_EQ(m.Vortices[i].Pos.X, saved.Vortices[i].Pos.X) << i;
    ASSERT_EQ(m.Vortices[i].Pos.Y, saved.Vortices[i].Pos.Y) << i;
    ASSERT_EQ(m.Vortices[i].Gamma, saved.Vortices[i].Gamma) << i;
  }
  Model parametric;
  BuildArea(parametric);
  ASSERT_TRUE(SaveVortexFile(parametric, file_.string(), error)) << error;
  ASSERT_TRUE(LoadVortexState(m, file_.string(), error)) << error;
  EXPECT_FALSE(m.ContourArea);
  EXPECT_EQ(m.AttachedCount, parametric.AttachedCount);
}

// Each damage refused, and the model left as it was.
TEST_F(ContourState, DamageIsRefusedAndTheModelKept) {
  const Bytes good = EncodeContourState(ContourModel());
  const auto refused = [&](Bytes data, const char* why) {
    Model m;
    BuildArea(m);
    const int32_t before = m.AttachedCount;
    std::string error;
    EXPECT_FALSE(DecodeContourState(data.data(), data.size(), m, error)) << why;
    EXPECT_NE(error.find(why), std::string::npos) << error;
    EXPECT_FALSE(m.ContourArea);
    EXPECT_EQ(m.AttachedCount, before);
  };
  refused(Bytes(good.begin(), good.end() - 1), "длина файла");
  Bytes moved = good;
  // The third attached ring's x, a millimetre off.
  const size_t at = ContourStateHeaderSize + static_cast<size_t>(GetInt32(good.data() + 36)) + 2 * ContourStateRingSize;
  PutExt(moved.data() + at, GetExt(moved.data() + at) + 1e-3L);
  refused(moved, "присоединенный вихрь 3 не там, где его ставит контур");
  // The header's counts, each out of its range.
  const auto header = [&](size_t at, int32_t value) {
    Bytes b = good;
    PutInt32(b.data() + at, value);
    return b;
  };
  refused(header(36, 0), "длина текста контура (0 байт)");
  refused(header(36, MaxContourTextBytes + 1), "длина текста контура");
  refused(header(40, 0), "число присоединенных вихрей (0)");
  refused(header(44, -1), "число свободных вихрей (-1)");
  refused(header(44, MaxFreeVortexLimit + 1), "число свободных вихрей");
  refused(header(48, -1), "наибольшее число свободных вихрей (-1)");
  refused(header(48, MaxFreeVortexLimit + 1), "наибольшее число свободных вихрей");
  refused(Bytes(good.begin(), good.begin() + ContourStateHeaderSize - 1), "меньше заголовка");
  Bytes text = good;
  const std::string key = "spacing";
  const auto it = std::search(text.begin(), text.end(), key.begin(), key.end());
  ASSERT_NE(it, text.end());
  *it = 'S';  // an unknown key
  refused(text, "контур");
  Bytes version = good;
  PutInt32(version.data() + 32, 2);
  refused(version, "версия формата 2");
}

}  // namespace
}  // namespace mdv
