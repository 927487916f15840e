#include "ui/averaged_flow.h"

#include <QChart>
#include <QChartView>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QRegularExpression>
#include <QScatterSeries>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "core/averages/averaging_files.h"
#include "core/averages/tracer_status.h"
#include "core/averages/tracers.h"
#include "core/analysis/centreline.h"
#include "core/base/numfmt.h"
#include "core/analysis/vortex_area.h"
#include "ui/chart_export.h"
#include "ui/chart_style.h"
#include "ui/contraction_chart.h"
#include "ui/dialog_messages.h"
#include "ui/averages_json.h"
#include "ui/result_tips.h"
#include "ui/speed_map.h"

namespace mdv {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
QString Gen(double v) { return Q(FormatGeneral(static_cast<Real>(v))); }

// "t = 8,00 с" and "1,750 … 4,750 с" held on one line: the summary wraps
// at its blanks, and a time split from its unit reads as two figures.
QString KeepTimesWhole(QString text) {
  static const QRegularExpression time(QStringLiteral("t = ([0-9]+,[0-9]+(?: … [0-9]+,[0-9]+)?) с"));
  text.replace(time, QStringLiteral("t\u00a0=\u00a0\\1\u00a0с"));
  return text.replace(QStringLiteral(" … "), QStringLiteral("\u00a0…\u00a0"));
}

// What to set when a run gave no averages: the start, as a time within the
// run, and Continue, which takes it for the grid samples already gathered.
QString NoAveragesAdvice(const AveragingResults& r) {
  const double suggest = std::floor(r.EndTime / 3 * 10) / 10;  // s, a third of the run, to 0,1 s
  return QStringLiteral("Чтобы получить средние из уже рассчитанного, задайте «Осреднять с» на панели "
                        "рисунка (например, %1 сек.) и нажмите «Продолжить».")
      .arg(Q(FormatGeneral(static_cast<Real>(std::max(suggest, 0.1)))));
}

// The row labels of the vortex-zone window, in its order.
constexpr const char* kZoneLabels[ZoneDimensionCount] = {"Bэф", "b", "l", "a0", "a", "dmax",
                                                         "lmax"};
// The monitored signals for the user, in MonitorNames order.
constexpr const char* kMonitorLabels[MonitorCount] = {
    "Vx на оси при x = −B", "Vx на оси при x = −2B", "Скорость в центре входа",
    "Циркуляция свободных вихрей"};

// Points of each reference curve between the first and the last station.
constexpr int kCurvePoints = 120;

}  // namespace

QString TfrmAveragedFlow::NotEstimatedText() { return QStringLiteral("не оценена"); }

QString TfrmAveragedFlow::EmptyText() {
  return QStringLiteral(
      "Осреднённых данных пока нет. Средние накапливаются во время расчёта (\"Начать\", "
      "\"Продолжить\") и появляются здесь после первой выборки поля. Средние, сохранённые в "
      "файл, показывает кнопка \"Загрузить средние...\".");
}

TfrmAveragedFlow::TfrmAveragedFlow(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Осреднённое течение"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  resize(900, 620);

  labSummary = new QLabel(this);
  labSummary->setWordWrap(true);
  labSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);

  // ---- the map ----
  edCaptureSpeeds = new QLineEdit(QStringLiteral("0,25; 0,5; 1"), this);
  btnApplySpeeds = new QPushButton(QStringLiteral("Построить"), this);
  btnApplySpeeds->setAutoDefault(false);
  Map = new SpeedMap(this);
  auto* mapPage = new QWidget(this);
  {
    auto* v = new QVBoxLayout(mapPage);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Скорости захвата, м/с:"), mapPage));
    row->addWidget(edCaptureSpeeds, 1);
    row->addWidget(btnApplySpeeds);
    v->addLayout(row);
    v->addWidget(Map, 1);
  }

  // ---- the centre-line ----
  auto* chart = new QChart;
  chart->setTitle(QStringLiteral("Осевая скорость перед отсосом"));
  chart->legend()->setAlignment(Qt::AlignBottom);
  SeriesDiscSink = new QLineSeries(chart);
  SeriesDiscSink->setName(QStringLiteral("Дисковый сток"));
  SeriesDiscSink->setPen(QPen(QColor(0, 90, 200), 1.6));
  SeriesFlanged = new QLineSeries(chart);
  SeriesFlanged->setName(QStringLiteral("Далла-Валле, с фланцем"));
  SeriesFlanged->setPen(QPen(QColor(220, 120, 0), 1.6, Qt::DashLine));
  SeriesPlain = new QLineSeries(chart);
  SeriesPlain->setName(QStringLiteral("Далла-Валле, без фланца"));
  SeriesPlain->setPen(QPen(QColor(0, 140, 60), 1.6, Qt::DashDotLine));
  SeriesModelLine = new QLineSeries(chart);
  SeriesModelLine->setPen(QPen(QColor(0, 0, 0), 2));
  SeriesModel = new QScatterSeries(chart);
  SeriesModel->setName(QStringLiteral("Модель (среднее)"));
  SeriesModel->setColor(QColor(0, 0, 0));
  SeriesModel->setMarkerSize(7);
  // The plane: the model's curve ends before it, the textbook ones do not
  // know it.
  SeriesPlane = new QLineSeries(chart);
  SeriesPlane->setName(QStringLiteral("Плоскость"));
  SeriesPlane->setPen(QPen(QColor(90, 90, 90), 2.4));
  for (QXYSeries* s : std::initializer_list<QXYSeries*>{SeriesDiscSink, SeriesFlanged,
                                                        SeriesPlain, SeriesModelLine, SeriesModel,
                                                        SeriesPlane})
    chart->addSeries(s);
  axisX_ = new QValueAxis(chart);
  axisY_ = new QValueAxis(chart);
  StyleChart(chart, axisX_, axisY_);
  axisX_->setTitleText(QStringLiteral("x/D"));
  axisY_->setTitleText(QStringLiteral("v/v₀"));
  for (QXYSeries* s : std::initializer_list<QXYSeries*>{SeriesDiscSink, SeriesFlanged,
                                                        SeriesPlain, SeriesModelLine, SeriesModel,
                                                        SeriesPlane}) {
    s->attachAxis(axisX_);
    s->attachAxis(axisY_);
  }
  // The line through the model's points needs no entry of its own.
  chart->legend()->markers(SeriesModelLine).constFirst()->setVisible(false);
  CentreChart = new QChartView(chart, this);
  CentreChart->setRenderHint(QPainter::Antialiasing);

  // ---- the vortex zone ----
  sgZone = new QTableWidget(ZoneDimensionCount, 3, this);
  sgZone->setHorizontalHeaderLabels({QStringLiteral("Размер"), QStringLiteral("Среднее, м"),
                                     QStringLiteral("С.к.о., м")});
  sgZone->verticalHeader()->hide();
  sgZone->setEditTriggers(QAbstractItemView::NoEditTriggers);
  sgZone->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  labZone = new QLabel(this);
  labZone->setWordWrap(true);
  auto* zonePage = new QWidget(this);
  {
    auto* v = new QVBoxLayout(zonePage);
    v->addWidget(sgZone, 1);
    v->addWidget(labZone);
  }

  sgMonitors = new QTableWidget(MonitorCount, 5, this);
  sgMonitors->setHorizontalHeaderLabels(
      {QStringLiteral("Величина"), QStringLiteral("Среднее"), QStringLiteral("± 95 %"),
       QStringLiteral("Отн. точность, %"), QStringLiteral("Отсчетов")});
  sgMonitors->verticalHeader()->hide();
  sgMonitors->setEditTriggers(QAbstractItemView::NoEditTriggers);
  sgMonitors->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  sgMonitors->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);

  tabs = new QTabWidget(this);
  tabs->addTab(mapPage, QStringLiteral("Поле скоростей"));
  tabs->addTab(CentreChart, QStringLiteral("Ось отсоса"));
  tabs->addTab(zonePage, QStringLiteral("Вихревая зона"));
  tabs->addTab(sgMonitors, QStringLiteral("Контрольные величины"));
  Contraction = new ContractionChart(this);
  tabs->addTab(Contraction, QStringLiteral("Сжатие струи"));

  note_ = new QLabel(EmptyText(), this);
  note_->setAlignment(Qt::AlignCenter);
  note_->setWordWrap(true);
  stack_ = new QStackedWidget(this);
  stack_->addWidget(tabs);
  stack_->addWidget(note_);

  btnLoad = new QPushButton(QStringLiteral("Загрузить средние..."), this);
  btnSavePicture = new QPushButton(QStringLiteral("Сохранить рисунок..."), this);
  btnSaveCsv = new QPushButton(QStringLiteral("Сохранить таблицу (CSV)..."), this);
  for (QPushButton* b : {btnLoad, btnSavePicture, btnSaveCsv}) b->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnLoad);
  buttons->addStretch(1);
  buttons->addWidget(btnSavePicture);
  buttons->addWidget(btnSaveCsv);

  auto* v = new QVBoxLayout(this);
  v->addWidget(labSummary);
  v->addWidget(stack_, 1);
  v->addLayout(buttons);

  connect(btnApplySpeeds, &QPushButton::clicked, this, &TfrmAveragedFlow::ApplyCaptureSpeeds);
  connect(edCaptureSpeeds, &QLineEdit::returnPressed, this, &TfrmAveragedFlow::ApplyCaptureSpeeds);
  connect(btnLoad, &QPushButton::clicked, this, &TfrmAveragedFlow::btnLoadClick);
  connect(btnSavePicture, &QPushButton::clicked, this, &TfrmAveragedFlow::btnSavePictureClick);
  connect(btnSaveCsv, &QPushButton::clicked, this, &TfrmAveragedFlow::btnSaveCsvClick);
  ShowEmpty();
}

void TfrmAveragedFlow::ShowEmpty() {
  has_ = false;
  note_->setText(EmptyText());
  results_ = {};
  Map->Clear();
  labSummary->clear();
  stack_->setCurrentWidget(note_);
  btnSavePicture->setEnabled(false);
  btnSaveCsv->setEnabled(false);
}

QString TfrmAveragedFlow::NoteText() const { return note_->text(); }

void TfrmAveragedFlow::ShowResults(const AveragingResults& r, const Model& m) {
  model_ = &m;
  fromFile_ = false;
  Show(r, &m, QString());
}

bool TfrmAveragedFlow::LoadFile(const QString& path) {
  AveragingResults r;
  QString error;
  if (!ReadAveragesJson(path, r, error)) {
    ShowError(this, error);
    return false;
  }
  // The hood is drawn only over a grid the present area would give: the
  // file does not hold the contour it was gathered on.
  const bool same = model_ && GridMatchesModel(r.Field.Grid, *model_);
  QString source = QStringLiteral("Файл %1.").arg(QFileInfo(path).fileName());
  if (!same)
    source += QStringLiteral(" Контур отсоса не показан: средние получены на другой области.");
  Show(r, same ? model_ : nullptr, source);
  fromFile_ = true;
  return true;
}

void TfrmAveragedFlow::Show(const AveragingResults& r, const Model* contour,
                            const QString& source) {
  if (!r.HasAverages) {
    ShowEmpty();
    // Runs were fed but nothing averaged yet: say why (the start-up is not over).
    if (r.Steps > 0 && !r.Steady.Text.empty())
      note_->setText(source + (source.isEmpty() ? QString() : QStringLiteral("\n\n")) +
                     EmptyText() + QStringLiteral("\n\nСредние берутся с конца разгона. ") +
                     KeepTimesWhole(Q(r.Steady.Text)) + QStringLiteral(".\n\n") + NoAveragesAdvice(r));
    return;
  }
  results_ = r;
  has_ = true;

  SpeedMapData d;
  d.Grid = r.Field.Grid;
  d.Speed = r.Field.SpeedMean;
  if (contour) {
    d.Contour = contour->BodyRibs;
    d.SuctionRib = contour->SuctionRib;
  }
  if (r.Tracers.Present) {
    d.CaptureGrid = r.Tracers.Grid;
    d.CaptureFraction = CaptureFractionField(r.Tracers);
    d.CaptureProvisional = CaptureProvisional(r.Tracers);
  }
  Map->SetData(std::move(d));

  QString text = source.isEmpty() ? QString() : source + QLatin1Char(' ');
  text += QStringLiteral("Средние за t = %1 … %2 с: выборок поля %3 (каждый %4-й шаг), "
                         "шаг сетки %5 м.")
              .arg(Q(FormatFixed(r.StartTime, 6, 3)), Q(FormatFixed(r.EndTime, 6, 3)))
              .arg(r.Samples)
              .arg(r.SampleEverySteps)
              .arg(Gen(r.Field.Grid.Dx));
  if (!r.Steady.Text.empty()) text += QLatin1Char(' ') + Q(r.Steady.Text);
  if (r.Flux.Valid)
    text += QStringLiteral("\nРасход через канал при x = %1 м: %2 м³/с, %3 от πB²v.")
                .arg(Gen(r.Flux.X), Q(FormatFixed(r.Flux.Flux, 4, 5)),
                     Q(FormatFixed(r.Flux.Ratio, 4, 3)));
  labSummary->setText(KeepTimesWhole(text));

  FillCentreline(r, contour);
  FillZone(r.VortexZone);
  FillMonitors(r.Monitors);
  Contraction->ShowContraction(r.Contraction);
  stack_->setCurrentWidget(tabs);
  btnSavePicture->setEnabled(true);
  btnSaveCsv->setEnabled(true);
}

void TfrmAveragedFlow::btnLoadClick() {
  QFileDialog dlg(this, QStringLiteral("Загрузить средние"));
  dlg.setOption(QFileDialog::DontUseNativeDialog);
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  dlg.setFileMode(QFileDialog::ExistingFile);
  dlg.setNameFilter(QStringLiteral("Средние (*.json)"));
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return;
  LoadFile(dlg.selectedFiles().constFirst());
}

void TfrmAveragedFlow::FillCentreline(const AveragingResults& r, const Model* contour) {
  // In x/D the three curves do not depend on the radius (A = πB², x = 2B·x/D):
  // any B gives them, also for a file whose hood is not the present one.
  constexpr double radius = 0.15;  // m
  QList<QPointF> model, disc, flanged, plain;
  double lo = 0, hi = 3;
  if (!r.Centreline.empty()) {
    lo = r.Centreline.front().XOverD;
    hi = r.Centreline.back().XOverD;
  }
  for (const CentrelineRow& row : r.Centreline)
    if (row.HasModel && std::isfinite(row.Model)) model.append(QPointF(row.XOverD, row.Model));
  // The textbook curves are smooth functions of x: drawn densely, not only
  // at the stations.
  for (int k = 0; k <= kCurvePoints; ++k) {
    const double xd = lo + (hi - lo) * k / kCurvePoints;
    const double x = xd * 2 * radius;  // m in front of the mouth
    disc.append(QPointF(xd, DiscSinkRatio(x, radius)));
    flanged.append(QPointF(xd, DallaValleFlangedRatio(x, radius)));
    plain.append(QPointF(xd, DallaVallePlainRatio(x, radius)));
  }
  SeriesModel->replace(model);
  SeriesModelLine->replace(model);
  SeriesDiscSink->replace(disc);
  SeriesFlanged->replace(flanged);
  SeriesPlain->replace(plain);
  // v/v0 from 0 (lower only for a negative model mean, a reverse flow) to the
  // highest value in steps of 0,25; x/D from the mouth to the last station in
  // steps of 0,5.
  double top = 1, low = 0;
  for (const QList<QPointF>* l : {&model, &disc, &flanged, &plain}) {
    for (const QPointF& q : *l) {
      if (!std::isfinite(q.y())) continue;
      top = std::max(top, q.y());
      low = std::min(low, q.y());
    }
  }
  top = std::ceil(top / 0.25 - 1e-9) * 0.25;
  const double bottom = std::floor(low / 0.25) * 0.25;
  // The plane of the area the averages were gathered on, x/D = |Px| / 2B in
  // front of the mouth (not known for a file of another area).
  QList<QPointF> plane;
  if (contour && contour->ChannelRadius > 0 && contour->PlaneX < 0) {
    const double xd = -static_cast<double>(contour->PlaneX) / (2 * static_cast<double>(contour->ChannelRadius));
    plane = {QPointF(xd, bottom), QPointF(xd, top)};
    hi = std::max(hi, xd);
    SeriesPlane->setName(QStringLiteral("Плоскость, x/D = %1").arg(Q(FormatFixed(xd, 6, 2))));
  }
  SeriesPlane->replace(plane);
  const auto markers = CentreChart->chart()->legend()->markers(SeriesPlane);
  if (!markers.isEmpty()) markers.constFirst()->setVisible(!plane.isEmpty());
  axisY_->setRange(bottom, top);
  axisY_->setTickType(QValueAxis::TicksDynamic);
  axisY_->setTickAnchor(0);
  axisY_->setTickInterval(top > 2.5 ? 0.5 : 0.25);
  axisX_->setRange(0, std::ceil(hi / 0.5 - 1e-9) * 0.5);
  axisX_->setTickType(QValueAxis::TicksDynamic);
  axisX_->setTickAnchor(0);
  axisX_->setTickInterval(0.5);
}

void TfrmAveragedFlow::FillZone(const VortexZoneSummary& z) {
  const bool any = z.Measured > 0;
  for (int k = 0; k < ZoneDimensionCount; ++k) {
    const DimensionSummary& d = z.Dimensions[static_cast<std::size_t>(k)];
    const QString cells[3] = {QString::fromUtf8(kZoneLabels[k]),
                              any ? Q(FormatFixed(d.Mean, 6, 4)) : QStringLiteral("—"),
                              any ? Q(FormatFixed(d.Sd, 6, 4)) : QStringLiteral("—")};
    for (int c = 0; c < 3; ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      item->setToolTip(ZoneDimensionTip(cells[0]));
      sgZone->setItem(k, c, item);
    }
  }
  QString text = QStringLiteral("Измерений вихревой зоны: %1, не удалось: %2").arg(z.Measured).arg(z.Failed);
  if (z.EverySamples > 0) text += QStringLiteral(" (каждая %1-я выборка поля)").arg(z.EverySamples);
  text += QLatin1Char('.');
  if (!any) text += QStringLiteral(" Средних размеров нет: ни одно измерение не удалось.");
  labZone->setText(text);
}

void TfrmAveragedFlow::FillMonitors(const std::vector<MonitorSummary>& monitors) {
  sgMonitors->setRowCount(static_cast<int>(monitors.size()));
  for (std::size_t k = 0; k < monitors.size(); ++k) {
    const MonitorSummary& m = monitors[k];
    const QString name = k < static_cast<std::size_t>(MonitorCount)
                             ? QString::fromUtf8(kMonitorLabels[k]) + QStringLiteral(", ") + Q(m.Unit)
                             : Q(m.Name);
    // A half-width is a figure only when trusted (batch means not correlated,
    // enough of them), as in the verdict and the JSON; a relative one of a
    // zero mean is infinite.
    const QString unknown = m.Known ? NotEstimatedText() : QStringLiteral("—");
    const QString cells[5] = {
        name, m.Known ? Q(FormatFixed(m.Mean, 6, 4)) : QStringLiteral("—"),
        m.Known && m.Trusted ? Q(FormatFixed(m.HalfWidth95, 6, 4)) : unknown,
        m.Known && m.Trusted && std::isfinite(m.RelativeHalfWidth)
            ? Q(FormatFixed(100 * m.RelativeHalfWidth, 4, 1))
            : unknown,
        QString::number(m.Samples)};
    for (int c = 0; c < 5; ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      if (cells[c] == NotEstimatedText())
        item->setToolTip(QStringLiteral("Средние по пакетам коррелированы или их слишком мало: "
                                        "доверительный интервал не оценён."));
      sgMonitors->setItem(static_cast<int>(k), c, item);
    }
  }
}

bool TfrmAveragedFlow::ApplyCaptureSpeeds() {
  std::vector<double> speeds;
  const QStringList parts = edCaptureSpeeds->text().split(QLatin1Char(';'), Qt::SkipEmptyParts);
  for (const QString& part : parts) {
    // The speeds are parted by semicolons, so a decimal point is as clear as
    // the comma: "0.3" is 0,3 м/с.
    const auto v = ParseRealLenient(part.trimmed().toStdString());
    if (!v || !(*v > 0) || !std::isfinite(*v)) {
      ShowMessage(this, QStringLiteral("Скорость захвата \"%1\" — не положительное число. "
                                       "Скорости пишутся через точку с запятой: 0,25; 0,5; 1")
                            .arg(part.trimmed()));
      return false;
    }
    speeds.push_back(static_cast<double>(*v));
  }
  std::sort(speeds.begin(), speeds.end());
  speeds.erase(std::unique(speeds.begin(), speeds.end()), speeds.end());
  Map->SetCaptureSpeeds(std::move(speeds));
  return true;
}

bool TfrmAveragedFlow::SavePng(const QString& path, QString& error) {
  if (tabs->currentIndex() == 0) {
    const QImage img = Map->Render(Map->size());
    if (img.isNull() || !img.save(path, "PNG")) {
      error = QStringLiteral("Не удалось записать рисунок в файл \"%1\"").arg(path);
      return false;
    }
    return true;
  }
  return SaveWidgetPng(tabs->currentWidget(), path, error);
}

bool TfrmAveragedFlow::SaveCsv(const QString& path, QString& error) {
  std::string csv;
  switch (tabs->currentIndex()) {
    case 0:
      csv = FieldCsv(results_);
      break;
    case 1:
      csv = CentrelineCsv(results_.Centreline);
      break;
    case 3:
      // The JSON's keys, semicolons and decimal commas.
      csv = "name;unit;mean;half_width_95;relative_half_width;samples\n";
      for (const MonitorSummary& m : results_.Monitors) {
        const auto known = [&](double v) { return m.Known ? FormatGeneral(v) : std::string(); };
        const auto trusted = [&](double v) {
          return m.Known && m.Trusted && std::isfinite(v) ? FormatGeneral(v) : std::string();
        };
        csv += m.Name + ";" + m.Unit + ";" + known(m.Mean) + ";" + trusted(m.HalfWidth95) + ";" +
               trusted(m.RelativeHalfWidth) + ";" + std::to_string(m.Samples) + "\n";
      }
      break;
    case 4:
      csv = ContractionCsv(results_.Contraction);
      break;
    default: {
      csv = "dimension;mean [m];sd [m]\n";
      for (int k = 0; k < ZoneDimensionCount; ++k) {
        const DimensionSummary& d = results_.VortexZone.Dimensions[static_cast<std::size_t>(k)];
        csv += std::string(ZoneDimensionKeys[k]) + ";" + FormatGeneral(d.Mean) + ";" +
               FormatGeneral(d.Sd) + "\n";
      }
    }
  }
  return SaveCsvFile(path, csv, error);
}

void TfrmAveragedFlow::btnSavePictureClick() {
  const QString path = AskPngFileName(this, QStringLiteral("averaged_flow"));
  if (path.isEmpty()) return;
  QString error;
  if (!SavePng(path, error)) ShowError(this, error);
}

void TfrmAveragedFlow::btnSaveCsvClick() {
  const QString path = AskCsvFileName(this, QStringLiteral("averaged_flow"));
  if (path.isEmpty()) return;
  QString error;
  if (!SaveCsv(path, error)) ShowError(this, error);
}

}  // namespace mdv
