// rinfet-mdv-batch: the flow model without windows, for scripts and long studies.
#include <cstdio>

#include "cli/commands.h"

int main(int argc, char** argv) {
  CLI::App app{"Ринфет-МДВ: separated flow at a round exhaust hood, batch tool"};
  app.require_subcommand(1);
  int status = 0;
  mdv::cli::AddModelCommands(app, status);
  mdv::cli::AddAnalysisCommands(app, status);
  mdv::cli::AddStudyCommands(app, status);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  return status;
}
