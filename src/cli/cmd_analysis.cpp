#include "cli/commands.h"

namespace mdv::cli {

void AddAnalysisCommands(CLI::App& /*app*/, int& /*status*/) {}

}  // namespace mdv::cli
