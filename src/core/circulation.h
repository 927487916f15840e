#pragma once
// The linear system of the attached circulations and the velocity field.
#include "core/model.h"

namespace mdv {

bool BuildInfluenceMatrix(Model& m);
void UpdateRightHandSide(Model& m);
void SolveCirculations(Model& m);

// Component along dir of the velocity at p induced by all vortices except
// skipIndex (-1 = none), m/s. Vortices closer than VortexSpacing/2 - 1e-5 m
// are left out.
Real CalcVelocity(const Model& m, const TRealPoint& p, const TRealPoint& dir, int32_t skipIndex);

}  // namespace mdv
