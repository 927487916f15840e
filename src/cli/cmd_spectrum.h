#pragma once
// pulsation FILE --spectrum: the velocity spectra of a pulsation point.
#include <string>

namespace mdv::cli {

// Prints the segment length and the peak frequencies of Vx and Vy of point
// `point` (from 1); with `csv` ("-" = stdout) writes the densities as
// f;Svx;Svy. Returns the exit status.
int RunPulsationSpectrum(const std::string& file, int point, const std::string& csv);

}  // namespace mdv::cli
