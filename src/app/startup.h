#pragma once
// Start-up work of the program that comes before its windows.
class QTranslator;

namespace mdv::app {

// Answers --help and --version on standard output without opening a window.
// Returns true when the program is to end at once with exitCode; every other
// argument is left to Qt (its standard options, such as -platform).
bool HandleCommandLine(int argc, char** argv, int& exitCode);

// Loads Qt's own Russian texts (standard buttons of message boxes and file
// dialogs) into translator: from Qt's translation folder, else from the
// folders beside an installed program. Returns false when none is found.
bool LoadQtTranslation(QTranslator& translator);

}  // namespace mdv::app
