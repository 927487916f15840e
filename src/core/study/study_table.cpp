#include "core/study/study_table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "core/base/numfmt.h"
#include "core/study/study_averages.h"

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

}  // namespace

// File names of the plots: letters, digits, '-' and '_' only.
std::string PlotFileName(const std::string& s) {
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

// A gnuplot string expression for any text: single-quoted, where gnuplot
// expands neither back-quotes nor macros nor backslashes. gnuplot 5.4 reads a
// doubled quote inside single quotes as one quote, but not two such pairs in
// a row (nor one at the start): every run of quotes is therefore a string of
// its own in double quotes, where a quote is plain, joined by '.': a''b →
// 'a'."''".'b'. A control character (a line break would end the command)
// becomes a blank.
std::string GnuplotString(const std::string& s) {
  std::string q = "'";
  for (size_t i = 0; i < s.size();) {
    if (s[i] == '\'') {
      const size_t end = s.find_first_not_of('\'', i);
      const size_t run = (end == std::string::npos ? s.size() : end) - i;
      q += "'.\"" + std::string(run, '\'') + "\".'";
      i += run;
      continue;
    }
    const auto u = static_cast<unsigned char>(s[i]);
    q += u < 0x20 || u == 0x7f ? ' ' : s[i];
    ++i;
  }
  return q + "'";
}

std::string GnuplotLines(const std::string& s, size_t width) {
  // Characters, not bytes: UTF-8 continuation bytes do not count.
  const auto length = [](const std::string& t) {
    size_t n = 0;
    for (char c : t) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
  };
  std::vector<std::string> lines(1);
  size_t from = 0;
  while (from <= s.size()) {
    size_t space = s.find(' ', from);
    if (space == std::string::npos) space = s.size();
    const std::string word = s.substr(from, space - from);
    std::string& line = lines.back();
    if (line.empty()) {
      line = word;
    } else if (length(line) + 1 + length(word) <= width) {
      line += ' ' + word;
    } else {
      lines.push_back(word);
    }
    from = space + 1;
  }
  std::string expr;
  for (size_t i = 0; i < lines.size(); ++i) expr += (i ? ".\"\\n\"." : "") + GnuplotString(lines[i]);
  return expr;
}

bool CollectStudy(const std::string& dir, const OptionAvailable& available, StudyTable& table,
                  std::string& error, Observer& obs) {
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
  std::map<std::string, size_t> column;  // result name → its column: a case may hold thousands
  for (size_t i = 0; i < cases.size(); ++i) {
    if (obs.StopRequested()) {
      error.clear();
      return false;
    }
    StudyRow row;
    row.Id = cases[i].Id;
    row.Params = cases[i].SweptValues;
    row.State = ReadCaseState(dir, row.Id, &row.Message);
    if (row.State == CaseState::Done) {
      std::string text, e;
      if (!ReadCaseTextFile(CaseFile(dir, row.Id, CaseResultsName), text, e) ||
          !ParseResultsFile(text, results[i], e)) {
        row.State = CaseState::Failed;
        row.Message = e;
      }
      // The verdict is a column of its own, not a result to plot.
      const auto verdict = std::find_if(results[i].begin(), results[i].end(),
                                        [](const ResultValue& r) { return r.Name == SteadyResultName; });
      if (verdict != results[i].end()) {
        row.Steady = !std::isfinite(verdict->Value) ? "" : verdict->Value != 0 ? "да" : "нет";
        results[i].erase(verdict);
      } else if (row.State == CaseState::Done && !CaseAverages(cases[i].Settings)) {
        row.Steady = "не осреднялся";
      }
      for (const ResultValue& r : results[i]) {
        if (column.try_emplace(r.Name, table.Results.size()).second) table.Results.push_back({r.Name, r.Unit});
      }
    }
    table.Rows.push_back(std::move(row));
  }
  for (size_t i = 0; i < cases.size(); ++i) {
    StudyRow& row = table.Rows[i];
    row.Results.assign(table.Results.size(), std::nullopt);
    // nan or inf in a results file is no answer: an empty cell, as an unknown one.
    for (const ResultValue& r : results[i])
      if (std::isfinite(r.Value)) row.Results[column.at(r.Name)] = r.Value;
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
  t += ";status;message;steady";
  for (const StudyColumn& c : table.Results) t.append(";").append(CsvField(Header(c)));
  t += "\n";
  for (const StudyRow& r : table.Rows) {
    t += std::to_string(r.Id);
    for (const std::string& p : r.Params) t.append(";").append(CsvField(DisplayValue(p)));
    t.append(";").append(CaseStateName(r.State)).append(";").append(CsvField(r.Message));
    t.append(";").append(r.Steady);
    for (const auto& v : r.Results) t.append(";").append(v ? FormatSignificant(*v, ShownDigits) : std::string());
    t += "\n";
  }
  return t;
}

std::string AxisTitle(const StudyColumn& c, bool result, bool lines) {
  if (!result) {
    const StudyKey* k = FindStudyKey(c.Name);
    const bool named = k != nullptr && k->Label != nullptr && *k->Label != '\0';
    std::string label = named ? StudyKeyLabel(c.Name) : c.Unit.empty() ? c.Name : c.Name + ", " + c.Unit;
    if (!lines) std::replace(label.begin(), label.end(), '\n', ' ');
    return label;
  }
  const std::string name = ResultLabel(c.Name);
  return c.Unit.empty() ? name : name + ", " + c.Unit;
}

std::string ParamValueTitle(const StudyColumn& c, const std::string& value) {
  const std::string label = AxisTitle(c, false);
  const size_t comma = label.rfind(", ");
  if (comma == std::string::npos) return label + " = " + DisplayValue(value);
  return label.substr(0, comma) + " = " + DisplayValue(value) + " " + label.substr(comma + 2);
}

int SpreadColumn(const StudyTable& table, size_t result) {
  for (size_t c = 0; c < table.Results.size(); ++c)
    if (c != result && SpreadOf(table.Results[c].Name) == table.Results[result].Name) return static_cast<int>(c);
  return -1;
}

bool PlottedResult(const StudyTable& table, size_t result) {
  const std::string of = SpreadOf(table.Results[result].Name);
  return of.empty() || std::none_of(table.Results.begin(), table.Results.end(),
                                    [&](const StudyColumn& c) { return c.Name == of; });
}

std::vector<PlotSeries> StudySeries(const StudyTable& table, size_t param, size_t result) {
  std::map<std::vector<std::string>, size_t> index;  // values of the other parameters
  std::vector<PlotSeries> series;
  const int spread = SpreadColumn(table, result);
  // Point and spread sorted together by x.
  std::vector<std::vector<std::pair<std::pair<Real, Real>, Real>>> points;
  for (const StudyRow& r : table.Rows) {
    if (r.State != CaseState::Done || result >= r.Results.size() || !r.Results[result]) continue;
    const auto x = ParseRealLenient(r.Params[param]);
    if (!x) continue;
    std::vector<std::string> others;
    std::string title;
    for (size_t k = 0; k < r.Params.size(); ++k) {
      if (k == param) continue;
      others.push_back(r.Params[k]);
      // A refined key the case leaves to the run's default is not named.
      if (!r.Params[k].empty()) title += (title.empty() ? "" : ", ") + ParamValueTitle(table.Params[k], r.Params[k]);
    }
    auto [it, fresh] = index.try_emplace(others, series.size());
    if (fresh) {
      series.push_back({title, {}, {}});
      points.emplace_back();
    }
    Real sd = NAN;
    if (spread >= 0 && static_cast<size_t>(spread) < r.Results.size() && r.Results[static_cast<size_t>(spread)])
      sd = *r.Results[static_cast<size_t>(spread)];
    points[it->second].push_back({{*x, *r.Results[result]}, sd});
  }
  for (size_t i = 0; i < series.size(); ++i) {
    std::stable_sort(points[i].begin(), points[i].end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [p, sd] : points[i]) {
      series[i].Points.push_back(p);
      if (spread >= 0) series[i].Spreads.push_back(sd);
    }
  }
  return series;
}

std::vector<PlotScript> StudyPlotScripts(const StudyTable& table) {
  std::vector<PlotScript> scripts;
  for (size_t res = 0; res < table.Results.size(); ++res) {
    if (!PlottedResult(table, res)) continue;  // drawn as the error bars of its mean
    const int spread = SpreadColumn(table, res);
    for (size_t par = 0; par < table.Params.size(); ++par) {
      const std::vector<PlotSeries> series = StudySeries(table, par, res);
      if (series.empty()) continue;
      PlotScript s;
      s.BaseName = PlotFileName(table.Results[res].Name) + "-vs-" + PlotFileName(table.Params[par].Name);
      std::string& t = s.Text;
      // No user text in comments or commands: only as a string constant.
      t += "# Redraw with: gnuplot " + s.BaseName + ".gp\n";
      t += "set terminal pngcairo size 900,600 font \"DejaVu Sans,11\" noenhanced\n";
      t += "set output " + GnuplotString(s.BaseName + ".png") + "\n";
      t += "set encoding utf8\nset decimalsign ','\nset grid\nset key below\n";
      t += "set title " + GnuplotLines(table.Name, GnuplotXTitleWidth) + "\n";
      t += "set xlabel " + GnuplotLines(AxisTitle(table.Params[par], false), GnuplotXTitleWidth) + "\n";
      std::string ylabel = AxisTitle(table.Results[res], true);
      if (spread >= 0)
        ylabel += table.Results[static_cast<size_t>(spread)].Name.ends_with(SdSuffix) ? " (среднее ± с.к.о.)"
                                                                                      : " (среднее ± 95 %)";
      t += "set ylabel " + GnuplotLines(ylabel, GnuplotYTitleWidth) + "\n";
      for (size_t i = 0; i < series.size(); ++i) {
        t += "$d" + std::to_string(i) + " << EOD\n";
        for (size_t j = 0; j < series[i].Points.size(); ++j) {
          const auto& [x, y] = series[i].Points[j];
          // gnuplot reads decimal points; a spread it lacks is 0, a bar of no length.
          char line[128];
          if (spread >= 0) {
            const Real e = std::isfinite(series[i].Spreads[j]) ? series[i].Spreads[j] : 0;
            std::snprintf(line, sizeof line, "%.15Lg %.15Lg %.15Lg\n", static_cast<long double>(x),
                          static_cast<long double>(y), static_cast<long double>(e));
          } else {
            std::snprintf(line, sizeof line, "%.15Lg %.15Lg\n", static_cast<long double>(x), static_cast<long double>(y));
          }
          t += line;
        }
        t += "EOD\n";
      }
      t += "plot ";
      for (size_t i = 0; i < series.size(); ++i) {
        t += (i ? ", \\\n     " : "") + std::string("$d") + std::to_string(i) +
             (spread >= 0 ? " using 1:2:3 with yerrorlines" : " using 1:2 with linespoints") + " pointtype 7 title " +
             GnuplotString(series[i].Title.empty() ? ResultLabel(table.Results[res].Name) : series[i].Title);
      }
      t += "\n";
      scripts.push_back(std::move(s));
    }
  }
  return scripts;
}

}  // namespace mdv
