// Ринфет-МДВ: the program's start-up. One model and one picture live for the
// whole program; the windows are created once, in a fixed order, the main
// window first, and live until it closes.
#include <QApplication>
#include <QIcon>
#include <QLocale>
#include <QScreen>
#include <QTranslator>

#include "app/startup.h"
#include "core/model/model.h"
#include "ui/about_box.h"
#include "ui/area_params.h"
#include "ui/break_pnt_intervals.h"
#include "ui/break_pnt_params.h"
#include "ui/free_vrt_graph.h"
#include "ui/main_window.h"
#include "ui/picture.h"
#include "ui/pulsate_param.h"
#include "ui/view_pulsate.h"
#include "ui/vortex_area_info.h"

int main(int argc, char* argv[]) {
  if (int exitCode = 0; mdv::app::HandleCommandLine(argc, argv, exitCode)) return exitCode;
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Ринфет-МДВ"));
  // The icon of the installed desktop entry, when the program is installed.
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("rinfet-mdv")));
  // Numbers are written and read with the decimal comma of the Russian setting.
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));

  // The standard buttons of message boxes and file dialogs in Russian.
  QTranslator qtTranslator;
  if (mdv::app::LoadQtTranslation(qtTranslator)) QApplication::installTranslator(&qtTranslator);

  mdv::Model model;
  mdv::Picture picture(model);

  mdv::TfrmMain frmMain(model, picture);
  mdv::TfrmAbout frmAbout(&frmMain);
  frmMain.frmAbout = &frmAbout;
  mdv::TfrmPulsateParam frmPulsateParam(model, &frmMain);
  frmMain.frmPulsateParam = &frmPulsateParam;
  mdv::TfrmViewPulsate frmViewPulsate(&frmMain);
  frmMain.frmViewPulsate = &frmViewPulsate;
  mdv::TfrmAreaParams frmAreaParams(&frmMain);
  frmMain.frmAreaParams = &frmAreaParams;
  mdv::TfrmFreeVrtGraph frmFreeVrtGraph(&frmMain);
  frmMain.frmFreeVrtGraph = &frmFreeVrtGraph;
  mdv::TfrmBreakPntParams frmBreakPntParams(model, &frmMain);
  frmMain.frmBreakPntParams = &frmBreakPntParams;
  mdv::TfrmVortexAreaInfo frmVortexAreaInfo(model, picture, &frmMain);
  frmMain.frmVortexAreaInfo = &frmVortexAreaInfo;
  // Created with the others; no command opens it.
  mdv::TfrmBreakPntIntervals frmBreakPntIntervals(&frmMain);
  frmMain.frmBreakPntIntervals = &frmBreakPntIntervals;

  if (const QScreen* screen = QGuiApplication::primaryScreen()) frmMain.StartOnScreen(screen->availableGeometry());
  frmMain.show();
  return QApplication::exec();
}
