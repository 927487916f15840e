#pragma once
// The results of one case: named values with units, taken either from the
// state at the end of its run (instantaneous values) or from the averages
// file of a case that averaged. Both sources give the same kind of list, so
// the table of a study does not care where a value came from.
#include <string>
#include <string_view>
#include <vector>

#include "core/model/model.h"
#include "core/base/observer.h"
#include "core/study/study_file.h"

namespace mdv {

struct ResultValue {
  std::string Name;  // machine-readable: "Beff", "Beff_sd", "vx(0,1 0,05)"
  std::string Unit;  // "м", "м/с", "" for a ratio
  Real Value = 0;
};
using CaseResults = std::vector<ResultValue>;

// The names of the seven vortex-zone dimensions, as the averages file has them.
inline constexpr const char* VortexZoneNames[7] = {"Beff", "b", "l", "a0", "a", "dmax", "lmax"};
// The label a person reads for a result name, without its unit ("Beff" →
// "Bэф", "vx(0,1 0,05)" → "Vx в точке (0,1; 0,05)"); names it does not know
// unchanged.
std::string ResultLabel(const std::string& name);

// A result NAME_sd is the s.d. of NAME over the averaging, NAME_hw its 95 %
// half-width: plotted as NAME's error bars.
inline constexpr char SdSuffix[] = "_sd";
inline constexpr char HalfWidthSuffix[] = "_hw";
// NAME for such a spread; "" for any other name.
std::string SpreadOf(const std::string& name);

// The point of a result name, with the decimal comma: "(0,1 0,05)".
std::string ResultPointSuffix(const TRealPoint& p);
// name + suffix, as the results of a point are named.
std::string ResultName(const char* name, const std::string& suffix);

// Instantaneous results of a state (loaded with its plane): the vortex-zone
// dimensions from the window's default start points and step, and vx, vy and
// the speed at each requested point. The model is only read, apart from the
// analysis stop flag. False with a Russian message when the zone cannot be measured.
bool EndStateResults(Model& m, const ResultRequest& request, CaseResults& out, std::string& error,
                     Observer& obs = NullObserver());

// results.toml of a case: one line per value, in order.
std::string ResultsFileText(const CaseResults& results);
bool ParseResultsFile(std::string_view text, CaseResults& out, std::string& error);

}  // namespace mdv
