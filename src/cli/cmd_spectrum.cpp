#include "cli/cmd_spectrum.h"

#include <iostream>
#include <sstream>

#include "core/base/numfmt.h"
#include "core/analysis/pulsation_stats.h"
#include "core/model/records.h"
#include "core/base/safe_file.h"
#include "core/analysis/spectrum.h"

namespace mdv::cli {

int RunPulsationSpectrum(const std::string& file, int point, const std::string& csv) {
  auto fail = [](const std::string& message) {
    std::cerr << "rinfet-mdv-batch: " << message << "\n";
    return 1;
  };
  std::string error;
  PulsationRecord r;
  if (!LoadPulsationRecord(file, r, error)) return fail(error);
  PulsationSpectra s;
  if (!CalcPulsationSpectra(r, point - 1, s, error)) return fail(error);

  // The summary goes where the table does not.
  const bool tableToStdout = csv == "-";
  std::ostream& summary = tableToStdout ? std::cerr : std::cout;
  const double df = s.Vx.SampleRate / static_cast<double>(s.Vx.SegmentLength);
  summary << RecordFileLabel(file) << "\n"
          << "Точка " << PulsationPointLine(point - 1, r.Points[point - 1]) << "\n"
          << "Отсчетов: " << r.SampleCount << ", шаг " << FormatGeneral(r.TimeStep) << " с\n"
          << "Спектр по Уэлчу: окно Ханна, отрезки по " << s.Vx.SegmentLength
          << " отсчетов с перекрытием наполовину, отрезков " << s.Vx.SegmentCount
          << ", шаг по частоте " << FormatGeneral(df) << " Гц\n"
          << PeakText("Vx", s.Vx) << "\n"
          << PeakText("Vy", s.Vy) << "\n";
  if (csv.empty()) return 0;

  // Frequency in Hz, densities in (m/s)²/Hz.
  std::ostringstream table;
  table << "f;Svx;Svy\n";
  for (std::size_t k = 0; k < s.Vx.Frequency.size(); ++k) {
    table << FormatGeneral(s.Vx.Frequency[k]) << ";" << FormatGeneral(s.Vx.Density[k]) << ";"
          << FormatGeneral(s.Vy.Density[k]) << "\n";
  }
  const std::string text = table.str();
  if (tableToStdout) {
    std::cout << text;
    std::cout.flush();
    return std::cout ? 0 : fail("не удалось записать в стандартный вывод");
  }
  if (!WriteFileAtomically(csv, Bytes(text.begin(), text.end()), error)) return fail(error);
  return 0;
}

}  // namespace mdv::cli
