// Study files, the case plan, the case folder's state and the table: a bad
// file is refused with its line and key, grids and zips give the right cases,
// a held lock reads as running, results survive their file, the CSV is what
// a spreadsheet in a comma locale reads.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "core/study_plan.h"
#include "core/study_results.h"
#include "core/study_table.h"

namespace fs = std::filesystem;

namespace mdv {
namespace {

bool Parse(const std::string& text, StudySpec& spec, std::string& error,
           const OptionAvailable& available = {}) {
  return ParseStudy(text, "s.toml", available, spec, error);
}

TEST(StudyFile, RefusedFilesNameTheLineAndTheKey) {
  struct Row {
    const char* name;
    const char* text;
    const char* where;  // expected in the message
  };
  const Row rows[] = {
      {"no name", "[base]\ndt = 0.01\n", "ключ «name»"},
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
  };
  for (const Row& r : rows) {
    StudySpec spec;
    std::string error;
    EXPECT_FALSE(Parse(r.text, spec, error)) << r.name;
    EXPECT_NE(error.find(r.where), std::string::npos) << r.name << ": " << error;
    EXPECT_TRUE(spec.Base.empty() && spec.Sweep.empty()) << r.name;
  }
  // A key of the table the run command of this build does not have.
  StudySpec spec;
  std::string error;
  EXPECT_FALSE(Parse("name = \"a\"\n[base]\nuntil-steady = true\n", spec, error,
                     [](std::string_view k) { return k != "until-steady"; }));
  EXPECT_NE(error.find("строка 3, ключ «until-steady»"), std::string::npos) << error;
  EXPECT_TRUE(Parse("name = \"a\"\n[base]\nuntil-steady = true\n", spec, error,
                    [](std::string_view) { return true; }))
      << error;
}

TEST(StudyPlan, GridCrossesInFileOrderAndZipPairs) {
  StudySpec spec;
  std::string error;
  // toml++ sorts keys; the grid must follow the file: inflow-speed slowest.
  ASSERT_TRUE(Parse("name = \"a\"\n[base]\nmax-time = 0.05\n[sweep]\n"
                    "inflow-speed = [0, \"0,75\"]\n"
                    "flange-angle-deg = { from = 15, to = 90, step = 15 }\n"
                    "dt = { from = 0.001, to = 0.0021, step = 0.0005 }\n",
                    spec, error))
      << error;
  ASSERT_EQ(spec.Sweep.size(), 3u);
  EXPECT_EQ(spec.Sweep[0].Key, "inflow-speed");
  EXPECT_EQ(spec.Sweep[2].Values, (std::vector<std::string>{"0.001", "0.0015", "0.002"}));
  const std::vector<StudyCase> cases = PlanCases(spec);
  ASSERT_EQ(cases.size(), 2u * 6u * 3u);
  const StudyCase& c = cases[1 * 18 + 5 * 3 + 1];
  EXPECT_EQ(c.SweptValues, (std::vector<std::string>{"0.75", "90", "0.0015"}));
  ASSERT_EQ(c.Settings.size(), 4u);
  EXPECT_EQ(c.Settings[0].Key, "max-time");
  EXPECT_EQ(c.Settings[0].Value, "0.05");

  ASSERT_TRUE(Parse("name = \"a\"\n[sweep]\nzip = true\ndt = [0.01, 0.02]\nmax-free = [10, 20]\n", spec, error));
  const std::vector<StudyCase> zip = PlanCases(spec);
  ASSERT_EQ(zip.size(), 2u);
  EXPECT_EQ(zip[1].SweptValues, (std::vector<std::string>{"0.02", "20"}));
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

TEST_F(StudyFolder, CaseStatesAndTheTable) {
  const std::string text =
      "name = \"t\"\n[sweep]\nflange-angle-deg = [30, 60]\ninflow-speed = [0, 0.75]\n";
  StudySpec spec;
  std::string error;
  ASSERT_TRUE(Parse(text, spec, error));
  const auto cases = PlanCases(spec);
  ASSERT_TRUE(WriteStudyPlan(text, spec, cases, dir_, error)) << error;
  ASSERT_TRUE(WriteStudyPlan(text, spec, cases, dir_, error)) << "the same plan again: " << error;
  EXPECT_FALSE(WriteStudyPlan(text + "# other\n", spec, cases, dir_, error));
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
      "id;flange-angle-deg [°];inflow-speed [м/с];status;message;Beff [м];v(0,1 0,05) [м/с]\n"
      "0;30;0;done;;0,0333333333333333;-1E-7\n"
      "1;30;0,75;failed;\"Плоскость; \"\"левее\"\"\";;\n"
      "2;60;0;running;;;\n"
      "3;60;0,75;pending;;;\n";
  EXPECT_EQ(csv, expected);

  // One plot per result and swept parameter, a line per value of the other.
  const auto plots = StudyPlotScripts(table);
  ASSERT_EQ(plots.size(), 4u);
  EXPECT_EQ(plots[0].BaseName, "Beff-vs-flange-angle-deg");
  EXPECT_EQ(plots[3].BaseName, "v_0_1_0_05-vs-inflow-speed");
  EXPECT_NE(plots[0].Text.find("title \"inflow-speed = 0\""), std::string::npos) << plots[0].Text;
}

}  // namespace
}  // namespace mdv
