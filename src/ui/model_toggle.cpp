#include "ui/model_toggle.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QWidget>

#include "core/base/numfmt.h"
#include "core/model/refined_text.h"
#include "ui/dialog_messages.h"
#include "ui/elided_label.h"

namespace mdv {

ModelToggle::ModelToggle(QMenu* menu, QStatusBar* bar, Model& model, QObject* parent)
    : QObject(parent), model_(model) {
  miRefinedModel = menu->addAction(QStringLiteral("Уточнённая модель"));
  miRefinedModel->setObjectName(QStringLiteral("miRefinedModel"));
  miRefinedModel->setCheckable(true);
  miRefinedModel->setChecked(model_.Flow == FlowModel::Refined);
  lbRefinedModel = new QLabel(QStringLiteral("Уточнённая модель"), bar);
  lbRefinedModel->setObjectName(QStringLiteral("lbRefinedModel"));
  bar->addPermanentWidget(lbRefinedModel);
  lbRefinedModel->setVisible(miRefinedModel->isChecked());
  lbRefinedModel->setToolTip(QString::fromStdString(RefinedSetText(model_)));
  // Beside the run's verdict, whose figures depend on the limit: both share
  // a narrow bar, each ending in "…" (the whole text in the tool tip).
  lbFreeLimit = new ElidedLabel(bar);
  lbFreeLimit->setObjectName(QStringLiteral("lbFreeLimit"));
  bar->addPermanentWidget(lbFreeLimit, 1);
  lbFreeLimit->setVisible(false);
  // The lock's reason is the item's tool tip.
  menu->setToolTipsVisible(true);
  connect(miRefinedModel, &QAction::toggled, this, &ModelToggle::Apply);
}

QString ModelToggle::LockedText() {
  return QStringLiteral("Область задана контуром: её рассчитывает только уточнённая модель. "
                        "Чтобы вернуться к модели программы, задайте параметрическую область "
                        "(«Конфигурация области»).");
}

void ModelToggle::SetContourLock(bool locked) {
  contourLock_ = locked;
  miRefinedModel->setToolTip(locked ? LockedText() : QString());
  if (locked && !miRefinedModel->isChecked()) miRefinedModel->setChecked(true);
}

void ModelToggle::SetRunning(bool running) { miRefinedModel->setEnabled(!running); }

void ModelToggle::ShowFreeLimit(int32_t limit, Real time) {
  if (time < 0) {
    lbFreeLimit->setVisible(false);
    return;
  }
  lbFreeLimit->setText(QStringLiteral("Достигнут предел свободных вихрей (%1) при t = %2 сек.")
                           .arg(limit)
                           .arg(QString::fromStdString(FormatFixed(time, 6, 3))));
  lbFreeLimit->setToolTip(lbFreeLimit->text());
  lbFreeLimit->setVisible(true);
}

void ModelToggle::Apply(bool on) {
  if (!on && contourLock_) {
    const QSignalBlocker keep(miRefinedModel);
    miRefinedModel->setChecked(true);
    ShowMessage(qobject_cast<QWidget*>(parent()), LockedText());
    return;
  }
  model_.Flow = on ? FlowModel::Refined : FlowModel::Program;
  lbRefinedModel->setToolTip(QString::fromStdString(RefinedSetText(model_)));
  lbRefinedModel->setVisible(on);
  emit Switched(on);
}

}  // namespace mdv
