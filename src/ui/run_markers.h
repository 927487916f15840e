#pragma once
// The main window's "Маркеры": a check box on the picture's tool bar that,
// during a run, releases markers from a grid of points in front of the hood
// and draws them over the flow picture coloured by their age, as smoke in a
// wind tunnel. They are the batch tool's tracers (core/averages/tracers.h,
// `run --tracer-grid`): passive, they only read the model between two steps,
// so the run's results are the same bits with or without them. The markers
// released after the start-up are counted, and their capture numbers join
// the run's averages ("Осреднённое течение" draws the capture lines); those
// released earlier are only shown. Ticking the box during a run releases
// markers from the next step on; unticking drops the markers in flight (the
// counts gathered so far stay with the averages until the next Start).
#include <QObject>
#include <chrono>

#include "core/averages/averaging.h"
#include "core/averages/tracers.h"
#include "core/base/observer.h"

class QCheckBox;
class QLabel;

namespace mdv {

class TfrmMain;

// The window's source grid, m: 48 points at the default hood, so that the
// markers in flight (at most 40 per point within the 10 s horizon, 1 920)
// stay within the 2 000 whose cost the tracers' bound is measured at.
inline constexpr double WindowMarkerGridSpacing = 0.1;

class RunMarkers : public QObject {
  Q_OBJECT
 public:
  // Adds the check box to the picture's tool bar of `w`.
  RunMarkers(TfrmMain& w, const AveragingState& averages);

  // The run's relay between the averages and the window: feeds the markers
  // after each step while the box is ticked, then passes the step on.
  class Relay : public ObserverRelay {
   public:
    Relay(RunMarkers& markers, Observer& inner);
    void StepDone(const Model& m) override;

   private:
    RunMarkers& markers_;
    TracerObserver feed_;
  };

  // The averages begin anew: so do the markers and their counts (at the next step).
  void BeginFresh();
  // The markers' capture numbers, when they ran in the present averages.
  bool HasResults() const { return tracers_.Started; }
  TracerResults Results() const { return SummariseTracers(tracers_); }
  const TracerState& State() const { return tracers_; }

  QCheckBox* cbMarkers;  // "Маркеры"
  // In the status bar while the markers are on: released, caught, lost, in
  // flight, the horizon and where the capture lines stand (MarkerStatusText).
  QLabel* lbMarkers;
  // Fills lbMarkers for model time `now`, s.
  void ShowStatus(double now);

 private:
  void Toggle(bool on);

  TfrmMain& w_;
  const AveragingState& averages_;
  TracerState tracers_;
  bool restart_ = true;  // start the markers afresh at the next step
  std::chrono::steady_clock::time_point shownAt_{};  // lbMarkers last filled during a run
};

}  // namespace mdv
