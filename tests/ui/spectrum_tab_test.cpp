// The spectrum tab of the pulsation window on a record with known sines.
#include <QCategoryAxis>
#include <QChart>
#include <QLineEdit>
#include <QChartView>
#include <QFile>
#include <QFileDialog>
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
#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/base/numfmt.h"
#include "core/model/records.h"
#include "core/base/safe_file.h"
#include "core/analysis/spectrum.h"
#include "modal_driver.h"
#include "ui/chart_style.h"
#include "ui/spectrum_chart.h"
#include "ui/view_pulsate.h"

using namespace mdv;

class SpectrumTabTest : public QObject {
  Q_OBJECT
 private slots:
  void peaksOfEachPointOnLogAxes();
  void shortRecordSaysWhy();
  void startUpLeftOut();
  void axesSpanTheDataInWholeDecades();
  void fluctuationsOfEachPoint();
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
    QCOMPARE(a[15].y(), std::log10(s->Spectra().Vx.Density[16]));
    QCOMPARE(s->Peaks->count(), 2);
  }
  // f on a log axis; the density as log10 S with its decades labelled 10ⁿ.
  const auto axes = s->Chart->chart()->axes();
  QCOMPARE(axes.size(), 2);
  QCOMPARE(axes[0]->type(), QAbstractAxis::AxisTypeLogValue);
  auto* density = qobject_cast<QCategoryAxis*>(axes[1]);
  QVERIFY(density);
  QCOMPARE(density->titleText(), QStringLiteral("S, (м/с)²/Гц"));
  const QStringList decades = density->categoriesLabels();
  QVERIFY(decades.size() >= 2);
  for (const QString& label : decades) {
    const int e = static_cast<int>(density->endValue(label));
    QCOMPARE(label, PowerOfTenText(e));
  }
  QCOMPARE(PowerOfTenText(-2), QString::fromUtf8("10⁻²"));
  QCOMPARE(PowerOfTenText(13), QString::fromUtf8("10¹³"));
  QCOMPARE(PowerOfTenText(0), QString::fromUtf8("10⁰"));
  QVERIFY(s->labMethod->text().contains(QStringLiteral("отрезки по 128 отсчетов")));

  // The save commands follow the shown tab.
  QString error;
  const QString csv = dir.filePath("spectrum.csv");
  QVERIFY2(w.SaveSeriesCsv(csv, error), qPrintable(error));
  // The batch tool's table, byte for byte: no byte-order mark.
  QFile f(csv);
  QVERIFY(f.open(QIODevice::ReadOnly));
  const QByteArray bytes = f.readAll();
  QCOMPARE(bytes.toStdString(), SpectrumCsv(s->Spectra()));
  const QStringList lines = QString::fromUtf8(bytes).split('\n', Qt::SkipEmptyParts);
  QCOMPARE(lines.size(), 66);
  QCOMPARE(lines[0], QStringLiteral("f;Svx;Svy"));
  QVERIFY(lines[1].startsWith(QStringLiteral("0;")));
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

// A record whose Vx drifts from −0,2 to 0 over the first 2,5 s before it
// settles to a 12,5 Hz oscillation of 0,05 m/s: with the whole record the drift would
// make the lowest frequency the largest; the detected start-up (or a given
// time) leaves it out, and a record that only drifts says so.
void SpectrumTabTest::startUpLeftOut() {
  QTemporaryDir dir;
  PulsationRecord r = Sines(2000);  // 10 s
  for (int j = 0; j < 2000; ++j) {
    const double t = j * 0.005;
    r.Vx[1][j] = 0.05 * std::sin(2 * std::numbers::pi * 12.5 * t) + 0.01 * std::cos(5.7 * j) +
                 (t < 2.5 ? -0.2 * (1 - t / 2.5) : 0.0);
  }
  TfrmViewPulsate w;
  QVERIFY(w.LoadFile(WriteRecord(dir, "startup.pls", r)));
  w.lbPoints->setCurrentRow(1);
  SpectrumChart* s = w.Spectrum;
  QVERIFY(s->ChartShown());
  QCOMPARE(s->labPeakVx->text(), QStringLiteral("Пик спектра Vx: 12,5 Гц"));
  const double from = s->Spectra().FromTime;
  QVERIFY2(from >= 1 + 2.0 && from <= 1 + 4.0, qPrintable(QString::number(from)));  // record starts at t = 1 s
  QVERIFY2(s->labFrom->text().startsWith(QStringLiteral("Спектр с t = ")), qPrintable(s->labFrom->text()));
  // A given start: from t = 1 s (the record's start) the drift is in, but
  // each segment's trend is removed: still the oscillation.
  s->edFrom->setText(QStringLiteral("1"));
  s->edFromChange();
  QCOMPARE(s->Spectra().FirstSample, int64_t{0});
  QCOMPARE(s->labFrom->text(), QStringLiteral("Спектр с t = 1 с (задано)"));
  QCOMPARE(s->labPeakVx->text(), QStringLiteral("Пик спектра Vx: 12,5 Гц"));
  s->edFrom->setText(QStringLiteral("6.5"));  // a decimal point as in every field
  s->edFromChange();
  QCOMPARE(s->Spectra().FirstSample, int64_t{1100});
  s->edFrom->clear();

  // Only a slow wave (a period of 8 s) and a little noise: no peak is claimed.
  for (int j = 0; j < 2000; ++j)
    r.Vx[0][j] = 0.3 * std::sin(2 * std::numbers::pi * j * 0.005 / 8) + 0.001 * std::cos(7.1 * j);
  QVERIFY(w.LoadFile(WriteRecord(dir, "slow.pls", r)));
  s->edFrom->setText(QStringLiteral("1"));
  w.lbPoints->setCurrentRow(0);
  s->edFromChange();
  QVERIFY(s->Spectra().Vx.PeakAtLowest);
  QVERIFY2(s->labPeakVx->text().startsWith(QStringLiteral("Пик спектра Vx: нет — наибольшая плотность на низшей частоте ")),
           qPrintable(s->labPeakVx->text()));
  QCOMPARE(s->Peaks->count(), 1);  // Vy's 50 Hz only
}

// Point 1 of the sines: f from 1,5625 to 100 Hz on the decades 1 … 100 Hz;
// S over the decades holding its smallest and largest density, each one
// labelled; the method line with the segment count and the frequency step.
void SpectrumTabTest::axesSpanTheDataInWholeDecades() {
  QTemporaryDir dir;
  TfrmViewPulsate w;
  QVERIFY(w.LoadFile(WriteRecord(dir, "sines.pls", Sines(800))));
  SpectrumChart* s = w.Spectrum;
  QVERIFY(s->ChartShown());
  const auto axes = s->Chart->chart()->axes();
  auto* frequency = qobject_cast<QLogValueAxis*>(axes[0]);
  auto* density = qobject_cast<QCategoryAxis*>(axes[1]);
  QVERIFY(frequency && density);
  QCOMPARE(frequency->min(), 1.0);
  QCOMPARE(frequency->max(), 100.0);
  double lo = 1e300, hi = 0;
  for (const PowerSpectrum* p : {&s->Spectra().Vx, &s->Spectra().Vy})
    for (std::size_t j = 1; j < p->Density.size(); ++j)
      if (p->Density[j] > 0) lo = std::min(lo, p->Density[j]), hi = std::max(hi, p->Density[j]);
  QCOMPARE(density->min(), std::floor(std::log10(lo)));
  QCOMPARE(density->max(), std::ceil(std::log10(hi)));
  // The leakage floor lies some 14 decades below the peaks: every n-th
  // decade labelled from the lowest, n the least giving at most eight
  // intervals.
  const int span = static_cast<int>(density->max() - density->min());
  QVERIFY2(span > 8, qPrintable(QString::number(span)));
  const int every = (span + 7) / 8;
  const QStringList labels = density->categoriesLabels();
  QCOMPARE(labels.size(), span / every + 1);
  for (int k = 0; k < labels.size(); ++k)
    QCOMPARE(labels[k], PowerOfTenText(static_cast<int>(density->min()) + every * k));
  // 800 samples in segments of 128 overlapping by 64: (800 − 128)/64 + 1.
  QVERIFY2(s->labMethod->text().endsWith(QStringLiteral("отрезков 11; шаг по частоте 1,5625 Гц")),
           qPrintable(s->labMethod->text()));
  // A start that is not a number is said so in place of the chart, not
  // taken as "авто"; a good one charts again.
  s->edFrom->setText(QStringLiteral("abc"));
  QVERIFY(!s->ShowPoint(w.Record(), 0));
  QCOMPARE(s->NoteText(), QString::fromStdString(InvalidFloatMessage("abc")));
  s->edFrom->setText(QStringLiteral("1,5"));
  QVERIFY(s->ShowPoint(w.Record(), 0));
  QVERIFY(s->ChartShown());
}

// The fluctuations tab: each point's series are its samples less their mean
// (summed here), the r.m.s. of a sine of amplitude A is A/√2, the first point
// is shown on loading, the CSV reads back to the series, and a file that is
// not a record is refused with the window unchanged.
void SpectrumTabTest::fluctuationsOfEachPoint() {
  QTemporaryDir dir;
  const PulsationRecord r = Sines(800);  // 4 s: whole periods of every sine
  TfrmViewPulsate w;
  QVERIFY(!w.btnSavePicture->isEnabled() && !w.btnSaveCsv->isEnabled());  // nothing to save yet
  const QString pls = WriteRecord(dir, "sines.pls", r);
  QVERIFY(w.LoadFile(pls));
  QCOMPARE(w.lbPoints->currentRow(), 0);
  QCOMPARE(w.lbPoints->count(), 2);
  // The four figures in two rows, Vx above Vy, means left of the r.m.s.;
  // the longitudinal series red, the transverse green.
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  QVERIFY(w.labVx->geometry().bottom() < w.labVy->geometry().top());
  QVERIFY(w.labVx2->geometry().bottom() < w.labVy2->geometry().top());
  QVERIFY(w.labVx->geometry().right() < w.labVx2->geometry().left());
  QCOMPARE(w.labVy->geometry().left(), w.labVx->geometry().left());
  QCOMPARE(w.Series1->color(), QColor(255, 0, 0));
  QCOMPARE(w.Series2->color(), QColor(0, 128, 0));
  QVERIFY(w.btnSavePicture->isEnabled() && w.btnSaveCsv->isEnabled());
  // The label's number after " = ", decimal comma.
  const auto number = [](const QLabel* l) {
    QString t = l->text();
    t = t.mid(t.indexOf(QStringLiteral(" = ")) + 3);
    t.chop(QStringLiteral(" м/с").size());
    return t.replace(QLatin1Char(','), QLatin1Char('.')).toDouble();
  };
  // The means and r.m.s. summed here; a sine of amplitude A has r.m.s. A/√2
  // (to the small cosines' 0,01/√2 and the sums' ends).
  const double amplitude[2][2] = {{0.2, 0.1}, {0.3, 0.05}};
  for (int k : {1, 0}) {
    w.lbPoints->setCurrentRow(k);
    QVERIFY(w.labVx->text().startsWith(QStringLiteral("<Vx> = ")));
    QVERIFY(w.labVy2->text().startsWith(QStringLiteral("Среднекв. значение попереч.")));
    double mx = 0, my = 0, sx = 0, sy = 0;
    for (int j = 0; j < 800; ++j) mx += static_cast<double>(r.Vx[k][j]) / 800, my += static_cast<double>(r.Vy[k][j]) / 800;
    for (int j = 0; j < 800; ++j) {
      sx += std::pow(static_cast<double>(r.Vx[k][j]) - mx, 2) / 800;
      sy += std::pow(static_cast<double>(r.Vy[k][j]) - my, 2) / 800;
    }
    QVERIFY(std::abs(std::sqrt(sx) - std::hypot(amplitude[k][0], 0.01) / std::sqrt(2.0)) < 2e-4);
    QVERIFY(std::abs(std::sqrt(sy) - std::hypot(amplitude[k][1], 0.01) / std::sqrt(2.0)) < 2e-4);
    QVERIFY2(std::abs(number(w.labVx) - mx) < 6e-6, qPrintable(w.labVx->text()));
    QVERIFY2(std::abs(number(w.labVy) - my) < 6e-6, qPrintable(w.labVy->text()));
    QVERIFY2(std::abs(number(w.labVx2) - std::sqrt(sx)) < 6e-6, qPrintable(w.labVx2->text()));
    QVERIFY2(std::abs(number(w.labVy2) - std::sqrt(sy)) < 6e-6, qPrintable(w.labVy2->text()));
    QCOMPARE(w.Series1->count(), 800);
    QCOMPARE(w.Series2->count(), 800);
    for (int j : {0, 17, 799}) {
      QVERIFY(std::abs(w.Series1->at(j).x() - (1 + 0.005 * j)) < 1e-12);
      QVERIFY(std::abs(w.Series1->at(j).y() - (static_cast<double>(r.Vx[k][j]) - mx)) < 1e-12);
      QVERIFY(std::abs(w.Series2->at(j).y() - (static_cast<double>(r.Vy[k][j]) - my)) < 1e-12);
    }
  }
  // The CSV of the shown tab: t, Vx', Vy' of point 1, read back.
  QString error;
  const QString csv = dir.filePath("fluct.csv");
  QVERIFY2(w.SaveSeriesCsv(csv, error), qPrintable(error));
  QFile f(csv);
  QVERIFY(f.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(f.readAll()).remove(QChar(0xFEFF)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
  QCOMPARE(lines.size(), 801);
  QCOMPARE(lines[0], QStringLiteral("t, с;Продольные пульсации, м/с;Поперечные пульсации, м/с"));
  for (int j : {0, 400, 799}) {
    const QStringList cells = lines[j + 1].split(QLatin1Char(';'));
    QCOMPARE(cells.size(), 3);
    for (int col = 0; col < 3; ++col) {
      const QPointF p = col == 2 ? w.Series2->at(j) : w.Series1->at(j);
      const double want = col == 0 ? p.x() : p.y();
      const double got = QString(cells[col]).replace(QLatin1Char(','), QLatin1Char('.')).toDouble();
      QVERIFY2(std::abs(got - want) <= 1e-9 * (1 + std::abs(want)), qPrintable(lines[j + 1]));
    }
  }
  // The save dialogs offer the record's name and the point's number from 1.
  QString offered;
  mdv::test::WhenModal([](QWidget* d) { return qobject_cast<QFileDialog*>(d) != nullptr; },
                       [&offered](QWidget* d) {
                         if (auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) offered = name->text();
                         QMetaObject::invokeMethod(d, "reject");
                       });
  w.btnSaveCsv->click();
  QCOMPARE(offered, QStringLiteral("sines_1.csv"));

  // Not a record: refused with a message, the first record still shown.
  const QString bad = dir.filePath("bad.pls");
  QFile b(bad);
  QVERIFY(b.open(QIODevice::WriteOnly));
  b.write("not a record");
  b.close();
  const auto box = mdv::test::AnswerNextBox(QMessageBox::Ok);
  QVERIFY(!w.LoadFile(bad));
  QVERIFY(box->Seen);
  QCOMPARE(w.labFile->text(), QStringLiteral("Имя файла: sines.pls"));
  QCOMPARE(w.Series1->count(), 800);
}

QTEST_MAIN(SpectrumTabTest)
#include "spectrum_tab_test.moc"
