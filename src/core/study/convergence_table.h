#pragma once
// The convergence of a study's answers: for each refined key at each sweep
// point and each result, the answers at the key's values and the grid
// convergence index from the three finest; the table as DIR/convergence.csv.
#include <optional>
#include <string>
#include <vector>

#include "core/study/convergence.h"
#include "core/study/study_table.h"

namespace mdv {

struct ConvergenceRow {
  size_t Series = 0;  // in StudyTable::Refinements
  size_t Result = 0;  // in StudyTable::Results
  std::vector<Real> Steps;                  // the key's values, ascending (finest first)
  std::vector<int> CaseIds;                 // the case of each step
  std::vector<std::optional<Real>> Values;  // the answer at each step; empty when not known
  ConvergenceIndex Index;                   // from the three finest steps
};

// The range a study result can take: C_c and a caught fraction in [0, 1];
// the losses, the lengths and times, the flux ratio not negative; others
// unbounded.
PhysicalRange ResultPhysicalRange(const std::string& name);

// Series after series, result after result (the spreads of means left out).
// A row whose three finest cases were not all judged steady is NotSteady; a
// monotone one outside the GCI limit or the result's range NotAsymptotic.
std::vector<ConvergenceRow> StudyConvergence(const StudyTable& table);

// The swept values of a series' sweep point as the program names them,
// "Скорость приточного воздуха = 0,75 м/с, …"; "" when nothing is swept.
std::string RefinementPointTitle(const StudyTable& table, const RefinementSeries& series);

// DIR/convergence.csv: the swept values, the refined key, the result, the
// three finest steps and answers, p, φ_ext, GCI_fine in per cent and the
// verdict. Semicolons, the decimal comma, 4 significant digits.
std::string ConvergenceCsv(const StudyTable& table, const std::vector<ConvergenceRow>& rows);

// "p = 1,98; GCI = 0,37 %" or the verdict, for a plot's legend or a table.
std::string ConvergenceSummary(const ConvergenceIndex& index);

// One gnuplot script per refined key and result ("gci-Beff-vs-dt"): the
// answers against the step, a line per sweep point, with the extrapolated
// value at step 0 and the fitted φ_ext + (φ1 − φ_ext)(h/h1)^p where the
// index holds; the legend gives p and the index or the verdict.
std::vector<PlotScript> ConvergencePlotScripts(const StudyTable& table, const std::vector<ConvergenceRow>& rows);

}  // namespace mdv
