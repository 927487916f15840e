#pragma once
// base/ — what every layer stands on: the real type, number formats, the
// little-endian byte codec, whole-file saving, the platform interface (all
// system calls, in platform_posix.cpp), the thread pool and the observer of
// long work. Uses only the standard library.
//
// The model's real type: the 80-bit x87 extended format, stored in files as
// 10 little-endian bytes. Every model quantity is held in it.
#include <limits>

namespace mdv {

using Real = long double;
static_assert(std::numeric_limits<Real>::digits == 64,
              "the model needs the 80-bit extended type (64-bit significand)");

// Pi as the extended constant of the model (3.1415926535897932385).
inline constexpr Real Pi = 3.1415926535897932385L;

}  // namespace mdv
