#pragma once
// Results of a case that averaged, read from the averages file its run wrote
// (JSON, format "rinfet-mdv-averages", version 1).
#include <string>
#include <string_view>

#include "core/study/study_results.h"

namespace mdv {

// The name of the averages file in a case folder.
inline constexpr char CaseAveragesName[] = "averages.json";

// The run options that make a run average (tracers included); a case with
// any of them (a flag set to true) collects its results from the averages file.
bool CaseAverages(const std::vector<StudySetting>& settings);

// From the averages file: the mean and s.d. of each vortex-zone dimension
// ("Beff", "Beff_sd", …; left out when no zone was measured), the model's
// centre-line v/v0 at each requested x/D (the listed station nearest to it),
// the flux ratio, the contraction (C_c at the vena contracta "Cc", its place
// "xc/D" from the mouth, the jet radius "rc"; the reattachment length "Lr/D"
// when the flow reattaches within the channel; the entry loss by
// Borda–Carnot "zeta_BC" and by the momentum balance "zeta_M", both also
// beside the vortex-zone results), the caught fraction
// "capture(x y)" and median capture time "tcap(x y)" of each tracer source
// given by --tracers, and the mean vx, vy and speed at each requested point (the
// nearest node of the averaged grid; left out inside a solid or off the grid).
// Each centre-line, flux and point mean is followed by its 95 % half-width
// (NAME_hw) where the averages file trusts one.
// The steady-state verdict of a case that averaged, as a result value: 1
// when the flow was judged steady, 0 when not. The table shows it as its
// own column, not as a number.
inline constexpr char SteadyResultName[] = "steady";

bool AveragesResults(std::string_view json, const ResultRequest& request, CaseResults& out,
                     std::string& error);

}  // namespace mdv
