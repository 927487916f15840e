#include "core/study/study_table.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "core/base/numfmt.h"

namespace mdv {

std::string CsvField(const std::string& s) {
  if (s.find_first_of(";\"\n\r") == std::string::npos) return s;
  std::string q = "\"";
  for (char c : s) {
    if (c == '"') q += '"';
    q += c == '\r' ? '\n' : c;
  }
  return q + "\"";
}

namespace {

std::string Header(const StudyColumn& c) { return c.Unit.empty() ? c.Name : c.Name + " [" + c.Unit + "]"; }

// File names of the plots: letters, digits, '-' and '_' only.
std::string FileSafe(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '_') {
      out += static_cast<char>(c);
    } else if (c < 0x80 || (c & 0xC0) == 0xC0) {
      if (out.empty() || out.back() != '_') out += '_';
    }
  }
  while (!out.empty() && out.back() == '_') out.pop_back();
  return out;
}

// A gnuplot string constant for any text: single-quoted, where gnuplot
// expands neither back-quotes nor macros nor backslashes; a quote is doubled.
// A control character (a line break would end the command) becomes a blank.
std::string GnuplotString(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\'') q += '\'';
    q += u < 0x20 || u == 0x7f ? ' ' : c;
  }
  return q + "'";
}

}  // namespace

bool CollectStudy(const std::string& dir, const OptionAvailable& available, StudyTable& table,
                  std::string& error) {
  StudyDefinition definition;
  std::vector<StudyCase> cases;
  if (!LoadStudy(dir, available, definition, cases, error)) return false;
  table = StudyTable{};
  table.Name = definition.Name;
  for (const std::string& key : StudyParamKeys(definition)) {
    const StudyKey* k = FindStudyKey(key);
    table.Params.push_back({key, k != nullptr ? k->Unit : ""});
  }
  table.Swept = definition.Sweep.size();
  table.Refined = definition.Convergence;
  table.Refinements = PlanRefinements(definition);
  std::vector<CaseResults> results(cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    StudyRow row;
    row.Id = cases[i].Id;
    row.Params = cases[i].SweptValues;
    row.State = ReadCaseState(dir, row.Id, &row.Message);
    if (row.State == CaseState::Done) {
      std::string text, e;
      if (!ReadTextFile(CaseFile(dir, row.Id, CaseResultsName), text, e) ||
          !ParseResultsFile(text, results[i], e)) {
        row.State = CaseState::Failed;
        row.Message = e;
      }
      for (const ResultValue& r : results[i]) {
        const bool known = std::any_of(table.Results.begin(), table.Results.end(),
                                       [&](const StudyColumn& c) { return c.Name == r.Name; });
        if (!known) table.Results.push_back({r.Name, r.Unit});
      }
    }
    table.Rows.push_back(std::move(row));
  }
  for (size_t i = 0; i < cases.size(); ++i) {
    StudyRow& row = table.Rows[i];
    row.Results.assign(table.Results.size(), std::nullopt);
    for (const ResultValue& r : results[i]) {
      for (size_t c = 0; c < table.Results.size(); ++c)
        if (table.Results[c].Name == r.Name) row.Results[c] = r.Value;
    }
  }
  return true;
}

StudyCounts CountStates(const StudyTable& table) {
  StudyCounts n;
  for (const StudyRow& r : table.Rows) {
    switch (r.State) {
      case CaseState::Done: ++n.Done; break;
      case CaseState::Failed: ++n.Failed; break;
      case CaseState::Running: ++n.Running; break;
      case CaseState::Pending: ++n.Pending; break;
    }
  }
  return n;
}

std::string StudyCsv(const StudyTable& table) {
  std::string t = "id";
  for (const StudyColumn& c : table.Params) t.append(";").append(CsvField(Header(c)));
  t += ";status;message";
  for (const StudyColumn& c : table.Results) t.append(";").append(CsvField(Header(c)));
  t += "\n";
  for (const StudyRow& r : table.Rows) {
    t += std::to_string(r.Id);
    for (const std::string& p : r.Params) t.append(";").append(CsvField(DisplayValue(p)));
    t.append(";").append(CaseStateName(r.State)).append(";").append(CsvField(r.Message));
    for (const auto& v : r.Results) t.append(";").append(v ? FormatGeneral(*v) : std::string());
    t += "\n";
  }
  return t;
}

std::string AxisTitle(const StudyColumn& c, bool result) {
  const std::string name = result ? ResultLabel(c.Name) : c.Name;
  return c.Unit.empty() ? name : name + ", " + c.Unit;
}

std::vector<PlotSeries> StudySeries(const StudyTable& table, size_t param, size_t result) {
  std::map<std::vector<std::string>, size_t> index;  // values of the other parameters
  std::vector<PlotSeries> series;
  for (const StudyRow& r : table.Rows) {
    if (r.State != CaseState::Done || result >= r.Results.size() || !r.Results[result]) continue;
    const auto x = ParseRealLenient(r.Params[param]);
    if (!x) continue;
    std::vector<std::string> others;
    std::string title;
    for (size_t k = 0; k < r.Params.size(); ++k) {
      if (k == param) continue;
      others.push_back(r.Params[k]);
      title += (title.empty() ? "" : ", ") + table.Params[k].Name + " = " + DisplayValue(r.Params[k]);
    }
    auto [it, fresh] = index.try_emplace(others, series.size());
    if (fresh) series.push_back({title, {}});
    series[it->second].Points.push_back({*x, *r.Results[result]});
  }
  for (PlotSeries& s : series) std::stable_sort(s.Points.begin(), s.Points.end());
  return series;
}

std::vector<PlotScript> StudyPlotScripts(const StudyTable& table) {
  std::vector<PlotScript> scripts;
  for (size_t res = 0; res < table.Results.size(); ++res) {
    for (size_t par = 0; par < table.Params.size(); ++par) {
      const std::vector<PlotSeries> series = StudySeries(table, par, res);
      if (series.empty()) continue;
      PlotScript s;
      s.BaseName = FileSafe(table.Results[res].Name) + "-vs-" + FileSafe(table.Params[par].Name);
      std::string& t = s.Text;
      // No user text in comments or commands: only as a string constant.
      t += "# Redraw with: gnuplot " + s.BaseName + ".gp\n";
      t += "set terminal pngcairo size 900,600 font \"DejaVu Sans,11\" noenhanced\n";
      t += "set output " + GnuplotString(s.BaseName + ".png") + "\n";
      t += "set encoding utf8\nset decimalsign ','\nset grid\nset key outside right top\n";
      t += "set title " + GnuplotString(table.Name) + "\n";
      t += "set xlabel " + GnuplotString(AxisTitle(table.Params[par], false)) + "\n";
      t += "set ylabel " + GnuplotString(AxisTitle(table.Results[res], true)) + "\n";
      for (size_t i = 0; i < series.size(); ++i) {
        t += "$d" + std::to_string(i) + " << EOD\n";
        for (const auto& [x, y] : series[i].Points) {
          char line[96];
          std::snprintf(line, sizeof line, "%.15Lg %.15Lg\n", static_cast<long double>(x), static_cast<long double>(y));  // gnuplot reads decimal points
          t += line;
        }
        t += "EOD\n";
      }
      t += "plot ";
      for (size_t i = 0; i < series.size(); ++i) {
        t += (i ? ", \\\n     " : "") + std::string("$d") + std::to_string(i) +
             " using 1:2 with linespoints pointtype 7 title " +
             GnuplotString(series[i].Title.empty() ? ResultLabel(table.Results[res].Name) : series[i].Title);
      }
      t += "\n";
      scripts.push_back(std::move(s));
    }
  }
  return scripts;
}

}  // namespace mdv
