// Parameter studies through the batch tool as separate processes: GNU
// parallel and the local runner give the same table, a repeated run redoes
// nothing, a case killed midway leaves no result and no process behind and is
// run again, a refused case is reported and does not stop the others.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "cli/batch_text.h"

namespace fs = std::filesystem;

namespace mdv {
namespace {

using test::Quote;
using test::Slurp;

struct Result {
  int status = -1;
  std::string out, err;
};

// Any process whose command line mentions `text`.
bool ProcessMentions(const std::string& text) {
  for (const auto& e : fs::directory_iterator("/proc")) {
    const std::string name = e.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string cmd = Slurp(e.path() / "cmdline");
    for (char& c : cmd) c = c == '\0' ? ' ' : c;
    if (cmd.find(text) != std::string::npos) return true;
  }
  return false;
}

template <class F>
bool WaitFor(F done, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return done();
}

class Study : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("mdv_study_cli_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  Result Run(const std::vector<std::string>& args) {
    std::string cmd = "cd ";
    cmd.append(Quote(dir_.string())).append(" && ").append(Quote(MDV_BATCH_EXE));
    for (const std::string& a : args) cmd.append(" ").append(Quote(a));
    cmd += " >out.txt 2>err.txt";
    const int raw = std::system(cmd.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = Slurp(dir_ / "out.txt");
    r.err = Slurp(dir_ / "err.txt");
    return r;
  }
  void Write(const std::string& name, const std::string& text) { std::ofstream(dir_ / name) << text; }
  std::string Read(const std::string& name) const { return Slurp(dir_ / name); }
  bool Exists(const std::string& name) const { return fs::exists(dir_ / name); }

  fs::path dir_;
};

// A flag switched off in the file must reach run as no option at all.
constexpr char FourCases[] =
    "name = \"four\"\n[base]\nmax-time = 0.05\nreference = false\n[sweep]\nflange-angle-deg = [30, 60]\n"
    "inflow-speed = [0, \"0,75\"]\n[results]\npoints = [[0.1, 0.05]]\n";

TEST_F(Study, ParallelAndLocalRunnerGiveTheSameTable) {
  Write("s.toml", FourCases);
  ASSERT_EQ(Run({"study", "plan", "s.toml", "a"}).status, 0);
  ASSERT_EQ(Run({"study", "plan", "s.toml", "b"}).status, 0);
  const Result other = Run({"study", "plan", (fs::path(MDV_SOURCE_DIR) / "CMakeLists.txt").string(), "a"});
  EXPECT_EQ(other.status, 2) << "a file that is no study";

  const Result par = Run({"study", "parallel", "a"});
  ASSERT_EQ(par.status, 0) << par.err;
  const Result loc = Run({"study", "run", "b", "-j", "2"});
  ASSERT_EQ(loc.status, 0) << loc.err;
  EXPECT_NE(loc.out.find("Рассчитано 4 из 4, с ошибкой 0"), std::string::npos) << loc.out;
  ASSERT_EQ(Run({"study", "collect", "a"}).status, 0);
  const Result collect = Run({"study", "collect", "b"});
  ASSERT_EQ(collect.status, 0) << collect.err;
  const std::string table = Read("b/results.csv");
  EXPECT_EQ(Read("a/results.csv"), table);
  int rows = 0;
  std::istringstream lines(table);
  for (std::string line; std::getline(lines, line);) {
    if (rows++ == 0) continue;
    EXPECT_NE(line.find(";done;;"), std::string::npos) << line;
    EXPECT_EQ(line.find(";;", line.find(";done;;") + 6), std::string::npos) << "a result is missing: " << line;
  }
  EXPECT_EQ(rows, 5);
  EXPECT_TRUE(Exists("b/plots/Beff-vs-flange-angle-deg.png"));
  EXPECT_TRUE(Exists("b/plots/Beff-vs-flange-angle-deg.gp"));

  // Repeating the run redoes nothing: the results keep their time.
  const auto before = fs::last_write_time(dir_ / "b/cases/0002/results.toml");
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(Run({"study", "run", "b", "-j", "2"}).status, 0);
  EXPECT_EQ(Run({"study", "case", "b", "2"}).status, 0);
  EXPECT_EQ(fs::last_write_time(dir_ / "b/cases/0002/results.toml"), before);
}

TEST_F(Study, KilledCaseRunsAgainAndFailedCaseDoesNotStopTheOthers) {
  Write("s.toml",
        "name = \"kill\"\n[base]\nmax-time = 0.5\n[sweep]\nflange-angle-deg = [30, 120]\n");
  ASSERT_EQ(Run({"study", "plan", "s.toml", "k"}).status, 0);
  const std::string state = (dir_ / "k/cases/0000/state.evt").string();

  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::execl(MDV_BATCH_EXE, MDV_BATCH_EXE, "study", "case", (dir_ / "k").c_str(), "0", nullptr);
    ::_exit(127);
  }
  // The case's own run has started; kill the case in the middle of it.
  ASSERT_TRUE(WaitFor([&] { return ProcessMentions(state); }, 10)) << "the run of case 0 never started";
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  EXPECT_TRUE(WaitFor([&] { return !ProcessMentions(state); }, 5)) << "the run outlived its killed case";
  EXPECT_FALSE(Exists("k/cases/0000/done"));
  EXPECT_FALSE(Exists("k/cases/0000/results.toml"));
  EXPECT_FALSE(Exists("k/cases/0000/failed"));
  const Result status = Run({"study", "status", "k"});
  EXPECT_NE(status.out.find("\n0;30;pending;"), std::string::npos) << status.out;

  const Result run = Run({"study", "run", "k"});
  EXPECT_EQ(run.status, 1) << "a failed case makes the study run fail";
  const std::string refusal = "Угол наклона козырька не должен превышать 90 градусов";
  EXPECT_NE(run.err.find("вариант 1: " + refusal), std::string::npos) << run.err;
  EXPECT_NE(run.out.find("Рассчитано 1 из 2, с ошибкой 1"), std::string::npos) << run.out;
  EXPECT_TRUE(Exists("k/cases/0000/done"));
  const Result after = Run({"study", "status", "k"});
  EXPECT_NE(after.out.find("\n0;30;done;;"), std::string::npos) << after.out;
  EXPECT_NE(after.out.find("\n1;120;failed;" + refusal + ";"), std::string::npos) << after.out;
}


TEST_F(Study, CaseThatAveragesCollectsFromItsAverages) {
  Write("s.toml",
        "name = \"avg\"\n[base]\nmax-time = 0.2\naverage-from = 0.1\n[sweep]\ninflow-speed = [0]\n"
        "[results]\ncentreline = [0.5]\nflux = true\ncontraction = true\n");
  ASSERT_EQ(Run({"study", "plan", "s.toml", "v"}).status, 0);
  const Result run = Run({"study", "run", "v"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string json = Read("v/cases/0000/averages.json");
  const std::string results = Read("v/cases/0000/results.toml");
  // The flux ratio of the table is the one of the averages file.
  const size_t at = json.find("\"ratio\":");
  ASSERT_NE(at, std::string::npos) << json;
  const double ratio = std::stod(json.substr(at + 8));
  const size_t r = results.find("name = \"flux_ratio\"");
  ASSERT_NE(r, std::string::npos) << results;
  const size_t v = results.find("value = ", r);
  EXPECT_EQ(std::stod(results.substr(v + 8)), ratio);
  EXPECT_NE(results.find("name = \"v/v0(x/D=0,5)\""), std::string::npos) << results;
  // So is the vena contracta's C_c.
  const size_t vena = json.find("\"cc\": ", json.find("\"vena_contracta\": {"));
  ASSERT_NE(vena, std::string::npos) << json;
  const size_t c = results.find("value = ", results.find("name = \"Cc\""));
  ASSERT_NE(c, std::string::npos) << results;
  EXPECT_EQ(std::stod(results.substr(c + 8)), std::stod(json.substr(vena + 6)));
}

// What goes into the job script's directives cannot end a line there: the rest
// would run as the job's shell commands.
TEST_F(Study, SlurmScriptTakesNoLineBreaksIntoItsDirectives) {
  Write("s.toml", "name = \"two\\necho injected\"\n[base]\nmax-time = 0.05\n[sweep]\nflange-angle-deg = [30, 60]\n");
  ASSERT_EQ(Run({"study", "plan", "s.toml", "j"}).status, 0);
  for (const char* option : {"--partition", "--time"}) {
    const Result r = Run({"study", "slurm", "j", option, "x\necho injected"});
    EXPECT_EQ(r.status, 2) << option << ": " << r.err;
    EXPECT_FALSE(Exists("j/study.sbatch")) << option;
  }
  ASSERT_EQ(Run({"study", "slurm", "j"}).status, 0);
  const std::string script = Read("j/study.sbatch");
  EXPECT_EQ(script.find("\necho injected"), std::string::npos) << script;
}

}  // namespace
}  // namespace mdv
