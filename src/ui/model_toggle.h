#pragma once
// The window's choice of flow model: a check item "Уточнённая модель" in the
// Параметры menu and a mark in the status bar while it is on; a second mark
// when a run reached its free-vortex limit. The item is locked while a run
// is in progress (a run keeps the model it started with), and held on while
// the area is a contour (only the refined model runs a contour area).
#include <QObject>
#include <QString>

#include "core/model/model.h"

class QAction;
class QLabel;
class QMenu;
class QStatusBar;

namespace mdv {

class ModelToggle : public QObject {
  Q_OBJECT
 public:
  ModelToggle(QMenu* menu, QStatusBar* bar, Model& model, QObject* parent);
  QAction* action() const { return miRefinedModel; }
  void SetRunning(bool running);
  // Holds the refined model on while a contour area is loaded: locking
  // switches it on (Switched tells the window), and switching it off is
  // refused with LockedText until the lock is lifted.
  void SetContourLock(bool locked);
  bool ContourLocked() const { return contourLock_; }
  static QString LockedText();
  // Shows (time >= 0) or hides the free-vortex limit mark.
  void ShowFreeLimit(int32_t limit, Real time);

 signals:
  // The model was switched by the user: the window gives the run settings
  // of the model chosen (the refined model's ceiling and step).
  void Switched(bool refined);

 private:
  void Apply(bool on);

  Model& model_;
  bool contourLock_ = false;
  QAction* miRefinedModel = nullptr;
  QLabel* lbRefinedModel = nullptr;
  QLabel* lbFreeLimit = nullptr;
};

}  // namespace mdv
