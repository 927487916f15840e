// Input a careless or hostile user gives the batch tool, by command: an output
// that is one of the command's inputs, option values that change nothing or
// give nothing, files of impossible size, study folders whose names GNU
// parallel would read as code, case files that are pipes or too large.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/batch_text.h"

namespace fs = std::filesystem;

namespace mdv {
namespace {

using test::Quote;
using test::Slurp;

class Hostile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("mdv_hostile_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  int Run(const std::vector<std::string>& args, const std::string& before = "") {
    std::string cmd = "cd " + Quote(dir_.string()) + " && " + before + Quote(MDV_BATCH_EXE);
    for (const std::string& a : args) cmd.append(1, ' ').append(Quote(a));
    const int raw = std::system((cmd + " >out.txt 2>err.txt").c_str());
    out_ = Slurp(dir_ / "out.txt");
    err_ = Slurp(dir_ / "err.txt");
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  void Write(const std::string& name, const std::string& text) { std::ofstream(dir_ / name) << text; }
  std::string Read(const std::string& name) const { return Slurp(dir_ / name); }

  fs::path dir_;
  std::string out_, err_;
};

// An averages file with one tracer source, as `capture` reads it.
constexpr char Averages[] =
    "{\"format\": \"rinfet-mdv-averages\", \"version\": 1, \"samples\": 3, \"tracers\": {\"horizon\": 10.0, "
    "\"sources\": [{\"x\": -0.1, \"y\": 0.05, \"released\": 2, \"caught\": 1, \"lost\": 1, \"expired\": 0, "
    "\"in_flight\": 0, \"caught_fraction\": 0.5, \"median_capture_time\": 1.0}]}}";

// Each command reading x.* and told to write it, by another spelling too:
// refused with 2 before anything is read, both options named, x.* unchanged.
TEST_F(Hostile, AnOutputThatIsAnInputIsRefusedWhateverItsSpelling) {
  ASSERT_EQ(Run({"run", "--quiet", "--max-time", "0.02", "--save", "x.evt", "--pulsation-points", "0.1,0.05",
                 "--pulsation-file", "x.pls", "--track-file", "x.fvt"}),
            0)
      << err_;
  Write("x.json", Averages);
  fs::create_symlink("x.evt", dir_ / "link.evt");
  fs::create_hard_link(dir_ / "x.evt", dir_ / "hard.evt");
  const struct {
    std::vector<std::string> args;
    const char* input;
    const char* output;
  } rows[] = {
      {{"capture", "x.json", "--csv", "./x.json"}, "x.json", "--csv"},
      {{"centreline", "x.evt", "--csv", "x.evt"}, "x.evt", "--csv"},
      {{"centreline", "x.evt", "--csv", "link.evt"}, "x.evt", "--csv"},
      {{"streamline", "x.evt", "0.1", "0.005", "0.005", "1", "--csv", "hard.evt"}, "x.evt", "--csv"},
      {{"pulsation", "x.pls", "--csv", "x.pls"}, "x.pls", "--csv"},
      {{"pulsation", "x.pls", "--spectrum", "--csv", "x.pls"}, "x.pls", "--csv"},
      {{"track", "x.fvt", "--csv", "x.fvt"}, "x.fvt", "--csv"},
      {{"run", "--load", "x.evt", "--averages", "link.evt"}, "x.evt", "--averages"},
      {{"run", "--load", "x.evt", "--field-csv", "x.evt"}, "x.evt", "--field-csv"},
      {{"run", "--load", "x.evt", "--pulsation-points", "0.1,0.05", "--pulsation-file", "hard.evt"}, "x.evt",
       "--pulsation-file"},
      {{"run", "--load", "x.evt", "--track-file", "x.evt"}, "x.evt", "--track-file"},
      {{"run", "--load", "x.evt", "--model", "refined", "--refined-budget", "./x.evt"}, "x.evt", "--refined-budget"},
  };
  for (const auto& row : rows) {
    const std::string before = Read(row.input);
    const std::string what = row.args[0] + " " + row.output;
    EXPECT_EQ(Run(row.args), 2) << what << ": " << err_;
    EXPECT_NE(err_.find(std::string(row.output) + " и "), std::string::npos) << what << ": " << err_;
    EXPECT_EQ(Read(row.input), before) << what;
    EXPECT_TRUE(out_.empty()) << what << ": " << out_;
  }
  // Another file, or a device, is no input.
  EXPECT_EQ(Run({"centreline", "x.evt", "--csv", "c.csv"}), 0) << err_;
  EXPECT_EQ(Run({"track", "x.fvt", "--csv", "/dev/null"}), 0) << err_;
  // Continue is --load and --save of one file.
  EXPECT_EQ(Run({"run", "--quiet", "--load", "x.evt", "--max-time", "0.03", "--save", "x.evt"}), 0) << err_;
}

// Options that would change nothing or give nothing are refused, with the
// option named: the refined model's own without --model refined (as
// --refined-budget is), a negative merge age, a tracer grid without a node
// in front of the hood; a device given as an averages file is refused by its
// first byte, not read for 2 GiB.
TEST_F(Hostile, OptionsThatWouldChangeNothingAreRefused) {
  ASSERT_EQ(Run({"run", "--quiet", "--max-time", "0.01", "--save", "x.evt"}), 0) << err_;
  const struct {
    std::vector<std::string> args;
    const char* named;
  } refused[] = {
      {{"run", "--viscosity", "0.001", "--max-time", "0.01"}, "--viscosity: только для --model refined"},
      {{"run", "--shed-placement", "convected", "--max-time", "0.01"}, "--shed-placement: только"},
      {{"run", "--shedding", "outer", "--max-time", "0.01"}, "--shedding: только"},
      {{"run", "--model", "program", "--smoothing-length", "0.02", "--max-time", "0.01"}, "--smoothing-length: только"},
      {{"velocity", "x.evt", "0.1", "0.05", "--smoothing-length", "0.02"}, "--smoothing-length: только"},
      {{"centreline", "x.evt", "--smoothing-length", "0.02"}, "--smoothing-length: только"},
      {{"run", "--model", "refined", "--viscosity", "-1", "--max-time", "0.01"}, "--viscosity"},
      {{"run", "--tracer-grid", "10", "--steps", "0", "--averages", "a.json"}, "--tracer-grid: при шаге 10"},
      {{"run", "--tracer-grid", "1e300", "--steps", "0", "--averages", "a.json"}, "--tracer-grid"},
  };
  for (const auto& row : refused) {
    EXPECT_EQ(Run(row.args), 2) << row.named << ": " << err_;
    EXPECT_NE(err_.find(row.named), std::string::npos) << err_;
    EXPECT_FALSE(fs::exists(dir_ / "a.json"));
  }
  EXPECT_EQ(Run({"run", "--model", "refined", "--viscosity", "0", "--steps", "0"}), 0)
      << err_;
  EXPECT_EQ(Run({"run", "--tracer-grid", "0,05", "--steps", "0", "--quiet"}), 0) << err_;

  const auto begin = std::chrono::steady_clock::now();
  EXPECT_EQ(Run({"capture", "/dev/zero"}), 1);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count(), 2) << err_;
  EXPECT_NE(err_.find("не документ JSON"), std::string::npos) << err_;
}

// A study whose folder name holds GNU parallel's replacement strings or shell
// code: each case of that folder is computed, nothing runs, and the studies
// q0 and q1 beside "q{}" are not touched.
TEST_F(Hostile, StudyParallelTakesTheFolderAsData) {
  if (std::system("parallel --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no GNU parallel";
  Write("s.toml", "name = \"s\"\n[base]\nmax-time = 0.01\nvortex-spacing = 0.02\n[sweep]\ndt = [0.005, 0.01]\n"
                  "[results]\nvortex-zone = false\npoints = [[0.1, 0.05]]\n");
  for (const char* beside : {"q0", "q1"}) ASSERT_EQ(Run({"study", "plan", "s.toml", beside}), 0) << err_;
  for (const std::string name : {"q{}", "a{1}", "p{= system(\"touch PWNED\") =}", "b{.}", "c{/}", "d$(touch PWN2)"}) {
    ASSERT_EQ(Run({"study", "plan", "s.toml", name}), 0) << name << ": " << err_;
    EXPECT_EQ(Run({"study", "parallel", name, "-j", "1"}), 0) << name << ": " << err_;
    for (const char* id : {"0000", "0001"})
      EXPECT_TRUE(fs::exists(dir_ / name / "cases" / id / "done")) << name << " " << id;
  }
  EXPECT_FALSE(fs::exists(dir_ / "PWNED"));
  EXPECT_FALSE(fs::exists(dir_ / "PWN2"));
  for (const char* beside : {"q0", "q1"})
    for (const char* id : {"0000", "0001"}) EXPECT_FALSE(fs::exists(dir_ / beside / "cases" / id / "done")) << beside;
}

// Case files collect must not trust: a pipe for results.toml (read, it would
// block for ever), one larger than any case writes, a value nan or inf. The
// pipe and the large file fail their case with a message, the non-finite
// values are empty cells, and results.csv that is a link keeps its link.
TEST_F(Hostile, StudyCollectTrustsNoCaseFile) {
  Write("s.toml", "name = \"s\"\n[sweep]\ndt = [0.001, 0.002, 0.003, 0.004]\n");
  ASSERT_EQ(Run({"study", "plan", "s.toml", "c"}), 0) << err_;
  const auto caseFile = [&](int id, const char* name) {
    return dir_ / "c" / "cases" / ("000" + std::to_string(id)) / name;
  };
  for (int id = 0; id < 4; ++id) std::ofstream(caseFile(id, "done")).flush();
  ASSERT_EQ(::mkfifo(caseFile(0, "results.toml").c_str(), 0644), 0);
  {
    std::ofstream big(caseFile(1, "results.toml"));
    for (int k = 0; k < 20000; ++k) big << "[[value]]\nname = \"v" << k << "\"\nunit = \"\"\nvalue = 1.0\n\n";
  }
  for (const auto& [id, value] : {std::pair{2, "nan"}, std::pair{3, "inf"}})
    std::ofstream(caseFile(id, "results.toml")) << "[[value]]\nname = \"Beff\"\nunit = \"м\"\nvalue = " << value
                                                << "\n\n[[value]]\nname = \"b\"\nunit = \"м\"\nvalue = 0.5\n";
  fs::create_directories(dir_ / "kept");
  fs::create_symlink("../kept/table.csv", dir_ / "c" / "results.csv");
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_EQ(Run({"study", "collect", "c"}, "timeout 30 "), 0) << err_;
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count(), 10);
  EXPECT_TRUE(fs::is_symlink(dir_ / "c" / "results.csv"));
  const std::string csv = Read("kept/table.csv");
  EXPECT_NE(csv.find("канал, устройство или папка"), std::string::npos) << csv;
  EXPECT_NE(csv.find("файл больше 262144 байт"), std::string::npos) << csv;
  EXPECT_EQ(csv.find("NAN"), std::string::npos) << csv;
  EXPECT_EQ(csv.find("INF"), std::string::npos) << csv;
  EXPECT_EQ(csv.find("nan"), std::string::npos) << csv;
  EXPECT_NE(csv.find(";;0,5"), std::string::npos) << "Beff empty, b 0,5: " << csv;
  EXPECT_NE(err_.find("с ошибкой 2"), std::string::npos) << err_;
}

// What study plan says before it writes: a refined-model key without the
// model is refused for the case that has it; results only averaging gives are
// warned of when some case does not average; tracer points are a study key
// that reaches the case's run.
TEST_F(Hostile, StudyPlanRefusesWhatNoCaseCanUseAndWarnsOfEmptyColumns) {
  Write("v.toml", "name = \"v\"\n[base]\nviscosity = 0.001\n[sweep]\nmodel = [\"refined\", \"program\"]\n");
  EXPECT_EQ(Run({"study", "plan", "v.toml", "v"}), 2);
  EXPECT_NE(err_.find("вариант 1: ключ «viscosity»: только для model = \"refined\""), std::string::npos) << err_;
  EXPECT_FALSE(fs::exists(dir_ / "v"));

  Write("w.toml", "name = \"w\"\n[sweep]\nuntil-steady = [true, false]\n[results]\ncontraction = true\n"
                  "centreline = [0.5]\n");
  EXPECT_EQ(Run({"study", "plan", "w.toml", "w"}), 0) << err_;
  EXPECT_NE(err_.find("предупреждение: [results] centreline, contraction:"), std::string::npos) << err_;
  EXPECT_NE(err_.find("у 1 из 2 вариантов"), std::string::npos) << err_;

  Write("t.toml", "name = \"t\"\n[base]\nmax-time = 0.1\nvortex-spacing = 0.02\naverage-from = 0\n"
                  "tracers = [[-0.2, 0.05], [-0.3, 0.1]]\ncapture-horizon = 0.02\n"
                  "[results]\nvortex-zone = false\ncapture = true\n");
  ASSERT_EQ(Run({"study", "plan", "t.toml", "t"}), 0) << err_;
  EXPECT_TRUE(err_.empty()) << "every case averages: " << err_;
  EXPECT_NE(Read("t/cases/0000/case.toml").find("tracers = \"-0.2,0.05;-0.3,0.1\""), std::string::npos)
      << Read("t/cases/0000/case.toml");
  ASSERT_EQ(Run({"study", "run", "t"}), 0) << err_;
  ASSERT_EQ(Run({"study", "collect", "t"}), 0) << err_;
  EXPECT_NE(Read("t/results.csv").find("capture(-0,3 0,1)"), std::string::npos) << Read("t/results.csv");
  Write("bad.toml", "name = \"b\"\n[base]\ntracers = [0.1, 0.2]\n");
  EXPECT_EQ(Run({"study", "plan", "bad.toml", "b"}), 2);
  EXPECT_NE(err_.find("ключ «tracers»"), std::string::npos) << err_;
}

}  // namespace
}  // namespace mdv
