#include "core/study/study_results.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include <toml++/toml.h>

#include "core/flow/circulation.h"
#include "core/base/numfmt.h"
#include "core/analysis/vortex_area.h"

namespace mdv {

std::string ResultPointSuffix(const TRealPoint& p) {
  std::string s = "(";
  s.append(FormatGeneral(p.X)).append(" ").append(FormatGeneral(p.Y)).append(")");
  return s;
}

std::string ResultName(const char* name, const std::string& suffix) {
  std::string s = name;
  return s.append(suffix);
}

namespace {

bool EndsWith(const std::string& s, std::string_view tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// "(0,1 0,05)" → "(0,1; 0,05)": the blank between two decimal commas reads as
// one number otherwise.
std::string PointText(std::string p) {
  const size_t blank = p.find(' ');
  if (blank != std::string::npos) p.replace(blank, 1, "; ");
  return p;
}

}  // namespace

std::string SpreadOf(const std::string& name) {
  for (const char* suffix : {SdSuffix, HalfWidthSuffix})
    if (EndsWith(name, suffix)) return name.substr(0, name.size() - std::string_view(suffix).size());
  return {};
}

std::string ResultLabel(const std::string& name) {
  if (EndsWith(name, SdSuffix)) return "С.к.о. " + ResultLabel(SpreadOf(name));
  if (EndsWith(name, HalfWidthSuffix)) return "± 95 % " + ResultLabel(SpreadOf(name));
  static const std::pair<const char*, const char*> exact[] = {
      {"Beff", "Bэф"},
      {"flux_ratio", "Расход через канал / πB²v"},
  };
  for (const auto& [n, label] : exact)
    if (name == n) return label;
  if (name == "Cc") return "Коэффициент сжатия струи Cc";
  if (name == "xc/D") return "Сжатое сечение от устья, x/D";
  if (name == "rc") return "Радиус струи в сжатом сечении";
  if (name == "Lr/D") return "Длина отрывной зоны в канале, x/D";
  if (name == "zeta_BC") return "Потери на входе ζ (Борда–Карно)";
  if (name == "zeta_M") return "Потери на входе ζ (баланс импульса)";
  struct Prefix {
    const char* Name;
    const char* Label;
  };
  // The point or station follows the name in brackets.
  static const Prefix prefixes[] = {{"vx(", "Vx в точке "}, {"vy(", "Vy в точке "},
                                    {"v(", "Скорость в точке "}, {"v/v0(x/D=", "v/v₀ на оси при x/D = "},
                                    {"capture(", "Доля захвата из точки "},
                                    {"tcap(", "Время захвата из точки "}};
  for (const Prefix& p : prefixes) {
    const std::string_view head(p.Name);
    if (name.compare(0, head.size(), head) != 0 || name.back() != ')') continue;
    if (head.back() == '=') return p.Label + name.substr(head.size(), name.size() - head.size() - 1);
    return p.Label + PointText(name.substr(head.size() - 1));
  }
  return name;
}

bool EndStateResults(Model& m, const ResultRequest& request, CaseResults& out, std::string& error,
                     Observer& obs) {
  out.clear();
  if (request.VortexZone) {
    if (m.FreeVortexCount == 0) {
      error = "Не задана вихревая структура";
      return false;
    }
    // The window's proposals, read back from its texts, so that a study
    // measures what the window would.
    const VortexAreaStartTexts d = DefaultVortexAreaStart(m);
    const TRealPoint first{*ParseReal(d.FirstX), *ParseReal(d.FirstY)};
    const TRealPoint second{*ParseReal(d.SecondX), *ParseReal(d.SecondY)};
    TVortexAreaParams zone;
    const VortexAreaOutcome o = CalcVortexAreaParams(m, first, second, zone, *ParseReal(d.Dt), obs);
    if (!o.Ok) {
      error = "Параметры вихревой области: " +
              (o.Stopped ? std::string("расчёт остановлен") : o.Error);
      return false;
    }
    const Real values[7] = {zone.EffWidth, zone.MaxGap, zone.MaxGapPos, zone.Overshoot,
                            zone.ZoneLength, zone.ChannelGap, zone.ChannelGapPos};
    for (int i = 0; i < 7; ++i) out.push_back({VortexZoneNames[i], "м", values[i]});
  }
  for (const TRealPoint& p : request.Points) {
    Real vx, vy;  // m/s
    CalcVelocityPair(m, p, -1, vx, vy);
    const std::string at = ResultPointSuffix(p);
    out.push_back({ResultName("vx", at), "м/с", vx});
    out.push_back({ResultName("vy", at), "м/с", vy});
    out.push_back({ResultName("v", at), "м/с", std::sqrt(vx * vx + vy * vy)});
  }
  return true;
}

std::string ResultsFileText(const CaseResults& results) {
  std::string t;
  for (const ResultValue& r : results) {
    char number[48];
    const double v = static_cast<double>(r.Value);
    if (std::isnan(v)) {
      std::snprintf(number, sizeof number, "nan");
    } else if (std::isinf(v)) {
      std::snprintf(number, sizeof number, v > 0 ? "inf" : "-inf");
    } else {
      std::snprintf(number, sizeof number, "%.17e", v);  // a TOML float, exact for a double
    }
    t += "[[value]]\nname = " + TomlString(r.Name) + "\nunit = " + TomlString(r.Unit) + "\nvalue = " + number +
         "\n\n";
  }
  return t;
}

bool ParseResultsFile(std::string_view text, CaseResults& out, std::string& error) {
  out.clear();
  toml::table root;
  try {
    root = toml::parse(text);
  } catch (const toml::parse_error& e) {
    error = "Файл результатов повреждён, строка " + std::to_string(e.source().begin.line);
    return false;
  }
  const toml::array* values = root["value"].as_array();
  if (values == nullptr) return true;  // a case asked for nothing
  for (const toml::node& n : *values) {
    const toml::table* t = n.as_table();
    const auto name = t ? (*t)["name"].value<std::string>() : std::nullopt;
    const auto unit = t ? (*t)["unit"].value<std::string>() : std::nullopt;
    const auto value = t ? (*t)["value"].value<double>() : std::nullopt;
    if (!name || !unit || !value || HasControlCharacter(*name) || HasControlCharacter(*unit)) {
      error = "Файл результатов повреждён, строка " + std::to_string(n.source().begin.line);
      return false;
    }
    out.push_back({*name, *unit, static_cast<Real>(*value)});
  }
  return true;
}

}  // namespace mdv
