#pragma once
// What `study plan` says of a study before it writes the folder: a case the
// run would refuse (a refined-model option without model = "refined", a
// contour its parameters make one the model cannot build), and
// results some cases cannot give (the averages' columns of a case that does
// not average).
#include <string>
#include <vector>

#include "core/study/study_file.h"

namespace mdv::cli {

struct PlanReview {
  std::string Refusal;                // "" when every case can run
  std::vector<std::string> Warnings;  // for stderr; the plan is made all the same
};

PlanReview ReviewPlan(const StudyDefinition& definition);

}  // namespace mdv::cli
