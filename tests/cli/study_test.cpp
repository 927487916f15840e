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
#include "core/study/study_plan.h"
#include "core/study/study_results.h"

namespace fs = std::filesystem;

namespace mdv {
namespace {

using test::Quote;
using test::Slurp;

struct Result {
  int status = -1;
  std::string out, err;
};

// A process whose command line mentions `text`, or -1.
pid_t ProcessMentioning(const std::string& text) {
  for (const auto& e : fs::directory_iterator("/proc")) {
    const std::string name = e.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string cmd = Slurp(e.path() / "cmdline");
    for (char& c : cmd) c = c == '\0' ? ' ' : c;
    if (cmd.find(text) != std::string::npos) return static_cast<pid_t>(std::stol(name));
  }
  return -1;
}

bool ProcessMentions(const std::string& text) { return ProcessMentioning(text) > 0; }

// A process's command line, its words joined by blanks.
std::string CommandLine(pid_t pid) {
  std::string cmd = Slurp(fs::path("/proc") / std::to_string(pid) / "cmdline");
  for (char& c : cmd) c = c == '\0' ? ' ' : c;
  return cmd;
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

  // `env`: assignments put before the command, e.g. a PATH without a runner.
  Result Run(const std::vector<std::string>& args, const std::string& env = "",
             const std::string& exe = MDV_BATCH_EXE) {
    std::string cmd = "cd ";
    cmd.append(Quote(dir_.string())).append(" && ").append(env).append(" ").append(Quote(exe));
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
    const std::string done = ";done;;не осреднялся;";
    EXPECT_NE(line.find(done), std::string::npos) << line;
    EXPECT_EQ(line.find(";;", line.find(done) + done.size() - 1), std::string::npos) << "a result is missing: " << line;
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

TEST_F(Study, ConvergenceSectionGivesAnIndexPerResult) {
  Write("s.toml",
        "name = \"gci\"\n[base]\nmax-time = 0.04\n[convergence]\ndt = [0.01, 0.005, 0.0025]\n"
        "[results]\nvortex-zone = false\npoints = [[0.1, 0.05]]\n");
  ASSERT_EQ(Run({"study", "plan", "s.toml", "c"}).status, 0);
  const Result run = Run({"study", "run", "c", "-j", "2"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Рассчитано 3 из 3"), std::string::npos) << run.out;
  const Result collect = Run({"study", "collect", "c"});
  ASSERT_EQ(collect.status, 0) << collect.err;
  EXPECT_NE(collect.out.find("convergence.csv"), std::string::npos) << collect.out;
  std::istringstream lines(Read("c/convergence.csv"));
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "refined;result;h1;h2;h3;phi1;phi2;phi3;p;phi_ext;GCI_fine [%];verdict");
  int rows = 0;
  for (; std::getline(lines, line); ++rows) {
    // Three answers from three done cases, then an index or a verdict.
    EXPECT_EQ(line.find("dt;"), 0u) << line;
    EXPECT_NE(line.find(";0,0025;0,005;0,01;"), std::string::npos) << "finest first: " << line;
    EXPECT_EQ(line.find("рассчитаны не все"), std::string::npos) << line;
  }
  EXPECT_EQ(rows, 3) << "vx, vy and the speed at the point";
  EXPECT_FALSE(Exists("c/convergence.csv.tmp"));
  EXPECT_TRUE(Exists("c/plots/gci-vx_0_1_0_05-vs-dt.png"));
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


// A pipe 0,15 m wide with a flush flange of L beyond its 0,02 m wall.
constexpr char FlangeOfL[] =
    "format = \"rinfet-mdv contour\"\nversion = 1\nname = \"фланец L\"\nspacing = 0.01\n"
    "[parameters]\nL = 0.1\n[suction]\nx = 1.0\nspeed = 1.0\n[plane]\nx = -0.5\nradius = 0.4\n"
    "[wall]\nstart = [1.2, 0.17]\nsegments = [\n  { to = [0.02, 0.17] },\n  { to = [0.02, \"0.17 + L\"] },\n"
    "  { to = [0, \"0.17 + L\"] },\n  { to = [0, 0.15] },\n  { to = [1.2, 0.15] },\n]\n";

// A contour relative to the study file, its parameter swept: each case's
// run gets the file by its absolute path (the case runs elsewhere) and its
// own value, which its saved state carries.
TEST_F(Study, ContourParameterSweptReachesEachRun) {
  fs::create_directories(dir_ / "in");
  Write("in/flange.toml", FlangeOfL);
  Write("in/s.toml", "name = \"L\"\n[base]\ncontour = \"flange.toml\"\nmax-time = 0.02\n"
                     "[sweep]\n\"contour.L\" = [0.1, \"0,2\"]\n");
  const Result plan = Run({"study", "plan", "in/s.toml", "st"});
  ASSERT_EQ(plan.status, 0) << plan.err;
  const std::string contour = (dir_ / "in/flange.toml").string();
  const std::string caseText = Read("st/cases/0001/case.toml");
  EXPECT_NE(caseText.find("\ncontour = \"" + contour + "\"\n"), std::string::npos) << caseText;
  EXPECT_NE(caseText.find("\n\"contour.L\" = \"0.2\"\n"), std::string::npos) << caseText;
  const Result run = Run({"study", "run", "st"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Рассчитано 2 из 2, с ошибкой 0"), std::string::npos) << run.out;
  EXPECT_NE(Read("st/cases/0000/state.evt").find("[parameters]\nL = 0.1\n"), std::string::npos);
  EXPECT_NE(Read("st/cases/0001/state.evt").find("[parameters]\nL = 0.2\n"), std::string::npos);
  const Result status = Run({"study", "status", "st"});
  EXPECT_EQ(status.out.substr(0, status.out.find(';', 3)), "id;contour.L") << status.out;
  EXPECT_NE(status.out.find("\n1;0,2;done;"), std::string::npos) << status.out;

  // The run's own words, caught while a long case runs.
  Write("in/long.toml", "name = \"long\"\n[base]\ncontour = \"flange.toml\"\n\"contour.L\" = 0.25\nmax-time = 100\n");
  ASSERT_EQ(Run({"study", "plan", "in/long.toml", "lg"}).status, 0);
  const std::string state = (dir_ / "lg/cases/0000/state.evt").string();
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::execl(MDV_BATCH_EXE, MDV_BATCH_EXE, "study", "case", (dir_ / "lg").c_str(), "0", "--quiet", nullptr);
    ::_exit(127);
  }
  pid_t running = -1;
  ASSERT_TRUE(WaitFor([&] { return (running = ProcessMentioning(state)) > 0; }, 10));
  const std::string words = CommandLine(running);
  ::kill(pid, SIGKILL);
  ::kill(running, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  EXPECT_NE(words.find(" --contour " + contour + " --contour-parameter L=0.25 --max-time 100 "), std::string::npos)
      << words;

  // Refused when planned: the plan names the key and writes nothing.
  Write("in/bad.toml", "name = \"bad\"\n[base]\ncontour = \"flange.toml\"\n[sweep]\n\"contour.B\" = [1, 2]\n");
  const Result bad = Run({"study", "plan", "in/bad.toml", "bad"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("ключ «contour.B»: параметр «B» не объявлен"), std::string::npos) << bad.err;
  EXPECT_FALSE(Exists("bad"));
  // A value that makes the flange cross the pipe's own wall is refused for its case.
  Write("in/cross.toml", "name = \"x\"\n[base]\ncontour = \"flange.toml\"\n[sweep]\n\"contour.L\" = [0.1, -0.1]\n");
  const Result cross = Run({"study", "plan", "in/cross.toml", "x"});
  EXPECT_EQ(cross.status, 2);
  EXPECT_NE(cross.err.find("вариант 1: \"" + contour + "\" при contour.L = -0,1: "), std::string::npos) << cross.err;
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

// A case whose run dies by a signal (a crash, the memory killer) is run once
// more; dying again it is failed with the signal named, never pending for ever.
TEST_F(Study, CaseWhoseRunDiesTwiceFails) {
  Write("s.toml", "name = \"die\"\n[base]\nmax-time = 1\n[sweep]\nflange-angle-deg = [30]\n");
  ASSERT_EQ(Run({"study", "plan", "s.toml", "d"}).status, 0);
  const std::string state = (dir_ / "d/cases/0000/state.evt").string();
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::execl(MDV_BATCH_EXE, MDV_BATCH_EXE, "study", "case", (dir_ / "d").c_str(), "0", "--quiet", nullptr);
    ::_exit(127);
  }
  pid_t killed = -1;
  for (int attempt = 0; attempt < 2; ++attempt) {
    pid_t run = -1;
    ASSERT_TRUE(WaitFor([&] { return (run = ProcessMentioning(state)) > 0 && run != killed; }, 10))
        << "attempt " << attempt << " never started";
    EXPECT_NE(CommandLine(run).find(" --threads 1 "), std::string::npos) << "one thread unless told: " << CommandLine(run);
    ::kill(run, SIGKILL);
    killed = run;
  }
  int raw = 0;
  ::waitpid(pid, &raw, 0);
  EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 1) << raw;
  EXPECT_NE(Read("d/cases/0000/failed").find("2 раза подряд завершён сигналом 9 (SIGKILL)"), std::string::npos)
      << Read("d/cases/0000/failed");
  EXPECT_FALSE(Exists("d/cases/0000/done"));
  const Result again = Run({"study", "run", "d"});
  EXPECT_EQ(again.status, 0) << "a failed case is not retried without --retry-failed: " << again.err;
  EXPECT_NE(again.out.find("Рассчитано 0 из 1, с ошибкой 1"), std::string::npos) << again.out;
}

// A case that averaged but ended before its start-up: done, its verdict "нет",
// and every value it could not know an empty cell, never a zero.
TEST_F(Study, UnknownAveragesAreEmptyCellsBesideTheVerdict) {
  Write("s.toml",
        "name = \"short\"\n[base]\nmax-time = 0.05\nuntil-steady = true\n[sweep]\nflange-angle-deg = [30]\n"
        "[results]\nvortex-zone = false\npoints = [[0.1, 0.05]]\ncentreline = [0.5]\nflux = true\n");
  ASSERT_EQ(Run({"study", "plan", "s.toml", "u"}).status, 0);
  const Result run = Run({"study", "run", "u"});
  ASSERT_EQ(run.status, 0) << run.err;
  const Result status = Run({"study", "status", "u"});
  EXPECT_EQ(status.out, "id;flange-angle-deg [°];status;message;steady\n0;30;done;;нет\n");
}

// Arguments and study files that could only fail every case are refused
// where they are given (2, nothing written); a folder that cannot be written
// is an error named as such (1), not "already running" or success.
TEST_F(Study, BadArgumentsAndUnwritableFoldersAreRefused) {
  Write("s.toml", "name = \"two\"\n[base]\nmax-time = 0.05\n[sweep]\nflange-angle-deg = [30, 60]\n");
  ASSERT_EQ(Run({"study", "plan", "s.toml", "p%j"}).status, 0);
  const struct {
    const char* name;
    std::vector<std::string> args;
  } refused[] = {{"case", {"study", "case", "p%j", "0", "--threads", "-3"}},
                 {"parallel", {"study", "parallel", "p%j", "--threads", "-3"}},
                 {"parallel jobs", {"study", "parallel", "p%j", "-j", "-1"}},
                 {"slurm", {"study", "slurm", "p%j", "--threads", "-3"}}};
  for (const auto& r : refused) {
    const Result res = Run(r.args);
    EXPECT_EQ(res.status, 2) << r.name << ": " << res.err;
    EXPECT_NE(res.err.find("не может быть отрицательным"), std::string::npos) << r.name << ": " << res.err;
  }
  EXPECT_FALSE(Exists("p%j/cases/0000/lock"));
  EXPECT_FALSE(Exists("p%j/cases/0000/failed"));
  EXPECT_FALSE(Exists("p%j/study.sbatch"));

  // Slurm expands %j in a log path: the folder's own '%' is written %%.
  ASSERT_EQ(Run({"study", "slurm", "p%j"}).status, 0);
  EXPECT_NE(Read("p%j/study.sbatch").find("/p%%j/slurm/%A_%a.out\"\n"), std::string::npos) << Read("p%j/study.sbatch");

  for (const auto& [name, text] : {std::pair<const char*, const char*>{"bogus precision", "precision = \"bogus\"\n"},
                                   {"flag as a number", "until-steady = 1\n"},
                                   {"one case twice", "[sweep]\ndt = [1, \"1,0\"]\n"}}) {
    Write("b.toml", std::string("name = \"b\"\n[base]\nmax-time = 0.05\n") + text);
    const Result plan = Run({"study", "plan", "b.toml", "b"});
    EXPECT_EQ(plan.status, 2) << name << ": " << plan.err;
    EXPECT_FALSE(Exists("b")) << name;
  }

  // A folder the user cannot write (read-only for him; root is made nobody).
  ASSERT_EQ(std::system(("chmod -R a-w " + Quote((dir_ / "p%j").string())).c_str()), 0);
  const std::string as = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  for (const char* command : {"run", "case"}) {
    const std::string cmd = "cd " + Quote(dir_.string()) + " && " + as + Quote(MDV_BATCH_EXE) + " study " +
                            command + " 'p%j'" + (std::string(command) == "case" ? " 0" : "") +
                            " >ro.out 2>ro.err";
    const int raw = std::system(cmd.c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 1) << command << ": " << raw << " " << Read("ro.err");
    EXPECT_EQ(Read("ro.out").find("уже выполняется"), std::string::npos) << command;
    EXPECT_NE(Read("ro.err").find("p%j/cases"), std::string::npos) << command << ": " << Read("ro.err");
    EXPECT_EQ(Read("ro.err").find("Permission"), std::string::npos) << "the system's English: " << Read("ro.err");
  }
  ASSERT_EQ(std::system(("chmod -R u+w " + Quote((dir_ / "p%j").string())).c_str()), 0);
}

// A runner that cannot be started (not installed, not executable): the user
// is told which and why in Russian, once, the status is 1 and no case, job or
// plot is reported as made.
TEST_F(Study, RunnersThatCannotStartAreNamedAndNothingPassesForDone) {
  Write("s.toml", "name = \"two\"\n[base]\nmax-time = 0.05\n[sweep]\nflange-angle-deg = [30, 60]\n");
  ASSERT_EQ(Run({"study", "plan", "s.toml", "p"}).status, 0);
  fs::create_directories(dir_ / "bin");
  const std::string path = "PATH=" + Quote((dir_ / "bin").string());
  const auto count = [](const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  };
  Result r = Run({"study", "parallel", "p"}, path);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "") << "no totals as if the study had run";
  EXPECT_EQ(count(r.err, "Не удалось запустить parallel: программа не найдена (нужен GNU parallel"), 1) << r.err;
  Write("bin/parallel", "#!/bin/sh\nexit 0\n");  // there, but not executable
  r = Run({"study", "parallel", "p"}, path);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(count(r.err, "Не удалось запустить parallel: нет прав на запуск"), 1) << r.err;
  EXPECT_FALSE(Exists("p/cases/0000/done") || Exists("p/cases/0000/failed") || Exists("p/cases/0000/lock"));

  r = Run({"study", "slurm", "p", "--submit"}, path);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "") << "no job number";
  EXPECT_EQ(count(r.err, "Не удалось запустить sbatch: программа не найдена (нужен Slurm"), 1) << r.err;

  // The table is written all the same; the plots' scripts stay to be drawn later, no picture.
  ASSERT_EQ(Run({"study", "run", "p"}).status, 0);
  r = Run({"study", "collect", "p"}, path);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(count(r.err, "Не удалось запустить gnuplot: программа не найдена"), 1) << r.err;
  EXPECT_EQ(r.out, "p/results.csv\n");
  EXPECT_TRUE(Exists("p/plots/Beff-vs-flange-angle-deg.gp"));
  EXPECT_FALSE(Exists("p/plots/Beff-vs-flange-angle-deg.png"));
}

// The program itself gone while a study runs (deleted or replaced by a new
// build): the case under way ends, no other is started, the totals say so
// and the status is 1 with the reason; the case not started stays pending.
TEST_F(Study, StudyRunWhoseProgramIsGoneStartsNoMoreCases) {
  Write("s.toml", "name = \"two\"\n[base]\nmax-time = 0.3\n[sweep]\nflange-angle-deg = [30, 60]\n");
  ASSERT_EQ(Run({"study", "plan", "s.toml", "g"}).status, 0);
  const fs::path copy = dir_ / "batch-copy";
  fs::copy_file(MDV_BATCH_EXE, copy);
  const std::string run0 = copy.string() + " run --quiet --save g/cases/0000/state.evt";
  Result r;
  std::thread study([&] { r = Run({"study", "run", "g", "-j", "1"}, "", copy.string()); });
  const bool started = WaitFor([&] { return ProcessMentions(run0); }, 20);
  fs::remove(copy);
  study.join();
  ASSERT_TRUE(started);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("вариант 1 не начат: Не удалось запустить " + copy.string()), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("программа не найдена"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("Рассчитано 1 из 2, с ошибкой 0, не рассчитано 1"), std::string::npos) << r.out;
  EXPECT_TRUE(Exists("g/cases/0000/done"));
  EXPECT_FALSE(Exists("g/cases/0001/done") || Exists("g/cases/0001/failed"));
  // The next run does the case left; its line counts the one done before.
  r = Run({"study", "run", "g"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.rfind("рассчитано 2 из 2, с ошибкой 0, выполняется 0, осталось ~", 0), 0) << r.err;
}

// GNU parallel is given every pending case once and the options asked for;
// the folder goes as one word whatever its blanks. A stand-in records them.
TEST_F(Study, ParallelIsGivenThePendingCasesAndTheOptions) {
  Write("s.toml", "name = \"three\"\n[base]\nmax-time = 0.05\n[sweep]\nflange-angle-deg = [30, 45, 60]\n");
  ASSERT_EQ(Run({"study", "plan", "s.toml", "p q"}).status, 0);
  ASSERT_EQ(Run({"study", "case", "p q", "1"}).status, 0);
  fs::create_directories(dir_ / "bin");
  Write("bin/parallel", "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >>args.txt\necho === >>args.txt\n");
  fs::permissions(dir_ / "bin/parallel", fs::perms::owner_all);
  const std::string path = "PATH=" + Quote((dir_ / "bin").string());
  const Result with = Run({"study", "parallel", "p q", "-j", "1", "--threads", "2"}, path);
  EXPECT_EQ(with.status, 1) << "the stand-in ran nothing";
  EXPECT_NE(with.out.find("Рассчитано 1 из 3, с ошибкой 0, не рассчитано 2"), std::string::npos) << with.out;
  EXPECT_EQ(Run({"study", "parallel", "p q"}, path).status, 1);
  const std::string self = fs::canonical(MDV_BATCH_EXE).string(), dir = (dir_ / "p q").string();
  // The template is the program's own words; the program, the folder and the ids are data after :::.
  const std::string words = "{1}\nstudy\ncase\n{2}\n{3}\n--threads\n";
  const std::string data = ":::\n" + self + "\n:::\n" + dir + "\n:::\n0\n2\n===\n";
  EXPECT_EQ(Read("args.txt"), "--will-cite\n--halt\nnever\n-q\n-j\n1\n" + words + "2\n" + data +
                                  "--will-cite\n--halt\nnever\n-q\n" + words + "1\n" + data);
}

// Ctrl+C while a large study is planned: 130 within a second, the half-made
// plan left marked (removing its folders took a minute) so that no command
// computes it, and the next plan replaces it whole.
TEST_F(Study, PlanStopsOnCtrlCAndLeavesAMarkedPlanTheNextReplaces) {
  Write("big.toml", "name = \"big\"\n[base]\nmax-time = 0.05\n[sweep]\n"
                    "dt = { from = 0.0001, to = 10, step = 0.0001 }\n");
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::execl(MDV_BATCH_EXE, MDV_BATCH_EXE, "study", "plan", (dir_ / "big.toml").c_str(), (dir_ / "big").c_str(),
            nullptr);
    ::_exit(127);
  }
  const bool started = WaitFor([&] { return Exists("big/cases/0200/case.toml"); }, 60);
  ::kill(pid, SIGINT);
  const auto sent = std::chrono::steady_clock::now();
  int raw = 0;
  ::waitpid(pid, &raw, 0);
  const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
  ASSERT_TRUE(started) << "the plan never reached case 200";
  EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 130) << raw;
  EXPECT_LT(took, 1.0);
  EXPECT_TRUE(Exists("big/plan-incomplete"));
  EXPECT_FALSE(Exists("big/study.toml"));
  for (const char* command : {"run", "status", "collect"}) {
    const Result r = Run({"study", command, "big"});
    EXPECT_EQ(r.status, 1) << command;
    EXPECT_NE(r.err.find("не закончен"), std::string::npos) << command << ": " << r.err;
  }
  // Another study replaces it; the first plan's cases are gone.
  Write("small.toml", "name = \"small\"\n[base]\nmax-time = 0.05\n[sweep]\ndt = [0.001, 0.002]\n");
  const Result again = Run({"study", "plan", "small.toml", "big"});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_FALSE(Exists("big/plan-incomplete"));
  EXPECT_FALSE(Exists("big/cases/0002"));
  EXPECT_TRUE(Exists("big/cases/0001/case.toml"));
  int entries = 0;
  for (const auto& e : fs::directory_iterator(dir_ / "big")) entries += e.path().filename().string()[0] == '.';
  EXPECT_EQ(entries, 0) << "nothing of the first plan left aside";
  EXPECT_EQ(Run({"study", "status", "big"}).status, 0);
}

// Ctrl+C while collect draws its plots: 130, and the summary of before stays
// as it was (no table, plot or working folder of the stopped collect).
TEST_F(Study, CollectStopsOnCtrlCAndLeavesTheEarlierSummary) {
  Write("c.toml", "name = \"c\"\n[sweep]\nflange-angle-deg = [30, 45, 60]\ninflow-speed = [0, 1]\n"
                  "dt = [0.005, 0.004]\n[results]\npoints = [[0.1, 0.05], [0.2, 0.05], [0.3, 0.05]]\n");
  ASSERT_EQ(Run({"study", "plan", "c.toml", "c"}).status, 0);
  for (int id = 0; id < 12; ++id) {
    CaseResults r;
    for (const char* p : {"(0,1 0,05)", "(0,2 0,05)", "(0,3 0,05)"})
      for (const char* q : {"vx", "vy", "v"}) r.push_back({std::string(q) + p, "м/с", 0.01L * id + 0.1L});
    std::string error;
    ASSERT_TRUE(WriteTextFile(CaseFile((dir_ / "c").string(), id, CaseResultsName), ResultsFileText(r), error));
    ASSERT_TRUE(MarkCaseDone((dir_ / "c").string(), id, error)) << error;
  }
  Write("c/results.csv", "earlier\n");
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::execl(MDV_BATCH_EXE, MDV_BATCH_EXE, "study", "collect", (dir_ / "c").c_str(), nullptr);
    ::_exit(127);
  }
  // 27 plots: wait for the first picture in the working folder.
  const auto drawing = [&] {
    for (const auto& e : fs::directory_iterator(dir_ / "c"))
      if (e.path().filename().string().starts_with(".collect-") && fs::exists(e.path() / "plots") &&
          !fs::is_empty(e.path() / "plots"))
        return true;
    return false;
  };
  const bool started = WaitFor(drawing, 60);
  ::kill(pid, SIGINT);
  int raw = 0;
  ::waitpid(pid, &raw, 0);
  ASSERT_TRUE(started) << "no plot was begun";
  EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 130) << raw;
  EXPECT_EQ(Read("c/results.csv"), "earlier\n");
  EXPECT_FALSE(Exists("c/plots"));
  for (const auto& e : fs::directory_iterator(dir_ / "c"))
    EXPECT_FALSE(e.path().filename().string().starts_with(".collect-")) << e.path();

  // Uninterrupted: the whole summary, no working folder left.
  const Result whole = Run({"study", "collect", "c"});
  ASSERT_EQ(whole.status, 0) << whole.err;
  EXPECT_NE(Read("c/results.csv").find("vx(0,1 0,05) [м/с]"), std::string::npos);
  int pictures = 0;
  for (const auto& e : fs::directory_iterator(dir_ / "c" / "plots")) pictures += e.path().extension() == ".png";
  EXPECT_EQ(pictures, 27) << "9 results against 3 parameters";
  for (const auto& e : fs::directory_iterator(dir_ / "c"))
    EXPECT_FALSE(e.path().filename().string().starts_with(".collect-")) << e.path();
}

// What goes into the job script's directives cannot end a line there: the rest
// would run as the job's shell commands.
TEST_F(Study, SlurmScriptTakesNoLineBreaksIntoItsDirectives) {
  Write("s.toml", "name = \"two\"\n[base]\nmax-time = 0.05\n[sweep]\nflange-angle-deg = [30, 60]\n");
  ASSERT_EQ(Run({"study", "plan", "s.toml", "j"}).status, 0);
  for (const char* option : {"--partition", "--time"}) {
    const Result r = Run({"study", "slurm", "j", option, "x\necho injected"});
    EXPECT_EQ(r.status, 2) << option << ": " << r.err;
    EXPECT_FALSE(Exists("j/study.sbatch")) << option;
  }
  ASSERT_EQ(Run({"study", "slurm", "j"}).status, 0);
  const std::string script = Read("j/study.sbatch");
  EXPECT_EQ(script.find("\necho injected"), std::string::npos) << script;
  // Nor through the folder: a quote or control character in its path would
  // end or break the log directive's quotes.
  for (const char* folder : {"q\"d", "t\td"}) {
    ASSERT_EQ(Run({"study", "plan", "s.toml", folder}).status, 0);
    const Result r = Run({"study", "slurm", folder});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("не годится для Slurm"), std::string::npos) << r.err;
    EXPECT_FALSE(Exists(std::string(folder) + "/study.sbatch"));
  }
}

// The whole job script: one array task per case (0 to N − 1), the options
// given, the case command with the study folder quoted for the shell.
TEST_F(Study, SlurmScriptLineByLine) {
  Write("s.toml", "name = \"два угла\"\n[base]\nmax-time = 0.05\n[sweep]\nflange-angle-deg = [30, 45, 60]\n");
  ASSERT_EQ(Run({"study", "plan", "s.toml", "j"}).status, 0);
  const Result r = Run({"study", "slurm", "j", "--max-running", "2", "--threads", "3", "--partition", "p1", "--time",
                        "1:00:00"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string dir = (dir_ / "j").string();
  EXPECT_EQ(Read("j/study.sbatch"),
            "#!/bin/bash\n# Parameter study \"два угла\": one array task per case.\n"
            "#SBATCH --job-name=mdv-study\n"
            "#SBATCH --array=0-2%2\n"
            "#SBATCH --cpus-per-task=3\n"
            "#SBATCH --output=\"" + dir + "/slurm/%A_%a.out\"\n"
            "#SBATCH --partition=p1\n"
            "#SBATCH --time=1:00:00\n"
            "exec '" + fs::canonical(MDV_BATCH_EXE).string() + "' study case '" + dir +
                "' \"$SLURM_ARRAY_TASK_ID\" --threads 3\n");
  EXPECT_TRUE(fs::is_directory(dir_ / "j/slurm"));
}

// The done mark follows the results: a case whose results cannot be written
// is not done (and runs again).
TEST_F(Study, ResultsThatCannotBeWrittenLeaveTheCaseUndone) {
  Write("s.toml", "name = \"one\"\n[base]\nmax-time = 0.02\n[results]\nvortex-zone = false\npoints = [[0.1, 0.05]]\n");
  ASSERT_EQ(Run({"study", "plan", "s.toml", "d"}).status, 0);
  fs::create_directories(dir_ / "d/cases/0000/results.toml/blocked");
  const Result r = Run({"study", "case", "d", "0"});
  EXPECT_NE(r.status, 0);
  EXPECT_FALSE(Exists("d/cases/0000/done"));
  fs::remove_all(dir_ / "d/cases/0000/results.toml");
  ASSERT_EQ(Run({"study", "case", "d", "0"}).status, 0);
  EXPECT_TRUE(Exists("d/cases/0000/done"));
  EXPECT_NE(Read("d/cases/0000/results.toml").find("name = \"vx(0,1 0,05)\""), std::string::npos);
}

// Files whose name starts with PWN anywhere under the folder.
std::vector<std::string> Markers(const fs::path& dir) {
  std::vector<std::string> found;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.path().filename().string().rfind("PWN", 0) == 0) found.push_back(e.path().string());
  return found;
}

// A study's name and a case's result names reach gnuplot scripts only as
// string constants: back-quotes, $(…), system(…), quotes and backslashes are
// drawn as written and run nothing; a line break is refused where it enters.
TEST_F(Study, TextsReachPlotScriptsOnlyAsStrings) {
  const std::string name = "x `touch PWN1` $(touch PWN2) system(\"touch PWN3\") it's \"q\" back\\slash\\";
  std::string tomlName;
  for (char c : name) tomlName += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
  Write("s.toml", "name = \"" + tomlName +
                      "\"\n[base]\nmax-time = 0.05\n[sweep]\nflange-angle-deg = [30, 60]\n"
                      "[results]\nvortex-zone = false\npoints = [[0.1, 0.05]]\n");
  const Result plan = Run({"study", "plan", "s.toml", "h"});
  ASSERT_EQ(plan.status, 0) << plan.err;
  EXPECT_NE(plan.out.find(name), std::string::npos) << plan.out;
  const Result run = Run({"study", "run", "h"});
  ASSERT_EQ(run.status, 0) << run.err;
  // A result name with a back-quote and a quote, as a hand-edited results file may hold.
  const std::string result = "w`touch PWN4`'s \\";
  Write("h/cases/0000/results.toml", Read("h/cases/0000/results.toml") +
                                         "[[value]]\nname = \"w`touch PWN4`'s \\\\\"\nunit = \"\"\nvalue = 2.0\n");
  const Result collect = Run({"study", "collect", "h"});
  ASSERT_EQ(collect.status, 0) << collect.err;
  EXPECT_EQ(Markers(dir_), std::vector<std::string>{});

  // Drawn on gnuplot's text terminal, the title and the key read as written.
  for (const auto& [plot, text] : {std::pair<std::string, std::string>{"vx_0_1_0_05-vs-flange-angle-deg", name},
                                   {"w_touch_PWN4_s-vs-flange-angle-deg", result}}) {
    std::string script = Read("h/plots/" + plot + ".gp");
    ASSERT_FALSE(script.empty()) << plot;
    const size_t terminal = script.find("set terminal");
    const size_t output = script.find('\n', script.find("set output"));
    ASSERT_LT(terminal, output) << script;
    script.replace(terminal, output - terminal,
                   "set terminal dumb size 300,30 noenhanced\nset output '" + (dir_ / "drawn.txt").string() + "'");
    Write("drawn.gp", script);
    ASSERT_EQ(std::system(("cd " + Quote(dir_.string()) + " && gnuplot drawn.gp 2>/dev/null").c_str()), 0) << script;
    EXPECT_NE(Read("drawn.txt").find(text), std::string::npos) << plot << "\n" << Read("drawn.txt");
  }
  EXPECT_EQ(Markers(dir_), std::vector<std::string>{});

  // A line break in the name would start a gnuplot command and break case.toml.
  Write("n.toml", "name = \"a\\nsystem(\\\"touch PWN5\\\")\"\n[base]\nmax-time = 0.05\n");
  const Result refused = Run({"study", "plan", "n.toml", "n"});
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("n.toml, строка 1, ключ «name»: недопустимый управляющий символ"), std::string::npos)
      << refused.err;
  EXPECT_FALSE(Exists("n"));
}

}  // namespace
}  // namespace mdv
