#pragma once
// One time step's motion: convection of the free vortices with the wall rule,
// and shedding at the separation points.
#include <vector>

#include "core/model/model.h"

namespace mdv {

void ConvectFreeVortices(Model& m);
void ShedVortices(Model& m, std::vector<int32_t>& shedCounters);

}  // namespace mdv
