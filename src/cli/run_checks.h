#pragma once
// Limits a batch run is checked against before it starts.
#include <cstdint>
#include <string>

#include "core/base/real.h"

namespace mdv::cli {

// Largest number of steps a batch run may take. Beyond it a run is a typing
// error (--dt 1e-300, --max-time 1e999): it would never end, and unlike the
// window's run nobody is watching to stop it.
inline constexpr Real MaxRunSteps = 1e8L;

// Empty when a run from startTime to endTime in steps of dt (s, dt > 0)
// takes at most MaxRunSteps steps; otherwise the refusal, with the count.
std::string StepCountRefusal(Real startTime, Real endTime, Real dt);

}  // namespace mdv::cli
