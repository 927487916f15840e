#include "core/flow/step_model.h"

#include "core/flow/refined_step.h"
#include "core/flow/step.h"

namespace mdv {

namespace {

// The program's own step: Euler with the wall rule, then the shedding intervals.
class ProgramStepModel final : public StepModel {
 public:
  void Prepare(Model&) const override {}
  void Move(Model& m, std::vector<int32_t>& shedCounters) const override {
    ConvectFreeVortices(m);
    ShedVortices(m, shedCounters);
  }
};

}  // namespace

const StepModel& StepModelOf(const Model& m) {
  static const ProgramStepModel program;
  if (m.Flow == FlowModel::Refined) return RefinedStep();
  return program;
}

}  // namespace mdv
