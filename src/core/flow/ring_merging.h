#pragma once
// Merging close free rings of the same sign, so that shedding at every
// separation point in every step keeps a bounded number of rings.
#include <cstdint>

#include "core/model/model.h"

namespace mdv {

// The ring that replaces a and b (circulations of one sign, radii > 0): it
// keeps their total circulation Γ = Γa + Γb and their impulse Γ·r² =
// Γa·ra² + Γb·rb², at the impulse's centroid x = (Γa·ra²·xa + Γb·rb²·xb) / (Γ·r²).
TVortex MergedRing(const TVortex& a, const TVortex& b);

// Merges the free rings older than minAge (s, by m.RefinedWork.Birth) whose
// circulations have one sign and whose distance is below `distance` (m):
// in index order each ring takes in every later one within reach of its
// (moving) position; the merged ring keeps the older birth time and the
// lower index. Returns how many rings were merged away.
int32_t MergeFreeRings(Model& m, Real distance, Real minAge);

}  // namespace mdv
