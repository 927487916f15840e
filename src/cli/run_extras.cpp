// The run command's averaging, tracer and step-limit options, the centreline
// command (the axial velocity in front of the mouth beside the hood
// equations) and the capture command (the tracers' table of an averages file).
#include "cli/run_extras.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>
#include <memory>
#include <tuple>

#include "cli/cli_text.h"
#include "cli/commands.h"
#include "cli/outputs.h"
#include "cli/model_option.h"
#include "cli/precision_option.h"
#include "core/averages/averages_reading.h"
#include "core/averages/averaging_files.h"
#include "core/averages/entry_loss.h"
#include "core/analysis/centreline.h"
#include "core/base/numfmt.h"
#include "core/base/safe_file.h"
#include "core/model/vortex_file.h"

namespace mdv::cli {

namespace {

// Asks for a stop once the run has made its steps; passes everything else on.
class StepLimitObserver : public ObserverRelay {
 public:
  StepLimitObserver(Observer& inner, std::optional<int64_t> limit) : ObserverRelay(inner), limit_(limit) {}
  void StepDone(const Model& m) override {
    ++steps_;
    inner_.StepDone(m);
  }
  bool StopRequested() override {
    if (inner_.StopRequested()) return true;
    reached_ = limit_ && steps_ >= *limit_;
    return reached_;
  }
  bool Reached() const { return reached_; }

 private:
  std::optional<int64_t> limit_;
  int64_t steps_ = 0;
  bool reached_ = false;
};

std::string Fixed(double v, int digits, int decimals) { return FormatFixed(static_cast<Real>(v), digits, decimals); }

void PrintAverages(const AveragingResults& r) {
  if (!r.HasAverages) {
    std::printf("Средние не набраны: нет выборок поля после начала осреднения.\n");
    return;
  }
  std::printf("Средние с t = %s с по t = %s с, выборок поля %" PRId64 " (каждые %d шагов), сетка %d × %d, шаг %s м\n",
              Fixed(r.StartTime, 7, 3).c_str(), Fixed(r.EndTime, 7, 3).c_str(), r.Samples, r.SampleEverySteps,
              r.Field.Grid.Nx, r.Field.Grid.Ny, Fixed(r.Field.Grid.Dx, 6, 4).c_str());
  std::printf("Контрольные величины, среднее ± полуширина 95 %%:\n");
  for (const MonitorSummary& m : r.Monitors) {
    if (!m.Known) continue;
    std::printf("  %s = %s ± %s %s (%s %%, выборок %" PRId64 ")\n", m.Name.c_str(), Fixed(m.Mean, 7, 4).c_str(),
                std::isfinite(m.HalfWidth95) ? Fixed(m.HalfWidth95, 7, 4).c_str() : "?", m.Unit.c_str(),
                std::isfinite(m.RelativeHalfWidth) ? Fixed(m.RelativeHalfWidth * 100, 6, 1).c_str() : "?",
                m.Samples);
  }
  std::printf("%s", CentrelineTable(r.Centreline).c_str());
  if (r.Flux.Valid) {
    std::printf("Расход через сечение канала x = %s м: %s м³/с; π·B²·v = %s м³/с; отношение %s\n",
                Fixed(r.Flux.X, 6, 3).c_str(), Fixed(r.Flux.Flux, 6, 5).c_str(),
                Fixed(r.Flux.Reference, 6, 5).c_str(), Fixed(r.Flux.Ratio, 6, 3).c_str());
  }
  if (r.Contraction.Present) {
    std::printf("%s", ContractionText(r.Contraction).c_str());
    // The mouth edge lies on the channel's wall, y = B, whatever the flange.
    std::printf("%s", MomentumBalanceText(BalanceMomentum(r.Contraction, r.Contraction.MouthY)).c_str());
  }
  if (r.Tracers.Present) std::printf("%s", TracerText(r.Tracers).c_str());
  if (r.AreaKind == "contour") {
    // A contour's zones: the mean separation streamline of each shedding corner.
    std::printf("Линии отрыва (осреднённые): %zu\n", r.SeparationLines.size());
    for (const CornerSeparation& l : r.SeparationLines) {
      const std::array<double, 2>& a = l.Points.front();
      const std::array<double, 2>& b = l.Points.back();
      std::printf("  от точки %d (%s; %s): %s (%s; %s) м, точек %zu\n", l.Corner, Fixed(a[0], 6, 3).c_str(),
                  Fixed(a[1], 6, 3).c_str(), l.Reattached ? "присоединяется в" : "не присоединяется, конец",
                  Fixed(b[0], 6, 3).c_str(), Fixed(b[1], 6, 3).c_str(), l.Points.size());
    }
    return;
  }
  const VortexZoneSummary& z = r.VortexZone;
  std::printf("Вихревая зона: измерений %d, неудачных %d (каждая %d-я выборка)\n", z.Measured, z.Failed,
              z.EverySamples);
  static const char* labels[ZoneDimensionCount] = {"Bэф", "b", "l", "a0", "a", "dmax", "lmax"};
  if (z.Measured > 0) {
    for (int32_t d = 0; d < ZoneDimensionCount; ++d) {
      std::printf("  %s = %s ± %s м\n", labels[d], Fixed(z.Dimensions[static_cast<size_t>(d)].Mean, 6, 4).c_str(),
                  Fixed(z.Dimensions[static_cast<size_t>(d)].Sd, 6, 4).c_str());
    }
  }
}

struct CentrelineArgs {
  std::string file, csv;
  CLI::Option* csvOpt = nullptr;
  Precision precision = Precision::Extended;
  FlowModelArgs flow;
};

int CentrelineCommand(const CentrelineArgs& a) {
  std::string error;
  if (a.csvOpt->count() > 0) {
    std::string unwritable = CheckOutputsAreNotInputs({{"--csv", a.csv}}, {{"FILE", a.file}});
    if (unwritable.empty()) unwritable = CheckOutputs({{"--csv", a.csv}});
    if (!unwritable.empty()) return Refuse(unwritable);
  }
  Model m;
  // The plane is the file's own: its end vortex sits on the plane's edge.
  if (const int status = LoadStateWithModel(m, a.file, a.precision, a.flow)) return status;
  const std::vector<CentrelineRow> rows = CentrelineOfState(m);
  // A station in the flow without a value: the velocity left the range of a
  // double (circulations of the file too large), not a station behind the plane.
  for (const CentrelineRow& r : rows) {
    if (m.SuctionSpeed != 0 && CentrelineInFlow(m, r.XOverD) && !r.HasModel)
      return Fail(Quoted(a.file) + ": скорость на оси при x/D = " + FormatGeneral(r.XOverD) +
                  " не представима числом двойной точности (значения файла слишком велики)");
  }
  if (a.csvOpt->count() == 0) {
    std::cout << CentrelineTable(rows);
    return 0;
  }
  const std::string csv = CentrelineCsv(rows);
  if (a.csv == "-") {
    std::cout << csv;
    return std::cout.flush() ? 0 : 1;
  }
  if (!WriteFileAtomically(a.csv, Bytes(csv.begin(), csv.end()), error)) {
    std::cerr << "rinfet-mdv-batch: " << error << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

void AddRunExtraOptions(CLI::App* r, RunExtras& e) {
  r->add_flag("--until-steady", e.untilSteady,
              "закончить расчёт, когда режим установится (или по --max-time)");
  e.toleranceOpt = r->add_option("--tolerance", e.tolerance,
                                 "допустимая относительная полуширина 95 % средних (0,05)");
  e.averageFromOpt = r->add_option("--average-from", e.averageFrom,
                                   "осреднять с этого времени модели, с (по умолчанию — с конца разгона)");
  r->add_option("--averages", e.averages, "сохранить средние в файл JSON");
  r->add_option("--field", e.field, "сохранить среднее поле скорости в файл VTK (.vti)");
  r->add_option("--field-csv", e.fieldCsv, "сохранить среднее поле скорости в таблицу CSV");
  r->add_option("--tracers", e.tracers,
                 "выпускать маркеры из точек \"x,y;x,y\", м (доля захвата и время захвата по точкам)");
  r->add_option("--tracer-grid", e.tracerGrid, "выпускать маркеры также из узлов сетки перед отсосом с этим шагом, м");
  r->add_option("--capture-horizon", e.captureHorizon, "горизонт захвата маркеров T, с (10)");
  e.stepsOpt = r->add_option("--steps", e.steps,
                             "остановиться после N шагов; 0 — сохранить контур с решёнными циркуляциями");
}

bool CheckRunExtras(RunExtras& e,
                    const std::function<bool(const std::string&, const std::string&, std::string&)>& outputUsable,
                    std::string& error) {
  e.averaging = e.untilSteady || e.toleranceOpt->count() > 0 || e.averageFromOpt->count() > 0 ||
                !e.averages.empty() || !e.field.empty() || !e.fieldCsv.empty();
  if (e.toleranceOpt->count() > 0) {
    const auto v = ParseRealLenient(e.tolerance);
    if (!v || !(*v > 0) || !(*v <= 1)) {
      error = "--tolerance: \"" + e.tolerance + "\" не является числом от 0 до 1";
      return false;
    }
    // The averages keep it as a double: a value that rounds to 0 or to a
    // subnormal there would be no tolerance at all.
    if (static_cast<double>(*v) < std::numeric_limits<double>::min()) {
      error = "--tolerance: \"" + e.tolerance + "\" слишком мало: число неотличимо от нуля в двойной точности";
      return false;
    }
    e.settings.Tolerance = static_cast<double>(*v);
  }
  if (e.averageFromOpt->count() > 0) {
    const auto v = ParseRealLenient(e.averageFrom);
    if (!v || !std::isfinite(*v)) {
      error = "--average-from: \"" + e.averageFrom + "\" не является числом";
      return false;
    }
    e.settings.AverageFrom = *v;
  }
  e.settings.UntilSteady = e.untilSteady;
  if (e.stepsOpt->count() > 0) {
    const auto v = ParseInt(e.steps);
    if (!v || *v < 0) {
      error = "--steps: \"" + e.steps + "\" не является целым числом шагов (0 или больше)";
      return false;
    }
    e.stepLimit = *v;
  }
  TracerSettings& ts = e.tracerState.Settings;
  ts = TracerSettings{};
  if (!e.tracers.empty() && !ParseTracerPoints(e.tracers, ts.Sources, error)) return false;
  if (!e.tracerGrid.empty()) {
    const auto v = ParseRealLenient(e.tracerGrid);
    if (!v || !(*v > 0) || !std::isfinite(*v)) {
      error = "--tracer-grid: \"" + e.tracerGrid + "\" не является положительным шагом, м";
      return false;
    }
    ts.GridSpacing = static_cast<double>(*v);
  }
  if (!e.captureHorizon.empty()) {
    const auto v = ParseRealLenient(e.captureHorizon);
    if (!v || !(*v > 0) || !std::isfinite(*v)) {
      error = "--capture-horizon: \"" + e.captureHorizon + "\" не является положительным временем, с";
      return false;
    }
    ts.Horizon = static_cast<double>(*v);
  }
  ts.ReleaseFrom = e.settings.AverageFrom;
  e.tracing = !ts.Sources.empty() || ts.GridSpacing > 0;
  if (!e.tracing && !e.captureHorizon.empty()) {
    error = "--capture-horizon: нет точек выпуска маркеров (--tracers или --tracer-grid)";
    return false;
  }
  e.averaging = e.averaging || e.tracing;
  if (!e.averages.empty() && !outputUsable(e.averages, "--averages", error)) return false;
  if (!e.field.empty() && !outputUsable(e.field, "--field", error)) return false;
  if (!e.fieldCsv.empty() && !outputUsable(e.fieldCsv, "--field-csv", error)) return false;
  return true;
}

RunSummary RunWithExtras(Model& m, RunExtras& e, int32_t maxFree, int32_t freeCount, Real startTime,
                         Real endTime, Real step, Observer& obs) {
  if (e.stepLimit && *e.stepLimit == 0) {
    // No step: the area (or the loaded state) with its circulations solved,
    // as a run whose end time is already past leaves it.
    RunSummary r;
    if (!SolveWithoutStep(m, maxFree, freeCount, obs)) r.HowEnded = RunSummary::End::Stopped;
    m.Time = startTime;
    m.Dt = step;
    m.MaxTime = endTime;
    e.endText = "Шаги не выполнялись (--steps 0): сохранён контур с решёнными циркуляциями.";
    if (e.averaging) {
      StartAveraging(e.state, m, e.settings);
      e.endText += " " + JudgeAveraging(e.state, true).Text;
    }
    return r;
  }
  StepLimitObserver limited(obs, e.stepLimit);
  RunSummary r;
  if (e.averaging) {
    StartAveraging(e.state, m, e.settings);
    // The tracers start at the first step, on the grid the averages laid.
    e.tracerState.Started = false;
    TracerObserver tracers(e.tracerState, e.state, limited);
    Observer& feeder = e.tracing ? static_cast<Observer&>(tracers) : static_cast<Observer&>(limited);
    AveragedRunSummary a = RunAveraged(m, e.state, maxFree, freeCount, startTime, endTime, step, feeder);
    r = a.Run;
    e.endText = a.EndText;
    if (limited.Reached() && r.HowEnded == RunSummary::End::Stopped) {
      e.endText = "Расчёт закончен после заданного числа шагов (" + std::to_string(r.Steps) + "). " + a.Verdict.Text;
    }
  } else {
    r = RunSimulation(m, maxFree, freeCount, startTime, endTime, step, limited);
  }
  if (limited.Reached() && r.HowEnded == RunSummary::End::Stopped) r.HowEnded = RunSummary::End::TimeLimit;
  return r;
}

bool FinishRunExtras(const Model& m, RunExtras& e, bool quiet, std::string* written) {
  if (!quiet && !e.endText.empty()) std::printf("%s\n", e.endText.c_str());
  if (!e.averaging) return true;
  AveragingResults r = SummariseAveraging(e.state, m);
  if (e.tracing) r.Tracers = SummariseTracers(e.tracerState);
  if (!quiet) PrintAverages(r);
  bool ok = true;
  using Save = bool (*)(const AveragingResults&, const std::string&, std::string&);
  const struct {
    const std::string& path;
    Save save;
    const char* what;
  } files[] = {{e.averages, SaveAveragesJson, "средние сохранены в "},
               {e.field, SaveFieldVti, "среднее поле — в "},
               {e.fieldCsv, SaveFieldCsv, "таблица среднего поля — в "}};
  for (const auto& f : files) {
    if (f.path.empty()) continue;
    std::string error;
    if (!f.save(r, f.path, error)) {
      std::cerr << "rinfet-mdv-batch: " << error << "\n";
      ok = false;
    } else if (written != nullptr) {
      *written += std::string("; ") + f.what + Quoted(f.path);
    }
  }
  return ok;
}

bool ParseTracerPoints(const std::string& text, TRealPointArray& out, std::string& error) {
  out.clear();
  size_t from = 0;
  while (from <= text.size()) {
    size_t end = text.find(';', from);
    if (end == std::string::npos) end = text.size();
    const std::string part = text.substr(from, end - from);
    from = end + 1;
    if (part.find_first_not_of(" \t") == std::string::npos) continue;
    // Where x ends: a blank, the only comma, or the middle one of three.
    std::string x, y;
    const size_t first = part.find_first_not_of(" \t");
    const size_t blank = part.find_first_of(" \t", first);
    const auto commas = std::count(part.begin(), part.end(), ',');
    if (blank != std::string::npos && part.find_first_not_of(" \t", blank) != std::string::npos) {
      x = part.substr(0, blank);
      y = part.substr(blank);
    } else if (commas == 1 || commas == 3) {
      size_t at = part.find(',');
      if (commas == 3) at = part.find(',', at + 1);
      x = part.substr(0, at);
      y = part.substr(at + 1);
    }
    const auto px = ParseRealLenient(x), py = ParseRealLenient(y);
    if (!px || !py || !std::isfinite(*px) || !std::isfinite(*py)) {
      error = "--tracers: \"" + part + "\" не является точкой x,y, м";
      return false;
    }
    out.push_back({*px, *py});
  }
  if (out.empty()) {
    error = "--tracers: нет ни одной точки";
    return false;
  }
  return true;
}

// Largest averages file `capture` reads: a field of 10⁶ points with its
// tracers takes some 200 MB.
constexpr size_t MaxAveragesFileBytes = size_t(256) << 20;


bool ReadAveragesFile(const std::string& file, AveragingResults& r, std::string& error) {
  Bytes data;
  // The file's size is judged before it is read: a regular file by its
  // length, a device or a pipe (/dev/zero) by its first byte, which begins
  // every JSON document, and then by the bound.
  const StatedLength jsonStart = [](const uint8_t* head, size_t, std::string& why) -> uint64_t {
    if (head[0] == '{' || head[0] == ' ' || head[0] == '\n' || head[0] == '\t' || head[0] == '\r')
      return MaxAveragesFileBytes;
    why = "это не документ JSON";
    return 0;
  };
  if (!ReadFileOfStatedLength(file, 1, jsonStart, data, error, MaxAveragesFileBytes)) return false;
  const std::string text(data.begin(), data.end());
  if (ReadAveragesText(text, r, error)) return true;
  error = file + ": " + error;
  return false;
}


struct CaptureArgs {
  std::string file, csv;
  CLI::Option* csvOpt = nullptr;
};

int CaptureCommand(const CaptureArgs& a) {
  std::string error, text;
  if (a.csvOpt->count() > 0 && a.csv != "-") {
    std::string unwritable = CheckOutputsAreNotInputs({{"--csv", a.csv}}, {{"FILE", a.file}});
    if (unwritable.empty()) unwritable = CheckOutputs({{"--csv", a.csv}});
    if (!unwritable.empty()) return Refuse(unwritable);
  }
  AveragingResults r;
  if (!ReadAveragesFile(a.file, r, error)) return Fail(error);
  if (!r.Tracers.Present) return Fail(a.file + ": в файле нет маркеров (run --tracers или --tracer-grid)");
  if (a.csvOpt->count() == 0) {
    std::cout << TracerText(r.Tracers);
    return 0;
  }
  const std::string csv = TracerCsv(r.Tracers);
  if (a.csv == "-") {
    std::cout << csv;
    return std::cout.flush() ? 0 : 1;
  }
  if (!WriteFileAtomically(a.csv, Bytes(csv.begin(), csv.end()), error)) return Fail(error);
  return 0;
}


void AddAveragingCommands(CLI::App& app, int& status) {
  auto capture = std::make_shared<CaptureArgs>();
  CLI::App* cap = app.add_subcommand(
      "capture", "Зона захвата по маркерам: доля захвата за горизонт T и медианное время захвата по точкам выпуска");
  cap->add_option("FILE", capture->file, "файл средних (.json) расчёта с маркерами")->required();
  capture->csvOpt = cap->add_option("--csv", capture->csv, "записать таблицу CSV в файл (- — в стандартный вывод)");
  cap->callback([capture, &status] { status = CaptureCommand(*capture); });

  auto args = std::make_shared<CentrelineArgs>();
  CLI::App* c = app.add_subcommand(
      "centreline", "Скорость на оси перед отсосом (x/D = 0,1 … 3) рядом с решениями диск-стока и ДаллаВалле");
  c->add_option("FILE", args->file, "файл вихрей (.evt, .vrt)")->required();
  args->csvOpt = c->add_option("--csv", args->csv, "записать таблицу CSV в файл (- — в стандартный вывод)");
  AddPrecisionOption(c, args->precision);
  AddFlowModelOptions(c, args->flow, FlowOptionSet::Field);
  c->callback([args, &status] { status = CentrelineCommand(*args); });
}

}  // namespace mdv::cli
