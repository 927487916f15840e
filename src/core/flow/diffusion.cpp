#include "core/flow/diffusion.h"

#include <cmath>

#include "core/base/parallel.h"
#include "core/flow/refined_step.h"

namespace mdv {

namespace {

// Beyond this many ε a ring's weight exp(−d²/ε²) is below e^-36 ≈ 2e-16 of
// its own: left out.
constexpr Real Reach = 6;

}  // namespace

TRealPoint DiffusiveVelocity(const Model& m, int32_t k) {
  const Real nu = ViscosityOf(m);
  const Real eps = SmoothingLengthOf(m);
  const int32_t n = m.AttachedCount;
  const TVortex& self = m.Vortices[n + k];
  const TRealPoint p = self.Pos;
  const bool positive = self.Gamma > 0;
  const Real reach2 = Reach * Reach * eps * eps;
  // The wall's mirror: the tangent line at the nearest wall point, normal nw.
  Real nearest;
  const TRealPoint foot = NearestWallPoint(m, p, nearest);
  const Real wall = std::sqrt((p.X - foot.X) * (p.X - foot.X) + (p.Y - foot.Y) * (p.Y - foot.Y));
  const bool mirrored = wall > 0 && wall < Reach * eps / 2;
  const TRealPoint nw = mirrored ? TRealPoint{(p.X - foot.X) / wall, (p.Y - foot.Y) / wall} : TRealPoint{};
  // Ω = Σ|Γj|·g, G = Σ|Γj|·(p − pj)·g: then −∇ω/ω = (2/ε²)·G/Ω.
  Real omega = 0, gx = 0, gy = 0;
  const auto add = [&](Real weight, Real dx, Real dy) {
    const Real d2 = dx * dx + dy * dy;
    if (d2 >= reach2) return;
    const Real g = weight * std::exp(-d2 / (eps * eps));
    omega += g;
    gx += g * dx;
    gy += g * dy;
  };
  for (int32_t j = 0; j < m.FreeVortexCount; ++j) {
    const TVortex& v = m.Vortices[n + j];
    if ((v.Gamma > 0) != positive || v.Gamma == 0) continue;
    const Real weight = std::fabs(v.Gamma);
    add(weight, p.X - v.Pos.X, p.Y - v.Pos.Y);
    if (!mirrored) continue;
    const Real side = (v.Pos.X - foot.X) * nw.X + (v.Pos.Y - foot.Y) * nw.Y;
    if (!(side > 0)) continue;  // behind the wall's line: inside the body
    add(weight, p.X - (v.Pos.X - 2 * side * nw.X), p.Y - (v.Pos.Y - 2 * side * nw.Y));
  }
  if (!(omega > 0)) return TRealPoint{};
  const Real scale = 2 * nu / (eps * eps) / omega;
  return TRealPoint{scale * gx, scale * gy - (p.Y > 0 ? nu / p.Y : 0)};
}

void AddDiffusiveVelocities(const Model& m, TRealPointArray& velocity) {
  if (!(ViscosityOf(m) > 0)) return;
  SharedPool(m.Exec.Threads).For(m.FreeVortexCount, [&](int32_t begin, int32_t end) {
    for (int32_t k = begin; k < end; ++k) {
      const TRealPoint d = DiffusiveVelocity(m, k);
      velocity[k].X += d.X;
      velocity[k].Y += d.Y;
    }
  });
}

}  // namespace mdv
