#pragma once
// The files of the averages: the JSON document (format "rinfet-mdv-averages",
// version 1), the mean field as VTK XML ImageData (.vti) and as a CSV table.
// Every file is written whole or not at all (WriteFileAtomically).
#include <string>

#include "core/averages/averaging.h"

namespace mdv {

// The JSON document (decimal points, keys as documented in the README).
std::string AveragesJson(const AveragingResults& r);
// VTK XML ImageData, point arrays vx_mean, vy_mean, speed_mean, vx_rms,
// vy_rms, speed_rms (Float64), velocity_mean (3 components) and inside (UInt8).
std::string FieldVti(const AveragingResults& r);
// "x [m];y [m];inside;vx_mean [m/s];…": one row per grid point, x fastest,
// semicolons and decimal commas.
std::string FieldCsv(const AveragingResults& r);

// false and a Russian message in `error` when the file cannot be written.
bool SaveAveragesJson(const AveragingResults& r, const std::string& path, std::string& error);
bool SaveFieldVti(const AveragingResults& r, const std::string& path, std::string& error);
bool SaveFieldCsv(const AveragingResults& r, const std::string& path, std::string& error);

}  // namespace mdv
