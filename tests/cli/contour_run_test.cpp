// run --contour and profile: a contour file runs on the refined model, its
// averages carry the area, and profile reads it back from them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "cli/batch_text.h"
#include "core/averages/averaging_files.h"
#include "core/model/contour_file.h"

namespace fs = std::filesystem;

namespace mdv {
namespace {

using test::Quote;
using test::Slurp;

using Result = test::BatchResult;

class ContourRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("mdv_contour_run_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  Result Batch(const std::string& args) { return test::RunBatch(MDV_BATCH_EXE, args, dir_); }
  std::string Path(const char* name) const { return Quote((dir_ / name).string()); }
  static std::string Example() { return Quote(std::string(MDV_SOURCE_DIR) + "/examples/contours/flanged-hood.toml"); }
  fs::path dir_;
};

TEST_F(ContourRun, RunsRefinedAndRecordsTheArea) {
  Result r = Batch("run --contour " + Example() + " --max-time 0.03 --precision double -q --averages " +
                   Path("a.json") + " --average-from 0 --save " + Path("s.cvs"));
  ASSERT_EQ(r.Status, 0) << r.Err;
  // The saved state carries its contour: it continues without one named,
  // on the refined model, and refuses the program's.
  r = Batch("run --load " + Path("s.cvs") + " --max-time 0.05 --precision double");
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Out.find("Прошло времени: 0,05"), std::string::npos) << r.Out;
  r = Batch("run --load " + Path("s.cvs") + " --model program");
  EXPECT_EQ(r.Status, 2);
  const std::string json = Slurp(dir_ / "a.json");
  EXPECT_NE(json.find("\"model\": \"refined\""), std::string::npos);
  EXPECT_NE(json.find("\"area\": {\"kind\": \"contour\", \"contour\": \""), std::string::npos);
  EXPECT_NE(json.find("format = \\\"rinfet-mdv contour\\\""), std::string::npos);
  // A contour the model sees no zone in yet: profile reads the area and the
  // mouth back and says why it writes nothing.
  r = Batch("profile " + Path("a.json") + " --out " + Path("p.toml"));
  EXPECT_EQ(r.Status, 1);
  // (A run this short may not have sampled the sections yet: then it says so.)
  EXPECT_TRUE(r.Err.find("вихревой зоны нет") != std::string::npos ||
              r.Err.find("нет профилей скорости") != std::string::npos)
      << r.Err;
  EXPECT_FALSE(fs::exists(dir_ / "p.toml"));
}

TEST_F(ContourRun, RefusesWhatTheContourDecides) {
  Result r = Batch("run --contour " + Example() + " --channel-radius 0.2");
  EXPECT_EQ(r.Status, 2);
  EXPECT_NE(r.Err.find("--channel-radius не сочетается с --contour"), std::string::npos) << r.Err;
  r = Batch("run --contour " + Example() + " --model program");
  EXPECT_EQ(r.Status, 2);
  EXPECT_NE(r.Err.find("уточнённой моделью"), std::string::npos) << r.Err;
  // The refined model's own options need no --model beside a contour.
  r = Batch("run --contour " + Example() + " --viscosity 0.0003 --max-time 0.01 -q");
  EXPECT_EQ(r.Status, 0) << r.Err;
  // --contour-parameter: only with a contour, only a declared name, the
  // value as any number option takes it.
  const std::string bell = Quote(std::string(MDV_SOURCE_DIR) + "/examples/contours/bellmouth-r0.2.toml");
  r = Batch("run --contour-parameter R=0.05 --max-time 0.01");
  EXPECT_EQ(r.Status, 2);
  EXPECT_NE(r.Err.find("--contour-parameter: только вместе с --contour"), std::string::npos) << r.Err;
  r = Batch("run --contour " + bell + " --contour-parameter Q=1");
  EXPECT_EQ(r.Status, 2);
  EXPECT_NE(r.Err.find("«parameters.Q»: такой параметр в файле не объявлен"), std::string::npos) << r.Err;
  r = Batch("run --contour " + bell + " --contour-parameter R");
  EXPECT_EQ(r.Status, 2);
  EXPECT_NE(r.Err.find("ожидается ИМЯ=ЗНАЧЕНИЕ"), std::string::npos) << r.Err;
  r = Batch("run --contour " + bell + " --contour-parameter R=0,7");  // a rounding of 0,7 m crosses the outer wall
  EXPECT_EQ(r.Status, 2);
  EXPECT_NE(r.Err.find("bellmouth-r0.2.toml: "), std::string::npos) << r.Err;
  // A state saved with a parameter replaced continues from its own contour.
  r = Batch("run --contour " + bell + " --contour-parameter R=0,05 --contour-parameter F=0.5 --max-time 0.01 -q --save " +
            Path("r.cvs"));
  ASSERT_EQ(r.Status, 0) << r.Err;
  r = Batch("run --load " + Path("r.cvs") + " --max-time 0.02 -q");
  EXPECT_EQ(r.Status, 0) << r.Err;
  const std::string saved = Slurp(dir_ / "r.cvs");
  EXPECT_NE(saved.find("\nR = 0.05\n"), std::string::npos);
  EXPECT_NE(saved.find("\nF = 0.5\n"), std::string::npos);
  // Averages written before the area was recorded cannot be profiled.
  r = Batch("profile " + Quote(std::string(MDV_SOURCE_DIR) + "/tests/data/averages_v1.json") + " --out " +
            Path("p.toml"));
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("нет области расчёта"), std::string::npos) << r.Err;
}

// A tube end's averages whose mouth has a known zone (ψ carried inside a
// dividing streamline that sinks by 0,04 m and meets the wall at 0,3 m):
// profile writes its contour, runs it (--run) and says ζ before and after.
TEST_F(ContourRun, ProfileRunsTheProfiledInlet) {
  constexpr double B = 0.15, Q = 0.01;
  Contour tube;
  tube.Spacing = 0.005L;
  tube.Start = {1.2L, 0.17L};
  tube.Wall = {{{0, 0.17L}, 0}, {{0, 0.15L}, 0}, {{1.2L, 0.15L}, 0}};
  tube.PlaneX = -0.5L;
  AveragingResults r;
  r.HasAverages = true;
  r.AreaKind = "contour";
  r.AreaContour = WriteContourText(tube);
  r.TimeStep = 0.005;
  AveragingGrid& g = r.Field.Grid;  // a field of four points: the file needs one
  g.Dx = g.Dy = 0.1;
  g.Nx = g.Ny = 2;
  g.Inside.assign(4, 1);
  for (std::vector<double>* v : {&r.Field.VxMean, &r.Field.VyMean, &r.Field.SpeedMean, &r.Field.VxRms,
                                 &r.Field.VyRms, &r.Field.SpeedRms})
    v->assign(4, 0.5);
  r.Contraction.Present = true;
  r.Contraction.HasVenaContracta = true;
  r.Contraction.ZetaM = 0.5;
  r.Contraction.MouthY = B;
  for (int k = 1; k * B / 4 <= 1.0 - B / 2 + 1e-9; ++k) {
    ContractionSection s;
    s.X = k * B / 4;
    const double rs = s.X < 0.3 ? B - 0.04 * std::sqrt(std::sin(M_PI * s.X / 0.3)) : B;
    const double rm = std::sqrt((B * B + rs * rs) / 2);
    for (int j = 0; j < ContractionSectionPoints; ++j) {
      const double y = B * (j + 0.5) / ContractionSectionPoints;
      s.Vx.push_back(y < rs ? 2 * Q / (rs * rs) : y < rm ? 0.2 : -0.2);
    }
    r.Contraction.Sections.push_back(s);
  }
  std::string error;
  ASSERT_TRUE(SaveAveragesJson(r, (dir_ / "zone.json").string(), error)) << error;
  const Result p = Batch("profile " + Path("zone.json") + " --out " + Path("p.toml") + " --run " + Path("p.json") +
                         " --max-time 0.02");
  ASSERT_EQ(p.Status, 0) << p.Err;
  EXPECT_NE(p.Out.find("ζ входа до профилирования: 0,500"), std::string::npos) << p.Out;
  EXPECT_NE(p.Out.find("ζ входа после профилирования: "), std::string::npos) << p.Out;
  const std::string json = Slurp(dir_ / "p.json");
  EXPECT_NE(json.find("профилированный по вихревой зоне"), std::string::npos) << "the run was the profiled contour's";
  EXPECT_NE(json.find("\"dt\": 0.005"), std::string::npos) << "at the profiled run's step";
}

}  // namespace
}  // namespace mdv
