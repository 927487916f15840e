#include "ui/free_vrt_graph.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsTextItem>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>

#include "core/analysis/pulsation_stats.h"
#include "ui/chart_export.h"
#include "ui/chart_style.h"
#include "ui/dialog_messages.h"

namespace mdv {

namespace {

// Γ/2πhu₀ in a serif face; u₀ with its subscript.
const char kValueCaption[] =
    "<span style=\"font-family:serif; font-size:11pt;\">&Gamma;/2&pi;<i>h</i><i>u</i><sub>0</sub></span>";
constexpr qreal kMarkSize = 3;  // point marks, px

}  // namespace

TfrmFreeVrtGraph::TfrmFreeVrtGraph(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("График оторвавшегося вихря"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  resize(760, 500);

  btnLoad = new QPushButton(QStringLiteral("Загрузить"), this);
  cbShowPoints = new QCheckBox(QStringLiteral("Показать точки"), this);
  labFile = new QLabel(QStringLiteral("Имя файла:"), this);
  btnSavePicture = new QPushButton(QStringLiteral("Сохранить рисунок..."), this);
  btnSaveCsv = new QPushButton(QStringLiteral("Сохранить ряд (CSV)..."), this);

  auto* chart = new QChart;
  chart->setTitle(QStringLiteral("График изменения циркуляции оторвавшегося вихря"));
  chart->legend()->hide();
  Series1 = new QLineSeries(chart);
  Series1->setColor(QColor(0, 0, 128));
  Series1->setMarkerSize(kMarkSize);
  Series1->setPointsVisible(false);
  chart->addSeries(Series1);
  axisX_ = new QValueAxis(chart);
  axisY_ = new QValueAxis(chart);
  StyleChart(chart, axisX_, axisY_);
  Series1->attachAxis(axisX_);
  Series1->attachAxis(axisY_);
  Chart1 = new QChartView(chart, this);
  Chart1->setRenderHint(QPainter::Antialiasing);

  timeCaption_ = new QGraphicsSimpleTextItem(QStringLiteral("t"), chart);
  QFont serif(QStringLiteral("serif"));
  serif.setStyleHint(QFont::Serif);
  serif.setItalic(true);
  serif.setPointSize(11);
  timeCaption_->setFont(serif);
  valueCaption_ = new QGraphicsTextItem(chart);
  valueCaption_->setHtml(QString::fromUtf8(kValueCaption));
  connect(chart, &QChart::plotAreaChanged, this, &TfrmFreeVrtGraph::PlaceCaptions);

  auto* top = new QHBoxLayout;
  top->addWidget(btnLoad);
  top->addWidget(cbShowPoints);
  top->addWidget(labFile, 1);
  top->addWidget(btnSavePicture);
  top->addWidget(btnSaveCsv);

  auto* v = new QVBoxLayout(this);
  v->addLayout(top);
  v->addWidget(Chart1, 1);

  connect(btnLoad, &QPushButton::clicked, this, &TfrmFreeVrtGraph::btnLoadClick);
  connect(cbShowPoints, &QCheckBox::toggled, this, &TfrmFreeVrtGraph::cbShowPointsClick);
  connect(btnSavePicture, &QPushButton::clicked, this, &TfrmFreeVrtGraph::btnSavePictureClick);
  connect(btnSaveCsv, &QPushButton::clicked, this, &TfrmFreeVrtGraph::btnSaveCsvClick);
  PlaceCaptions();
}

QString TfrmFreeVrtGraph::ValueCaptionHtml() const { return valueCaption_->toHtml(); }

void TfrmFreeVrtGraph::PlaceCaptions() {
  const QRectF plot = Chart1->chart()->plotArea();
  // "t" just beyond the right end of the time axis, on the axis line (the
  // last tick label sits below that end).
  const QRectF t = timeCaption_->boundingRect();
  timeCaption_->setPos(plot.right() + 8, plot.bottom() - t.height() / 2 - 1);
  // Γ/2πhu₀ above the value axis, at the chart's top left.
  const QRectF cap = valueCaption_->boundingRect();
  valueCaption_->setPos(std::max<qreal>(4, plot.left() - cap.width() / 2),
                        std::max<qreal>(2, plot.top() - cap.height() - 2));
}

void TfrmFreeVrtGraph::cbShowPointsClick() { Series1->setPointsVisible(cbShowPoints->isChecked()); }

void TfrmFreeVrtGraph::btnLoadClick() {
  QFileDialog dlg(this, QStringLiteral("График циркуляции оторв. вихря"));
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  dlg.setFileMode(QFileDialog::ExistingFile);
  dlg.setNameFilter(QStringLiteral("Free Vortex Circulation (*.fvt)"));
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return;
  LoadFile(dlg.selectedFiles().constFirst());
}

bool TfrmFreeVrtGraph::LoadFile(const QString& path) {
  TrackRecord r;
  CirculationSeries s;
  std::string error;
  if (!LoadTrackRecord(path.toStdString(), r, error) || !CalcCirculationSeries(r, s, error)) {
    ShowError(this, QString::fromStdString(error));
    return false;
  }
  record_ = std::move(r);
  fileName_ = path;
  QList<QPointF> points;
  points.reserve(static_cast<qsizetype>(s.T.size()));
  for (size_t k = 0; k < s.T.size(); ++k)
    points.append(QPointF(static_cast<double>(s.T[k]), static_cast<double>(s.Y[k])));
  Series1->replace(points);
  FitAxes(axisX_, axisY_, {&points});
  labFile->setText(QString::fromStdString(RecordFileLabel(path.toStdString())));
  return true;
}

bool TfrmFreeVrtGraph::SaveChartPng(const QString& path, QString& error) {
  return SaveWidgetPng(Chart1, path, error);
}

bool TfrmFreeVrtGraph::SaveSeriesCsv(const QString& path, QString& error) {
  std::vector<std::vector<double>> cols(2);
  for (const QPointF& p : Series1->points()) {
    cols[0].push_back(p.x());
    cols[1].push_back(p.y());
  }
  const QStringList header = {QStringLiteral("t, с"), QStringLiteral("Γ/2πhu₀, м/с")};
  return SaveCsvFile(path, SeriesCsv(header, cols), error);
}

void TfrmFreeVrtGraph::btnSavePictureClick() {
  const QString path = AskPngFileName(this, QFileInfo(fileName_).completeBaseName());
  if (path.isEmpty()) return;
  QString error;
  if (!SaveChartPng(path, error)) ShowError(this, error);
}

void TfrmFreeVrtGraph::btnSaveCsvClick() {
  const QString path = AskCsvFileName(this, QFileInfo(fileName_).completeBaseName());
  if (path.isEmpty()) return;
  QString error;
  if (!SaveSeriesCsv(path, error)) ShowError(this, error);
}

}  // namespace mdv
