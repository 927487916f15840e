#include "core/study/convergence_table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <string_view>

#include "core/base/numfmt.h"

namespace mdv {

namespace {

std::string Shown(const std::optional<Real>& v) {
  return v && std::isfinite(*v) ? FormatSignificant(*v, ShownDigits) : std::string();
}

// A number as gnuplot reads it.
std::string FormatC(Real v) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.15Lg", static_cast<long double>(v));
  return buf;
}

}  // namespace

PhysicalRange ResultPhysicalRange(const std::string& name) {
  const auto starts = [&](std::string_view head) { return name.compare(0, head.size(), head) == 0; };
  if (name == "Cc" || starts("capture(")) return {0, 1};
  for (const char* n : {"zeta_BC", "zeta_M", "rc", "xc/D", "Lr/D", "flux_ratio", "Beff"})
    if (name == n) return {0, INFINITY};
  if (starts("tcap(")) return {0, INFINITY};
  return {};
}

std::vector<ConvergenceRow> StudyConvergence(const StudyTable& table) {
  std::vector<ConvergenceRow> rows;
  for (size_t si = 0; si < table.Refinements.size(); ++si) {
    const RefinementSeries& series = table.Refinements[si];
    const StudySweep& key = table.Refined[series.Key];
    // The steps ascending: the finest first, as the index wants them.
    std::vector<size_t> order(key.Values.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::vector<Real> steps;
    for (const std::string& v : key.Values) steps.push_back(ParseRealLenient(v).value_or(NAN));
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return steps[a] < steps[b]; });
    for (size_t res = 0; res < table.Results.size(); ++res) {
      if (!PlottedResult(table, res)) continue;  // a spread is no answer of its own
      ConvergenceRow row;
      row.Series = si;
      row.Result = res;
      for (size_t i : order) {
        row.Steps.push_back(steps[i]);
        const int id = series.CaseIds[i];
        row.CaseIds.push_back(id);
        std::optional<Real> value;
        if (id >= 0 && static_cast<size_t>(id) < table.Rows.size()) {
          const StudyRow& r = table.Rows[static_cast<size_t>(id)];
          if (r.State == CaseState::Done && res < r.Results.size()) value = r.Results[res];
        }
        row.Values.push_back(value);
      }
      Real h[3], phi[3];
      bool steady = true;
      for (size_t i = 0; i < 3; ++i) {
        h[i] = row.Steps[i];
        phi[i] = row.Values[i].value_or(NAN);
        const int id = row.CaseIds[i];
        // Only a verdict of "нет" counts: a case that did not average has none.
        if (id >= 0 && static_cast<size_t>(id) < table.Rows.size() &&
            table.Rows[static_cast<size_t>(id)].Steady == "нет")
          steady = false;
      }
      row.Index = GridConvergence(h, phi);
      LimitConvergence(row.Index, ResultPhysicalRange(table.Results[res].Name));
      if (!steady && row.Index.Verdict != ConvergenceVerdict::Incomplete)
        row.Index.Verdict = ConvergenceVerdict::NotSteady;
      rows.push_back(std::move(row));
    }
  }
  return rows;
}

std::string RefinementPointTitle(const StudyTable& table, const RefinementSeries& series) {
  if (series.CaseIds.empty() || static_cast<size_t>(series.CaseIds.front()) >= table.Rows.size()) return {};
  const StudyRow& row = table.Rows[static_cast<size_t>(series.CaseIds.front())];
  std::string title;
  for (size_t k = 0; k < table.Swept && k < row.Params.size(); ++k)
    title += (title.empty() ? "" : ", ") + ParamValueTitle(table.Params[k], row.Params[k]);
  return title;
}

std::string ConvergenceSummary(const ConvergenceIndex& index) {
  switch (index.Verdict) {
    case ConvergenceVerdict::Monotone:
      return "p = " + FormatSignificant(index.Order, 3) + "; GCI = " + FormatSignificant(100 * index.Gci, 2) + " %";
    case ConvergenceVerdict::NotAsymptotic:
      return ConvergenceVerdictText(index.Verdict) + " (p = " + FormatSignificant(index.Order, 3) +
             "; GCI = " + FormatSignificant(100 * index.Gci, 2) + " %; φ_ext = " +
             FormatSignificant(index.Extrapolated, 4) + ")";
    case ConvergenceVerdict::Oscillatory:
    case ConvergenceVerdict::OrderOutside:
    case ConvergenceVerdict::Diverging:
      if (std::isfinite(index.Order))
        return ConvergenceVerdictText(index.Verdict) + " (p = " + FormatSignificant(index.Order, 3) + ")";
      break;
    default:
      break;
  }
  return ConvergenceVerdictText(index.Verdict);
}

std::string ConvergenceCsv(const StudyTable& table, const std::vector<ConvergenceRow>& rows) {
  std::string t;
  for (size_t k = 0; k < table.Swept; ++k) t.append(CsvField(table.Params[k].Name)).append(";");
  t += "refined;result;h1;h2;h3;phi1;phi2;phi3;p;phi_ext;GCI_fine [%];verdict\n";
  for (const ConvergenceRow& r : rows) {
    const RefinementSeries& series = table.Refinements[r.Series];
    const StudyRow* first = series.CaseIds.empty() ? nullptr : &table.Rows[static_cast<size_t>(series.CaseIds.front())];
    for (size_t k = 0; k < table.Swept; ++k)
      t.append(first != nullptr ? CsvField(DisplayValue(first->Params[k])) : std::string()).append(";");
    const StudyColumn& result = table.Results[r.Result];
    t.append(CsvField(table.Refined[series.Key].Key)).append(";");
    t.append(CsvField(result.Unit.empty() ? result.Name : result.Name + " [" + result.Unit + "]"));
    for (size_t i = 0; i < 3; ++i) t.append(";").append(FormatGeneral(r.Steps[i]));
    for (size_t i = 0; i < 3; ++i) t.append(";").append(Shown(r.Values[i]));
    const ConvergenceIndex& x = r.Index;
    t.append(";").append(Shown(x.Order));
    t.append(";").append(Shown(x.Extrapolated));
    t.append(";").append(Shown(std::isfinite(x.Gci) ? std::optional<Real>(100 * x.Gci) : std::nullopt));
    t.append(";").append(CsvField(ConvergenceVerdictText(x.Verdict))).append("\n");
  }
  return t;
}

std::vector<PlotScript> ConvergencePlotScripts(const StudyTable& table, const std::vector<ConvergenceRow>& rows) {
  std::vector<PlotScript> scripts;
  for (size_t key = 0; key < table.Refined.size(); ++key) {
    const StudyColumn& param = table.Params[table.Swept + key];
    for (size_t res = 0; res < table.Results.size(); ++res) {
      if (!PlottedResult(table, res)) continue;
      std::vector<const ConvergenceRow*> lines;
      for (const ConvergenceRow& r : rows)
        if (r.Result == res && table.Refinements[r.Series].Key == key) lines.push_back(&r);
      PlotScript s;
      s.BaseName = "gci-" + PlotFileName(table.Results[res].Name) + "-vs-" + PlotFileName(param.Name);
      std::string& t = s.Text;
      t += "# Redraw with: gnuplot " + s.BaseName + ".gp\n";
      t += "set terminal pngcairo size 900,600 font \"DejaVu Sans,11\" noenhanced\n";
      t += "set output " + GnuplotString(s.BaseName + ".png") + "\n";
      t += "set encoding utf8\nset decimalsign ','\nset grid\nset key below\nset xrange [0:*]\n";
      t += "set title " + GnuplotLines(table.Name + ": сходимость", GnuplotXTitleWidth) + "\n";
      t += "set xlabel " + GnuplotLines(AxisTitle(param, false), GnuplotXTitleWidth) + "\n";
      t += "set ylabel " + GnuplotLines(AxisTitle(table.Results[res], true), GnuplotYTitleWidth) + "\n";
      std::string plot;
      size_t drawn = 0;
      for (size_t i = 0; i < lines.size(); ++i) {
        const ConvergenceRow& r = *lines[i];
        std::string data;
        for (size_t j = 0; j < r.Steps.size(); ++j) {
          if (!r.Values[j] || !std::isfinite(*r.Values[j])) continue;
          char line[96];
          std::snprintf(line, sizeof line, "%.15Lg %.15Lg\n", static_cast<long double>(r.Steps[j]),
                        static_cast<long double>(*r.Values[j]));  // gnuplot reads decimal points
          data += line;
        }
        if (data.empty()) continue;
        const std::string name = "$d" + std::to_string(i);
        t += name + " << EOD\n" + data + "EOD\n";
        std::string title = RefinementPointTitle(table, table.Refinements[r.Series]);
        title += (title.empty() ? "" : ": ") + ConvergenceSummary(r.Index);
        const int colour = static_cast<int>(drawn++ % 8) + 1;
        plot += (plot.empty() ? "" : ", \\\n     ") + name + " using 1:2 with linespoints pointtype 7 linecolor " +
                std::to_string(colour) + " title " + GnuplotString(title);
        const ConvergenceIndex& x = r.Index;
        if (x.Verdict == ConvergenceVerdict::Monotone) {
          char fit[256];
          // phi_ext + (phi1 - phi_ext)(h/h1)^p through the finest answer, from h = 0.
          std::snprintf(fit, sizeof fit, "(%.15Lg + (%.15Lg) * (x / %.15Lg) ** %.15Lg)",
                        static_cast<long double>(x.Extrapolated),
                        static_cast<long double>(*r.Values[0] - x.Extrapolated), static_cast<long double>(r.Steps[0]),
                        static_cast<long double>(x.Order));
          char ext[96];
          std::snprintf(ext, sizeof ext, "'+' using (0):(%.15Lg)", static_cast<long double>(x.Extrapolated));
          plot += ", \\\n     [0:" + FormatC(r.Steps.back()) + "] " + fit + " with lines dashtype 2 linecolor " +
                  std::to_string(colour) + " notitle";
          plot += ", \\\n     " + std::string(ext) + " with points pointtype 6 pointsize 2 linecolor " +
                  std::to_string(colour) + " notitle";
        }
      }
      if (plot.empty()) continue;
      t += "plot " + plot + "\n";
      scripts.push_back(std::move(s));
    }
  }
  return scripts;
}

}  // namespace mdv
