// Study files, the case plan, the case folder's state and the table: a bad
// file is refused with its line and key, grids and zips give the right cases,
// a held lock reads as running, results survive their file, the CSV is what
// a spreadsheet in a comma locale reads.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <optional>

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
    StudyDefinition definition;
    std::string error;
    EXPECT_FALSE(Parse(r.text, definition, error)) << r.name;
    EXPECT_NE(error.find(r.where), std::string::npos) << r.name << ": " << error;
    EXPECT_TRUE(definition.Base.empty() && definition.Sweep.empty()) << r.name;
  }
  // A key of the table the run command of this build does not have.
  StudyDefinition definition;
  std::string error;
  EXPECT_FALSE(Parse("name = \"a\"\n[base]\nuntil-steady = true\n", definition, error,
                     [](std::string_view k) { return k != "until-steady"; }));
  EXPECT_NE(error.find("строка 3, ключ «until-steady»"), std::string::npos) << error;
  EXPECT_TRUE(Parse("name = \"a\"\n[base]\nuntil-steady = true\n", definition, error,
                    [](std::string_view) { return true; }))
      << error;
}

TEST(StudyPlan, GridCrossesInFileOrderAndZipPairs) {
  StudyDefinition definition;
  std::string error;
  // toml++ sorts keys; the grid must follow the file: inflow-speed slowest.
  ASSERT_TRUE(Parse("name = \"a\"\n[base]\nmax-time = 0.05\n[sweep]\n"
                    "inflow-speed = [0, \"0,75\"]\n"
                    "flange-angle-deg = { from = 15, to = 90, step = 15 }\n"
                    "dt = { from = 0.001, to = 0.0021, step = 0.0005 }\n",
                    definition, error))
      << error;
  ASSERT_EQ(definition.Sweep.size(), 3u);
  EXPECT_EQ(definition.Sweep[0].Key, "inflow-speed");
  EXPECT_EQ(definition.Sweep[2].Values, (std::vector<std::string>{"0.001", "0.0015", "0.002"}));
  const std::vector<StudyCase> cases = PlanCases(definition);
  ASSERT_EQ(cases.size(), 2u * 6u * 3u);
  const StudyCase& c = cases[1 * 18 + 5 * 3 + 1];
  EXPECT_EQ(c.SweptValues, (std::vector<std::string>{"0.75", "90", "0.0015"}));
  ASSERT_EQ(c.Settings.size(), 4u);
  EXPECT_EQ(c.Settings[0].Key, "max-time");
  EXPECT_EQ(c.Settings[0].Value, "0.05");

  ASSERT_TRUE(Parse("name = \"a\"\n[sweep]\nzip = true\ndt = [0.01, 0.02]\nmax-free = [10, 20]\n", definition, error));
  const std::vector<StudyCase> zip = PlanCases(definition);
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


TEST(StudyAverages, ResultsFromTheAveragesFile) {
  // The layout the averaging run writes, with a 3 x 2 grid whose node (1, 1)
  // lies in a solid.
  const std::string json = R"({"format": "rinfet-mdv-averages", "version": 1, "precision": "extended",
    "steady": {"reached": true, "startup_end": 0.5, "tolerance": 0.05, "verdict": "режим установился \u0442"},
    "centreline": [{"x_over_D": 0.5, "model": 0.31, "disc_sink": 0.3},
                   {"x_over_D": 1.0, "model": 0.12, "disc_sink": 0.1},
                   {"x_over_D": 2.0, "model": null}],
    "flux": {"x": 0.5, "flux": 0.07, "reference": 0.0707, "ratio": 0.99},
    "vortex_zone": {"measured": 4, "failed": 0, "every_samples": 10, "dimensions": {
      "Beff": {"mean": 0.8, "sd": 0.01}, "b": {"mean": 0.1, "sd": 0.002}, "l": {"mean": 0.25, "sd": 0.02},
      "a0": {"mean": 0.0, "sd": 0.0}, "a": {"mean": 0.5, "sd": 0.05}, "dmax": {"mean": 0.05, "sd": 0.004},
      "lmax": {"mean": 0.8, "sd": 0.1}}},
    "contraction": {"mouth": {"x": 0.0, "y": 0.15}, "sections": [],
      "vena_contracta": {"x": 0.15, "x_over_D": 0.5, "cc": 0.52, "jet_radius": 0.108},
      "reattachment": {"separated": true, "x": 0.2, "length_over_D": 0.67}},
    "grid": {"x0": -0.1, "y0": 0.0, "dx": 0.1, "dy": 0.1, "nx": 3, "ny": 2,
      "inside": [1, 1, 1, 1, 0, 1], "vx_mean": [1, 2, 3, 4, 0, 6], "vy_mean": [-1, -2, -3, -4, 0, -6],
      "speed_mean": [1.5, 2.5, 3.5, 4.5, 0, 6.5]}})";
  ResultRequest request;
  request.CentrelineXD = {0.9, 2.0};
  request.Flux = true;
  request.Contraction = true;
  request.Points = {{0.1, 0.04}, {0.0, 0.1}, {5, 5}};  // node (2, 0); in the solid; off the grid
  CaseResults r;
  std::string error;
  ASSERT_TRUE(AveragesResults(json, request, r, error)) << error;
  auto value = [&](const std::string& name) -> std::optional<Real> {
    for (const ResultValue& v : r)
      if (v.Name == name) return v.Value;
    return std::nullopt;
  };
  EXPECT_EQ(r.size(), 14u + 2u + 1u + 4u + 3u);
  EXPECT_EQ(value("Cc"), 0.52);
  EXPECT_EQ(value("xc/D"), 0.5);
  EXPECT_EQ(value("rc"), 0.108);
  EXPECT_EQ(value("Lr/D"), 0.67);
  EXPECT_EQ(value("Beff"), 0.8);
  EXPECT_EQ(value("lmax_sd"), 0.1);
  EXPECT_EQ(value("v/v0(x/D=0,9)"), 0.12) << "the nearest station";
  EXPECT_EQ(value("v/v0(x/D=2)"), 0.12) << "a station behind the plane has no model value";
  EXPECT_EQ(value("flux_ratio"), 0.99);
  EXPECT_EQ(value("vy(0,1 0,04)"), -3);
  EXPECT_EQ(value("v(0,1 0,04)"), 3.5);
  EXPECT_FALSE(value("v(0 0,1)")) << "inside a solid";

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
