#include "cli/refined_only.h"

#include <CLI/CLI.hpp>

#include "cli/cli_text.h"

namespace mdv::cli {

namespace {

std::string Refusal(const std::string& option) { return option + ": только для --model refined"; }

}  // namespace

void RefuseRefinedOnlyWithoutModel(CLI::App* command) {
  command->parse_complete_callback([command] {
    const CLI::Option* model = command->get_option_no_throw("--model");
    if (model != nullptr && model->count() > 0 && model->as<std::string>() == "refined") return;
    // A contour area runs the refined model whatever --model says.
    const CLI::Option* contour = command->get_option_no_throw("--contour");
    if (contour != nullptr && contour->count() > 0) return;
    for (const char* key : RefinedOnlyKeys) {
      const CLI::Option* o = command->get_option_no_throw(std::string("--") + key);
      if (o != nullptr && o->count() > 0) throw RefusedArgument(Refusal(o->get_name()));
    }
  });
}

std::string RefinedOnlyRefusal(const std::vector<StudySetting>& settings) {
  // A contour runs the refined model whatever model says, as the run does.
  for (const StudySetting& s : settings)
    if ((s.Key == "model" && s.Value == "refined") || s.Key == "contour") return {};
  for (const StudySetting& s : settings) {
    for (const char* key : RefinedOnlyKeys) {
      // A flag switched off is no option at all.
      if (s.Key == key && s.Value != "false")
        return "ключ «" + s.Key + "»: только для model = \"refined\"";
    }
  }
  return {};
}

}  // namespace mdv::cli
