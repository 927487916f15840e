#pragma once
// The main window's part in the averages: the check box "До установления
// режима" beside the run fields, the verdict in the status bar, "Сохранить
// средние…" and "Загрузить средние…" in the Данные menu and "Осреднённое
// течение" in the Информация menu; the markers ("Маркеры", run_markers.h). Every run of the window feeds the
// averages, as the batch tool's runs do; they live for the session: Continue
// adds to them, Start begins anew. The averages window is not modal: while it
// is open it follows the run (at a grid sample, at most once a second).
#include <chrono>
#include <QObject>
#include <QString>
#include <cstdint>
#include <optional>

#include "core/averages/averaging.h"
#include "core/flow/run.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;

namespace mdv {

class TfrmMain;
class TfrmAveragedFlow;
class RunMarkers;

class RunAverages : public QObject {
  Q_OBJECT
 public:
  // Adds its controls and menu items to the window and creates the
  // "Осреднённое течение" window as the main window's child.
  explicit RunAverages(TfrmMain& w);

  // Start: the next run begins the averages (and the markers) anew.
  void BeginFresh() { fresh_ = true; }
  // The run of Start or Continue, fed to the averages; shows the verdict.
  RunSummary Run(int32_t maxFree, int32_t freeCount, Real startTime, Real endTime, Real step);

  // Reads "Осреднять с" (s, decimal comma; empty: from the start-up's end as
  // the running verdict finds it) for the next run; tells the user and
  // returns false when the text is not a number.
  bool ReadAverageFrom();

  AveragingState& State() { return state_; }
  // What the window and the file show; HasAverages is false when nothing was
  // averaged yet or the averages belong to another area than the present one.
  AveragingResults Results() const;
  bool BelongsToPresentArea() const;

  // Writes the averages JSON; tells the user and returns false when there is
  // nothing to save or the file cannot be written.
  bool SaveTo(const QString& path);
  // Fills the window from the present averages.
  void RefreshWindow();
  // During a run, after each step: refreshes the open window when a grid
  // sample came since it was last filled and a second has passed.
  void FollowRun();

  QLineEdit* edAverageFrom;  // "Осреднять с … сек." on the picture's tool bar, before "Маркеры"
  QCheckBox* cbUntilSteady;  // "До установления режима"
  QLabel* lbSteady;          // the verdict of the last run
  QAction* miSaveAverages;   // "Сохранить средние…"
  QAction* miLoadAverages;   // "Загрузить средние…"
  QAction* miAveragedFlow;   // "Осреднённое течение"
  TfrmAveragedFlow* frmAveragedFlow;
  RunMarkers* markers;  // "Маркеры" in the picture group; their capture numbers

  static QString NothingToSaveText();

 public slots:
  void miSaveAveragesClick();
  void miLoadAveragesClick();
  void miAveragedFlowClick();

 private:
  // Puts the averages window beside the main window the first time it opens.
  void PlaceBeside();

  TfrmMain& w_;
  AveragingState state_;
  bool placed_ = false;
  bool fresh_ = true;
  std::optional<Real> averageFrom_;  // s, as last read from edAverageFrom
  // What the window last showed of the session's averages, and when.
  int64_t shownSamples_ = -1;
  std::chrono::steady_clock::time_point shownAt_{};
};

}  // namespace mdv
