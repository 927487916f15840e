#pragma once
// Numbers as the user sees and types them: the decimal comma.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/base/real.h"

namespace mdv {

// At most 15 significant digits, no trailing zeros; fixed notation when the
// value has at most 15 integer digits and |v| >= 1e-5 (or is 0), else scientific.
std::string FormatGeneral(Real v);
// The same with `digits` (1-15) significant digits: 0,001326, 12350, 1,326E-6.
std::string FormatSignificant(Real v, int digits);
// Rounded to p significant digits, written with exactly d decimals (digits
// beyond the p significant ones as 0); more than p integer digits: scientific.
std::string FormatFixed(Real v, int p, int d);

// User text with the decimal comma (surrounding blanks allowed). A decimal
// point is not accepted: the program's fields use the comma.
std::optional<Real> ParseReal(std::string_view text);
std::optional<int32_t> ParseInt(std::string_view text);
// Command-line numbers: a decimal point or a comma.
std::optional<Real> ParseRealLenient(std::string_view text);

// The conversion-error reports.
std::string InvalidFloatMessage(std::string_view text);  // "'%s' is not a valid floating point value"
std::string InvalidIntMessage(std::string_view text);    // "'%s' is not a valid integer value"

}  // namespace mdv
