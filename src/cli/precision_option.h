#pragma once
// --precision: the arithmetic of the flow, for every command that evaluates it.
#include <CLI/CLI.hpp>

#include <string>

#include "core/model/model.h"

namespace mdv::cli {

inline CLI::Option* AddPrecisionOption(CLI::App* command, Precision& value) {
  return command
      ->add_option_function<std::string>(
          "--precision",
          [&value](const std::string& name) {
            value = name == "double" ? Precision::Double : Precision::Extended;
          },
          "арифметика расчёта: extended — расширенная 80-битная, как в окне (по умолчанию); "
          "double — двойная точность с векторным счётом: те же статистики течения, во много "
          "раз быстрее")
      ->check(CLI::IsMember({"extended", "double"}))
      ->type_name("extended|double")
      ->default_str("extended");
}

}  // namespace mdv::cli
