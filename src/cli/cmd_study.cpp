// study plan|case|run|parallel|slurm|status|collect: parameter studies. Every
// case is a folder; a case is run by `study case DIR ID`, which calls this
// program's own `run` command, so a study may set any option `run` has.
// Schedulers (this machine, GNU parallel, a Slurm job array) only call
// `study case`; each command is safe to repeat.
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <thread>

#include <CLI/CLI.hpp>

#include "cli/cli_text.h"
#include "cli/commands.h"
#include "cli/interrupt.h"
#include "cli/plan_checks.h"
#include "cli/study_process.h"
#include "core/base/numfmt.h"
#include "core/study/convergence_table.h"
#include "core/study/study_averages.h"
#include "core/study/study_plan.h"
#include "core/study/study_results.h"
#include "core/study/study_table.h"
#include "core/model/vortex_file.h"
#include "core/base/safe_file.h"

namespace fs = std::filesystem;

namespace mdv::cli {

namespace {

// How often `study run` looks at its cases and refreshes its line, s.
constexpr double PollInterval = 0.2;
constexpr double ProgressInterval = 1.0;

// The prefix the batch tool puts before its messages; a case's failure
// message is recorded without it.
const std::string ToolPrefix = std::string(ProgramName) + ": ";

// The run options of this build, for checking study keys.
OptionAvailable RunOptions(CLI::App& app) {
  return [&app](std::string_view key) {
    try {
      return app.get_subcommand("run")->get_option_no_throw("--" + std::string(key)) != nullptr;
    } catch (const CLI::Error&) {
      return false;
    }
  };
}

bool IsFlag(CLI::App& app, const std::string& key) {
  try {
    const CLI::Option* o = app.get_subcommand("run")->get_option_no_throw("--" + key);
    return o != nullptr && o->get_expected_max() == 0;
  } catch (const CLI::Error&) {
    return false;
  }
}

std::string Absolute(const std::string& dir) {
  std::error_code ec;
  const fs::path p = fs::absolute(dir, ec);
  return ec ? dir : p.lexically_normal().string();
}

std::optional<int> CaseId(const std::string& text, size_t count) {
  const auto v = ParseInt(text);
  if (!v || *v < 0 || static_cast<size_t>(*v) >= count) return std::nullopt;
  return *v;
}

// The last message the run wrote, without the tool's prefix.
std::string LastMessage(const std::string& log) {
  std::string text;
  std::string e;
  if (!ReadTextFile(log, text, e)) return e;
  std::string last;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (line.rfind(ToolPrefix, 0) == 0) {
      last = line.substr(ToolPrefix.size());
    } else if (!last.empty() && !line.empty()) {
      last += " " + line;  // the continuation lines of one message
    }
    start = end + 1;
  }
  return last.empty() ? "расчёт завершился с ошибкой (см. " + log + ")" : last;
}

const std::string NegativeThreads = "--threads: число потоков не может быть отрицательным";

// Attempts of a case whose run is killed by a signal that is no interruption.
constexpr int CaseAttempts = 2;

// Signals that stop a run on purpose (Ctrl+C, a scheduler's stop or time
// limit): the case is left pending to be run again, not retried at once.
bool Interruption(int signal) { return signal == SIGINT || signal == SIGTERM || signal == SIGHUP; }

// Ctrl+C between two units of work.
class InterruptObserver : public Observer {
 public:
  bool StopRequested() override { return InterruptWatch::Raised(); }
};

// ---- plan ----

int PlanCommand(CLI::App& app, const std::string& file, const std::string& dir) {
  std::string text, error;
  if (!ReadTextFile(file, text, error)) return Fail(error);
  StudyDefinition definition;
  if (!ParseStudy(text, file, RunOptions(app), definition, error, /*readContours=*/true)) return Refuse(error);
  const PlanReview review = ReviewPlan(definition);
  if (!review.Refusal.empty()) return Refuse(file + ": " + review.Refusal);
  for (const std::string& w : review.Warnings) Say("предупреждение: " + w);
  const size_t count = StudyCaseCount(definition);
  std::error_code ec;
  const bool planThere = fs::exists(StudyFilePath(dir), ec);
  InterruptWatch watch;
  InterruptObserver stop;
  if (!WriteStudyPlan(PlannedStudyText(text, definition), definition, dir, error, stop)) {
    if (!InterruptWatch::Raised()) return Fail(error);
    // Ctrl+C: the half-made plan stays marked as such (removing a large tree
    // would take a minute); the other commands refuse it, a new plan replaces it.
    Say(planThere ? "прервано: исследование в папке " + Quoted(dir) + " осталось прежним"
                  : "прервано: план в папке " + Quoted(dir) +
                        " не закончен и не будет рассчитан; повторный study plan заменит его");
    return ExitInterrupted;
  }
  std::printf("Исследование «%s»: вариантов %zu, папка %s\n", definition.Name.c_str(), count, Quoted(dir).c_str());
  return ExitOk;
}

// ---- case ----

struct CaseArgs {
  std::string dir, id;
  int threads = 1;
  bool quiet = false;
};

int CaseCommand(CLI::App& app, const CaseArgs& a) {
  if (a.threads < 0) return Refuse(NegativeThreads);
  std::string error;
  StudyDefinition definition;
  std::vector<StudyCase> cases;
  if (!LoadStudy(a.dir, RunOptions(app), definition, cases, error)) return Fail(error);
  const auto id = CaseId(a.id, cases.size());
  if (!id)
    return Refuse("номер варианта «" + a.id + "» вне 0–" + std::to_string(cases.size() - 1));
  const StudyCase& c = cases[*id];
  if (ReadCaseState(a.dir, c.Id) == CaseState::Done) {
    if (!a.quiet) std::printf("Вариант %d уже рассчитан\n", c.Id);
    return ExitOk;
  }
  std::error_code ec;
  fs::create_directories(CaseDir(a.dir, c.Id), ec);
  CaseLock lock;
  error.clear();
  if (!lock.TryLock(a.dir, c.Id, &error)) {
    if (!error.empty()) return Fail(error);
    if (!a.quiet) std::printf("Вариант %d уже выполняется другим процессом\n", c.Id);
    return ExitOk;
  }
  ClearCaseOutcome(a.dir, c.Id);

  const std::string state = CaseFile(a.dir, c.Id, CaseEvtName);
  const std::string log = CaseFile(a.dir, c.Id, CaseLogName);
  std::vector<std::string> argv = {SelfExe(), "run", "--quiet", "--save", state};
  bool threadsSet = false;
  for (const StudySetting& s : c.Settings) {
    threadsSet = threadsSet || s.Key == "threads";
    if (const std::string_view name = ContourParameterName(s.Key); !name.empty()) {
      argv.push_back("--contour-parameter");
      argv.push_back(std::string(name) + "=" + s.Value);
    } else if (IsFlag(app, s.Key)) {
      if (s.Value == "true") argv.push_back("--" + s.Key);
    } else {
      argv.push_back("--" + s.Key);
      argv.push_back(s.Value);
    }
  }
  if (!threadsSet) argv.insert(argv.end(), {"--threads", std::to_string(a.threads)});
  // A case that averages takes its results from the averages its run writes.
  const bool averaged = CaseAverages(c.Settings) && RunOptions(app)("averages");
  const std::string averages = CaseFile(a.dir, c.Id, CaseAveragesName);
  if (averaged) argv.insert(argv.end(), {"--averages", averages});

  const auto begin = std::chrono::steady_clock::now();
  // A run killed by a signal other than an interruption (a crash, the memory
  // killer) is tried once more; killed again, the case fails with what it
  // said, rather than staying pending for ever.
  ChildEnd end;
  for (int attempt = 1;; ++attempt) {
    const pid_t pid = Spawn(argv, "/dev/null", log, error);
    if (pid < 0) return Fail(error);
    end = WaitChild(pid);
    if (end.Exited || Interruption(end.Status) || attempt == CaseAttempts) break;
  }
  if ((end.Exited && end.Status == ExitInterrupted) || (!end.Exited && Interruption(end.Status))) {
    // Interrupted (Ctrl+C, a scheduler's stop): no outcome, the case stays pending.
    return Fail("вариант " + std::to_string(c.Id) + " прерван, он будет рассчитан заново");
  }
  std::string failure;
  CaseResults results;
  if (!end.Exited) {
    const char* name = ::sigabbrev_np(end.Status);
    failure = "расчёт " + std::to_string(CaseAttempts) + " раза подряд завершён сигналом " +
              std::to_string(end.Status) + (name != nullptr ? std::string(" (SIG") + name + ")" : std::string());
    const std::string said = LastMessage(log);
    if (said.rfind("расчёт завершился с ошибкой", 0) != 0) failure += ": " + said;
  } else if (end.Status != 0) {
    failure = LastMessage(log);
  } else {
    std::string json;
    if (averaged) {
      if (ReadTextFile(averages, json, failure)) AveragesResults(json, definition.Results, results, failure);
    }
    Model m;
    // The plane is not in the vortex file; the case's options place it.
    for (const StudySetting& s : c.Settings) {
      const auto v = ParseRealLenient(s.Value);
      if (s.Key == "plane-x" && v) m.PlaneX = *v;
      if (s.Key == "plane-half-length" && v) m.PlaneHalfLength = *v;
    }
    if (!averaged && LoadVortexState(m, state, failure)) EndStateResults(m, definition.Results, results, failure);
  }
  if (!failure.empty()) {
    if (!MarkCaseFailed(a.dir, c.Id, failure, error)) return Fail(error);
    return Fail("вариант " + std::to_string(c.Id) + ": " + failure);
  }
  if (!WriteTextFile(CaseFile(a.dir, c.Id, CaseResultsName), ResultsFileText(results), error) ||
      !MarkCaseDone(a.dir, c.Id, error))
    return Fail(error);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  if (!a.quiet) std::printf("Вариант %d рассчитан за %s с\n", c.Id, FormatFixed(wall, 6, 1).c_str());
  return ExitOk;
}

// ---- run ----

volatile std::sig_atomic_t interrupted = 0;
extern "C" void OnStudyInterrupt(int) { interrupted = 1; }

struct RunArgs {
  std::string dir;
  int jobs = 1;
  int threads = 1;
  bool retryFailed = false;
};

std::vector<int> CasesToRun(const std::string& dir, size_t count, bool retryFailed) {
  std::vector<int> ids;
  for (size_t i = 0; i < count; ++i) {
    const CaseState s = ReadCaseState(dir, static_cast<int>(i));
    if (s == CaseState::Pending || (retryFailed && s == CaseState::Failed)) ids.push_back(static_cast<int>(i));
  }
  return ids;
}

void PrintTotals(const std::string& dir, size_t count) {
  int done = 0, failed = 0, other = 0;
  for (size_t i = 0; i < count; ++i) {
    const CaseState s = ReadCaseState(dir, static_cast<int>(i));
    (s == CaseState::Done ? done : s == CaseState::Failed ? failed : other)++;
  }
  std::printf("Рассчитано %d из %zu, с ошибкой %d, не рассчитано %d\n", done, count, failed, other);
}

int RunStudyCommand(CLI::App& app, const RunArgs& a) {
  if (a.jobs < 1) return Refuse("-j: число одновременных вариантов должно быть не меньше 1");
  if (a.threads < 0) return Refuse(NegativeThreads);
  std::string error;
  StudyDefinition definition;
  std::vector<StudyCase> cases;
  if (!LoadStudy(a.dir, RunOptions(app), definition, cases, error)) return Fail(error);
  if (!StudyWritable(a.dir, error)) return Fail(error);
  std::deque<int> queue;
  for (int id : CasesToRun(a.dir, cases.size(), a.retryFailed)) queue.push_back(id);

  using Clock = std::chrono::steady_clock;
  const auto begin = Clock::now();
  auto last = begin - std::chrono::hours(1);
  std::map<pid_t, std::pair<int, Clock::time_point>> running;  // pid -> case, start
  int doneNow = 0, failedNow = 0;
  double caseSeconds = 0;  // wall time of the cases finished here
  int alreadyDone = 0;
  for (size_t i = 0; i < cases.size(); ++i)
    if (ReadCaseState(a.dir, static_cast<int>(i)) == CaseState::Done) ++alreadyDone;
  const bool tty = ::isatty(STDERR_FILENO) != 0;

  interrupted = 0;
  auto* previous = std::signal(SIGINT, OnStudyInterrupt);
  auto progress = [&](bool force) {
    const auto now = Clock::now();
    // Not a terminal (a log file): one line per finished case, no ticking.
    if (!force && (!tty || std::chrono::duration<double>(now - last).count() < ProgressInterval)) return;
    last = now;
    std::string left = "?";
    if (doneNow + failedNow > 0) {
      const double mean = caseSeconds / (doneNow + failedNow);
      const double waves = std::ceil(static_cast<double>(queue.size() + running.size()) / a.jobs);
      left = FormatFixed(mean * waves, 6, 0);
    }
    std::fprintf(stderr, "%sрассчитано %d из %zu, с ошибкой %d, выполняется %zu, осталось ~%s с%s",
                 tty ? "\r" : "", alreadyDone + doneNow, cases.size(), failedNow, running.size(),
                 left.c_str(), tty ? "\033[K" : "\n");
    std::fflush(stderr);
  };

  std::vector<std::string> failures;
  int unfinished = 0;  // cases whose process ended leaving them pending
  // A case that cannot be started (this program gone or replaced midway, no
  // processes left): no more are started, those running are let finish.
  std::string startError;
  while (!queue.empty() || !running.empty()) {
    while (!interrupted && startError.empty() && !queue.empty() && static_cast<int>(running.size()) < a.jobs) {
      const int id = queue.front();
      const std::vector<std::string> argv = {SelfExe(), "study", "case", a.dir, std::to_string(id),
                                             "--quiet", "--threads", std::to_string(a.threads)};
      const pid_t pid = Spawn(argv, "/dev/null", "/dev/null", error);
      if (pid < 0) {
        startError = "вариант " + std::to_string(id) + " не начат: " + error;
        break;
      }
      queue.pop_front();
      running[pid] = {id, Clock::now()};
    }
    if (interrupted || !startError.empty()) queue.clear();
    progress(false);
    int raw = 0;
    const pid_t pid = ::waitpid(-1, &raw, WNOHANG);
    if (pid <= 0) {
      std::this_thread::sleep_for(std::chrono::duration<double>(PollInterval));
      continue;
    }
    const auto it = running.find(pid);
    if (it == running.end()) continue;
    const int id = it->second.first;
    caseSeconds += std::chrono::duration<double>(Clock::now() - it->second.second).count();
    running.erase(it);
    std::string message;
    const CaseState s = ReadCaseState(a.dir, id, &message);
    if (s == CaseState::Done) {
      ++doneNow;
    } else if (s == CaseState::Failed) {
      ++failedNow;
      failures.push_back("вариант " + std::to_string(id) + ": " + message);
      if (tty) std::fputs("\r\033[K", stderr);
      std::fprintf(stderr, "%s%s\n", ToolPrefix.c_str(), failures.back().c_str());
    } else if (!interrupted) {
      // Its process ended without an outcome: the study is not done, whatever the reason.
      ++unfinished;
    }
    progress(true);
  }
  std::signal(SIGINT, previous);
  if (tty) std::fputc('\n', stderr);
  PrintTotals(a.dir, cases.size());
  std::printf("Время счёта: %s с\n",
              FormatFixed(std::chrono::duration<double>(Clock::now() - begin).count(), 6, 1).c_str());
  if (interrupted) return ExitInterrupted;
  if (!startError.empty()) return Fail(startError);
  if (unfinished > 0) return Fail("вариантов, оставшихся не рассчитанными: " + std::to_string(unfinished));
  return failures.empty() ? ExitOk : ExitFailed;
}

// ---- parallel ----

struct ParallelArgs {
  std::string dir, sshLoginFile;
  int jobs = 0;
  int threads = 1;
  bool retryFailed = false;
};

int ParallelCommand(CLI::App& app, const ParallelArgs& a) {
  if (a.threads < 0) return Refuse(NegativeThreads);
  if (a.jobs < 0) return Refuse("-j: число одновременных вариантов не может быть отрицательным");
  std::string error;
  StudyDefinition definition;
  std::vector<StudyCase> cases;
  const std::string dir = Absolute(a.dir);
  if (!LoadStudy(dir, RunOptions(app), definition, cases, error)) return Fail(error);
  if (!StudyWritable(dir, error)) return Fail(error);
  const std::vector<int> ids = CasesToRun(dir, cases.size(), a.retryFailed);
  const auto begin = std::chrono::steady_clock::now();
  if (!ids.empty()) {
    // parallel expands its replacement strings ({}, {1}, {= perl =}) in the
    // command template, -q or not: nothing a user typed may stand there. The
    // program, the folder and the case ids go in as three input sources
    // (data after :::, crossed: one job per id), the template is ours alone.
    // -q: parallel quotes the command's words, so paths with blanks survive (also over ssh).
    std::vector<std::string> argv = {"parallel", "--will-cite", "--halt", "never", "-q"};
    if (a.jobs > 0) argv.insert(argv.end(), {"-j", std::to_string(a.jobs)});
    if (!a.sshLoginFile.empty()) argv.insert(argv.end(), {"--sshloginfile", a.sshLoginFile});
    argv.insert(argv.end(), {"{1}", "study", "case", "{2}", "{3}", "--threads", std::to_string(a.threads),
                             ":::", SelfExe(), ":::", dir, ":::"});
    for (int id : ids) argv.push_back(std::to_string(id));
    const pid_t pid = Spawn(argv, "", "", error);
    if (pid < 0) return Fail(error + " (нужен GNU parallel, пакет parallel)");
    // parallel's status counts failed cases; the folders say which.
    const ChildEnd end = WaitChild(pid);
    if (!end.Exited || end.Status > 101)  // 1–101: that many cases failed
      Say(std::string("GNU parallel завершился ") + (end.Exited ? "с кодом " : "сигналом ") + std::to_string(end.Status));
  }
  PrintTotals(dir, cases.size());
  std::printf("Время счёта: %s с\n",
              FormatFixed(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count(), 6, 1)
                  .c_str());
  for (size_t i = 0; i < cases.size(); ++i)
    if (ReadCaseState(dir, static_cast<int>(i)) != CaseState::Done) return ExitFailed;
  return ExitOk;
}

// ---- slurm ----

struct SlurmArgs {
  std::string dir, partition, time;
  int maxRunning = 0;
  int threads = 1;
  bool submit = false;
};

// Text safe inside single quotes of a shell.
std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// A value written into an #SBATCH line: a line break would end the directive
// and put the rest into the job's shell script, a blank or quote would split it.
bool PlainDirectiveValue(const std::string& v) {
  for (unsigned char c : v) {
    if (c < 0x20 || c == 0x7f || c == ' ' || c == '"' || c == '\'') return false;
  }
  return true;
}

int SlurmCommand(CLI::App& app, const SlurmArgs& a) {
  if (a.maxRunning < 0) return Refuse("--max-running: число не может быть отрицательным");
  if (a.threads < 0) return Refuse(NegativeThreads);
  if (!PlainDirectiveValue(a.partition)) return Refuse("--partition: имя раздела без пробелов, кавычек и переводов строки");
  if (!PlainDirectiveValue(a.time)) return Refuse("--time: время без пробелов, кавычек и переводов строки");
  std::string error;
  StudyDefinition definition;
  std::vector<StudyCase> cases;
  const std::string dir = Absolute(a.dir);
  if (!LoadStudy(dir, RunOptions(app), definition, cases, error)) return Fail(error);
  std::string jobName;
  for (unsigned char c : definition.Name) {
    if (std::isalnum(c) || c == '-') {
      jobName += static_cast<char>(c);
    } else if (!jobName.empty() && jobName.back() != '_') {
      jobName += '_';  // Slurm job names stay plain ASCII
    }
  }
  if (jobName.empty() || jobName == "_") jobName = "study";
  const std::string logs = (fs::path(dir) / "slurm").string();
  // The log path stands in a quoted directive; the folder itself goes to the
  // shell quoted, so only these characters cannot be carried.
  for (unsigned char c : logs) {
    if (c < 0x20 || c == 0x7f || c == '"') {
      return Refuse("папка исследования " + Quoted(dir) +
                    " не годится для Slurm: в ее пути есть кавычка или управляющий символ");
    }
  }
  std::string comment = definition.Name;
  for (char& c : comment) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  std::error_code ec;
  fs::create_directories(logs, ec);
  std::string t = "#!/bin/bash\n# Parameter study \"" + comment + "\": one array task per case.\n";
  t += "#SBATCH --job-name=mdv-" + jobName.substr(0, 40) + "\n";
  t += "#SBATCH --array=0-" + std::to_string(cases.size() - 1);
  if (a.maxRunning > 0) t += "%" + std::to_string(a.maxRunning);
  t += "\n#SBATCH --cpus-per-task=" + std::to_string(std::max(1, a.threads)) + "\n";
  // Slurm expands %j, %A, … in the file name: a '%' of the folder's path is written as %%.
  std::string logPattern;
  for (char c : logs) logPattern += c == '%' ? std::string("%%") : std::string(1, c);
  t += "#SBATCH --output=\"" + logPattern + "/%A_%a.out\"\n";
  if (!a.partition.empty()) t += "#SBATCH --partition=" + a.partition + "\n";
  if (!a.time.empty()) t += "#SBATCH --time=" + a.time + "\n";
  t += "exec " + ShellQuote(SelfExe()) + " study case " + ShellQuote(dir) +
       " \"$SLURM_ARRAY_TASK_ID\" --threads " + std::to_string(a.threads) + "\n";
  const std::string script = (fs::path(dir) / "study.sbatch").string();
  if (!WriteTextFile(script, t, error)) return Fail(error);
  fs::permissions(script, fs::perms::owner_exec | fs::perms::group_exec, fs::perm_options::add, ec);
  if (!a.submit) {
    std::printf("%s\n", script.c_str());
    return ExitOk;
  }
  std::string out;
  bool started = false;
  if (!RunCapture({"sbatch", "--parsable", script}, out, error, &started))
    return Fail(started ? "sbatch не принял задание: " + error : error + " (нужен Slurm, команда sbatch)");
  const std::string job = out.substr(0, out.find_first_of(";\n"));
  std::printf("%s\n", job.c_str());
  return ExitOk;
}

// ---- status, collect ----

int StatusCommand(CLI::App& app, const std::string& dir) {
  std::string error;
  StudyTable table;
  if (!CollectStudy(dir, RunOptions(app), table, error)) return Fail(error);
  std::fputs(StudyCsv(table).c_str(), stdout);
  const StudyCounts n = CountStates(table);
  std::fprintf(stderr, "рассчитано %d из %zu, с ошибкой %d, выполняется %d, ожидает %d\n", n.Done,
               table.Rows.size(), n.Failed, n.Running, n.Pending);
  return ExitOk;
}

int CollectCommand(CLI::App& app, const std::string& dir) {
  InterruptWatch watch;
  InterruptObserver stop;
  const auto interrupted = [] {
    Say("прервано: сводка исследования не записана");
    return ExitInterrupted;
  };
  std::string error;
  StudyTable table;
  if (!CollectStudy(dir, RunOptions(app), table, error, stop)) return InterruptWatch::Raised() ? interrupted() : Fail(error);

  // Everything is made in a folder of its own inside DIR and moved into
  // place only when complete: a Ctrl+C leaves the earlier summary as it was.
  std::random_device random;
  const fs::path staging = fs::path(dir) / (".collect-" + std::to_string(random()));
  const fs::path stagedPlots = staging / "plots";
  std::error_code ec;
  fs::remove_all(staging, ec);
  if (!fs::create_directories(stagedPlots, ec)) return Fail("не удалось создать папку " + Quoted(stagedPlots.string()) + ": " + SystemReason(ec));
  struct Cleanup {
    fs::path path;
    ~Cleanup() {
      std::error_code e;
      fs::remove_all(path, e);
    }
  } cleanup{staging};

  std::vector<std::string> files = {"results.csv"};  // relative to DIR, in the order told
  if (!WriteTextFile((staging / files[0]).string(), StudyCsv(table), error)) return Fail(error);
  std::vector<PlotScript> scripts = StudyPlotScripts(table);
  if (!table.Refinements.empty()) {
    const std::vector<ConvergenceRow> rows = StudyConvergence(table);
    files.push_back("convergence.csv");
    if (!WriteTextFile((staging / files.back()).string(), ConvergenceCsv(table, rows), error)) return Fail(error);
    for (PlotScript& p : ConvergencePlotScripts(table, rows)) scripts.push_back(std::move(p));
  }
  int status = ExitOk;
  bool gnuplotStarts = true;
  for (const PlotScript& p : scripts) {
    if (InterruptWatch::Raised()) return interrupted();
    const std::string gp = (stagedPlots / (p.BaseName + ".gp")).string();
    if (!WriteTextFile(gp, p.Text, error)) return Fail(error);
    files.push_back("plots/" + p.BaseName + ".gp");
    if (!gnuplotStarts) continue;  // the scripts are written all the same, to be drawn later
    std::string out;
    // gnuplot writes the PNG named in the script beside the script.
    if (!RunCapture({"gnuplot", p.BaseName + ".gp"}, out, error, &gnuplotStarts, stagedPlots.string())) {
      if (InterruptWatch::Raised()) return interrupted();
      status = Fail(gnuplotStarts ? "gnuplot не построил " + Quoted((fs::path(dir) / files.back()).string()) + ": " + error
                                  : error + " (нужен пакет gnuplot): графики не построены, их скрипты в " +
                                        Quoted((fs::path(dir) / "plots").string()));
      continue;
    }
    files.push_back("plots/" + p.BaseName + ".png");
  }
  if (InterruptWatch::Raised()) return interrupted();

  // Into place: renames within one folder, each file whole.
  fs::create_directories(fs::path(dir) / "plots", ec);
  for (const std::string& f : files) {
    const fs::path to = fs::path(dir) / f;
    if (fs::is_symlink(to, ec)) {
      // A link keeps pointing where it did: the file it reaches gets the new text, as every output's does.
      std::string text;
      if (!ReadTextFile((staging / f).string(), text, error) || !WriteTextFile(to.string(), text, error))
        return Fail(error);
      continue;
    }
    fs::rename(staging / f, to, ec);
    if (ec) return Fail("не удалось записать " + Quoted(to.string()) + ": " + SystemReason(ec));
  }
  for (const std::string& f : files)
    if (!f.ends_with(".gp")) std::printf("%s\n", (fs::path(dir) / f).string().c_str());
  const StudyCounts n = CountStates(table);
  std::fprintf(stderr, "рассчитано %d из %zu, с ошибкой %d, выполняется %d, ожидает %d\n", n.Done,
               table.Rows.size(), n.Failed, n.Running, n.Pending);
  return status;
}

}  // namespace

void AddStudyCommands(CLI::App& app, int& status) {
  CLI::App* study = app.add_subcommand(
      "study", "Исследование по параметрам: файл исследования (TOML), варианты в папке, их расчёт и сводка");
  study->require_subcommand(1);

  auto plan = std::make_shared<std::pair<std::string, std::string>>();
  CLI::App* p = study->add_subcommand("plan", "Создать папку исследования: по папке на вариант и список вариантов");
  p->add_option("STUDY", plan->first, "файл исследования (.toml)")->required();
  p->add_option("DIR", plan->second, "папка исследования")->required();
  p->callback([&app, plan, &status] { status = PlanCommand(app, plan->first, plan->second); });

  auto caseArgs = std::make_shared<CaseArgs>();
  CLI::App* c = study->add_subcommand("case", "Рассчитать один вариант (его вызывает планировщик)");
  c->add_option("DIR", caseArgs->dir, "папка исследования")->required();
  c->add_option("ID", caseArgs->id, "номер варианта, с 0")->required();
  c->add_option("--threads", caseArgs->threads, "потоков на вариант, если исследование их не задаёт (1)");
  c->add_flag("--quiet,-q", caseArgs->quiet, "не сообщать об успехе");
  c->callback([&app, caseArgs, &status] { status = CaseCommand(app, *caseArgs); });

  auto runArgs = std::make_shared<RunArgs>();
  CLI::App* r = study->add_subcommand("run", "Рассчитать ожидающие варианты на этой машине");
  r->add_option("DIR", runArgs->dir, "папка исследования")->required();
  r->add_option("-j,--jobs", runArgs->jobs, "вариантов одновременно (1)");
  r->add_option("--threads", runArgs->threads, "потоков на вариант (1)");
  r->add_flag("--retry-failed", runArgs->retryFailed, "рассчитать заново и варианты с ошибкой");
  r->callback([&app, runArgs, &status] { status = RunStudyCommand(app, *runArgs); });

  auto par = std::make_shared<ParallelArgs>();
  CLI::App* g = study->add_subcommand("parallel", "Рассчитать ожидающие варианты через GNU parallel");
  g->add_option("DIR", par->dir, "папка исследования (на машинах из --sshloginfile — общая)")->required();
  g->add_option("--sshloginfile", par->sshLoginFile, "машины для расчёта, файл GNU parallel");
  g->add_option("-j,--jobs", par->jobs, "вариантов одновременно на машине (по числу ядер)");
  g->add_option("--threads", par->threads, "потоков на вариант (1)");
  g->add_flag("--retry-failed", par->retryFailed, "рассчитать заново и варианты с ошибкой");
  g->callback([&app, par, &status] { status = ParallelCommand(app, *par); });

  auto sl = std::make_shared<SlurmArgs>();
  CLI::App* s = study->add_subcommand("slurm", "Записать DIR/study.sbatch — массив заданий Slurm по варианту на задачу");
  s->add_option("DIR", sl->dir, "папка исследования (общая для узлов)")->required();
  s->add_option("--partition", sl->partition, "раздел Slurm");
  s->add_option("--time", sl->time, "предельное время задачи, как у sbatch --time");
  s->add_option("--max-running", sl->maxRunning, "задач одновременно (%K в --array)");
  s->add_option("--threads", sl->threads, "потоков на вариант, --cpus-per-task (1)");
  s->add_flag("--submit", sl->submit, "отправить задание через sbatch и напечатать его номер");
  s->callback([&app, sl, &status] { status = SlurmCommand(app, *sl); });

  auto st = std::make_shared<std::string>();
  CLI::App* t = study->add_subcommand("status", "Таблица вариантов (CSV) на stdout");
  t->add_option("DIR", *st, "папка исследования")->required();
  t->callback([&app, st, &status] { status = StatusCommand(app, *st); });

  auto co = std::make_shared<std::string>();
  CLI::App* o = study->add_subcommand(
      "collect",
      "Записать DIR/results.csv, DIR/convergence.csv (если есть [convergence]) и графики DIR/plots/*.png "
      "(gnuplot, скрипты .gp рядом)");
  o->add_option("DIR", *co, "папка исследования")->required();
  o->callback([&app, co, &status] { status = CollectCommand(app, *co); });
}

}  // namespace mdv::cli
