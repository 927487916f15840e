#include "ui/break_pnt_params.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/model/model.h"
#include "ui/dialog_messages.h"
#include "ui/file_name_edit.h"

namespace mdv {

TfrmBreakPntParams::TfrmBreakPntParams(Model& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setWindowTitle(QStringLiteral("Параметры точки отрыва"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

  auto* group = new QGroupBox(QStringLiteral(" Оторвавшийся вихрь: "), this);
  cbRememberFreeVort = new QCheckBox(QStringLiteral("Запоминать циркуляцию оторв. вихря"), group);
  edFilename = new FileNameEdit(QStringLiteral("freevrt.fvt"),
                                QStringLiteral("Сохранение циркуляций оторв. вихря"),
                                QStringLiteral("Free Vortex Circulation (*.fvt)"),
                                QStringLiteral("fvt"), group);
  auto* g = new QVBoxLayout(group);
  g->addWidget(cbRememberFreeVort);
  g->addWidget(new QLabel(QStringLiteral("Файл для сохранения циркуляций:"), group));
  g->addWidget(edFilename);

  auto* buttons = OkCancelRow(this, btnOk, btnCancel);

  auto* v = new QVBoxLayout(this);
  v->addWidget(group);
  v->addLayout(buttons);
  v->setSizeConstraint(QLayout::SetFixedSize);
  setMinimumWidth(252);

  connect(cbRememberFreeVort, &QCheckBox::toggled, this,
          &TfrmBreakPntParams::cbRememberFreeVortClick);
  connect(btnOk, &QPushButton::clicked, this, &TfrmBreakPntParams::accept);
  connect(btnCancel, &QPushButton::clicked, this, &TfrmBreakPntParams::reject);
  cbRememberFreeVortClick();
}

void TfrmBreakPntParams::cbRememberFreeVortClick() {
  edFilename->setEnabled(cbRememberFreeVort->isChecked());
}

void TfrmBreakPntParams::RestoreFromModel() {
  cbRememberFreeVort->setChecked(model_.TrackOn);
  cbRememberFreeVortClick();
  edFilename->setText(QString::fromStdString(model_.TrackFileName));
}

void TfrmBreakPntParams::ApplyBreakPntParams() {
  model_.TrackOn = cbRememberFreeVort->isChecked();
  if (model_.TrackOn) model_.TrackFileName = edFilename->text().toStdString();
}

void TfrmBreakPntParams::Execute(bool applyOnOk) {
  if (exec() == QDialog::Rejected)
    RestoreFromModel();
  else if (applyOnOk)
    ApplyBreakPntParams();
}

}  // namespace mdv
