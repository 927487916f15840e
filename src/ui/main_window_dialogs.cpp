// The main window's commands that open the parameter dialogs and the result
// windows, and the copying of the recording dialogs into the model before
// every run. Menu items: "Конфигурация области" (miAreaConfigClick),
// "Пульсации" (miPulsationParamsClick), "Оторвавшийся вихрь" (hidden,
// miBreakPntParamsClick), "Графики пульсаций" (miPulsationChartsClick),
// "График оторвавшегося вихря" (hidden, miFreeVortexGraphClick),
// "Параметры вихревой области" (miVortexAreaClick). The area dialog's OK
// also ends a contour area (main_window_contour.cpp).
#include <QLabel>
#include <QPushButton>
#include <QString>

#include "core/model/area.h"
#include "core/model/area_validation.h"
#include "ui/area_params.h"
#include "ui/break_pnt_params.h"
#include "ui/dialog_messages.h"
#include "ui/free_vrt_graph.h"
#include "ui/main_window.h"
#include "ui/pulsate_param.h"
#include "ui/view_pulsate.h"
#include "ui/vortex_area_info.h"

namespace mdv {

void TfrmMain::miAreaConfigClick() {
  // The dialog rebuilds the model: never while a run uses its arrays.
  if (RefuseWhileRunning() || !frmAreaParams) return;
  // Fills the dialog, shows it, and on OK stores the parameters and discards
  // the free vortices and the time; Cancel leaves everything as it was.
  // Under a contour area it shows the parametric hood kept aside, and its
  // OK brings that kind of area back.
  const bool fromContour = model_.ContourArea;
  const AreaParameters shown =
      fromContour && parametricArea_ ? *parametricArea_ : AreaParametersOf(model_);
  if (!frmAreaParams->Execute(model_, shown)) return;
  model_.ContourArea = false;
  lbTime->setText(QStringLiteral("Прошло времени: "));
  lbVortexCount->setText(QStringLiteral("Свободных вихрей: "));
  BuildArea(model_, *this);
  if (fromContour) ResetView();
  ShowAreaKind();
  btnDrawClick();
  // Nothing to continue on the new area; Start keeps its state.
  btnContinue->setEnabled(false);
}

void TfrmMain::miPulsationParamsClick() {
  // A run reads the recording settings until it ends; an OK during a run is
  // applied by the next Start or Continue.
  if (frmPulsateParam) frmPulsateParam->Execute(!IsRunning());
}

void TfrmMain::miBreakPntParamsClick() {
  if (frmBreakPntParams) frmBreakPntParams->Execute(!IsRunning());
}

void TfrmMain::miPulsationChartsClick() {
  if (frmViewPulsate) frmViewPulsate->exec();
}

void TfrmMain::miFreeVortexGraphClick() {
  if (frmFreeVrtGraph) frmFreeVrtGraph->exec();
}

void TfrmMain::miVortexAreaClick() {
  if (model().FreeVortexCount == 0) {
    ShowMessage(this, TfrmVortexAreaInfo::NoVortexStructureText());
    return;
  }
  if (!frmVortexAreaInfo) return;
  btnDrawClick();
  frmVortexAreaInfo->exec();
  // The window drew the shared picture at its own size and scale: give the
  // picture back its main-window size and content.
  btnDrawClick();
}

void TfrmMain::ApplyBreakPntParams() {
  if (frmBreakPntParams) frmBreakPntParams->ApplyBreakPntParams();
}

bool TfrmMain::ApplyPulsateParams() {
  if (!frmPulsateParam || frmPulsateParam->ApplyPulsateParams()) return true;
  // Only reachable if the dialog's grid holds text that never passed its OK.
  ShowMessage(this, TfrmPulsateParam::BadPointsMessage());
  return false;
}

}  // namespace mdv
