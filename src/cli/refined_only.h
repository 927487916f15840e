#pragma once
// Options only the refined model reads. Given without `--model refined` they
// would change nothing, silently: they are refused, on the command line and
// in a study, as --refined-budget is.
#include <string>
#include <vector>

#include "core/study/study_file.h"

namespace CLI {
class App;
}

namespace mdv::cli {

// By name without the dashes (a study's keys). A name a command lacks is
// simply not given there.
inline constexpr const char* RefinedOnlyKeys[] = {"smoothing-length", "shedding", "shed-placement", "viscosity"};

// Makes `command` refuse (RefusedArgument, status 2) a refined-only option
// given without --model refined, once its command line is parsed.
void RefuseRefinedOnlyWithoutModel(CLI::App* command);

// The refusal for one case's settings, or "".
std::string RefinedOnlyRefusal(const std::vector<StudySetting>& settings);

}  // namespace mdv::cli
