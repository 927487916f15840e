#include "core/study/convergence.h"

#include <cmath>

namespace mdv {

namespace {

// The fixed-point iteration for p stops when a step changes p by less than
// this (relative to max(1, p)) ...
constexpr Real OrderTolerance = 1e-13L;
// ... and gives up after this many steps (it converges linearly, slowly
// when r32 is much larger than r21).
constexpr int MaxOrderIterations = 1000;
// An order this large is not an order: the iteration is running away.
constexpr Real OrderRunaway = 64;
// A start that keeps r^p - 1 off zero when |e32| = |e21|.
constexpr Real OrderStartFloor = 1e-3L;
// The fallback's scan for a root of p - g(p), and its bisection (2^-60 of a step).
constexpr Real OrderScanStep = 0.01L;
constexpr int BisectionSteps = 60;

}  // namespace

ConvergenceIndex GridConvergence(const Real h[3], const Real phi[3]) {
  ConvergenceIndex out;
  for (int i = 0; i < 3; ++i)
    if (!std::isfinite(h[i]) || !std::isfinite(phi[i])) return out;  // Incomplete
  out.Verdict = ConvergenceVerdict::Undetermined;
  if (!(h[0] > 0 && h[1] > h[0] && h[2] > h[1])) return out;

  const Real r21 = h[1] / h[0], r32 = h[2] / h[1];
  const Real e21 = phi[1] - phi[0], e32 = phi[2] - phi[1];
  if (e21 == 0 && e32 == 0) {
    out.Verdict = ConvergenceVerdict::Unchanged;
    out.Extrapolated = phi[0];
    out.Gci = 0;
    return out;
  }
  if (e21 == 0 || e32 == 0) return out;
  const Real s = (e32 / e21) < 0 ? -1 : 1;
  const Real lnRatio = std::log(std::abs(e32 / e21));
  const Real lnR21 = std::log(r21);

  // p = g(p), the right-hand side of the order's equation.
  auto g = [&](Real p) {
    return std::abs(lnRatio + std::log((std::pow(r21, p) - s) / (std::pow(r32, p) - s))) / lnR21;
  };
  Real p = std::max(std::abs(lnRatio) / lnR21, OrderStartFloor);
  bool settled = false;
  for (int k = 1; k <= MaxOrderIterations; ++k) {
    const Real next = g(p);
    out.Iterations = k;
    if (!std::isfinite(next)) break;
    const bool close = std::abs(next - p) <= OrderTolerance * std::max<Real>(1, next);
    p = std::max(next, OrderStartFloor);
    if (close) {
      settled = true;
      break;
    }
    if (p > OrderRunaway) break;
  }
  if (!settled) {
    // The iteration diverges where |g'(p)| > 1 at the root (r32 well above
    // r21): the same equation by bisection from its first sign change.
    Real lo = OrderStartFloor, flo = lo - g(lo);
    for (Real hi = lo + OrderScanStep; hi <= OrderRunaway; hi += OrderScanStep) {
      const Real fhi = hi - g(hi);
      if (std::isfinite(flo) && std::isfinite(fhi) && (flo <= 0) != (fhi <= 0)) {
        for (int k = 0; k < BisectionSteps; ++k) {
          const Real mid = (lo + hi) / 2, fmid = mid - g(mid);
          if ((fmid <= 0) == (flo <= 0)) {
            lo = mid;
            flo = fmid;
          } else {
            hi = mid;
          }
        }
        p = (lo + hi) / 2;
        settled = true;
        break;
      }
      lo = hi;
      flo = fhi;
    }
  }
  // No root below the bound after a run-away iteration: an order far above 4.
  const bool runaway = !settled && p > OrderRunaway;
  if (settled) out.Order = p;
  if (s < 0) {
    out.Verdict = ConvergenceVerdict::Oscillatory;  // whether or not p was found
    return out;
  }
  if (runaway) {
    out.Verdict = ConvergenceVerdict::OrderOutside;
    return out;
  }
  if (!settled) return out;
  if (lnRatio + std::log((std::pow(r21, p) - s) / (std::pow(r32, p) - s)) < 0) {
    out.Verdict = ConvergenceVerdict::Diverging;
    return out;
  }
  if (p < ConvergenceOrderMin || p > ConvergenceOrderMax) {
    out.Verdict = ConvergenceVerdict::OrderOutside;
    return out;
  }
  if (phi[0] == 0) return out;  // no relative error of a zero answer
  const Real rp = std::pow(r21, p);
  out.Verdict = ConvergenceVerdict::Monotone;
  out.Extrapolated = (rp * phi[0] - phi[1]) / (rp - 1);
  out.Gci = ConvergenceSafetyFactor * std::abs((phi[0] - phi[1]) / phi[0]) / (rp - 1);
  return out;
}

void LimitConvergence(ConvergenceIndex& index, const PhysicalRange& range) {
  if (index.Verdict != ConvergenceVerdict::Monotone) return;
  const bool inRange = index.Extrapolated >= range.Lo && index.Extrapolated <= range.Hi;
  if (!(index.Gci <= ConvergenceGciLimit) || !inRange) index.Verdict = ConvergenceVerdict::NotAsymptotic;
}

std::string ConvergenceVerdictText(ConvergenceVerdict v) {
  switch (v) {
    case ConvergenceVerdict::Monotone: return "монотонная сходимость";
    case ConvergenceVerdict::Oscillatory: return "колебательная сходимость";
    case ConvergenceVerdict::OrderOutside: return "порядок вне 0,5–4";
    case ConvergenceVerdict::Diverging: return "расходится при уточнении";
    case ConvergenceVerdict::NotAsymptotic: return "не в асимптотической области";
    case ConvergenceVerdict::NotSteady: return "режим не установился";
    case ConvergenceVerdict::Unchanged: return "не зависит от шага";
    case ConvergenceVerdict::Undetermined: return "порядок не определён";
    case ConvergenceVerdict::Incomplete: return "рассчитаны не все три варианта";
  }
  return {};
}

}  // namespace mdv
