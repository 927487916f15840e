// The result windows against records and states the program itself wrote:
// a run with the recordings on, then the pulsation charts and the separated
// vortex graph loading them; the vortex-zone window on a saved state; bad
// files; the report exports.
#include <QCategoryAxis>
#include <QCheckBox>
#include <QChart>
#include <QChartView>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QValueAxis>
#include <cmath>

#include "core/model/area.h"
#include "core/model/model.h"
#include "core/base/numfmt.h"
#include "core/analysis/pulsation_stats.h"
#include "core/model/records.h"
#include "core/flow/run.h"
#include "core/base/safe_file.h"
#include "core/analysis/vortex_area.h"
#include "core/model/vortex_file.h"
#include "modal_driver.h"
#include "ui/break_pnt_params.h"
#include "ui/chart_style.h"
#include "ui/file_name_edit.h"
#include "ui/free_vrt_graph.h"
#include "ui/picture.h"
#include "ui/pulsate_param.h"
#include "ui/view_pulsate.h"
#include "ui/vortex_area_info.h"

using namespace mdv;
using mdv::test::AnswerNextBox;

namespace {

constexpr Real kDt = 0.005L;   // s
constexpr int kSteps = 12;     // steps of the recording run
constexpr double kTol = 1e-12; // relative, chart values against an independent sum

QString Q(const std::string& s) { return QString::fromStdString(s); }

bool WriteBytes(const QString& path, const Bytes& data) {
  std::string error;
  return WriteFileAtomically(path.toStdString(), data, error);
}

// Count of image pixels of exactly this colour.
int CountColour(const QImage& image, QRgb colour) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if ((image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF)) ++n;
  return n;
}

}  // namespace

class ResultWindowsTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase();
  void pulsationRunChartedWithStatistics();
  void pulsationBadFilesKeepWhatWasShown_data();
  void pulsationBadFilesKeepWhatWasShown();
  void pulsationRecordsThatCannotBeCharted();
  void pulsationExports();
  void chartAxisRules();
  void circulationRunGraphed();
  void circulationGraphDetails();
  void vortexZoneOnSavedState();
  void vortexZoneBadSettingsAndStop();

 private:
  QTemporaryDir dir_;
  QString pls_;       // written by the recording run
  QString fvt_;
  QString vrt_;
  Model runModel_;
};

void ResultWindowsTest::initTestCase() {
  QVERIFY(dir_.isValid());
  pls_ = dir_.filePath("pulsate_run.pls");
  fvt_ = dir_.filePath("freevrt_run.fvt");
  vrt_ = dir_.filePath("state.evt");

  // The recordings are switched on through their dialogs, as before a Start.
  Model& m = runModel_;
  TfrmPulsateParam pulsate(m);
  pulsate.cbUsePulsation->setChecked(true);
  pulsate.sePointsCnt->setValue(2);
  pulsate.SetCellText(1, 1, "0,2");
  pulsate.SetCellText(2, 1, "0,15");
  pulsate.SetCellText(1, 2, "-0,1");
  pulsate.SetCellText(2, 2, "0,3");
  pulsate.edFilename->setText(pls_);
  TfrmBreakPntParams track(m);
  track.cbRememberFreeVort->setChecked(true);
  track.edFilename->setText(fvt_);
  track.ApplyBreakPntParams();
  QVERIFY(pulsate.ApplyPulsateParams());

  BuildArea(m);
  const RunSummary s = RunSimulation(m, 400, 0, 0, kDt * kSteps, kDt);
  QVERIFY2(s.Message.empty(), s.Message.c_str());
  QVERIFY(s.Steps >= kSteps);
  QVERIFY(m.FreeVortexCount > 0);
  QVERIFY(QFile::exists(pls_));
  QVERIFY(QFile::exists(fvt_));
  std::string error;
  QVERIFY2(SaveVortexFile(m, vrt_.toStdString(), error), error.c_str());
}

void ResultWindowsTest::pulsationRunChartedWithStatistics() {
  TfrmViewPulsate w;
  QCOMPARE(w.windowTitle(), QStringLiteral("Просмотр пульсаций"));
  QVERIFY(w.LoadFile(pls_));
  const PulsationRecord& r = w.Record();
  const int M = r.SampleCount;
  QVERIFY(M > 0);

  QCOMPARE(w.lbPoints->count(), 2);
  QCOMPARE(w.lbPoints->item(0)->text(), QStringLiteral("1: (0,2; 0,15)"));
  QCOMPARE(w.lbPoints->item(1)->text(), QStringLiteral("2: (-0,1; 0,3)"));
  QCOMPARE(w.lbPoints->currentRow(), 0);
  QCOMPARE(w.labFile->text(), QStringLiteral("Имя файла: pulsate_run.pls"));
  QVERIFY(w.ChartShown());

  QChart* chart = w.Chart1->chart();
  QCOMPARE(chart->title(), QStringLiteral("График пульсаций"));
  QCOMPARE(chart->legend()->alignment(), Qt::AlignBottom);
  QCOMPARE(w.Series1->name(), QStringLiteral("Продольные пульсации"));
  QCOMPARE(w.Series2->name(), QStringLiteral("Поперечные пульсации"));
  QCOMPARE(w.Series1->color(), QColor(255, 0, 0));
  QCOMPARE(w.Series2->color(), QColor(0, 128, 0));
  QVERIFY(!w.Series1->pointsVisible());

  // Both axes are labelled in "#,##0.#####": grouped thousands, at most five
  // decimals, no trailing zeros ("0,5", "1", not "0,50", "1,00").
  const QRegularExpression axisFormat(QStringLiteral("^-?\\d{1,3}(\u00a0\\d{3})*(,\\d{0,4}[1-9])?$"));
  // The labels sit at the multiples of one round step (1, 2 or 5 × 10ⁿ),
  // and each axis has its title with the unit.
  QStringList titles;
  for (QAbstractAxis* a : chart->axes()) {
    auto* axis = qobject_cast<QCategoryAxis*>(a);
    QVERIFY(axis && axis->count() >= 3);
    titles << axis->titleText();
    const QStringList labels = axis->categoriesLabels();
    for (const QString& label : labels)
      QVERIFY2(axisFormat.match(QString(label).remove(QChar(0x200B))).hasMatch(), qPrintable(label));
    const double step = axis->endValue(labels[1]) - axis->endValue(labels[0]);
    const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
    QVERIFY2(std::fabs(mantissa - 1) < 1e-6 || std::fabs(mantissa - 2) < 1e-6 || std::fabs(mantissa - 5) < 1e-6,
             qPrintable(QString::number(step)));
    for (const QString& label : labels) {
      const double at = axis->endValue(label);
      QVERIFY2(std::fabs(at / step - std::round(at / step)) < 1e-6, qPrintable(label));
      QVERIFY(at >= axis->min() - 1e-12 && at <= axis->max() + 1e-12);
    }
  }
  QCOMPARE(titles, (QStringList{QStringLiteral("t, с"), QStringLiteral("Пульсации скорости, м/с")}));
  const std::pair<double, const char*> formatted[] = {
      {0.5, "0,5"}, {1, "1"}, {0.001, "0,001"}, {12345.5, "12\u00a0345,5"}, {0.123456, "0,12346"}, {-1e-7, "0"}};
  for (const auto& [v, text] : formatted) QCOMPARE(FormatAxisValue(v), QString::fromUtf8(text));

  for (int k = 0; k < 2; ++k) {
    w.lbPoints->setCurrentRow(k);
    // Independent statistics of point k, in 64-bit floating point.
    double sx = 0, sy = 0;
    for (int j = 0; j < M; ++j) {
      sx += static_cast<double>(r.Vx[k][j]);
      sy += static_cast<double>(r.Vy[k][j]);
    }
    const double mx = sx / M, my = sy / M;
    double qx = 0, qy = 0;
    for (int j = 0; j < M; ++j) {
      qx += (static_cast<double>(r.Vx[k][j]) - mx) * (static_cast<double>(r.Vx[k][j]) - mx);
      qy += (static_cast<double>(r.Vy[k][j]) - my) * (static_cast<double>(r.Vy[k][j]) - my);
    }
    QCOMPARE(w.labVx->text(), "<Vx> = " + Q(FormatFixed(mx, 7, 5)) + " м/с");
    QCOMPARE(w.labVy->text(), "<Vy> = " + Q(FormatFixed(my, 7, 5)) + " м/с");
    QCOMPARE(w.labVx2->text(),
             "Среднекв. значение прод. пульсации = " + Q(FormatFixed(std::sqrt(qx / M), 7, 5)) + " м/с");
    QCOMPARE(w.labVy2->text(),
             "Среднекв. значение попереч. пульсации = " + Q(FormatFixed(std::sqrt(qy / M), 7, 5)) + " м/с");

    const QList<QPointF> a = w.Series1->points();
    const QList<QPointF> b = w.Series2->points();
    QCOMPARE(a.size(), M);
    QCOMPARE(b.size(), M);
    for (int j = 0; j < M; ++j) {
      const double t = j * static_cast<double>(r.TimeStep) + static_cast<double>(r.StartTime);
      QVERIFY2(std::abs(a[j].x() - t) <= 1e-15, qPrintable(QString::number(j)));
      QVERIFY(std::abs(a[j].y() - (static_cast<double>(r.Vx[k][j]) - mx)) <= kTol * (1 + std::abs(mx)));
      QVERIFY(std::abs(b[j].y() - (static_cast<double>(r.Vy[k][j]) - my)) <= kTol * (1 + std::abs(my)));
    }
  }
}

void ResultWindowsTest::pulsationBadFilesKeepWhatWasShown_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<int>("truncateTo");  // -1: write no file at all
  QTest::newRow("missing file") << "missing.pls" << -1;
  QTest::newRow("empty file") << "empty.pls" << 0;
  QTest::newRow("cut in the points") << "cut_points.pls" << 40;
  QTest::newRow("one sample byte short") << "short.pls" << -2;
}

void ResultWindowsTest::pulsationBadFilesKeepWhatWasShown() {
  QFETCH(QString, name);
  QFETCH(int, truncateTo);
  const QString path = dir_.filePath(name);
  if (truncateTo != -1) {
    Bytes data;
    std::string error;
    QVERIFY(ReadWholeFile(pls_.toStdString(), data, error));
    data.resize(truncateTo >= 0 ? size_t(truncateTo) : data.size() - 1);
    QVERIFY(WriteBytes(path, data));
  }
  TfrmViewPulsate w;
  QVERIFY(w.LoadFile(pls_));
  w.lbPoints->setCurrentRow(1);
  const QString vx = w.labVx->text();
  const QString file = w.labFile->text();
  const qsizetype points = w.Series1->count();

  auto box = AnswerNextBox();
  QVERIFY(!w.LoadFile(path));
  QVERIFY(box->Seen);
  QVERIFY2(box->Text.contains(name), qPrintable(box->Text));  // the message names the file
  QCOMPARE(w.lbPoints->count(), 2);
  QCOMPARE(w.lbPoints->currentRow(), 1);
  QCOMPARE(w.labVx->text(), vx);
  QCOMPARE(w.labFile->text(), file);
  QCOMPARE(w.Series1->count(), points);
  QVERIFY(w.ChartShown());
}

void ResultWindowsTest::pulsationRecordsThatCannotBeCharted() {
  TfrmViewPulsate w;
  QVERIFY(w.LoadFile(pls_));

  PulsationRecord noSamples;
  noSamples.StartTime = 2;
  noSamples.TimeStep = kDt;
  noSamples.Points = {{0.2L, 0.15L}, {0.3L, 0.1L}};
  noSamples.Vx.assign(2, {});
  noSamples.Vy.assign(2, {});
  const QString a = dir_.filePath("no_samples.pls");
  QVERIFY(WriteBytes(a, EncodePulsationRecord(noSamples)));
  QVERIFY(w.LoadFile(a));
  QCOMPARE(w.lbPoints->count(), 2);
  QVERIFY(!w.ChartShown());
  QCOMPARE(w.NoteText(), Q(NoPulsationSamplesText));
  QVERIFY(w.labVx->text().isEmpty());
  QVERIFY(!w.btnSaveCsv->isEnabled());

  PulsationRecord noPoints;
  noPoints.TimeStep = kDt;
  const QString b = dir_.filePath("no_points.pls");
  QVERIFY(WriteBytes(b, EncodePulsationRecord(noPoints)));
  QVERIFY(w.LoadFile(b));
  QCOMPARE(w.lbPoints->count(), 0);
  QVERIFY(!w.ChartShown());
  QCOMPARE(w.NoteText(), Q(NoPulsationPointsText));

  // A good record afterwards charts again.
  QVERIFY(w.LoadFile(pls_));
  QVERIFY(w.ChartShown());
  QVERIFY(w.btnSaveCsv->isEnabled());
}

void ResultWindowsTest::pulsationExports() {
  TfrmViewPulsate w;
  w.resize(800, 500);
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  QVERIFY(w.LoadFile(pls_));
  const QString csv = dir_.filePath("point1.csv");
  QString error;
  QVERIFY2(w.SaveSeriesCsv(csv, error), qPrintable(error));
  QFile f(csv);
  QVERIFY(f.open(QIODevice::ReadOnly));
  const QByteArray raw = f.readAll();
  QVERIFY(raw.startsWith("\xEF\xBB\xBF"));
  const QStringList lines = QString::fromUtf8(raw.mid(3)).split("\r\n", Qt::SkipEmptyParts);
  QCOMPARE(lines.size(), int(w.Series1->count()) + 1);
  QCOMPARE(lines[0], QStringLiteral("t, с;Продольные пульсации, м/с;Поперечные пульсации, м/с"));
  const QList<QPointF> a = w.Series1->points();
  const QList<QPointF> b = w.Series2->points();
  for (int j = 0; j < a.size(); ++j) {
    const QStringList cells = lines[j + 1].split(';');
    QCOMPARE(cells.size(), 3);
    QVERIFY2(!cells[1].contains('.'), qPrintable(cells[1]));  // decimal comma
    const auto t = ParseReal(cells[0].toStdString());
    const auto vx = ParseReal(cells[1].toStdString());
    const auto vy = ParseReal(cells[2].toStdString());
    QVERIFY(t && vx && vy);
    QVERIFY(std::abs(double(*t) - a[j].x()) <= 1e-14 * (1 + std::abs(a[j].x())));
    QVERIFY(std::abs(double(*vx) - a[j].y()) <= 1e-14 * (1 + std::abs(a[j].y())));
    QVERIFY(std::abs(double(*vy) - b[j].y()) <= 1e-14 * (1 + std::abs(b[j].y())));
  }

  const QString png = dir_.filePath("chart.png");
  QVERIFY2(w.SaveChartPng(png, error), qPrintable(error));
  const QImage image(png);
  QVERIFY(!image.isNull());
  QCOMPARE(image.size(), w.Chart1->size() * w.Chart1->devicePixelRatio());
  QVERIFY(CountColour(image, qRgb(255, 0, 0)) > 0);  // the red series is on it

  QVERIFY(!w.SaveSeriesCsv(dir_.filePath("no/such/folder/x.csv"), error));
  QVERIFY(!error.isEmpty());
}

// The charts' axis rules on hand-worked cases: the round step at each
// threshold of its mantissa, the labels at its multiples (told apart when
// closer than the format shows), the time axis unpadded, a flat series
// given a band.
void ResultWindowsTest::chartAxisRules() {
  const struct {
    double range;
    int count;
    double step;
  } steps[] = {{14, 10, 1},     {15, 10, 2},     {29, 10, 2},        {30, 10, 5},  {69, 10, 5},
               {70, 10, 10},    {0.074, 4, 0.02}, {2.5e-3, 5, 5e-4}, {0, 5, 1},    {-1, 5, 1}};
  for (const auto& row : steps)
    QVERIFY2(std::abs(NiceTickStep(row.range, row.count) - row.step) <= 1e-12 * row.step,
             qPrintable(QString::number(row.range)));

  QCategoryAxis axis;
  axis.setTickCount(5);
  axis.setRange(0.013, 0.087);
  LabelAxisTicks(&axis);
  QCOMPARE(axis.categoriesLabels(), (QStringList{"0,02", "0,04", "0,06", "0,08"}));
  QCOMPARE(axis.endValue("0,06"), 0.06);
  axis.setRange(-4e-6, 0);
  LabelAxisTicks(&axis);
  const QStringList tiny = axis.categoriesLabels();
  QCOMPARE(tiny.size(), 5);
  QCOMPARE(tiny.front(), QStringLiteral("0"));
  QCOMPARE(tiny.back(), QStringLiteral("0") + QString(4, QChar(0x200B)));

  QValueAxis x, y;
  const QList<QPointF> rising = {{1.5, 2}, {2, 3}, {3.25, 4}};
  FitAxes(&x, &y, {&rising});
  QCOMPARE(x.min(), 1.5);
  QCOMPARE(x.max(), 3.25);
  QVERIFY2(y.min() <= 1.9 && y.min() >= 1 && y.max() >= 4.1 && y.max() <= 5,
           qPrintable(QStringLiteral("%1 … %2").arg(y.min()).arg(y.max())));
  const QList<QPointF> flat = {{0, 0.5}, {1, 0.5}};
  FitAxes(&x, &y, {&flat});
  QVERIFY(y.min() < 0.5 && y.max() > 0.5 && y.max() - y.min() < 0.01);
  FitAxes(&x, &y, {});
  QCOMPARE(y.min(), 0.0);
  QCOMPARE(y.max(), 1.0);
  // A chart's own axis labels (the averages window's) with the decimal comma.
  QChart chart;
  StyleChart(&chart, new QValueAxis, new QValueAxis);
  QVERIFY(chart.localizeNumbers());
  QCOMPARE(chart.locale().toString(0.5), QStringLiteral("0,5"));
}

void ResultWindowsTest::circulationRunGraphed() {
  TfrmFreeVrtGraph g;
  QCOMPARE(g.windowTitle(), QStringLiteral("График оторвавшегося вихря"));
  QVERIFY(g.LoadFile(fvt_));
  const TrackRecord& r = g.Record();
  QVERIFY(r.Gammas.size() >= size_t(kSteps));
  QVERIFY(r.Spacing == runModel_.VortexSpacing);
  const QList<QPointF> pts = g.Series1->points();
  QCOMPARE(size_t(pts.size()), r.Gammas.size());
  for (size_t k = 0; k < r.Gammas.size(); ++k) {
    const Real t = static_cast<Real>(k) * r.TimeStep + r.StartTime;
    const Real y = std::abs(r.Gammas[k] / (2 * Pi * r.Spacing));
    QVERIFY(std::abs(pts[k].x() - double(t)) <= 1e-15);
    QVERIFY(std::abs(pts[k].y() - double(y)) <= 1e-15 * (1 + double(y)));
  }
  QCOMPARE(g.labFile->text(), QStringLiteral("Имя файла: freevrt_run.fvt"));

  // The series for a report: one line per point after the header.
  QString error;
  const QString csv = dir_.filePath("graph.csv");
  QVERIFY2(g.SaveSeriesCsv(csv, error), qPrintable(error));
  QFile f(csv);
  QVERIFY(f.open(QIODevice::ReadOnly));
  const QStringList lines =
      QString::fromUtf8(f.readAll().mid(3)).split("\r\n", Qt::SkipEmptyParts);
  QCOMPARE(lines.size(), int(pts.size()) + 1);
  const QStringList last = lines.back().split(';');
  QCOMPARE(last.size(), 2);
  QVERIFY(std::abs(double(*ParseReal(last[1].toStdString())) - pts.back().y()) <=
          1e-14 * (1 + pts.back().y()));

  // A bad file leaves the graph as it was.
  const QString bad = dir_.filePath("bad.fvt");
  QVERIFY(WriteBytes(bad, Bytes(20, 0x7F)));
  auto box = AnswerNextBox();
  QVERIFY(!g.LoadFile(bad));
  QVERIFY(box->Seen);
  QCOMPARE(g.Series1->count(), pts.size());
  QCOMPARE(g.labFile->text(), QStringLiteral("Имя файла: freevrt_run.fvt"));
}

void ResultWindowsTest::circulationGraphDetails() {
  TfrmFreeVrtGraph g;
  QChart* chart = g.Chart1->chart();
  QCOMPARE(chart->title(), QStringLiteral("График изменения циркуляции оторвавшегося вихря"));
  QVERIFY(!chart->legend()->isVisible());
  QCOMPARE(g.Series1->color(), QColor(0, 0, 128));
  QVERIFY(g.ValueCaptionHtml().contains(QStringLiteral("Γ/2π")));
  QCOMPARE(g.cbShowPoints->text(), QStringLiteral("Показать точки"));
  QVERIFY(!g.Series1->pointsVisible());
  g.cbShowPoints->click();
  QVERIFY(g.Series1->pointsVisible());
  g.cbShowPoints->click();
  QVERIFY(!g.Series1->pointsVisible());

  // A continued run: first value at its start time, then one step later; a
  // negative circulation is charted as a positive value.
  TrackRecord r;
  r.StartTime = 0.5L;
  r.TimeStep = 0.005L;
  r.Spacing = 0.01L;
  r.Gammas = {-0.02L, 0.01L};
  const QString path = dir_.filePath("continued.fvt");
  QVERIFY(WriteBytes(path, EncodeTrackRecord(r)));
  QVERIFY(g.LoadFile(path));
  const QList<QPointF> pts = g.Series1->points();
  QCOMPARE(pts.size(), 2);
  QCOMPARE(pts[0].x(), double(0.5L));
  QCOMPARE(pts[1].x(), double(1 * 0.005L + 0.5L));
  QVERIFY(pts[0].y() > 0);
  QCOMPARE(pts[0].y(), double(std::abs(-0.02L / (2 * Pi * 0.01L))));

  // No recorded steps: an empty graph.
  r.Gammas.clear();
  QVERIFY(WriteBytes(path, EncodeTrackRecord(r)));
  QVERIFY(g.LoadFile(path));
  QCOMPARE(g.Series1->count(), 0);

  // A record whose spacing is zero cannot be scaled: refused, graph kept.
  r.Gammas = {0.01L};
  r.Spacing = 0;
  QVERIFY(WriteBytes(path, EncodeTrackRecord(r)));
  auto box = AnswerNextBox();
  QVERIFY(!g.LoadFile(path));
  QVERIFY(box->Seen);
}

void ResultWindowsTest::vortexZoneOnSavedState() {
  Model m;
  std::string error;
  QVERIFY2(LoadVortexState(m, vrt_.toStdString(), error), error.c_str());
  QVERIFY(m.FreeVortexCount > 0);
  Picture picture(m);
  TfrmVortexAreaInfo w(m, picture);
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));

  const VortexAreaStartTexts start = DefaultVortexAreaStart(m);
  QCOMPARE(w.edFirstX->text(), Q(start.FirstX));
  QCOMPARE(w.edFirstY->text(), Q(start.FirstY));
  QCOMPARE(w.edSecondX->text(), QStringLiteral("0,0000"));
  QCOMPARE(w.edSecondY->text(), Q(start.SecondY));
  QCOMPARE(w.edDt->text(), QStringLiteral("0,001"));
  QCOMPARE(w.StaticText1->text(), QStringLiteral(" Параметры не рассчитаны"));

  // The picture at the window's own scale: 873 × 265 pixels.
  QCOMPARE(w.Image1->size(), QSize(873, 265));
  QCOMPARE(picture.Image().size(), QSize(873, 265));
  QVERIFY(picture.PicScale() == VortexAreaScale(m, 873, 265));
  QVERIFY(std::abs(double(picture.PicScale()) - 329.4) < 0.1);

  w.btnCalculate->click();
  QCOMPARE(w.StaticText1->text(), QStringLiteral(" Расчет параметров завершен"));
  QVERIFY(w.btnCalculate->isEnabled());
  const TVortexAreaParams& r = w.LastResult();
  const std::pair<const char*, Real> rows[] = {
      {"Bэф", r.EffWidth},   {"b", r.MaxGap},      {"l", r.MaxGapPos},      {"a0", r.Overshoot},
      {"a", r.ZoneLength},   {"dmax", r.ChannelGap}, {"lmax", r.ChannelGapPos}};
  QCOMPARE(w.vlResults->rowCount(), 7);
  for (int i = 0; i < 7; ++i) {
    QCOMPARE(w.vlResults->item(i, 0)->text(), QString::fromUtf8(rows[i].first));
    QCOMPARE(w.vlResults->item(i, 1)->text(), Q(FormatFixed(rows[i].second, 6, 4)));
  }
  QVERIFY(r.EffWidth > 0);

  // The traces in blue and the marks in their colours are on the picture.
  const QImage shown = w.Image1->pixmap().toImage();
  QCOMPARE(shown.size(), QSize(873, 265));
  QVERIFY(CountColour(shown, qRgb(0, 0, 255)) > 20);
  QVERIFY(CountColour(shown, qRgb(255, 0, 255)) > 0);  // "Bэф"
  QVERIFY(CountColour(shown, qRgb(0, 128, 128)) > 0);  // "b", "dmax" (and the axes)
  QVERIFY(CountColour(shown, qRgb(0, 0, 128)) > 0);    // "a", "lmax"

  // A redraw without the free vortices and axes drops the teal axes and red marks.
  w.cbAxes->setChecked(false);
  w.cbFreeVrt->setChecked(false);
  w.btnRedraw->click();
  const QImage plain = w.Image1->pixmap().toImage();
  QCOMPARE(CountColour(plain, qRgb(255, 0, 0)), 0);
  QCOMPARE(CountColour(plain, qRgb(0, 128, 128)), 0);
}

void ResultWindowsTest::vortexZoneBadSettingsAndStop() {
  Model m;
  std::string error;
  QVERIFY2(LoadVortexState(m, vrt_.toStdString(), error), error.c_str());
  Picture picture(m);
  TfrmVortexAreaInfo w(m, picture);
  w.show();

  const std::pair<QLineEdit*, const char*> bad[] = {
      {w.edDt, "0.001"}, {w.edFirstX, ""}, {w.edSecondY, "1e"}};
  for (const auto& [e, text] : bad) {
    w.FillSettings();
    e->setText(text);
    auto box = AnswerNextBox();
    w.btnCalculate->click();
    QVERIFY2(box->Seen, text);
    QCOMPARE(box->Text, TfrmVortexAreaInfo::BadSettingsText());
    QCOMPARE(w.StaticText1->text(), QStringLiteral(" Идет расчет параметров..."));
    QCOMPARE(w.vlResults->rowCount(), 0);
    QVERIFY(!w.IsCalculating());
  }

  // Stop at the first yield: the start button is disabled meanwhile, and the
  // stopped computation lists nothing.
  w.FillSettings();
  bool startDisabled = false;
  QTimer::singleShot(0, &w, [&w, &startDisabled]() {
    startDisabled = w.IsCalculating() && !w.btnCalculate->isEnabled();
    w.btnStopCalc->click();
  });
  w.btnCalculate->click();
  QVERIFY(startDisabled);
  QVERIFY(w.LastOutcome().Stopped);
  QCOMPARE(w.StaticText1->text(), QStringLiteral(" Расчет параметров был остановлен"));
  QCOMPARE(w.vlResults->rowCount(), 0);
  QVERIFY(w.btnCalculate->isEnabled());
}

QTEST_MAIN(ResultWindowsTest)
#include "result_windows_test.moc"
