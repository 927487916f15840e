// streamline, vortex-area, pulsation, track: the flow analysis of a saved
// state and of the run records, for scripts.
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "cli/commands.h"
#include "cli/precision_option.h"
#include "core/model.h"
#include "core/numfmt.h"
#include "core/observer.h"
#include "core/pulsation_stats.h"
#include "core/records.h"
#include "core/safe_file.h"
#include "core/streamlines.h"
#include "core/vortex_area.h"
#include "core/vortex_file.h"

namespace mdv::cli {

namespace {

int Fail(const std::string& message) {
  std::cerr << "rinfet-mdv-batch: " << message << "\n";
  return 1;
}

// A command-line number: a decimal point or a comma.
std::optional<Real> Number(const std::string& text, const char* what, std::string& error) {
  auto v = ParseRealLenient(text);
  if (!v) error = std::string(what) + ": '" + text + "' is not a number";
  return v;
}

// "X,Y" with decimal points.
std::optional<TRealPoint> PointArg(const std::string& text, const char* what, std::string& error) {
  const auto comma = text.find(',');
  if (comma == std::string::npos || text.find(',', comma + 1) != std::string::npos) {
    error = std::string(what) + ": '" + text + "' is not a point X,Y (decimal points)";
    return std::nullopt;
  }
  const std::string xs = text.substr(0, comma);
  const std::string ys = text.substr(comma + 1);
  auto x = ParseRealLenient(xs);
  auto y = ParseRealLenient(ys);
  if (!x || !y) {
    error = std::string(what) + ": '" + text + "' is not a point X,Y (decimal points)";
    return std::nullopt;
  }
  return TRealPoint{*x, *y};
}

// Writes the text to the file (whole, replacing it) or, for "" or "-", to stdout.
bool Emit(const std::string& text, const std::string& out, std::string& error) {
  if (out.empty() || out == "-") {
    std::cout << text;
    std::cout.flush();
    return static_cast<bool>(std::cout);
  }
  return WriteFileAtomically(out, Bytes(text.begin(), text.end()), error);
}

bool LoadState(Model& m, const std::string& file, std::string& error) {
  return LoadVortexState(m, file, error);
}

// ---- streamline ----

struct StreamLineArgs {
  std::string File, X0, Y0, Step, MaxLen, Csv;
  Precision Arithmetic = Precision::Extended;
};

int RunStreamLine(const StreamLineArgs& a) {
  std::string error;
  const auto x0 = Number(a.X0, "X0", error);
  const auto y0 = x0 ? Number(a.Y0, "Y0", error) : std::nullopt;
  const auto step = y0 ? Number(a.Step, "STEP", error) : std::nullopt;
  const auto maxLen = step ? Number(a.MaxLen, "MAXLEN", error) : std::nullopt;
  if (!maxLen) return Fail(error);
  Model m;
  m.Exec.Arithmetic = a.Arithmetic;
  if (!LoadState(m, a.File, error)) return Fail(error);
  const StreamLineResult r = TraceStreamLine(m, static_cast<double>(*x0), static_cast<double>(*y0),
                                             static_cast<double>(*step),
                                             static_cast<double>(*maxLen));
  if (!r.Ok) return Fail(r.Error);
  std::ostringstream csv;
  csv << "x;y\n";
  for (const TRealPoint& p : m.StreamLines.back()) {
    csv << FormatGeneral(p.X) << ";" << FormatGeneral(p.Y) << "\n";
  }
  if (!Emit(csv.str(), a.Csv, error)) return Fail(error);
  std::cerr << r.PointCount << " points"
            << (r.EndedAtWall ? ", ended at a wall" : "")
            << (r.EndedAtRest ? ", ended where the flow is at rest" : "") << "\n";
  return 0;
}

// ---- vortex-area ----

struct VortexAreaArgs {
  std::string File, First, Second, Dt;
  Precision Arithmetic = Precision::Extended;
};

// Progress on stderr: which trace runs and how far it has come.
class AreaProgress : public Observer {
 public:
  void TracePoint(const TRealPoint& /*p*/, bool first) override {
    if (first) {
      ++trace_;
      points_ = 0;
      std::cerr << "trace " << trace_ << "...\n";
    } else if (++points_ % 1000 == 0) {
      std::cerr << "  trace " << trace_ << ": " << points_ << " steps\n";
    }
  }

 private:
  int trace_ = 0;
  long points_ = 0;
};

int RunVortexArea(const VortexAreaArgs& a) {
  std::string error;
  Model m;
  m.Exec.Arithmetic = a.Arithmetic;
  if (!LoadState(m, a.File, error)) return Fail(error);
  if (m.FreeVortexCount == 0) return Fail("Не задана вихревая структура");

  // Unset settings are those the window proposes, read back from its texts.
  const VortexAreaStartTexts d = DefaultVortexAreaStart(m);
  TRealPoint first{*ParseRealLenient(d.FirstX), *ParseRealLenient(d.FirstY)};
  TRealPoint second{*ParseRealLenient(d.SecondX), *ParseRealLenient(d.SecondY)};
  Real dt = *ParseRealLenient(d.Dt);
  if (!a.First.empty()) {
    auto p = PointArg(a.First, "--first", error);
    if (!p) return Fail(error);
    first = *p;
  }
  if (!a.Second.empty()) {
    auto p = PointArg(a.Second, "--second", error);
    if (!p) return Fail(error);
    second = *p;
  }
  if (!a.Dt.empty()) {
    auto v = Number(a.Dt, "--dt", error);
    if (!v) return Fail(error);
    dt = *v;
  }
  std::cerr << "first line from (" << FormatGeneral(first.X) << "; " << FormatGeneral(first.Y)
            << "), second from (" << FormatGeneral(second.X) << "; " << FormatGeneral(second.Y)
            << "), step " << FormatGeneral(dt) << " s\n";

  AreaProgress progress;
  TVortexAreaParams result;
  const VortexAreaOutcome out = CalcVortexAreaParams(m, first, second, result, dt, progress);
  if (!out.Ok) return Fail(out.Stopped ? "the computation was stopped" : out.Error);
  if (out.SecondContinuesFirst) std::cerr << "the second trace continues the first line\n";
  if (out.StalledPhases != 0) std::cerr << "a trace came to rest and ended there\n";
  for (const VortexAreaRow& row : VortexAreaRows(result)) {
    std::cout << row.Label << " = " << row.Value << "\n";
  }
  return 0;
}

// ---- pulsation ----

struct PulsationArgs {
  std::string File, Csv;
  int Point = 1;
};

int RunPulsation(const PulsationArgs& a) {
  std::string error;
  PulsationRecord r;
  if (!LoadPulsationRecord(a.File, r, error)) return Fail(error);
  std::cout << RecordFileLabel(a.File) << "\n";
  std::cout << "StartTime = " << FormatGeneral(r.StartTime) << "; TimeStep = "
            << FormatGeneral(r.TimeStep) << "; M = " << r.SampleCount << "\n";
  for (size_t i = 0; i < r.Points.size(); ++i) {
    std::cout << PulsationPointLine(static_cast<int32_t>(i), r.Points[i]) << "\n";
  }
  PulsationStats s;
  if (!CalcPulsationStats(r, a.Point - 1, s, error)) return Fail(error);
  std::cout << "[" << a.Point << "]\n"
            << s.LabVx << "\n" << s.LabVy << "\n" << s.LabVx2 << "\n" << s.LabVy2 << "\n";
  if (!a.Csv.empty()) {
    std::ostringstream csv;
    csv << "t;dVx;dVy\n";
    for (size_t j = 0; j < s.Times.size(); ++j) {
      csv << FormatGeneral(s.Times[j]) << ";" << FormatGeneral(s.FluctVx[j]) << ";"
          << FormatGeneral(s.FluctVy[j]) << "\n";
    }
    if (!Emit(csv.str(), a.Csv, error)) return Fail(error);
  }
  return 0;
}

// ---- track ----

struct TrackArgs {
  std::string File, Csv;
};

int RunTrack(const TrackArgs& a) {
  std::string error;
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
  std::cerr << s.T.size() << " steps\n";
  return 0;
}

}  // namespace

void AddAnalysisCommands(CLI::App& app, int& status) {
  {
    auto args = std::make_shared<StreamLineArgs>();
    CLI::App* c = app.add_subcommand(
        "streamline", "Trace a stream line of a saved state; the points as CSV (x;y)");
    c->add_option("FILE", args->File, "saved vortex file (.evt/.vrt)")->required();
    c->add_option("X0", args->X0, "start x, m")->required();
    c->add_option("Y0", args->Y0, "start y, m")->required();
    c->add_option("STEP", args->Step, "step length, m (> 0)")->required();
    c->add_option("MAXLEN", args->MaxLen, "largest length, m")->required();
    c->add_option("--csv", args->Csv, "write the points to this file instead of stdout");
    AddPrecisionOption(c, args->Arithmetic);
    c->callback([args, &status] { status = RunStreamLine(*args); });
  }
  {
    auto args = std::make_shared<VortexAreaArgs>();
    CLI::App* c = app.add_subcommand(
        "vortex-area", "Dimensions of the vortex zone of a saved state (progress on stderr)");
    c->add_option("FILE", args->File, "saved vortex file (.evt/.vrt)")->required();
    c->add_option("--first", args->First, "start of the first line X,Y, m (default: 1 mm off the flange tip)");
    c->add_option("--second", args->Second, "start of the second line X,Y, m (default: 1 mm below the mouth edge)");
    c->add_option("--dt", args->Dt, "integration time step, s (default 0,001)");
    AddPrecisionOption(c, args->Arithmetic);
    c->callback([args, &status] { status = RunVortexArea(*args); });
  }
  {
    auto args = std::make_shared<PulsationArgs>();
    CLI::App* c = app.add_subcommand(
        "pulsation", "Means and r.m.s. fluctuations of a point of a pulsation record");
    c->add_option("FILE", args->File, "pulsation record (.pls)")->required();
    c->add_option("--point", args->Point, "point number, from 1 (default 1)");
    c->add_option("--csv", args->Csv, "write the fluctuation series (t;dVx;dVy) here ('-' = stdout)");
    c->callback([args, &status] { status = RunPulsation(*args); });
  }
  {
    auto args = std::make_shared<TrackArgs>();
    CLI::App* c = app.add_subcommand(
        "track", "The circulation record as CSV: t and |Gamma / (2 pi h)|");
    c->add_option("FILE", args->File, "circulation record (.fvt)")->required();
    c->add_option("--csv", args->Csv, "write the series to this file instead of stdout");
    c->callback([args, &status] { status = RunTrack(*args); });
  }
}

}  // namespace mdv::cli
