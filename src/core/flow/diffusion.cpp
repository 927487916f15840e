#include "core/flow/diffusion.h"

#include <cmath>

#include "core/base/parallel.h"
#include "core/flow/refined_step.h"
#include "core/flow/ring_grid.h"

namespace mdv {

namespace {

// Beyond this many ε a ring's weight exp(−d²/ε²) is below e^-36 ≈ 2e-16 of
// its own: left out.
constexpr Real Reach = 6;

// The double-precision test that leaves out a ring lies this much outside the
// reach, relatively: far beyond the rounding of either arithmetic, so it
// never leaves out a ring the extended test would keep.
constexpr double NearMargin = 1e-6;

// The grid's search square lies this much outside the double test's reach,
// relatively: rounding of the cell arithmetic never hides a ring it keeps.
constexpr double CellMargin = 1e-3;

// V_d of free ring k; `visit(p, image, mirrored, add)` calls add(j) in
// ascending j for the rings to sum: every ring, or a subset that leaves out,
// before any extended arithmetic, only rings beyond the reach of ring k and,
// when `mirrored`, of k's mirror image. Every ring kept is summed as it would
// be without the subset, in index order, so the result is the same to the bit.
template <class Visit>
TRealPoint Diffuse(const Model& m, int32_t k, const Visit& visit) {
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
  const TRealPoint image{p.X - 2 * wall * nw.X, p.Y - 2 * wall * nw.Y};  // p mirrored in the wall's line
  visit(p, image, mirrored, [&](int32_t j) {
    const TVortex& v = m.Vortices[n + j];
    if ((v.Gamma > 0) != positive || v.Gamma == 0) return;
    const Real weight = std::fabs(v.Gamma);
    add(weight, p.X - v.Pos.X, p.Y - v.Pos.Y);
    if (!mirrored) return;
    const Real side = (v.Pos.X - foot.X) * nw.X + (v.Pos.Y - foot.Y) * nw.Y;
    if (!(side > 0)) return;  // behind the wall's line: inside the body
    add(weight, p.X - (v.Pos.X - 2 * side * nw.X), p.Y - (v.Pos.Y - 2 * side * nw.Y));
  });
  if (!(omega > 0)) return TRealPoint{};
  const Real scale = 2 * nu / (eps * eps) / omega;
  return TRealPoint{scale * gx, scale * gy - (p.Y > 0 ? nu / p.Y : 0)};
}

}  // namespace

TRealPoint DiffusiveVelocity(const Model& m, int32_t k) {
  return Diffuse(m, k, [&m](const TRealPoint&, const TRealPoint&, bool, const auto& add) {
    for (int32_t j = 0; j < m.FreeVortexCount; ++j) add(j);
  });
}

void AddDiffusiveVelocities(Model& m, TRealPointArray& velocity) {
  if (!(ViscosityOf(m) > 0)) return;
  // The rings' places in double, once per call, and a grid of cells a reach
  // wide over them: a ring's neighbours are looked for only in the cells
  // around it and its mirror image, then tested in double as the whole sum
  // would test them and summed in the model's arithmetic, in index order.
  RefinedScratch& w = m.RefinedWork;
  std::vector<double>& xs = w.NearX;
  std::vector<double>& ys = w.NearY;
  const size_t free = static_cast<size_t>(m.FreeVortexCount);
  if (xs.size() < free) xs.resize(free);  // sized at Prepare in a run
  if (ys.size() < free) ys.resize(free);
  for (size_t j = 0; j < free; ++j) {
    const TRealPoint& q = m.Vortices[static_cast<size_t>(m.AttachedCount) + j].Pos;
    xs[j] = static_cast<double>(q.X);
    ys[j] = static_cast<double>(q.Y);
  }
  const double eps = static_cast<double>(SmoothingLengthOf(m));
  const double reach2 = static_cast<double>(Reach * Reach) * eps * eps * (1 + NearMargin);
  const double search = std::sqrt(reach2) * (1 + CellMargin);  // m
  const RingGrid grid =
      BuildRingGrid(xs.data(), ys.data(), m.FreeVortexCount, search, w.CellStart, w.CellItems);
  const auto near = [&](int32_t j, const TRealPoint& p, const TRealPoint& image, bool mirrored) {
    const double dx = static_cast<double>(p.X) - xs[static_cast<size_t>(j)];
    const double dy = static_cast<double>(p.Y) - ys[static_cast<size_t>(j)];
    if (dx * dx + dy * dy < reach2) return true;
    if (!mirrored) return false;
    const double ix = static_cast<double>(image.X) - xs[static_cast<size_t>(j)];
    const double iy = static_cast<double>(image.Y) - ys[static_cast<size_t>(j)];
    return ix * ix + iy * iy < reach2;
  };
  const Model& c = m;
  SharedPool(m.Exec.Threads).For(m.FreeVortexCount, [&](int32_t begin, int32_t end) {
    RingMarks around;
    const auto visit = [&](const TRealPoint& p, const TRealPoint& image, bool mirrored, const auto& add) {
      for (int32_t base = 0; base < c.FreeVortexCount; base += RingMarks::Window) {
        around.Reset(base, c.FreeVortexCount);
        around.Mark(grid, static_cast<double>(p.X), static_cast<double>(p.Y), search);
        if (mirrored) around.Mark(grid, static_cast<double>(image.X), static_cast<double>(image.Y), search);
        around.ForEach([&](int32_t j) {
          if (near(j, p, image, mirrored)) add(j);
        });
      }
    };
    for (int32_t k = begin; k < end; ++k) {
      const TRealPoint d = Diffuse(c, k, visit);
      velocity[k].X += d.X;
      velocity[k].Y += d.Y;
    }
  });
}

}  // namespace mdv
