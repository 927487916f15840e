#pragma once
// pulsation FILE --spectrum: the velocity spectra of a pulsation point,
// streamed over the record (memory of one segment whatever its length).
#include <optional>
#include <string>

#include "core/base/real.h"

namespace mdv::cli {

// Prints where the spectra begin (the start-up left out: from `from`, s, or
// from the end of the start-up found in the record), the segment length and
// the peak frequencies of Vx and Vy of point `point` (from 1); with `csv`
// ("-" = stdout) writes the densities as f;Svx;Svy. Ctrl+C stops it within
// a block (exit 130, nothing written). Returns the exit status.
int RunPulsationSpectrum(const std::string& file, int point, const std::string& csv,
                         std::optional<Real> from);

}  // namespace mdv::cli
