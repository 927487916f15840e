#pragma once
// What the batch tool says and how it ends: exit statuses, messages on
// stderr, number arguments, and the command-line parser's help and errors in
// Russian. Option names and CSV headers stay as they are (scripts use them).
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "core/base/real.h"

// Declared only: CLI11's inline code costs some 5–9 CPU-seconds in every
// file that includes it; the files that register or parse options include it.
namespace CLI {
class App;
}

namespace mdv::cli {

// Exit statuses of every command.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailed = 1;       // a file's content is wrong, or the computation failed
inline constexpr int ExitBadArgument = 2;  // the command line was refused; nothing was written
inline constexpr int ExitInterrupted = 130;  // Ctrl+C (128 + SIGINT), as shells report it

inline constexpr char ProgramName[] = "rinfet-mdv-batch";

// A file name as every message of the tool shows it: in double quotes.
std::string Quoted(const std::string& path);

// A line on stderr after the program's name (CR of the core's texts → LF).
void Say(const std::string& message);
// Say, then the status to return.
int Refuse(const std::string& message);  // ExitBadArgument
int Fail(const std::string& message);    // ExitFailed

// A number typed on the command line: a decimal point or a comma. On failure
// `error` says which argument and why.
std::optional<Real> NumberArg(const std::string& text, const std::string& what, std::string& error);
std::optional<int64_t> IntegerArg(const std::string& text, const std::string& what, std::string& error);

// Help texts in Russian: the labels, the group titles and the help flag.
// Call on the top-level app before any command is added (commands inherit it).
void UseRussianTexts(CLI::App& app);

// Thrown while the command line is parsed (from a command's
// parse-complete callback) for an argument refused before the command runs:
// ParseAndRun says what() and returns ExitBadArgument.
class RefusedArgument : public std::runtime_error {
 public:
  explicit RefusedArgument(const std::string& message) : std::runtime_error(message) {}
};

// Parses the command line and runs the chosen command. Every refused
// argument, including the parser's own errors, an unknown command and an
// empty value (--save ""), gives a Russian message and ExitBadArgument; help
// gives ExitOk; otherwise the command's `status`.
int ParseAndRun(CLI::App& app, int argc, char** argv, const int& status);

}  // namespace mdv::cli
