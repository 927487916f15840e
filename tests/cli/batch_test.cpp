// The batch tool's model commands, run as a separate process: the saved
// state, its continuation, the records, the reports and refused arguments.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "cli/batch_text.h"
#include "core/base/bytes.h"
#include "core/base/real.h"
#include "core/model/records.h"
#include "core/base/safe_file.h"

namespace fs = std::filesystem;

namespace mdv {
namespace {

using test::Quote;
using test::Slurp;

struct Result {
  int status = -1;
  std::string out, err;
};

class Batch : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("mdv_batch_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs the tool in the test folder.
  Result Run(const std::vector<std::string>& args) {
    std::string cmd("cd ");
    cmd.append(Quote(dir_.string())).append(" && ").append(Quote(MDV_BATCH_EXE));
    for (const std::string& a : args) cmd.append(1, ' ').append(Quote(a));
    cmd.append(" >out.txt 2>err.txt");
    const int raw = std::system(cmd.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = Slurp(dir_ / "out.txt");
    r.err = Slurp(dir_ / "err.txt");
    return r;
  }
  Bytes Read(const std::string& name) {
    Bytes b;
    std::string error;
    EXPECT_TRUE(ReadWholeFile((dir_ / name).string(), b, error)) << error;
    return b;
  }
  bool Exists(const std::string& name) const { return fs::exists(dir_ / name); }
  fs::path dir_;
};

TEST_F(Batch, SavedStateAndAContinuationThatMakesNoStep) {
  const Result first = Run({"run", "--max-time", "0,1", "--save", "out.evt", "--quiet"});
  ASSERT_EQ(first.status, 0) << first.err;
  const Bytes b = Read("out.evt");
  ASSERT_GE(b.size(), 193u);
  const int32_t f = GetInt32(&b[71]);
  const int32_t n = GetInt32(&b[99]);
  EXPECT_EQ(n, 396);
  EXPECT_GT(f, 0);
  EXPECT_EQ(GetInt32(&b[95]), 400) << "the Start button's default limit";
  EXPECT_EQ(b.size(), 193u + 104u * n + 40u * f);
  const Real time = GetExt(&b[75]);
  EXPECT_GT(time, 0.1L);
  EXPECT_LT(time, 0.1L + 0.005L);
  EXPECT_EQ(GetExt(&b[85]), 0.005L);

  // Continuing to an end already reached (or before it) makes no step: it
  // says so, exits 0 and writes the state unchanged, byte for byte the loaded
  // file, but no empty record over the last run's.
  std::ofstream(dir_ / "p.pls") << "the last run's record";
  for (const char* end : {"0.1", "-1"}) {
    SCOPED_TRACE(end);
    fs::remove(dir_ / "out2.evt");
    const Result again = Run({"run", "--load", "out.evt", "--max-time", end, "--save", "out2.evt",
                              "--pulsation-points", "0.2,0.1", "--pulsation-file", "p.pls"});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.err.find("Заданное время моделирования уже достигнуто; состояние записано без изменений"),
              std::string::npos)
        << again.err;
    EXPECT_EQ(Slurp(dir_ / "out2.evt"), Slurp(dir_ / "out.evt"));
    EXPECT_EQ(Slurp(dir_ / "p.pls"), "the last run's record");
  }
}

TEST_F(Batch, LoadedStateKeepsThePlaneItWasComputedWith) {
  // The case: the stream line stopped "at a wall" at x = -0,5, the
  // default plane, and --load continued against that plane.
  ASSERT_EQ(Run({"run", "--plane-x", "-0.8", "--plane-half-length", "0.6", "--max-time", "0.1",
                 "--save", "pl.evt", "--quiet"}).status, 0);
  const Result line = Run({"streamline", "pl.evt", "-0.6", "0.3", "0.01", "1"});
  ASSERT_EQ(line.status, 0) << line.err;
  double rightmost = -1;  // m; the line starts at x = -0,6 and runs towards the hood
  int points = 0;
  std::stringstream in(line.out);
  std::string row;
  std::getline(in, row);  // the header
  for (; std::getline(in, row); ++points) {
    std::string x = row.substr(0, row.find(';'));
    std::replace(x.begin(), x.end(), ',', '.');
    rightmost = std::max(rightmost, std::stod(x));
  }
  EXPECT_GT(points, 20) << line.out;
  EXPECT_GT(rightmost, -0.5) << "the line runs on past the default plane's x";

  ASSERT_EQ(Run({"run", "--load", "pl.evt", "--max-time", "0.12", "--save", "pl2.evt", "--quiet"}).status, 0);
  const Bytes b = Read("pl2.evt");
  ASSERT_GE(b.size(), 193u);
  const int32_t n = GetInt32(&b[99]);
  EXPECT_EQ(n, 416) << "20 more vortices on the larger plane";
  ASSERT_GE(b.size(), 193u + 104u * n);
  const uint8_t* end = &b[193 + 64 * size_t(n) + 40 * size_t(n - 1)];
  EXPECT_EQ(GetExt(end), -0.8L);
  EXPECT_EQ(GetExt(end + 10), 0.6L);

  // Attached vortices that the file's parameters do not build: every command
  // that loads the state refuses it.
  Bytes moved = Read("pl.evt");
  const size_t vortex17 = 193 + 64 * size_t(n) + 40 * 17;
  PutExt(&moved[vortex17], GetExt(&moved[vortex17]) + 1e-6L);
  std::string error;
  ASSERT_TRUE(WriteFileAtomically((dir_ / "moved.evt").string(), moved, error)) << error;
  const std::vector<std::vector<std::string>> loads = {
      {"velocity", "moved.evt", "0.1", "0.05"}, {"report", "moved.evt"},
      {"streamline", "moved.evt", "-0.6", "0.3", "0.01", "1"}, {"vortex-area", "moved.evt"},
      {"run", "--load", "moved.evt", "--save", "x.evt"}};
  for (const auto& args : loads) {
    const Result r = Run(args);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_NE(r.err.find("присоединенные вихри не соответствуют параметрам файла"), std::string::npos)
        << args[0] << ": " << r.err;
  }
  EXPECT_FALSE(Exists("x.evt"));
}

TEST_F(Batch, AreaOptionsReachTheModel) {
  const Result r = Run({"run", "--flange-angle-deg", "30", "--channel-radius", "0,2", "--plane-x",
                        "-0.6", "--max-time", "0", "--save", "a.evt", "--quiet"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Bytes b = Read("a.evt");
  ASSERT_GE(b.size(), 193u);
  EXPECT_EQ(GetExt(&b[103]), 0.2L);
  EXPECT_EQ(GetExt(&b[143]), Real(30) / 180 * Pi) << "degrees convert as the area dialog does";
}

TEST_F(Batch, ViscosityReachesTheRefinedModel) {
  const auto state = [&](const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"run", "--model", "refined", "--vortex-spacing", "0,02", "--max-time",
                                     "0,3", "--save", "a.evt", "--quiet"};
    args.insert(args.end(), extra.begin(), extra.end());
    const Result r = Run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return Read("a.evt");
  };
  const Bytes own = state({});  // ν = 0,001·v0·D
  EXPECT_NE(state({"--viscosity", "0"}), own);
  EXPECT_NE(state({"--viscosity", "0,001"}), own);
}

TEST_F(Batch, RecordsOfARun) {
  const Result r = Run({"run", "--max-time", "0,02", "--pulsation-points", "0.2,0.1; -0.1,0.3",
                        "--pulsation-file", "p.pls", "--track-file", "t.fvt", "--save", "s.evt", "--quiet"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Bytes state = Read("s.evt");
  ASSERT_GE(state.size(), 193u);
  const long steps = std::lround(static_cast<double>(GetExt(&state[75]) / 0.005L));

  PulsationRecord p;
  TrackRecord t;
  std::string error;
  ASSERT_TRUE(DecodePulsationRecord(Read("p.pls"), p, error)) << error;
  ASSERT_TRUE(DecodeTrackRecord(Read("t.fvt"), t, error)) << error;
  ASSERT_EQ(p.Points.size(), 2u);
  EXPECT_EQ(p.Points[1].X, -0.1L);
  EXPECT_EQ(p.Points[1].Y, 0.3L);
  EXPECT_EQ(p.StartTime, 0);
  EXPECT_EQ(p.TimeStep, 0.005L);
  EXPECT_EQ(p.SampleCount, steps);
  EXPECT_EQ(static_cast<long>(t.Gammas.size()), steps);
  EXPECT_EQ(t.Spacing, 0.01L);
}

TEST_F(Batch, ReportsOfASavedState) {
  ASSERT_EQ(Run({"run", "--max-time", "0,01", "--save", "s.evt", "--quiet"}).status, 0);
  const Result v = Run({"velocity", "s.evt", "0.1", "0,05"});
  ASSERT_EQ(v.status, 0) << v.err;
  EXPECT_TRUE(std::regex_match(v.out, std::regex("Скорость воздуха в точке \\(0\\.1;0,05\\):\n"
                                                 "  Vx = -?[0-9]+,[0-9]{4} м/с\n"
                                                 "  Vy = -?[0-9]+,[0-9]{4} м/с\n")))
      << v.out;

  const Result rep = Run({"report", "s.evt"});
  ASSERT_EQ(rep.status, 0) << rep.err;
  std::vector<std::string> lines;
  std::stringstream in(rep.out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 19u) << rep.out;
  // The window's texts, with the units it leaves out.
  EXPECT_EQ(lines[0].rfind("Средняя скорость по профилю x = 0,15 м:  ", 0), 0u) << lines[0];
  EXPECT_EQ(lines[0].substr(lines[0].size() - 6), " м/с") << lines[0];
  EXPECT_EQ(lines[18].rfind("Сумма циркуляций всех вихрей = ", 0), 0u) << lines[18];
  EXPECT_EQ(lines[18].substr(lines[18].size() - 8), " м²/с") << lines[18];

  EXPECT_NE(Run({"velocity", "s.evt", "x", "0"}).status, 0);
  EXPECT_NE(Run({"velocity", "missing.evt", "0", "0"}).status, 0);
  EXPECT_NE(Run({"report", "missing.evt"}).status, 0);
}

TEST_F(Batch, WrongArgumentsWriteNothing) {
  fs::create_directories(dir_ / "folder.evt");
  std::ofstream(dir_ / "corrupt.evt") << "not a vortex file";
  struct Row {
    const char* name;
    std::vector<std::string> args;
  } rows[] = {
      {"zero time step", {"--dt", "0"}},
      {"negative time step", {"--dt", "-0.005"}},
      {"time step not a number", {"--dt", "abc"}},
      {"end time not a number", {"--max-time", "1,2,3"}},
      {"negative free-vortex limit", {"--max-free", "-1"}},
      {"fractional free-vortex limit", {"--max-free", "1.5"}},
      {"zero wall thickness", {"--wall-thickness", "0"}},
      {"suction section beyond the channel", {"--suction-x", "1.5"}},
      {"plane right of the flange", {"--plane-x", "-0.4"}},
      {"flange leaning back", {"--flange-angle-deg", "100"}},
      {"angle in both units", {"--flange-angle", "0.5", "--flange-angle-deg", "30"}},
      {"too fine a spacing", {"--vortex-spacing", "0.00001"}},
      // Geometry that cannot carry a flow (the cases).
      {"flat flange on the default plane", {"--flange-angle", "0"}},
      {"plane a hair from the flange tip", {"--plane-x", "-0.4331"}},
      {"spacing of 1 m", {"--vortex-spacing", "1"}},
      {"channel radius of 1 mm", {"--channel-radius", "0.001"}},
      {"missing state file", {"--load", "missing.evt"}},
      {"corrupt state file", {"--load", "corrupt.evt"}},
      {"area options with a loaded state", {"--load", "corrupt.evt", "--channel-radius", "0.2"}},
      {"point without y", {"--pulsation-points", "0.2;0.1"}},
      {"point with decimal commas", {"--pulsation-points", "0,2,0,1"}},
      {"pulsation file without points", {"--pulsation-file", "p.pls"}},
      {"save into a missing folder", {"--save", "no/such/x.evt"}},
      {"save over a folder", {"--save", "folder.evt"}},
      {"negative thread count", {"--threads", "-1"}},
      {"negative viscosity", {"--model", "refined", "--viscosity", "-0,001"}},
      {"a shedding rule that lost", {"--model", "refined", "--shedding", "sheet-flux"}},
      {"unknown option", {"--speed", "1"}},
  };
  for (const Row& r : rows) {
    std::vector<std::string> args = {"run", "--max-time", "0,01", "--track-file", "t.fvt"};
    args.insert(args.end(), r.args.begin(), r.args.end());
    bool hasSave = false;
    for (const std::string& a : r.args) hasSave = hasSave || a == "--save";
    if (!hasSave) args.insert(args.end(), {"--save", "x.evt"});
    const Result res = Run(args);
    EXPECT_NE(res.status, 0) << r.name;
    EXPECT_FALSE(res.err.empty()) << r.name;
    EXPECT_FALSE(Exists("x.evt")) << r.name;
    EXPECT_FALSE(Exists("t.fvt")) << r.name;
    EXPECT_FALSE(Exists("p.pls")) << r.name;
  }
}

}  // namespace
}  // namespace mdv
