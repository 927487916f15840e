// The expressions of the contour file: numbers, parameter names, + - * /,
// unary signs and parentheses, evaluated in the model's extended type.
#include <cctype>
#include <cmath>
#include <string_view>

#include "core/base/platform.h"
#include "core/model/contour_file.h"

namespace mdv {

namespace {

// Deeper nesting than an engineer writes; guards the recursion against a
// file of a million parentheses.
constexpr int MaxNesting = 64;

class Expression {
 public:
  Expression(std::string_view text, const std::vector<ContourParameter>& parameters)
      : text_(text), parameters_(parameters) {}

  bool Evaluate(Real& value, std::string& error) {
    Real v = 0;
    if (!Sum(v, 0)) {
      error = error_;
      return false;
    }
    Skip();
    if (pos_ != text_.size()) {
      error = "лишний знак «" + std::string(1, text_[pos_]) + "» в позиции " + std::to_string(pos_ + 1);
      return false;
    }
    if (!std::isfinite(v)) {
      error = "значение выражения не является конечным числом";
      return false;
    }
    value = v;
    return true;
  }

 private:
  void Skip() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
  }
  bool Failed(const std::string& what) {
    error_ = what;
    return false;
  }
  char Peek() {
    Skip();
    return pos_ < text_.size() ? text_[pos_] : '\0';
  }

  bool Sum(Real& v, int depth) {
    if (!Product(v, depth)) return false;
    for (char op = Peek(); op == '+' || op == '-'; op = Peek()) {
      ++pos_;
      Real rhs = 0;
      if (!Product(rhs, depth)) return false;
      v = op == '+' ? v + rhs : v - rhs;
    }
    return true;
  }

  bool Product(Real& v, int depth) {
    if (!Unary(v, depth)) return false;
    for (char op = Peek(); op == '*' || op == '/'; op = Peek()) {
      ++pos_;
      Real rhs = 0;
      if (!Unary(rhs, depth)) return false;
      if (op == '/' && rhs == 0) return Failed("деление на ноль");
      v = op == '*' ? v * rhs : v / rhs;
    }
    return true;
  }

  bool Unary(Real& v, int depth) {
    if (depth > MaxNesting) return Failed("слишком глубокая вложенность");
    const char c = Peek();
    if (c == '-' || c == '+') {
      ++pos_;
      if (!Unary(v, depth + 1)) return false;
      if (c == '-') v = -v;
      return true;
    }
    return Primary(v, depth);
  }

  bool Primary(Real& v, int depth) {
    const char c = Peek();
    if (c == '(') {
      ++pos_;
      if (!Sum(v, depth + 1)) return false;
      if (Peek() != ')') return Failed("не хватает закрывающей скобки");
      ++pos_;
      return true;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') return Number(v);
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') return Name(v);
    if (c == '\0') return Failed("выражение обрывается");
    return Failed("неожиданный знак «" + std::string(1, c) + "» в позиции " + std::to_string(pos_ + 1));
  }

  // Digits with an optional decimal point and exponent; parsed with the
  // decimal point whatever the process's locale, rounded to the extended type.
  bool Number(Real& v) {
    const size_t from = pos_;
    auto digits = [&] {
      size_t n = 0;
      while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_, ++n;
      return n;
    };
    size_t count = digits();
    if (pos_ < text_.size() && text_[pos_] == '.') {
      ++pos_;
      count += digits();
    }
    if (count == 0) return Failed("точка без цифр в позиции " + std::to_string(from + 1));
    if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
      ++pos_;
      if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
      if (digits() == 0) return Failed("неполный порядок числа в позиции " + std::to_string(from + 1));
    }
    const std::string token(text_.substr(from, pos_ - from));
    v = platform::ParseDecimalPoint(token.c_str(), nullptr);
    return true;
  }

  bool Name(Real& v) {
    const size_t from = pos_;
    while (pos_ < text_.size() &&
           (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_'))
      ++pos_;
    const std::string_view name = text_.substr(from, pos_ - from);
    for (const ContourParameter& p : parameters_) {
      if (p.Name == name) {
        v = p.Value;
        return true;
      }
    }
    return Failed("неизвестный параметр «" + std::string(name) + "»");
  }

  std::string_view text_;
  const std::vector<ContourParameter>& parameters_;
  size_t pos_ = 0;
  std::string error_;
};

}  // namespace

bool EvaluateContourExpression(const std::string& text, const std::vector<ContourParameter>& parameters,
                               Real& value, std::string& error) {
  return Expression(text, parameters).Evaluate(value, error);
}

}  // namespace mdv
