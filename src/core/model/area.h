#pragma once
// The discrete model of the hood: body ribs, attached vortices, control
// points, separation points and the barrier contour.
#include <string>

#include "core/model/model.h"
#include "core/base/observer.h"

namespace mdv {

// Rebuilds everything derived from the area parameters (no checks of its own:
// callers validate, see ValidateAreaParameters). Reports the status text.
void BuildArea(Model& m, Observer& obs = NullObserver());

// "Количество присоединенных вихрей: " + AttachedCount.
std::string AttachedCountText(const Model& m);

}  // namespace mdv
