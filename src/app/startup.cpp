#include "app/startup.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QString>
#include <QStringList>
#include <QTranslator>

#include <cstdio>
#include <cstring>

#ifndef MDV_VERSION
#error "MDV_VERSION is set by the build from the project version"
#endif

namespace mdv::app {

namespace {

constexpr const char* HelpText =
    "Использование: rinfet-mdv [ПАРАМЕТРЫ]\n"
    "Ринфет-МДВ: расчет отрывного течения у круглого отсоса-раструба,\n"
    "расположенного над плоскостью, методом дискретных вихрей.\n"
    "\n"
    "Параметры:\n"
    "  -h, --help     показать эту справку и выйти\n"
    "  --version      показать версию и выйти\n"
    "\n"
    "Принимаются и стандартные параметры Qt, например -platform offscreen.\n"
    "Расчеты без окон выполняет rinfet-mdv-batch.\n";

}  // namespace

bool HandleCommandLine(int argc, char** argv, int& exitCode) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(HelpText, stdout);
      exitCode = 0;
      return true;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("rinfet-mdv %s\n", MDV_VERSION);
      exitCode = 0;
      return true;
    }
  }
  return false;
}

bool LoadQtTranslation(QTranslator& translator) {
  const QString appDir = QCoreApplication::applicationDirPath();
  // Qt's own folder first (a system Qt keeps its translations there); then
  // the layouts of a program installed together with its Qt.
  const QStringList folders{
      QLibraryInfo::path(QLibraryInfo::TranslationsPath),
      appDir + QStringLiteral("/../share/qt6/translations"),
      appDir + QStringLiteral("/translations"),
  };
  for (const QString& folder : folders) {
    if (translator.load(QStringLiteral("qtbase_ru"), folder)) return true;
  }
  return false;
}

}  // namespace mdv::app
