#pragma once
// What one run step does to the free rings, chosen once per run by the
// model's FlowModel: the program's own step (step.h: an Euler move with the
// wall rule, shedding by the intervals up to MaxFreeVortex) or the refined
// step (refined_step.h). The run loop then solves the attached circulations.
#include <cstdint>
#include <vector>

#include "core/model/model.h"

namespace mdv {

class StepModel {
 public:
  // At the start of a run, once the area is built and the free rings are in
  // place: sizes the step's work arrays for the run's free-vortex limit.
  virtual void Prepare(Model& m) const = 0;
  // Moves the free rings by m.Dt (m.Time is already the step's end) and sheds new ones.
  virtual void Move(Model& m, std::vector<int32_t>& shedCounters) const = 0;

 protected:
  ~StepModel() = default;
};

const StepModel& StepModelOf(const Model& m);

}  // namespace mdv
