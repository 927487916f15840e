// The grid convergence index against sequences of known order and a
// published example, the [convergence] section of a study file, its cases
// (shared where two series meet) and its table.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <regex>
#include <tuple>

#include "core/study/convergence.h"
#include "core/study/convergence_table.h"
#include "core/study/study_plan.h"
#include "core/study/study_results.h"

namespace fs = std::filesystem;

namespace mdv {
namespace {

// Relative agreement of the fixed-point order with the exact one.
constexpr Real OrderTolerance = 1e-10L;

Real Power(Real h, Real p) { return std::pow(h, p); }

TEST(GridConvergence, SequencesOfKnownOrder) {
  // phi = phi_exact + C h^p on non-uniform ratios: p, phi_ext = phi_exact and
  // GCI_fine = 1,25·|C|·h1^p/|phi1| (as r21^p − 1 = (h2^p − h1^p)/h1^p).
  struct Row {
    const char* name;
    Real exact, c, p;
    Real h[3];
  };
  const Row rows[] = {
      {"second order, r21 1,42, r32 1,41", 0.5L, 2, 2, {0.005L, 0.0071L, 0.01L}},
      {"first order from below, r21 2, r32 2,5", 0.4L, -3, 1, {0.01L, 0.02L, 0.05L}},
      {"order 1,5, r21 1,3, r32 1,615", 1, -0.7L, 1.5L, {1, 1.3L, 2.1L}},
      {"order 0,6, r32 much larger than r21", 2, 0.25L, 0.6L, {0.1L, 0.12L, 0.5L}},
      {"order 3,9, negative answers", -1, -0.1L, 3.9L, {0.2L, 0.3L, 0.35L}},
  };
  for (const Row& r : rows) {
    Real phi[3];
    for (int i = 0; i < 3; ++i) phi[i] = r.exact + r.c * Power(r.h[i], r.p);
    const ConvergenceIndex x = GridConvergence(r.h, phi);
    EXPECT_EQ(x.Verdict, ConvergenceVerdict::Monotone) << r.name;
    EXPECT_NEAR(static_cast<double>(x.Order), static_cast<double>(r.p), static_cast<double>(OrderTolerance * r.p))
        << r.name << ", iterations " << x.Iterations;
    EXPECT_NEAR(static_cast<double>(x.Extrapolated), static_cast<double>(r.exact), 1e-9) << r.name;
    const Real gci = 1.25L * std::abs(r.c) * Power(r.h[0], r.p) / std::abs(phi[0]);
    EXPECT_NEAR(static_cast<double>(x.Gci / gci), 1.0, 1e-9) << r.name;
  }
  // The uniform ratio has the closed form p = ln(e32/e21)/ln r.
  const Real h[3] = {1, 2, 4}, phi[3] = {1.0L, 1.3L, 2.2L};
  const ConvergenceIndex x = GridConvergence(h, phi);
  EXPECT_NEAR(static_cast<double>(x.Order), std::log(3.0) / std::log(2.0), 1e-12);
  EXPECT_EQ(x.Iterations, 1);
}

TEST(GridConvergence, PublishedExample) {
  // Celik et al. (2008), table 1, second column: r21 = 1,5, r32 = 1,333,
  // p = 1,53, phi_ext = 6,1685, GCI_fine = 2,17 %.
  const Real h[3] = {1, 1.5L, 2}, phi[3] = {6.063L, 5.972L, 5.863L};
  const ConvergenceIndex x = GridConvergence(h, phi);
  EXPECT_EQ(x.Verdict, ConvergenceVerdict::Monotone);
  EXPECT_NEAR(static_cast<double>(x.Order), 1.53, 0.005);
  EXPECT_NEAR(static_cast<double>(x.Extrapolated), 6.1685, 0.00005);
  EXPECT_NEAR(static_cast<double>(100 * x.Gci), 2.17, 0.005);
  EXPECT_EQ(ConvergenceSummary(x), "p = 1,53; GCI = 2,2 %") << "the published figures, rounded as shown";
}

TEST(GridConvergence, VerdictsThatAreNotAnIndex) {
  const Real nan = NAN;
  struct Row {
    const char* name;
    Real h[3], phi[3];
    ConvergenceVerdict verdict;
    Real order;  // NaN: not found
  };
  const Row rows[] = {
      // |e32/e21| = 1,5 at r = 2 both ways: p = ln 1,5 / ln 2, whatever s.
      {"oscillatory", {1, 2, 4}, {1.0L, 1.1L, 0.95L}, ConvergenceVerdict::Oscillatory, std::log(1.5L) / std::log(2.0L)},
      {"fifth order", {0.5L, 1, 2}, {1 + Power(0.5L, 5), 2, 1 + Power(2, 5)}, ConvergenceVerdict::OrderOutside, 5},
      {"order 0,3", {0.5L, 1, 2}, {1 + Power(0.5L, 0.3L), 2, 1 + Power(2, 0.3L)}, ConvergenceVerdict::OrderOutside,
       0.3L},
      {"order just below 0,5", {1, 2, 4}, {0, 1, 1 + std::sqrt(2.0L) * 0.999L}, ConvergenceVerdict::OrderOutside,
       std::log(std::sqrt(2.0L) * 0.999L) / std::log(2.0L)},
      // phi = 1/h: the differences halve as the step doubles; |·| makes p = 1.
      {"differences grow as the step falls", {1, 2, 4}, {1, 0.5L, 0.25L}, ConvergenceVerdict::Diverging, 1},
      {"growing, non-uniform ratios", {0.005L, 0.0071L, 0.01L}, {0.8959L, 0.8995L, 0.901L},
       ConvergenceVerdict::Diverging, 2.397708065107373L},
      {"no change", {1, 2, 3}, {0.7L, 0.7L, 0.7L}, ConvergenceVerdict::Unchanged, nan},
      {"fine pair equal", {1, 2, 3}, {0.7L, 0.7L, 0.8L}, ConvergenceVerdict::Undetermined, nan},
      {"coarse pair equal", {1, 2, 3}, {0.6L, 0.7L, 0.7L}, ConvergenceVerdict::Undetermined, nan},
      {"zero fine answer", {0.5L, 1, 2}, {0, 0.75L, 3.75L}, ConvergenceVerdict::Undetermined, 2},
      {"steps not ascending", {1, 3, 2}, {1, 2, 3}, ConvergenceVerdict::Undetermined, nan},
      {"a zero step", {0, 1, 2}, {1, 2, 4}, ConvergenceVerdict::Undetermined, nan},
      {"coarse answer missing", {1, 2, 3}, {1, 2, nan}, ConvergenceVerdict::Incomplete, nan},
      {"fine answer missing", {1, 2, 3}, {nan, 2, 3}, ConvergenceVerdict::Incomplete, nan},
  };
  for (const Row& r : rows) {
    const ConvergenceIndex x = GridConvergence(r.h, r.phi);
    EXPECT_EQ(x.Verdict, r.verdict) << r.name;
    if (std::isnan(r.order)) {
      EXPECT_TRUE(std::isnan(x.Order)) << r.name << ": " << static_cast<double>(x.Order);
    } else {
      EXPECT_NEAR(static_cast<double>(x.Order), static_cast<double>(r.order), 1e-9) << r.name;
    }
    if (r.verdict == ConvergenceVerdict::Unchanged) {
      EXPECT_EQ(x.Gci, 0) << r.name;
      EXPECT_EQ(x.Extrapolated, r.phi[0]) << r.name;
    } else {
      EXPECT_TRUE(std::isnan(x.Gci) && std::isnan(x.Extrapolated)) << r.name << ": no index";
    }
  }
  // Just inside the range: an index.
  const Real h[3] = {1, 2, 4}, phi[3] = {0, 1, 1 + std::sqrt(2.0L) * 1.001L};
  EXPECT_EQ(GridConvergence(h, phi).Verdict, ConvergenceVerdict::Undetermined) << "phi1 = 0";
  const Real shifted[3] = {1, 2, 2 + std::sqrt(2.0L) * 1.001L};
  EXPECT_EQ(GridConvergence(h, shifted).Verdict, ConvergenceVerdict::Monotone);
}

bool Parse(const std::string& text, StudyDefinition& definition, std::string& error) {
  return ParseStudy(text, "s.toml", {}, definition, error);
}

TEST(StudyConvergence, RefusedSections) {
  struct Row {
    const char* name;
    const char* text;
    const char* where;
  };
  const Row rows[] = {
      {"two values", "name = \"a\"\n[convergence]\ndt = [0.01, 0.005]\n", "строка 3, ключ «dt»: для индекса"},
      {"zero step", "name = \"a\"\n[convergence]\ndt = [0.01, 0.005, 0]\n", "ключ «dt»: шаг 0 не положителен"},
      {"same step twice", "name = \"a\"\n[convergence]\ndt = [0.01, \"0,01\", 0.005]\n", "значение 0,01 повторяется"},
      {"a count", "name = \"a\"\n[convergence]\nmax-free = [100, 200, 400]\n", "ключ «max-free»: уточнять"},
      {"swept too", "name = \"a\"\n[sweep]\ndt = [0.01, 0.02]\n[convergence]\ndt = [0.01, 0.005, 0.0025]\n",
       "строка 5, ключ «dt»"},
      {"not a table", "name = \"a\"\nconvergence = 3\n", "ключ «convergence»"},
  };
  for (const Row& r : rows) {
    StudyDefinition definition;
    std::string error;
    EXPECT_FALSE(Parse(r.text, definition, error)) << r.name;
    EXPECT_NE(error.find(r.where), std::string::npos) << r.name << ": " << error;
  }
}

// Two refined keys at two sweep points; [base] holds the spacing's value
// for the dt series, so the case (h 0,005, dt 0,005) serves both series.
const char* const RefinedStudy =
    "name = \"c\"\n[base]\nmax-time = 1\nvortex-spacing = 0.005\ndt = 0.005\n"
    "[sweep]\ninflow-speed = [0, 0.75]\n"
    "[convergence]\nvortex-spacing = [0.01, 0.0071, 0.005]\ndt = { from = 0.0025, to = 0.0075, step = 0.0025 }\n";

TEST(StudyConvergence, CasesOfTheSeries) {
  StudyDefinition definition;
  std::string error;
  ASSERT_TRUE(Parse(RefinedStudy, definition, error)) << error;
  ASSERT_EQ(definition.Convergence.size(), 2u);
  EXPECT_EQ(definition.Convergence[0].Key, "vortex-spacing") << "the file's order";
  // Per point: 3 spacings + dt 0,0025 and 0,0075 (dt 0,005 is the shared case).
  const std::vector<StudyCase> cases = PlanCases(definition);
  ASSERT_EQ(StudyCaseCount(definition), 10u);
  ASSERT_EQ(cases.size(), 10u);
  const std::vector<std::vector<std::string>> values = {
      {"0", "0.01", "0.005"},  {"0", "0.0071", "0.005"}, {"0", "0.005", "0.005"},
      {"0", "0.005", "0.0025"}, {"0", "0.005", "0.0075"}};
  for (size_t i = 0; i < cases.size(); ++i) {
    std::vector<std::string> expected = values[i % 5];
    if (i >= 5) expected[0] = "0.75";
    EXPECT_EQ(cases[i].SweptValues, expected) << "case " << i;
    // Every option once, the refined ones in [base]'s places.
    ASSERT_EQ(cases[i].Settings.size(), 4u) << "case " << i;
    std::map<std::string, std::string> settings;
    for (const StudySetting& st : cases[i].Settings) settings[st.Key] = st.Value;
    EXPECT_EQ(settings, (std::map<std::string, std::string>{
                            {"max-time", "1"}, {"vortex-spacing", expected[1]}, {"dt", expected[2]},
                            {"inflow-speed", expected[0]}}))
        << "case " << i;
  }
  const std::vector<RefinementSeries> series = PlanRefinements(definition);
  ASSERT_EQ(series.size(), 4u);
  EXPECT_EQ(series[0].CaseIds, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(series[1].CaseIds, (std::vector<int>{3, 2, 4})) << "dt 0,0025, 0,005, 0,0075";
  EXPECT_EQ(series[3].CaseIds, (std::vector<int>{8, 7, 9}));
  EXPECT_EQ(series[3].Point, 1u);

  // A refined key not in [base] is left out of the other series' cases, and
  // added after [base]'s other keys in its own.
  ASSERT_TRUE(Parse("name = \"c\"\n[base]\nmax-time = 1\n[convergence]\ndt = [0.01, 0.005, 0.0025]\n"
                    "vortex-spacing = [0.02, 0.01, 0.005]\n",
                    definition, error));
  const std::vector<StudyCase> plain = PlanCases(definition);
  ASSERT_EQ(plain.size(), 6u);
  EXPECT_EQ(plain[4].SweptValues, (std::vector<std::string>{"", "0.01"}));
  ASSERT_EQ(plain[4].Settings.size(), 2u);
  EXPECT_EQ(plain[4].Settings[0].Key, "max-time");
  EXPECT_EQ(plain[4].Settings[1].Key, "vortex-spacing");
  EXPECT_EQ(plain[4].Settings[1].Value, "0.01");
  ASSERT_EQ(plain[0].Settings.size(), 2u);
  EXPECT_EQ(plain[0].Settings[1].Key, "dt");
  EXPECT_EQ(plain[0].Settings[1].Value, "0.01");
}

TEST(StudyConvergence, TableAndCsv) {
  const std::string dir = (fs::temp_directory_path() / ("mdv_conv_" + std::to_string(::getpid()))).string();
  fs::remove_all(dir);
  StudyDefinition definition;
  std::string error;
  ASSERT_TRUE(Parse(RefinedStudy, definition, error)) << error;
  ASSERT_TRUE(WriteStudyPlan(RefinedStudy, definition, PlanCases(definition), dir, error)) << error;
  // Point 0: Beff = 0,3 + 40 h² over the spacing, 0,3 + 2 dt (p = 1) over dt;
  // point 1: the coarse spacing's case not done.
  auto done = [&](int id, Real beff) {
    ASSERT_TRUE(WriteTextFile(CaseFile(dir, id, CaseResultsName), ResultsFileText({{"Beff", "м", beff}}), error));
    ASSERT_TRUE(MarkCaseDone(dir, id, error));
  };
  const Real h[3] = {0.01L, 0.0071L, 0.005L}, dt[3] = {0.0025L, 0.005L, 0.0075L};
  for (int i = 0; i < 3; ++i) done(i, 0.3L + 40 * h[i] * h[i] + 2 * 0.005L);
  done(3, 0.3L + 40 * 0.005L * 0.005L + 2 * dt[0]);
  done(4, 0.3L + 40 * 0.005L * 0.005L + 2 * dt[2]);
  for (int i = 6; i < 10; ++i) done(i, 1);

  StudyTable table;
  ASSERT_TRUE(CollectStudy(dir, {}, table, error)) << error;
  fs::remove_all(dir);
  EXPECT_EQ(table.Swept, 1u);
  ASSERT_EQ(table.Params.size(), 3u);
  EXPECT_EQ(table.Params[2].Name, "dt");
  const std::vector<ConvergenceRow> rows = StudyConvergence(table);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].Steps, (std::vector<Real>{0.005L, 0.0071L, 0.01L})) << "finest first";
  EXPECT_EQ(rows[0].CaseIds, (std::vector<int>{2, 1, 0}));
  EXPECT_EQ(rows[0].Index.Verdict, ConvergenceVerdict::Monotone);
  EXPECT_NEAR(static_cast<double>(rows[0].Index.Order), 2, 1e-6);
  EXPECT_NEAR(static_cast<double>(rows[0].Index.Extrapolated), 0.31, 1e-9);
  EXPECT_NEAR(static_cast<double>(rows[1].Index.Order), 1, 1e-6);
  EXPECT_NEAR(static_cast<double>(rows[1].Index.Extrapolated), 0.301, 1e-9);
  EXPECT_EQ(rows[2].Index.Verdict, ConvergenceVerdict::Incomplete);
  EXPECT_EQ(rows[3].Index.Verdict, ConvergenceVerdict::Unchanged);
  EXPECT_EQ(RefinementPointTitle(table, table.Refinements[2]), "Скорость приточного воздуха = 0,75 м/с");

  // GCI over the spacing: 1,25·40·h1²/phi1 = 0,00125/0,311 = 0,4019 %; over
  // dt: 1,25·2·0,0025/0,306 = 2,042 %.
  const std::string expected =
      "inflow-speed;refined;result;h1;h2;h3;phi1;phi2;phi3;p;phi_ext;GCI_fine [%];verdict\n"
      "0;vortex-spacing;Beff [м];0,005;0,0071;0,01;0,311;0,312;0,314;2;0,31;0,4019;монотонная сходимость\n"
      "0;dt;Beff [м];0,0025;0,005;0,0075;0,306;0,311;0,316;1;0,301;2,042;монотонная сходимость\n"
      "0,75;vortex-spacing;Beff [м];0,005;0,0071;0,01;1;1;;;;;рассчитаны не все три варианта\n"
      "0,75;dt;Beff [м];0,0025;0,005;0,0075;1;1;1;;1;0;не зависит от шага\n";
  EXPECT_EQ(ConvergenceCsv(table, rows), expected);
  EXPECT_EQ(ConvergenceSummary(rows[0].Index), "p = 2; GCI = 0,4 %");

  // A plot per refined key: the answers of each sweep point, the fitted
  // curve and φ_ext only where the index holds.
  const std::vector<PlotScript> plots = ConvergencePlotScripts(table, rows);
  ASSERT_EQ(plots.size(), 2u);
  EXPECT_EQ(plots[0].BaseName, "gci-Beff-vs-vortex-spacing");
  EXPECT_EQ(plots[1].BaseName, "gci-Beff-vs-dt");
  const std::string& dtPlot = plots[1].Text;
  EXPECT_NE(dtPlot.find("set xlabel 'Шаг по времени, сек.'\n"), std::string::npos) << dtPlot;
  EXPECT_NE(dtPlot.find("$d0 << EOD\n0.0025 0.306\n0.005 0.311\n0.0075 0.316\nEOD\n"), std::string::npos) << dtPlot;
  EXPECT_NE(dtPlot.find("title 'Скорость приточного воздуха = 0 м/с: p = 1; GCI = 2 %'"), std::string::npos)
      << dtPlot;
  EXPECT_NE(dtPlot.find("title 'Скорость приточного воздуха = 0,75 м/с: не зависит от шага'"), std::string::npos)
      << dtPlot;
  auto count = [](const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count(dtPlot, "dashtype 2"), 1u) << "a fitted curve for point 0 only";
  // The fitted curve, read back from the script, passes through the three answers.
  std::smatch fit;
  ASSERT_TRUE(std::regex_search(dtPlot, fit, std::regex(R"(\(([-0-9.e]+) \+ \(([-0-9.e]+)\) \* \(x / ([-0-9.e]+)\) \*\* ([-0-9.e]+)\))")))
      << dtPlot;
  for (const double h : {0.0025, 0.005, 0.0075})
    EXPECT_NEAR(std::stod(fit[1]) + std::stod(fit[2]) * std::pow(h / std::stod(fit[3]), std::stod(fit[4])), 0.301 + 2 * h,
                1e-12)
        << "h = " << h;
  EXPECT_EQ(count(dtPlot, "using (0):(0.301"), 1u) << dtPlot;
  EXPECT_EQ(count(plots[0].Text, " << EOD\n"), 2u) << "point 1 has two spacings done";
  EXPECT_NE(plots[0].Text.find("$d1 << EOD\n0.005 1\n0.0071 1\nEOD\n"), std::string::npos)
      << "only those two answers drawn" << plots[0].Text;
}

// Answers that fit a power law but cannot be converged: an extrapolation
// outside the result's range (a contraction above 1, a negative loss) or an
// index above the limit is no convergence; cases not judged steady say so
// first. The answers are phi_ext + C·h (p = 1) at h = 0,0025 / 0,005 / 0,01.
TEST(StudyConvergence, ImpossibleAnswersAreNotConverged) {
  StudyTable t;
  t.Refined = {StudySweep{"dt", {"0.01", "0.0025", "0.005"}, 0}};
  t.Params = {{"dt", "сек."}};
  t.Refinements = {RefinementSeries{0, 0, {0, 1, 2}}};
  t.Results = {{"Cc", ""}, {"zeta_BC", ""}, {"Beff", "м"}, {"vx(0,1 0)", "м/с"}, {"v(0,1 0)", "м/с"},
               {"capture(-0,1 0)", ""}};
  const Real h[3] = {0.01L, 0.0025L, 0.005L};  // the file's order
  struct Law {
    Real ext, c;
  } laws[] = {{1.06L, -20}, {-0.0005L, 0.4L}, {0.3L, 2}, {1, 100}, {1, 76}, {1.02L, -4}};
  for (int id = 0; id < 3; ++id) {
    StudyRow row;
    row.Id = id;
    row.State = CaseState::Done;
    row.Steady = "да";
    for (const Law& l : laws) row.Results.push_back(l.ext + l.c * h[id]);
    t.Rows.push_back(row);
  }
  // GCI = 1,25·|C|·h1/|phi1|: Cc 6,2 %, zeta_BC 250 %, Beff 1,6 %, vx 25 %, v 20 % less a hair,
  // the caught fraction 1 % (but φ_ext 1,02).
  const ConvergenceVerdict expected[] = {ConvergenceVerdict::NotAsymptotic, ConvergenceVerdict::NotAsymptotic,
                                         ConvergenceVerdict::Monotone,      ConvergenceVerdict::NotAsymptotic,
                                         ConvergenceVerdict::Monotone,      ConvergenceVerdict::NotAsymptotic};
  std::vector<ConvergenceRow> rows = StudyConvergence(t);
  ASSERT_EQ(rows.size(), 6u);
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].Index.Verdict, expected[i]) << t.Results[i].Name;
    // The figures stay, as the reason shown beside the verdict.
    EXPECT_NEAR(static_cast<double>(rows[i].Index.Extrapolated), static_cast<double>(laws[i].ext), 1e-9)
        << t.Results[i].Name;
  }
  EXPECT_EQ(ConvergenceSummary(rows[0].Index), "не в асимптотической области (p = 1; GCI = 6,2 %; φ_ext = 1,06)");
  const std::string csv = ConvergenceCsv(t, rows);
  EXPECT_NE(csv.find("dt;Cc;0,0025;0,005;0,01;1,01;0,96;0,86;1;1,06;6,188;не в асимптотической области\n"),
            std::string::npos)
      << csv;

  // One case of the three not steady (the first case, id 0): that verdict first, whatever the answers.
  t.Rows[0].Steady = "нет";
  rows = StudyConvergence(t);
  for (const ConvergenceRow& r : rows) EXPECT_EQ(r.Index.Verdict, ConvergenceVerdict::NotSteady);
  EXPECT_NE(ConvergenceCsv(t, rows).find(";режим не установился\n"), std::string::npos);
  // A case that did not average has no verdict to hold against the answers.
  t.Rows[0].Steady = "не осреднялся";
  EXPECT_EQ(StudyConvergence(t)[2].Index.Verdict, ConvergenceVerdict::Monotone);

  // The limits themselves belong to the converged side.
  for (const auto& [ext, gci, lo, hi] : {std::tuple<Real, Real, Real, Real>{0, 0.05L, 0, 1}, {1, 0.05L, 0, 1},
                                         {0.5L, ConvergenceGciLimit, 0, 1}}) {
    ConvergenceIndex x;
    x.Verdict = ConvergenceVerdict::Monotone;
    x.Extrapolated = ext;
    x.Gci = gci;
    LimitConvergence(x, {lo, hi});
    EXPECT_EQ(x.Verdict, ConvergenceVerdict::Monotone) << "φ_ext " << static_cast<double>(ext);
  }
}

}  // namespace
}  // namespace mdv
