#pragma once
// pulsation FILE [--spectrum]: the statistics and the velocity spectra of a
// pulsation point, streamed over the record (memory of one block or one
// segment whatever the record's length).
#include <optional>
#include <string>

#include "core/base/real.h"

namespace mdv::cli {

// `file` is read; `given` is the name the user gave (the same file, or a
// pipe or device `file` is a temporary copy of): the summary and the
// messages name `given`.

// `text` with every `copy` replaced by `given`.
std::string NamedAsGiven(std::string text, const std::string& copy, const std::string& given);

// Prints where the spectra begin (the start-up left out: from `from`, s, or
// from the end of the start-up found in the record), the segment length and
// the peak frequencies of Vx and Vy of point `point` (from 1); with `csv`
// ("-" = stdout) writes the densities as f;Svx;Svy. Ctrl+C stops it within
// a block (exit 130, nothing written). Returns the exit status.
int RunPulsationSpectrum(const std::string& file, const std::string& given, int point, const std::string& csv,
                         std::optional<Real> from);

// Prints the record's header, the point list and the means and r.m.s.
// fluctuations of point `point` (from 1); with `csv` ("-" = stdout, the
// summary then on stderr) writes the series as t;dVx;dVy. Ctrl+C stops it
// within a block (exit 130, nothing written). Returns the exit status.
int RunPulsationStats(const std::string& file, const std::string& given, int point, const std::string& csv);

}  // namespace mdv::cli
