#pragma once
// The window's choice of arithmetic: a check item in the Параметры menu and a
// mark in the status bar while the double path is on. The item is locked
// while a run is in progress (a run keeps the arithmetic it started with).
#include <QObject>

#include "core/model/model.h"

class QAction;
class QLabel;
class QMenu;
class QStatusBar;

namespace mdv {

class PrecisionToggle : public QObject {
  Q_OBJECT
 public:
  PrecisionToggle(QMenu* menu, QStatusBar* bar, Model& model, QObject* parent);
  QAction* action() const { return miDoublePrecision; }
  void SetRunning(bool running);

 private:
  void Apply(bool on);

  Model& model_;
  QAction* miDoublePrecision = nullptr;
  QLabel* lbPrecision = nullptr;
};

}  // namespace mdv
