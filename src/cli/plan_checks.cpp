#include "cli/plan_checks.h"

#include "cli/refined_only.h"
#include "core/study/study_averages.h"
#include "core/study/study_plan.h"

namespace mdv::cli {

PlanReview ReviewPlan(const StudyDefinition& definition) {
  PlanReview review;
  const auto variants = RefinedVariants(definition);
  const size_t count = StudyCaseCount(definition);
  size_t plain = 0;  // cases that do not average
  // One case at a time: a plan of 10⁵ cases is never held whole.
  for (size_t i = 0; i < count; ++i) {
    const StudyCase c = PlanCase(definition, variants, i);
    const std::string refused = RefinedOnlyRefusal(c.Settings);
    if (!refused.empty()) {
      review.Refusal = "вариант " + std::to_string(c.Id) + ": " + refused;
      return review;
    }
    plain += !CaseAverages(c.Settings);
  }
  const ResultRequest& r = definition.Results;
  std::string averaged;
  if (!r.CentrelineXD.empty()) averaged += "centreline";
  if (r.Flux) averaged += std::string(averaged.empty() ? "" : ", ") + "flux";
  if (r.Contraction) averaged += std::string(averaged.empty() ? "" : ", ") + "contraction";
  if (plain > 0 && !averaged.empty())
    review.Warnings.push_back("[results] " + averaged + ": эти результаты дают только варианты с осреднением " +
                              "(until-steady, tolerance, average-from, tracers или tracer-grid); у " +
                              std::to_string(plain) + " из " + std::to_string(count) +
                              " вариантов их столбцы останутся пустыми");
  return review;
}

}  // namespace mdv::cli
