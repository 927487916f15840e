#include "ui/pulsate_param.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "core/model/model.h"
#include "core/base/numfmt.h"
#include "ui/dialog_messages.h"
#include "ui/file_name_edit.h"

namespace mdv {

namespace {

constexpr int kMinPoints = 1;
constexpr int kMaxPoints = 100;
// The experiment grid: 7 stations along x, 11 heights each from 0 to 0.15 m.
constexpr int kStations = 7;
constexpr int kHeights = 11;
constexpr Real kHeightStep = 0.015L;  // m
const char* const kStationX[kStations] = {"0,09", "0,18", "0,21", "0,39", "0,45", "0,75", "0,81"};

QString General(Real v) { return QString::fromStdString(FormatGeneral(v)); }

}  // namespace

TfrmPulsateParam::TfrmPulsateParam(Model& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setWindowTitle(QStringLiteral("Параметры расчета пульсаций"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);

  cbUsePulsation = new QCheckBox(QStringLiteral("Вести расчет пульсаций"), this);

  gbPoints = new QGroupBox(QStringLiteral(" Точки для вычисления пульсаций: "), this);
  sePointsCnt = new QSpinBox(gbPoints);
  sePointsCnt->setRange(kMinPoints, kMaxPoints);
  sePointsCnt->setValue(1);
  sePointsCnt->setFixedWidth(85);

  sgPoints = new QTableWidget(1, 2, gbPoints);
  sgPoints->setHorizontalHeaderLabels(
      {QStringLiteral("Координата X"), QStringLiteral("Координата Y")});
  sgPoints->horizontalHeader()->resizeSection(0, 102);
  sgPoints->horizontalHeader()->resizeSection(1, 103);
  sgPoints->verticalHeader()->setDefaultSectionSize(18);
  sgPoints->verticalHeader()->setFixedWidth(20);
  sgPoints->setSelectionMode(QAbstractItemView::ContiguousSelection);
  sgPoints->setEditTriggers(QAbstractItemView::AllEditTriggers);
  sgPoints->setMinimumSize(254, 132);

  btnGeneratePoints =
      new QPushButton(QStringLiteral("Сгенерировать точки для эксперимента"), gbPoints);
  btnGeneratePoints->setMinimumWidth(
      btnGeneratePoints->fontMetrics().horizontalAdvance(btnGeneratePoints->text()) + 24);

  auto* g = new QGridLayout(gbPoints);
  g->addWidget(new QLabel(QStringLiteral("Количество точек:"), gbPoints), 0, 0);
  g->addWidget(sePointsCnt, 0, 1, Qt::AlignLeft);
  g->addWidget(new QLabel(QStringLiteral("Координаты точек:"), gbPoints), 1, 0, 1, 2);
  g->addWidget(sgPoints, 2, 0, 1, 2);
  g->addWidget(btnGeneratePoints, 3, 0, 1, 2);
  g->setColumnStretch(1, 1);

  edFilename = new FileNameEdit(QStringLiteral("pulsate.pls"),
                                QStringLiteral("Файл для сохранения пульсаций"),
                                QStringLiteral("Pulsation files (*.pls)"), QStringLiteral("pls"),
                                this);

  auto* buttons = OkCancelRow(this, btnOk, btnCancel);

  auto* v = new QVBoxLayout(this);
  v->addWidget(cbUsePulsation);
  v->addWidget(gbPoints);
  v->addWidget(new QLabel(QStringLiteral("Файл для сохранения  пульсаций:"), this));
  v->addWidget(edFilename);
  v->addSpacing(6);
  v->addLayout(buttons);
  v->setSizeConstraint(QLayout::SetFixedSize);

  connect(cbUsePulsation, &QCheckBox::toggled, this, &TfrmPulsateParam::cbUsePulsationClick);
  connect(sePointsCnt, &QSpinBox::valueChanged, this, &TfrmPulsateParam::sePointsCntChange);
  connect(btnGeneratePoints, &QPushButton::clicked, this,
          &TfrmPulsateParam::btnGeneratePointsClick);
  connect(btnOk, &QPushButton::clicked, this, &TfrmPulsateParam::accept);
  connect(btnCancel, &QPushButton::clicked, this, &TfrmPulsateParam::reject);

  // FormCreate: the grid has its header row and one point row; all disabled.
  sePointsCntChange();
  cbUsePulsationClick();
}

void TfrmPulsateParam::cbUsePulsationClick() {
  const bool on = cbUsePulsation->isChecked();
  edFilename->setEnabled(on);
  sePointsCnt->setEnabled(on);
  sgPoints->setEnabled(on);
  btnGeneratePoints->setEnabled(on);
}

void TfrmPulsateParam::sePointsCntChange() {
  const int rows = sePointsCnt->value();
  sgPoints->setRowCount(rows);
  // The row-header column stays empty, as a fixed column of the grid.
  for (int r = 0; r < rows; ++r)
    if (!sgPoints->verticalHeaderItem(r))
      sgPoints->setVerticalHeaderItem(r, new QTableWidgetItem(QString()));
}

QString TfrmPulsateParam::CellText(int col, int row) const {
  if (row == 0) return HeaderText(col);
  if (col < 1 || col > 2 || row < 1 || row > sgPoints->rowCount()) return {};
  const QTableWidgetItem* it = sgPoints->item(row - 1, col - 1);
  return it ? it->text() : QString();
}

void TfrmPulsateParam::SetCellText(int col, int row, const QString& text) {
  if (col < 1 || col > 2 || row < 1 || row > sgPoints->rowCount()) return;
  QTableWidgetItem* it = sgPoints->item(row - 1, col - 1);
  if (it)
    it->setText(text);
  else
    sgPoints->setItem(row - 1, col - 1, new QTableWidgetItem(text));
}

int TfrmPulsateParam::GridRowCount() const { return sgPoints->rowCount() + 1; }

QString TfrmPulsateParam::HeaderText(int col) const {
  if (col < 1 || col > 2) return {};
  const QTableWidgetItem* it = sgPoints->horizontalHeaderItem(col - 1);
  return it ? it->text() : QString();
}

QString TfrmPulsateParam::BadPointsMessage() {
  return QStringLiteral("Не корректно заданы координаты точек");
}

void TfrmPulsateParam::btnGeneratePointsClick() {
  sePointsCnt->setValue(kStations * kHeights);
  sePointsCntChange();
  for (int i = 1; i <= kStations; ++i) {
    for (int j = 1; j <= kHeights; ++j) {
      const int r = kHeights * (i - 1) + j;
      SetCellText(1, r, QString::fromUtf8(kStationX[i - 1]));
      SetCellText(2, r, General(kHeightStep * (j - 1)));
    }
  }
}

void TfrmPulsateParam::accept() {
  if (cbUsePulsation->isChecked()) {
    const int n = sePointsCnt->value();
    for (int r = 1; r <= n; ++r) {
      if (!ParseReal(CellText(1, r).toStdString()) || !ParseReal(CellText(2, r).toStdString())) {
        ShowMessage(this, BadPointsMessage());
        return;  // the dialog stays open with the user's input
      }
    }
  }
  QDialog::accept();
}

void TfrmPulsateParam::RestoreFromModel() {
  cbUsePulsation->setChecked(model_.PulsationOn);
  cbUsePulsationClick();
  sePointsCnt->setValue(model_.PulsationPointCount);  // kept within 1 … 100
  sePointsCntChange();
  const int n = std::min<int>(model_.PulsationPointCount,
                              static_cast<int>(model_.PulsationPoints.size()));
  for (int i = 0; i < n; ++i) {
    SetCellText(1, i + 1, General(model_.PulsationPoints[i].X));
    SetCellText(2, i + 1, General(model_.PulsationPoints[i].Y));
  }
  edFilename->setText(QString::fromStdString(model_.PulsationFileName));
}

bool TfrmPulsateParam::ApplyPulsateParams() {
  if (!cbUsePulsation->isChecked()) {
    model_.PulsationOn = false;
    return true;
  }
  const int n = sePointsCnt->value();
  TRealPointArray points(n);
  for (int i = 0; i < n; ++i) {
    const auto x = ParseReal(CellText(1, i + 1).toStdString());
    const auto y = ParseReal(CellText(2, i + 1).toStdString());
    if (!x || !y) return false;
    points[i] = TRealPoint{*x, *y};
  }
  model_.PulsationOn = true;
  model_.PulsationPointCount = n;
  model_.PulsationPoints = std::move(points);
  model_.PulsationFileName = edFilename->text().toStdString();
  return true;
}

void TfrmPulsateParam::Execute(bool applyOnOk) {
  if (exec() == QDialog::Rejected)
    RestoreFromModel();
  else if (applyOnOk)
    ApplyPulsateParams();
}

}  // namespace mdv
