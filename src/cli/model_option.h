#pragma once
// --model and the refined model's parameters, for `run` and for the commands
// that evaluate a saved state's flow (a vortex file does not say which model
// made it; the field of the refined model smooths the free rings).
#include <CLI/CLI.hpp>

#include <string>

#include "core/model/model.h"

namespace mdv::cli {

struct FlowModelArgs {
  std::string model = "program";
  std::string smoothing, shedding = "edge-speed", placement = "nascent", courant, viscosity;
  CLI::Option* modelOpt = nullptr;
  CLI::Option* smoothingOpt = nullptr;
  CLI::Option* courantOpt = nullptr;
  CLI::Option* viscosityOpt = nullptr;
};

// Which of the refined model's options a command takes: Field — those that
// decide the velocity of a given state (--model, --smoothing-length), for
// every command that evaluates a saved state's flow; Run — also the shedding,
// diffusion and step options.
enum class FlowOptionSet { Field, Run };

void AddFlowModelOptions(CLI::App* command, FlowModelArgs& a, FlowOptionSet set);

// Sets m.Flow and m.Refined; false with `error` for a value that is not a number or out of range.
bool ApplyFlowModel(const FlowModelArgs& a, Model& m, std::string& error);

// A saved state with the asked model and arithmetic: the model options are
// judged before the file is read. ExitOk, or the exit status of the refusal
// (a bad option) or the failure (the file), which is said on stderr.
int LoadStateWithModel(Model& m, const std::string& file, Precision precision, const FlowModelArgs& a);

// The step a refined run takes without --dt: from --courant or RefinedCourant; 0 when not refined
// and no --courant (the caller's default stands).
Real CourantStep(const FlowModelArgs& a, const Model& m, std::string& error, bool& bad);

}  // namespace mdv::cli
