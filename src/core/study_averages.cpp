#include "core/study_averages.h"

#include <charconv>
#include <cmath>
#include <map>
#include <memory>
#include <vector>

#include "core/numfmt.h"

namespace mdv {

namespace {

// A JSON value: just what the averages file holds.
struct Json {
  enum class Kind { Null, Bool, Number, String, Array, Object } K = Kind::Null;
  bool B = false;
  double N = 0;
  std::string S;
  std::vector<Json> A;
  std::map<std::string, Json> O;

  const Json* Get(const std::string& key) const {
    if (K != Kind::Object) return nullptr;
    const auto it = O.find(key);
    return it == O.end() ? nullptr : &it->second;
  }
  const Json* Path(std::initializer_list<const char*> keys) const {
    const Json* j = this;
    for (const char* k : keys) {
      if (j == nullptr) return nullptr;
      j = j->Get(k);
    }
    return j;
  }
  bool Number(double& v) const {
    if (K != Kind::Number) return false;
    v = N;
    return true;
  }
};

// Deeper nesting than this is no averages file.
constexpr int MaxDepth = 32;

class Parser {
 public:
  explicit Parser(std::string_view t) : t_(t) {}

  bool Document(Json& out) {
    if (!Value(out, 0)) return false;
    Blank();
    return pos_ == t_.size() || Fail("лишние символы после данных");
  }
  const std::string& Error() const { return error_; }

 private:
  bool Fail(const char* what) {
    if (error_.empty()) error_ = std::string(what) + " (символ " + std::to_string(pos_ + 1) + ")";
    return false;
  }
  void Blank() {
    while (pos_ < t_.size() && (t_[pos_] == ' ' || t_[pos_] == '\n' || t_[pos_] == '\r' || t_[pos_] == '\t')) ++pos_;
  }
  bool Literal(std::string_view word) {
    if (t_.substr(pos_, word.size()) != word) return Fail("неверное значение");
    pos_ += word.size();
    return true;
  }
  bool String(std::string& s) {
    ++pos_;  // the opening quote
    while (pos_ < t_.size() && t_[pos_] != '"') {
      char c = t_[pos_++];
      if (c == '\\') {
        if (pos_ >= t_.size()) break;
        const char e = t_[pos_++];
        switch (e) {
          case 'n': c = '\n'; break;
          case 't': c = '\t'; break;
          case 'r': c = '\r'; break;
          case 'b': c = '\b'; break;
          case 'f': c = '\f'; break;
          case 'u': {
            // \uXXXX of the basic plane, written as UTF-8.
            unsigned code = 0;
            if (pos_ + 4 > t_.size() ||
                std::from_chars(t_.data() + pos_, t_.data() + pos_ + 4, code, 16).ptr != t_.data() + pos_ + 4)
              return Fail("неверная escape-последовательность");
            pos_ += 4;
            if (code < 0x80) {
              s += static_cast<char>(code);
            } else if (code < 0x800) {
              s += static_cast<char>(0xC0 | (code >> 6));
              s += static_cast<char>(0x80 | (code & 0x3F));
            } else {
              s += static_cast<char>(0xE0 | (code >> 12));
              s += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
              s += static_cast<char>(0x80 | (code & 0x3F));
            }
            continue;
          }
          default: c = e;  // \" \\ \/
        }
      }
      s += c;
    }
    if (pos_ >= t_.size()) return Fail("незакрытая строка");
    ++pos_;
    return true;
  }
  bool Value(Json& v, int depth) {
    if (depth > MaxDepth) return Fail("слишком глубокая вложенность");
    Blank();
    if (pos_ >= t_.size()) return Fail("неожиданный конец файла");
    const char c = t_[pos_];
    if (c == '{') {
      v.K = Json::Kind::Object;
      ++pos_;
      Blank();
      if (pos_ < t_.size() && t_[pos_] == '}') return ++pos_, true;
      for (;;) {
        Blank();
        if (pos_ >= t_.size() || t_[pos_] != '"') return Fail("ожидается имя ключа");
        std::string key;
        if (!String(key)) return false;
        Blank();
        if (pos_ >= t_.size() || t_[pos_] != ':') return Fail("ожидается ':'");
        ++pos_;
        if (!Value(v.O[key], depth + 1)) return false;
        Blank();
        if (pos_ < t_.size() && t_[pos_] == ',') { ++pos_; continue; }
        if (pos_ < t_.size() && t_[pos_] == '}') return ++pos_, true;
        return Fail("ожидается ',' или '}'");
      }
    }
    if (c == '[') {
      v.K = Json::Kind::Array;
      ++pos_;
      Blank();
      if (pos_ < t_.size() && t_[pos_] == ']') return ++pos_, true;
      for (;;) {
        v.A.emplace_back();
        if (!Value(v.A.back(), depth + 1)) return false;
        Blank();
        if (pos_ < t_.size() && t_[pos_] == ',') { ++pos_; continue; }
        if (pos_ < t_.size() && t_[pos_] == ']') return ++pos_, true;
        return Fail("ожидается ',' или ']'");
      }
    }
    if (c == '"') {
      v.K = Json::Kind::String;
      return String(v.S);
    }
    if (c == 't') { v.K = Json::Kind::Bool; v.B = true; return Literal("true"); }
    if (c == 'f') { v.K = Json::Kind::Bool; v.B = false; return Literal("false"); }
    if (c == 'n') { v.K = Json::Kind::Null; return Literal("null"); }
    v.K = Json::Kind::Number;
    const auto r = std::from_chars(t_.data() + pos_, t_.data() + t_.size(), v.N);
    if (r.ec != std::errc() || r.ptr == t_.data() + pos_) return Fail("ожидается значение");
    pos_ = static_cast<size_t>(r.ptr - t_.data());
    return true;
  }

  std::string_view t_;
  size_t pos_ = 0;
  std::string error_;
};

}  // namespace

bool CaseAverages(const std::vector<StudySetting>& settings) {
  for (const StudySetting& s : settings) {
    if (s.Key == "until-steady" && s.Value != "false") return true;
    if (s.Key == "tolerance" || s.Key == "average-from") return true;
  }
  return false;
}

bool AveragesResults(std::string_view json, const ResultRequest& request, CaseResults& out,
                     std::string& error) {
  out.clear();
  Json root;
  Parser parser(json);
  if (!parser.Document(root)) {
    error = "Файл средних повреждён: " + parser.Error();
    return false;
  }
  const Json* format = root.Get("format");
  double version = 0;
  if (format == nullptr || format->S != "rinfet-mdv-averages" || !root.Get("version") ||
      !root.Get("version")->Number(version) || version != 1) {
    error = "Файл средних другого формата или версии";
    return false;
  }

  if (request.VortexZone) {
    double measured = 0;
    const Json* m = root.Path({"vortex_zone", "measured"});
    if (m != nullptr && m->Number(measured) && measured > 0) {
      for (const char* name : VortexZoneNames) {
        double mean = 0, sd = 0;
        const Json* d = root.Path({"vortex_zone", "dimensions", name});
        if (d == nullptr || !d->Get("mean") || !d->Get("mean")->Number(mean) || !d->Get("sd") ||
            !d->Get("sd")->Number(sd)) {
          error = std::string("В файле средних нет размера вихревой зоны ") + name;
          return false;
        }
        out.push_back({name, "м", mean});
        out.push_back({ResultName(name, "_sd"), "м", sd});
      }
    }
  }

  const Json* rows = root.Get("centreline");
  for (const Real xd : request.CentrelineXD) {
    const Json* best = nullptr;
    double bestGap = INFINITY;
    if (rows != nullptr) {
      for (const Json& r : rows->A) {
        double x = 0, model = 0;
        if (!r.Get("x_over_D") || !r.Get("x_over_D")->Number(x) || !r.Get("model") || !r.Get("model")->Number(model))
          continue;  // a station behind the plane has no model value
        const double gap = std::abs(x - static_cast<double>(xd));
        if (gap < bestGap) {
          bestGap = gap;
          best = &r;
        }
      }
    }
    if (best != nullptr) out.push_back({ResultName("v/v0", "(x/D=" + FormatGeneral(xd) + ")"), "", best->Get("model")->N});
  }

  double ratio = 0;
  if (request.Flux) {
    const Json* f = root.Path({"flux", "ratio"});
    if (f != nullptr && f->Number(ratio)) out.push_back({"flux_ratio", "", ratio});
  }

  if (!request.Points.empty()) {
    const Json* g = root.Get("grid");
    double x0 = 0, y0 = 0, dx = 0, dy = 0, nx = 0, ny = 0;
    const bool grid = g != nullptr && g->Get("x0") && g->Get("x0")->Number(x0) && g->Get("y0") &&
                      g->Get("y0")->Number(y0) && g->Get("dx") && g->Get("dx")->Number(dx) && g->Get("dy") &&
                      g->Get("dy")->Number(dy) && g->Get("nx") && g->Get("nx")->Number(nx) && g->Get("ny") &&
                      g->Get("ny")->Number(ny) && dx > 0 && dy > 0;
    for (const TRealPoint& p : request.Points) {
      if (!grid) break;
      const double fi = std::round((static_cast<double>(p.X) - x0) / dx);
      const double fj = std::round((static_cast<double>(p.Y) - y0) / dy);
      if (!(fi >= 0 && fi < nx && fj >= 0 && fj < ny)) continue;
      const size_t k = static_cast<size_t>(fj) * static_cast<size_t>(nx) + static_cast<size_t>(fi);
      auto value = [&](const char* name, double& v) {
        const Json* a = g->Get(name);
        return a != nullptr && k < a->A.size() && a->A[k].Number(v);
      };
      double inside = 0, vx = 0, vy = 0, speed = 0;
      if (!value("inside", inside) || inside == 0 || !value("vx_mean", vx) || !value("vy_mean", vy) ||
          !value("speed_mean", speed))
        continue;
      out.push_back({ResultName("vx", ResultPointSuffix(p)), "м/с", vx});
      out.push_back({ResultName("vy", ResultPointSuffix(p)), "м/с", vy});
      out.push_back({ResultName("v", ResultPointSuffix(p)), "м/с", speed});
    }
  }
  return true;
}

}  // namespace mdv
