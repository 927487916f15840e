#pragma once
// The table of a study (one row per case: swept parameters, status, results),
// its CSV and its gnuplot plots of each result against each swept parameter.
#include <optional>
#include <string>
#include <vector>

#include "core/study/study_plan.h"
#include "core/study/study_results.h"

namespace mdv {

struct StudyColumn {
  std::string Name;  // a swept key or a result name
  std::string Unit;  // "" when none
};

struct StudyRow {
  int Id = 0;
  std::vector<std::string> Params;  // as StudySweep::Values (decimal point)
  CaseState State = CaseState::Pending;
  std::string Message;                       // of a failed case
  // Of a done case: "да" or "нет" (the flow judged steady or not), "не
  // осреднялся" for a case that did not average; "" when not known.
  std::string Steady;
  std::vector<std::optional<Real>> Results;  // per result column; empty where absent
};

struct StudyTable {
  std::string Name;  // of the study
  std::vector<StudyColumn> Params;   // the swept keys, then the refined ones (StudyParamKeys)
  size_t Swept = 0;                  // of Params, the swept ones
  std::vector<StudySweep> Refined;   // [convergence] of the study
  std::vector<RefinementSeries> Refinements;
  std::vector<StudyColumn> Results;  // in order of first appearance over the cases
  std::vector<StudyRow> Rows;        // by case id
};

// Reads the state and the results of every case of DIR. Asks obs between
// cases; a stop gives false with an empty error.
bool CollectStudy(const std::string& dir, const OptionAvailable& available, StudyTable& table,
                  std::string& error, Observer& obs = NullObserver());

struct StudyCounts {
  int Done = 0, Failed = 0, Running = 0, Pending = 0;
};
StudyCounts CountStates(const StudyTable& table);

// A CSV field: quoted when it holds a semicolon, a quote or a line break.
std::string CsvField(const std::string& s);

// Significant digits of the answers in the window and the CSV files (the
// results files of the cases keep every digit).
inline constexpr int ShownDigits = 4;

// Semicolons, decimal comma, a header row "name [unit]".
std::string StudyCsv(const StudyTable& table);

// One gnuplot script per result and swept parameter, with its data inline:
// a line per combination of the other swept parameters, done cases only.
struct PlotScript {
  std::string BaseName;  // file name without extension: "Beff-vs-flange-angle-deg"
  std::string Text;      // writes BaseName + ".png" into the working folder
};
std::vector<PlotScript> StudyPlotScripts(const StudyTable& table);

// The (x, result) series of one plot: one per combination of the other swept
// parameters, points sorted by x. The window draws the same series.
// A result with a spread column (SpreadOf) carries it as its error bars.
struct PlotSeries {
  std::string Title;  // "Скорость приточного воздуха = 0,75 м/с", or "" when nothing else is swept
  std::vector<std::pair<Real, Real>> Points;
  std::vector<Real> Spreads;  // per point, NaN where none; empty when the result has no spread column
};
std::vector<PlotSeries> StudySeries(const StudyTable& table, size_t param, size_t result);

// The column holding the spread of a result (its s.d. or half-width), or -1.
int SpreadColumn(const StudyTable& table, size_t result);
// Results drawn by themselves: not the spread of another result of the table.
bool PlottedResult(const StudyTable& table, size_t result);

// The program's name of a column with its unit: "Угол наклона козырька
// (Alpha), град", "Bэф, м"; with `lines`, broken where the area dialog
// breaks its label.
std::string AxisTitle(const StudyColumn& c, bool result, bool lines = false);
// "Угол наклона козырька (Alpha) = 30 град", for legends.
std::string ParamValueTitle(const StudyColumn& c, const std::string& value);

// A gnuplot string expression of any text (single-quoted pieces; see the .cpp); a file name of letters, digits, '-', '_'.
std::string GnuplotString(const std::string& s);
// The same text broken at spaces into lines of at most `width` characters
// (a longer word keeps its own line), as a gnuplot string expression: each
// line a string constant, joined by "\n" ('a'."\n".'b'). An axis title longer
// than its axis is otherwise cut by the picture's edge.
std::string GnuplotLines(const std::string& s, size_t width);
// Line widths of the plots' titles, characters: the y axis of a 600 px
// picture holds about 55 at 11 pt, the x axis and the title about 110.
inline constexpr size_t GnuplotYTitleWidth = 40;
inline constexpr size_t GnuplotXTitleWidth = 90;
std::string PlotFileName(const std::string& s);

}  // namespace mdv
