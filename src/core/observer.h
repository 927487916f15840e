#pragma once
// How long computations of the core talk to whoever drives them (the window,
// the batch tool, a test). The core never paints; it reports and asks.
#include <string>

namespace mdv {

struct Model;
struct TRealPoint;

class Observer {
 public:
  virtual ~Observer() = default;
  // BuildArea's status text ("Количество присоединенных вихрей: 396").
  virtual void StatusText(const std::string& /*text*/) {}
  // A run step is complete: draw the free-vortex layer, show time and count.
  virtual void StepDone(const Model& /*m*/) {}
  // Run the pending user-interface events once.
  virtual void PumpEvents() {}
  // Asked after PumpEvents; the model's own stop flags are tested as well.
  virtual bool StopRequested() { return false; }
  // A traced line (stream line, vortex-zone trace) got a new point; `first`
  // is true for the start point of a line.
  virtual void TracePoint(const TRealPoint& /*p*/, bool /*first*/) {}
};

// An observer that does nothing; the default of every core routine.
Observer& NullObserver();

}  // namespace mdv
