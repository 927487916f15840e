#include "core/model/contour_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <set>

#include <toml++/toml.h>

#include "core/base/safe_file.h"

namespace mdv {

namespace {

// A contour file is a page of text; a larger one is not a contour.
constexpr size_t MaxContourFileBytes = size_t(16) << 20;

std::string Quoted(std::string_view key) { return "«" + std::string(key) + "»"; }

Real DegreesToRadians(Real deg) { return deg / 180 * Pi; }

bool IsIdentifier(std::string_view s) {
  if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

class Reader {
 public:
  explicit Reader(const std::vector<ContourParameter>& overrides) : overrides_(overrides) {}

  // "строка 7, ключ «plane.x»: …"
  bool Fail(const toml::node* node, std::string_view key, const std::string& what) {
    error_.clear();
    if (node != nullptr && node->source().begin.line > 0)
      error_ = "строка " + std::to_string(node->source().begin.line) + ", ";
    error_ += "ключ " + Quoted(key) + ": " + what;
    return false;
  }
  const std::string& Error() const { return error_; }

  bool Read(const toml::table& root, Contour& c) {
    if (!Keys(root, "", {"format", "version", "name", "spacing", "parameters", "suction", "plane",
                         "supply", "separation", "wall"}))
      return false;
    const toml::node* format = root.get("format");
    if (format == nullptr) return Fail(nullptr, "format", "не задан (ожидается \"" + std::string(ContourFormatName) + "\")");
    if (!format->is_string() || format->as_string()->get() != ContourFormatName)
      return Fail(format, "format", "это не файл контура (ожидается \"" + std::string(ContourFormatName) + "\")");
    const toml::node* version = root.get("version");
    if (version == nullptr) return Fail(nullptr, "version", "не задана версия формата");
    if (!version->is_integer()) return Fail(version, "version", "ожидается целое число");
    if (version->as_integer()->get() != ContourFormatVersion)
      return Fail(version, "version",
                  "версия " + std::to_string(version->as_integer()->get()) + " не поддерживается (эта программа читает версию " +
                      std::to_string(ContourFormatVersion) + ")");
    if (const toml::node* name = root.get("name")) {
      if (!name->is_string()) return Fail(name, "name", "ожидается строка");
      c.Name = name->as_string()->get();
      if (std::any_of(c.Name.begin(), c.Name.end(), [](char ch) { return static_cast<unsigned char>(ch) < 0x20; }))
        return Fail(name, "name", "недопустимый управляющий символ (перевод строки, табуляция …)");
    }
    if (!Parameters(root, c)) return false;
    if (!Value(root, "spacing", "spacing", c.Spacing)) return false;
    const toml::table* suction = nullptr;
    if (!Section(root, "suction", true, {"x", "speed"}, suction)) return false;
    if (!Value(*suction, "x", "suction.x", c.SuctionX) || !Value(*suction, "speed", "suction.speed", c.SuctionSpeed))
      return false;
    const toml::table* plane = nullptr;
    if (!Section(root, "plane", true, {"x", "radius"}, plane)) return false;
    if (!Value(*plane, "x", "plane.x", c.PlaneX) || !Value(*plane, "radius", "plane.radius", c.PlaneRadius))
      return false;
    if (!Wall(root, c)) return false;
    const toml::table* supply = nullptr;
    if (!Section(root, "supply", false, {"segment", "speed"}, supply)) return false;
    if (supply != nullptr) {
      int segment = 0;
      if (!Index(*supply, "segment", "supply.segment", segment)) return false;
      c.SupplySegment = segment - 1;
      if (!Value(*supply, "speed", "supply.speed", c.SupplySpeed)) return false;
    }
    const toml::table* separation = nullptr;
    if (!Section(root, "separation", false, {"angle", "corners"}, separation)) return false;
    if (separation != nullptr) {
      if (separation->get("angle") != nullptr) {
        Real deg = 0;
        if (!Value(*separation, "angle", "separation.angle", deg)) return false;
        c.SeparationAngle = DegreesToRadians(deg);
      }
      if (!Corners(*separation, c)) return false;
    }
    return true;
  }

 private:
  bool Keys(const toml::table& t, const std::string& prefix, std::initializer_list<std::string_view> allowed) {
    for (auto&& [k, v] : t) {
      if (std::find(allowed.begin(), allowed.end(), k.str()) != allowed.end()) continue;
      std::string list;
      for (std::string_view a : allowed) list += (list.empty() ? "" : ", ") + std::string(a);
      return Fail(&v, prefix + std::string(k.str()), "неизвестный ключ (ожидаются " + list + ")");
    }
    return true;
  }

  bool Section(const toml::table& root, const char* name, bool required,
               std::initializer_list<std::string_view> keys, const toml::table*& out) {
    const toml::node* n = root.get(name);
    if (n == nullptr) return required ? Fail(nullptr, name, "не задан раздел [" + std::string(name) + "]") : true;
    out = n->as_table();
    if (out == nullptr) return Fail(n, name, "ожидается раздел (таблица)");
    return Keys(*out, std::string(name) + ".", keys);
  }

  bool Parameters(const toml::table& root, Contour& c) {
    const toml::node* n = root.get("parameters");
    if (n != nullptr) {
      const toml::table* t = n->as_table();
      if (t == nullptr) return Fail(n, "parameters", "ожидается раздел (таблица)");
      for (auto&& [k, v] : *t) {
        const std::string key = "parameters." + std::string(k.str());
        if (!IsIdentifier(k.str()))
          return Fail(&v, key, "имя параметра - латинские буквы, цифры и _, не с цифры");
        if (!v.is_integer() && !v.is_floating_point()) return Fail(&v, key, "ожидается число");
        c.Parameters.push_back({std::string(k.str()), Plain(v)});
      }
    }
    for (const ContourParameter& o : overrides_) {
      auto it = std::find_if(c.Parameters.begin(), c.Parameters.end(),
                             [&](const ContourParameter& p) { return p.Name == o.Name; });
      if (it == c.Parameters.end())
        return Fail(nullptr, "parameters." + o.Name, "такой параметр в файле не объявлен, его нельзя заменить");
      // Held as the file holds its own (a TOML number, a double): the text
      // WriteContourText makes of it then reads back, as a saved state must.
      it->Value = static_cast<Real>(static_cast<double>(o.Value));
    }
    parameters_ = &c.Parameters;
    return true;
  }

  static Real Plain(const toml::node& v) {
    return v.is_integer() ? static_cast<Real>(v.as_integer()->get()) : static_cast<Real>(v.as_floating_point()->get());
  }

  // A real value: a TOML number or a string expression over the parameters.
  bool Number(const toml::node& v, const std::string& key, Real& out) {
    if (v.is_integer() || v.is_floating_point()) {
      out = Plain(v);
      return true;
    }
    if (!v.is_string()) return Fail(&v, key, "ожидается число или выражение в кавычках");
    std::string why;
    if (!EvaluateContourExpression(v.as_string()->get(), *parameters_, out, why))
      return Fail(&v, key, "выражение \"" + v.as_string()->get() + "\": " + why);
    return true;
  }

  bool Value(const toml::table& t, const char* name, const std::string& key, Real& out) {
    const toml::node* v = t.get(name);
    if (v == nullptr) return Fail(nullptr, key, "не задано значение");
    return Number(*v, key, out);
  }

  bool Index(const toml::table& t, const char* name, const std::string& key, int& out) {
    const toml::node* v = t.get(name);
    if (v == nullptr) return Fail(nullptr, key, "не задан номер");
    if (!v->is_integer()) return Fail(v, key, "ожидается целое число");
    const int64_t i = v->as_integer()->get();
    // The validation names the range; here only what an int holds.
    if (i < -1000000000 || i > 1000000000) return Fail(v, key, "номер вне допустимых пределов");
    out = static_cast<int>(i);
    return true;
  }

  bool Point(const toml::node* v, const std::string& key, TRealPoint& p) {
    if (v == nullptr) return Fail(nullptr, key, "не задана точка [x, r]");
    const toml::array* a = v->as_array();
    if (a == nullptr || a->size() != 2) return Fail(v, key, "ожидается точка [x, r] из двух чисел, м");
    return Number(*a->get(0), key + "[1]", p.X) && Number(*a->get(1), key + "[2]", p.Y);
  }

  bool Wall(const toml::table& root, Contour& c) {
    const toml::table* wall = nullptr;
    if (!Section(root, "wall", true, {"start", "segments"}, wall)) return false;
    if (!Point(wall->get("start"), "wall.start", c.Start)) return false;
    const toml::node* segs = wall->get("segments");
    if (segs == nullptr) return Fail(nullptr, "wall.segments", "не заданы отрезки стенки");
    const toml::array* a = segs->as_array();
    if (a == nullptr) return Fail(segs, "wall.segments", "ожидается список отрезков { to = [x, r] }");
    for (size_t i = 0; i < a->size(); ++i) {
      const std::string key = "wall.segments[" + std::to_string(i + 1) + "]";
      const toml::table* s = a->get(i)->as_table();
      if (s == nullptr) return Fail(a->get(i), key, "ожидается отрезок { to = [x, r] } или дуга { to = [x, r], radius = R }");
      if (!Keys(*s, key + ".", {"to", "radius"})) return false;
      ContourSegment seg;
      if (!Point(s->get("to"), key + ".to", seg.End)) return false;
      if (const toml::node* r = s->get("radius"); r != nullptr && !Number(*r, key + ".radius", seg.ArcRadius))
        return false;
      c.Wall.push_back(seg);
    }
    return true;
  }

  bool Corners(const toml::table& t, Contour& c) {
    const toml::node* n = t.get("corners");
    if (n == nullptr) return true;
    const toml::array* a = n->as_array();
    if (a == nullptr) return Fail(n, "separation.corners", "ожидается список номеров точек");
    for (const toml::node& v : *a) {
      if (!v.is_integer()) return Fail(&v, "separation.corners", "ожидаются целые номера точек");
      const int64_t k = v.as_integer()->get();
      if (k < 1 || k >= static_cast<int64_t>(c.Wall.size()))
        return Fail(&v, "separation.corners",
                    "точки " + std::to_string(k) + " нет среди изломов стенки (допустимо от 1 до " +
                        std::to_string(c.Wall.size() - 1) + ")");
      c.SheddingCorners.push_back(static_cast<int>(k));
    }
    // The struct keeps them in wall order; a corner named twice is kept twice
    // for the validation to name.
    std::sort(c.SheddingCorners.begin(), c.SheddingCorners.end());
    return true;
  }

  const std::vector<ContourParameter>& overrides_;
  const std::vector<ContourParameter>* parameters_ = nullptr;
  std::string error_;
};

// The value as TOML: a number when a double holds it exactly (the shortest
// form that reads back to it), else a string of the extended value's
// shortest exact decimal form, which the expression reader parses to the
// same bits.
std::string Num(Real v) {
  char buf[64];
  const double d = static_cast<double>(v);
  if (static_cast<Real>(d) == v || std::isnan(v)) {
    if (std::isnan(d)) return "nan";
    if (d == 0) return std::signbit(d) ? "-0.0" : "0";
    // Plain digits beyond an int64 would read as a TOML integer that overflows.
    const bool big = std::fabs(d) >= 1e15;
    const auto r = big ? std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific)
                       : std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, r.ptr);
  }
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  std::string text(1, '"');
  text.append(buf, r.ptr);
  return text += '"';
}

// Appended piece by piece: GCC 12 warns falsely (-Wrestrict) of "[" + string.
std::string PointText(const TRealPoint& p) {
  std::string s(1, '[');
  s += Num(p.X);
  s += ", ";
  s += Num(p.Y);
  return s += ']';
}

// The degrees that read back to exactly `rad`: the nearest double's when it
// does, else the extended value or one of its neighbours.
Real DegreesReadingBackTo(Real rad) {
  const Real deg = rad / Pi * 180;
  const Real asDouble = static_cast<double>(deg);
  if (DegreesToRadians(asDouble) == rad) return asDouble;
  // A product and a quotient are each within half an ulp: a few steps suffice.
  Real up = deg, down = deg;
  for (int step = 0; step < 16; ++step) {
    if (DegreesToRadians(up) == rad) return up;
    if (DegreesToRadians(down) == rad) return down;
    up = std::nextafter(up, Real(INFINITY));
    down = std::nextafter(down, -Real(INFINITY));
  }
  return deg;
}

std::string TomlString(const std::string& s) {
  std::string out = "\"";
  for (char ch : s) {
    if (ch == '"' || ch == '\\') out += '\\';
    out += ch;
  }
  return out + "\"";
}

}  // namespace

bool ReadContourText(const std::string& text, Contour& out, std::string& error,
                     const std::vector<ContourParameter>& overrides) {
  toml::table root;
  try {
    root = toml::parse(text);
  } catch (const toml::parse_error& e) {
    error = "строка " + std::to_string(e.source().begin.line) + ": ошибка в записи TOML: " + std::string(e.description());
    return false;
  }
  Contour c;
  c.Name.clear();
  Reader reader(overrides);
  if (!reader.Read(root, c)) {
    error = reader.Error();
    return false;
  }
  out = std::move(c);
  return true;
}

bool ReadContourFile(const std::string& path, Contour& out, std::string& error,
                     const std::vector<ContourParameter>& overrides) {
  Bytes data;
  if (!ReadWholeFile(path, data, error, MaxContourFileBytes)) return false;
  const std::string text(data.begin(), data.end());
  if (!ReadContourText(text, out, error, overrides)) {
    error = "\"" + path + "\", " + error;
    return false;
  }
  return true;
}

std::string WriteContourText(const Contour& c) {
  std::string t = "# Контур стенки вытяжного патрубка: полусечение (x, r), м\n";
  t += "format = " + TomlString(ContourFormatName) + "\n";
  t += "version = " + std::to_string(ContourFormatVersion) + "\n";
  t += "name = " + TomlString(c.Name) + "\n";
  t += "spacing = " + Num(c.Spacing) + "  # м, шаг присоединённых вихрей\n";
  if (!c.Parameters.empty()) {
    t += "\n[parameters]\n";
    for (const ContourParameter& p : c.Parameters) t += p.Name + " = " + Num(p.Value) + "\n";
  }
  t += "\n[suction]\nx = " + Num(c.SuctionX) + "\nspeed = " + Num(c.SuctionSpeed) + "\n";
  t += "\n[plane]\nx = " + Num(c.PlaneX) + "\nradius = " + Num(c.PlaneRadius) + "\n";
  if (c.SupplySegment >= 0) {
    t += "\n[supply]\nsegment = " + std::to_string(c.SupplySegment + 1) + "\nspeed = " + Num(c.SupplySpeed) + "\n";
  }
  if (c.SeparationAngle != DefaultSeparationAngle || !c.SheddingCorners.empty()) {
    t += "\n[separation]\n";
    // Without the key the reader takes the default angle, which no number of
    // degrees reproduces to the last bit.
    if (c.SeparationAngle != DefaultSeparationAngle)
      t += "angle = " + Num(DegreesReadingBackTo(c.SeparationAngle)) + "  # градусы\n";
    if (!c.SheddingCorners.empty()) {
      t += "corners = [";
      for (size_t i = 0; i < c.SheddingCorners.size(); ++i)
        t += (i ? ", " : "") + std::to_string(c.SheddingCorners[i]);
      t += "]\n";
    }
  }
  t += "\n[wall]\nstart = " + PointText(c.Start) + "\nsegments = [\n";
  for (const ContourSegment& s : c.Wall) {
    t += "  { to = " + PointText(s.End);
    if (s.ArcRadius != 0) t += ", radius = " + Num(s.ArcRadius);
    t += " },\n";
  }
  t += "]\n";
  return t;
}

bool WriteContourFile(const std::string& path, const Contour& c, std::string& error) {
  const std::string text = WriteContourText(c);
  return WriteFileAtomically(path, Bytes(text.begin(), text.end()), error);
}

}  // namespace mdv
