#include "cli/cmd_spectrum.h"

#include <iostream>

#include "cli/cli_text.h"
#include "cli/interrupt.h"
#include "core/analysis/pulsation_stats.h"
#include "core/analysis/pulsation_stats_stream.h"
#include "core/analysis/spectrum.h"
#include "core/averages/record_spectrum.h"
#include "core/base/numfmt.h"
#include "core/base/observer.h"
#include "core/base/safe_file.h"

namespace mdv::cli {

namespace {

// Ctrl+C, asked between the blocks read from the record.
class InterruptibleReading : public Observer {
 public:
  bool StopRequested() override { return InterruptWatch::Raised(); }
};

}  // namespace

std::string NamedAsGiven(std::string text, const std::string& copy, const std::string& given) {
  if (copy == given) return text;
  for (std::size_t at = text.find(copy); at != std::string::npos; at = text.find(copy, at + given.size()))
    text.replace(at, copy.size(), given);
  return text;
}

int RunPulsationStats(const std::string& file, const std::string& given, int point, const std::string& csv) {
  std::string error;
  InterruptWatch watch;
  InterruptibleReading reading;
  // The series goes to a staged file (or a buffer for stdout) while it is
  // computed and is put in place only when everything is: a Ctrl+C leaves
  // nothing.
  StagedFile table;
  FluctuationSink sink;
  std::string lines;
  if (!csv.empty()) {
    if (!(csv == "-" ? table.BeginStandardOutput(error) : table.Begin(csv, error))) return Fail(error);
    if (!table.Write("t;dVx;dVy\n", 10, error)) return Fail(error);
    sink = [&](const double* t, const double* fx, const double* fy, std::size_t n, std::string& why) {
      lines.clear();
      for (std::size_t j = 0; j < n; ++j) {
        lines += FormatGeneral(t[j]);
        lines += ';';
        lines += FormatGeneral(fx[j]);
        lines += ';';
        lines += FormatGeneral(fy[j]);
        lines += '\n';
      }
      return table.Write(lines.data(), lines.size(), why);
    };
  }
  PulsationRecord r;
  PulsationStats s;
  if (!StreamPulsationStats(file, point - 1, reading, r, s, sink, error)) {
    if (reading.StopRequested() && error.empty()) {
      Say("расчет прерван; ничего не записано");
      return ExitInterrupted;
    }
    return Fail(NamedAsGiven(error, file, given));
  }
  if (reading.StopRequested()) {
    Say("расчет прерван; ничего не записано");
    return ExitInterrupted;
  }
  // The summary goes where the series does not.
  std::ostream& summary = csv == "-" ? std::cerr : std::cout;
  summary << RecordFileLabel(given) << "\n";
  summary << "Начальное время: " << FormatGeneral(r.StartTime) << " с; шаг: " << FormatGeneral(r.TimeStep)
          << " с; отсчетов: " << r.SampleCount << "\n";
  for (size_t i = 0; i < r.Points.size(); ++i) {
    summary << PulsationPointLine(static_cast<int32_t>(i), r.Points[i]) << " м\n";
  }
  summary << "[" << point << "]\n"
          << s.LabVx << " м/с\n" << s.LabVy << " м/с\n" << s.LabVx2 << " м/с\n" << s.LabVy2 << " м/с\n";
  summary.flush();
  if (!csv.empty()) {
    std::cout.flush();
    if (!table.Commit(error)) return Fail(error);
  }
  return ExitOk;
}

int RunPulsationSpectrum(const std::string& file, const std::string& given, int point, const std::string& csv,
                         std::optional<Real> from) {
  auto fail = [](const std::string& message) {
    std::cerr << "rinfet-mdv-batch: " << message << "\n";
    return 1;
  };
  std::string error;
  InterruptWatch watch;
  InterruptibleReading reading;
  PulsationRecord r;
  PulsationSpectra s;
  SpectrumStart start;
  if (!StreamRecordSpectra(file, point - 1, from, reading, r, s, start, error)) {
    if (reading.StopRequested() && error.empty()) {
      Say("расчет спектра прерван; ничего не записано");
      return ExitInterrupted;
    }
    return fail(NamedAsGiven(error, file, given));
  }

  // The table first, so that a Ctrl+C while it is formatted (millions of
  // lines for a long record) leaves no output at all.
  std::string text;
  if (!csv.empty() && !SpectrumCsv(s, text, reading)) {
    Say("расчет спектра прерван; ничего не записано");
    return ExitInterrupted;
  }
  if (reading.StopRequested()) {
    Say("расчет спектра прерван; ничего не записано");
    return ExitInterrupted;
  }

  // The summary goes where the table does not.
  const bool tableToStdout = csv == "-";
  std::ostream& summary = tableToStdout ? std::cerr : std::cout;
  const double df = s.Vx.SampleRate / static_cast<double>(s.Vx.SegmentLength);
  summary << RecordFileLabel(given) << "\n"
          << "Точка " << PulsationPointLine(point - 1, r.Points[static_cast<size_t>(point - 1)]) << "\n"
          << "Отсчетов: " << r.SampleCount << ", шаг " << FormatGeneral(r.TimeStep) << " с\n"
          << SpectrumStartText(start) << "\n"
          << "Спектр по Уэлчу: окно Ханна, из каждого отрезка вычтены среднее и линейный тренд, "
             "отрезки по "
          << s.Vx.SegmentLength << " отсчетов с перекрытием наполовину, отрезков " << s.Vx.SegmentCount
          << ", шаг по частоте " << FormatGeneral(df) << " Гц\n"
          << PeakText("Vx", s.Vx) << "\n"
          << PeakText("Vy", s.Vy) << "\n";
  if (csv.empty()) return 0;
  if (tableToStdout) {
    std::cout << text;
    std::cout.flush();
    return std::cout ? 0 : fail("не удалось записать в стандартный вывод");
  }
  if (!WriteFileAtomically(csv, Bytes(text.begin(), text.end()), error)) return fail(error);
  return 0;
}

}  // namespace mdv::cli
