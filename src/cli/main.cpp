// rinfet-mdv-batch: the flow model without windows, for scripts and long studies.
#include <CLI/CLI.hpp>

#include "cli/cli_text.h"
#include "cli/commands.h"

int main(int argc, char** argv) {
  CLI::App app{"Ринфет-МДВ: отрывное течение у круглого отсоса-раструба, пакетный режим"};
  mdv::cli::UseRussianTexts(app);
  app.require_subcommand(1);
  int status = 0;
  mdv::cli::AddModelCommands(app, status);
  mdv::cli::AddAnalysisCommands(app, status);
  mdv::cli::AddAveragingCommands(app, status);
  mdv::cli::AddStudyCommands(app, status);
  mdv::cli::AddContourCommands(app, status);
  mdv::cli::AddProfileCommand(app, status);
  return mdv::cli::ParseAndRun(app, argc, argv, status);
}
