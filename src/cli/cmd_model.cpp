// run, velocity, report: simulations without windows, and the main window's
// small reports on a saved state.
//
// Numbers on the command line take a decimal point or a comma ("0.005" and
// "0,005" are the same). Inside a pulsation point "X,Y" the comma separates
// the two coordinates, so there the numbers must use a decimal point.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/cli_text.h"
#include "cli/commands.h"
#include "cli/interrupt.h"
#include "cli/outputs.h"
#include "cli/model_option.h"
#include "cli/precision_option.h"
#include "cli/refined_budget.h"
#include "cli/run_checks.h"
#include "cli/run_extras.h"
#include "core/model/area.h"
#include "core/model/area_validation.h"
#include "core/model/contour_file.h"
#include "core/model/contour_validation.h"
#include "core/model/model.h"
#include "core/base/numfmt.h"
#include "core/base/observer.h"
#include "core/analysis/reports.h"
#include "core/flow/run.h"
#include "core/model/vortex_file.h"

namespace mdv::cli {

namespace {

// The run defaults of the main window's edit boxes ("400", "1", "0,005"), so
// that a batch run on the defaults is the run the Start button makes.
constexpr int32_t DefaultMaxFree = 400;
constexpr Real DefaultMaxTime = 1;
constexpr Real DefaultDt = 0.005L;

// Steps between two samples of the resident memory once the free-vortex limit is reached.
constexpr int64_t ResidentSampleSteps = 10;

// How often the progress line is refreshed, seconds of wall time.
constexpr double ProgressInterval = 0.5;
// A set-up shorter than this shows no progress, seconds of wall time.
constexpr double SetupQuietTime = 1.0;

// Texts of the core break lines with CR, as message boxes do; a terminal wants LF.
std::string ForTerminal(std::string text) {
  for (char& c : text) {
    if (c == '\r') c = '\n';
  }
  return text;
}

std::optional<Real> Number(const std::string& text, const std::string& what, std::string& error) {
  return NumberArg(text, what, error);
}

// "x,y;x,y;…" with decimal points inside the numbers.
bool ParsePoints(const std::string& text, TRealPointArray& points, std::string& error) {
  points.clear();
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(';', start);
    const std::string item = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const size_t comma = item.find(',');
    std::optional<Real> x, y;
    if (comma != std::string::npos && item.find(',', comma + 1) == std::string::npos) {
      x = ParseRealLenient(item.substr(0, comma));
      y = ParseRealLenient(item.substr(comma + 1));
    }
    if (!x || !y) {
      error = "--pulsation-points: \"" + item +
              "\" не является точкой x,y (запятая между координатами, десятичная точка в числах)";
      return false;
    }
    points.push_back({*x, *y});
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return true;
}

// Resident memory of this process now, bytes (0 where /proc is missing).
uint64_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  uint64_t size = 0, resident = 0;
  if (!(statm >> size >> resident)) return 0;
  return resident * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
}

// Peak resident memory of this process, bytes.
uint64_t PeakResidentBytes() {
  rusage usage{};
  if (::getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return static_cast<uint64_t>(usage.ru_maxrss) * 1024;
}

// Progress of a run on stderr; Ctrl+C ends the run after the current step,
// or within a fraction of a second during the set-up.
class ProgressObserver : public Observer {
 public:
  ProgressObserver(bool quiet, Real startTime, Real endTime)
      : quiet_(quiet), tty_(::isatty(STDERR_FILENO) != 0), startTime_(startTime), endTime_(endTime),
        begin_(Clock::now()), last_(begin_) {}

  void StepDone(const Model& m) override {
    ++steps_;
    if (budget_ != nullptr) budget_->StepDone(m);
    // What a long run must show: how close free rings come to the axis, and
    // that memory stops growing once the free-vortex limit is reached.
    const int32_t end = m.AttachedCount + m.FreeVortexCount;
    for (int32_t i = m.AttachedCount; i < end; ++i) minRadius_ = std::min(minRadius_, m.Vortices[i].Pos.Y);
    if (residentAtLimit_ == 0) {
      if (m.FreeVortexCount >= m.MaxFreeVortex) residentAtLimit_ = residentMaxAfterLimit_ = ResidentBytes();
    } else if (steps_ % ResidentSampleSteps == 0) {
      residentMaxAfterLimit_ = std::max(residentMaxAfterLimit_, ResidentBytes());
    }
    if (quiet_) return;
    const auto now = Clock::now();
    if (Seconds(now - last_) < ProgressInterval) return;
    last_ = now;
    Print(m, now);
  }

  bool StopRequested() override { return InterruptWatch::Raised(); }

  // A set-up that takes longer than SetupQuietTime shows how far it is.
  void SetupProgress(SetupStage stage, int32_t done, int32_t total) override {
    if (quiet_) return;
    const auto now = Clock::now();
    if (Seconds(now - begin_) < SetupQuietTime || Seconds(now - last_) < ProgressInterval) return;
    last_ = now;
    setupShown_ = true;
    // The elimination's step i costs about i·(N − i): its share of the work is not done / total.
    const double f = total > 0 ? static_cast<double>(done) / total : 1;
    const double share = stage == SetupStage::Matrix ? f : f * f * (3 - 2 * f);
    std::fprintf(stderr, "%sподготовка: %s %s %% (прошло %s с)%s", tty_ ? "\r" : "",
                 stage == SetupStage::Matrix ? "матрица влияния" : "исключение Гаусса",
                 FormatFixed(100 * share, 3, 0).c_str(), FormatFixed(Seconds(now - begin_), 6, 0).c_str(),
                 tty_ ? "\033[K" : "\n");
    std::fflush(stderr);
  }

  Real MinRadius() const { return minRadius_; }
  void Record(RefinedBudget* budget) { budget_ = budget; }
  uint64_t ResidentAtLimit() const { return residentAtLimit_; }
  uint64_t ResidentMaxAfterLimit() const { return residentMaxAfterLimit_; }

  void Finish(const Model& m) {
    if (!quiet_ && steps_ == 0 && setupShown_ && tty_) std::fputc('\n', stderr);
    if (quiet_ || steps_ == 0) return;
    if (printedStep_ != steps_) Print(m, Clock::now());
    if (tty_) std::fputc('\n', stderr);
  }

 private:
  using Clock = std::chrono::steady_clock;
  static double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

  void Print(const Model& m, Clock::time_point now) {
    printedStep_ = steps_;
    const double elapsed = Seconds(now - begin_);
    const Real done = m.Time - startTime_;
    const Real left = endTime_ - m.Time;
    std::string remaining = "?";
    if (done > 0) remaining = FormatFixed(std::max<Real>(0, left / done * elapsed), 6, 0);
    std::fprintf(stderr, "%sшаг %" PRId64 ", время модели %s с, свободных вихрей %d, прошло %s с, осталось ~%s с%s",
                 tty_ ? "\r" : "", steps_, FormatFixed(m.Time, 6, 3).c_str(), m.FreeVortexCount,
                 FormatFixed(elapsed, 6, 0).c_str(), remaining.c_str(), tty_ ? "\033[K" : "\n");
    std::fflush(stderr);
  }

  bool quiet_;
  bool tty_;
  Real startTime_;
  Real endTime_;
  Clock::time_point begin_;
  Clock::time_point last_;
  int64_t steps_ = 0;
  int64_t printedStep_ = 0;
  bool setupShown_ = false;
  Real minRadius_ = std::numeric_limits<Real>::infinity();  // m
  uint64_t residentAtLimit_ = 0;                              // bytes; 0 until the limit is reached
  uint64_t residentMaxAfterLimit_ = 0;                        // bytes, sampled during the run
  RefinedBudget* budget_ = nullptr;                           // research record, if asked for
};

// ---- run ----

// One option per area parameter, in the model's units (the angle also in degrees).
struct AreaOption {
  const char* name;
  Real AreaParameters::*field;
  const char* help;
  CLI::Option* option = nullptr;
  std::string text{};
};

struct RunArgs {
  std::vector<AreaOption> area = {
      {"--vortex-spacing", &AreaParameters::VortexSpacing, "расстояние между присоединенными вихрями h, м (0,01)"},
      {"--suction-speed", &AreaParameters::SuctionSpeed, "скорость воздуха в сечении всасывания, м/с (1)"},
      {"--inflow-speed", &AreaParameters::InflowSpeed, "скорость воздуха из приточной щели, м/с (0,75)"},
      {"--channel-radius", &AreaParameters::ChannelRadius, "внутренний радиус канала B, м (0,15)"},
      {"--suction-x", &AreaParameters::SuctionX, "абсцисса сечения всасывания L, м (1)"},
      {"--channel-length", &AreaParameters::ChannelLength, "длина канала LL, м (1,2)"},
      {"--flange-length", &AreaParameters::FlangeLength, "длина козырька l, м (0,5)"},
      {"--flange-angle", &AreaParameters::FlangeAngle, "угол наклона козырька, рад (π/6)"},
      {"--wall-thickness", &AreaParameters::WallThickness, "толщина стенки и козырька W, м (0,02)"},
      {"--plane-half-length", &AreaParameters::PlaneHalfLength, "радиус плоскости PL, м (0,4)"},
      {"--plane-x", &AreaParameters::PlaneX, "абсцисса плоскости Px, м (-0,5)"},
  };
  CLI::Option* alphaDeg = nullptr;
  std::string alphaDegText;
  std::string dt, maxTime, maxFree, load, save, pulsationPoints, pulsationFile, trackFile, budget, contour;
  CLI::Option* contourOpt = nullptr;
  std::vector<std::string> contourParameters;  // NAME=VALUE, as typed
  CLI::Option* contourParametersOpt = nullptr;
  CLI::Option* saveOpt = nullptr;
  CLI::Option* pointsOpt = nullptr;
  CLI::Option* pulsationFileOpt = nullptr;
  CLI::Option* trackFileOpt = nullptr;
  CLI::Option* budgetOpt = nullptr;
  CLI::Option* dtOpt = nullptr;
  CLI::Option* maxTimeOpt = nullptr;
  CLI::Option* maxFreeOpt = nullptr;
  CLI::Option* loadOpt = nullptr;
  bool quiet = false;
  bool reference = false;
  int threads = 0;
  RunExtras extras;
  Precision precision = Precision::Extended;
  FlowModelArgs flow;
};

// Everything the command line asks for, checked before the model is touched.
int RunCommand(RunArgs& a) {
  std::string error;
  Model m;
  SetSheddingIntervals(m, 0, 0, 0);

  // No output may replace the state it continues (but --save may: that is Continue).
  if (a.loadOpt->count() > 0) {
    std::vector<OutputFile> outputs = {{"--averages", a.extras.averages},
                                       {"--field", a.extras.field},
                                       {"--field-csv", a.extras.fieldCsv},
                                       {"--track-file", a.trackFileOpt->count() > 0 ? a.trackFile : ""},
                                       {"--refined-budget", a.budgetOpt->count() > 0 ? a.budget : ""}};
    if (a.pointsOpt->count() > 0)
      outputs.push_back({"--pulsation-file", a.pulsationFileOpt->count() > 0 ? a.pulsationFile : m.PulsationFileName});
    const std::string clash = CheckOutputsAreNotInputs(outputs, {{"--load", a.load}});
    if (!clash.empty()) return Refuse(clash);
  }
  // Area: from the file when continuing, a contour file, else the model's
  // defaults changed by the options.
  if (a.contourOpt->count() > 0) {
    for (const AreaOption& o : a.area) {
      if (o.option->count() > 0) return Refuse(std::string(o.name) + " не сочетается с --contour: размеры задает файл контура");
    }
    if (a.alphaDeg->count() > 0) return Refuse("--flange-angle-deg не сочетается с --contour: размеры задает файл контура");
    if (a.loadOpt->count() > 0) return Refuse("--load не сочетается с --contour: состояние хранит свой контур");
    std::vector<ContourParameter> overrides;
    for (const std::string& p : a.contourParameters) {
      const size_t eq = p.find('=');
      if (eq == 0 || eq == std::string::npos)
        return Refuse("--contour-parameter \"" + p + "\": ожидается ИМЯ=ЗНАЧЕНИЕ, например R=0,06");
      const std::string name = p.substr(0, eq);
      const auto v = Number(p.substr(eq + 1), "--contour-parameter " + name, error);
      if (!v) return Refuse(error);
      for (const ContourParameter& o : overrides)
        if (o.Name == name) return Refuse("--contour-parameter: параметр " + name + " задан дважды");
      overrides.push_back({name, *v});
    }
    Contour c;
    // An undeclared name is refused by the reader, with the file named.
    if (!ReadContourFile(a.contour, c, error, overrides)) return Refuse(error);
    const std::string invalid = ValidateContour(c);
    if (!invalid.empty()) return Refuse(a.contour + ": " + invalid);
    m.HoodContour = c;
    m.ContourArea = true;
    BuildArea(m);  // the parameters the step and the analyses read follow the contour
  } else if (a.contourParametersOpt->count() > 0) {
    return Refuse("--contour-parameter: только вместе с --contour");
  } else if (a.loadOpt->count() > 0) {
    if (!LoadVortexState(m, a.load, error)) return Fail(error);
  } else {
    AreaParameters p = AreaParametersOf(m);
    for (const AreaOption& o : a.area) {
      if (o.option->count() == 0) continue;
      const auto v = Number(o.text, o.name, error);
      if (!v) return Refuse(error);
      p.*o.field = *v;
    }
    if (a.alphaDeg->count() > 0) {
      const auto deg = Number(a.alphaDegText, "--flange-angle-deg", error);
      if (!deg) return Refuse(error);
      p.FlangeAngle = *deg / 180 * Pi;  // as the area dialog converts its degrees
    }
    const std::string invalid = ValidateAreaParameters(p);
    if (!invalid.empty()) return Refuse(invalid);
    SetAreaParameters(m, p);
  }

  const bool continuing = a.loadOpt->count() > 0;
  if (m.ContourArea) {
    if (a.flow.modelOpt != nullptr && a.flow.modelOpt->count() > 0 && a.flow.model != "refined")
      return Refuse("Контур из файла считается уточнённой моделью: --model program не сочетается с ним");
    a.flow.model = "refined";
  }
  if (!ApplyFlowModel(a.flow, m, error)) return Refuse(error);
  Real dt = continuing ? m.Dt : DefaultDt;
  // The refined model's step follows from a Courant-like number unless --dt says otherwise.
  bool badCourant = false;
  const Real courantStep = CourantStep(a.flow, m, error, badCourant);
  if (badCourant) return Refuse(error);
  if (courantStep > 0 && (!continuing || a.flow.courantOpt->count() > 0)) dt = courantStep;
  if (a.dtOpt->count() > 0 && a.flow.courantOpt->count() > 0)
    return Refuse("--dt и --courant задают шаг дважды: укажите одно из них");
  // A loaded state ends, by default, at the next whole second, as the window suggests.
  Real maxTime = continuing ? std::trunc(m.Time) + 1 : DefaultMaxTime;
  // The refined model's limit is a memory ceiling, far above the rings it keeps.
  int64_t maxFree = continuing ? m.MaxFreeVortex
                               : (m.Flow == FlowModel::Refined ? RefinedDefaultMaxFree : DefaultMaxFree);
  if (a.dtOpt->count() > 0) {
    const auto v = Number(a.dt, "--dt", error);
    if (!v) return Refuse(error);
    dt = *v;
  }
  if (a.maxTimeOpt->count() > 0) {
    const auto v = Number(a.maxTime, "--max-time", error);
    if (!v) return Refuse(error);
    maxTime = *v;
  }
  if (a.maxFreeOpt->count() > 0) {
    const auto v = IntegerArg(a.maxFree, "--max-free", error);
    if (!v) return Refuse(error);
    maxFree = *v;
  }
  const std::string badRun = ValidateRunParameters(dt, maxTime, maxFree);
  if (!badRun.empty()) return Refuse(badRun);
  if (a.threads < 0) return Refuse("--threads: число потоков не может быть отрицательным");
  if (a.reference && a.precision == Precision::Double)
    return Refuse("--reference считает в расширенной точности и не сочетается с --precision double");

  // Every file the run will write is checked before the first step.
  std::vector<OutputFile> outputs;
  if (a.pointsOpt->count() > 0) {
    TRealPointArray points;
    if (!ParsePoints(a.pulsationPoints, points, error)) return Refuse(error);
    m.PulsationOn = true;
    m.PulsationPoints = points;
    m.PulsationPointCount = static_cast<int32_t>(points.size());
    if (a.pulsationFileOpt->count() > 0) m.PulsationFileName = a.pulsationFile;
    outputs.push_back({"--pulsation-file", m.PulsationFileName});
  }
  if (a.trackFileOpt->count() > 0) {
    m.TrackOn = true;
    m.TrackFileName = a.trackFile;
    outputs.push_back({"--track-file", m.TrackFileName});
  }
  if (a.saveOpt->count() > 0) outputs.push_back({"--save", a.save});
  if (a.budgetOpt->count() > 0) {
    if (m.Flow != FlowModel::Refined) return Refuse("--refined-budget: только для --model refined");
    outputs.push_back({"--refined-budget", a.budget});
  }
  // The averaging files join the same check, and the same refusal of one path named twice.
  const auto collect = [&outputs](const std::string& path, const std::string& option, std::string&) {
    outputs.push_back({option, path});
    return true;
  };
  if (!CheckRunExtras(a.extras, collect, error)) return Refuse(error);
  const std::string unwritable = CheckOutputs(outputs);
  if (!unwritable.empty()) return Refuse(unwritable);
  if (const double spacing = a.extras.tracerState.Settings.GridSpacing; spacing > 0) {
    // The nodes lie in front of the hood: a spacing as wide as that region gives none.
    const int64_t nodes = TracerGridSources(m, spacing);
    if (nodes == 0)
      return Refuse("--tracer-grid: при шаге " + a.extras.tracerGrid + " м перед отсосом нет ни одного узла сетки");
    if (nodes > MaxTracerGridSources)
      return Refuse("--tracer-grid: при шаге " + a.extras.tracerGrid + " м узлов сетки " + std::to_string(nodes) +
                    ", больше " + std::to_string(MaxTracerGridSources));
  }

  m.Exec.Threads = a.threads;
  m.Exec.Literal = a.reference;
  m.Exec.Arithmetic = a.precision;

  // Continue as the window does: drop the newest free vortices above the new limit.
  const int32_t limit = static_cast<int32_t>(maxFree);
  int32_t freeCount = 0;
  Real startTime = 0;
  if (continuing) {
    if (limit < m.FreeVortexCount) m.FreeVortexCount = limit;
    freeCount = m.FreeVortexCount;
    startTime = m.Time;
  }
  // --steps ends the run earlier than the end time: then that many steps are all it takes.
  const bool fewSteps = a.extras.stepLimit && static_cast<Real>(*a.extras.stepLimit) <= MaxRunSteps;
  const std::string tooLong = fewSteps ? std::string() : StepCountRefusal(startTime, maxTime, dt);
  if (!tooLong.empty()) return Refuse(tooLong);

  std::optional<InterruptWatch> watch(std::in_place);
  ProgressObserver progress(a.quiet, startTime, maxTime);
  std::optional<RefinedBudget> budget;
  if (a.budgetOpt->count() > 0) {
    const std::optional<Real> from = a.extras.averageFromOpt->count() > 0 ? ParseRealLenient(a.extras.averageFrom)
                                                                          : std::optional<Real>(startTime);
    budget.emplace(m, from.value_or(startTime));
    progress.Record(&*budget);
  }
  const auto begin = std::chrono::steady_clock::now();
  const RunSummary summary = RunWithExtras(m, a.extras, limit, freeCount, startTime, maxTime, dt, progress);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  watch.reset();
  progress.Finish(m);
  if (summary.FreeLimitReached()) Say(FreeLimitWarning(limit, summary.FreeLimitTime));

  // No step could be made: the outputs asked for are still written, the
  // state unchanged (a continued case or script relies on its file).
  const bool noStep = summary.HowEnded == RunSummary::End::EndTimeReached;

  // The state at the end of the last complete step is saved whatever ended the run.
  int status = ExitOk;
  if (noStep) {
    Say(summary.Message + (a.saveOpt->count() > 0 ? "; состояние записано без изменений" : ""));
  } else if (!summary.Message.empty()) {
    Say(summary.Message);
    status = ExitFailed;
  }
  const bool saving = a.saveOpt->count() > 0;
  const bool saved = saving && SaveVortexFile(m, a.save, error);
  if (saving && !saved) {
    Say(error);
    status = ExitFailed;
  }
  if (!a.quiet) {
    std::printf("Прошло времени: %s сек.\nСвободных вихрей: %d\nПрисоединенных вихрей: %d\n"
                "Шагов: %" PRId64 "\nВремя счёта: %s с\n",
                FormatFixed(m.Time, 6, 3).c_str(), m.FreeVortexCount, m.AttachedCount, summary.Steps,
                FormatFixed(wall, 6, 2).c_str());
    if (progress.MinRadius() < std::numeric_limits<Real>::infinity())
      std::printf("Наименьший радиус свободного вихря: %s м\n",
                  FormatFixed(progress.MinRadius(), 7, 5).c_str());
    const double mib = 1024.0 * 1024.0;
    std::printf("Пиковая память: %s МБ\n", FormatFixed(PeakResidentBytes() / mib, 6, 1).c_str());
    if (progress.ResidentAtLimit() != 0)
      std::printf("Память при достижении предела вихрей: %s МБ, наибольшая после: %s МБ\n",
                  FormatFixed(progress.ResidentAtLimit() / mib, 6, 1).c_str(),
                  FormatFixed(progress.ResidentMaxAfterLimit() / mib, 6, 1).c_str());
  }
  std::string written;  // the files written besides the state, for the interruption's message
  if (budget) {
    std::ofstream out(a.budget);
    out << budget->Text(m);
    out.close();
    if (!out) {
      Say("--refined-budget: не удалось записать " + Quoted(a.budget));
      status = ExitFailed;
    } else {
      written += "; баланс уточнённой модели — в " + Quoted(a.budget);
    }
  }
  if (!FinishRunExtras(m, a.extras, a.quiet, &written)) status = ExitFailed;
  if (summary.HowEnded == RunSummary::End::Stopped) {
    // A partial state is a sound state to continue: it was saved, and the user is told so.
    Say("прервано при t = " + FormatFixed(m.Time, 6, 3) + " с; " +
        (saved ? "состояние сохранено в " + Quoted(a.save)
               : std::string(saving ? "состояние не сохранено" : "состояние не сохранено (не задан --save)")) +
        written);
    if (status == ExitOk) status = ExitInterrupted;
  }
  return status;
}

// ---- velocity, report ----

struct VelocityArgs {
  std::string file, x, y;
  Precision precision = Precision::Extended;
  FlowModelArgs flow;
};

int VelocityCommand(const VelocityArgs& a) {
  std::string error;
  const auto x = Number(a.x, "X", error);
  if (!x) return Refuse(error);
  const auto y = Number(a.y, "Y", error);
  if (!y) return Refuse(error);
  Model m;
  if (const int status = LoadStateWithModel(m, a.file, a.precision, a.flow)) return status;
  std::cout << ForTerminal(SpeedAtPointText(m, a.x, a.y, *x, *y)) << "\n";
  return ExitOk;
}

struct ReportArgs {
  std::string file;
  Precision precision = Precision::Extended;
  FlowModelArgs flow;
};

int ReportCommand(const ReportArgs& a) {
  Model m;
  if (const int status = LoadStateWithModel(m, a.file, a.precision, a.flow)) return status;
  std::cout << ForTerminal(InformationReportText(m, true)) << "\n";
  return ExitOk;
}

}  // namespace

void AddModelCommands(CLI::App& app, int& status) {
  auto run = std::make_shared<RunArgs>();
  CLI::App* r = app.add_subcommand(
      "run",
      "Расчет течения (как «Начать», с --load как «Продолжить») и сохранение состояния");
  r->footer(
      "Числа пишутся с десятичной точкой или запятой; в --pulsation-points только с точкой.\n"
      "Все выходные файлы проверяются до первого шага. Расчет более чем на 100 000 000 шагов\n"
      "не начинается.\n"
      "Ctrl+C останавливает расчет после текущего шага (во время подготовки - не позже чем\n"
      "через секунду): состояние сохраняется в --save, выводится \"прервано при t = ...;\n"
      "состояние сохранено в ...\", код завершения 130.\n"
      "Коды завершения: 0 - успех, 1 - ошибка в файле или расчете, 2 - неверные аргументы\n"
      "(ничего не записано), 130 - прервано.");
  for (AreaOption& o : run->area) {
    o.option = r->add_option(o.name, o.text, o.help);
  }
  run->alphaDeg = r->add_option("--flange-angle-deg", run->alphaDegText,
                                "угол наклона козырька в градусах, переводится как значение / 180 · π (30)");
  run->alphaDeg->excludes(run->area[7].option);
  run->dtOpt = r->add_option("--dt", run->dt, "шаг по времени, с (0,005; с --load: из файла)");
  run->maxTimeOpt = r->add_option("--max-time", run->maxTime,
                                  "время модели, при котором расчет заканчивается, с (1; с --load: следующая целая секунда)");
  run->maxFreeOpt = r->add_option("--max-free", run->maxFree,
                                  "наибольшее число свободных вихрей (400, с --model refined 4000; с --load: из файла)");
  run->contourOpt = r->add_option("--contour", run->contour,
                                  "отсос по контуру из файла TOML (см. contour check) вместо параметрической области; "
                                  "считается уточнённой моделью");
  run->contourParametersOpt =
      r->add_option("--contour-parameter", run->contourParameters,
                    "ИМЯ=ЗНАЧЕНИЕ: заменить значение параметра, объявленного в разделе [parameters] файла "
                    "--contour (можно повторять; десятичная точка или запятая)")
          ->allow_extra_args(false);
  run->loadOpt = r->add_option("--load", run->load, "продолжить состояние, сохраненное в этом файле вихрей");
  for (const AreaOption& o : run->area) run->loadOpt->excludes(o.option);
  run->loadOpt->excludes(run->alphaDeg);
  run->saveOpt = r->add_option("--save", run->save,
                                "сохранить конечное состояние в этот файл вихрей (.evt, .vrt)");
  run->pointsOpt = r->add_option("--pulsation-points", run->pulsationPoints,
                                 "записывать скорость в этих точках: \"x,y;x,y\" (десятичная точка)");
  run->pulsationFileOpt =
      r->add_option("--pulsation-file", run->pulsationFile, "файл записи пульсаций (pulsate.pls)")
          ->needs(run->pointsOpt);
  run->trackFileOpt = r->add_option("--track-file", run->trackFile,
                                    "записывать циркуляцию нового свободного вихря в этот файл (.fvt)");
  run->budgetOpt = r->add_option("--refined-budget", run->budget,
                                 "уточнённая модель (исследование): записать баланс циркуляции за осреднённый "
                                 "отрезок и где лежит циркуляция свободных колец");
  r->add_flag("--quiet,-q", run->quiet, "без хода расчета на stderr и без итогов");
  r->add_option("--threads", run->threads, "число рабочих потоков, 0 - все ядра (0)");
  r->add_flag("--reference", run->reference, "считать по буквальному (эталонному) пути");
  AddPrecisionOption(r, run->precision);
  AddFlowModelOptions(r, run->flow, FlowOptionSet::Run);
  AddRunExtraOptions(r, run->extras);
  r->callback([run, &status] { status = RunCommand(*run); });

  auto vel = std::make_shared<VelocityArgs>();
  CLI::App* v = app.add_subcommand("velocity", "Скорость воздуха в точке сохраненного состояния");
  v->add_option("FILE", vel->file, "файл вихрей")->required();
  v->add_option("X", vel->x, "осевая координата, м")->required();
  v->add_option("Y", vel->y, "расстояние от оси, м")->required();
  AddPrecisionOption(v, vel->precision);
  AddFlowModelOptions(v, vel->flow, FlowOptionSet::Field);
  v->callback([vel, &status] { status = VelocityCommand(*vel); });

  auto report = std::make_shared<ReportArgs>();
  CLI::App* rep = app.add_subcommand("report", "Информационная сводка сохраненного состояния");
  rep->add_option("FILE", report->file, "файл вихрей")->required();
  AddPrecisionOption(rep, report->precision);
  AddFlowModelOptions(rep, report->flow, FlowOptionSet::Field);
  rep->callback([report, &status] { status = ReportCommand(*report); });
}

}  // namespace mdv::cli
