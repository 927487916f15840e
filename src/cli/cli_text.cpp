#include "cli/cli_text.h"

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <exception>
#include <iostream>
#include <new>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "core/base/numfmt.h"

namespace mdv::cli {

namespace {

// An option given with an empty value ("--save ''"): refused, not taken as absent.
class EmptyValue : public std::runtime_error {
 public:
  explicit EmptyValue(const std::string& name) : std::runtime_error(name) {}
};

// The parser's help in Russian. Group titles come from the app (set in
// UseRussianTexts); the rest are labels.
class RussianFormatter : public CLI::Formatter {
 public:
  RussianFormatter() {
    label("Usage", "Использование");
    label("OPTIONS", "ПАРАМЕТРЫ");
    label("SUBCOMMAND", "КОМАНДА");
    label("SUBCOMMANDS", "КОМАНДЫ");
    label("Positionals", "Аргументы");
    label("REQUIRED", "(обязательно)");
    label("Needs", "Требует");
    label("Excludes", "Исключает");
    label("Env", "Переменная окружения");
    label("TEXT", "ТЕКСТ");
    label("INT", "ЦЕЛОЕ");
    label("UINT", "ЦЕЛОЕ");
    label("FLOAT", "ЧИСЛО");
    label("FILE", "ФАЙЛ");
    label("DIR", "ПАПКА");
  }

  // As CLI11's, but the column is measured in characters, not bytes: the
  // Russian labels take two bytes a letter.
  std::string make_option(const CLI::Option* opt, bool is_positional) const override {
    const std::string name = "  " + make_option_name(opt, is_positional) + make_option_opts(opt);
    const std::string desc = make_option_desc(opt);
    size_t width = 0;  // characters of `name`
    for (const char c : name) width += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    const std::string indent(column_width_, ' ');
    std::string out = name;
    if (!desc.empty()) {
      out += width >= column_width_ ? "\n" + indent : std::string(column_width_ - width, ' ');
      for (const char c : desc) {
        out += c;
        if (c == '\n') out += indent;
      }
    }
    return out + "\n";
  }
};

std::string After(const std::string& text, const std::string& marker) {
  const size_t at = text.find(marker);
  return at == std::string::npos ? std::string() : text.substr(at + marker.size());
}

std::string Before(const std::string& text, const std::string& marker) {
  const size_t at = text.find(marker);
  return at == std::string::npos ? std::string() : text.substr(0, at);
}

// The names of the commands an app offers, for a message.
std::string CommandList(const CLI::App& app) {
  std::string list;
  for (const CLI::App* sub : app.get_subcommands({})) {
    if (sub->get_name().empty()) continue;
    if (!list.empty()) list += ", ";
    list += sub->get_name();
  }
  return list;
}

// The deepest command the parser got to ("rinfet-mdv-batch run"), for the help hint.
std::string CommandPath(const CLI::App& app) {
  std::string path = ProgramName;
  const CLI::App* at = &app;
  for (;;) {
    const std::vector<CLI::App*> chosen = at->get_subcommands();
    if (chosen.empty()) break;
    at = chosen.front();
    path += " " + at->get_name();
  }
  return path;
}

// The Russian text of the parse error being handled (called inside a catch).
// CLI11's own texts are English; the parts worth keeping (option names, the
// arguments given) are taken from them.
std::string ParseErrorText(const CLI::App& app) {
  try {
    throw;
  } catch (const CLI::RequiredError& e) {
    const std::string what = e.what();
    if (what.rfind("A subcommand", 0) == 0) return "не задана команда (" + CommandList(app) + ")";
    const std::string name = Before(what, " is required");
    if (!name.empty()) return "не задан обязательный аргумент " + name;
    return "не заданы обязательные аргументы";
  } catch (const CLI::ArgumentMismatch& e) {
    const std::string what = e.what();
    std::string name = Before(what, ":");
    if (name.empty()) name = Before(After(what, " arguments to "), ",");
    if (what.find("missing") != std::string::npos && !name.empty()) return "у " + name + " не задано значение";
    return name.empty() ? "неверное число значений" : "неверное число значений у " + name;
  } catch (const CLI::ConversionError& e) {
    const std::string what = e.what();
    const std::string given = After(what, "Could not convert: ");
    if (!given.empty()) {
      const std::string name = Before(given, " = ");
      const std::string value = After(given, " = ");
      if (!name.empty()) return name + ": \"" + value + "\" не является допустимым значением";
    }
    const std::string name = Before(what, ":");
    if (what.find("too many inputs for a flag") != std::string::npos && !name.empty()) {
      return "флаг " + name + " не принимает значения";
    }
    return "недопустимое значение аргумента";
  } catch (const CLI::ExcludesError& e) {
    const std::string what = e.what();
    const std::string first = Before(what, " excludes ");
    const std::string second = After(what, " excludes ");
    if (!first.empty()) return first + " нельзя задавать вместе с " + second;
    return "заданы несовместимые параметры";
  } catch (const CLI::RequiresError& e) {
    const std::string what = e.what();
    const std::string first = Before(what, " requires ");
    const std::string second = After(what, " requires ");
    if (!first.empty()) return first + " задается только вместе с " + second;
    return "не хватает параметра, без которого этот не задается";
  } catch (const CLI::ExtrasError& e) {
    // CLI11 lists them last first.
    std::vector<std::string> words;
    std::istringstream in(After(e.what(), " not expected: "));
    for (std::string w; in >> w;) words.insert(words.begin(), w);
    std::string rest;
    for (const std::string& w : words) rest += (rest.empty() ? "" : " ") + w;
    return "лишние или неизвестные аргументы: " + rest;
  } catch (const CLI::ValidationError& e) {
    const std::string what = e.what();
    const std::string name = Before(what, ":");
    // CLI11's own checks of paths, as its validators word them.
    const std::pair<const char*, const char*> known[] = {
        {"File does not exist: ", "файл не существует: "},
        {"Directory does not exist: ", "папка не существует: "},
        {"Path does not exist: ", "путь не существует: "},
        {"Path is a directory: ", "на месте файла папка: "},
        {"Path is a file: ", "на месте папки файл: "},
    };
    for (const auto& [english, russian] : known) {
      const std::string path = After(what, english);
      if (!path.empty()) return (name.empty() ? "" : name + ": ") + russian + Quoted(path);
    }
    return name.empty() ? "недопустимое значение аргумента" : name + ": недопустимое значение";
  } catch (const CLI::ParseError&) {
    return "командная строка не разобрана";
  }
}

// An option or positional of a chosen command given with an empty value.
void RefuseEmptyValues(const CLI::App& app) {
  for (const CLI::App* sub : app.get_subcommands()) {
    for (const CLI::Option* opt : sub->get_options()) {
      if (opt->count() == 0 || opt->get_type_size() == 0) continue;  // absent, or a flag
      for (const std::string& value : opt->results()) {
        if (value.empty()) throw EmptyValue(opt->get_name());
      }
    }
    RefuseEmptyValues(*sub);
  }
}

// The word right after a command that must be followed by a command, when
// it is no command of it (CLI11 would only say "A subcommand is required").
std::string UnknownCommand(const CLI::App& app, int argc, char** argv) {
  const CLI::App* at = &app;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word.empty() || word[0] == '-') return {};
    // Only where a command must follow could the word be anything else.
    if (at->get_subcommands({}).empty() || at->get_require_subcommand_min() == 0) return {};
    const CLI::App* next = nullptr;
    for (const CLI::App* sub : at->get_subcommands({})) {
      if (sub->check_name(word)) next = sub;
    }
    if (next == nullptr) {
      return "неизвестная команда \"" + word + "\" (команды: " + CommandList(*at) + ")";
    }
    at = next;
  }
  return {};
}

// A command's own help flag is made before it inherits the group title: give
// it (and any option still under CLI11's title) the Russian one.
void RussianGroups(CLI::App& app) {
  for (CLI::Option* opt : app.get_options({})) {
    if (opt->get_group() == "Options") opt->group("Параметры");
  }
  for (CLI::App* sub : app.get_subcommands({})) RussianGroups(*sub);
}

}  // namespace

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

void Say(const std::string& message) {
  std::string text = message;
  for (char& c : text) {
    if (c == '\r') c = '\n';
  }
  std::cerr << ProgramName << ": " << text << "\n";
}

int Refuse(const std::string& message) {
  Say(message);
  return ExitBadArgument;
}

int Fail(const std::string& message) {
  Say(message);
  return ExitFailed;
}

std::optional<Real> NumberArg(const std::string& text, const std::string& what, std::string& error) {
  const auto v = ParseRealLenient(text);
  if (!v) error = what + ": \"" + text + "\" не является числом";
  return v;
}

std::optional<int64_t> IntegerArg(const std::string& text, const std::string& what, std::string& error) {
  const auto v = ParseInt(text);
  if (!v) {
    error = what + ": \"" + text + "\" не является целым числом";
    return std::nullopt;
  }
  return *v;
}

void UseRussianTexts(CLI::App& app) {
  app.formatter(std::make_shared<RussianFormatter>());
  app.option_defaults()->group("Параметры");
  app.set_help_flag("-h,--help", "показать эту справку и выйти");
  app.group("Команды");
}

namespace {

// What an exception that escaped a command says: memory, or anything else.
std::string EscapedText(const std::exception_ptr& e) {
  try {
    if (e) std::rethrow_exception(e);
  } catch (const std::bad_alloc&) {
    return "недостаточно памяти для этого расчёта";
  } catch (const std::exception& x) {
    return std::string("внутренняя ошибка: ") + x.what();
  } catch (...) {
  }
  return "внутренняя ошибка";
}

// An exception that leaves a worker thread ends the program here, with a
// message and status 1 instead of an abort.
[[noreturn]] void OnTerminate() {
  std::cout.flush();
  Say(EscapedText(std::current_exception()));
  std::_Exit(ExitFailed);
}

}  // namespace

int ParseAndRun(CLI::App& app, int argc, char** argv, const int& status) {
  std::set_terminate(OnTerminate);
  const std::string unknown = UnknownCommand(app, argc, argv);
  if (!unknown.empty()) {
    Say(unknown);
    std::cerr << "Справка: " << ProgramName << " --help\n";
    return ExitBadArgument;
  }
  RussianGroups(app);
  // Runs after the parse and before the chosen command's callback.
  app.parse_complete_callback([&app] { RefuseEmptyValues(app); });
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError&) {
    Say(ParseErrorText(app));
    std::cerr << "Справка: " << CommandPath(app) << " --help\n";
    return ExitBadArgument;
  } catch (const EmptyValue& e) {
    Say(std::string(e.what()) + ": пустое значение не допускается");
    return ExitBadArgument;
  } catch (const RefusedArgument& e) {
    Say(e.what());
    return ExitBadArgument;
  } catch (...) {
    // A command that ran out of memory (or failed in a way it did not
    // foresee) ends with a message and status 1, never with an abort.
    std::cout.flush();
    return Fail(EscapedText(std::current_exception()));
  }
  return status;
}

}  // namespace mdv::cli
