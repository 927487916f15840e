// Ринфет-МДВ: the program's start-up. One model and one picture live for the
// whole program; the windows are created once, in a fixed order, the main
// window first, and live until it closes.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "core/model.h"
#include "ui/about_box.h"
#include "ui/main_window.h"
#include "ui/picture.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Ринфет-МДВ"));
  // Numbers are written and read with the decimal comma of the Russian setting.
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));

  // The standard buttons of message boxes and file dialogs in Russian.
  QTranslator qtTranslator;
  if (qtTranslator.load(QStringLiteral("qtbase_ru"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qtTranslator);
  }

  mdv::Model model;
  mdv::Picture picture(model);

  mdv::TfrmMain frmMain(model, picture);
  mdv::TfrmAbout frmAbout(&frmMain);
  frmMain.frmAbout = &frmAbout;

  frmMain.show();
  return QApplication::exec();
}
