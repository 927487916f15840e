// streamline, vortex-area, pulsation, track: the flow analysis of a saved
// state and of the run records, for scripts.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/cli_text.h"
#include "cli/cmd_spectrum.h"
#include "cli/commands.h"
#include "cli/interrupt.h"
#include "cli/model_option.h"
#include "cli/outputs.h"
#include "cli/precision_option.h"
#include "core/model/model.h"
#include "core/base/numfmt.h"
#include "core/base/observer.h"
#include "core/analysis/pulsation_stats.h"
#include "core/model/records.h"
#include "core/base/safe_file.h"
#include "core/analysis/streamlines.h"
#include "core/analysis/vortex_area.h"
#include "core/model/pulsation_stream.h"
#include "core/model/vortex_file.h"

namespace mdv::cli {

namespace {

// How often a long trace reports, seconds of wall time.
constexpr double TraceProgressInterval = 0.5;

// A command-line number: a decimal point or a comma.
std::optional<Real> Number(const std::string& text, const char* what, std::string& error) {
  return NumberArg(text, what, error);
}

// "X,Y" with decimal points.
std::optional<TRealPoint> PointArg(const std::string& text, const char* what, std::string& error) {
  const auto comma = text.find(',');
  std::optional<Real> x, y;
  if (comma != std::string::npos && text.find(',', comma + 1) == std::string::npos) {
    x = ParseRealLenient(text.substr(0, comma));
    y = ParseRealLenient(text.substr(comma + 1));
  }
  if (!x || !y) {
    error = std::string(what) + ": \"" + text + "\" не является точкой X,Y (десятичная точка в числах)";
    return std::nullopt;
  }
  return TRealPoint{*x, *y};
}

// The --csv file, checked before anything is read or computed: it must be
// writable and must not be the file the command reads.
int RefuseUnwritableCsv(const std::string& csv, const std::string& input) {
  if (csv.empty()) return ExitOk;
  std::string fault = CheckOutputsAreNotInputs({{"--csv", csv}}, {{"FILE", input}});
  if (fault.empty()) fault = CheckOutputs({{"--csv", csv}});
  return fault.empty() ? ExitOk : Refuse(fault);
}

// Ctrl+C for the traces; they ask between their steps.
class InterruptibleTrace : public Observer {
 public:
  bool StopRequested() override { return InterruptWatch::Raised(); }
};

// Writes the text to the file (whole, replacing it) or, for "" or "-", to stdout.
bool Emit(const std::string& text, const std::string& out, std::string& error) {
  if (out.empty() || out == "-") {
    std::cout << text;
    std::cout.flush();
    return static_cast<bool>(std::cout);
  }
  return WriteFileAtomically(out, Bytes(text.begin(), text.end()), error);
}

// ---- streamline ----

struct StreamLineArgs {
  std::string File, X0, Y0, Step, MaxLen, Csv;
  Precision Arithmetic = Precision::Extended;
  FlowModelArgs Flow;
};

int RunStreamLine(const StreamLineArgs& a) {
  std::string error;
  const auto x0 = Number(a.X0, "X0", error);
  const auto y0 = x0 ? Number(a.Y0, "Y0", error) : std::nullopt;
  const auto step = y0 ? Number(a.Step, "STEP", error) : std::nullopt;
  const auto maxLen = step ? Number(a.MaxLen, "MAXLEN", error) : std::nullopt;
  if (!maxLen) return Refuse(error);
  if (const int refused = RefuseUnwritableCsv(a.Csv, a.File)) return refused;
  Model m;
  if (const int status = LoadStateWithModel(m, a.File, a.Arithmetic, a.Flow)) return status;
  InterruptWatch watch;
  InterruptibleTrace trace;
  const StreamLineResult r = TraceStreamLine(m, static_cast<double>(*x0), static_cast<double>(*y0),
                                             static_cast<double>(*step),
                                             static_cast<double>(*maxLen), trace);
  // The step and length are the user's: a line they do not allow is a refused argument.
  if (!r.Ok) return Refuse(r.Error);
  if (r.Stopped) {
    Say("построение линии тока прервано (точек: " + std::to_string(r.PointCount) + "); ничего не записано");
    return ExitInterrupted;
  }
  if (r.OutOfRange) {
    const TRealPoint& p = m.StreamLines.back().back();
    return Fail(Quoted(a.File) + ": скорость в точке (" + FormatGeneral(p.X) + "; " + FormatGeneral(p.Y) +
                ") не представима числом двойной точности (значения файла слишком велики); ничего не записано");
  }
  std::ostringstream csv;
  csv << "x;y\n";
  for (const TRealPoint& p : m.StreamLines.back()) {
    csv << FormatGeneral(p.X) << ";" << FormatGeneral(p.Y) << "\n";
  }
  if (!Emit(csv.str(), a.Csv, error)) return Fail(error);
  std::cerr << "точек: " << r.PointCount << (r.EndedAtWall ? ", линия дошла до стенки" : "")
            << (r.EndedAtRest ? ", линия остановилась там, где воздух неподвижен" : "") << "\n";
  return ExitOk;
}

// ---- vortex-area ----

struct VortexAreaArgs {
  std::string File, First, Second, Dt;
  Precision Arithmetic = Precision::Extended;
  FlowModelArgs Flow;
};

// Progress on stderr: which trace runs and, when the computation is long,
// how many steps it has made; Ctrl+C stops it.
class AreaProgress : public InterruptibleTrace {
 public:
  void TracePoint(const TRealPoint& /*p*/, bool first) override {
    if (first) std::cerr << "линия тока " << ++trace_ << "...\n";
  }
  // Called every AreaYieldSteps steps of every phase.
  void PumpEvents() override {
    steps_ += AreaYieldSteps;
    const auto now = Clock::now();
    if (std::chrono::duration<double>(now - last_).count() < TraceProgressInterval) return;
    last_ = now;
    std::cerr << "  шагов: " << steps_ << " (не более " << AreaTraceStepLimit << " на участок)\n";
  }

 private:
  using Clock = std::chrono::steady_clock;
  int trace_ = 0;
  long steps_ = 0;
  Clock::time_point last_ = Clock::now();
};

int RunVortexArea(const VortexAreaArgs& a) {
  std::string error;
  // The arguments are judged before the file is read.
  std::optional<TRealPoint> first, second;
  std::optional<Real> dt;
  if (!a.First.empty() && !(first = PointArg(a.First, "--first", error))) return Refuse(error);
  if (!a.Second.empty() && !(second = PointArg(a.Second, "--second", error))) return Refuse(error);
  if (!a.Dt.empty() && !(dt = Number(a.Dt, "--dt", error))) return Refuse(error);

  Model m;
  if (const int status = LoadStateWithModel(m, a.File, a.Arithmetic, a.Flow)) return status;
  if (m.FreeVortexCount == 0) return Fail("Не задана вихревая структура");
  if (m.ContourArea)
    return Fail("Размеры вихревой зоны (Bэф, b, l, …) определены для отсоса с козырьком; у контура зоны - "
                "линии отрыва от его кромок (separation_lines в файле средних)");

  // Unset settings are those the window proposes, read back from its texts.
  const VortexAreaStartTexts d = DefaultVortexAreaStart(m);
  if (!first) first = TRealPoint{*ParseRealLenient(d.FirstX), *ParseRealLenient(d.FirstY)};
  if (!second) second = TRealPoint{*ParseRealLenient(d.SecondX), *ParseRealLenient(d.SecondY)};
  if (!dt) dt = *ParseRealLenient(d.Dt);
  std::cerr << "первая линия тока из (" << FormatGeneral(first->X) << " м; " << FormatGeneral(first->Y)
            << " м), вторая из (" << FormatGeneral(second->X) << " м; " << FormatGeneral(second->Y)
            << " м), шаг " << FormatGeneral(*dt) << " с\n";

  InterruptWatch watch;
  AreaProgress progress;
  TVortexAreaParams result;
  const VortexAreaOutcome out = CalcVortexAreaParams(m, *first, *second, result, *dt, progress);
  if (out.Stopped) {
    Say("расчет параметров вихревой области прерван; ничего не выведено");
    return ExitInterrupted;
  }
  if (!out.Ok) return Refuse(out.Error);
  if (out.SecondContinuesFirst) std::cerr << "вторая линия тока продолжает первую\n";
  if (out.StalledPhases != 0) std::cerr << "линия тока остановилась там, где воздух неподвижен\n";
  // Only measurements are printed; the others are said to have failed.
  for (const VortexAreaRow& row : VortexAreaRows(result, out.FailedRows)) {
    if (row.Measured) std::cout << row.Label << " = " << row.Value << " м\n";
  }
  if (out.FailedRows == 0) return ExitOk;
  for (const std::string& why : out.Failures) Say("не измерено: " + why);
  return ExitFailed;
}

// ---- pulsation ----

struct PulsationArgs {
  std::string File, Csv, From;
  int Point = 1;
  bool Spectrum = false;
};

int RunPulsation(const PulsationArgs& a) {
  std::string error;
  PulsationRecord r;
  if (a.Point < 1) return Refuse("--point: номер точки считается от 1");
  std::optional<Real> from;
  if (!a.From.empty()) {
    if (!a.Spectrum) return Refuse("--from: только вместе с --spectrum");
    from = Number(a.From, "--from", error);
    if (!from || !std::isfinite(*from)) return Refuse(error.empty() ? "--from: не число" : error);
  }
  if (const int refused = RefuseUnwritableCsv(a.Csv, a.File)) return refused;
  const auto refusePoint = [&](size_t points) {
    return Refuse("--point: в файле " + Quoted(a.File) + " нет точки с номером " + std::to_string(a.Point) +
                  " (точек: " + std::to_string(points) + ")");
  };
  // A pipe or a device is read once, into a temporary copy that both
  // readings below take; messages name the file as given.
  std::string source = a.File;
  platform::EntryInfo kind;
  if (!platform::InspectTarget(a.File, kind) && kind.Kind != platform::EntryKind::Regular &&
      kind.Kind != platform::EntryKind::Directory) {
    if (!StagePulsationRecord(a.File, source, error)) return Fail(error);
  }
  struct RemoveCopy {
    const std::string& Copy;
    const std::string& Given;
    ~RemoveCopy() {
      if (Copy != Given) platform::RemoveFile(Copy);
    }
  } removeCopy{source, a.File};
  {
    PulsationPointStream header;
    if (!header.Open(source, r, error)) return Fail(NamedAsGiven(error, source, a.File));
  }
  if (!r.Points.empty() && static_cast<size_t>(a.Point) > r.Points.size()) return refusePoint(r.Points.size());
  // Only the header is read above; the statistics and spectra stream over
  // the record.
  if (a.Spectrum) return RunPulsationSpectrum(source, a.File, a.Point, a.Csv, from);
  return RunPulsationStats(source, a.File, a.Point, a.Csv);
}

// ---- track ----

struct TrackArgs {
  std::string File, Csv;
};

int RunTrack(const TrackArgs& a) {
  std::string error;
  if (const int refused = RefuseUnwritableCsv(a.Csv, a.File)) return refused;
  TrackRecord r;
  if (!LoadTrackRecord(a.File, r, error)) return Fail(error);
  CirculationSeries s;
  if (!CalcCirculationSeries(r, s, error)) return Fail(error);
  std::ostringstream csv;
  csv << "t;G/2pihu0\n";
  for (size_t k = 0; k < s.T.size(); ++k) {
    csv << FormatGeneral(s.T[k]) << ";" << FormatGeneral(s.Y[k]) << "\n";
  }
  if (!Emit(csv.str(), a.Csv, error)) return Fail(error);
  std::cerr << "шагов: " << s.T.size() << "\n";
  return ExitOk;
}

}  // namespace

void AddAnalysisCommands(CLI::App& app, int& status) {
  {
    auto args = std::make_shared<StreamLineArgs>();
    CLI::App* c = app.add_subcommand(
        "streamline", "Линия тока сохраненного состояния; точки в виде CSV (x;y, м)");
    c->footer("Не более 1 000 000 шагов. Ctrl+C прерывает построение (код 130, ничего не записано).");
    c->add_option("FILE", args->File, "файл вихрей (.evt/.vrt)")->required();
    c->add_option("X0", args->X0, "начальная точка: x, м")->required();
    c->add_option("Y0", args->Y0, "начальная точка: y, м")->required();
    c->add_option("STEP", args->Step, "длина шага, м (> 0)")->required();
    c->add_option("MAXLEN", args->MaxLen, "наибольшая длина линии, м")->required();
    c->add_option("--csv", args->Csv, "записать точки в этот файл, а не в стандартный вывод");
    AddPrecisionOption(c, args->Arithmetic);
    AddFlowModelOptions(c, args->Flow, FlowOptionSet::Field);
    c->callback([args, &status] { status = RunStreamLine(*args); });
  }
  {
    auto args = std::make_shared<VortexAreaArgs>();
    CLI::App* c = app.add_subcommand(
        "vortex-area", "Размеры вихревой области сохраненного состояния, м (ход расчета на stderr)");
    c->footer(
        "Каждая линия тока - не более 1 000 000 шагов на участок. Размер, который не удалось\n"
        "измерить (отрицательный, не число, линия не дошла до конца участка), не выводится,\n"
        "причина - на stderr, код завершения 1. Ctrl+C прерывает расчет (код 130).");
    c->add_option("FILE", args->File, "файл вихрей (.evt/.vrt)")->required();
    c->add_option("--first", args->First, "начало первой линии тока X,Y, м (по умолчанию в 1 мм от кромки козырька)");
    c->add_option("--second", args->Second, "начало второй линии тока X,Y, м (по умолчанию в 1 мм под кромкой устья)");
    c->add_option("--dt", args->Dt, "шаг интегрирования по времени, с (0,001)");
    AddPrecisionOption(c, args->Arithmetic);
    AddFlowModelOptions(c, args->Flow, FlowOptionSet::Field);
    c->callback([args, &status] { status = RunVortexArea(*args); });
  }
  {
    auto args = std::make_shared<PulsationArgs>();
    CLI::App* c = app.add_subcommand(
        "pulsation", "Средние скорости и среднеквадратичные пульсации в точке записи пульсаций");
    c->add_option("FILE", args->File, "запись пульсаций (.pls)")->required();
    c->add_option("--point", args->Point, "номер точки, от 1 (1)");
    c->add_option("--csv", args->Csv,
                  "записать ряд пульсаций (t;dVx;dVy; с, м/с) в этот файл ('-' - в стандартный вывод,\n"
                  "тогда сводка идет в stderr)");
    c->add_flag("--spectrum", args->Spectrum,
                "спектральная плотность мощности Vx и Vy по Уэлчу и частота пика; "
                "с --csv таблица f;Svx;Svy (Гц; (м/с)²/Гц)");
    c->add_option("--from", args->From,
                  "со --spectrum: спектр с этого времени, с (по умолчанию - с конца разгона,\n"
                  "найденного по записи)");
    c->footer("Запись читается по частям (память - на один отрезок спектра, а не на всю запись).\n"
              "Ctrl+C прерывает расчет (код 130, ничего не записано).");
    c->callback([args, &status] { status = RunPulsation(*args); });
  }
  {
    auto args = std::make_shared<TrackArgs>();
    CLI::App* c = app.add_subcommand(
        "track", "Запись циркуляции в виде CSV: t, с, и |Г / (2π·h)|, без размерности");
    c->add_option("FILE", args->File, "запись циркуляции (.fvt)")->required();
    c->add_option("--csv", args->Csv, "записать ряд в этот файл, а не в стандартный вывод");
    c->callback([args, &status] { status = RunTrack(*args); });
  }
}

}  // namespace mdv::cli
