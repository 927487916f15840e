#pragma once
// The refined model's set as a user reads it: the window's status bar and
// the batch tool name the set that made the figures.
#include <string>

#include "core/model/model.h"

namespace mdv {

// "Уточнённая модель: поток Кутты …; δ = 0,01 м, ν = 0,0003 м²/с": the shed
// rule, the new ring's place, δ and ν of m as they stand, the decimal comma.
std::string RefinedSetText(const Model& m);

}  // namespace mdv
