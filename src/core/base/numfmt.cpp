#include "core/base/numfmt.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/base/platform.h"

namespace mdv {
namespace {

// Significant digits of FormatGeneral.
constexpr int GeneralDigits = 15;
// FormatGeneral switches to scientific notation below this magnitude.
constexpr int GeneralMinExponent = -5;  // 1e-5 is still written in fixed notation

// A value rounded to a number of significant digits: v ≈ 0 or d1.d2d3… × 10^Exponent.
struct Decimal {
  bool Negative = false;
  std::string Digits;  // exactly the requested count, leading digit non-zero unless v = 0
  int Exponent = 0;
};

// Splits the output of printf, whatever decimal separator the C locale of
// the process uses (a GUI toolkit may have switched it to the user's).
Decimal ToDecimal(Real v, int digits) {
  char buf[160];
  std::snprintf(buf, sizeof buf, "%.*Le", digits - 1, v);
  Decimal d;
  const char* p = buf;
  if (*p == '-') {
    d.Negative = true;
    ++p;
  }
  for (; *p && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') d.Digits += *p;
  }
  if (*p == 'e') d.Exponent = std::atoi(p + 1);
  return d;
}

// Fixed notation of v rounded to `decimals` places: integer digits and
// fraction digits, without separator or sign.
void ToFixedDigits(Real v, int decimals, std::string& intPart, std::string& fracPart) {
  const int n = std::snprintf(nullptr, 0, "%.*Lf", decimals, std::fabs(v));
  std::string buf(static_cast<size_t>(std::max(n, 0)) + 1, '\0');
  std::snprintf(buf.data(), buf.size(), "%.*Lf", decimals, std::fabs(v));
  buf.pop_back();
  intPart.clear();
  fracPart.clear();
  bool inFraction = false;
  for (char c : buf) {
    if (c >= '0' && c <= '9') {
      (inFraction ? fracPart : intPart) += c;
    } else {
      inFraction = true;
    }
  }
}

std::string NonFinite(Real v) {
  if (std::isnan(v)) return "NAN";
  return v < 0 ? "-INF" : "INF";
}

// d1,d2d3…E±x with trailing zeros dropped, no plus sign, no leading zeros in
// the exponent: the scientific form of the general format.
std::string Scientific(const Decimal& d) {
  std::string digits = d.Digits;
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  std::string s = d.Negative ? "-" : "";
  s += digits[0];
  if (digits.size() > 1) s.append(1, ',').append(digits, 1);
  s += "E";
  if (d.Exponent < 0) s += "-";
  s += std::to_string(std::abs(d.Exponent));
  return s;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Strict grammar: [sign] digits [sep digits] [e [sign] digits], at least one
// mantissa digit. Returns the text in C notation, or nothing.
std::optional<std::string> Normalize(std::string_view text, bool acceptPoint, bool acceptComma) {
  std::string_view s = Trim(text);
  std::string out;
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) out += s[i++];
  int mantissaDigits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    out += s[i++];
    ++mantissaDigits;
  }
  if (i < s.size() && ((acceptComma && s[i] == ',') || (acceptPoint && s[i] == '.'))) {
    out += '.';
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      out += s[i++];
      ++mantissaDigits;
    }
  }
  if (mantissaDigits == 0) return std::nullopt;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    out += 'e';
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) out += s[i++];
    int expDigits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      out += s[i++];
      ++expDigits;
    }
    if (expDigits == 0) return std::nullopt;
  }
  if (i != s.size()) return std::nullopt;
  return out;
}

// Correctly rounded conversion in the C locale, independent of the locale
// the process runs in. Overflow is not a number the model can use.
std::optional<Real> Convert(const std::string& c) {
  char* end = nullptr;
  const Real v = platform::ParseDecimalPoint(c.c_str(), &end);
  if (end != c.c_str() + c.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

}  // namespace

std::string FormatGeneral(Real v) { return FormatSignificant(v, GeneralDigits); }

std::string FormatSignificant(Real v, int significant) {
  if (!std::isfinite(v)) return NonFinite(v);
  if (v == 0) return "0";
  const Decimal d = ToDecimal(v, std::clamp(significant, 1, GeneralDigits));
  if (d.Exponent < GeneralMinExponent || d.Exponent >= GeneralDigits) return Scientific(d);
  std::string digits = d.Digits;
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  std::string s = d.Negative ? "-" : "";
  if (d.Exponent >= 0) {
    const size_t intDigits = static_cast<size_t>(d.Exponent) + 1;
    if (digits.size() <= intDigits) {
      s += digits + std::string(intDigits - digits.size(), '0');
    } else {
      s.append(digits, 0, intDigits).append(1, ',').append(digits, intDigits);
    }
  } else {
    s.append("0,").append(static_cast<size_t>(-d.Exponent - 1), '0').append(digits);
  }
  return s;
}

std::string FormatFixed(Real v, int p, int d) {
  if (!std::isfinite(v)) return NonFinite(v);
  if (p < 1) p = 1;
  if (d < 0) d = 0;
  const Decimal rounded = ToDecimal(v, p);
  if (v != 0 && rounded.Exponent + 1 > p) return Scientific(rounded);
  // One rounding, at the coarser of the P-th significant digit and the D-th
  // decimal; the places between them are written as zeros.
  const int kept = v == 0 ? d : std::min(d, p - 1 - rounded.Exponent);
  std::string intPart, fracPart;
  ToFixedDigits(v, kept, intPart, fracPart);
  fracPart += std::string(static_cast<size_t>(d - kept), '0');
  const bool allZero = intPart.find_first_not_of('0') == std::string::npos &&
                       fracPart.find_first_not_of('0') == std::string::npos;
  std::string s = (v < 0 && !allZero) ? "-" : "";
  s += intPart;
  if (d > 0) s.append(1, ',').append(fracPart);
  return s;
}

std::optional<Real> ParseReal(std::string_view text) {
  const auto c = Normalize(text, /*acceptPoint=*/false, /*acceptComma=*/true);
  if (!c) return std::nullopt;
  return Convert(*c);
}

std::optional<Real> ParseRealLenient(std::string_view text) {
  const auto c = Normalize(text, /*acceptPoint=*/true, /*acceptComma=*/true);
  if (!c) return std::nullopt;
  return Convert(*c);
}

std::optional<int32_t> ParseInt(std::string_view text) {
  std::string_view s = Trim(text);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty() || s.front() == '+' || (s.front() == '-' && text.find('+') != std::string_view::npos))
    return std::nullopt;
  int64_t v = 0;
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
  if (v < INT32_MIN || v > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(v);
}

std::string InvalidFloatMessage(std::string_view text) {
  return std::string("'").append(text).append("' is not a valid floating point value");
}

std::string InvalidIntMessage(std::string_view text) {
  return std::string("'").append(text).append("' is not a valid integer value");
}

}  // namespace mdv
