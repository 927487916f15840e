// The window "Осреднённое течение" on the averages of a real short run, and
// the main window's part: the check box, the verdict, Continue adding to the
// averages and Start beginning them anew, saving them.
#include <QAction>
#include <QApplication>
#include <QRegularExpression>
#include <QStatusBar>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScatterSeries>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <limits>

#include "core/model/area.h"
#include "core/averages/averaging.h"
#include "core/averages/averaging_files.h"
#include "core/averages/entry_loss.h"
#include "core/analysis/centreline.h"
#include "core/model/model.h"
#include "core/base/numfmt.h"
#include "modal_driver.h"
#include "ui/averaged_flow.h"
#include "ui/averages_json.h"
#include "ui/contraction_chart.h"
#include "ui/elided_label.h"
#include "ui/precision_toggle.h"
#include "ui/main_window.h"
#include "ui/main_window_averages.h"
#include "ui/picture.h"
#include "ui/run_markers.h"
#include "ui/speed_map.h"

using namespace mdv;
using mdv::test::AnswerNextBox;

class AveragedFlowTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase();
  void colourScale();
  void showsTheAveragesOfARun();
  void captureSpeedsAndExports();
  void emptyUntilSomethingIsAveraged();
  void readsAnAveragesFile();
  void mainWindowFeedsTheAverages();
  void halfWidthsShownOnlyWhenTrusted();
  void zoneTableEveryCell();
  void speedMapOfALinearField();
  void windowFollowsTheRunWithoutBlockingIt();
  void contractionChartOfHandSections();
  void opensClearOfTheRunControls();
  void statusBarKeepsTheLimitWhole();

 private:
  Model model_;
  AveragingState state_;
  AveragingResults results_;
};

// 60 steps of the default area, averaged from t = 0 every 10th step, the
// vortex zone every 3rd grid sample: 6 grid samples, 2 zone measurements.
void AveragedFlowTest::initTestCase() {
  BuildArea(model_);
  AveragingSettings settings;
  settings.AverageFrom = 0;
  settings.SampleEverySteps = 10;
  settings.ZoneEverySamples = 3;
  StartAveraging(state_, model_, settings);
  const AveragedRunSummary run = RunAveraged(model_, state_, 400, 0, 0, 0.3L - 0.0025L, 0.005L);
  QVERIFY2(run.Run.Message.empty(), run.Run.Message.c_str());
  results_ = SummariseAveraging(state_, model_);
  QVERIFY(results_.HasAverages);
  QCOMPARE(results_.Samples, int64_t{6});
}

void AveragedFlowTest::colourScale() {
  // Viridis runs from its dark violet to its yellow with rising lightness, so
  // that a faster flow always reads lighter (also in grey print).
  QCOMPARE(Viridis(0), QColor(0x44, 0x01, 0x54));
  QCOMPARE(Viridis(1), QColor(0xfd, 0xe7, 0x25));
  QCOMPARE(Viridis(-1), Viridis(0));
  QCOMPARE(Viridis(std::nan("")), Viridis(0));
  double last = -1;
  for (int k = 0; k <= 100; ++k) {
    const QColor c = Viridis(k / 100.0);
    const double luma = 0.2126 * c.redF() + 0.7152 * c.greenF() + 0.0722 * c.blueF();
    QVERIFY2(luma > last, qPrintable(QString::number(k)));
    last = luma;
  }
  // The top of the scale: the 99th percentile of the flow points, rounded up.
  struct Row {
    const char* name;
    std::vector<double> speed;
    std::vector<uint8_t> inside;
    double top;
  };
  std::vector<double> ramp(200);
  for (size_t k = 0; k < ramp.size(); ++k) ramp[k] = 0.01 * static_cast<double>(k);  // 0 … 1,99
  std::vector<double> spiky = ramp;
  spiky[50] = 40;  // one point at a sharp edge
  std::vector<uint8_t> walls(200, 1);
  walls[199] = 0;
  walls[198] = 0;
  const Row rows[] = {{"ramp", ramp, {}, 2.0},
                      {"one spike does not set the scale", spiky, {}, 2.0},
                      {"wall points do not count", ramp, walls, 2.0},
                      {"nice rounding", {0.83, 0.83, 0.1}, {}, 0.85},
                      {"all zero", {0, 0, 0}, {}, 1.0},
                      {"no flow points", {3, 4}, {0, 0}, 1.0}};
  for (const Row& row : rows)
    QVERIFY2(std::abs(SpeedScaleTop(row.speed, row.inside) - row.top) < 1e-12,
             qPrintable(QString("%1: %2").arg(row.name).arg(SpeedScaleTop(row.speed, row.inside))));
}

void AveragedFlowTest::showsTheAveragesOfARun() {
  TfrmAveragedFlow w;
  w.resize(900, 620);
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  w.ShowResults(results_, model_);
  QCOMPARE(w.windowTitle(), QStringLiteral("Осреднённое течение"));
  QVERIFY(w.HasData());
  QVERIFY(w.tabs->isVisible());
  QVERIFY2(w.labSummary->text().contains(QStringLiteral("выборок поля 6 (каждый 10-й шаг)")),
           qPrintable(w.labSummary->text()));
  // The header wraps at its blanks, never inside a time and its unit.
  QVERIFY2(w.labSummary->text().contains(QRegularExpression(QStringLiteral("t\u00a0=\u00a0[0-9,]+\u00a0…\u00a0[0-9,]+\u00a0с"))),
           qPrintable(w.labSummary->text()));
  QVERIFY(!w.labSummary->text().contains(QStringLiteral("t = ")));

  // The map: its colour at a point inside the channel is the mean speed
  // there on the scale; the default capture lines are drawn and labelled.
  const AveragingGrid& g = results_.Field.Grid;
  const QSize size = w.Map->size();
  const QImage img = w.Map->Render(size);
  int checked = 0;
  for (int j = 1; j < g.Ny - 1; ++j) {
    for (int i = 1; i < g.Nx - 1; ++i) {
      // Only points whose eight neighbours are flow points: no blending with walls.
      bool clear = true;
      for (int dj = -1; dj <= 1; ++dj)
        for (int di = -1; di <= 1; ++di)
          clear = clear && g.Inside[static_cast<size_t>((j + dj) * g.Nx + i + di)];
      if (!clear || (i + j) % 7 != 0) continue;
      const double v = results_.Field.SpeedMean[static_cast<size_t>(j * g.Nx + i)];
      const QPointF p = w.Map->WorldToPixel(g.X0 + g.Dx * i, g.Y0 + g.Dy * j, size);
      const QColor got = img.pixelColor(p.toPoint());
      const QColor want = Viridis(v / w.Map->ScaleTop());
      if (std::abs(got.green() - want.green()) > 40 || std::abs(got.blue() - want.blue()) > 40)
        continue;  // a capture line or its label passes here
      ++checked;
    }
  }
  QVERIFY2(checked > 20, qPrintable(QString::number(checked)));
  QCOMPARE(w.Map->LineCounts().size(), size_t{3});
  QVERIFY(w.Map->LineCounts()[0] > 0);  // 0,25 m/s
  QVERIFY(w.Map->LineLabels().contains(QStringLiteral("0,25 м/с")));

  QVERIFY2(w.Map->ZoneLineCounts().empty(), "no tracers, no capture zone");
  // Tracers: a 5 × 4 source grid caught near the hood (x ≥ −0,2 m), not far
  // from it: one line at 0,9 and one at 0,5, labelled.
  {
    AveragingResults traced = results_;
    TracerResults& t = traced.Tracers;
    t.Present = true;
    t.Grid = {-0.4, 0.05, 0.1, 0.1, 5, 4, {}};
    for (int j = 0; j < 4; ++j) {
      for (int i = 0; i < 5; ++i) {
        SourceResult src;
        src.Point = {static_cast<Real>(-0.4 + 0.1 * i), static_cast<Real>(0.05 + 0.1 * j)};
        src.Known = true;
        src.CaughtFraction = i >= 2 ? 1.0 : 0.0;
        t.Grid.Source.push_back(static_cast<int32_t>(t.Sources.size()));
        t.Sources.push_back(src);
      }
    }
    w.ShowResults(traced, model_);
    w.Map->Render(size);
    QCOMPARE(w.Map->ZoneLineCounts(), (std::vector<int>{1, 1}));
    QVERIFY(w.Map->LineLabels().contains(QStringLiteral("захват 90 %")));
    QVERIFY(w.Map->LineLabels().contains(QStringLiteral("захват 50 %")));
    // One source with more markers in flight than fates: the lines may still move.
    t.Sources[7].Released = 5;
    t.Sources[7].Caught = 1;
    t.Sources[7].InFlight = 4;
    w.ShowResults(traced, model_);
    w.Map->Render(size);
    QVERIFY2(w.Map->LineLabels().contains(QStringLiteral("захват 90 % (предв.)")),
             qPrintable(w.Map->LineLabels().join(QLatin1Char('|'))));
    w.ShowResults(results_, model_);
  }

  // The centre-line: the model's mean at its stations, the reference curves
  // from the first station on.
  w.tabs->setCurrentIndex(1);
  int stations = 0;
  for (const CentrelineRow& row : results_.Centreline) stations += row.HasModel;
  QCOMPARE(w.SeriesModel->count(), stations);
  QCOMPARE(w.SeriesModel->at(0).y(), results_.Centreline[0].Model);
  const QPointF first = w.SeriesDiscSink->at(0);
  const double b = 0.15, x = first.x() * 2 * b;
  QVERIFY(std::abs(first.y() - (1 - x / std::sqrt(x * x + b * b))) < 1e-12);
  const double a = 3.14159265358979 * b * b;
  QVERIFY(std::abs(w.SeriesPlain->at(0).y() - a / (10 * x * x + a)) < 1e-9);
  QVERIFY(std::abs(w.SeriesFlanged->at(0).y() - a / (0.75 * (10 * x * x + a))) < 1e-9);
  // The plane (Px = −0,5 m, B = 0,15 m): a vertical line at x/D = 0,5/0,3,
  // past the model's last station and inside the chart.
  QCOMPARE(w.SeriesPlane->count(), 2);
  QVERIFY(std::abs(w.SeriesPlane->at(0).x() - 0.5 / 0.3) < 1e-12);
  QCOMPARE(w.SeriesPlane->at(1).x(), w.SeriesPlane->at(0).x());
  QVERIFY(w.SeriesModel->at(stations - 1).x() < w.SeriesPlane->at(0).x());
  QCOMPARE(w.SeriesPlane->name(), QStringLiteral("Плоскость, x/D = 1,67"));
  {
    Model far = model_;  // a plane 4 m away: x/D = 4/0,3 = 13,33…
    far.PlaneX = -4;
    w.ShowResults(results_, far);
    QCOMPARE(w.SeriesPlane->name(), QStringLiteral("Плоскость, x/D = 13,33"));
    w.ShowResults(results_, model_);
  }
  // The y axis from 0 (lower only below 0) to the first multiple of 0,25 at or
  // above every value drawn, and at least 1; the plane's line spans it.
  {
    double most = 1, least = 0;
    for (const QXYSeries* s : std::initializer_list<const QXYSeries*>{w.SeriesModel, w.SeriesDiscSink,
                                                                      w.SeriesFlanged, w.SeriesPlain})
      for (const QPointF& p : s->points()) {
        most = std::max(most, p.y());
        least = std::min(least, p.y());
      }
    const auto* axis = qobject_cast<QValueAxis*>(w.CentreChart->chart()->axes(Qt::Vertical).front());
    QVERIFY2(axis->max() >= most && axis->max() < most + 0.25 && std::fmod(axis->max(), 0.25) == 0,
             qPrintable(QStringLiteral("%1 for %2").arg(axis->max()).arg(most)));
    QVERIFY(axis->min() <= least && axis->min() > least - 0.25 && std::fmod(axis->min(), 0.25) == 0);
    QCOMPARE(w.SeriesPlane->at(0).y(), axis->min());
    QCOMPARE(w.SeriesPlane->at(1).y(), axis->max());
  }
  // The flux through the channel, when measured: its digits as written by hand.
  {
    AveragingResults r = results_;
    r.Flux.Valid = true;
    r.Flux.X = 0.3;
    r.Flux.Flux = 0.0123456;
    r.Flux.Ratio = 0.81234;
    w.ShowResults(r, model_);
    QVERIFY2(w.labSummary->text().endsWith(
                 QStringLiteral("\nРасход через канал при x = 0,3 м: 0,01235 м³/с, 0,812 от πB²v.")),
             qPrintable(w.labSummary->text()));
    w.ShowResults(results_, model_);
  }

  // The walls are drawn over the map by their real outline: the middle of
  // the channel wall's thickness (y = B + W/2) is grey;
  // just inside the channel, within a grid step of the wall, the map is
  // coloured (no grey staircase of wall cells).
  {
    const QColor solid(215, 215, 215);
    const double wall = 0.15 + 0.01;
    QCOMPARE(img.pixelColor(w.Map->WorldToPixel(0.5, wall, size).toPoint()), solid);
    for (const double y : {0.15 - 0.004, 0.15 - 0.012}) {
      const QColor c = img.pixelColor(w.Map->WorldToPixel(0.4, y, size).toPoint());
      QVERIFY2(c != solid, qPrintable(QString::number(y)));
    }
  }
  // Every point is given a speed; flow points keep theirs, a wall point the
  // mean of its flow neighbours.
  {
    AveragingGrid small;
    small.Nx = 3;
    small.Ny = 3;
    small.Inside = {1, 1, 1, 1, 0, 1, 0, 0, 0};
    const std::vector<double> v = {1, 2, 3, 4, 99, 6, 99, 99, 99};
    const std::vector<double> f = FillWallPoints(small, v);
    // (1,1): its three flow neighbours; (0,2) and (2,2): the one above;
    // (1,2): no flow point beside it, the two diagonal ones.
    const std::vector<double> want = {1, 2, 3, 4, (6 + 4 + 2) / 3.0, 6, 4, (6 + 4) / 2.0, 6};
    QCOMPARE(f, want);
  }

  // The vortex zone: the seven dimensions with mean and s.d.
  QCOMPARE(w.sgZone->rowCount(), 7);
  QCOMPARE(w.sgZone->item(0, 0)->text(), QStringLiteral("Bэф"));
  QCOMPARE(w.sgZone->item(6, 0)->text(), QStringLiteral("lmax"));
  // Each name explained where it is shown, as in the guide.
  QVERIFY(w.sgZone->item(0, 1)->toolTip().startsWith(QStringLiteral("Эффективная ширина")));
  QVERIFY(w.sgZone->item(6, 0)->toolTip().contains(QStringLiteral("плоскости устья")));
  const VortexZoneSummary& z = results_.VortexZone;
  QCOMPARE(z.Measured + z.Failed, 2);
  QVERIFY(w.labZone->text().contains(QStringLiteral("Измерений вихревой зоны: %1, не удалось: %2")
                                         .arg(z.Measured)
                                         .arg(z.Failed)));
  if (z.Measured > 0)
    QCOMPARE(w.sgZone->item(0, 1)->text(),
             QString::fromStdString(FormatFixed(z.Dimensions[0].Mean, 6, 4)));

  // The contraction: C_c of every section from the mouth, the vena contracta marked.
  w.tabs->setCurrentIndex(4);
  const ContractionSummary& c = results_.Contraction;
  QVERIFY(c.Present && c.HasVenaContracta);
  QCOMPARE(w.Contraction->SeriesCc->count(), static_cast<int>(c.Sections.size()));
  QCOMPARE(w.Contraction->SeriesCc->at(1), QPointF(c.Sections[1].XOverD, c.Sections[1].Cc));
  QCOMPARE(w.Contraction->SeriesVena->count(), c.VenaStandsOut ? 1 : 0);
  QCOMPARE(w.Contraction->labText->text(), QString::fromStdString(ContractionText(c)).trimmed());
  // Both entry losses shown, the balance's terms on hovering.
  QVERIFY(std::isfinite(c.ZetaM));
  // ζ by the balance is the entry loss, shown before the Borda–Carnot estimate.
  const QString shown = w.Contraction->labText->text();
  QVERIFY(shown.contains(QStringLiteral("Потери на входе ζ = ")));
  QVERIFY2(shown.indexOf(QStringLiteral("Потери на входе ζ = ")) < shown.indexOf(QStringLiteral("(Борда–Карно)")),
           qPrintable(shown));
  const MomentumBalance balance = BalanceMomentum(c, static_cast<double>(model_.ChannelRadius));
  QVERIFY(balance.Known);
  QCOMPARE(w.Contraction->labText->toolTip(), ContractionChart::BordaCarnotNote() + QStringLiteral("\n\n") +
                                                   QString::fromStdString(MomentumBalanceText(balance)).trimmed());
}

void AveragedFlowTest::captureSpeedsAndExports() {
  QTemporaryDir dir;
  TfrmAveragedFlow w;
  w.resize(900, 620);
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  w.ShowResults(results_, model_);

  w.edCaptureSpeeds->setText(QStringLiteral("0,6; 0,3;0,3"));
  w.btnApplySpeeds->click();
  QCOMPARE(w.Map->CaptureSpeeds(), (std::vector<double>{0.3, 0.6}));
  // A decimal point is taken as the comma is ("0.3" is 0,3 м/с).
  w.edCaptureSpeeds->setText(QStringLiteral("0.3; 1,25; 0.75"));
  QVERIFY(w.ApplyCaptureSpeeds());
  QCOMPARE(w.Map->CaptureSpeeds(), (std::vector<double>{0.3, 0.75, 1.25}));
  for (const char* bad : {"0,3; abc", "0,3; -0.5", "0; 1"}) {
    auto box = AnswerNextBox();
    w.edCaptureSpeeds->setText(QString::fromUtf8(bad));
    QVERIFY2(!w.ApplyCaptureSpeeds(), bad);
    QVERIFY(box->Seen);
    QVERIFY2(box->Text.contains(QStringLiteral("не положительное число")), qPrintable(box->Text));
  }
  QCOMPARE(w.Map->CaptureSpeeds(), (std::vector<double>{0.3, 0.75, 1.25}));

  // Each tab exports its own table and picture.
  struct Row {
    int tab;
    std::string csv;
  };
  const Row rows[] = {{0, FieldCsv(results_)},
                      {1, CentrelineCsv(results_.Centreline)},
                      {4, ContractionCsv(results_.Contraction)}};
  QString error;
  for (const Row& row : rows) {
    w.tabs->setCurrentIndex(row.tab);
    const QString csv = dir.filePath(QStringLiteral("tab%1.csv").arg(row.tab));
    QVERIFY2(w.SaveCsv(csv, error), qPrintable(error));
    QFile f(csv);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll().toStdString(), row.csv);
    const QString png = dir.filePath(QStringLiteral("tab%1.png").arg(row.tab));
    QVERIFY2(w.SavePng(png, error), qPrintable(error));
    QVERIFY(!QImage(png).isNull());
  }
  w.tabs->setCurrentIndex(2);
  const QString zone = dir.filePath("zone.csv");
  QVERIFY2(w.SaveCsv(zone, error), qPrintable(error));
  QFile f(zone);
  QVERIFY(f.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
  QCOMPARE(lines.size(), 8);
  QVERIFY(lines[1].startsWith(QStringLiteral("Beff;")));
  // The monitors: one row each, the mean beside its half-width.
  w.tabs->setCurrentIndex(3);
  QCOMPARE(w.sgMonitors->rowCount(), MonitorCount);
  QCOMPARE(w.sgMonitors->item(0, 0)->text(), QStringLiteral("Vx на оси при x = −B, м/с"));
  const MonitorSummary& m0 = results_.Monitors[0];
  QCOMPARE(w.sgMonitors->item(0, 1)->text(), QString::fromStdString(FormatFixed(m0.Mean, 6, 4)));
  QCOMPARE(w.sgMonitors->item(0, 4)->text(), QString::number(m0.Samples));
  const QString mon = dir.filePath("monitors.csv");
  QVERIFY2(w.SaveCsv(mon, error), qPrintable(error));
  QFile fm(mon);
  QVERIFY(fm.open(QIODevice::ReadOnly));
  QVERIFY(QString::fromUtf8(fm.readAll()).split('\n')[1].startsWith(QStringLiteral("vx_axis_B;м/с;")));
  QVERIFY(!w.SaveCsv(dir.filePath("no/such/dir/x.csv"), error));
}

void AveragedFlowTest::emptyUntilSomethingIsAveraged() {
  TfrmAveragedFlow w;
  QVERIFY(!w.HasData());
  QCOMPARE(w.NoteText(), TfrmAveragedFlow::EmptyText());
  QVERIFY(!w.btnSavePicture->isEnabled());

  // A run fed to the averages while its start-up is not over: nothing
  // averaged, and the note says why.
  Model m;
  BuildArea(m);
  AveragingState s;
  StartAveraging(s, m, AveragingSettings{});
  RunAveraged(m, s, 400, 0, 0, 0.05L, 0.005L);
  w.ShowResults(SummariseAveraging(s, m), m);
  QVERIFY(!w.HasData());
  QVERIFY2(w.NoteText().contains(QStringLiteral("Режим не установился")), qPrintable(w.NoteText()));
  // … and what to set: the start of the averages, then Continue.
  QVERIFY2(w.NoteText().contains(QStringLiteral("задайте «Осреднять с»")) &&
               w.NoteText().contains(QStringLiteral("«Продолжить»")),
           qPrintable(w.NoteText()));
  QVERIFY2(!w.NoteText().contains(QStringLiteral("t = ")), "a time is not split from its unit");
  QVERIFY(!w.btnSaveCsv->isEnabled());

  // Data, then empty again.
  w.ShowResults(results_, model_);
  QVERIFY(w.HasData());
  w.ShowEmpty();
  QVERIFY(!w.HasData());
  QVERIFY(!w.Map->HasData());
}

void AveragedFlowTest::readsAnAveragesFile() {
  QTemporaryDir dir;
  const QString path = dir.filePath("avg.json");
  std::string error;
  QVERIFY(SaveAveragesJson(results_, path.toStdString(), error));
  TfrmAveragedFlow w;
  w.ShowResults(AveragingResults{}, model_);  // the session's area, nothing averaged
  QVERIFY(w.LoadFile(path));
  QVERIFY(w.HasData());
  // Every number comes back to the bit; the hood is drawn over its own grid.
  QVERIFY(w.Results().Field.SpeedMean == results_.Field.SpeedMean);
  QVERIFY(w.Results().Field.Grid.Inside == results_.Field.Grid.Inside);
  QCOMPARE(w.Results().Samples, results_.Samples);
  QCOMPARE(w.Results().VortexZone.Measured, results_.VortexZone.Measured);
  QCOMPARE(w.Results().Monitors.size(), results_.Monitors.size());
  QCOMPARE(w.SeriesModel->count(), int(std::count_if(results_.Centreline.begin(),
                                                     results_.Centreline.end(),
                                                     [](const CentrelineRow& r) { return r.HasModel; })));
  QVERIFY(w.labSummary->text().startsWith(QStringLiteral("Файл avg.json. Средние за")));
  QCOMPARE(w.Map->Data().Contour.size(), model_.BodyRibs.size());

  // Another area: the map without the hood, and it says so.
  Model other;
  other.FlangeLength = 0.2L;
  BuildArea(other);
  TfrmAveragedFlow w2;
  w2.ShowResults(AveragingResults{}, other);
  QVERIFY(w2.LoadFile(path));
  QVERIFY(w2.Map->Data().Contour.empty());
  QVERIFY(w2.labSummary->text().contains(QStringLiteral("Контур отсоса не показан")));

  // Bad files are refused with a message naming the file; the window keeps its data.
  QFile in(path);
  QVERIFY(in.open(QIODevice::ReadOnly));
  const QByteArray good = in.readAll();
  struct Row {
    const char* name;
    QByteArray bytes;
  };
  QByteArray shortArray = good;
  shortArray.replace("\"speed_rms\": [", "\"speed_rms\": [1.0,");
  const Row rows[] = {{"not json", "{ \"format\": "},
                      {"other format", QByteArray(good).replace("rinfet-mdv-averages", "x")},
                      {"version 2", QByteArray(good).replace("\"version\": 1", "\"version\": 2")},
                      {"array length", shortArray}};
  for (const Row& row : rows) {
    const QString bad = dir.filePath(QString::fromLatin1(row.name).replace(' ', '_') + ".json");
    QFile out(bad);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(row.bytes);
    out.close();
    auto box = AnswerNextBox();
    QVERIFY2(!w.LoadFile(bad), row.name);
    QVERIFY(box->Seen);
    QVERIFY2(box->Text.contains(QFileInfo(bad).fileName()), qPrintable(box->Text));
    QVERIFY(w.HasData());
    QVERIFY(w.labSummary->text().startsWith(QStringLiteral("Файл avg.json.")));
  }
  AveragingResults kept;
  kept.Samples = 17;
  QString why;
  QVERIFY(!ReadAveragesJson(dir.filePath("none.json"), kept, why));
  QVERIFY2(why.startsWith(QStringLiteral("«none.json»: файл не открывается")), qPrintable(why));
  QCOMPARE(kept.Samples, int64_t{17});

  // The hood is drawn only over the grid of this very area: any one of its
  // sizes, origin, spacing or cells otherwise is another area's.
  const AveragingGrid own = results_.Field.Grid;
  QVERIFY(GridMatchesModel(own, model_));
  const std::pair<const char*, void (*)(AveragingGrid&)> changes[] = {
      {"Nx", [](AveragingGrid& g) { ++g.Nx; }},
      {"Ny", [](AveragingGrid& g) { ++g.Ny; }},
      {"X0", [](AveragingGrid& g) { g.X0 += g.Dx; }},
      {"Y0", [](AveragingGrid& g) { g.Y0 += g.Dy; }},
      {"Dy", [](AveragingGrid& g) { g.Dy *= 2; }},
      {"a cell", [](AveragingGrid& g) { g.Inside[g.Inside.size() / 2] = !g.Inside[g.Inside.size() / 2]; }},
      {"no spacing", [](AveragingGrid& g) { g.Dx = 0; }}};
  for (const auto& [name, change] : changes) {
    AveragingGrid g = own;
    change(g);
    QVERIFY2(!GridMatchesModel(g, model_), name);
  }
}

void AveragedFlowTest::mainWindowFeedsTheAverages() {
  Model model;
  Picture picture(model);
  TfrmMain win(model, picture);
  win.show();
  QVERIFY(QTest::qWaitForWindowExposed(&win));
  RunAverages* av = win.averages;
  QVERIFY(av);
  QCOMPARE(av->cbUntilSteady->text(), QStringLiteral("До установления режима"));
  QCOMPARE(av->cbUntilSteady->parentWidget(), win.gbVortexMotion);
  QVERIFY(!av->cbUntilSteady->isChecked());

  // Every step of the session's runs since Start is fed.
  const auto stepsSoFar = [&] { return static_cast<int64_t>(std::llround(model.Time / 0.005L)); };
  // Start: 0,1 s.
  win.edMaxTime->setText(QStringLiteral("0,1"));
  av->cbUntilSteady->setChecked(true);
  win.btnStart->click();
  const int64_t first = av->State().Steps;
  QCOMPARE(first, stepsSoFar());
  QVERIFY(first >= 20);
  QVERIFY(av->State().Settings.UntilSteady);
  // Until steady, the status says how the run ended, then the verdict.
  QVERIFY2(av->lbSteady->text().startsWith(QStringLiteral("Расчёт закончен по времени окончания")),
           qPrintable(av->lbSteady->text()));
  QVERIFY(av->lbSteady->text().contains(QStringLiteral("Режим не установился")));
  QVERIFY(av->lbSteady->isVisible());

  // Stopped after its first step, a run's averages survive: Continue adds to
  // them. Start begins anew.
  win.edMaxTime->setText(QStringLiteral("0,2"));
  QTimer::singleShot(0, win.btnStop, &QPushButton::click);
  win.btnContinue->click();
  QVERIFY2(av->lbSteady->text().startsWith(QStringLiteral("Расчёт остановлен")),
           qPrintable(av->lbSteady->text()));
  QVERIFY(av->State().Steps > first && av->State().Steps < first + 5);
  QCOMPARE(av->State().Steps, stepsSoFar());
  av->cbUntilSteady->setChecked(false);
  win.btnContinue->click();
  QVERIFY2(av->lbSteady->text().startsWith(QStringLiteral("Режим не установился")),
           qPrintable(av->lbSteady->text()));
  QCOMPARE(av->State().Steps, stepsSoFar());
  QVERIFY(av->State().Steps >= 40);
  // (Long enough for one grid sample: every 25th step by default.)
  win.edMaxTime->setText(QStringLiteral("0,15"));
  win.btnStart->click();
  QCOMPARE(av->State().Steps, stepsSoFar());
  QVERIFY(av->State().Steps < 40);

  // Nothing is averaged before the start-up ends: saving says so.
  QTemporaryDir dir;
  const QString json = dir.filePath("avg.json");
  {
    auto box = AnswerNextBox();
    QVERIFY(!av->SaveTo(json));
    QVERIFY(box->Seen);
    QCOMPARE(box->Text, RunAverages::NothingToSaveText());
  }
  QVERIFY(!QFile::exists(json));
  // Averaged from t = 0 the same state has averages to save and show.
  av->State().Settings.AverageFrom = 0;
  QVERIFY(av->SaveTo(json));
  QFile f(json);
  QVERIFY(f.open(QIODevice::ReadOnly));
  QVERIFY(f.readAll().contains("\"format\": \"rinfet-mdv-averages\""));
  av->RefreshWindow();
  QVERIFY(av->frmAveragedFlow->HasData());
  // Cancel in the save dialog writes nothing, though the proposed name is
  // selected in it.
  {
    const QString cwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    mdv::test::WhenModal([](QWidget* d) { return qobject_cast<QFileDialog*>(d) != nullptr; },
                         [](QWidget* d) { static_cast<QFileDialog*>(d)->reject(); });
    av->miSaveAverages->trigger();
    QDir::setCurrent(cwd);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("averages.json"))));
  }

  // The menu items are in place.
  QCOMPARE(av->miSaveAverages->text(), QStringLiteral("Сохранить средние…"));
  QCOMPARE(av->miAveragedFlow->text(), QStringLiteral("Осреднённое течение"));
  // "Загрузить средние…" right after "Сохранить средние…".
  QCOMPARE(av->miLoadAverages->text(), QStringLiteral("Загрузить средние…"));
  const QList<QAction*> data = win.menuBar()->findChild<QMenu*>(QStringLiteral("mnData"))->actions();
  QCOMPARE(data.indexOf(av->miLoadAverages), data.indexOf(av->miSaveAverages) + 1);

  // The verdict at the smallest width, beside the precision mark: it ends in
  // "…" within its room, the whole text in the tool tip.
  QVERIFY(av->lbSteady->toolTip().contains(av->lbSteady->text()));
  win.precision_->action()->trigger();
  QVERIFY(win.precision_->action()->isChecked());
  win.resize(win.minimumWidth(), win.height());
  QApplication::processEvents();
  auto* verdict = qobject_cast<ElidedLabel*>(av->lbSteady);
  QVERIFY(verdict);
  verdict->setText(QStringLiteral("Разгон закончился к t = 3,45 с; точность средних ещё не оценена: "
                                  "мало независимых данных после разгона"));
  QVERIFY2(verdict->ShownText().endsWith(QChar(0x2026)), qPrintable(verdict->ShownText()));
  QVERIFY(verdict->fontMetrics().horizontalAdvance(verdict->ShownText()) <= verdict->contentsRect().width());
  QVERIFY(verdict->ShownText().size() > 10);
  win.precision_->action()->trigger();
}

// The monitors tab shows a half-width as a figure exactly when the verdict
// (and so the JSON) trusts it; an untrusted one reads "не оценена".
void AveragedFlowTest::halfWidthsShownOnlyWhenTrusted() {
  TfrmAveragedFlow w;
  AveragingResults r = results_;
  QCOMPARE(r.Monitors.size(), static_cast<std::size_t>(MonitorCount));
  r.Monitors[0].Trusted = true;
  r.Monitors[0].HalfWidth95 = 0.0125;
  r.Monitors[0].RelativeHalfWidth = 0.025;
  r.Monitors[1].Known = true;
  r.Monitors[1].Trusted = false;  // correlated batch means
  r.Monitors[1].HalfWidth95 = 0.0125;
  r.Monitors[1].RelativeHalfWidth = 0.025;
  w.ShowResults(r, model_);
  QCOMPARE(w.sgMonitors->item(0, 2)->text(), QStringLiteral("0,0125"));
  QCOMPARE(w.sgMonitors->item(0, 3)->text(), QStringLiteral("2,5"));
  QCOMPARE(w.sgMonitors->item(1, 1)->text(), QString::fromStdString(FormatFixed(r.Monitors[1].Mean, 6, 4)));
  QCOMPARE(w.sgMonitors->item(1, 2)->text(), TfrmAveragedFlow::NotEstimatedText());
  QCOMPARE(w.sgMonitors->item(1, 3)->text(), TfrmAveragedFlow::NotEstimatedText());
  QVERIFY(!w.sgMonitors->item(1, 2)->toolTip().isEmpty());
  // The CSV leaves the untrusted half-width empty, as the JSON writes null.
  QTemporaryDir dir;
  QString error;
  w.tabs->setCurrentIndex(3);
  QVERIFY2(w.SaveCsv(dir.filePath("m.csv"), error), qPrintable(error));
  QFile f(dir.filePath("m.csv"));
  QVERIFY(f.open(QIODevice::ReadOnly));
  const QStringList rows = QString::fromUtf8(f.readAll()).split('\n');
  QCOMPARE(rows[1].split(';')[3], QStringLiteral("0,0125"));
  QCOMPARE(rows[2].split(';')[3], QString());
  QCOMPARE(rows[2].split(';')[4], QString());
}

// The vortex-zone tab: three columns, every mean and s.d. with four
// decimals, the count of measurements; dashes when none succeeded.
void AveragedFlowTest::zoneTableEveryCell() {
  TfrmAveragedFlow w;
  AveragingResults r = results_;
  VortexZoneSummary& z = r.VortexZone;
  z.Measured = 3;
  z.Failed = 1;
  z.EverySamples = 4;
  for (int k = 0; k < ZoneDimensionCount; ++k)
    z.Dimensions[static_cast<std::size_t>(k)] = {0.5 + 0.125 * k, 0.0125 * (k + 1)};
  w.ShowResults(r, model_);
  QCOMPARE(w.sgZone->columnCount(), 3);
  QCOMPARE(w.sgZone->horizontalHeaderItem(2)->text(), QStringLiteral("С.к.о., м"));
  const char* means[] = {"0,5000", "0,6250", "0,7500", "0,8750", "1,0000", "1,1250", "1,2500"};
  const char* sds[] = {"0,0125", "0,0250", "0,0375", "0,0500", "0,0625", "0,0750", "0,0875"};
  for (int k = 0; k < ZoneDimensionCount; ++k) {
    QCOMPARE(w.sgZone->item(k, 1)->text(), QString::fromUtf8(means[k]));
    QCOMPARE(w.sgZone->item(k, 2)->text(), QString::fromUtf8(sds[k]));
  }
  QCOMPARE(w.labZone->text(), QStringLiteral("Измерений вихревой зоны: 3, не удалось: 1 (каждая 4-я выборка поля)."));
  z.Measured = 0;
  z.EverySamples = 0;
  w.ShowResults(r, model_);
  QCOMPARE(w.sgZone->item(6, 1)->text(), QStringLiteral("—"));
  QCOMPARE(w.sgZone->item(6, 2)->text(), QStringLiteral("—"));
  QCOMPARE(w.labZone->text(), QStringLiteral("Измерений вихревой зоны: 0, не удалось: 1. Средних размеров нет: "
                                             "ни одно измерение не удалось."));
}

// A speed rising linearly along x (0 … 2 m/s over x = −0,5 … 0,5 m), every
// point a flow point: the bilinear colouring is exact, so a pixel has the
// scale's colour of the speed at its centre, and the line of a capture
// speed v is the vertical x = v/2 − 0,5; a speed above the scale has none.
void AveragedFlowTest::speedMapOfALinearField() {
  SpeedMap map;
  SpeedMapData d;
  d.Grid.X0 = -0.5;
  d.Grid.Dx = 0.1;
  d.Grid.Dy = 0.1;
  d.Grid.Nx = 11;
  d.Grid.Ny = 6;
  d.Grid.Inside.assign(66, 1);
  for (int j = 0; j < 6; ++j)
    for (int i = 0; i < 11; ++i) d.Speed.push_back(0.2 * i);
  map.SetData(d);
  QCOMPARE(map.ScaleTop(), 2.0);
  map.SetCaptureSpeeds({0.5, 1.5, 3});
  const QSize size(700, 400);
  const QImage img = map.Render(size);
  QCOMPARE(map.LineCounts(), (std::vector<int>{1, 1, 0}));
  QCOMPARE(map.LineLabels(), (QStringList{QStringLiteral("0,5 м/с"), QStringLiteral("1,5 м/с")}));
  const double scale = map.WorldToPixel(1, 0, size).x() - map.WorldToPixel(0, 0, size).x();  // px/m
  QVERIFY(scale > 300);
  QCOMPARE(map.WorldToPixel(0, 1, size).y() - map.WorldToPixel(0, 0, size).y(), -scale);
  for (const double x : {-0.45, -0.1, 0.05, 0.4}) {
    for (const double y : {0.07, 0.42}) {
      const QPointF p = map.WorldToPixel(x, y, size);
      const int col = static_cast<int>(std::floor(p.x())), row = static_cast<int>(std::floor(p.y()));
      const double speed = 2 * (x + (col + 0.5 - p.x()) / scale + 0.5);
      const QColor want = Viridis(speed / 2), got = img.pixelColor(col, row);
      QVERIFY2(std::abs(got.red() - want.red()) <= 1 && std::abs(got.green() - want.green()) <= 1 &&
                   std::abs(got.blue() - want.blue()) <= 1,
               qPrintable(QStringLiteral("(%1, %2): %3 for %4").arg(x).arg(y).arg(got.name(), want.name())));
    }
  }
  for (const double x : {-0.25, 0.25}) {
    const QPointF p = map.WorldToPixel(x, 0.1, size);
    // Black on a white casing: the pixel holding the line's middle is grey
    // and dark, as no colour of the scale is.
    const QColor c = img.pixelColor(static_cast<int>(std::floor(p.x())), static_cast<int>(p.y()));
    QVERIFY2(c.red() < 100 && std::abs(c.red() - c.green()) <= 2 && std::abs(c.red() - c.blue()) <= 2,
             qPrintable(QStringLiteral("%1: %2").arg(x).arg(c.name())));
  }
  // The colour bar, 18 px right of the map: the top of the scale at its
  // top, 0 at its bottom.
  const QPointF top = map.WorldToPixel(0.5, 0.5, size), bottom = map.WorldToPixel(0.5, 0, size);
  const int barX = static_cast<int>(top.x()) + 18 + 8;
  for (const auto& [row, t] : {std::pair{static_cast<int>(top.y()) + 2, 1.0}, {static_cast<int>(bottom.y()) - 3, 0.0}}) {
    const QColor c = img.pixelColor(barX, row), want = Viridis(t);
    QVERIFY2(std::abs(c.red() - want.red()) <= 8 && std::abs(c.green() - want.green()) <= 8 &&
                 std::abs(c.blue() - want.blue()) <= 8,
             qPrintable(QStringLiteral("%1: %2 for %3").arg(t).arg(c.name(), want.name())));
  }
}

// The window is not modal: opened during a run it leaves the run going, is
// refreshed while it goes, and Stop ends the run.
void AveragedFlowTest::windowFollowsTheRunWithoutBlockingIt() {
  Model model;
  Picture picture(model);
  TfrmMain win(model, picture);
  win.show();
  QVERIFY(QTest::qWaitForWindowExposed(&win));
  RunAverages* av = win.averages;
  win.edMaxTime->setText(QStringLiteral("100"));
  // During the run: open the window; once its text (the verdict on the steps
  // so far) has changed, press Stop. A minute without a change stops too.
  QString first;
  bool followed = false;
  QElapsedTimer clock;
  clock.start();
  QTimer::singleShot(0, av->miAveragedFlow, &QAction::trigger);
  QTimer poll;
  connect(&poll, &QTimer::timeout, [&] {
    if (!av->frmAveragedFlow->isVisible()) return;
    if (first.isEmpty()) first = av->frmAveragedFlow->NoteText();
    followed = av->frmAveragedFlow->NoteText() != first;
    if (followed || clock.elapsed() > 60000) {
      win.btnStop->click();
      poll.stop();
    }
  });
  poll.start(50);
  win.btnStart->click();
  QVERIFY2(followed, qPrintable(first));
  QVERIFY(model.Time < 100);
  QVERIFY(!win.IsRunning());
  QVERIFY(av->frmAveragedFlow->isVisible());
  QVERIFY(!av->frmAveragedFlow->isModal());
  // The run's end refreshed it once more: it shows the whole run's averages.
  TfrmAveragedFlow fresh;
  fresh.ShowResults(av->Results(), model);
  QCOMPARE(av->frmAveragedFlow->NoteText(), fresh.NoteText());
  QVERIFY(av->frmAveragedFlow->NoteText() != first);
  av->frmAveragedFlow->close();
}

// Three sections made by hand in a channel of radius 0,1 m, each carrying
// π·0,1²·2 m³/s (a mean speed of 2 m/s): the wall speeds −1,2, 1 and 2 m/s
// are charted as −0,6, 0,5 and 1; a section without C_c is left out; the axes
// are whole steps of 0,25 and 0,5 around the data, 0 and 1 always in.
void AveragedFlowTest::contractionChartOfHandSections() {
  ContractionSummary c;
  c.Present = true;
  c.MouthY = 0.1;
  const double flux = std::acos(-1.0) * 0.01 * 2;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double xs[] = {0, 0.5, 1.3}, ccs[] = {0.8, nan, 0.9}, walls[] = {-1.2, 1, 2};
  for (int k = 0; k < 3; ++k) {
    ContractionSection s;
    s.XOverD = xs[k];
    s.Cc = ccs[k];
    s.Flux = flux;
    s.VxWall = walls[k];
    c.Sections.push_back(s);
  }
  c.HasVenaContracta = true;
  c.VenaXOverD = 0.2;
  c.VenaCc = 0.7;
  ContractionChart chart;
  chart.ShowContraction(c);
  QVERIFY2(chart.SeriesVena->count() == 0, "a place that does not stand out is not marked");
  c.VenaStandsOut = true;
  chart.ShowContraction(c);
  QCOMPARE(chart.SeriesCc->points(), (QList<QPointF>{{0, 0.8}, {1.3, 0.9}}));
  QCOMPARE(chart.SeriesWall->count(), 3);
  for (int k = 0; k < 3; ++k) {
    QCOMPARE(chart.SeriesWall->at(k).x(), xs[k]);
    QVERIFY(std::abs(chart.SeriesWall->at(k).y() - walls[k] / 2) < 1e-12);
  }
  QCOMPARE(chart.SeriesVena->points(), (QList<QPointF>{{0.2, 0.7}}));
  const auto range = [&](Qt::Orientation o) {
    auto* a = qobject_cast<QValueAxis*>(chart.Chart->chart()->axes(o).front());
    return std::pair(a->min(), a->max());
  };
  QCOMPARE(range(Qt::Vertical), std::pair(-0.75, 1.0));
  QCOMPARE(range(Qt::Horizontal), std::pair(0.0, 1.5));
  // A wall speed of 2,6 m/s (1,3 of the mean) and a section at x/D = 1,5:
  // the next whole steps above, not one beyond.
  c.Sections[2].VxWall = 2.6;
  c.Sections[2].XOverD = 1.5;
  chart.ShowContraction(c);
  QCOMPARE(range(Qt::Vertical), std::pair(-0.75, 1.5));
  QCOMPARE(range(Qt::Horizontal), std::pair(0.0, 1.5));
  // No mouth radius (no area to divide by): no wall speeds to chart.
  c.MouthY = 0;
  chart.ShowContraction(c);
  QCOMPARE(chart.SeriesWall->count(), 0);
  QCOMPARE(chart.SeriesCc->count(), 2);
  // Not measured: said so, no balance on hovering, no vena contracta.
  ContractionSummary none;
  chart.ShowContraction(none);
  QCOMPARE(chart.labText->text(), QStringLiteral("Сжатие струи в этих средних не измерялось."));
  QVERIFY(chart.labText->toolTip().isEmpty());
  QCOMPARE(chart.SeriesVena->count(), 0);
  QCOMPARE(chart.SeriesWall->count(), 0);
  QCOMPARE(range(Qt::Vertical), std::pair(0.0, 1.0));
}

// The averages window opens where the main window's Stop stays free to click
// (the offscreen screen, 800 × 600, has no room beside it), and keeps the
// place the user gave it.
void AveragedFlowTest::opensClearOfTheRunControls() {
  Model model;
  Picture picture(model);
  TfrmMain win(model, picture);
  win.show();
  QVERIFY(QTest::qWaitForWindowExposed(&win));
  win.averages->miAveragedFlowClick();
  TfrmAveragedFlow* f = win.averages->frmAveragedFlow;
  QVERIFY(f->isVisible());
  const QRect stop(win.btnStop->mapToGlobal(QPoint(0, 0)), win.btnStop->size());
  const QRect start(win.btnStart->mapToGlobal(QPoint(0, 0)), win.btnStart->size());
  QVERIFY2(!f->frameGeometry().intersects(stop) && !f->frameGeometry().intersects(start),
           qPrintable(QStringLiteral("window %1,%2 %3x%4; Stop at %5,%6")
                          .arg(f->x()).arg(f->y()).arg(f->width()).arg(f->height()).arg(stop.x()).arg(stop.y())));
  f->hide();
  f->move(f->x() + 7, f->y());
  const QPoint moved = f->pos();
  win.averages->miAveragedFlowClick();
  QCOMPARE(f->pos(), moved);
}

// At 1280 px the free-vortex limit's text is shown whole, with its time,
// beside a long verdict and the markers' counts.
void AveragedFlowTest::statusBarKeepsTheLimitWhole() {
  Model model;
  Picture picture(model);
  TfrmMain win(model, picture);
  win.resize(1280, 760);
  win.show();
  QVERIFY(QTest::qWaitForWindowExposed(&win));
  win.edMaxFreeVortex->setText(QStringLiteral("5"));
  win.edMaxTime->setText(QStringLiteral("0,1"));
  win.averages->markers->cbMarkers->setChecked(true);
  win.btnStart->click();
  auto* limit = win.statusBar()->findChild<ElidedLabel*>(QStringLiteral("lbFreeLimit"));
  QVERIFY(limit && limit->isVisible());
  QVERIFY2(limit->text().contains(QStringLiteral("при t = ")), qPrintable(limit->text()));
  QTRY_COMPARE(limit->ShownText(), limit->text());
  QVERIFY(win.averages->markers->lbMarkers->isVisible());
  QVERIFY2(win.averages->markers->lbMarkers->text().startsWith(QStringLiteral("Маркеры")),
           qPrintable(win.averages->markers->lbMarkers->text()));
}

QTEST_MAIN(AveragedFlowTest)
#include "averaged_flow_test.moc"
