#pragma once
// Reading an averages file (format "rinfet-mdv-averages", version 1) back
// into the results the window shows, so that the averages of a long batch
// run can be looked at in the window.
#include <QString>

#include "core/averages/averaging.h"

namespace mdv {

// Reads and checks the whole document (format, version, grid sizes and array
// lengths). On failure `r` is untouched and `error` says why, naming the file.
bool ReadAveragesJson(const QString& path, AveragingResults& r, QString& error);

// Whether results of a file were gathered on the grid the model's present
// area gives (same origin, spacing, size and flow points), so that its
// contour may be drawn over them.
bool GridMatchesModel(const AveragingGrid& g, const Model& m);

}  // namespace mdv
