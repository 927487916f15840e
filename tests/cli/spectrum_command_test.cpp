// pulsation --spectrum, run as a script would run it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "core/base/numfmt.h"
#include "core/model/records.h"
#include "core/base/safe_file.h"

namespace mdv {
namespace {

std::string Temp(const std::string& name) {
  return ::testing::TempDir() + "spectrum_cli_" + std::to_string(::getpid()) + "_" + name;
}

struct Result {
  int Status = -1;
  std::string Out, Err;
};

Result Batch(const std::vector<std::string>& args) {
  std::string cmd = std::string("'") + MDV_BATCH_EXE + "'";
  for (const std::string& a : args) cmd += " '" + a + "'";
  const std::string errFile = Temp("stderr.txt");
  cmd += " 2>'" + errFile + "'";
  Result r;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.Out.append(buf, n);
  const int st = pclose(p);
  r.Status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  std::ifstream in(errFile);
  std::stringstream s;
  s << in.rdbuf();
  r.Err = s.str();
  std::remove(errFile.c_str());
  return r;
}

TEST(SpectrumCommand, PeaksSummaryAndTable) {
  // Point 2: Vx a 20 Hz sine, Vy a 50 Hz sine, 1000 samples at 0,005 s:
  // N = 128 (1,5625 Hz apart), 20 Hz nearest 20,3125, 50 Hz exactly bin 32.
  const int m = 1000;
  PulsationRecord p;
  p.TimeStep = 0.005L;
  p.Points = {{0.1L, 0.1L}, {-0.2L, 0.1L}};
  p.SampleCount = m;
  p.Vx = {TRealArray(m, 1), TRealArray(m)};
  p.Vy = {TRealArray(m, 0), TRealArray(m)};
  for (int j = 0; j < m; ++j) {
    p.Vx[1][j] = 0.7L + 0.3L * std::sin(2 * std::numbers::pi * 20 * j * 0.005);
    p.Vy[1][j] = 0.1L * std::sin(2 * std::numbers::pi * 50 * j * 0.005);
  }
  const std::string pls = Temp("sine.pls");
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(pls, EncodePulsationRecord(p), error)) << error;

  const Result summary = Batch({"pulsation", pls, "--point", "2", "--spectrum"});
  ASSERT_EQ(summary.Status, 0) << summary.Err;
  EXPECT_NE(summary.Out.find("Точка 2: (-0,2; 0,1)\n"), std::string::npos) << summary.Out;
  EXPECT_NE(summary.Out.find("отрезки по 128 отсчетов"), std::string::npos) << summary.Out;
  EXPECT_NE(summary.Out.find("Пик спектра Vx: 20,3125 Гц\nПик спектра Vy: 50 Гц\n"),
            std::string::npos) << summary.Out;

  // The table on stdout alone, the summary then on stderr.
  const Result table = Batch({"pulsation", pls, "--point", "2", "--spectrum", "--csv", "-"});
  ASSERT_EQ(table.Status, 0) << table.Err;
  EXPECT_NE(table.Err.find("Пик спектра Vy: 50 Гц"), std::string::npos) << table.Err;
  std::istringstream in(table.Out);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "f;Svx;Svy");
  int rows = 0;
  double integral = 0, prevF = 0, prevS = 0;
  while (std::getline(in, line)) {
    const auto a = line.find(';');
    const auto b = line.find(';', a + 1);
    ASSERT_NE(b, std::string::npos) << line;
    const double f = static_cast<double>(*ParseRealLenient(line.substr(0, a)));
    const double s = static_cast<double>(*ParseRealLenient(line.substr(a + 1, b - a - 1)));
    EXPECT_DOUBLE_EQ(f, rows * 1.5625) << line;
    if (rows > 0) integral += 0.5 * (s + prevS) * (f - prevF);
    prevF = f;
    prevS = s;
    ++rows;
  }
  EXPECT_EQ(rows, 65);
  // Parseval through the printed numbers: variance of 0,3·sin is 0,045.
  EXPECT_NEAR(integral, 0.045, 0.0045);

  // Too few samples: a message, status 1, no table.
  p.SampleCount = 10;
  for (auto& row : p.Vx) row.resize(10);
  for (auto& row : p.Vy) row.resize(10);
  ASSERT_TRUE(WriteFileAtomically(pls, EncodePulsationRecord(p), error)) << error;
  const std::string csv = Temp("none.csv");
  const Result few = Batch({"pulsation", pls, "--spectrum", "--csv", csv});
  EXPECT_EQ(few.Status, 1);
  EXPECT_NE(few.Err.find("Слишком мало отсчетов"), std::string::npos) << few.Err;
  EXPECT_FALSE(std::ifstream(csv).good());
  std::remove(pls.c_str());
}

TEST(SpectrumCommand, StartUpLeftOutAsInTheWindow) {
  // Vx drifts from −0,2 to 0 over the first 2,5 s, then a 12,5 Hz sine;
  // 2000 samples at 0,005 s from t = 0.
  const int m = 2000;
  PulsationRecord p;
  p.TimeStep = 0.005L;
  p.Points = {{-0.2L, 0.1L}};
  p.SampleCount = m;
  p.Vx = {TRealArray(m)};
  p.Vy = {TRealArray(m)};
  for (int j = 0; j < m; ++j) {
    const double t = j * 0.005;
    p.Vx[0][j] = 0.05 * std::sin(2 * std::numbers::pi * 12.5 * t) + 0.01 * std::cos(7.1 * j) +
                 (t < 2.5 ? -0.2 * (1 - t / 2.5) : 0.0);
    p.Vy[0][j] = 0.1 * std::sin(2 * std::numbers::pi * 50 * t) + 0.01 * std::cos(3.3 * j);
  }
  const std::string pls = Temp("startup.pls");
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(pls, EncodePulsationRecord(p), error)) << error;
  const Result detected = Batch({"pulsation", pls, "--spectrum"});
  ASSERT_EQ(detected.Status, 0) << detected.Err;
  EXPECT_NE(detected.Out.find("Спектр с t = "), std::string::npos) << detected.Out;
  EXPECT_NE(detected.Out.find("вычтены среднее и линейный тренд"), std::string::npos) << detected.Out;
  EXPECT_NE(detected.Out.find("Пик спектра Vx: 12,5 Гц\n"), std::string::npos) << detected.Out;
  const Result given = Batch({"pulsation", pls, "--spectrum", "--from", "7.5"});
  ASSERT_EQ(given.Status, 0) << given.Err;
  EXPECT_NE(given.Out.find("Спектр с t = 7,5 с (задано)\n"), std::string::npos) << given.Out;
  EXPECT_NE(given.Out.find("отрезки по 64 отсчетов"), std::string::npos) << "500 samples left: N = 64";
  // --from belongs to --spectrum; a bad number is refused before any reading.
  EXPECT_EQ(Batch({"pulsation", pls, "--from", "1"}).Status, 2);
  EXPECT_EQ(Batch({"pulsation", pls, "--spectrum", "--from", "abc"}).Status, 2);
  std::remove(pls.c_str());
}

TEST(SpectrumCommand, ValuesBeyondTheArithmeticAreRefused) {
  // Samples an extended value holds but a double does not (1e4816), and
  // samples a double holds whose squares it does not (1e200): no NaN, no
  // "ряд постоянный", no table; the statistics refused alike.
  const struct {
    const char* name;
    long double scale;
  } rows[] = {{"beyond a double", 1e4816L}, {"squares beyond a double", 1e200L}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const int m = 400;
    PulsationRecord p;
    p.TimeStep = 0.005L;
    p.Points = {{-0.2L, 0.1L}};
    p.SampleCount = m;
    p.Vx = {TRealArray(m)};
    p.Vy = {TRealArray(m)};
    for (int j = 0; j < m; ++j) {
      p.Vx[0][j] = row.scale * (1 + 0.1L * std::sin(0.7L * j));
      p.Vy[0][j] = row.scale * (1 + 0.1L * std::cos(0.3L * j));
    }
    const std::string pls = Temp("huge.pls"), csv = Temp("huge.csv");
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(pls, EncodePulsationRecord(p), error)) << error;
    const Result spectrum = Batch({"pulsation", pls, "--spectrum", "--csv", csv});
    EXPECT_EQ(spectrum.Status, 1) << spectrum.Out;
    EXPECT_NE(spectrum.Err.find("двойной точности"), std::string::npos) << spectrum.Err;
    EXPECT_EQ(spectrum.Out.find("постоянный"), std::string::npos) << spectrum.Out;
    EXPECT_FALSE(std::ifstream(csv).good()) << "no table";
    const Result table = Batch({"pulsation", pls, "--spectrum", "--csv", "-"});
    EXPECT_EQ(table.Status, 1);
    EXPECT_EQ(table.Out, "");
    const Result stats = Batch({"pulsation", pls, "--point", "1"});
    EXPECT_EQ(stats.Status, 1) << stats.Out;
    EXPECT_NE(stats.Err.find("двойной точности"), std::string::npos) << stats.Err;
    for (const char* bad : {"nan", "NAN", "inf", "—"}) EXPECT_EQ(stats.Out.find(bad), std::string::npos) << bad;
    std::remove(pls.c_str());
  }
}

}  // namespace
}  // namespace mdv
