#pragma once
// The arithmetic path of the flow: how the attached system is built and
// solved and how velocities are summed. Chosen from the model's Execution
// (m.Exec) once for each call of the public functions of circulation.h, so
// the step code calls one interface whatever the path:
// - literal: the reference forms, one thread, full elimination every step;
// - extended: the same results bit for bit, on all threads, the elimination
//   recorded once per run;
// - double: the vectorised double kernel and LAPACK's factorization.
#include <cstdint>

#include "core/model/model.h"
#include "core/base/observer.h"

namespace mdv {

class FlowPath {
 public:
  // Builds (and factors) the system, telling obs how far it has come and
  // asking obs.StopRequested() between blocks; `stopped`: it gave up, the
  // system must not be solved.
  virtual bool BuildInfluenceMatrix(Model& m, Observer& obs, bool& stopped) const = 0;
  virtual void UpdateRightHandSide(Model& m) const = 0;
  virtual void SolveCirculations(Model& m) const = 0;
  virtual Real Velocity(const Model& m, const TRealPoint& p, const TRealPoint& dir,
                        int32_t skipIndex) const = 0;
  virtual void VelocityPair(const Model& m, const TRealPoint& p, int32_t skipIndex, Real& u,
                            Real& v) const = 0;

 protected:
  ~FlowPath() = default;
};

// Literal wins over Arithmetic: the reference path is extended by definition.
const FlowPath& PathOf(const Execution& exec);

// The path of m's arithmetic for m's model: the program's own (PathOf(m.Exec))
// or the refined field over it (refined_field.cpp).
const FlowPath& PathOf(const Model& m);

// The double path (double_path.cpp).
const FlowPath& DoublePath();

}  // namespace mdv
