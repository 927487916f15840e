#include "ui/precision_toggle.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>

namespace mdv {

PrecisionToggle::PrecisionToggle(QMenu* menu, QStatusBar* bar, Model& model, QObject* parent)
    : QObject(parent), model_(model) {
  miDoublePrecision = menu->addAction(QStringLiteral("Быстрый счёт (двойная точность)"));
  miDoublePrecision->setObjectName(QStringLiteral("miDoublePrecision"));
  miDoublePrecision->setCheckable(true);
  miDoublePrecision->setChecked(model_.Exec.Arithmetic == Precision::Double);
  lbPrecision = new QLabel(QStringLiteral("Быстрый счёт (двойная точность)"), bar);
  lbPrecision->setObjectName(QStringLiteral("lbPrecision"));
  bar->addPermanentWidget(lbPrecision);
  lbPrecision->setVisible(miDoublePrecision->isChecked());
  connect(miDoublePrecision, &QAction::toggled, this, &PrecisionToggle::Apply);
}

void PrecisionToggle::SetRunning(bool running) { miDoublePrecision->setEnabled(!running); }

void PrecisionToggle::Apply(bool on) {
  model_.Exec.Arithmetic = on ? Precision::Double : Precision::Extended;
  lbPrecision->setVisible(on);
}

}  // namespace mdv
