// The analysis commands of the batch tool, run as a script would run them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/batch_text.h"
#include "core/model/area.h"
#include "core/model/records.h"
#include "core/flow/run.h"
#include "core/base/safe_file.h"
#include "core/model/vortex_file.h"

namespace mdv {
namespace {

struct Result {
  int Status = -1;
  std::string Out;
  std::string Err;
};

// CTest runs every case in its own process, in parallel: names carry the pid.
std::string Temp(const std::string& name) {
  return ::testing::TempDir() + "analysis_cli_" + std::to_string(::getpid()) + "_" + name;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs a shell command line, its stderr kept apart from its stdout.
Result Shell(const std::string& line) {
  const std::string errFile = Temp("stderr.txt");
  const std::string cmd = line + " 2>'" + errFile + "'";
  Result r;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.Out.append(buf, n);
  const int st = pclose(p);
  r.Status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  r.Err = ReadText(errFile);
  std::remove(errFile.c_str());
  return r;
}

Result Batch(const std::vector<std::string>& args) {
  std::string cmd = std::string("'") + MDV_BATCH_EXE + "'";
  for (const std::string& a : args) cmd += " '" + a + "'";
  return Shell(cmd);
}

// A shell pipeline ending in the batch tool.
Result Piped(const std::string& input, const std::string& env, const std::string& args) {
  return Shell("cat " + input + " | " + env + " '" + MDV_BATCH_EXE + "' " + args);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// A state after a short run, and the same area with no free vortex.
class AnalysisCommands : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Model m;
    BuildArea(m);
    SetSheddingIntervals(m, 0, 0, 0);
    std::string error;
    ASSERT_TRUE(SaveVortexFile(m, EmptyState(), error)) << error;
    RunSimulation(m, 100, 0, 0, 0.1L, 0.005L);
    ASSERT_GT(m.FreeVortexCount, 0);
    ASSERT_TRUE(SaveVortexFile(m, State(), error)) << error;
  }
  static void TearDownTestSuite() {
    std::remove(State().c_str());
    std::remove(EmptyState().c_str());
  }
  static std::string State() { return Temp("state.evt"); }
  static std::string EmptyState() { return Temp("empty.evt"); }
};

TEST_F(AnalysisCommands, StreamLineWritesItsPointsAsCsv) {
  const Result dot = Batch({"streamline", State(), "0.1", "0.005", "0.005", "1"});
  ASSERT_EQ(dot.Status, 0) << dot.Err;
  const std::vector<std::string> lines = Lines(dot.Out);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "x;y");
  EXPECT_EQ(lines[1], "0,1;0,005");
  // A decimal comma on the command line is the same number.
  const Result comma = Batch({"streamline", State(), "0,1", "0,005", "0,005", "1"});
  ASSERT_EQ(comma.Status, 0) << comma.Err;
  EXPECT_EQ(comma.Out, dot.Out);
  // --csv writes the same text to a file and nothing to stdout.
  const std::string csv = Temp("line.csv");
  const Result file = Batch({"streamline", State(), "0.1", "0.005", "0.005", "1", "--csv", csv});
  ASSERT_EQ(file.Status, 0) << file.Err;
  EXPECT_TRUE(file.Out.empty());
  EXPECT_EQ(ReadText(csv), dot.Out);
  std::remove(csv.c_str());
  // A negative maximum length gives the start point alone.
  const Result none = Batch({"streamline", State(), "0.1", "0.005", "0.005", "-1"});
  ASSERT_EQ(none.Status, 0) << none.Err;
  EXPECT_EQ(Lines(none.Out).size(), 2u);
}

TEST_F(AnalysisCommands, VortexAreaListsTheSevenDimensions) {
  const Result r = Batch({"vortex-area", State()});
  ASSERT_EQ(r.Status, 0) << r.Err;
  const std::vector<std::string> lines = Lines(r.Out);
  const char* labels[] = {"Bэф", "b", "l", "a0", "a", "dmax", "lmax"};
  ASSERT_EQ(lines.size(), 7u) << r.Out;
  for (size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(lines[i].rfind(std::string(labels[i]) + " = ", 0), 0u) << lines[i];
    // fixed(6, 4): four decimals after the comma, then the unit.
    const auto comma = lines[i].find(',');
    ASSERT_NE(comma, std::string::npos) << lines[i];
    EXPECT_EQ(lines[i].substr(comma + 1), lines[i].substr(comma + 1, 4) + " м") << lines[i];
  }
  EXPECT_NE(r.Err.find("линия тока 1"), std::string::npos) << "progress goes to stderr";

  // The defaults are the window's: the same run with them spelt out.
  const Result same = Batch({"vortex-area", State(), "--first=-0.434,0.401", "--second",
                             "0,0.149", "--dt", "0,001"});
  ASSERT_EQ(same.Status, 0) << same.Err;
  EXPECT_EQ(same.Out, r.Out);
}

// Every command that evaluates a saved state's flow takes the refined model
// through one option group: its free rings seen through the smoothed kernel
// give other figures than the program's cut-off, the same as `velocity
// --model refined` where they meet, and the state itself is not changed.
TEST_F(AnalysisCommands, EveryFlowCommandTakesTheRefinedModel) {
  // 1 mm below the mouth's edge, among the rings just shed.
  const std::string x = "0", y = "0.149";
  struct Row {
    const char* name;
    std::vector<std::string> args;
  };
  const Row rows[] = {
      {"velocity", {"velocity", State(), x, y}},
      {"report", {"report", State()}},
      {"streamline", {"streamline", State(), x, y, "0.005", "0.02"}},
      {"vortex-area", {"vortex-area", State()}},
      {"centreline", {"centreline", State()}},
  };
  std::vector<std::string> refinedOut;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const auto with = [&](std::vector<std::string> extra) {
      std::vector<std::string> args = r.args;
      args.insert(args.end(), extra.begin(), extra.end());
      const Result out = Batch(args);
      EXPECT_EQ(out.Status, 0) << out.Err;
      return out.Out;
    };
    const std::string program = with({});
    const std::string refined = with({"--model", "refined"});
    EXPECT_NE(refined, program);
    EXPECT_EQ(with({"--model", "program"}), program) << "the program's model is the default";
    // The smoothing length reaches the field.
    EXPECT_NE(with({"--model", "refined", "--smoothing-length", "0,03"}), refined);
    refinedOut.push_back(refined);
  }
  // The velocity at the streamline's start and its first step's direction
  // (numbers with a decimal comma).
  const auto number = [](std::string text) {
    for (char& c : text) c = c == ',' ? '.' : c;
    return std::strtod(text.c_str(), nullptr);
  };
  const std::vector<std::string> speedLines = Lines(refinedOut[0]);
  ASSERT_EQ(speedLines.size(), 3u) << refinedOut[0];
  const double vx = number(speedLines[1].substr(speedLines[1].find('=') + 1));
  const double vy = number(speedLines[2].substr(speedLines[2].find('=') + 1));
  const std::vector<std::string> line = Lines(refinedOut[2]);
  ASSERT_GE(line.size(), 3u);
  const double x1 = number(line[2].substr(0, line[2].find(';')));
  const double y1 = number(line[2].substr(line[2].find(';') + 1));
  const double speed = std::hypot(vx, vy);
  ASSERT_GT(speed, 0.1);
  // Vx, Vy are printed to 4 decimals (half a unit: 1,4e-4 of this speed).
  EXPECT_NEAR(x1 / 0.005, vx / speed, 5e-4);
  EXPECT_NEAR((y1 - 0.149) / 0.005, vy / speed, 5e-4);
  // The report's sums of the circulations are the state's, on both models.
  const std::vector<std::string> a = Lines(refinedOut[1]);
  const std::vector<std::string> b = Lines(Batch({"report", State()}).Out);
  ASSERT_EQ(a.size(), b.size());
  ASSERT_GE(a.size(), 2u);
  EXPECT_EQ(a[a.size() - 1], b[b.size() - 1]);
  EXPECT_EQ(a[a.size() - 2], b[b.size() - 2]);
  // A bad model option is refused before the file is read.
  const Result bad = Batch({"report", Temp("none.evt"), "--smoothing-length", "-1"});
  EXPECT_EQ(bad.Status, 2);
  EXPECT_NE(bad.Err.find("--smoothing-length"), std::string::npos) << bad.Err;
}

TEST_F(AnalysisCommands, PulsationAndTrackReadRunRecords) {
  PulsationRecord p;
  p.StartTime = 0.5L;
  p.TimeStep = 0.005L;
  p.Points = {{0.2L, 0.15L}, {-0.1L, 0.3L}};
  p.SampleCount = 4;
  p.Vx = {{1, 1, 1, 1}, {1, 2, 3, 4}};
  p.Vy = {{0, 0, 0, 0}, {0.5L, -0.5L, 0.5L, -0.5L}};
  const std::string pls = Temp("p.pls");
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(pls, EncodePulsationRecord(p), error)) << error;

  const Result first = Batch({"pulsation", pls});
  ASSERT_EQ(first.Status, 0) << first.Err;
  EXPECT_NE(first.Out.find("1: (0,2; 0,15) м\n2: (-0,1; 0,3) м\n"), std::string::npos) << first.Out;
  EXPECT_NE(first.Out.find("<Vx> = 1,00000 м/с\n"), std::string::npos) << first.Out;
  EXPECT_NE(first.Out.find("Среднекв. значение прод. пульсации = 0,00000 м/с\n"), std::string::npos);

  // With the series on stdout, the summary goes to stderr: stdout is the CSV alone.
  const Result second = Batch({"pulsation", pls, "--point", "2", "--csv", "-"});
  ASSERT_EQ(second.Status, 0) << second.Err;
  EXPECT_NE(second.Err.find("<Vx> = 2,50000 м/с\n"), std::string::npos) << second.Err;
  EXPECT_NE(second.Err.find("Среднекв. значение прод. пульсации = 1,11803 м/с\n"), std::string::npos);
  EXPECT_EQ(second.Out, "t;dVx;dVy\n0,5;-1,5;0,5\n0,505;-0,5;-0,5\n0,51;0,5;0,5\n0,515;1,5;-0,5\n");

  // From a pipe, read by seeking through a temporary copy: the same figures,
  // bytes beyond the record's counts refused, no copy left behind.
  const std::string tmp = Temp("tmpdir");
  ASSERT_EQ(::mkdir(tmp.c_str(), 0700), 0);
  const std::string env = "TMPDIR='" + tmp + "'";
  const Result piped = Piped("'" + pls + "'", env, "pulsation /dev/stdin --point 2 --csv -");
  ASSERT_EQ(piped.Status, 0) << piped.Err;
  EXPECT_EQ(piped.Out, second.Out);
  EXPECT_NE(piped.Err.find("<Vx> = 2,50000 м/с\n"), std::string::npos) << piped.Err;
  const Result spectrum = Piped("'" + pls + "'", env, "pulsation /dev/stdin --spectrum");
  const Result spectrumOfFile = Batch({"pulsation", pls, "--spectrum"});
  EXPECT_EQ(spectrum.Status, spectrumOfFile.Status);
  EXPECT_EQ(spectrum.Err, spectrumOfFile.Err);
  const Result longer = Piped("'" + pls + "' /dev/null '" + pls + "'", env, "pulsation /dev/stdin");
  EXPECT_EQ(longer.Status, 1);
  EXPECT_NE(longer.Err.find("данных больше"), std::string::npos) << longer.Err;
  EXPECT_EQ(::rmdir(tmp.c_str()), 0) << "a temporary copy was left in " << tmp;

  TrackRecord t;
  t.StartTime = 0;
  t.TimeStep = 0.005L;
  t.Spacing = 0.01L;
  t.Gammas = {-0.0628318530717958647692L, 0};
  const std::string fvt = Temp("t.fvt");
  ASSERT_TRUE(WriteFileAtomically(fvt, EncodeTrackRecord(t), error)) << error;
  const Result track = Batch({"track", fvt});
  ASSERT_EQ(track.Status, 0) << track.Err;
  const std::vector<std::string> lines = Lines(track.Out);
  ASSERT_EQ(lines.size(), 3u) << track.Out;
  EXPECT_EQ(lines[1], "0;1");  // |-0,02π / (2π · 0,01)|
  EXPECT_EQ(lines[2], "0,005;0");
  std::remove(pls.c_str());
  std::remove(fvt.c_str());
}

TEST_F(AnalysisCommands, BadInputFailsWithAMessage) {
  const std::string pls = Temp("short.pls");
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(pls, Bytes(27, 0), error));
  PulsationRecord noSamples;
  noSamples.Points = {{0.1L, 0.1L}};
  noSamples.Vx = noSamples.Vy = {{}};
  const std::string empty = Temp("empty.pls");
  ASSERT_TRUE(WriteFileAtomically(empty, EncodePulsationRecord(noSamples), error));

  struct Row {
    const char* name;
    std::vector<std::string> args;
    const char* message;  // a part of the message on stderr
  };
  // A free vortex whose circulation is beyond a double's range (the 80-bit
  // file holds it): no arithmetic in use can give its velocities.
  Model huge;
  ASSERT_TRUE(LoadVortexState(huge, State(), error)) << error;
  ASSERT_GT(huge.FreeVortexCount, 0);
  huge.Vortices[static_cast<size_t>(huge.AttachedCount)].Gamma = 1e4815L;
  const std::string big = Temp("huge.evt");
  ASSERT_TRUE(SaveVortexFile(huge, big, error)) << error;

  const Row rows[] = {
      {"step not a number", {"streamline", State(), "0.1", "0.005", "abc", "1"}, "STEP"},
      {"zero step", {"streamline", State(), "0.1", "0.005", "0", "1"}, "больше нуля"},
      {"missing file", {"streamline", Temp("none.evt"), "0.1", "0.005", "0.005", "1"}, "none.evt"},
      {"no free vortices", {"vortex-area", EmptyState()}, "Не задана вихревая структура"},
      {"point without comma", {"vortex-area", State(), "--first", "0.1"}, "--first"},
      {"point with decimal commas", {"vortex-area", State(), "--second", "0,1,0,2"}, "--second"},
      {"negative time step", {"vortex-area", State(), "--dt", "-0.001"}, "больше нуля"},
      {"short pulsation file", {"pulsation", pls}, "short.pls"},
      {"no samples", {"pulsation", empty}, "нет отсчетов"},
      {"point out of range", {"pulsation", empty, "--point", "2"}, "2"},
      {"not a circulation record", {"track", pls}, "short.pls"},
      // Endless input: judged by its header before anything more is read
      // (earlier: refused after 40 MB, the longest a vortex file can be).
      {"endless vortex file", {"centreline", "/dev/zero"}, "версия формата 0"},
      {"circulation beyond a double", {"centreline", big}, "не представима числом двойной точности"},
      // Its velocity fits the extended sums but not the line's 64-bit steps:
      // earlier "линия остановилась там, где воздух неподвижен".
      {"stream line beyond a double", {"streamline", big, "0.1", "0.005", "0.005", "1"}, "не представима числом двойной точности"},
      {"circulation beyond the double path", {"centreline", big, "--precision", "double"},
       "вне диапазона двойной точности (--precision double)"},
  };
  for (const Row& row : rows) {
    const Result r = Batch(row.args);
    EXPECT_NE(r.Status, 0) << row.name;
    EXPECT_EQ(r.Out.find("—"), std::string::npos) << row.name << ": a value shown as a dash";
    EXPECT_NE(r.Err.find(row.message), std::string::npos) << row.name << ": " << r.Err;
  }
  // Through a pipe a vortex file is read as far as its header says: the file
  // itself is taken; with endless zeros after it, one byte more is refused.
  const std::string exe = std::string("'") + MDV_BATCH_EXE + "' centreline /dev/stdin >/dev/null 2>";
  const std::string err = Temp("pipe.err");
  int raw = std::system(("cat '" + State() + "' | " + exe + "'" + err + "'").c_str());
  EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << raw << " " << test::Slurp(err);
  raw = std::system(("cat '" + State() + "' /dev/zero | " + exe + "'" + err + "'").c_str());
  EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 1) << raw;
  EXPECT_NE(test::Slurp(err).find("указанных заголовком"), std::string::npos) << test::Slurp(err);
  std::remove(err.c_str());
  std::remove(pls.c_str());
  std::remove(empty.c_str());
  std::remove(big.c_str());
}

}  // namespace
}  // namespace mdv
