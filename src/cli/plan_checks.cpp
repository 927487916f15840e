#include "cli/plan_checks.h"

#include <set>

#include "cli/cli_text.h"
#include "cli/refined_only.h"
#include "core/base/numfmt.h"
#include "core/model/contour_file.h"
#include "core/model/contour_validation.h"
#include "core/study/study_averages.h"
#include "core/study/study_plan.h"

namespace mdv::cli {

namespace {

// The case's contour with its parameters, as its run builds it: "" when it
// can be built (or the case has no contour), else why not. The reader has
// judged each file at its [base] values; a swept parameter may still make
// the wall cross itself or leave the suction section.
std::string ContourRefusal(const std::vector<StudySetting>& settings, std::set<std::string>& judged) {
  std::string path, values;
  std::vector<ContourParameter> overrides;
  for (const StudySetting& s : settings) {
    const std::string_view name = ContourParameterName(s.Key);
    if (s.Key == "contour") path = s.Value;
    if (name.empty()) continue;
    const auto v = ParseRealLenient(s.Value);
    if (!v) return "ключ «" + s.Key + "»: ожидается число";
    overrides.push_back({std::string(name), *v});
    values += (values.empty() ? "" : ", ") + s.Key + " = " + DisplayValue(s.Value);
  }
  // Cases differing only in other options build the same contour.
  if (path.empty() || !judged.insert(path + '\n' + values).second) return {};
  Contour c;
  std::string error;
  if (!ReadContourFile(path, c, error, overrides)) return error;
  const std::string invalid = ValidateContour(c);
  if (invalid.empty()) return {};
  return Quoted(path) + (values.empty() ? "" : " при " + values) + ": " + invalid;
}

}  // namespace

PlanReview ReviewPlan(const StudyDefinition& definition) {
  PlanReview review;
  const auto variants = RefinedVariants(definition);
  const size_t count = StudyCaseCount(definition);
  size_t plain = 0;  // cases that do not average
  std::set<std::string> contours;  // contours already judged: file and parameter values
  // One case at a time: a plan of 10⁵ cases is never held whole.
  for (size_t i = 0; i < count; ++i) {
    const StudyCase c = PlanCase(definition, variants, i);
    std::string refused = RefinedOnlyRefusal(c.Settings);
    if (refused.empty()) refused = ContourRefusal(c.Settings, contours);
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
