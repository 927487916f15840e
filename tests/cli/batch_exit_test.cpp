// The batch tool as a scripting tool: one exit status per class of fault,
// Russian texts, outputs checked before any work, and Ctrl+C.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/batch_text.h"
#include "core/base/bytes.h"
#include "core/base/safe_file.h"
#include "core/model/records.h"
#include "core/model/vortex_file.h"

namespace fs = std::filesystem;

namespace mdv {
namespace {

using test::Slurp;

struct Result {
  int Status = -1;
  std::string Out, Err;
};

// CTest runs every case in its own process, in parallel: the folder carries the pid.
class BatchExit : public ::testing::Test {
 protected:
  static fs::path Dir() { return fs::temp_directory_path() / ("mdv_batch_exit_" + std::to_string(::getpid())); }

  static void SetUpTestSuite() {
    fs::remove_all(Dir());
    fs::create_directories(Dir());
    ASSERT_EQ(Start({"run", "--quiet", "--max-time", "0,02", "--save", "state.evt", "--pulsation-points",
                     "0.2,0.1;0.1,0.05", "--pulsation-file", "rec.pls", "--track-file", "rec.fvt"})
                  .Wait()
                  .Status,
              0);
    std::ofstream(Dir() / "corrupt.evt") << "not a vortex file";
    std::ofstream(Dir() / "short.pls") << "short";
  }
  static void TearDownTestSuite() { fs::remove_all(Dir()); }

  // The tool running in the test folder, stdout and stderr into files.
  struct Process {
    pid_t Pid = -1;
    std::string Tag;
    bool StderrHas(const std::string& text) const { return Slurp(Dir() / (Tag + ".err")).find(text) != std::string::npos; }
    Result Wait() const {
      int raw = 0;
      ::waitpid(Pid, &raw, 0);
      Result r;
      r.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
      r.Out = Slurp(Dir() / (Tag + ".out"));
      r.Err = Slurp(Dir() / (Tag + ".err"));
      return r;
    }
  };
  static Process Start(const std::vector<std::string>& args) {
    static int count = 0;
    Process p;
    p.Tag = std::to_string(++count);
    p.Tag.insert(0, 1, 'p');
    // Everything the child needs is made before the fork (its pid differs).
    const std::string dir = Dir().string();
    const std::string out = (Dir() / (p.Tag + ".out")).string();
    const std::string err = (Dir() / (p.Tag + ".err")).string();
    std::vector<char*> argv{const_cast<char*>(MDV_BATCH_EXE)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    p.Pid = ::fork();
    if (p.Pid == 0) {
      if (::chdir(dir.c_str()) != 0) ::_exit(127);
      ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
      ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
      ::execv(MDV_BATCH_EXE, argv.data());
      ::_exit(127);
    }
    return p;
  }
  static Result Run(const std::vector<std::string>& args) { return Start(args).Wait(); }
};

// The messages, without the help hint, hold no English phrase of the parser.
bool HasEnglishPhrase(const std::string& err) {
  std::string text;
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("Справка: ", 0) == 0) continue;
    const std::string prefix = "rinfet-mdv-batch: ";
    text += (line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : line) + "\n";
  }
  return std::regex_search(text, std::regex("[A-Za-z]{3,} [A-Za-z]{3,}"));
}

TEST_F(BatchExit, EachClassOfFaultHasItsStatus) {
  struct Row {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* message;  // a part of the message on stderr
  } rows[] = {
      // Refused arguments: 2, whoever refuses them (the parser, the command, the core).
      {"no command", {}, 2, "не задана команда"},
      {"unknown command", {"bogus"}, 2, "неизвестная команда \"bogus\""},
      {"option without its value", {"run", "--dt"}, 2, "--dt"},
      {"unknown option", {"run", "--speed", "1"}, 2, "--speed"},
      {"options excluding each other", {"run", "--load", "state.evt", "--plane-x", "-1"}, 2, "--plane-x"},
      {"option needing another", {"run", "--pulsation-file", "p.pls"}, 2, "--pulsation-points"},
      {"integer not a number", {"pulsation", "rec.pls", "--point", "q"}, 2, "--point"},
      {"missing argument", {"velocity", "state.evt"}, 2, "обязательный"},
      {"stream-line start not a number", {"streamline", "state.evt", "a", "0", "0,005", "1"}, 2, "X0"},
      {"zero stream-line step", {"streamline", "state.evt", "0.1", "0.005", "0", "1"}, 2, "больше нуля"},
      {"vortex-zone step not a number", {"vortex-area", "state.evt", "--dt", "abc"}, 2, "--dt"},
      {"empty file name", {"run", "--max-time", "0,01", "--save", ""}, 2, "--save"},
      {"empty CSV name", {"track", "rec.fvt", "--csv", ""}, 2, "--csv"},
      {"point beyond the record", {"pulsation", "rec.pls", "--point", "3"}, 2, "нет точки с номером 3"},
      {"run of 10^300 steps", {"run", "--dt", "1e-300", "--save", "x.evt"}, 2, "1E300 шагов"},
      {"end time finite only in 80 bits", {"run", "--max-time", "1e999", "--save", "x.evt"}, 2, "шагов"},
      // Outputs are checked before the first step.
      {"one file for two outputs", {"run", "--max-time", "0,01", "--save", "x.evt", "--track-file", "./x.evt"}, 2, "один файл"},
      {"state where no file can be created", {"run", "--max-time", "0,01", "--save", "/proc/x.evt"}, 2, "--save"},
      {"CSV where no file can be created",
       {"streamline", "state.evt", "0.1", "0.005", "0.005", "1", "--csv", "/proc/l.csv"}, 2, "--csv"},
      // Wrong file contents and failed computations: 1.
      {"corrupt state", {"report", "corrupt.evt"}, 1, "\"corrupt.evt\""},
      {"missing state", {"report", "missing.evt"}, 1, "\"missing.evt\""},
      {"corrupt record", {"pulsation", "short.pls"}, 1, "\"short.pls\""},
      {"dimension that is no measurement", {"vortex-area", "state.evt", "--first=-0.2,-0.1"}, 1, "не измерено: Bэф"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Result r = Run(row.args);
    EXPECT_EQ(r.Status, row.status) << r.Err;
    EXPECT_NE(r.Err.find(row.message), std::string::npos) << r.Err;
    EXPECT_FALSE(HasEnglishPhrase(r.Err)) << r.Err;
    EXPECT_EQ(r.Out.find("Bэф"), std::string::npos) << "a failed measurement is never printed";
    EXPECT_FALSE(fs::exists(Dir() / "x.evt"));
    EXPECT_FALSE(fs::exists(Dir() / "l.csv"));
  }
}

TEST_F(BatchExit, HelpIsRussianAndDocumentsInterrupting) {
  const std::vector<std::vector<std::string>> asks = {
      {"--help"}, {"run", "--help"}, {"velocity", "--help"}, {"report", "--help"}, {"streamline", "--help"},
      {"vortex-area", "--help"}, {"pulsation", "--help"}, {"track", "--help"}};
  for (const auto& ask : asks) {
    SCOPED_TRACE(ask.front());
    const Result r = Run(ask);
    EXPECT_EQ(r.Status, 0);
    EXPECT_NE(r.Out.find("Использование:"), std::string::npos) << r.Out;
    for (const char* english : {"Usage", "Options", "Subcommands", "Positionals", "REQUIRED", "TEXT", "Print this",
                                "Excludes", "Needs", "help message"}) {
      EXPECT_EQ(r.Out.find(english), std::string::npos) << english << " in\n" << r.Out;
    }
  }
  const Result run = Run({"run", "--help"});
  EXPECT_NE(run.Out.find("\"прервано при t = ...;"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("130"), std::string::npos) << run.Out;
}

// Ctrl+C keeps what is complete: the set-up of a fine contour (tens of
// seconds) gives up at once, a run stops after its step; either way the state
// is saved and said to be.
TEST_F(BatchExit, CtrlCSavesTheStateAndSaysWhere) {
  struct Row {
    const char* name;
    std::vector<std::string> args;
    const char* waitFor;  // on stderr, before Ctrl+C is sent
    bool steps;          // the state has free vortices
    std::string files = "";  // the other files written, as the message names them
  } rows[] = {
      {"during the set-up", {"run", "--vortex-spacing", "0,001", "--max-time", "1", "--save", "i.evt"},
       "подготовка:", false},
      {"between steps", {"run", "--max-time", "100", "--save", "i.evt"}, "шаг ", true},
      {"refined, with its budget", {"run", "--model", "refined", "--max-time", "100", "--save", "i.evt",
                                    "--refined-budget", "i.txt"}, "шаг ", true,
       "; баланс уточнённой модели — в \"i.txt\""},
      {"averaging", {"run", "--max-time", "100", "--save", "i.evt", "--average-from", "0", "--averages", "i.json",
                     "--field", "i.vti", "--field-csv", "i.csv"}, "шаг ", true,
       "; средние сохранены в \"i.json\"; среднее поле — в \"i.vti\"; таблица среднего поля — в \"i.csv\""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    for (const char* f : {"i.evt", "i.json", "i.vti", "i.csv", "i.txt"}) fs::remove(Dir() / f);
    const Process p = Start(row.args);
    const auto start = std::chrono::steady_clock::now();
    while (!p.StderrHas(row.waitFor) && std::chrono::steady_clock::now() - start < std::chrono::seconds(60)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(p.StderrHas(row.waitFor));
    const auto sent = std::chrono::steady_clock::now();
    ::kill(p.Pid, SIGINT);
    const Result r = p.Wait();
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
    EXPECT_EQ(r.Status, 130) << r.Err;
    // Not a speed figure: before, a set-up ran on for tens of seconds.
    EXPECT_LT(took, 10) << "Ctrl+C was not honoured";
    std::smatch said;
    ASSERT_TRUE(std::regex_search(r.Err, said, std::regex("прервано при t = ([0-9]+),([0-9]{3}) с; состояние сохранено в \"i.evt\"" +
                                                          row.files + "\n")))
        << r.Err;
    for (const char* f : {"i.json", "i.vti", "i.csv", "i.txt"})
      EXPECT_EQ(fs::exists(Dir() / f), row.files.find(f) != std::string::npos) << f;
    Bytes b;
    std::string error;
    ASSERT_TRUE(ReadWholeFile((Dir() / "i.evt").string(), b, error)) << error;
    Model m;
    ASSERT_TRUE(DecodeVortexFile(b, m, error)) << error;
    EXPECT_EQ(m.FreeVortexCount > 0, row.steps);
    EXPECT_NEAR(static_cast<double>(m.Time), std::stod(said[1].str() + "." + said[2].str()), 0.0005);
  }
}

// A long pulsation record: the statistics, the series and the spectra stop
// on Ctrl+C with 130 and leave nothing, neither a table (nor its temporary
// file) nor a summary; the series to stdout included.
TEST_F(BatchExit, CtrlCOnAPulsationRecordLeavesNothing) {
  const int32_t m = 2'000'000;  // seconds of formatting for the series
  {
    PulsationRecord r;
    r.TimeStep = 0.001L;
    r.Points = {{0.1L, 0.1L}};
    r.SampleCount = m;
    r.Vx.assign(1, TRealArray(static_cast<size_t>(m)));
    r.Vy.assign(1, TRealArray(static_cast<size_t>(m), 0.25L));
    for (int32_t j = 0; j < m; ++j) r.Vx[0][j] = (j % 17) * 0.01L;
    std::string error;
    ASSERT_TRUE(WriteFileAtomically((Dir() / "long.pls").string(), EncodePulsationRecord(r), error)) << error;
  }
  const std::vector<std::vector<std::string>> asks = {
      {"pulsation", "long.pls", "--csv", "long.csv"},
      {"pulsation", "long.pls", "--csv", "-"},
      {"pulsation", "long.pls", "--spectrum", "--csv", "long.csv"}};
  for (const auto& ask : asks) {
    SCOPED_TRACE(ask.back());
    const Process p = Start(ask);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(p.Pid, SIGINT);
    const Result r = p.Wait();
    EXPECT_EQ(r.Status, 130) << r.Err;
    EXPECT_EQ(r.Out, "");
    EXPECT_NE(r.Err.find("ничего не записано"), std::string::npos) << r.Err;
    EXPECT_EQ(r.Err.find("<Vx>"), std::string::npos) << r.Err;
    for (const auto& e : fs::directory_iterator(Dir()))
      EXPECT_EQ(e.path().filename().string().find("long.csv"), std::string::npos) << e.path();
  }
  fs::remove(Dir() / "long.pls");
}

}  // namespace
}  // namespace mdv
