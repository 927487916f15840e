#pragma once
// The run command's averaging, tracer and step-limit options (--until-steady,
// --tolerance, --average-from, --averages, --field, --field-csv, --tracers,
// --tracer-grid, --capture-horizon, --steps):
// registered on the run subcommand, checked before the model is touched, and
// the run made with them.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/averages/averaging.h"
#include "core/averages/tracers.h"
#include "core/model/model.h"
#include "core/base/observer.h"
#include "core/flow/run.h"

namespace mdv::cli {

struct RunExtras {
  bool untilSteady = false;
  std::string tolerance, averageFrom, averages, field, fieldCsv, steps;
  std::string tracers, tracerGrid, captureHorizon;  // --tracers, --tracer-grid, --capture-horizon
  CLI::Option* toleranceOpt = nullptr;
  CLI::Option* averageFromOpt = nullptr;
  CLI::Option* stepsOpt = nullptr;

  // Filled by CheckRunExtras.
  bool averaging = false;
  AveragingSettings settings;
  std::optional<int64_t> stepLimit;
  bool tracing = false;  // markers released (implies averaging)
  TracerState tracerState;  // its Settings filled here

  // Filled by RunWithExtras.
  AveragingState state;
  std::string endText;  // how the run ended, with the steady-state verdict
};

void AddRunExtraOptions(CLI::App* run, RunExtras& e);

// Parses and checks the options; `outputUsable(path, option, error)` checks an output path.
bool CheckRunExtras(RunExtras& e,
                    const std::function<bool(const std::string&, const std::string&, std::string&)>& outputUsable,
                    std::string& error);

// RunSimulation with the averages fed and the step limit kept. A run ended by
// the step limit or by steadiness reports End::TimeLimit (it was not stopped).
RunSummary RunWithExtras(Model& m, RunExtras& e, int32_t maxFree, int32_t freeCount, Real startTime,
                         Real endTime, Real step, Observer& obs);

// Prints how the run ended and the averages (unless quiet) and writes the
// averages' files. Returns false when a file could not be written (the
// message is on stderr).
// `written` (when given) gets "; средние сохранены в …" and the like for
// each file written.
bool FinishRunExtras(const Model& m, RunExtras& e, bool quiet, std::string* written = nullptr);

// Source points of --tracers: "x,y;x,y" (decimal points), or with decimal
// commas "x y;x y" or "0,1,0,05" (three commas: the middle one separates).
// False with the offending part in `error`.
// Reads an averages file (.json) whole, its size judged first; false with a
// Russian message that names the file.
bool ReadAveragesFile(const std::string& file, AveragingResults& r, std::string& error);

bool ParseTracerPoints(const std::string& text, TRealPointArray& out, std::string& error);

}  // namespace mdv::cli
