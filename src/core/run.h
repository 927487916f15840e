#pragma once
// The simulation run loop.
#include <cstdint>
#include <string>

#include "core/model.h"
#include "core/observer.h"

namespace mdv {

struct RunSummary {
  enum class End { TimeLimit, Stopped, NonFinite, RecordWriteFailed };
  End HowEnded = End::TimeLimit;
  int64_t Steps = 0;       // steps completed in this run
  std::string Message;     // empty unless something went wrong (Russian, for the user)
};

// Advances the model from startTime to endTime with the given step. Writes the
// pulsation and circulation records at the end when they are switched on.
RunSummary RunSimulation(Model& m, int32_t maxFree, int32_t freeCount, Real startTime,
                         Real endTime, Real step, Observer& obs = NullObserver());

}  // namespace mdv
