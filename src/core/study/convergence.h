#pragma once
// The grid convergence index of one answer from three refinements (the
// three-grid procedure of Celik et al., J. Fluids Eng. 130 (2008) 078001).
//
// Solutions phi1, phi2, phi3 on steps h1 < h2 < h3 (the finest first; the
// "step" is whatever was refined: the vortex spacing, dt, ...):
//   r21 = h2/h1, r32 = h3/h2, e21 = phi2 - phi1, e32 = phi3 - phi2,
//   s = sign(e32/e21);
//   p = |ln|e32/e21| + ln((r21^p - s)/(r32^p - s))| / ln r21  (fixed point);
//   phi_ext = (r21^p phi1 - phi2)/(r21^p - 1);
//   GCI_fine = 1.25 |(phi1 - phi2)/phi1| / (r21^p - 1).
// Oscillatory convergence (s < 0) and an order outside 0.5-4 are verdicts,
// not indices: the index is given only for monotone convergence of a
// plausible order. So is a monotone sequence whose differences grow as the
// step falls: the |·| of the order's equation gives it a positive p that no
// power law phi_ext + C h^p with p > 0 passes through.
#include <cmath>
#include <string>

#include "core/base/real.h"

namespace mdv {

// The plausible range of the observed order; outside it the three
// solutions are not in the asymptotic range and an index would mislead.
inline constexpr Real ConvergenceOrderMin = 0.5L;
inline constexpr Real ConvergenceOrderMax = 4;
// The safety factor of the index for three refinements.
inline constexpr Real ConvergenceSafetyFactor = 1.25L;
// An index above this (as a fraction of the finest answer) says the three
// answers are still far from their limit: the fitted power law is no
// evidence of convergence, and the window and the CSV say so.
inline constexpr Real ConvergenceGciLimit = 0.2L;

enum class ConvergenceVerdict {
  Monotone,      // the index holds: Order, Extrapolated, Gci
  Oscillatory,   // s < 0: Order as found, no index
  OrderOutside,  // monotone, but p outside 0.5-4: Order, no index
  Diverging,     // monotone, but the differences grow as the step falls (the
                 // order's equation holds only through its |·|): Order, no index
  NotAsymptotic, // monotone of a plausible order, but the index above ConvergenceGciLimit
                 // or the extrapolation outside the answer's physical range: Order,
                 // Extrapolated and Gci as found, shown as the reason
  NotSteady,     // a case of the three finest steps was not judged steady: said first,
                 // whatever the answers do (the other fields as the answers give them)
  Unchanged,     // phi1 = phi2 = phi3: nothing to refine (Extrapolated = phi1, Gci = 0)
  Undetermined,  // one difference zero, the order not found, or phi1 = 0
  Incomplete,    // not all three answers are known
};

struct ConvergenceIndex {
  ConvergenceVerdict Verdict = ConvergenceVerdict::Incomplete;
  Real Order = NAN;         // observed p; NaN when not found
  Real Extrapolated = NAN;  // phi_ext; NaN unless Monotone or Unchanged
  Real Gci = NAN;           // GCI_fine as a fraction of |phi1|; NaN unless Monotone or Unchanged
  int Iterations = 0;       // of the fixed-point iteration for p
};

// h[0] < h[1] < h[2] (positive), phi[i] the answer at h[i]. Steps out of
// order or not positive give Undetermined.
ConvergenceIndex GridConvergence(const Real h[3], const Real phi[3]);

// The values an answer can take (a contraction lies in [0, 1], a loss is
// not negative); unbounded by default.
struct PhysicalRange {
  Real Lo = -INFINITY;
  Real Hi = INFINITY;
};
// A Monotone index whose GCI is above ConvergenceGciLimit or whose
// extrapolation lies outside `range` becomes NotAsymptotic; others stay.
void LimitConvergence(ConvergenceIndex& index, const PhysicalRange& range);

// The verdict as a person reads it: "монотонная", "колебательная", ...
std::string ConvergenceVerdictText(ConvergenceVerdict v);

}  // namespace mdv
