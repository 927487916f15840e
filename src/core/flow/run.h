#pragma once
// flow/ — computing the flow: the ring kernel, velocity sums, the attached
// circulations, the three arithmetic paths (literal, fast extended, double
// with its vector kernel builds), the step and this run loop. Uses base/
// and model/.
//
// The simulation run loop.
#include <cstdint>
#include <string>

#include "core/model/model.h"
#include "core/base/observer.h"

namespace mdv {

struct RunSummary {
  // EndTimeReached: the run could make no step and changed nothing.
  enum class End { TimeLimit, Stopped, NonFinite, RecordWriteFailed, EndTimeReached };
  End HowEnded = End::TimeLimit;
  int64_t Steps = 0;       // steps completed in this run
  std::string Message;     // empty unless something went wrong or no step could be made
                           // (Russian, for the user)
  // Model time at the end of the first step that left MaxFreeVortex free
  // vortices, s; negative when the limit was never reached. With the
  // program's model shedding stops there until rings leave; with the refined
  // model it is a memory ceiling that should not be met.
  Real FreeLimitTime = -1;
  bool FreeLimitReached() const { return FreeLimitTime >= 0; }
};

// What a run says when the free-vortex limit was reached (Russian, for the user).
std::string FreeLimitWarning(int32_t maxFree, Real time);

// What a run whose end time is already reached says.
inline constexpr char EndTimeReachedMessage[] = "Заданное время моделирования уже достигнуто";

// A run steps while its time is not past the end time: one that starts past it
// makes no step.
bool RunMakesNoStep(Real startTime, Real endTime);

// The state a run would start from, without a step: the area built anew (or
// the free vortices kept when there are any) and the attached circulations
// solved; time and records untouched. False when obs stopped the set-up.
bool SolveWithoutStep(Model& m, int32_t maxFree, int32_t freeCount, Observer& obs = NullObserver());

// Advances the model from startTime to endTime with the given step. Writes the
// pulsation and circulation records at the end when they are switched on. A
// run that would make no step (RunMakesNoStep) returns EndTimeReached at once
// and leaves the model and every record file as they were.
RunSummary RunSimulation(Model& m, int32_t maxFree, int32_t freeCount, Real startTime,
                         Real endTime, Real step, Observer& obs = NullObserver());

}  // namespace mdv
