#pragma once
// The contour file: a hood's wall half-section as TOML an engineer writes by
// hand. Lengths in metres, speeds in m/s, the separation angle in degrees:
//
//   format = "rinfet-mdv contour"
//   version = 1
//   name = "Патрубок с закруглённым входом"
//   spacing = 0.01                  # h, m
//   [parameters]                    # optional named numbers a study may sweep
//   R = 0.06
//   [suction]
//   x = 1.0                         # m, the section spans r = 0 to the inner wall
//   speed = 1.0                     # m/s
//   [plane]
//   x = -4.0
//   radius = 0.5
//   [supply]                        # optional
//   segment = 3                     # the wall's segment, counted from 1
//   speed = 0.75                    # m/s, into the fluid
//   [separation]                    # optional
//   angle = 30                      # degrees
//   corners = [2, 3]                # optional: the ends of these segments shed
//   [wall]
//   start = [1.2, 0.17]             # [x, r], m
//   segments = [
//     { to = [0.0, 0.17] },
//     { to = ["-R", "0.15 + R"], radius = "R" },   # an arc, turning left when > 0
//   ]
//
// Segments are counted from 1; point k is the end of segment k (point 0 is
// the start), so a corner k joins segments k and k + 1. A coordinate, a
// radius or any other real value may be a string: an expression of numbers
// (decimal point), parameter names, + - * /, unary minus and parentheses.
#include <string>
#include <vector>

#include "core/model/contour.h"

namespace mdv {

// The text of the "format" key.
inline constexpr char ContourFormatName[] = "rinfet-mdv contour";

// Reads a contour. `overrides` replace the values of declared parameters
// before the expressions are evaluated (a study sweeps them), rounded to a
// double as the file's own numbers are; one naming an undeclared parameter
// is an error. On failure returns false, `out` is
// untouched and `error` says in Russian which key (and line) is wrong. The
// geometry is not judged here: ValidateContour does that.
bool ReadContourText(const std::string& text, Contour& out, std::string& error,
                     const std::vector<ContourParameter>& overrides = {});

// The same for a file; the message starts with the file's name.
bool ReadContourFile(const std::string& path, Contour& out, std::string& error,
                     const std::vector<ContourParameter>& overrides = {});

// The contour as the file's text: every number in full (a value a double
// holds as a TOML number, any other as a string of its shortest exact
// decimal form), the parameters with their values. Reading the text gives
// the same contour, bit for bit.
std::string WriteContourText(const Contour& c);

// Writes WriteContourText's text whole (atomically).
bool WriteContourFile(const std::string& path, const Contour& c, std::string& error);

// Evaluates an expression of the contour file over the parameters, m (or
// the parameter's unit). On failure returns false and says why.
bool EvaluateContourExpression(const std::string& text, const std::vector<ContourParameter>& parameters,
                               Real& value, std::string& error);

}  // namespace mdv
