// Study files, the case plan, the case folder's state and the table: a bad
// file is refused with its line and key, grids and zips give the right cases,
// a held lock reads as running, results survive their file, the CSV is what
// a spreadsheet in a comma locale reads.
#include <gtest/gtest.h>

#include <chrono>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <fstream>
#include <limits>
#include <optional>
#include <set>

#include "core/flow/circulation.h"
#include "core/model_fixtures.h"
#include "core/study/study_averages.h"
#include "core/study/study_plan.h"
#include "core/study/study_results.h"
#include "core/study/study_table.h"

namespace fs = std::filesystem;

namespace mdv {
namespace {

bool Parse(const std::string& text, StudyDefinition& definition, std::string& error,
           const OptionAvailable& available = {}) {
  return ParseStudy(text, "s.toml", available, definition, error);
}

TEST(StudyFile, RefusedFilesNameTheLineAndTheKey) {
  struct Row {
    const char* name;
    const char* text;
    const char* where;  // expected in the message
  };
  const Row rows[] = {
      {"no name", "[base]\ndt = 0.01\n", "ключ «name»"},
      {"empty name", "name = \"\"\n", "строка 1, ключ «name»"},
      {"number for a name", "name = 5\n", "строка 1, ключ «name»"},
      {"unknown top key", "name = \"a\"\ncolour = 1\n", "строка 2, ключ «colour»"},
      {"not a run option", "name = \"a\"\n[base]\nsave = \"x.evt\"\n", "строка 3, ключ «save»"},
      {"text for a number", "name = \"a\"\n[base]\ndt = \"fast\"\n", "строка 3, ключ «dt»"},
      {"fraction for a count", "name = \"a\"\n[base]\nmax-free = 1.5\n", "строка 3, ключ «max-free»"},
      {"zero step", "name = \"a\"\n[sweep]\n\ndt = { from = 0.1, to = 0.2, step = 0 }\n",
       "строка 4, ключ «dt»"},
      {"step away from to", "name = \"a\"\n[sweep]\ndt = { from = 0.2, to = 0.1, step = 0.05 }\n",
       "строка 3, ключ «dt»"},
      {"missing to", "name = \"a\"\n[sweep]\ndt = { from = 0.2, step = 0.05 }\n", "ключ «dt»: в диапазоне не задан to"},
      {"empty list", "name = \"a\"\n[sweep]\ndt = []\n", "строка 3, ключ «dt»"},
      {"repeated value", "name = \"a\"\n[sweep]\ninflow-speed = [0, 0.75, \"0,75\"]\n",
       "ключ «inflow-speed»: значение 0,75 повторяется"},
      {"base and sweep", "name = \"a\"\n[base]\ndt = 0.01\n[sweep]\ndt = [0.01, 0.02]\n",
       "строка 5, ключ «dt»"},
      {"zip of unequal lists",
       "name = \"a\"\n[sweep]\nzip = true\ndt = [0.01, 0.02]\nmax-time = [1, 2, 3]\n",
       "строка 5, ключ «max-time»"},
      {"angle twice", "name = \"a\"\n[base]\nflange-angle = 0.5\n[sweep]\nflange-angle-deg = [10, 20]\n",
       "строка 5, ключ «flange-angle-deg»"},
      {"bad point", "name = \"a\"\n[results]\npoints = [[0.1]]\n", "строка 3, ключ «points»"},
      {"toml syntax", "name = \"a\"\n[base]\ndt = = 1\n", "s.toml, строка 3"},
      // Each run option's type, so that no case runs other than planned.
      {"flag as a number", "name = \"a\"\n[base]\nuntil-steady = 1\n", "строка 3, ключ «until-steady»: ожидается true или false"},
      {"flag as a word", "name = \"a\"\n[sweep]\nuntil-steady = [\"yes\"]\n", "ключ «until-steady»: ожидается true или false"},
      {"unknown precision", "name = \"a\"\n[base]\nprecision = \"bogus\"\n",
       "строка 3, ключ «precision»: ожидается одно из: extended,double"},
      {"precision as a flag", "name = \"a\"\n[base]\nprecision = true\n", "ключ «precision»: ожидается одно из"},
      {"one number written twice", "name = \"a\"\n[sweep]\ndt = [1, \"1,0\"]\n",
       "строка 3, ключ «dt»: значение 1 повторяется (как 1): два одинаковых варианта"},
      {"one count written twice", "name = \"a\"\n[sweep]\nmax-free = [10, 20, 10]\n", "ключ «max-free»: значение 10 повторяется"},
      {"a zip pairing the same values twice", "name = \"a\"\n[sweep]\nzip = true\ndt = [1, 2, \"1,0\"]\nmax-free = [10, 20, 10]\n",
       "ключ «sweep»: варианты 0 и 2 одинаковы"},
      // Text that could end a line of case.toml or of a plot script.
      {"newline in the name", "\nname = \"a\\nsystem(\\\"touch PWN\\\")\"\n", "строка 2, ключ «name»: недопустимый управляющий"},
      {"carriage return in the name", "name = \"a\\rb\"\n", "ключ «name»: недопустимый управляющий"},
      {"NUL in the name", "name = \"a\\u0000b\"\n", "ключ «name»: недопустимый управляющий"},
      {"tab in a value", "name = \"a\"\n[sweep]\nprecision = [\"double\", \"x\\ty\"]\n",
       "строка 3, ключ «precision»: недопустимый управляющий"},
      {"DEL in a number text", "name = \"a\"\n[base]\ndt = \"0,1\\u007F\"\n", "строка 3, ключ «dt»: недопустимый"},
      {"tracers not points", "name = \"a\"\n[base]\ntracers = [0.1, 0.2]\n", "строка 3, ключ «tracers»"},
      {"tracer point of three", "name = \"a\"\n[base]\ntracers = [[0.1, 0.2, 0.3]]\n", "ключ «tracers»: точка"},
      {"tracer point of text", "name = \"a\"\n[base]\ntracers = [[\"a\", 0]]\n", "ключ «tracers»: координата"},
  };
  for (const Row& r : rows) {
    StudyDefinition definition;
    std::string error;
    EXPECT_FALSE(Parse(r.text, definition, error)) << r.name;
    EXPECT_NE(error.find(r.where), std::string::npos) << r.name << ": " << error;
    EXPECT_TRUE(definition.Base.empty() && definition.Sweep.empty()) << r.name;
  }
  // A key of the table the run command of this build does not have.
  StudyDefinition definition;
  std::string error;
  // Tracer points reach the run as its option's text.
  ASSERT_TRUE(Parse("name = \"a\"\n[base]\ntracers = [[-0.1, 0], [0.25, 1e-3]]\n", definition, error)) << error;
  EXPECT_EQ(definition.Base.at(0).Value, "-0.1,0;0.25,0.001");
  // A refined list is bounded, and its repeats are found without comparing every pair.
  std::string many = "name = \"a\"\n[convergence]\ndt = [";
  for (int k = 1; k <= 30000; ++k) many += (k > 1 ? ", " : "") + std::to_string(k) + "e-6";
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_FALSE(Parse(many + "]\n", definition, error));
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count(), 2.0);
  EXPECT_NE(error.find("ключ «dt»: не больше 100 значений шага (здесь 30000)"), std::string::npos) << error;
  std::string hundred = "name = \"a\"\n[convergence]\ndt = [";
  for (int k = 1; k <= 100; ++k) hundred += (k > 1 ? ", " : "") + std::to_string(k) + "e-3";
  EXPECT_TRUE(Parse(hundred + "]\n", definition, error)) << error;
  EXPECT_EQ(RefinedVariants(definition).size(), 100u);
  EXPECT_FALSE(Parse(hundred.substr(0, hundred.rfind(',')) + ", \"0,002\"]\n", definition, error));
  EXPECT_NE(error.find("значение 0,002 повторяется"), std::string::npos) << error;
  EXPECT_FALSE(Parse("name = \"a\"\n[base]\nuntil-steady = true\n", definition, error,
                     [](std::string_view k) { return k != "until-steady"; }));
  EXPECT_NE(error.find("строка 3, ключ «until-steady»"), std::string::npos) << error;
  EXPECT_TRUE(Parse("name = \"a\"\n[base]\nuntil-steady = true\n", definition, error,
                    [](std::string_view) { return true; }))
      << error;
  EXPECT_TRUE(Parse("name = \"a\"\n[sweep]\nprecision = [\"extended\", \"double\"]\n", definition, error)) << error;
  // In a zip one list may repeat a value the others do not.
  EXPECT_TRUE(Parse("name = \"a\"\n[sweep]\nzip = true\nprecision = [\"double\", \"double\"]\nmax-free = [10, 20]\n",
                    definition, error))
      << error;
}

TEST(StudyFile, RangesAndListsGiveTheExactArguments) {
  struct Row {
    const char* name;
    const char* sweep;  // one line of [sweep]
    std::vector<std::string> values;
  };
  const Row rows[] = {
      {"end point on a rounded step", "dt = { from = 0.1, to = 0.3, step = 0.1 }", {"0.1", "0.2", "0.3"}},
      {"end point not on the grid", "inflow-speed = { from = 0, to = 1, step = 0.3 }", {"0", "0.3", "0.6", "0.9"}},
      {"downwards", "flange-angle-deg = { from = 90, to = 15, step = -25 }", {"90", "65", "40", "15"}},
      {"through zero", "inflow-speed = { from = -0.2, to = 0.2, step = 0.1 }", {"-0.2", "-0.1", "0", "0.1", "0.2"}},
      {"one value", "suction-x = { from = 0.5, to = 0.5, step = 1 }", {"0.5"}},
      {"from minus zero", "suction-x = { from = -0.0, to = 1, step = 0.5 }", {"0", "0.5", "1"}},
      {"decimal comma texts", "dt = { from = \"0,001\", to = \"0,002\", step = \"0,0005\" }", {"0.001", "0.0015", "0.002"}},
      {"integer range", "max-free = { from = 10, to = 1, step = -4 }", {"10", "6", "2"}},
      {"integer list", "threads = [1, 2, 4]", {"1", "2", "4"}},
      {"real list of every kind", "dt = [0.1, 2, \"0,75\", \" 1,5 \", 1e-7]", {"0.1", "2", "0.75", "1.5", "1e-07"}},
      {"flags", "reference = [true, false]", {"true", "false"}},
      {"names of a choice", "precision = [\"double\", \"extended\"]", {"double", "extended"}},
      {"the Kutta-flux rules", "shedding = [\"edge-speed\", \"outer\"]", {"edge-speed", "outer"}},
      {"the turbulent viscosity", "viscosity = [0.001, \"0\"]", {"0.001", "0"}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    StudyDefinition definition;
    std::string error;
    ASSERT_TRUE(Parse(std::string("name = \"a\"\n[sweep]\n") + r.sweep + "\n", definition, error)) << error;
    ASSERT_EQ(definition.Sweep.size(), 1u);
    EXPECT_EQ(definition.Sweep[0].Values, r.values);
    EXPECT_EQ(StudyCaseCount(definition), r.values.size());
  }
  // What a range may not be.
  for (const char* sweep : {"reference = { from = 0, to = 1, step = 1 }", "max-free = { from = 1, to = 3, step = 0.5 }",
                            "dt = { from = 0.1, to = 0.2, step = 0.1, by = 1 }", "dt = { from = 0, to = 1, step = 0.00001 }",
                            "dt = { from = \"x\", to = 1, step = 0.1 }", "dt = 0.1"}) {
    StudyDefinition definition;
    std::string error;
    EXPECT_FALSE(Parse(std::string("name = \"a\"\n[sweep]\n") + sweep + "\n", definition, error)) << sweep;
    EXPECT_NE(error.find("строка 3, ключ «"), std::string::npos) << sweep << ": " << error;
  }
  // 100 000 values is the limit itself.
  StudyDefinition definition;
  std::string error;
  EXPECT_TRUE(Parse("name = \"a\"\n[sweep]\nmax-free = { from = 1, to = 100000, step = 1 }\n", definition, error)) << error;
  EXPECT_EQ(StudyCaseCount(definition), MaxStudyCases);
  EXPECT_FALSE(Parse("name = \"a\"\n[sweep]\nmax-free = { from = 0, to = 100000, step = 1 }\n", definition, error));

  // Results asked for, and base options as they reach the run command.
  ASSERT_TRUE(Parse("name = \"a\"\n[base]\ndt = 0.004\nmax-free = 300\nreference = true\n"
                    "[results]\nvortex-zone = false\nflux = true\npoints = [[0.1, \"0,05\"], [-1, 2]]\n"
                    "centreline = [0.5, 1]\n",
                    definition, error))
      << error;
  ASSERT_EQ(definition.Base.size(), 3u);
  EXPECT_EQ(definition.Base[0].Key + "=" + definition.Base[0].Value, "dt=0.004");
  EXPECT_EQ(definition.Base[1].Key + "=" + definition.Base[1].Value, "max-free=300");
  EXPECT_EQ(definition.Base[2].Key + "=" + definition.Base[2].Value, "reference=true");
  EXPECT_FALSE(definition.Results.VortexZone);
  EXPECT_TRUE(definition.Results.Flux);
  ASSERT_EQ(definition.Results.Points.size(), 2u);
  EXPECT_EQ(definition.Results.Points[0].X, static_cast<Real>(0.1));
  EXPECT_EQ(definition.Results.Points[0].Y, static_cast<Real>(static_cast<long double>(0.05L)));
  EXPECT_EQ(definition.Results.Points[1].X, -1);
  EXPECT_EQ(definition.Results.Points[1].Y, 2);
  EXPECT_EQ(definition.Results.CentrelineXD, (std::vector<Real>{0.5, 1}));
  EXPECT_EQ(StudyCaseCount(definition), 1u);
  EXPECT_EQ(DisplayValue("0.75"), "0,75");
  EXPECT_EQ(DisplayValue("true"), "true");
  EXPECT_EQ(DisplayValue("double"), "double");
}

TEST(StudyPlan, EveryCaseOfAGridAndAZip) {
  StudyDefinition definition;
  std::string error;
  // toml++ sorts keys; the grid follows the file: inflow-speed (first)
  // slowest, dt fastest; base options first.
  ASSERT_TRUE(Parse("name = \"a\"\n[base]\nmax-time = 2\n[sweep]\ninflow-speed = [0, 1]\ndt = [0.01, 0.02, 0.03]\n",
                    definition, error))
      << error;
  const std::vector<std::vector<std::string>> grid = {{"0", "0.01"}, {"0", "0.02"}, {"0", "0.03"},
                                                      {"1", "0.01"}, {"1", "0.02"}, {"1", "0.03"}};
  std::vector<StudyCase> cases = PlanCases(definition);
  ASSERT_EQ(cases.size(), grid.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(cases[i].Id, static_cast<int>(i));
    EXPECT_EQ(cases[i].SweptValues, grid[i]);
    ASSERT_EQ(cases[i].Settings.size(), 3u);
    EXPECT_EQ(cases[i].Settings[0].Key + "=" + cases[i].Settings[0].Value, "max-time=2");
    EXPECT_EQ(cases[i].Settings[1].Key + "=" + cases[i].Settings[1].Value, "inflow-speed=" + grid[i][0]);
    EXPECT_EQ(cases[i].Settings[2].Key + "=" + cases[i].Settings[2].Value, "dt=" + grid[i][1]);
  }
  ASSERT_TRUE(Parse("name = \"a\"\n[sweep]\nzip = true\ndt = [0.01, 0.02, 0.03]\nmax-free = [10, 20, 30]\n",
                    definition, error));
  cases = PlanCases(definition);
  ASSERT_EQ(cases.size(), 3u);
  for (size_t i = 0; i < 3; ++i)
    EXPECT_EQ(cases[i].SweptValues, (std::vector<std::string>{"0.0" + std::to_string(i + 1), std::to_string(10 * (i + 1))}));
  ASSERT_TRUE(Parse("name = \"a\"\n[base]\ndt = 0.01\n", definition, error));
  cases = PlanCases(definition);
  ASSERT_EQ(cases.size(), 1u);
  EXPECT_TRUE(cases[0].SweptValues.empty());
  ASSERT_EQ(cases[0].Settings.size(), 1u);
}

// Long plot titles are broken at spaces into lines gnuplot joins with line
// breaks: read back by gnuplot itself, the text is the original with some
// spaces turned into line breaks, no line longer than the width unless it is
// one word, quotes and back-quotes kept as written.
TEST(StudyPlots, LongTitlesAreBrokenIntoLines) {
  if (std::system("gnuplot -e 'exit' >/dev/null 2>&1") != 0) GTEST_SKIP() << "no gnuplot";
  const std::string texts[] = {"Потери на входе ζ (баланс импульса) (среднее ± 95 %)",
                               "Bэф, м",
                               "it's `touch PWN` $(x) \\ a-word-longer-than-the-whole-width-of-a-line end",
                               "''lead and two'' or three''' quotes, one ' alone '",
                               "'",
                               ""};
  const fs::path out = fs::temp_directory_path() / ("mdv_gnuplot_lines_" + std::to_string(::getpid()));
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    const std::string expr = GnuplotLines(text, 20);
    std::ofstream(out.string() + ".gp") << "set print '" << out.string() << ".txt'\nprint " << expr << "\n";
    ASSERT_EQ(std::system(("gnuplot '" + out.string() + ".gp' 2>/dev/null").c_str()), 0) << expr;
    std::ifstream in(out.string() + ".txt");
    std::string printed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(printed.empty());
    printed.pop_back();  // print's own line end
    std::string joined = printed;
    std::replace(joined.begin(), joined.end(), '\n', ' ');
    EXPECT_EQ(joined, text);
    std::istringstream lines(printed);
    for (std::string line; std::getline(lines, line);) {
      size_t chars = 0;
      for (char c : line) chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
      EXPECT_TRUE(chars <= 20 || line.find(' ') == std::string::npos) << line;
    }
  }
  const std::string three = GnuplotLines(texts[0], 20);
  EXPECT_EQ(three, "'Потери на входе ζ'.\"\\n\".'(баланс импульса)'.\"\\n\".'(среднее ± 95 %)'");
  EXPECT_EQ(GnuplotLines(texts[0], 80), GnuplotString(texts[0]));
  // A line of exactly the width, counted in characters (19 bytes here).
  EXPECT_EQ(GnuplotLines("ёжик мышка ёж", 10), "'ёжик мышка'.\"\\n\".'ёж'");
  fs::remove(out.string() + ".gp");
  fs::remove(out.string() + ".txt");
}

class StudyFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = (fs::temp_directory_path() / ("mdv_study_" + std::to_string(::getpid()))).string();
    fs::remove_all(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string dir_;
};

// The plan written case by case (nothing held) is the plan of the whole case
// list, file for file; a stop between cases leaves no manifest, not even its
// temporary file.
TEST_F(StudyFolder, StreamedPlanEqualsThePlannedCases) {
  const std::string text =
      "name = \"t\"\n[base]\ndt = 0.01\n[sweep]\nflange-angle-deg = [30, 60, 90]\ninflow-speed = [0, \"0,75\"]\n"
      "[convergence]\ndt = [0.02, 0.01, 0.005]\n";
  StudyDefinition definition;
  std::string error;
  ASSERT_TRUE(Parse(text, definition, error)) << error;
  const std::string a = dir_ + "/a", b = dir_ + "/b";
  ASSERT_TRUE(WriteStudyPlan(text, definition, a, error)) << error;
  ASSERT_TRUE(WriteStudyPlan(text, definition, PlanCases(definition), b, error)) << error;
  int files = 0;
  for (const auto& e : fs::recursive_directory_iterator(a)) {
    if (!e.is_regular_file()) continue;
    ++files;
    const fs::path other = b / fs::relative(e.path(), a);
    std::string x, y;
    ASSERT_TRUE(ReadTextFile(e.path().string(), x, error)) << error;
    ASSERT_TRUE(ReadTextFile(other.string(), y, error)) << other;
    EXPECT_EQ(x, y) << other;
  }
  EXPECT_EQ(files, 3 * 2 * 3 + 2);  // 18 cases (6 points × 3 steps), the manifest, the study file
  std::string manifest;
  ASSERT_TRUE(ReadTextFile(ManifestPath(a), manifest, error));
  // Case 10: point 10 / 3 = 3 (60°, 0,75), step 10 % 3 = 1 (0.01).
  EXPECT_NE(manifest.find("\n10;cases/0010;60;0,75;0,01\n"), std::string::npos) << manifest;

  class StopAt : public Observer {
   public:
    bool StopRequested() override { return ++asks > 4; }
    int asks = 0;
  } stop;
  const std::string c = dir_ + "/c";
  EXPECT_FALSE(WriteStudyPlan(text, definition, c, error, stop));
  EXPECT_TRUE(error.empty()) << error;
  EXPECT_TRUE(fs::exists(CaseDir(c, 3)));
  EXPECT_FALSE(fs::exists(CaseDir(c, 4)));
  // The stopped plan is marked as such, with no study file: no command takes it.
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(c)) names.insert(e.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"cases", "plan-incomplete"}));
  StudyDefinition loaded;
  std::vector<StudyCase> cases;
  EXPECT_FALSE(LoadStudy(c, {}, loaded, cases, error));
  EXPECT_NE(error.find("не закончен"), std::string::npos) << error;
  // Planned again, whole: the mark goes, the plan equals the one never stopped.
  ASSERT_TRUE(WriteStudyPlan(text, definition, c, error)) << error;
  EXPECT_FALSE(fs::exists(IncompletePlanPath(c)));
  EXPECT_TRUE(LoadStudy(c, {}, loaded, cases, error)) << error;
  EXPECT_EQ(cases.size(), 18u);
}

TEST_F(StudyFolder, CaseStatesAndTheTable) {
  const std::string text =
      "name = \"t\"\n[sweep]\nflange-angle-deg = [30, 60]\ninflow-speed = [0, 0.75]\n";
  StudyDefinition definition;
  std::string error;
  ASSERT_TRUE(Parse(text, definition, error));
  const auto cases = PlanCases(definition);
  ASSERT_TRUE(WriteStudyPlan(text, definition, cases, dir_, error)) << error;
  ASSERT_TRUE(WriteStudyPlan(text, definition, cases, dir_, error)) << "the same plan again: " << error;
  EXPECT_FALSE(WriteStudyPlan(text + "# other\n", definition, cases, dir_, error));
  EXPECT_NE(error.find("другое исследование"), std::string::npos) << error;

  // 0 done with results, 1 failed, 2 running (lock held), 3 pending after a kill (stale lock file).
  const CaseResults r0 = {{"Beff", "м", 0.1L / 3}, {"v(0,1 0,05)", "м/с", -1e-7L}};
  ASSERT_TRUE(WriteTextFile(CaseFile(dir_, 0, CaseResultsName), ResultsFileText(r0), error));
  ASSERT_TRUE(MarkCaseDone(dir_, 0, error));
  ASSERT_TRUE(MarkCaseFailed(dir_, 1, "Плоскость; \"левее\"", error));
  CaseLock held;
  ASSERT_TRUE(held.TryLock(dir_, 2));
  { CaseLock released; ASSERT_TRUE(released.TryLock(dir_, 3)); }

  StudyTable table;
  ASSERT_TRUE(CollectStudy(dir_, {}, table, error)) << error;
  ASSERT_EQ(table.Rows.size(), 4u);
  EXPECT_EQ(table.Rows[0].State, CaseState::Done);
  EXPECT_EQ(table.Rows[1].State, CaseState::Failed);
  EXPECT_EQ(table.Rows[1].Message, "Плоскость; \"левее\"");
  EXPECT_EQ(table.Rows[2].State, CaseState::Running);
  EXPECT_EQ(table.Rows[3].State, CaseState::Pending);
  ASSERT_EQ(table.Results.size(), 2u);
  // The results file keeps each value to the last bit of a double.
  EXPECT_EQ(static_cast<double>(*table.Rows[0].Results[0]), static_cast<double>(0.1L / 3));

  const std::string csv = StudyCsv(table);
  const std::string expected =
      "id;flange-angle-deg [°];inflow-speed [м/с];status;message;steady;Beff [м];v(0,1 0,05) [м/с]\n"
      "0;30;0;done;;не осреднялся;0,03333;-1E-7\n"
      "1;30;0,75;failed;\"Плоскость; \"\"левее\"\"\";;;\n"
      "2;60;0;running;;;;\n"
      "3;60;0,75;pending;;;;\n";
  EXPECT_EQ(csv, expected);

  // One plot per result and swept parameter, a line per value of the other.
  const auto plots = StudyPlotScripts(table);
  ASSERT_EQ(plots.size(), 4u);
  EXPECT_EQ(plots[0].BaseName, "Beff-vs-flange-angle-deg");
  EXPECT_EQ(plots[3].BaseName, "v_0_1_0_05-vs-inflow-speed");
  EXPECT_NE(plots[0].Text.find("title 'Скорость приточного воздуха = 0 м/с'"), std::string::npos) << plots[0].Text;
  EXPECT_NE(plots[0].Text.find("set xlabel 'Угол наклона козырька (Alpha), град'"), std::string::npos);
  EXPECT_NE(plots[0].Text.find("set ylabel 'Bэф, м'"), std::string::npos);

  // Names with quotes and backslashes survive the results file; a line break
  // in a hand-edited one is refused rather than carried into a plot script.
  const CaseResults odd = {{"a\"b\\c`d'", "м\"", 1.5L}};
  CaseResults back;
  ASSERT_TRUE(ParseResultsFile(ResultsFileText(odd), back, error)) << error;
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].Name, odd[0].Name);
  EXPECT_EQ(back[0].Unit, odd[0].Unit);
  EXPECT_FALSE(ParseResultsFile("[[value]]\nname = \"a\\nb\"\nunit = \"\"\nvalue = 1.0\n", back, error));
}


// A contour file decides the hood: what the parametric area or the
// program's model would set is refused beside it, its parameters must be
// declared by every file swept, and a relative path is the study file's
// folder's, in the plan's copy too (which lives elsewhere).
TEST_F(StudyFolder, ContourFilesAndTheirParameters) {
  const fs::path in = fs::path(dir_) / "in";
  fs::create_directories(in);
  const std::string examples = std::string(MDV_SOURCE_DIR) + "/examples/contours/";
  fs::copy_file(examples + "bellmouth-r0.2.toml", in / "bell.toml");  // declares R
  fs::copy_file(examples + "flanged-hood.toml", in / "flanged.toml");  // declares nothing
  const std::string study = (in / "s.toml").string();
  StudyDefinition definition;
  std::string error;
  const auto plan = [&](const std::string& text) { return ParseStudy(text, study, {}, definition, error, true); };
  const auto settings = [](const StudyCase& c) {
    std::vector<std::pair<std::string, std::string>> kv;
    for (const StudySetting& s : c.Settings) kv.emplace_back(s.Key, s.Value);
    return kv;
  };

  const std::string head = "name = \"c\"\n[base]\ncontour = \"bell.toml\"\n";
  const std::string text = head + "[sweep]\n\"contour.R\" = [0.03, \"0,05\"]\n";
  ASSERT_TRUE(plan(text)) << error;
  const std::string bell = (in / "bell.toml").lexically_normal().string();
  const auto cases = PlanCases(definition);
  ASSERT_EQ(cases.size(), 2u);
  EXPECT_EQ(settings(cases[1]), (std::vector<std::pair<std::string, std::string>>{{"contour", bell}, {"contour.R", "0.05"}}));
  EXPECT_EQ(StudyKeyLabel("contour.R"), "Параметр контура R");
  EXPECT_EQ(StudyKeyLabel("contour"), "Контур");
  // Unquoted, TOML makes it a table "contour": the same key.
  ASSERT_TRUE(plan(head + "[sweep]\ncontour.R = [0.03, 0.05]\n")) << error;
  EXPECT_EQ(settings(PlanCases(definition)[1]), settings(cases[1]));

  // The copy in the study's folder resolves as the original did; a case
  // file keeps the dotted key a key.
  ASSERT_TRUE(plan(text)) << error;
  const std::string planned = PlannedStudyText(text, definition);
  ASSERT_TRUE(WriteStudyPlan(planned, definition, dir_ + "/plan", error)) << error;
  StudyDefinition loaded;
  std::vector<StudyCase> loadedCases;
  ASSERT_TRUE(LoadStudy(dir_ + "/plan", {}, loaded, loadedCases, error)) << error;
  ASSERT_EQ(loadedCases.size(), 2u);
  EXPECT_EQ(settings(loadedCases[1]), settings(cases[1]));
  EXPECT_EQ(PlannedStudyText(planned, loaded), planned) << "recorded once";
  std::string caseText;
  ASSERT_TRUE(ReadTextFile(CaseFile(dir_ + "/plan", 1, CaseParamsName), caseText, error));
  EXPECT_NE(caseText.find("\n\"contour.R\" = \"0.05\"\n"), std::string::npos) << caseText;
  EXPECT_EQ(PlannedStudyText("name = \"a\"\n", StudyDefinition{}), "name = \"a\"\n") << "no contour, no change";

  const struct {
    const char* name;
    std::string text;
    const char* said;
  } refused[] = {
      {"area key", head + "channel-radius = 0.2\n", "строка 4, ключ «channel-radius»: не сочетается с «contour»"},
      {"swept area key", head + "[sweep]\nflange-angle-deg = [30, 60]\n", "ключ «flange-angle-deg»: не сочетается"},
      {"program's model", head + "model = \"program\"\n", "строка 4, ключ «model»"},
      {"program's model swept", head + "[sweep]\nmodel = [\"refined\", \"program\"]\n", "ключ «model»"},
      {"undeclared", head + "\"contour.Q\" = 1\n", "строка 4, ключ «contour.Q»: параметр «Q» не объявлен"},
      {"not a name", head + "\"contour.1a\" = 1\n", "ключ «contour.1a»"},
      {"no contour", "name = \"c\"\n[sweep]\n\"contour.R\" = [1, 2]\n", "ключ «contour.R»: параметр контура без файла"},
      {"missing file", "name = \"c\"\n[base]\ncontour = \"none.toml\"\n", "строка 3, ключ «contour»"},
      {"declared by one file of two", "name = \"c\"\n[sweep]\ncontour = [\"bell.toml\", \"flanged.toml\"]\n\"contour.R\" = [0.05]\n",
       "ключ «contour.R»: параметр «R» не объявлен в [parameters] файла контура"},
      {"unbuildable at base", head + "\"contour.R\" = 0.7\n", "ключ «contour»"},
      {"contour refined", head + "[convergence]\ncontour = [\"a\", \"b\", \"c\"]\n", "ключ «contour»"},
  };
  for (const auto& r : refused) {
    EXPECT_FALSE(plan(r.text)) << r.name;
    EXPECT_NE(error.find(r.said), std::string::npos) << r.name << ": " << error;
  }
  // The missing file is named where it was looked for.
  ASSERT_FALSE(plan("name = \"c\"\n[base]\ncontour = \"none.toml\"\n"));
  EXPECT_NE(error.find((in / "none.toml").string()), std::string::npos) << error;
  // Later commands take the plan's paths as they are: a file gone since
  // fails its cases, not the study.
  EXPECT_TRUE(ParseStudy("name = \"c\"\n[base]\ncontour = \"none.toml\"\n", study, {}, definition, error)) << error;
}

TEST_F(StudyFolder, PlanFilesAndCaseNames) {
  const std::string text = "name = \"Угол\"\n[base]\nmax-time = 2\n[sweep]\nflange-angle-deg = [30, 60]\ninflow-speed = [0, 0.75]\n";
  StudyDefinition definition;
  std::string error;
  ASSERT_TRUE(Parse(text, definition, error));
  const auto cases = PlanCases(definition);
  ASSERT_TRUE(WriteStudyPlan(text, definition, cases, dir_, error)) << error;
  std::string read;
  ASSERT_TRUE(ReadTextFile(StudyFilePath(dir_), read, error));
  EXPECT_EQ(read, text);
  ASSERT_TRUE(ReadTextFile(ManifestPath(dir_), read, error));
  EXPECT_EQ(read, "id;folder;flange-angle-deg;inflow-speed\n0;cases/0000;30;0\n1;cases/0001;30;0,75\n"
                  "2;cases/0002;60;0\n3;cases/0003;60;0,75\n");
  ASSERT_TRUE(ReadTextFile(CaseFile(dir_, 3, CaseParamsName), read, error));
  EXPECT_EQ(read, "# Угол, вариант 3\nmax-time = \"2\"\nflange-angle-deg = \"60\"\ninflow-speed = \"0.75\"\n");
  EXPECT_EQ(CaseDir(dir_, 12345), (fs::path(dir_) / "cases" / "12345").string());
  EXPECT_EQ(CaseFile(dir_, 7, CaseDoneName), (fs::path(dir_) / "cases" / "0007" / "done").string());
  // A case file that cannot be written fails the plan.
  fs::remove(CaseFile(dir_, 2, CaseParamsName));
  fs::create_directories(fs::path(CaseFile(dir_, 2, CaseParamsName)) / "blocked");
  EXPECT_FALSE(WriteStudyPlan(text, definition, cases, dir_, error));
  fs::remove_all(CaseFile(dir_, 2, CaseParamsName));
  // A folder holding another study's cases but no study file is refused too.
  fs::remove(StudyFilePath(dir_));
  EXPECT_FALSE(WriteStudyPlan(text, definition, cases, dir_, error));
  // A broken study file, or none, is no study.
  ASSERT_TRUE(WriteTextFile(StudyFilePath(dir_), "name = \"Угол\"\n[sweep]\ndt = []\n", error));
  StudyDefinition loaded;
  std::vector<StudyCase> loadedCases;
  EXPECT_FALSE(LoadStudy(dir_, {}, loaded, loadedCases, error));
  EXPECT_NE(error.find("строка 3"), std::string::npos) << error;
  StudyTable table;
  EXPECT_FALSE(CollectStudy(dir_, {}, table, error));
  EXPECT_FALSE(LoadStudy(dir_ + "/none", {}, loaded, loadedCases, error));
  EXPECT_NE(error.find("не содержит исследования"), std::string::npos) << error;
  ASSERT_TRUE(WriteTextFile(StudyFilePath(dir_), text, error));
  ASSERT_TRUE(LoadStudy(dir_, {}, loaded, loadedCases, error)) << error;
  ASSERT_EQ(loadedCases.size(), 4u);
  EXPECT_EQ(loadedCases[3].SweptValues, (std::vector<std::string>{"60", "0.75"}));
  // A state read back: done wins over a failed mark; clearing forgets both.
  ASSERT_TRUE(MarkCaseFailed(dir_, 1, "нет", error));
  EXPECT_EQ(ReadCaseState(dir_, 1, nullptr), CaseState::Failed);
  ASSERT_TRUE(MarkCaseDone(dir_, 1, error));
  EXPECT_EQ(ReadCaseState(dir_, 1, nullptr), CaseState::Done);
  ClearCaseOutcome(dir_, 1);
  EXPECT_EQ(ReadCaseState(dir_, 1, nullptr), CaseState::Pending);
  EXPECT_STREQ(CaseStateName(CaseState::Running), "running");
}

TEST(StudyResults, FileRoundTripIsExact) {
  const CaseResults r = {{"Beff", "м", 0.1L / 3},
                         {"vx(0,1 0,05)", "м/с", -1e-300L},
                         {"a", "", 12345678.901234567L},
                         {"n", "м", std::numeric_limits<Real>::quiet_NaN()},
                         {"i", "м", -std::numeric_limits<Real>::infinity()}};
  CaseResults back;
  std::string error;
  ASSERT_TRUE(ParseResultsFile(ResultsFileText(r), back, error)) << error;
  ASSERT_EQ(back.size(), r.size());
  for (size_t i = 0; i < r.size(); ++i) {
    SCOPED_TRACE(r[i].Name);
    EXPECT_EQ(back[i].Name, r[i].Name);
    EXPECT_EQ(back[i].Unit, r[i].Unit);
    if (i == 3) {
      EXPECT_TRUE(std::isnan(static_cast<double>(back[i].Value)));
    } else {
      EXPECT_EQ(static_cast<double>(back[i].Value), static_cast<double>(r[i].Value));
    }
  }
  EXPECT_TRUE(ParseResultsFile("", back, error));
  EXPECT_TRUE(back.empty());
  EXPECT_FALSE(ParseResultsFile("[[value]]\nname = \"a\"\nvalue = 1.0\n", back, error)) << "no unit";
  EXPECT_FALSE(ParseResultsFile("[[value]]\nname = \"a\"\nunit = \"\"\nvalue = \"x\"\n", back, error));
  EXPECT_EQ(ResultPointSuffix({0.1L, -0.05L}), "(0,1 -0,05)");
  const struct {
    const char* name;
    const char* label;
  } labels[] = {{"Beff", "Bэф"},
                {"Beff_sd", "С.к.о. Bэф"},
                {"dmax_hw", "± 95 % dmax"},
                {"b", "b"},
                {"vx(0,1 -0,05)", "Vx в точке (0,1; -0,05)"},
                {"vy(0 1)", "Vy в точке (0; 1)"},
                {"v(0,1 0,05)", "Скорость в точке (0,1; 0,05)"},
                {"v/v0(x/D=0,5)", "v/v₀ на оси при x/D = 0,5"},
                {"flux_ratio", "Расход через канал / πB²v"},
                {"Lr/D_hw", "± 95 % Длина отрывной зоны в канале, x/D"},
                {"Cc", "Коэффициент сжатия струи Cc"},
                {"Lr/D", "Длина отрывной зоны в канале, x/D"},
                {"vx", "vx"},
                {"C_c", "C_c"}};
  for (const auto& l : labels) EXPECT_EQ(ResultLabel(l.name), l.label) << l.name;
  // Every option a study may set has the program's name for headers and axes.
  for (const StudyKey& k : StudyKeys()) {
    EXPECT_TRUE(k.Label != nullptr && *k.Label != '\0') << k.Name;
    if (k.Unit[0] != '\0' && k.Label != nullptr && std::string_view(k.Unit) != "°") {
      EXPECT_TRUE(std::string_view(k.Label).ends_with(std::string(", ") + k.Unit) ||
                  std::string_view(k.Label).ends_with(", сек."))
          << k.Name << ": the unit of the label";
    }
  }
  EXPECT_EQ(SpreadOf("Beff_sd"), "Beff");
  EXPECT_EQ(SpreadOf("v/v0(x/D=0,5)_hw"), "v/v0(x/D=0,5)");
  EXPECT_EQ(SpreadOf("Beff"), "");
}

TEST(StudyResults, EndStateSpeedsAtThePointsAsked) {
  Model m = test::DefaultModel();
  test::SolveAttached(m);
  ResultRequest request;
  request.VortexZone = false;
  request.Points = {{0.1L, 0.05L}, {-0.2L, 0.3L}};
  CaseResults r;
  std::string error;
  ASSERT_TRUE(EndStateResults(m, request, r, error)) << error;
  ASSERT_EQ(r.size(), 6u);
  for (size_t k = 0; k < 2; ++k) {
    Real u, v;
    CalcVelocityPair(m, request.Points[k], -1, u, v);
    const std::string at = ResultPointSuffix(request.Points[k]);
    EXPECT_EQ(r[3 * k].Name, "vx" + at);
    EXPECT_EQ(r[3 * k].Value, u);
    EXPECT_EQ(r[3 * k + 1].Name, "vy" + at);
    EXPECT_EQ(r[3 * k + 1].Value, v);
    EXPECT_EQ(r[3 * k + 2].Name, "v" + at);
    EXPECT_TRUE(test::RealNear(r[3 * k + 2].Value, std::hypot(u, v), 1e-15L));
    EXPECT_EQ(r[3 * k + 2].Unit, "м/с");
  }
  EXPECT_NE(r[0].Value, 0);
  // The vortex zone needs free vortices.
  request.VortexZone = true;
  EXPECT_FALSE(EndStateResults(m, request, r, error));
  EXPECT_EQ(error, "Не задана вихревая структура");
}

TEST(StudyTable, SeriesGroupTheOtherParametersAndSortByX) {
  // Two swept keys; results of done cases only; x parsed from the values.
  StudyTable table;
  table.Params = {{"flange-angle-deg", "°"}, {"inflow-speed", "м/с"}};
  table.Results = {{"Beff", "м"}, {"b", "м"}};
  auto row = [](int id, const char* a, const char* v, CaseState s, std::optional<Real> r0, std::optional<Real> r1) {
    StudyRow r;
    r.Id = id;
    r.Params = {a, v};
    r.State = s;
    r.Results = {r0, r1};
    return r;
  };
  table.Rows = {row(0, "60", "0", CaseState::Done, 0.6L, 1),       row(1, "60", "0.75", CaseState::Done, 0.65L, 2),
                row(2, "30", "0", CaseState::Done, 0.3L, 3),       row(3, "30", "0.75", CaseState::Failed, 9, 9),
                row(4, "45", "0", CaseState::Done, 0.45L, std::nullopt), row(5, "45", "0.75", CaseState::Done, 0.5L, 6)};
  using P = std::vector<std::pair<Real, Real>>;
  std::vector<PlotSeries> s = StudySeries(table, 0, 0);
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[0].Points, (P{{30, 0.3L}, {45, 0.45L}, {60, 0.6L}}));
  EXPECT_EQ(s[1].Points, (P{{45, 0.5L}, {60, 0.65L}}));
  EXPECT_NE(s[1].Title.find("0,75"), std::string::npos) << s[1].Title;
  s = StudySeries(table, 0, 1);  // case 4 has no b
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[0].Points, (P{{30, 3}, {60, 1}}));
  EXPECT_EQ(s[1].Points, (P{{45, 6}, {60, 2}}));
  s = StudySeries(table, 1, 0);  // by speed, a line per angle in order of appearance
  ASSERT_EQ(s.size(), 3u);
  EXPECT_EQ(s[0].Points, (P{{0, 0.6L}, {0.75L, 0.65L}}));
  EXPECT_EQ(s[1].Points, (P{{0, 0.3L}}));
  EXPECT_EQ(s[2].Points, (P{{0, 0.45L}, {0.75L, 0.5L}}));

  // The second result as the s.d. of the first: its error bars, sorted with
  // the points, NaN (a bar of no length in gnuplot) where a case lacks it.
  table.Results[1] = {"Beff_sd", "м"};
  EXPECT_EQ(SpreadColumn(table, 0), 1);
  EXPECT_EQ(SpreadColumn(table, 1), -1);
  EXPECT_FALSE(PlottedResult(table, 1));
  s = StudySeries(table, 0, 0);
  ASSERT_EQ(s[0].Spreads.size(), 3u);
  EXPECT_EQ(s[0].Spreads[0], 3);
  EXPECT_TRUE(std::isnan(s[0].Spreads[1]));
  EXPECT_EQ(s[0].Spreads[2], 1);
  EXPECT_EQ(s[1].Spreads, (std::vector<Real>{6, 2}));
  // The same with the s.d. as the first column.
  StudyTable swapped = table;
  std::swap(swapped.Results[0], swapped.Results[1]);
  for (StudyRow& r : swapped.Rows) std::swap(r.Results[0], r.Results[1]);
  EXPECT_EQ(SpreadColumn(swapped, 1), 0);
  EXPECT_EQ(StudySeries(swapped, 0, 1)[1].Spreads, (std::vector<Real>{6, 2}));
  const std::vector<PlotScript> plots = StudyPlotScripts(table);
  ASSERT_EQ(plots.size(), 2u) << "no plot of the s.d. itself";
  EXPECT_NE(plots[0].Text.find("$d0 << EOD\n30 0.3 3\n45 0.45 0\n60 0.6 1\nEOD\n"), std::string::npos) << plots[0].Text;
  EXPECT_NE(plots[0].Text.find("$d1 using 1:2:3 with yerrorlines"), std::string::npos) << plots[0].Text;
  EXPECT_NE(plots[0].Text.find("set ylabel 'Bэф, м (среднее ± с.к.о.)'"), std::string::npos) << plots[0].Text;

  // Plot file names keep ASCII letters, digits, '-' and '_'; anything else
  // (a Cyrillic letter too) becomes one '_'.
  table.Results = {{"Az9-z_Zж(0 0,9)", "м"}, {"b", "м"}};
  const std::vector<PlotScript> named = StudyPlotScripts(table);
  ASSERT_FALSE(named.empty());
  EXPECT_EQ(named[0].BaseName, "Az9-z_Z_0_0_9-vs-flange-angle-deg");
  const StudyCounts n = CountStates(table);
  EXPECT_EQ(n.Done, 5);
  EXPECT_EQ(n.Failed, 1);
  EXPECT_EQ(n.Running + n.Pending, 0);
}

TEST(StudyAverages, ResultsFromTheAveragesFile) {
  // The layout the averaging run writes, with a 3 x 2 grid whose node (1, 1)
  // lies in a solid.
  const std::string json = R"({"format": "rinfet-mdv-averages", "version": 1, "precision": "extended", "samples": 12,
    "steady": {"reached": true, "startup_end": 0.5, "tolerance": 0.05, "verdict": "режим установился \u0442"},
    "centreline": [{"x_over_D": 0.5, "model": 0.31, "disc_sink": 0.3},
                   {"x_over_D": 1.0, "model": 0.12, "disc_sink": 0.1, "model_half_width_95": 0.02},
                   {"x_over_D": 2.0, "model": null}],
    "flux": {"x": 0.5, "flux": 0.07, "reference": 0.0707, "ratio": 0.99, "ratio_half_width_95": 0.0125},
    "vortex_zone": {"measured": 4, "failed": 0, "every_samples": 10, "dimensions": {
      "Beff": {"mean": 0.8, "sd": 0.01}, "b": {"mean": 0.1, "sd": 0.002}, "l": {"mean": 0.25, "sd": 0.02},
      "a0": {"mean": 0.0, "sd": 0.0}, "a": {"mean": 0.5, "sd": 0.05}, "dmax": {"mean": 0.05, "sd": 0.004},
      "lmax": {"mean": 0.8, "sd": 0.1}}},
    "contraction": {"mouth": {"x": 0.0, "y": 0.15}, "sections": [],
      "vena_contracta": {"x": 0.15, "x_over_D": 0.5, "cc": 0.52, "jet_radius": 0.108, "zeta_bc": 0.8521, "zeta_m": 0.7071},
      "reattachment": {"separated": true, "x": 0.2, "length_over_D": 0.67}},
    "tracers": {"horizon": 10.0, "release_every": 0.25, "far_radius": 3.0, "stride": 10, "first_release": 1.0,
      "grid": {"x0": -0.5, "y0": 0.0, "dx": 0.1, "dy": 0.1, "nx": 1, "ny": 1, "source": [2]},
      "sources": [{"x": -0.1, "y": 0.0, "released": 9, "caught": 8, "lost": 0, "expired": 0, "in_flight": 1,
                   "caught_fraction": 1.0, "median_capture_time": 1.25},
                  {"x": -0.3, "y": 0.2, "released": 9, "caught": 0, "lost": 4, "expired": 4, "in_flight": 1,
                   "caught_fraction": 0.0, "median_capture_time": null},
                  {"x": -0.5, "y": 0.0, "released": 9, "caught": 3, "lost": 0, "expired": 6, "in_flight": 0,
                   "caught_fraction": 0.333, "median_capture_time": 3.5}]},
    "grid": {"x0": -0.1, "y0": 0.0, "dx": 0.1, "dy": 0.1, "nx": 3, "ny": 2,
      "inside": [1, 1, 1, 1, 0, 1], "vx_mean": [1, 2, 3, 4, 0, 6], "vy_mean": [-1, -2, -3, -4, 0, -6],
      "speed_mean": [1.5, 2.5, 3.5, 4.5, 0, 6.5],
      "vx_mean_half_width_95": [null, null, 0.25, null, null, null], "vy_mean_half_width_95": null,
      "speed_mean_half_width_95": [0.1, 0.1, null, 0.1, 0.1, 0.1]}})";
  ResultRequest request;
  request.CentrelineXD = {0.9, 2.0};
  request.Flux = true;
  request.Contraction = true;
  request.Capture = true;
  request.Points = {{0.1, 0.04}, {0.0, 0.1}, {5, 5}};  // node (2, 0); in the solid; off the grid
  CaseResults r;
  std::string error;
  ASSERT_TRUE(AveragesResults(json, request, r, error)) << error;
  auto value = [&](const std::string& name) -> std::optional<Real> {
    for (const ResultValue& v : r)
      if (v.Name == name) return v.Value;
    return std::nullopt;
  };
  EXPECT_EQ(r.size(), 1u + 14u + 2u + 1u + 6u + 3u + 3u + 4u);
  EXPECT_EQ(value("steady"), 1) << "the verdict";
  EXPECT_EQ(value("Cc"), 0.52);
  EXPECT_EQ(value("xc/D"), 0.5);
  EXPECT_EQ(value("rc"), 0.108);
  EXPECT_EQ(value("Lr/D"), 0.67);
  EXPECT_EQ(value("zeta_BC"), 0.8521);
  EXPECT_EQ(value("zeta_M"), 0.7071);
  EXPECT_EQ(value("capture(-0,1 0)"), 1.0);
  EXPECT_EQ(value("tcap(-0,1 0)"), 1.25);
  EXPECT_EQ(value("capture(-0,3 0,2)"), 0.0);
  EXPECT_FALSE(value("tcap(-0,3 0,2)")) << "none caught";
  EXPECT_FALSE(value("capture(-0,5 0)")) << "a source of the tracer grid";
  EXPECT_EQ(value("Beff"), 0.8);
  EXPECT_EQ(value("lmax_sd"), 0.1);
  EXPECT_EQ(value("v/v0(x/D=0,9)"), 0.12) << "the nearest station";
  EXPECT_EQ(value("v/v0(x/D=2)"), 0.12) << "a station behind the plane has no model value";
  EXPECT_EQ(value("flux_ratio"), 0.99);
  EXPECT_EQ(value("vy(0,1 0,04)"), -3);
  EXPECT_EQ(value("v(0,1 0,04)"), 3.5);
  EXPECT_FALSE(value("v(0 0,1)")) << "inside a solid";
  // Each mean's half-width right after it, where the file trusts one.
  EXPECT_EQ(value("v/v0(x/D=0,9)_hw"), 0.02);
  EXPECT_EQ(value("flux_ratio_hw"), 0.0125);
  EXPECT_EQ(value("vx(0,1 0,04)_hw"), 0.25);
  EXPECT_FALSE(value("vy(0,1 0,04)_hw")) << "none trusted";
  EXPECT_FALSE(value("v(0,1 0,04)_hw")) << "null at that node";
  const auto place = [&](const std::string& name) {
    return std::find_if(r.begin(), r.end(), [&](const ResultValue& v) { return v.Name == name; }) - r.begin();
  };
  EXPECT_EQ(place("vx(0,1 0,04)_hw"), place("vx(0,1 0,04)") + 1);
  EXPECT_EQ(place("flux_ratio_hw"), place("flux_ratio") + 1);
  EXPECT_EQ(r[static_cast<size_t>(place("vx(0,1 0,04)_hw"))].Unit, "м/с");

  // A run that ended before its start-up averaged no sample: its field (zeros
  // in the file) and what follows from it are unknown, not zero.
  std::string none = json;
  for (const auto& [from, to] : {std::pair<std::string, std::string>{"\"samples\": 12", "\"samples\": 0"},
                                 {"\"reached\": true", "\"reached\": false"},
                                 {"\"measured\": 4", "\"measured\": 0"}})
    none.replace(none.find(from), from.size(), to);
  ASSERT_TRUE(AveragesResults(none, request, r, error)) << error;
  EXPECT_EQ(value("steady"), 0);
  for (const char* unknown : {"v/v0(x/D=0,9)", "flux_ratio", "Cc", "zeta_BC", "zeta_M", "vx(0,1 0,04)", "v(0,1 0,04)", "Beff"})
    EXPECT_FALSE(value(unknown)) << unknown;

  const struct {
    const char* name;
    std::string text;
  } bad[] = {{"truncated", json.substr(0, json.size() / 2)},
             {"other format", R"({"format": "x", "version": 1})"},
             {"zone dimension missing", R"({"format": "rinfet-mdv-averages", "version": 1,
               "vortex_zone": {"measured": 2, "dimensions": {"Beff": {"mean": 1, "sd": 0}}}})"}};
  for (const auto& b : bad) {
    EXPECT_FALSE(AveragesResults(b.text, ResultRequest{}, r, error)) << b.name;
    EXPECT_FALSE(error.empty()) << b.name;
  }
  EXPECT_TRUE(CaseAverages({{"max-time", "2"}, {"until-steady", "true"}}));
  EXPECT_FALSE(CaseAverages({{"max-time", "2"}, {"until-steady", "false"}}));
}

}  // namespace
}  // namespace mdv
