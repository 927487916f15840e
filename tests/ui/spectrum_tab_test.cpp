// The spectrum tab of the pulsation window on a record with known sines.
#include <QChart>
#include <QChartView>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QPushButton>
#include <QLogValueAxis>
#include <QScatterSeries>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <numbers>

#include "core/base/numfmt.h"
#include "core/model/records.h"
#include "core/base/safe_file.h"
#include "core/analysis/spectrum.h"
#include "ui/spectrum_chart.h"
#include "ui/view_pulsate.h"

using namespace mdv;

class SpectrumTabTest : public QObject {
  Q_OBJECT
 private slots:
  void peaksOfEachPointOnLogAxes();
  void shortRecordSaysWhy();
};

namespace {

// Point 1: Vx at 25 Hz, Vy at 50 Hz; point 2: Vx at 12,5 Hz; 800 samples at
// 0,005 s: N = 128, 1,5625 Hz apart, all three on bins.
PulsationRecord Sines(int m) {
  PulsationRecord r;
  r.StartTime = 1;
  r.TimeStep = 0.005L;
  r.Points = {{-0.1L, 0.05L}, {-0.2L, 0.1L}};
  r.SampleCount = m;
  r.Vx.assign(2, TRealArray(m));
  r.Vy.assign(2, TRealArray(m));
  for (int j = 0; j < m; ++j) {
    const double t = j * 0.005;
    r.Vx[0][j] = 0.5 + 0.2 * std::sin(2 * std::numbers::pi * 25 * t) + 0.01 * std::cos(7.1 * j);
    r.Vy[0][j] = 0.1 * std::sin(2 * std::numbers::pi * 50 * t) + 0.01 * std::cos(3.3 * j);
    r.Vx[1][j] = 0.3 * std::sin(2 * std::numbers::pi * 12.5 * t) + 0.01 * std::cos(5.7 * j);
    r.Vy[1][j] = 0.05 * std::sin(2 * std::numbers::pi * 12.5 * t + 1) + 0.01 * std::cos(2.9 * j);
  }
  return r;
}

QString WriteRecord(const QTemporaryDir& dir, const QString& name, const PulsationRecord& r) {
  const QString path = dir.filePath(name);
  std::string error;
  return WriteFileAtomically(path.toStdString(), EncodePulsationRecord(r), error) ? path
                                                                                  : QString();
}

}  // namespace

void SpectrumTabTest::peaksOfEachPointOnLogAxes() {
  QTemporaryDir dir;
  const QString pls = WriteRecord(dir, "sines.pls", Sines(800));
  QVERIFY(!pls.isEmpty());
  TfrmViewPulsate w;
  w.resize(900, 600);
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  QVERIFY(w.LoadFile(pls));
  QCOMPARE(w.tabs->count(), 2);
  QCOMPARE(w.tabs->tabText(1), QStringLiteral("Спектр"));
  w.tabs->setCurrentIndex(1);
  SpectrumChart* s = w.Spectrum;
  QVERIFY(s->ChartShown());

  struct Row {
    int point;
    const char* vx;
    const char* vy;
  };
  const Row rows[] = {{0, "Пик спектра Vx: 25 Гц", "Пик спектра Vy: 50 Гц"},
                      {1, "Пик спектра Vx: 12,5 Гц", "Пик спектра Vy: 12,5 Гц"}};
  for (const Row& row : rows) {
    w.lbPoints->setCurrentRow(row.point);
    QCOMPARE(s->labPeakVx->text(), QString::fromUtf8(row.vx));
    QCOMPARE(s->labPeakVy->text(), QString::fromUtf8(row.vy));
    // Every frequency but zero, in Hz, with its density.
    const QList<QPointF> a = s->SeriesVx->points();
    QCOMPARE(a.size(), 64);
    QCOMPARE(a.front().x(), 1.5625);
    QCOMPARE(a.back().x(), 100.0);
    QCOMPARE(a[15].y(), s->Spectra().Vx.Density[16]);
    QCOMPARE(s->Peaks->count(), 2);
  }
  const auto axes = s->Chart->chart()->axes();
  QCOMPARE(axes.size(), 2);
  for (QAbstractAxis* axis : axes) QCOMPARE(axis->type(), QAbstractAxis::AxisTypeLogValue);
  QVERIFY(s->labMethod->text().contains(QStringLiteral("отрезки по 128 отсчетов")));

  // The save commands follow the shown tab.
  QString error;
  const QString csv = dir.filePath("spectrum.csv");
  QVERIFY2(w.SaveSeriesCsv(csv, error), qPrintable(error));
  QFile f(csv);
  QVERIFY(f.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(f.readAll().mid(3)).split("\r\n", Qt::SkipEmptyParts);
  QCOMPARE(lines.size(), 66);
  QCOMPARE(lines[0], QStringLiteral("f, Гц;S(Vx), (м/с)²/Гц;S(Vy), (м/с)²/Гц"));
  QVERIFY(lines[9].startsWith(QStringLiteral("12,5;")));
  const QString png = dir.filePath("spectrum.png");
  QVERIFY2(w.SaveChartPng(png, error), qPrintable(error));
  QCOMPARE(QImage(png).size(), s->Chart->size() * s->Chart->devicePixelRatio());
}

void SpectrumTabTest::shortRecordSaysWhy() {
  QTemporaryDir dir;
  const QString pls = WriteRecord(dir, "short.pls", Sines(12));
  TfrmViewPulsate w;
  QVERIFY(w.LoadFile(pls));
  QVERIFY(w.ChartShown());  // the fluctuations are still charted
  QVERIFY(!w.Spectrum->ChartShown());
  // Saving follows the shown tab: the fluctuations can be saved, the note cannot.
  QVERIFY(w.btnSaveCsv->isEnabled());
  w.tabs->setCurrentIndex(1);
  QVERIFY(!w.btnSaveCsv->isEnabled());
  QVERIFY(!w.btnSavePicture->isEnabled());
  w.tabs->setCurrentIndex(0);
  QVERIFY(w.btnSavePicture->isEnabled());
  QCOMPARE(w.Spectrum->NoteText(), QString::fromUtf8(TooFewSpectrumSamplesText));
  QVERIFY(w.Spectrum->labPeakVx->text().isEmpty());
  // A long record afterwards charts the spectrum again.
  QVERIFY(w.LoadFile(WriteRecord(dir, "long.pls", Sines(800))));
  QVERIFY(w.Spectrum->ChartShown());
}

QTEST_MAIN(SpectrumTabTest)
#include "spectrum_tab_test.moc"
