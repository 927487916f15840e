#pragma once
// The 95 % half-widths of the averaged field, centre-line and flux. The grid
// samples of one block are consecutive, so each whole block's mean is one
// observation for the batch means the steady-state verdict uses
// (ComputeBatchMeans: 20 or 10 batches of whole blocks, the lag-1 test):
// one computation for the monitors and for these. A half-width it does not
// trust (correlated batch means, fewer than 20 whole blocks) is NaN, not known.
#include <span>

#include "core/averages/averaging.h"

namespace mdv {

// The half-width of the mean of consecutive whole blocks' means, in their
// unit; NaN when not trusted (HalfWidthTrusted).
double BlockHalfWidth95(std::span<const double> blockMeans);

// Fills r.Field's half-width arrays, r.CentrelineHalfWidth95 (per row of
// r.Centreline) and r.Flux.RatioHalfWidth95 from the whole blocks of s that
// begin at or after `from`, s: the blocks SummariseAveraging averages.
// Needs r.Field.Grid, r.Centreline and r.Flux filled.
void SummariseHalfWidths(const AveragingState& s, const Model& m, Real from, AveragingResults& r);

// Each section's CcHalfWidth95 from the same whole blocks (C_c of each
// block's mean profile by SectionCc), then JudgeVenaContracta. Needs the
// sections of c summarised from s.
void SummariseContractionHalfWidths(const AveragingState& s, const Model& m, Real from, ContractionSummary& c);

}  // namespace mdv
