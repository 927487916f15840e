// The screenshots of the user's guide (docs/guide/img), taken from the real
// windows after a short run of the default hood: the main window with its
// markers, the averaged flow's map and contraction tabs and the vortex-zone
// window with its dimension marks. Run by scripts/guide_screenshots.sh
// under Xvfb; OUTDIR is the folder the PNG files go to.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QLocale>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QTabWidget>
#include <cstdio>

#include "core/model/model.h"
#include "ui/about_box.h"
#include "ui/averaged_flow.h"
#include "ui/main_window.h"
#include "ui/main_window_averages.h"
#include "ui/picture.h"
#include "ui/run_markers.h"
#include "ui/study_view.h"
#include "ui/user_guide.h"
#include "ui/vortex_area_info.h"

namespace {

// With MDV_SHOTS_SCREEN set, the whole screen too (screen-NAME), to see
// where the windows stand against each other.
bool Shot(QWidget* w, const QString& dir, const char* name) {
  QApplication::processEvents();
  const QString path = dir + QLatin1Char('/') + QString::fromLatin1(name);
  if (qEnvironmentVariableIsSet("MDV_SHOTS_SCREEN")) {
    QThread::msleep(300);
    QApplication::processEvents();
    if (QScreen* screen = QGuiApplication::primaryScreen())
      screen->grabWindow(0).save(dir + QStringLiteral("/screen-") + QString::fromLatin1(name), "PNG");
  }
  const bool ok = w->grab().save(path, "PNG");
  std::fprintf(stderr, "%s %s\n", ok ? "written" : "NOT written", qPrintable(path));
  return ok;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mdv_guide_shots OUTDIR\n");
    return 2;
  }
  QApplication app(argc, argv);
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  const QString dir = QString::fromLocal8Bit(argv[1]);

  mdv::Model model;
  mdv::Picture picture(model);
  mdv::TfrmMain w(model, picture);
  mdv::TfrmAbout about(&w);
  w.frmAbout = &about;
  mdv::TfrmVortexAreaInfo zone(model, picture, &w);
  w.frmVortexAreaInfo = &zone;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) w.StartOnScreen(screen->availableGeometry());
  w.show();

  // The guide's worked example, shortened: 2 s of the default hood, averages
  // and counted markers from 0,5 s.
  w.edMaxTime->setText(QStringLiteral("2"));
  w.averages->edAverageFrom->setText(QStringLiteral("0,5"));
  w.averages->markers->cbMarkers->setChecked(true);
  w.btnStartClick();
  bool ok = Shot(&w, dir, "main_window.png");

  w.averages->miAveragedFlowClick();
  mdv::TfrmAveragedFlow* avg = w.averages->frmAveragedFlow;
  avg->tabs->setCurrentIndex(0);
  ok = Shot(avg, dir, "averages_map.png") && ok;
  avg->tabs->setCurrentIndex(4);
  ok = Shot(avg, dir, "contraction.png") && ok;
  avg->hide();

  if (qEnvironmentVariableIsSet("MDV_SHOTS_SCREEN")) {
    // For a look at the guide's own window, not for the guide.
    if (auto* guide = w.findChild<mdv::UserGuide*>()) {
      guide->miGuideClick();
      Shot(guide->Window(), dir, "guide-window.png");
      guide->Window()->hide();
    }
  }
  zone.show();
  zone.btnCalculateClick();
  ok = Shot(&zone, dir, "vortex_zone.png") && ok;
  zone.hide();

  // MDV_SHOTS_STUDY=DIR: a collected study's window too, both tabs.
  if (qEnvironmentVariableIsSet("MDV_SHOTS_STUDY")) {
    mdv::StudyView study(&w);
    if (study.Open(qEnvironmentVariable("MDV_SHOTS_STUDY"))) {
      study.show();
      ok = Shot(&study, dir, "study.png") && ok;
      study.tabs->setCurrentIndex(1);
      ok = Shot(&study, dir, "study-convergence.png") && ok;
    }
  }
  return ok ? 0 : 1;
}
