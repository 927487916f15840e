// Vortex files: the byte layout, a byte-identical round trip, and damaged
// files that must leave the model exactly as it was.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <limits>

#include "core/model/area.h"
#include "core/flow/run.h"
#include "core/analysis/streamlines.h"
#include "core/base/safe_file.h"
#include "core/model/vortex_file.h"

namespace fs = std::filesystem;

namespace mdv {
namespace {

// A built default area with three free vortices and non-zero circulations,
// as a stopped run would leave it.
Model RunLikeState() {
  Model m;
  BuildArea(m);
  SetSheddingIntervals(m, 0, 0, 0);
  for (int32_t i = 0; i < m.AttachedCount; ++i) m.Vortices[i].Gamma = 0.001L * (i % 7) - 0.003L;
  m.FreeVortexCount = 3;
  for (int32_t k = 0; k < 3; ++k) {
    TVortex& v = m.Vortices[m.AttachedCount + k];
    v.Pos = {-0.1L * (k + 1), 0.3L + 0.01L * k};
    v.Gamma = -0.02L * (k + 1);
  }
  m.Time = 0.015L;
  m.Dt = 0.005L;
  m.MaxFreeVortex = 400;
  m.Vortices.resize(m.AttachedCount + m.MaxFreeVortex);
  return m;
}

size_t FileSize(int32_t n, int32_t f) { return 193 + 104 * size_t(n) + 40 * size_t(f); }

class VortexFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("mdv_vortex_file_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  void Write(const std::string& path, const Bytes& b) {
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(path, b, error)) << error;
  }
  fs::path dir_;
};

TEST_F(VortexFile, LayoutRightAfterAnAreaBuild) {
  Model m;
  BuildArea(m);
  ASSERT_EQ(m.AttachedCount, 396);
  ASSERT_EQ(m.CalcPoints.size(), 395u);
  const Bytes b = EncodeVortexFile(m);
  ASSERT_EQ(b.size(), FileSize(396, 0));
  EXPECT_EQ(std::memcmp(b.data(), VortexFileSignature, 67), 0);
  EXPECT_EQ(GetInt32(&b[67]), 2);
  EXPECT_EQ(GetInt32(&b[71]), 0);
  EXPECT_EQ(GetExt(&b[75]), 0);
  EXPECT_EQ(GetExt(&b[85]), 0.005L);
  EXPECT_EQ(GetInt32(&b[95]), 100);
  EXPECT_EQ(GetInt32(&b[99]), 396);
  const Real params[9] = {0.15L, 1.0L, 1.2L, 0.5L, Pi / 6, 1.0L, 0.75L, 0.02L, 0.01L};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(GetExt(&b[103 + 10 * i]), params[i]) << "parameter " << i;
  // Control point 1: Pos, Normal with their padding, Vn, padding.
  const uint8_t* cp = &b[193 + 64];
  EXPECT_EQ(GetExt(cp + 0), m.CalcPoints[1].Pos.X);
  EXPECT_EQ(GetExt(cp + 10), m.CalcPoints[1].Pos.Y);
  EXPECT_EQ(GetExt(cp + 24), m.CalcPoints[1].Normal.X);
  EXPECT_EQ(GetExt(cp + 34), m.CalcPoints[1].Normal.Y);
  EXPECT_EQ(GetExt(cp + 48), m.CalcPoints[1].Vn);
  for (int k : {20, 21, 22, 23, 44, 45, 46, 47, 58, 59, 60, 61, 62, 63}) EXPECT_EQ(cp[k], 0) << k;
  // The end vortex has no control point: its record is all zeros.
  const uint8_t* last = &b[193 + 64 * 395];
  EXPECT_TRUE(std::all_of(last, last + 64, [](uint8_t c) { return c == 0; }));
  // Vortex 395, the end vortex at the plane's rim.
  const uint8_t* v = &b[193 + 64 * 396 + 40 * 395];
  EXPECT_EQ(GetExt(v), -0.5L);
  EXPECT_EQ(GetExt(v + 10), 0.4L);
}

TEST_F(VortexFile, RoundTripIsByteIdenticalUnderEitherExtension) {
  const Model saved = RunLikeState();
  std::string error;
  ASSERT_TRUE(SaveVortexFile(saved, Path("s.evt"), error)) << error;
  ASSERT_TRUE(SaveVortexFile(saved, Path("s.vrt"), error)) << error;
  Bytes evt, vrt;
  ASSERT_TRUE(ReadWholeFile(Path("s.evt"), evt, error));
  ASSERT_TRUE(ReadWholeFile(Path("s.vrt"), vrt, error));
  EXPECT_EQ(evt, vrt);
  EXPECT_EQ(evt.size(), FileSize(396, 3));

  Model loaded;  // another plane: the file's end vortex brings back its own
  loaded.PlaneX = -0.6L;
  ASSERT_TRUE(LoadVortexState(loaded, Path("s.vrt"), error)) << error;
  EXPECT_EQ(EncodeVortexFile(loaded), evt);
  EXPECT_EQ(loaded.PlaneX, -0.5L);
  EXPECT_EQ(loaded.BodyRibs[6].P1.X, -0.5L);
  EXPECT_EQ(loaded.FreeVortexCount, 3);
  EXPECT_EQ(loaded.Time, 0.015L);
  EXPECT_EQ(loaded.MaxFreeVortex, 400);
  EXPECT_EQ(loaded.CalcPoints.size(), 396u);
  EXPECT_EQ(loaded.Vortices.size(), 396u + 400u);
  EXPECT_EQ(loaded.SeparationCount, 3);
  EXPECT_EQ(loaded.Vortices[398].Gamma, -0.06L);

  Model plain;
  ASSERT_TRUE(LoadVortexFile(plain, Path("s.evt"), error)) << error;
  EXPECT_EQ(EncodeVortexFile(plain), evt);
}

TEST_F(VortexFile, MoreFreeVorticesThanTheLimitGrowTheArray) {
  Model saved = RunLikeState();
  Bytes b = EncodeVortexFile(saved);
  PutInt32(&b[95], 1);  // MaxFreeVortex 1 < F = 3
  Model m;
  std::string error;
  ASSERT_TRUE(DecodeVortexFile(b, m, error)) << error;
  EXPECT_EQ(m.MaxFreeVortex, 1);
  EXPECT_EQ(m.FreeVortexCount, 3);
  ASSERT_EQ(m.Vortices.size(), 396u + 3u);
  EXPECT_EQ(m.Vortices[398].Gamma, -0.06L);
}

TEST_F(VortexFile, DamagedFilesChangeNothing) {
  const Bytes good = EncodeVortexFile(RunLikeState());
  auto with = [&](auto change) {
    Bytes b = good;
    change(b);
    return b;
  };
  const size_t vortex0 = 193 + 64 * 396;
  const std::string lastVortex = "вихрь " + std::to_string((good.size() - vortex0) / 40 - 1);
  struct Row {
    const char* name;
    Bytes data;
    const char* reason;  // part of the message
  } rows[] = {
      {"empty", {}, "меньше заголовка"},
      {"shorter than the header", Bytes(good.begin(), good.begin() + 192), "меньше заголовка"},
      {"truncated by one byte", Bytes(good.begin(), good.end() - 1), "длина файла"},
      {"one byte too many", with([](Bytes& b) { b.push_back(0); }), "длина файла"},
      {"version 1", with([](Bytes& b) { PutInt32(&b[67], 1); }), "версия"},
      {"negative free count", with([](Bytes& b) { PutInt32(&b[71], -1); }), "отрицательное"},
      {"free count beyond the data", with([](Bytes& b) { PutInt32(&b[71], 0x7FFFFFFF); }), "длина файла"},
      {"negative limit", with([](Bytes& b) { PutInt32(&b[95], -5); }), "наибольшее"},
      {"absurd limit", with([](Bytes& b) { PutInt32(&b[95], 0x7FFFFFFF); }), "наибольшее"},
      {"no attached vortices", with([](Bytes& b) { PutInt32(&b[99], 0); }), "присоединенных"},
      {"negative attached count", with([](Bytes& b) { PutInt32(&b[99], -396); }), "присоединенных"},
      {"NaN time", with([](Bytes& b) { PutExt(&b[75], std::numeric_limits<Real>::quiet_NaN()); }), "время"},
      {"infinite parameter", with([](Bytes& b) { PutExt(&b[133], std::numeric_limits<Real>::infinity()); }),
       "параметр"},
      {"unnormal control point", with([](Bytes& b) { b[193 + 64 * 5 + 7] &= 0x7F; }), "расчетная точка 5"},
      {"NaN circulation", with([&](Bytes& b) {
         PutExt(&b[vortex0 + 40 * 398 + 24], std::numeric_limits<Real>::quiet_NaN());
       }), "вихрь 398"},
      // Every value of a record is judged where it lies, up to the file's last.
      {"NaN normal velocity", with([](Bytes& b) {
         PutExt(&b[193 + 64 * 394 + 48], std::numeric_limits<Real>::quiet_NaN());
       }), "расчетная точка 394"},
      {"infinite y of the last vortex", with([&](Bytes& b) {
         PutExt(&b[b.size() - 40 + 10], std::numeric_limits<Real>::infinity());
       }), lastVortex.c_str()},
  };
  for (const Row& r : rows) {
    Model m = RunLikeState();
    m.PlaneX = -0.7L;
    const Bytes before = EncodeVortexFile(m);
    const size_t vortices = m.Vortices.size();
    std::string error;
    EXPECT_FALSE(DecodeVortexFile(r.data, m, error)) << r.name;
    EXPECT_NE(error.find(r.reason), std::string::npos) << r.name << ": " << error;
    EXPECT_EQ(error.rfind("Файл повреждён: ", 0), 0u) << r.name << ": " << error;
    EXPECT_EQ(EncodeVortexFile(m), before) << r.name;
    EXPECT_EQ(m.Vortices.size(), vortices) << r.name;

    Write(Path("bad.evt"), r.data);
    Model state = RunLikeState();
    EXPECT_FALSE(LoadVortexState(state, Path("bad.evt"), error)) << r.name;
    EXPECT_NE(error.find(Path("bad.evt")), std::string::npos) << r.name << ": " << error;
    EXPECT_EQ(EncodeVortexFile(state), EncodeVortexFile(RunLikeState())) << r.name;
  }
}

TEST_F(VortexFile, StateItsParametersDoNotBuildIsRefused) {
  const Bytes good = EncodeVortexFile(RunLikeState());
  const size_t vortex0 = 193 + 64 * 396;
  const size_t endVortex = vortex0 + 40 * 395;
  auto with = [&](auto change) {
    Bytes b = good;
    change(b);
    return b;
  };
  Model few;
  BuildArea(few);
  few.AttachedCount = 5;
  struct Row {
    const char* name;
    Bytes data;
    const char* reason;  // part of the message; empty: accepted
  } rows[] = {
      // Another build may differ in the last bits of a sine.
      {"a vortex off by 1e-12 m", with([&](Bytes& b) { PutExt(&b[vortex0 + 40 * 17], GetExt(&b[vortex0 + 40 * 17]) + 1e-12L); }), ""},
      {"a vortex off by 1e-6 m", with([&](Bytes& b) { PutExt(&b[vortex0 + 40 * 17], GetExt(&b[vortex0 + 40 * 17]) + 1e-6L); }),
       "присоединенные вихри не соответствуют параметрам файла (вихрь 17 не на своем месте)"},
      {"a control point's normal turned", with([](Bytes& b) { PutExt(&b[193 + 64 * 200 + 24], 0.6L); }),
       "расчетная точка 200 не на своем месте"},
      // The plane comes from the end vortex: moved alone, the plane's rib
      // would carry other vortices than the file's.
      {"end vortex raised", with([&](Bytes& b) { PutExt(&b[endVortex + 10], 0.5L); }),
       "в файле 396, по параметрам должно быть 406"},
      {"end vortex right of the flange", with([&](Bytes& b) { PutExt(&b[endVortex], -0.3L); }),
       "Плоскость должна находиться левее козырька"},
      {"zero wall thickness", with([](Bytes& b) { PutExt(&b[173], 0); }), "положительными"},
      {"too few attached vortices", EncodeVortexFile(few), "недопустимы"},
  };
  for (const Row& r : rows) {
    Write(Path("s.evt"), r.data);
    Model m;
    m.PlaneX = -0.7L;
    BuildArea(m);
    const Bytes before = EncodeVortexFile(m);
    std::string error;
    const bool loaded = LoadVortexState(m, Path("s.evt"), error);
    if (std::string(r.reason).empty()) {
      EXPECT_TRUE(loaded) << r.name << ": " << error;
      EXPECT_EQ(m.PlaneX, -0.5L) << r.name;
      continue;
    }
    EXPECT_FALSE(loaded) << r.name;
    EXPECT_NE(error.find(r.reason), std::string::npos) << r.name << ": " << error;
    EXPECT_EQ(EncodeVortexFile(m), before) << r.name;
    EXPECT_EQ(m.PlaneX, -0.7L) << r.name;
  }
}

TEST_F(VortexFile, StateComesBackWithThePlaneItWasComputedWith) {
  // The case: a run with Px = -0,8, PL = 0,6, saved; the stream line
  // from (-0,6; 0,3) ran into a "wall" at x = -0,5 (the default plane) once
  // the state was loaded.
  Model run;
  run.PlaneX = -0.8L;
  run.PlaneHalfLength = 0.6L;
  BuildArea(run);
  SetSheddingIntervals(run, 0, 0, 0);
  ASSERT_EQ(RunSimulation(run, 400, 0, 0, 0.1L, 0.005L).HowEnded, RunSummary::End::TimeLimit);
  std::string error;
  ASSERT_TRUE(SaveVortexFile(run, Path("pl.evt"), error)) << error;

  Model loaded;  // the defaults: Px = -0,5, PL = 0,4
  BuildArea(loaded);
  ASSERT_TRUE(LoadVortexState(loaded, Path("pl.evt"), error)) << error;
  EXPECT_EQ(loaded.PlaneX, -0.8L);
  EXPECT_EQ(loaded.PlaneHalfLength, 0.6L);
  EXPECT_EQ(loaded.BarrierRibs[6].P1.X, run.BarrierRibs[6].P1.X);

  const StreamLineResult there = TraceStreamLine(run, -0.6, 0.3, 0.01, 1);
  const StreamLineResult here = TraceStreamLine(loaded, -0.6, 0.3, 0.01, 1);
  ASSERT_TRUE(there.Ok && here.Ok);
  ASSERT_EQ(here.PointCount, there.PointCount);
  EXPECT_EQ(here.EndedAtWall, there.EndedAtWall);
  const TRealPointArray& a = run.StreamLines[0];
  const TRealPointArray& b = loaded.StreamLines[0];
  Real rightmost = -1;  // m; the line starts at x = -0,6 and runs towards the hood
  for (int32_t k = 0; k < here.PointCount; ++k) {
    EXPECT_TRUE(a[k].X == b[k].X && a[k].Y == b[k].Y) << "point " << k;
    rightmost = std::max(rightmost, b[k].X);
  }
  EXPECT_GT(rightmost, -0.5L) << "the line must run on past the default plane's x";
}

TEST_F(VortexFile, SaveFailureReportsTheFile) {
  fs::create_directories(dir_ / "folder.evt");
  std::string error;
  EXPECT_FALSE(SaveVortexFile(RunLikeState(), Path("folder.evt"), error));
  EXPECT_NE(error.find(Path("folder.evt")), std::string::npos) << error;
  Model m;
  EXPECT_FALSE(LoadVortexFile(m, Path("missing.evt"), error));
  EXPECT_NE(error.find(Path("missing.evt")), std::string::npos) << error;
}

}  // namespace
}  // namespace mdv
