// The batch tool's averages: the field files read back by VTK's own reader,
// the step limit (with --steps 0 the bare contour), the centre-line table, a
// run that ends because the flow is steady, and refused arguments.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "cli/batch_text.h"
#include "core/model/model.h"
#include "core/model/vortex_file.h"

namespace fs = std::filesystem;

namespace mdv {
namespace {

using test::Quote;
using test::Slurp;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> f;
  std::istringstream in(line);
  for (std::string x; std::getline(in, x, ';');) f.push_back(x);
  if (!line.empty() && line.back() == ';') f.emplace_back();
  return f;
}

double Comma(const std::string& s) {
  std::string t = s;
  for (char& c : t) c = c == ',' ? '.' : c;
  return std::stod(t);
}

class Averages : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("mdv_averages_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  int Shell(const std::string& command) {
    std::string cmd = "cd ";
    cmd.append(Quote(dir_.string())).append(" && ").append(command).append(" >out.txt 2>err.txt");
    const int raw = std::system(cmd.c_str());
    out_ = Slurp(dir_ / "out.txt");
    err_ = Slurp(dir_ / "err.txt");
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  int Run(const std::vector<std::string>& args) {
    std::string cmd = Quote(MDV_BATCH_EXE);
    for (const std::string& a : args) cmd.append(1, ' ').append(Quote(a));
    return Shell(cmd);
  }
  fs::path dir_;
  std::string out_, err_;
};

// A coarse hood, 60 free vortices, averaged from the start.
const std::vector<std::string> Coarse = {"run", "--quiet", "--vortex-spacing", "0,02", "--max-free", "60"};

std::vector<std::string> With(std::vector<std::string> a, const std::vector<std::string>& more) {
  a.insert(a.end(), more.begin(), more.end());
  return a;
}

TEST_F(Averages, FieldFilesReadBackByVtkAndTheTableAgrees) {
  ASSERT_EQ(Run(With(Coarse, {"--steps", "60", "--average-from", "0", "--averages", "a.json", "--field", "f.vti",
                              "--field-csv", "f.csv"})),
            0)
      << err_;
  const std::string script = std::string(MDV_SOURCE_DIR) + "/tests/cli/read_field.py";
  ASSERT_EQ(Shell("/usr/bin/python3 " + Quote(script) + " f.vti a.json"), 0) << out_ << err_;
  EXPECT_EQ(out_.rfind("ok 61 34 8", 0), 0u) << out_;

  const std::vector<std::string> csv = Lines(Slurp(dir_ / "f.csv"));
  ASSERT_EQ(csv.size(), 61u * 34u + 1);
  EXPECT_EQ(csv[0], "x [m];y [m];inside;vx_mean [m/s];vy_mean [m/s];speed_mean [m/s];vx_rms [m/s];"
                    "vy_rms [m/s];speed_rms [m/s]");
  // Row of grid point (i, j) = 1 + j·nx + i: its coordinates, and a flow point's speed.
  const std::vector<std::string> row = Fields(csv[1 + 10 * 61 + 20]);
  ASSERT_EQ(row.size(), 9u);
  EXPECT_NEAR(Comma(row[0]), -0.5 + 20 * 0.025, 1e-9);
  EXPECT_NEAR(Comma(row[1]), 10 * 0.025, 1e-9);
  EXPECT_EQ(row[2], "1");
  EXPECT_GT(Comma(row[5]), 0);
}

TEST_F(Averages, TracersReachTheFilesAndTheCaptureTable) {
  ASSERT_EQ(Run(With(Coarse, {"--steps", "60", "--average-from", "0", "--averages", "a.json", "--field", "f.vti",
                              "--tracers", "-0.05,0;-0,1 0,05", "--tracer-grid", "0,1", "--capture-horizon", "0,2"})),
            0)
      << err_;
  const std::string script = std::string(MDV_SOURCE_DIR) + "/tests/cli/read_field.py";
  ASSERT_EQ(Shell("/usr/bin/python3 " + Quote(script) + " f.vti a.json"), 0) << out_ << err_;
  EXPECT_EQ(out_.rfind("ok 61 34 9", 0), 0u) << "capture_fraction beside the eight arrays: " << out_;
  ASSERT_EQ(Run({"capture", "a.json", "--csv", "-"}), 0) << err_;
  const std::vector<std::string> csv = Lines(out_);
  ASSERT_GT(csv.size(), 10u);
  EXPECT_EQ(csv[0], "x [m];y [m];released;caught;lost;expired;in_flight;caught_fraction;median_capture_time [s]");
  EXPECT_EQ(csv[1].rfind("-0,05;0;", 0), 0u) << csv[1];
  EXPECT_EQ(csv[2].rfind("-0,1;0,05;", 0), 0u) << csv[2];
  // Every row: each release caught, lost, expired or still in flight. The
  // suction section is 1 m inside: nothing is caught within T = 0,2 s.
  for (size_t k = 1; k < csv.size(); ++k) {
    const std::vector<std::string> f = Fields(csv[k]);
    ASSERT_EQ(f.size(), 9u) << csv[k];
    EXPECT_EQ(std::stoi(f[2]), std::stoi(f[3]) + std::stoi(f[4]) + std::stoi(f[5]) + std::stoi(f[6])) << csv[k];
    EXPECT_EQ(f[3], "0") << csv[k];
  }
  // Source k releases first at step k + 1 and again 50 steps later.
  EXPECT_EQ(csv[2], "-0,1;0,05;2;0;0;1;1;0;");
  ASSERT_EQ(Run({"capture", "a.json"}), 0) << err_;
  EXPECT_NE(out_.find("(-0,100; 0,050): выпущено 2, захвачено 0, потеряно 0, не захвачено за T 1, в пути 1; доля "
                      "захвата 0,000, медианное время захвата —"),
            std::string::npos)
      << out_;

  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--tracers", "1;2"}, {"--tracers", "0,1,0,2,0,3"}, {"--capture-horizon", "2"},
        {"--tracer-grid", "0"}}) {
    EXPECT_EQ(Run(With(Coarse, With({"--steps", "1", "--averages", "b.json"}, bad))), 2) << bad[0] << " " << bad[1];
    EXPECT_FALSE(fs::exists(dir_ / "b.json")) << bad[1];
  }
}

// The tracer options as the user writes them: each form of a point reaches
// the capture table at its coordinates, the horizon and the grid's spacing
// the averages file; a value that is no point, step or time is refused (2,
// nothing written).
TEST_F(Averages, TracerOptionsReachTheFileOrAreRefused) {
  ASSERT_EQ(Run(With(Coarse, {"--steps", "2", "--average-from", "0", "--averages", "t.json", "--tracers",
                              " ; -0.05,0.01;-0,1 0,05;-0,15,0,075 ;", "--tracer-grid", "0,2", "--capture-horizon",
                              "2,5"})),
            0)
      << err_;
  ASSERT_EQ(Run({"capture", "t.json", "--csv", "-"}), 0) << err_;
  const std::vector<std::string> csv = Lines(out_);
  ASSERT_GT(csv.size(), 4u);
  EXPECT_EQ(csv[1].rfind("-0,05;0,01;", 0), 0u) << csv[1];
  EXPECT_EQ(csv[2].rfind("-0,1;0,05;", 0), 0u) << csv[2];
  EXPECT_EQ(csv[3].rfind("-0,15;0,075;", 0), 0u) << csv[3];
  std::ifstream in(dir_ / "t.json");
  const std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(json.find("\"horizon\": 2.5"), std::string::npos) << json.substr(json.find("\"tracers\""), 300);
  EXPECT_NE(json.find("\"dx\": 0.2"), std::string::npos) << "every 8th node of the 0,025 m grid";

  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--tracers", ";"}, {"--tracers", "0,1;x,1"}, {"--tracers", "0.1,nan"},
        {"--tracers", "0.1,inf"}, {"--tracer-grid", "-0,1"}, {"--tracer-grid", "inf"}, {"--tracer-grid", "шаг"},
        {"--capture-horizon", "0"}, {"--capture-horizon", "-1"}, {"--capture-horizon", "nan"}}) {
    std::vector<std::string> args = With({"--steps", "1", "--averages", "b.json", "--tracers", "-0.1,0"}, bad);
    EXPECT_EQ(Run(With(Coarse, args)), 2) << bad[0] << " " << bad[1];
    EXPECT_FALSE(fs::exists(dir_ / "b.json")) << bad[1];
  }
}

TEST_F(Averages, StepLimitAndTheBareContourWithItsCentreline) {
  struct Row {
    const char* steps;
    const char* shown;
  };
  for (const Row& r : {Row{"3", "Шагов: 3"}, Row{"0", "Шагов: 0"}}) {
    SCOPED_TRACE(r.steps);
    ASSERT_EQ(Run({"run", "--steps", r.steps, "--max-time", "5", "--vortex-spacing", "0,02", "--save", "s.evt"}), 0)
        << err_;
    EXPECT_NE(out_.find(r.shown), std::string::npos) << out_;
  }
  // --steps 0: the contour with its circulations solved, no free vortex.
  Model m;
  std::string error;
  ASSERT_TRUE(LoadVortexState(m, (dir_ / "s.evt").string(), error)) << error;
  EXPECT_EQ(m.FreeVortexCount, 0);
  EXPECT_EQ(m.Time, 0);
  Real sum = 0, largest = 0;
  for (int32_t i = 0; i < m.AttachedCount; ++i) {
    sum += m.Vortices[static_cast<size_t>(i)].Gamma;
    largest = std::max(largest, std::fabs(m.Vortices[static_cast<size_t>(i)].Gamma));
  }
  EXPECT_GT(largest, 1e-4L);
  EXPECT_LT(std::fabs(sum), 1e-12L) << "attached circulations sum to 0";

  ASSERT_EQ(Run({"centreline", "s.evt", "--csv", "-"}), 0) << err_;
  const std::string table = out_;
  const std::vector<std::string> lines = Lines(table);
  ASSERT_EQ(lines.size(), 9u) << out_;
  EXPECT_EQ(lines[0], "x/D;model v/v0;disc sink;DallaValle flanged;DallaValle plain");
  const char* stations[] = {"0,1", "0,25", "0,5", "0,75", "1", "1,5", "2", "3"};
  for (size_t k = 0; k < 8; ++k) {
    const std::vector<std::string> f = Fields(lines[k + 1]);
    ASSERT_EQ(f.size(), 5u) << lines[k + 1];
    EXPECT_EQ(f[0], stations[k]);
    // Behind the default plane (x = -0,5 m) the model has no value.
    EXPECT_EQ(f[1].empty(), k >= 6) << lines[k + 1];
  }
  ASSERT_EQ(Run({"centreline", "s.evt", "--csv", "c.csv"}), 0) << err_;
  EXPECT_EQ(Slurp(dir_ / "c.csv"), table);
}

TEST_F(Averages, UntilSteadyEndsTheRunAndSaysHow) {
  // Without free vortices the flow is steady from the first step: the run
  // ends at the first check with enough samples (50 steps, checks every 20).
  ASSERT_EQ(Run({"run", "--vortex-spacing", "0,02", "--max-free", "0", "--until-steady", "--max-time", "5"}), 0)
      << err_;
  EXPECT_NE(out_.find("Шагов: 60"), std::string::npos) << out_;
  EXPECT_NE(out_.find("Расчёт закончен: режим установился. Установившийся режим с t = "), std::string::npos)
      << out_;
  // A chaotic run too short to settle ends at its time and says so.
  ASSERT_EQ(Run({"run", "--vortex-spacing", "0,02", "--max-free", "60", "--until-steady", "--max-time", "0,3"}), 0);
  EXPECT_NE(out_.find("Расчёт закончен по времени окончания, t = 0,305 с. Режим не установился"), std::string::npos)
      << out_;
}

TEST_F(Averages, RefusedArgumentsWriteNothing) {
  struct Row {
    std::vector<std::string> args;
    const char* message;
  };
  const Row rows[] = {
      {{"--tolerance", "0"}, "--tolerance"},
      {{"--tolerance", "abc"}, "--tolerance"},
      // Positive as written, 0 or a subnormal as the double the averages keep.
      {{"--tolerance", "1e-400"}, "--tolerance: \"1e-400\" слишком мало"},
      {{"--tolerance", "1e-310"}, "--tolerance: \"1e-310\" слишком мало"},
      {{"--steps", "-1"}, "--steps"},
      {{"--steps", "1,5"}, "--steps"},
      {{"--average-from", "x"}, "--average-from"},
      {{"--averages", "no/such/folder/a.json"}, "--averages"},
      {{"--field", "."}, "--field"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.message);
    EXPECT_EQ(Run(With(With(Coarse, {"--save", "s.evt"}), r.args)), 2);
    EXPECT_NE(err_.find(r.message), std::string::npos) << err_;
    EXPECT_FALSE(fs::exists(dir_ / "s.evt"));
  }
}

// A far plane with averaging under an address-space limit: the grid is
// clipped near the hood (the file says so) instead of an abort; a run that
// does run out of memory ends with a message and status 1.
TEST_F(Averages, FarPlaneIsClippedAndLackOfMemoryIsAMessage) {
  const std::string exe = Quote(MDV_BATCH_EXE);
#ifdef __SANITIZE_ADDRESS__
  // The address sanitizer reserves terabytes of shadow memory at start, which
  // no address-space limit allows: the clipping is checked without one.
  const std::string limit;
#else
  const std::string limit = "ulimit -v 4000000 && ";
#endif
  EXPECT_EQ(Shell(limit + exe +
                  " run --quiet --plane-x -1e7 --max-time 0.05 --until-steady --averages far.json"),
            0)
      << err_;
  const std::string json = Slurp(dir_ / "far.json");
  EXPECT_NE(json.find("\"x0\": -12.0,"), std::string::npos) << json.substr(0, 2000);
  EXPECT_NE(json.find("\"clipped\": true, \"coarsened\": true"), std::string::npos);

#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the lack of memory needs an address-space limit, which the sanitizer's shadow memory exceeds";
#endif
  // A million free vortices do not fit 200 MB of address space.
  EXPECT_EQ(Shell("ulimit -v 200000 && OPENBLAS_NUM_THREADS=1 timeout 60 " + exe +
                  " run --quiet --threads 1 --max-free 1000000 --max-time 0.01 --until-steady --save m.evt"),
            1);
  EXPECT_NE(err_.find("rinfet-mdv-batch: недостаточно памяти для этого расчёта"), std::string::npos) << err_;
  EXPECT_FALSE(fs::exists(dir_ / "m.evt"));
}

// Outputs through links: a link keeps being a link and its file is updated;
// a link to this process's stdout (a pipe) delivers the JSON in order; one
// file reached under two names is refused even before it exists.
TEST_F(Averages, OutputsThroughLinksReachTheirFiles) {
  const std::string run = Quote(MDV_BATCH_EXE) + " run --quiet --vortex-spacing 0,02 --max-free 60 --steps 4 --average-from 0";
  fs::create_symlink("target.json", dir_ / "link.json");
  ASSERT_EQ(Shell(run + " --averages link.json"), 0) << err_;
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.json"));
  EXPECT_NE(Slurp(dir_ / "target.json").find("\"format\": \"rinfet-mdv-averages\""), std::string::npos);

  fs::create_symlink("/proc/self/fd/1", dir_ / "out");
  ASSERT_EQ(Shell(run + " --averages out | tee piped.json"), 0) << err_;
  EXPECT_TRUE(fs::is_symlink(dir_ / "out")) << "the link was replaced by a file";
  const std::string piped = Slurp(dir_ / "piped.json");
  EXPECT_EQ(piped.rfind("{\n  \"format\": \"rinfet-mdv-averages\"", 0), 0u) << piped.substr(0, 200);
  EXPECT_EQ(piped.back(), '\n');

  fs::create_symlink("t.tgt", dir_ / "t.lnk");
  for (const auto& [a, b] : {std::pair<std::string, std::string>{"t.tgt", "t.lnk"}, {"target.json", "link.json"}}) {
    EXPECT_EQ(Shell(run + " --averages " + a + " --field " + b), 2) << a << " " << b;
    EXPECT_NE(err_.find("указывают на один файл"), std::string::npos) << err_;
  }
  EXPECT_FALSE(fs::exists(dir_ / "t.tgt"));
}

}  // namespace
}  // namespace mdv
