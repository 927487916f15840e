// "Маркеры" in the main window: ticking the box during a run puts markers
// into the picture, unticking takes them out; they leave the run's bits
// alone and their counts reach the window's averages.
#include <QAction>
#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <vector>

#include "core/model/model.h"
#include "ui/main_window.h"
#include "ui/main_window_averages.h"
#include "ui/picture.h"
#include "ui/precision_toggle.h"
#include "ui/run_markers.h"
#include "modal_driver.h"

using namespace mdv;

namespace {

struct Window {
  Model model;
  Picture picture{model};
  TfrmMain win{model, picture};
  Window(const char* maxTime) {
    win.precision_->action()->trigger();  // the double path: a short test
    win.edMaxTime->setText(QString::fromLatin1(maxTime));
    win.show();
    QVERIFY(QTest::qWaitForWindowExposed(&win));
  }
  QCheckBox* box() { return win.averages->markers->cbMarkers; }
};

// Pixels of the picture in the colours of markers younger than a second.
int YoungMarkerPixels(const QImage& image) {
  const QColor young = Picture::MarkerColor(0), older = Picture::MarkerColor(0.1);
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.red() >= young.red() && c.red() <= older.red() && c.green() >= young.green() &&
          c.green() <= older.green() && c.blue() >= young.blue() && c.blue() <= older.blue())
        ++count;
    }
  }
  return count;
}

std::vector<TVortex> FreeRings(const Model& m) {
  return {m.Vortices.begin() + m.AttachedCount, m.Vortices.begin() + m.AttachedCount + m.FreeVortexCount};
}

}  // namespace

class RunMarkersTest : public QObject {
  Q_OBJECT
 private slots:
  void tickedDuringARunShownUntickedGone();
  void passiveAndCountedInTheAverages();
  void averageFromStartsTheMeansAndTheCounts();
};

void RunMarkersTest::tickedDuringARunShownUntickedGone() {
  Window w("0,4");
  QVERIFY(!w.box()->isChecked());
  // Serviced between two steps: tick at 0,05 s, untick at 0,3 s.
  int shownMax = 0, pixelsMax = 0, afterUntick = -1, pixelsAfter = -1;
  size_t inFlight = 0;
  QTimer poll;
  poll.setInterval(0);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    const Real t = w.model.Time;
    if (t >= 0.05L && t < 0.3L && !w.box()->isChecked()) w.box()->click();
    if (w.box()->isChecked()) {
      shownMax = std::max(shownMax, w.picture.DrawnMarkers());
      inFlight = std::max(inFlight, w.win.averages->markers->State().Markers.size());
      pixelsMax = std::max(pixelsMax, YoungMarkerPixels(w.picture.Image()));
    }
    if (t >= 0.3L && w.box()->isChecked()) {
      w.box()->click();
      afterUntick = w.picture.DrawnMarkers();
      pixelsAfter = YoungMarkerPixels(w.picture.Image());
    }
  });
  poll.start();
  w.win.btnStartClick();
  poll.stop();
  QVERIFY(w.model.Time > 0.39L);
  // Some 40 grid points release in turn over 0,25 s: dozens in flight.
  QVERIFY2(shownMax >= 20, qPrintable(QString::number(shownMax)));
  QCOMPARE(static_cast<size_t>(shownMax), inFlight);
  QVERIFY2(pixelsMax >= shownMax, qPrintable(QString::number(pixelsMax)));
  QCOMPARE(afterUntick, 0);
  QCOMPARE(pixelsAfter, 0);
  QCOMPARE(w.picture.DrawnMarkers(), 0);
  QCOMPARE(YoungMarkerPixels(w.picture.Image()), 0);
  QVERIFY(w.win.averages->markers->State().Markers.empty());
}

void RunMarkersTest::passiveAndCountedInTheAverages() {
  Window plain("0,15");
  plain.win.btnStartClick();
  Window marked("0,15");
  marked.box()->click();
  marked.win.btnStartClick();
  QVERIFY(marked.picture.DrawnMarkers() > 0);
  // The markers read the flow only: the same rings to the last bit.
  const std::vector<TVortex> a = FreeRings(plain.model), b = FreeRings(marked.model);
  QCOMPARE(b.size(), a.size());
  QVERIFY(!a.empty());
  for (size_t k = 0; k < a.size(); ++k) {
    QVERIFY2(a[k].Pos.X == b[k].Pos.X && a[k].Pos.Y == b[k].Pos.Y && a[k].Gamma == b[k].Gamma,
             qPrintable(QString::number(k)));
  }
  // The tracers ran beside the averages, over the window's grid of sources;
  // before the start-up's end none is counted.
  const AveragingResults r = marked.win.averages->Results();
  QVERIFY(r.Tracers.Present);
  QVERIFY(r.Tracers.Grid.Nx > 0);
  QVERIFY(r.Tracers.Sources.size() >= 20);
  int64_t released = 0;
  for (const SourceResult& s : r.Tracers.Sources) released += s.Released;
  QCOMPARE(released > 0, r.Tracers.HasFirstRelease);
  QVERIFY(!plain.win.averages->Results().Tracers.Present);
  // Start again without the box: the markers and their counts are gone.
  marked.box()->click();
  marked.win.btnStartClick();
  QVERIFY(!marked.win.averages->Results().Tracers.Present);
  QCOMPARE(marked.picture.DrawnMarkers(), 0);
}

void RunMarkersTest::averageFromStartsTheMeansAndTheCounts() {
  // A run far too short for the running verdict to find the start-up's end:
  // without "Осреднять с" it has neither means nor counted markers.
  Window automatic("0,3");
  automatic.box()->click();
  automatic.win.btnStartClick();
  QVERIFY(!automatic.win.averages->Results().HasAverages);
  QVERIFY(!automatic.win.averages->Results().Tracers.HasFirstRelease);

  // From 0,1 s (decimal comma): both begin at the first step at or after it.
  Window w("0,3");
  w.win.averages->edAverageFrom->setText(QStringLiteral("0,1"));
  w.box()->click();
  w.win.btnStartClick();
  const AveragingResults r = w.win.averages->Results();
  QVERIFY(r.HasAverages);
  QVERIFY2(r.StartTime >= 0.1 - 1e-9 && r.StartTime < 0.1 + 0.005 * 25, qPrintable(QString::number(r.StartTime)));
  QVERIFY(r.Tracers.HasFirstRelease);
  QVERIFY2(r.Tracers.FirstRelease >= 0.1 - 1e-9 && r.Tracers.FirstRelease < 0.11,
           qPrintable(QString::number(r.Tracers.FirstRelease)));
  int64_t released = 0;
  for (const SourceResult& s : r.Tracers.Sources) released += s.Released;
  QVERIFY(released > 0);

  // Not a number: the user is told, and nothing runs.
  Window bad("0,3");
  bad.win.averages->edAverageFrom->setText(QStringLiteral("1.5x"));
  auto box = test::AnswerNextBox();
  bad.win.btnStartClick();
  QVERIFY(box->Seen);
  QVERIFY2(box->Text.contains(QStringLiteral("1.5x")), qPrintable(box->Text));
  QCOMPARE(bad.model.Time, Real{0});
}

QTEST_MAIN(RunMarkersTest)
#include "run_markers_test.moc"
