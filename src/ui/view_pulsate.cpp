#include "ui/view_pulsate.h"

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/chart_export.h"
#include "ui/chart_style.h"
#include "ui/dialog_messages.h"
#include "ui/spectrum_chart.h"

namespace mdv {

TfrmViewPulsate::TfrmViewPulsate(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Просмотр пульсаций"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  resize(820, 560);

  btnLoad = new QPushButton(QStringLiteral("Загрузить"), this);
  labFile = new QLabel(QStringLiteral("Имя файла: "), this);
  lbPoints = new QListWidget(this);
  lbPoints->setFixedWidth(190);

  auto* chart = new QChart;
  chart->setTitle(QStringLiteral("График пульсаций"));
  chart->legend()->setAlignment(Qt::AlignBottom);
  Series1 = new QLineSeries(chart);
  Series1->setName(QStringLiteral("Продольные пульсации"));
  Series1->setColor(QColor(255, 0, 0));
  Series2 = new QLineSeries(chart);
  Series2->setName(QStringLiteral("Поперечные пульсации"));
  Series2->setColor(QColor(0, 128, 0));
  chart->addSeries(Series1);
  chart->addSeries(Series2);
  axisX_ = new QCategoryAxis(chart);
  axisY_ = new QCategoryAxis(chart);
  for (QCategoryAxis* axis : {axisX_, axisY_}) {
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  }
  StyleChart(chart, axisX_, axisY_);
  axisX_->setTitleText(QStringLiteral("t, с"));
  axisY_->setTitleText(QStringLiteral("Пульсации скорости, м/с"));
  LabelAxisTicks(axisX_);
  LabelAxisTicks(axisY_);
  Series1->attachAxis(axisX_);
  Series1->attachAxis(axisY_);
  Series2->attachAxis(axisX_);
  Series2->attachAxis(axisY_);
  Chart1 = new QChartView(chart, this);
  Chart1->setRenderHint(QPainter::Antialiasing);

  note_ = new QLabel(this);
  note_->setAlignment(Qt::AlignCenter);
  note_->setWordWrap(true);
  chartStack_ = new QStackedWidget(this);
  chartStack_->addWidget(Chart1);
  chartStack_->addWidget(note_);

  labVx = new QLabel(this);
  labVy = new QLabel(this);
  labVx2 = new QLabel(this);
  labVy2 = new QLabel(this);
  for (QLabel* l : {labVx, labVy, labVx2, labVy2})
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);

  btnSavePicture = new QPushButton(QStringLiteral("Сохранить рисунок..."), this);
  btnSaveCsv = new QPushButton(QStringLiteral("Сохранить ряды (CSV)..."), this);
  btnSavePicture->setEnabled(false);
  btnSaveCsv->setEnabled(false);

  auto* top = new QHBoxLayout;
  top->addWidget(btnLoad);
  top->addWidget(labFile, 1);
  top->addWidget(btnSavePicture);
  top->addWidget(btnSaveCsv);

  auto* stats = new QGridLayout;
  stats->addWidget(labVx, 0, 0);
  stats->addWidget(labVx2, 0, 1);
  stats->addWidget(labVy, 1, 0);
  stats->addWidget(labVy2, 1, 1);
  stats->setColumnStretch(1, 1);

  auto* pulsations = new QWidget(this);
  auto* right = new QVBoxLayout(pulsations);
  right->setContentsMargins(0, 0, 0, 0);
  right->addWidget(chartStack_, 1);
  right->addLayout(stats);
  Spectrum = new SpectrumChart(this);
  tabs = new QTabWidget(this);
  tabs->addTab(pulsations, QStringLiteral("Пульсации"));
  tabs->addTab(Spectrum, QStringLiteral("Спектр"));

  auto* middle = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  left->addWidget(new QLabel(QStringLiteral("Точки:"), this));
  left->addWidget(lbPoints, 1);
  middle->addLayout(left);
  middle->addWidget(tabs, 1);

  auto* v = new QVBoxLayout(this);
  v->addLayout(top);
  v->addLayout(middle, 1);

  connect(btnLoad, &QPushButton::clicked, this, &TfrmViewPulsate::btnLoadClick);
  connect(lbPoints, &QListWidget::currentRowChanged, this, &TfrmViewPulsate::lbPointsClick);
  connect(btnSavePicture, &QPushButton::clicked, this, &TfrmViewPulsate::btnSavePictureClick);
  connect(btnSaveCsv, &QPushButton::clicked, this, &TfrmViewPulsate::btnSaveCsvClick);
  connect(tabs, &QTabWidget::currentChanged, this, &TfrmViewPulsate::UpdateSaveButtons);
}

void TfrmViewPulsate::btnLoadClick() {
  QFileDialog dlg(this, QStringLiteral("Загрузить пульсации"));
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  dlg.setFileMode(QFileDialog::ExistingFile);
  dlg.setNameFilter(QStringLiteral("Pulsation files (*.pls)"));
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return;
  LoadFile(dlg.selectedFiles().constFirst());
}

bool TfrmViewPulsate::LoadFile(const QString& path) {
  PulsationRecord r;
  std::string error;
  if (!LoadPulsationRecord(path.toStdString(), r, error)) {
    ShowError(this, QString::fromStdString(error));
    return false;
  }
  record_ = std::move(r);
  loaded_ = true;
  fileName_ = path;
  labFile->setText(QString::fromStdString(RecordFileLabel(path.toStdString())));

  const QSignalBlocker quiet(lbPoints);
  lbPoints->clear();
  for (size_t k = 0; k < record_.Points.size(); ++k)
    lbPoints->addItem(QString::fromStdString(
        PulsationPointLine(static_cast<int32_t>(k), record_.Points[k])));
  if (lbPoints->count() > 0) lbPoints->setCurrentRow(0);
  lbPointsClick();
  return true;
}

void TfrmViewPulsate::lbPointsClick() {
  if (!loaded_) return;
  PulsationStats s;
  std::string error;
  if (!CalcPulsationStats(record_, std::max(lbPoints->currentRow(), 0), s, error)) {
    ShowNote(QString::fromStdString(error));
    return;
  }
  QList<QPointF> vx, vy;
  vx.reserve(static_cast<qsizetype>(s.Times.size()));
  vy.reserve(static_cast<qsizetype>(s.Times.size()));
  for (size_t j = 0; j < s.Times.size(); ++j) {
    vx.append(QPointF(s.Times[j], s.FluctVx[j]));
    vy.append(QPointF(s.Times[j], s.FluctVy[j]));
  }
  Series1->replace(vx);
  Series2->replace(vy);
  FitAxes(axisX_, axisY_, {&vx, &vy});
  LabelAxisTicks(axisX_);
  LabelAxisTicks(axisY_);
  // The batch tool prints the same lines with their unit.
  const QString unit = QStringLiteral(" м/с");
  labVx->setText(QString::fromStdString(s.LabVx) + unit);
  labVy->setText(QString::fromStdString(s.LabVy) + unit);
  labVx2->setText(QString::fromStdString(s.LabVx2) + unit);
  labVy2->setText(QString::fromStdString(s.LabVy2) + unit);
  Spectrum->ShowPoint(record_, std::max(lbPoints->currentRow(), 0));
  chartStack_->setCurrentWidget(Chart1);
  UpdateSaveButtons();
}

void TfrmViewPulsate::UpdateSaveButtons() {
  // The commands save the shown tab: only a chart, not the note in its place.
  const bool chart = tabs->currentWidget() == Spectrum ? Spectrum->ChartShown() : ChartShown();
  btnSavePicture->setEnabled(chart);
  btnSaveCsv->setEnabled(chart);
}

void TfrmViewPulsate::ShowNote(const QString& text) {
  Series1->clear();
  Series2->clear();
  ClearStats();
  Spectrum->ShowNote(text);
  note_->setText(text);
  chartStack_->setCurrentWidget(note_);
  UpdateSaveButtons();
}

void TfrmViewPulsate::ClearStats() {
  for (QLabel* l : {labVx, labVy, labVx2, labVy2}) l->clear();
}

QString TfrmViewPulsate::SuggestedName() const {
  // The record's name and the point's number: "pulsate_16".
  return QFileInfo(fileName_).completeBaseName() + QLatin1Char('_') +
         QString::number(std::max(lbPoints->currentRow(), 0) + 1) +
         (tabs->currentWidget() == Spectrum ? QStringLiteral("_spectrum") : QString());
}

bool TfrmViewPulsate::ChartShown() const { return chartStack_->currentWidget() == Chart1; }

QString TfrmViewPulsate::NoteText() const { return note_->text(); }

bool TfrmViewPulsate::SaveChartPng(const QString& path, QString& error) {
  if (tabs->currentWidget() == Spectrum) return Spectrum->SavePng(path, error);
  return SaveWidgetPng(Chart1, path, error);
}

bool TfrmViewPulsate::SaveSeriesCsv(const QString& path, QString& error) {
  if (tabs->currentWidget() == Spectrum) return Spectrum->SaveCsv(path, error);
  std::vector<std::vector<double>> cols(3);
  const QList<QPointF> a = Series1->points();
  const QList<QPointF> b = Series2->points();
  for (qsizetype j = 0; j < a.size(); ++j) {
    cols[0].push_back(a[j].x());
    cols[1].push_back(a[j].y());
    cols[2].push_back(j < b.size() ? b[j].y() : 0.0);
  }
  const QStringList header = {QStringLiteral("t, с"), QStringLiteral("Продольные пульсации, м/с"),
                              QStringLiteral("Поперечные пульсации, м/с")};
  return SaveCsvFile(path, SeriesCsv(header, cols), error);
}

void TfrmViewPulsate::btnSavePictureClick() {
  const QString path = AskPngFileName(this, SuggestedName());
  if (path.isEmpty()) return;
  QString error;
  if (!SaveChartPng(path, error)) ShowError(this, error);
}

void TfrmViewPulsate::btnSaveCsvClick() {
  const QString path = AskCsvFileName(this, SuggestedName());
  if (path.isEmpty()) return;
  QString error;
  if (!SaveSeriesCsv(path, error)) ShowError(this, error);
}

}  // namespace mdv
