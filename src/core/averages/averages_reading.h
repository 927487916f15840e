#pragma once
// Reading an averages file (format "rinfet-mdv-averages", version 1) back into
// the results it was written from: the one reader of the file, for the window
// and for a study's case results.
#include <string>
#include <string_view>

#include "core/averages/averaging.h"

namespace mdv {

// Largest grid a file may declare, points; a real one has a few thousand.
inline constexpr int64_t MaxAveragesGridPoints = 50'000'000;

// Reads and checks the whole document (format, version, grid sizes, array
// lengths). `null` and an absent value read as "not known" (NaN, or the
// Known/Has… flag unset); without a "grid" the field stays empty (Nx = 0).
// On failure `r` is untouched and `error` says why in Russian.
bool ReadAveragesText(std::string_view text, AveragingResults& r, std::string& error);

}  // namespace mdv
