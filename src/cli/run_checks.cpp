#include "cli/run_checks.h"

#include <cmath>

#include "core/base/numfmt.h"

namespace mdv::cli {

std::string StepCountRefusal(Real startTime, Real endTime, Real dt) {
  // The loop steps while the time is not past the end: about this many steps.
  const Real steps = std::floor((endTime - startTime) / dt) + 1;
  if (!(steps > MaxRunSteps)) return {};
  const std::string count = std::isfinite(steps) ? FormatGeneral(steps) : "бесконечно много";
  return "расчет потребовал бы " + count + " шагов (от " + FormatGeneral(startTime) + " до " +
         FormatGeneral(endTime) + " с с шагом " + FormatGeneral(dt) +
         " с), больше допустимых 100 000 000: проверьте --dt и --max-time";
}

}  // namespace mdv::cli
