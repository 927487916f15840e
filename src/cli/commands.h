#pragma once
// Sub-commands of rinfet-mdv-batch. Each group registers its commands; a
// command's callback stores the process exit status in `status`.
namespace CLI {
class App;
}

namespace mdv::cli {

// run, velocity, report
void AddModelCommands(CLI::App& app, int& status);
// streamline, vortex-area, pulsation, track
void AddAnalysisCommands(CLI::App& app, int& status);
// centreline
void AddAveragingCommands(CLI::App& app, int& status);
// contour check|dxf|from-dxf
void AddContourCommands(CLI::App& app, int& status);
// profile
void AddProfileCommand(CLI::App& app, int& status);
// study plan|case|run|parallel|slurm|status|collect; call after AddModelCommands
void AddStudyCommands(CLI::App& app, int& status);

}  // namespace mdv::cli
