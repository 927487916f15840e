#pragma once
// The linear system of the attached circulations and the velocity field.
#include "core/model/model.h"
#include "core/base/observer.h"

namespace mdv {

// m.Exec chooses the path (flow_path.h). On the extended path the matrix
// rows and the right-hand-side rows are computed on all threads of m.Exec,
// and the elimination of the coefficients is recorded once by
// BuildInfluenceMatrix and replayed by each solve; the results are those of
// the literal path bit for bit. The double path keeps its system in
// m.Double.System (InfluenceMatrix stays empty) and its circulations are the
// double solution.
bool BuildInfluenceMatrix(Model& m);
// BuildInfluenceMatrix for a run: tells obs how far it has come and asks
// obs.StopRequested() between blocks of rows and between
// elimination steps, so that a large system can be given up within a
// fraction of a second. Returns false when it was stopped: the system is
// then incomplete and must not be solved. Results are those of
// BuildInfluenceMatrix bit for bit.
bool SetUpCirculationSystem(Model& m, Observer& obs);
void UpdateRightHandSide(Model& m);
void SolveCirculations(Model& m);

// Component along dir of the velocity at p induced by all vortices except
// skipIndex (-1 = none), m/s. Vortices closer than VortexSpacing/2 - 1e-5 m
// are left out.
Real CalcVelocity(const Model& m, const TRealPoint& p, const TRealPoint& dir, int32_t skipIndex);

// CalcVelocity along (1, 0) into u and along (0, 1) into v from one pass over
// the vortices with one elliptic evaluation per vortex; bit for bit the two
// single calls (which it makes on the literal path, m.Exec.Literal). On the
// double path both are the double sums (and CalcVelocity is dir.X·u + dir.Y·v).
void CalcVelocityPair(const Model& m, const TRealPoint& p, int32_t skipIndex, Real& u, Real& v);

}  // namespace mdv
