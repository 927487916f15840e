#pragma once
// How long computations of the core talk to whoever drives them (the window,
// the batch tool, a test). The core never paints; it reports and asks.
#include <cstdint>
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
  // Also asked, without PumpEvents, between the blocks of a run's set-up.
  virtual bool StopRequested() { return false; }
  // The set-up of a run, before its first step: the influence matrix is
  // built row by row (Matrix), then its elimination is recorded column by
  // column (Elimination, off the literal path). `done` of `total` are
  // finished; the stop question follows each report.
  enum class SetupStage { Matrix, Elimination };
  virtual void SetupProgress(SetupStage /*stage*/, int32_t /*done*/, int32_t /*total*/) {}
  // A traced line (stream line, vortex-zone trace) got a new point; `first`
  // is true for the start point of a line.
  virtual void TracePoint(const TRealPoint& /*p*/, bool /*first*/) {}
  // The run's free vortices reached its limit (once per run, after the step
  // that reached it).
  virtual void FreeLimitReached(const Model& /*m*/) {}
};

// Passes every report and question on to another observer; observers that
// add to a run (a step limit, the averages) derive from it and override only
// what they add, so a report added here later reaches the driver through them.
class ObserverRelay : public Observer {
 public:
  explicit ObserverRelay(Observer& inner) : inner_(inner) {}
  void StatusText(const std::string& text) override { inner_.StatusText(text); }
  void StepDone(const Model& m) override { inner_.StepDone(m); }
  void PumpEvents() override { inner_.PumpEvents(); }
  bool StopRequested() override { return inner_.StopRequested(); }
  void SetupProgress(SetupStage stage, int32_t done, int32_t total) override {
    inner_.SetupProgress(stage, done, total);
  }
  void TracePoint(const TRealPoint& p, bool first) override { inner_.TracePoint(p, first); }
  void FreeLimitReached(const Model& m) override { inner_.FreeLimitReached(m); }

 protected:
  Observer& inner_;
};

// An observer that does nothing; the default of every core routine.
Observer& NullObserver();

}  // namespace mdv
