#include "core/study/study_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include <toml++/toml.h>

#include "core/base/numfmt.h"
#include "core/model/contour_file.h"
#include "core/model/contour_validation.h"

namespace fs = std::filesystem;

namespace mdv {

namespace {

// Significant digits of a value computed from a range: enough for any step
// an engineer types, few enough that 0.1 + 2·0.05 reads as 0.2.
constexpr int RangeDigits = 12;

// Guards the range count against a step that is a rounding error of a divisor.
constexpr long double RangeSlack = 1e-9L;

std::string Quoted(std::string_view key) { return "«" + std::string(key) + "»"; }

class Reader {
 public:
  Reader(std::string fileName, const OptionAvailable& available, bool readContours)
      : file_(std::move(fileName)), available_(available), readContours_(readContours) {}

  // "study.toml, строка 7, ключ «dt»: …"
  bool Fail(const toml::node* node, std::string_view key, const std::string& what) {
    error_ = file_;
    if (node != nullptr && node->source().begin.line > 0)
      error_ += ", строка " + std::to_string(node->source().begin.line);
    if (!key.empty()) error_ += ", ключ " + Quoted(key);
    error_ += ": " + what;
    return false;
  }

  const std::string& Error() const { return error_; }

  // Every text of the file reaches case files, tables and plot scripts: a
  // control character is refused wherever it stands, in a key or a value.
  bool ControlFree(const toml::node& node, std::string_view key) {
    if (const toml::table* t = node.as_table()) {
      for (auto&& [k, v] : *t) {
        if (HasControlCharacter(k.str())) return Fail(&v, "", "управляющий символ в имени ключа");
        if (!ControlFree(v, k.str())) return false;
      }
    } else if (const toml::array* a = node.as_array()) {
      for (const toml::node& v : *a)
        if (!ControlFree(v, key)) return false;
    } else if (const auto* s = node.as_string(); s != nullptr && HasControlCharacter(s->get())) {
      return Fail(&node, key, "недопустимый управляющий символ (перевод строки, табуляция, NUL …)");
    }
    return true;
  }

  bool Read(const toml::table& root, StudyDefinition& definition) {
    if (!ControlFree(root, "")) return false;
    for (auto&& [k, v] : root) {
      const std::string key(k.str());
      if (key != "name" && key != "base" && key != "sweep" && key != "results" && key != "convergence" &&
          key != "planned-from")
        return Fail(&v, key, "неизвестный ключ (ожидаются name, [base], [sweep], [convergence], [results])");
    }
    // Relative contour paths: from the study file's folder, or from the one
    // the plan's copy records (the copy lives in the study's folder).
    if (const toml::node* from = root.get("planned-from")) {
      if (!from->is_string() || !fs::path(std::string(from->as_string()->get())).is_absolute())
        return Fail(from, "planned-from", "ожидается абсолютный путь папки (его записывает study plan)");
      folder_ = from->as_string()->get();
      definition.FolderRecorded = true;
    } else {
      std::error_code ec;
      const fs::path file = fs::absolute(file_, ec);
      folder_ = (ec ? fs::path(file_) : file).parent_path().lexically_normal().string();
    }
    const toml::node* name = root.get("name");
    if (name == nullptr) return Fail(nullptr, "name", "не задано название исследования");
    if (!name->is_string() || name->as_string()->get().empty())
      return Fail(name, "name", "название должно быть непустой строкой");
    definition.Name = name->as_string()->get();

    if (const toml::node* base = root.get("base")) {
      if (!base->is_table()) return Fail(base, "base", "ожидается таблица [base]");
      for (const auto& [key, node] : Entries(*base->as_table())) {
        const toml::node& v = *node;
        const StudyKey* sk = Key(&v, key);
        if (sk == nullptr) return false;
        std::string value;
        if (!Value(v, key, *sk, value)) return false;
        definition.Base.push_back({key, value});
        nodes_[key] = &v;
      }
    }

    if (const toml::node* sweep = root.get("sweep")) {
      if (!sweep->is_table()) return Fail(sweep, "sweep", "ожидается таблица [sweep]");
      for (const auto& [key, node] : Entries(*sweep->as_table())) {
        const toml::node& v = *node;
        if (key == "zip") {
          if (!v.is_boolean()) return Fail(&v, key, "ожидается true или false");
          definition.Zip = v.as_boolean()->get();
          continue;
        }
        const StudyKey* sk = Key(&v, key);
        if (sk == nullptr) return false;
        for (const StudySetting& b : definition.Base)
          if (b.Key == key) return Fail(&v, key, "параметр задан и в [base], и в [sweep]");
        StudySweep s{key, {}, static_cast<int>(v.source().begin.line)};
        if (!Values(v, key, *sk, s.Values)) return false;
        definition.Sweep.push_back(std::move(s));
        nodes_[key] = &v;
      }
      // toml++ keeps keys sorted; the grid follows the order of the file.
      std::stable_sort(definition.Sweep.begin(), definition.Sweep.end(),
                       [](const StudySweep& a, const StudySweep& b) { return a.Line < b.Line; });
    }

    if (const toml::node* refine = root.get("convergence")) {
      if (!refine->is_table()) return Fail(refine, "convergence", "ожидается таблица [convergence]");
      if (!Refinements(*refine->as_table(), definition)) return false;
    }

    if (!Conflicts(root, definition) || !ContourKeys(definition)) return false;
    if (definition.Zip) {
      for (const StudySweep& s : definition.Sweep) {
        if (s.Values.size() != definition.Sweep.front().Values.size()) {
          const toml::node* n = root.at_path("sweep." + s.Key).node();
          return Fail(n, s.Key,
                      "при zip = true все списки должны быть одной длины (у " +
                          Quoted(definition.Sweep.front().Key) + " " +
                          std::to_string(definition.Sweep.front().Values.size()) + ", здесь " +
                          std::to_string(s.Values.size()) + ")");
        }
      }
    }
    if (!NoCaseTwice(root, definition)) return false;
    if (StudyCaseCount(definition) > MaxStudyCases)
      return Fail(root.get("sweep"), "sweep",
                  "слишком много вариантов (больше " + std::to_string(MaxStudyCases) + ")");

    if (const toml::node* results = root.get("results")) {
      if (!results->is_table()) return Fail(results, "results", "ожидается таблица [results]");
      if (!Results(*results->as_table(), definition.Results)) return false;
    }
    return true;
  }

 private:
  // The entries of [base] or [sweep] by key. `contour.R = …` written without
  // quotes is, in TOML, a table "contour" holding R: its entries are the
  // keys "contour.R".
  static std::vector<std::pair<std::string, const toml::node*>> Entries(const toml::table& t) {
    std::vector<std::pair<std::string, const toml::node*>> out;
    for (auto&& [k, v] : t) {
      if (k.str() == "contour" && v.is_table()) {
        for (auto&& [name, w] : *v.as_table()) out.emplace_back(std::string(ContourParameterPrefix) + std::string(name.str()), &w);
      } else {
        out.emplace_back(std::string(k.str()), &v);
      }
    }
    return out;
  }

  const StudyKey* Key(const toml::node* node, const std::string& key) {
    const StudyKey* sk = FindStudyKey(key);
    if (sk == nullptr) {
      Fail(node, key,
           key.starts_with(ContourParameterPrefix)
               ? "имя параметра контура - латинские буквы, цифры и _, не с цифры"
               : "такого параметра команды run нет или его нельзя задавать в исследовании");
      return nullptr;
    }
    // contour.NAME reaches the run as --contour-parameter NAME=VALUE.
    const std::string option = ContourParameterName(key).empty() ? key : "contour-parameter";
    if (available_ && !available_(option)) {
      Fail(node, key, "команда run этой версии программы не знает параметра --" + option);
      return nullptr;
    }
    return sk;
  }

  // The contour file decides the hood: the parametric area's keys and the
  // program's model are refused beside it, a contour parameter without it.
  // When planned, every file is read and judged, its parameters looked up.
  bool ContourKeys(StudyDefinition& definition) {
    std::vector<std::string> paths;
    for (const StudySetting& b : definition.Base)
      if (b.Key == "contour") paths.push_back(b.Value);
    for (const StudySweep& s : definition.Sweep)
      if (s.Key == "contour") paths = s.Values;
    if (paths.empty()) {
      for (const auto& [key, node] : nodes_)
        if (!ContourParameterName(key).empty())
          return Fail(node, key, "параметр контура без файла контура: задайте contour в [base] или [sweep]");
      return true;
    }
    definition.ContourFolder = folder_;
    for (const auto& [key, node] : nodes_)
      if (ContourDecides(key)) return Fail(node, key, "не сочетается с «contour»: размеры задает файл контура");
    const std::string onlyRefined = "контур из файла считается уточненной моделью: model = \"refined\" или без model";
    for (const StudySetting& b : definition.Base)
      if (b.Key == "model" && b.Value != "refined") return Fail(nodes_.at("model"), "model", onlyRefined);
    for (const StudySweep& s : definition.Sweep)
      if (s.Key == "model" && std::any_of(s.Values.begin(), s.Values.end(), [](const std::string& v) { return v != "refined"; }))
        return Fail(nodes_.at("model"), "model", onlyRefined);
    if (!readContours_) return true;

    std::vector<ContourParameter> base;  // the [base] values of the contour's parameters
    for (const StudySetting& b : definition.Base) {
      const std::string_view name = ContourParameterName(b.Key);
      if (const auto v = ParseRealLenient(b.Value); !name.empty() && v) base.push_back({std::string(name), *v});
    }
    const toml::node* where = nodes_.at("contour");
    for (const std::string& path : paths) {
      Contour c;
      std::string error;
      if (!ReadContourFile(path, c, error)) return Fail(where, "contour", error);
      for (const auto& [key, node] : nodes_) {
        const std::string_view name = ContourParameterName(key);
        if (!name.empty() && std::none_of(c.Parameters.begin(), c.Parameters.end(),
                                          [&](const ContourParameter& p) { return p.Name == name; }))
          return Fail(node, key, "параметр «" + std::string(name) + "» не объявлен в [parameters] файла контура \"" + path + "\"");
      }
      if (!ReadContourFile(path, c, error, base)) return Fail(where, "contour", error);
      const std::string invalid = ValidateContour(c);
      if (!invalid.empty()) return Fail(where, "contour", "\"" + path + "\": " + invalid);
    }
    return true;
  }

  // [convergence]: positive steps of a numeric option, at least three.
  bool Refinements(const toml::table& t, StudyDefinition& definition) {
    for (auto&& [k, v] : t) {
      const std::string key(k.str());
      const StudyKey* sk = Key(&v, key);
      if (sk == nullptr) return false;
      if (sk->Kind != StudyKeyKind::Real)
        return Fail(&v, key, "уточнять можно только шаг, заданный числом (vortex-spacing, dt, …)");
      for (const StudySweep& s : definition.Sweep)
        if (s.Key == key) return Fail(&v, key, "параметр задан и в [sweep], и в [convergence]");
      StudySweep s{key, {}, static_cast<int>(v.source().begin.line)};
      if (!Values(v, key, *sk, s.Values)) return false;
      nodes_[key] = &v;
      if (s.Values.size() < MinRefinements)
        return Fail(&v, key, "для индекса сходимости нужны не меньше трёх значений (здесь " +
                                 std::to_string(s.Values.size()) + ")");
      if (s.Values.size() > MaxRefinements)
        return Fail(&v, key, "не больше " + std::to_string(MaxRefinements) + " значений шага (здесь " +
                                 std::to_string(s.Values.size()) + ")");
      std::set<long double> steps;
      for (const std::string& x : s.Values) {
        const auto step = ParseRealLenient(x);
        if (!step || !(*step > 0)) return Fail(&v, key, "шаг " + DisplayValue(x) + " не положителен");
        if (!steps.insert(static_cast<long double>(*step)).second)
          return Fail(&v, key, "значение " + DisplayValue(x) + " повторяется");
      }
      definition.Convergence.push_back(std::move(s));
    }
    std::stable_sort(definition.Convergence.begin(), definition.Convergence.end(),
                     [](const StudySweep& a, const StudySweep& b) { return a.Line < b.Line; });
    return true;
  }

  // Numbers compare by value: 1 and "1,0" would plan the same case twice. A
  // grid repeats a case when a list repeats a value; a zip when two positions
  // pair the same values (one list may repeat a value the others do not).
  bool NoCaseTwice(const toml::table& root, const StudyDefinition& definition) {
    // A value's identity: a number by its value, anything else by its text.
    const auto identity = [](const StudySweep& s, const std::string& x) {
      const StudyKey* sk = FindStudyKey(s.Key);
      if (sk == nullptr || (sk->Kind != StudyKeyKind::Real && sk->Kind != StudyKeyKind::Integer)) return x;
      const auto v = ParseRealLenient(x);
      if (!v) return x;
      char buf[64];
      std::snprintf(buf, sizeof buf, "%La", static_cast<long double>(*v == 0 ? 0 : *v));
      return std::string(buf);
    };
    if (!definition.Zip) {
      for (const StudySweep& s : definition.Sweep) {
        std::map<std::string, size_t> seen;
        for (size_t i = 0; i < s.Values.size(); ++i) {
          const auto [it, fresh] = seen.try_emplace(identity(s, s.Values[i]), i);
          if (!fresh)
            return Fail(root.at_path("sweep." + s.Key).node(), s.Key,
                        "значение " + DisplayValue(s.Values[i]) + " повторяется (как " +
                            DisplayValue(s.Values[it->second]) + "): два одинаковых варианта");
        }
      }
      return true;
    }
    std::map<std::vector<std::string>, size_t> seen;
    const size_t n = definition.Sweep.empty() ? 0 : definition.Sweep.front().Values.size();
    for (size_t i = 0; i < n; ++i) {
      std::vector<std::string> key;
      for (const StudySweep& s : definition.Sweep) key.push_back(identity(s, s.Values[i]));
      const auto [it, fresh] = seen.try_emplace(std::move(key), i);
      if (!fresh)
        return Fail(root.get("sweep"), "sweep",
                    "варианты " + std::to_string(it->second) + " и " + std::to_string(i) + " одинаковы");
    }
    return true;
  }

  // Options the run command refuses together.
  bool Conflicts(const toml::table& root, const StudyDefinition& definition) {
    auto given = [&](const char* k) {
      for (const StudySetting& s : definition.Base)
        if (s.Key == k) return true;
      for (const StudySweep& s : definition.Sweep)
        if (s.Key == k) return true;
      for (const StudySweep& s : definition.Convergence)
        if (s.Key == k) return true;
      return false;
    };
    if (given("flange-angle") && given("flange-angle-deg")) {
      const toml::node* n = root.at_path("sweep.flange-angle-deg").node();
      if (n == nullptr) n = root.at_path("base.flange-angle-deg").node();
      return Fail(n, "flange-angle-deg", "нельзя задавать вместе с «flange-angle»");
    }
    return true;
  }

  static std::optional<long double> Number(const toml::node& v) {
    if (v.is_integer()) return static_cast<long double>(v.as_integer()->get());
    if (v.is_floating_point()) return static_cast<long double>(v.as_floating_point()->get());
    if (v.is_string()) {
      const auto r = ParseRealLenient(v.as_string()->get());
      if (r) return static_cast<long double>(*r);
    }
    return std::nullopt;
  }

  // A scalar value as the option's argument text.
  bool Value(const toml::node& v, const std::string& key, const StudyKey& sk, std::string& out) {
    switch (sk.Kind) {
      case StudyKeyKind::Flag:
        if (!v.is_boolean()) return Fail(&v, key, "ожидается true или false");
        out = v.as_boolean()->get() ? "true" : "false";
        return true;
      case StudyKeyKind::Integer:
        if (!v.is_integer()) return Fail(&v, key, "ожидается целое число");
        out = std::to_string(v.as_integer()->get());
        return true;
      case StudyKeyKind::Real: {
        if (v.is_floating_point()) {
          const double d = v.as_floating_point()->get();
          if (!std::isfinite(d)) return Fail(&v, key, "ожидается конечное число");
          char buf[32];
          const auto r = std::to_chars(buf, buf + sizeof buf, d);  // shortest exact text
          out.assign(buf, r.ptr);
          return true;
        }
        const auto n = Number(v);
        if (!n || !std::isfinite(*n)) return Fail(&v, key, "ожидается число");
        out = v.is_string() ? std::string(v.as_string()->get()) : std::to_string(v.as_integer()->get());
        std::replace(out.begin(), out.end(), ',', '.');
        out.erase(0, out.find_first_not_of(" \t"));
        out.erase(out.find_last_not_of(" \t") + 1);
        return true;
      }
      case StudyKeyKind::Points: {
        const toml::array* a = v.as_array();
        if (a == nullptr || a->empty())
          return Fail(&v, key, "ожидается список точек [[x, y], …], м");
        out.clear();
        for (const toml::node& p : *a) {
          const toml::array* xy = p.as_array();
          if (xy == nullptr || xy->size() != 2) return Fail(&p, key, "точка задаётся как [x, y], м");
          for (size_t i = 0; i < 2; ++i) {
            const auto n = Number(*xy->get(i));
            if (!n || !std::isfinite(*n) || xy->get(i)->is_string()) return Fail(&p, key, "координата точки не число");
            char buf[32];
            const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(*n));
            out.append(i == 0 ? (out.empty() ? "" : ";") : ",").append(buf, r.ptr);
          }
        }
        return true;
      }
      case StudyKeyKind::Choice: {
        // Checked here, so that a bad name refuses the plan instead of failing every case.
        const std::string names = sk.Choices != nullptr ? sk.Choices : "";
        std::string listed = names;
        std::replace(listed.begin(), listed.end(), '|', ',');
        if (v.is_string()) {
          const std::string name(v.as_string()->get());
          size_t start = 0;
          for (;;) {
            const size_t end = names.find('|', start);
            if (names.compare(start, end == std::string::npos ? std::string::npos : end - start, name) == 0 &&
                !name.empty()) {
              out = name;
              return true;
            }
            if (end == std::string::npos) break;
            start = end + 1;
          }
        }
        return Fail(&v, key, "ожидается одно из: " + listed);
      }
      case StudyKeyKind::File: {
        if (!v.is_string() || v.as_string()->get().empty()) return Fail(&v, key, "ожидается путь к файлу (строка)");
        // Made absolute now: the cases run in folders of their own.
        fs::path path(std::string(v.as_string()->get()));
        if (path.is_relative()) path = fs::path(folder_) / path;
        out = path.lexically_normal().string();
        if (HasControlCharacter(out)) return Fail(&v, key, "в пути к файлу управляющий символ");
        return true;
      }
    }
    return false;
  }

  // A list, or a range { from, to, step } of numbers.
  bool Values(const toml::node& v, const std::string& key, const StudyKey& sk,
              std::vector<std::string>& out) {
    if (v.is_array()) {
      const toml::array& a = *v.as_array();
      if (a.empty()) return Fail(&v, key, "пустой список значений");
      for (const toml::node& item : a) {
        std::string s;
        if (!Value(item, key, sk, s)) return false;
        out.push_back(s);
      }
      return true;
    }
    if (!v.is_table())
      return Fail(&v, key, "ожидается список значений [a, b, …] или диапазон { from = …, to = …, step = … }");
    if (sk.Kind != StudyKeyKind::Real && sk.Kind != StudyKeyKind::Integer)
      return Fail(&v, key, "диапазон задаётся только для числовых параметров");
    const toml::table& t = *v.as_table();
    for (auto&& [k, item] : t) {
      if (k.str() != "from" && k.str() != "to" && k.str() != "step")
        return Fail(&item, key, "в диапазоне неизвестный ключ " + Quoted(k.str()) + " (ожидаются from, to, step)");
    }
    long double range[3];
    const char* names[3] = {"from", "to", "step"};
    for (int i = 0; i < 3; ++i) {
      const toml::node* n = t.get(names[i]);
      if (n == nullptr) return Fail(&v, key, std::string("в диапазоне не задан ") + names[i]);
      const auto x = Number(*n);
      if (!x || !std::isfinite(*x)) return Fail(n, key, std::string(names[i]) + ": ожидается число");
      if (sk.Kind == StudyKeyKind::Integer && !n->is_integer())
        return Fail(n, key, std::string(names[i]) + ": ожидается целое число");
      range[i] = *x;
    }
    const long double from = range[0], to = range[1], step = range[2];
    if (step == 0 || (to - from) / step < 0)
      return Fail(&v, key, "шаг диапазона должен вести от from к to и не быть нулевым");
    const long double span = (to - from) / step;
    if (span + 1 > static_cast<long double>(MaxStudyCases))
      return Fail(&v, key, "слишком много значений в диапазоне");
    const auto count = static_cast<size_t>(std::floor(span + RangeSlack)) + 1;
    for (size_t i = 0; i < count; ++i) {
      const long double x = from + static_cast<long double>(i) * step;
      if (sk.Kind == StudyKeyKind::Integer) {
        out.push_back(std::to_string(static_cast<long long>(std::llround(x))));
      } else {
        char buf[48];
        std::snprintf(buf, sizeof buf, "%.*Lg", RangeDigits, x == 0 ? 0.0L : x);
        out.push_back(buf);
      }
    }
    return true;
  }

  bool Results(const toml::table& t, ResultRequest& r) {
    for (auto&& [k, v] : t) {
      const std::string key(k.str());
      if (key == "vortex-zone" || key == "flux" || key == "contraction" || key == "capture") {
        if (!v.is_boolean()) return Fail(&v, key, "ожидается true или false");
        bool& flag = key == "flux" ? r.Flux : key == "contraction" ? r.Contraction : key == "capture" ? r.Capture : r.VortexZone;
        flag = v.as_boolean()->get();
      } else if (key == "points") {
        if (!v.is_array()) return Fail(&v, key, "ожидается список точек [[x, y], …], м");
        for (const toml::node& p : *v.as_array()) {
          const toml::array* xy = p.as_array();
          std::optional<long double> x, y;
          if (xy != nullptr && xy->size() == 2) {
            x = Number(*xy->get(0));
            y = Number(*xy->get(1));
          }
          if (!x || !y || !std::isfinite(*x) || !std::isfinite(*y))
            return Fail(&p, key, "точка задаётся парой чисел [x, y], м");
          r.Points.push_back({static_cast<Real>(*x), static_cast<Real>(*y)});
        }
      } else if (key == "centreline") {
        if (!v.is_array()) return Fail(&v, key, "ожидается список x/D");
        for (const toml::node& p : *v.as_array()) {
          const auto x = Number(p);
          if (!x || !std::isfinite(*x)) return Fail(&p, key, "ожидается число x/D");
          r.CentrelineXD.push_back(static_cast<Real>(*x));
        }
      } else {
        return Fail(&v, key, "неизвестный результат (ожидаются vortex-zone, points, centreline, flux, contraction, capture)");
      }
    }
    return true;
  }

  std::string file_;
  const OptionAvailable& available_;
  const bool readContours_;
  std::string folder_;  // absolute: relative file paths are taken from it
  std::map<std::string, const toml::node*> nodes_;  // the value of each key of [base], [sweep], [convergence]
  std::string error_;
};

}  // namespace

const std::vector<StudyKey>& StudyKeys() {
  static const std::vector<StudyKey> keys = {
      {"vortex-spacing", StudyKeyKind::Real, "м", "Расстояние между расчетными\nточками и присоед. вихрями, м"},
      {"suction-speed", StudyKeyKind::Real, "м/с", "Скорость воздуха в отсосе, м/с"},
      {"inflow-speed", StudyKeyKind::Real, "м/с", "Скорость приточного воздуха, м/с"},
      {"channel-radius", StudyKeyKind::Real, "м", "Полуширина отсоса (В), м"},
      {"suction-x", StudyKeyKind::Real, "м", "Абцисса всасывающего\nотрезка (L), м"},
      {"channel-length", StudyKeyKind::Real, "м", "Длина всасывающего\nканала (LL), м"},
      {"flange-length", StudyKeyKind::Real, "м", "Длина козырька (l), м"},
      {"flange-angle", StudyKeyKind::Real, "рад", "Угол наклона козырька\n(Alpha), рад"},
      {"flange-angle-deg", StudyKeyKind::Real, "°", "Угол наклона козырька\n(Alpha), град"},
      {"wall-thickness", StudyKeyKind::Real, "м", "Толщина стенок, м"},
      {"plane-half-length", StudyKeyKind::Real, "м", "Полудлина плоскости, м"},
      {"plane-x", StudyKeyKind::Real, "м", "Абсцисса расположения\nплоскости, м"},
      {"dt", StudyKeyKind::Real, "с", "Шаг по времени, сек."},
      {"max-time", StudyKeyKind::Real, "с", "Макс. время моделирования, сек."},
      {"max-free", StudyKeyKind::Integer, "", "Макс. кол-во свободных вихрей"},
      {"threads", StudyKeyKind::Integer, "", "Число потоков"},
      {"reference", StudyKeyKind::Flag, "", "Эталонный путь"},
      {"until-steady", StudyKeyKind::Flag, "", "До установления"},
      {"tolerance", StudyKeyKind::Real, "", "Допуск точности средних"},
      {"precision", StudyKeyKind::Choice, "", "Точность счёта", "extended|double"},
      {"average-from", StudyKeyKind::Real, "с", "Осреднение с t, сек."},
      {"model", StudyKeyKind::Choice, "", "Модель течения", "program|refined"},
      {"smoothing-length", StudyKeyKind::Real, "м", "Длина сглаживания, м"},
      {"shedding", StudyKeyKind::Choice, "", "Правило отрыва", "outer|edge-speed"},
      {"viscosity", StudyKeyKind::Real, "м²/с", "Турбулентная вязкость, м²/с"},
      {"shed-placement", StudyKeyKind::Choice, "", "Место нового кольца", "convected|nascent"},
      {"courant", StudyKeyKind::Real, "", "Число Куранта"},
      {"tracers", StudyKeyKind::Points, "м", "Точки выпуска маркеров, м"},
      {"tracer-grid", StudyKeyKind::Real, "м", "Шаг сетки выпуска маркеров, м"},
      {"capture-horizon", StudyKeyKind::Real, "с", "Горизонт захвата T, сек."},
      {"contour", StudyKeyKind::File, "", "Контур"},
  };
  return keys;
}

std::string_view ContourParameterName(std::string_view key) {
  if (!key.starts_with(ContourParameterPrefix)) return {};
  const std::string_view name = key.substr(ContourParameterPrefix.size());
  // As the contour file names its parameters.
  const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
  if (name.empty() || !letter(name.front())) return {};
  for (char c : name)
    if (!letter(c) && !(c >= '0' && c <= '9')) return {};
  return name;
}

const StudyKey* FindStudyKey(std::string_view name) {
  // The unit and meaning are the contour file's: a number without a unit here.
  static const StudyKey contourParameter = {"contour.", StudyKeyKind::Real, "", "Параметр контура"};
  if (!ContourParameterName(name).empty()) return &contourParameter;
  for (const StudyKey& k : StudyKeys())
    if (name == k.Name) return &k;
  return nullptr;
}

std::string StudyKeyLabel(std::string_view key) {
  const std::string_view name = ContourParameterName(key);
  if (!name.empty()) return "Параметр контура " + std::string(name);
  const StudyKey* k = FindStudyKey(key);
  return k != nullptr && k->Label != nullptr && *k->Label != '\0' ? k->Label : std::string(key);
}

bool ContourDecides(std::string_view key) {
  // The run's parametric area options: a contour file gives each of them.
  static constexpr std::string_view decided[] = {
      "vortex-spacing", "suction-speed",  "inflow-speed",   "channel-radius",    "suction-x",
      "channel-length", "flange-length",  "flange-angle",   "flange-angle-deg",  "wall-thickness",
      "plane-half-length", "plane-x"};
  return std::find(std::begin(decided), std::end(decided), key) != std::end(decided);
}

bool ParseStudy(std::string_view text, const std::string& fileName,
                const OptionAvailable& available, StudyDefinition& definition, std::string& error,
                bool readContours) {
  definition = StudyDefinition{};
  toml::table root;
  try {
    root = toml::parse(text, fileName);
  } catch (const toml::parse_error& e) {
    error = fileName + ", строка " + std::to_string(e.source().begin.line) +
            ": ошибка в записи TOML: " + std::string(e.description());
    return false;
  }
  Reader reader(fileName, available, readContours);
  if (!reader.Read(root, definition)) {
    error = reader.Error();
    definition = StudyDefinition{};
    return false;
  }
  return true;
}

std::vector<std::vector<std::string>> RefinedVariants(const StudyDefinition& definition) {
  std::vector<std::string> base;
  for (const StudySweep& r : definition.Convergence) {
    std::string value;
    for (const StudySetting& b : definition.Base)
      if (b.Key == r.Key) value = b.Value;
    base.push_back(value);
  }
  std::vector<std::vector<std::string>> variants;
  std::set<std::vector<std::string>> seen;  // a case two series share is planned once
  for (size_t k = 0; k < definition.Convergence.size(); ++k) {
    for (const std::string& v : definition.Convergence[k].Values) {
      std::vector<std::string> variant = base;
      variant[k] = v;
      if (seen.insert(variant).second) variants.push_back(std::move(variant));
    }
  }
  if (variants.empty()) variants.emplace_back();
  return variants;
}

size_t StudyCaseCount(const StudyDefinition& definition) {
  size_t n = 1;
  if (definition.Zip && !definition.Sweep.empty()) {
    n = definition.Sweep.front().Values.size();
  } else {
    for (const StudySweep& s : definition.Sweep) {
      if (n > MaxStudyCases) break;  // no overflow; the caller refuses anyway
      n *= s.Values.size();
    }
  }
  // Bounded too: the refined lists are limited like any list.
  return n > MaxStudyCases ? n : n * RefinedVariants(definition).size();
}

bool HasControlCharacter(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7f;
  });
}

std::string TomlString(std::string_view text) {
  std::string q = "\"";
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      q += '\\';
      q += c;
    } else if (u < 0x20 || u == 0x7f) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04X", u);
      q += esc;
    } else {
      q += c;
    }
  }
  return q + "\"";
}

std::string PlannedStudyText(std::string_view text, const StudyDefinition& definition) {
  if (definition.ContourFolder.empty() || definition.FolderRecorded) return std::string(text);
  // A byte-order mark stays first, where TOML allows it.
  constexpr std::string_view bom = "\xEF\xBB\xBF";
  const size_t skip = text.starts_with(bom) ? bom.size() : 0;
  return std::string(text.substr(0, skip)) +
         "# записано study plan: от этой папки отсчитаны относительные пути контуров\n"
         "planned-from = " + TomlString(definition.ContourFolder) + "\n" + std::string(text.substr(skip));
}

std::string DisplayValue(const std::string& value) {
  const auto v = ParseRealLenient(value);
  if (!v || value == "true" || value == "false") return value;
  return FormatGeneral(*v);
}

}  // namespace mdv
