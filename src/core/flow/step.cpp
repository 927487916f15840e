#include "core/flow/step.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/flow/circulation.h"
#include "core/base/parallel.h"

namespace mdv {

namespace {

constexpr TRealPoint AxialDir{1, 0};
constexpr TRealPoint RadialDir{0, 1};

// The end of one free vortex's Euler step after the wall rule; false when it
// leaves the model through the suction section.
bool MoveWithWallRule(const Model& m, const TVortex& v, Real u, Real w, TRealPoint& q) {
  q = TRealPoint{u * m.Dt + v.Pos.X, w * m.Dt + v.Pos.Y};
  for (int32_t j = 0; j < m.BarrierRibCount; ++j) {
    bool hit = false;
    TRealPoint slid;
    SlideAlongRib(v.Pos, q, m.BarrierRibs[j], hit, slid);
    q = slid;
    if (j == m.SuctionRib && hit) return false;  // left through the suction section
  }
  return true;
}

}  // namespace

void ConvectFreeVortices(Model& m) {
  const int32_t n = m.AttachedCount;
  const int32_t free = m.FreeVortexCount;
  const size_t freeSize = static_cast<size_t>(std::max<int32_t>(free, 0));
  if (m.NewFreeVortices.size() < freeSize) m.NewFreeVortices.resize(freeSize);

  int32_t count = 0;
  if (m.Exec.Literal) {
    for (int32_t i = n; i < n + free; ++i) {
      const TVortex& v = m.Vortices[i];
      // Velocities from the state at the start of the step: nothing has moved yet.
      const Real u = CalcVelocity(m, v.Pos, AxialDir, i);
      const Real w = CalcVelocity(m, v.Pos, RadialDir, i);
      TRealPoint q;
      if (!MoveWithWallRule(m, v, u, w, q)) continue;
      m.NewFreeVortices[count].Pos = q;
      m.NewFreeVortices[count].Gamma = v.Gamma;
      ++count;
    }
  } else {
    // Each vortex's motion depends only on the state at the start of the
    // step, so the vortices are moved on all threads; the removals are then
    // applied in index order.
    if (m.ConvectedPos.size() < freeSize) m.ConvectedPos.resize(freeSize);
    if (m.ConvectedGone.size() < freeSize) m.ConvectedGone.resize(freeSize);
    const Model& state = m;
    SharedPool(m.Exec.Threads).For(free, [&](int32_t begin, int32_t end) {
      for (int32_t k = begin; k < end; ++k) {
        const int32_t i = n + k;
        const TVortex& v = state.Vortices[i];
        Real u, w;
        CalcVelocityPair(state, v.Pos, i, u, w);
        m.ConvectedGone[k] = MoveWithWallRule(state, v, u, w, m.ConvectedPos[k]) ? 0 : 1;
      }
    });
    for (int32_t k = 0; k < free; ++k) {
      if (m.ConvectedGone[k] != 0) continue;
      m.NewFreeVortices[count].Pos = m.ConvectedPos[k];
      m.NewFreeVortices[count].Gamma = m.Vortices[n + k].Gamma;
      ++count;
    }
  }
  std::copy_n(m.NewFreeVortices.begin(), count, m.Vortices.begin() + n);
  m.FreeVortexCount = count;
  ++m.Revision;
}

void ShedVortices(Model& m, std::vector<int32_t>& shedCounters) {
  const int32_t n = m.AttachedCount;
  const size_t room = static_cast<size_t>(n) + static_cast<size_t>(std::max<int32_t>(m.MaxFreeVortex, 0));
  if (m.Vortices.size() < room) m.Vortices.resize(room);
  if (shedCounters.size() < static_cast<size_t>(m.SeparationCount)) {
    shedCounters.resize(static_cast<size_t>(m.SeparationCount), 0);
  }

  int32_t shed = 0;  // vortices created in this call
  for (int32_t s = 0; s < m.SeparationCount; ++s) {
    if (m.FreeVortexCount >= m.MaxFreeVortex) continue;  // counter stands still
    if (shedCounters[s] == 0) {
      shed = shed + 1;
      const int32_t k = m.SeparationIndex[s];
      const TRealPoint edge = m.Vortices[k].Pos;

      // The direction at the edge ignores the vortices shed earlier in this call.
      m.FreeVortexCount -= shed - 1;
      Real u, v;
      CalcVelocityPair(m, edge, k, u, v);
      m.FreeVortexCount += shed - 1;
      const Real speed = std::sqrt(u * u + v * v);

      if (speed == 0) {
        // Still air at the edge gives no direction: nothing is shed here in this step.
        shed = shed - 1;
      } else {
        m.FreeVortexCount += 1;
        TVortex& nv = m.Vortices[n + m.FreeVortexCount - 1];
        TRealPoint pos{m.ShedOffset * u / speed + edge.X, m.ShedOffset * v / speed + edge.Y};
        if (!PathCrossesRibs(edge, pos, m.BarrierRibs)) {
          // Still between the body and the barrier: push it out along the
          // edge's bisector to just beyond the nearest barrier crossing.
          const TRealPoint dir = m.SeparationDir[s];
          const TRealPoint far{pos.X + m.FarDistance * dir.X, pos.Y + m.FarDistance * dir.Y};
          TRealPoint stop = pos;
          if (PathCrossesRibs(pos, far, m.BarrierRibs, &stop)) pos = stop;
        }
        nv.Pos = pos;
        nv.Gamma = m.Vortices[k].Gamma;
      }
    }
    const size_t si = static_cast<size_t>(s);
    int64_t interval = si < m.SheddingInterval.size() ? m.SheddingInterval[si] : 0;
    if (interval < 0) interval = 0;
    shedCounters[s] = static_cast<int32_t>((int64_t{shedCounters[s]} + 1) % (interval + 1));
  }
  if (shed > 0) ++m.Revision;
}

}  // namespace mdv
