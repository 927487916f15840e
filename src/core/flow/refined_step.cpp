#include "core/flow/refined_step.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/base/parallel.h"
#include "core/flow/circulation.h"
#include "core/flow/diffusion.h"
#include "core/flow/ring_grid.h"
#include "core/flow/ring_merging.h"
#include "core/flow/shed_probe.h"
#include "core/flow/vector_kernel.h"

namespace mdv {

namespace {

// Velocities of the free rings at their present positions into `out`, on
// all threads: the flow's, plus the diffusive velocity when ν > 0.
void FreeVelocities(Model& m, TRealPointArray& out) {
  FreeRingVelocities(m, out);
  AddDiffusiveVelocities(m, out);
}

void Resolve(Model& m) {
  ++m.Revision;
  UpdateRightHandSide(m);
  SolveCirculations(m);
}

// Keeps the free rings with gone[k] == 0, in order, with their birth times.
void Compact(Model& m) {
  const int32_t n = m.AttachedCount;
  RefinedScratch& w = m.RefinedWork;
  int32_t count = 0;
  for (int32_t k = 0; k < m.FreeVortexCount; ++k) {
    if (w.Gone[k] != 0) continue;
    m.Vortices[n + count] = m.Vortices[n + k];
    w.Birth[count] = w.Birth[k];
    w.Nascent[count] = w.Nascent[k];
    ++count;
  }
  m.FreeVortexCount = count;
  ++m.Revision;
}

// The free ring that is separation point s's nascent ring, or −1.
int32_t NascentRing(const Model& m, int32_t s) {
  const std::vector<int8_t>& tag = m.RefinedWork.Nascent;
  for (int32_t k = 0; k < m.FreeVortexCount; ++k)
    if (tag[static_cast<size_t>(k)] == s) return k;
  return -1;
}

// Adds one portion of separation point s to the circulation budget.
void AccountShed(Model& m, int32_t s, const ShedPortion& p) {
  if (s >= RefinedAccount::Edges) return;
  RefinedAccount& a = m.RefinedCount;
  a.Shed[s] += p.Gamma;
  a.ShedSheet[s] += p.Sheet;
  a.ShedSpeed[s] += p.Speed;
  ++a.Sheddings[s];
}

// Marks the rings outside the far region and those closer to the axis than δ.
void MarkFarAndAxis(Model& m) {
  const int32_t n = m.AttachedCount;
  RefinedScratch& w = m.RefinedWork;
  const Real far = FarRegionRadius(m);
  const Real axis = SmoothingLengthOf(m);
  for (int32_t k = 0; k < m.FreeVortexCount; ++k) {
    if (w.Gone[k] != 0) continue;
    const TVortex& v = m.Vortices[n + k];
    if (!(v.Pos.Y >= axis)) {
      w.Gone[k] = 1;
      ++m.RefinedCount.RemovedAxis;
      m.RefinedCount.AxisCirculation += v.Gamma;
    } else if (!(std::hypot(v.Pos.X, v.Pos.Y) <= far)) {
      w.Gone[k] = 1;
      ++m.RefinedCount.RemovedFar;
      m.RefinedCount.FarCirculation += v.Gamma;
    }
  }
}

// Where a new ring at an edge starts: `along` from the edge in the flow's
// direction; still between the body and the barrier, it is pushed out along
// the edge's bisector to just beyond the nearest barrier crossing (the
// program's push-out).
TRealPoint NewRingPosition(const Model& m, int32_t s, const TRealPoint& edge, Real ux, Real uy,
                           Real along) {
  TRealPoint pos{along * ux + edge.X, along * uy + edge.Y};
  if (!PathCrossesRibs(edge, pos, m.BarrierRibs)) {
    const TRealPoint dir = m.SeparationDir[s];
    const TRealPoint far{pos.X + m.FarDistance * dir.X, pos.Y + m.FarDistance * dir.Y};
    TRealPoint stop = pos;
    if (PathCrossesRibs(pos, far, m.BarrierRibs, &stop)) pos = stop;
  }
  return pos;
}

// Every separation point sheds, from the velocities and attached circulations
// solved for the rings present: all portions are found first, so every edge
// sees the same state, then each starts a ring or joins its edge's nascent
// ring. A point with a shedding interval n sheds every (n+1)-th step, the
// flux of those n+1 steps.
void ShedEverywhere(Model& m, std::vector<int32_t>& counters) {
  const int32_t n = m.AttachedCount;
  const int32_t before = m.FreeVortexCount;
  RefinedScratch& w = m.RefinedWork;
  const Real h = m.VortexSpacing;
  const size_t edges = static_cast<size_t>(m.SeparationCount);
  if (counters.size() < edges) counters.resize(edges, 0);
  if (w.Portions.size() < edges) w.Portions.resize(edges);  // outside a run (tests)
  for (int32_t s = 0; s < m.SeparationCount; ++s) {
    const size_t si = static_cast<size_t>(s);
    ShedPortion& p = w.Portions[si];
    p.Due = false;
    const int64_t interval = si < m.SheddingInterval.size() ? std::max<int64_t>(m.SheddingInterval[si], 0) : 0;
    const bool due = counters[si] == 0;
    counters[si] = static_cast<int32_t>((int64_t{counters[si]} + 1) % (interval + 1));
    if (!due) continue;
    const Real span = m.Dt * static_cast<Real>(interval + 1);  // s of flux in this portion
    const int32_t k = m.SeparationIndex[s];
    const TRealPoint edge = m.Vortices[k].Pos;
    Real u, v;
    CalcVelocityPair(m, edge, k, u, v);
    p.Speed = std::sqrt(u * u + v * v);
    if (!(p.Speed > 0)) continue;  // still air at the edge gives no direction
    p.Sheet = m.Vortices[k].Gamma / h;
    p.Gamma = m.Refined.Shedding == ShedRule::Outer ? OuterShedCirculation(m, s, u, v, span)
                                                         : EdgeSpeedShedCirculation(m, s, u, v, span);
    p.Pos = NewRingPosition(m, s, edge, u / p.Speed, v / p.Speed, p.Speed * m.Dt / 2);
    p.Due = true;
  }
  const bool nascent = m.Refined.Placement == ShedPlacement::Nascent;
  const Real release = SmoothingLengthOf(m);  // a nascent ring this far from its edge is let go, m
  for (int32_t s = 0; s < m.SeparationCount; ++s) {
    const ShedPortion& p = w.Portions[static_cast<size_t>(s)];
    if (!p.Due) continue;
    const int32_t held = nascent ? NascentRing(m, s) : -1;
    if (held >= 0) {
      TVortex& r = m.Vortices[n + held];
      const TRealPoint edge = m.Vortices[m.SeparationIndex[s]].Pos;
      if (PointDistance(r.Pos, edge) < release && r.Gamma * p.Gamma > 0) {
        r = MergedRing(r, TVortex{p.Pos, p.Gamma});
        AccountShed(m, s, p);
        continue;
      }
      w.Nascent[static_cast<size_t>(held)] = -1;  // let go
    }
    if (m.FreeVortexCount >= m.MaxFreeVortex) {
      ++m.RefinedCount.NotShed;
      continue;
    }
    m.Vortices[n + m.FreeVortexCount] = TVortex{p.Pos, p.Gamma};
    AccountShed(m, s, p);
    w.Birth[static_cast<size_t>(m.FreeVortexCount)] = m.Time;
    w.Nascent[static_cast<size_t>(m.FreeVortexCount)] = static_cast<int8_t>(nascent ? s : -1);
    ++m.FreeVortexCount;
  }
  if (m.FreeVortexCount != before || nascent) ++m.Revision;
}

class RefinedStepModel final : public StepModel {
 public:
  void Prepare(Model& m) const override {
    const size_t room = static_cast<size_t>(std::max<int32_t>(m.MaxFreeVortex, 0));
    RefinedScratch& w = m.RefinedWork;
    // Rings already present (a continued state) count as old.
    w.Birth.assign(room, -std::numeric_limits<Real>::infinity());
    w.Start.assign(room, TRealPoint{});
    w.Velocity0.assign(room, TRealPoint{});
    w.Velocity1.assign(room, TRealPoint{});
    w.Gone.assign(room, 0);
    w.Nascent.assign(room, -1);
    w.Portions.assign(static_cast<size_t>(std::max<int32_t>(m.SeparationCount, 0)), ShedPortion{});
    w.NearX.assign(room, 0);
    w.NearY.assign(room, 0);
    w.CellStart.assign(GridCellsFor(static_cast<int32_t>(room)) + 1, 0);
    w.CellItems.assign(room, 0);
    const size_t tiles = (room + vk::TileRings - 1) / vk::TileRings;
    w.InvRadius.assign(room + RingPadding, 0);
    w.TileU.assign(room * tiles, 0);
    w.TileV.assign(room * tiles, 0);
    const size_t points = static_cast<size_t>(std::max<int32_t>(m.AttachedCount - 1, 0));
    w.RhsU.assign(points * tiles, 0);
    w.RhsV.assign(points * tiles, 0);
    w.RhsRings = {};
    w.RhsRings.Reserve(room, points);
    const size_t vortices = static_cast<size_t>(m.AttachedCount) + room;
    if (m.Vortices.size() < vortices) m.Vortices.resize(vortices);
    m.RefinedCount = RefinedAccount{};
  }

  void Move(Model& m, std::vector<int32_t>& shedCounters) const override {
    ConvectFreeRingsHeun(m);
    MarkFarAndAxis(m);
    Compact(m);
    m.RefinedCount.Merged += MergeFreeRings(m, m.VortexSpacing / 2, MergeAgeOf(m));
    Resolve(m);
    ShedEverywhere(m, shedCounters);
  }
};

}  // namespace

WallContact RefinedWallRule(const Model& m, const TRealPoint& start, TRealPoint& q) {
  WallContact met = WallContact::None;
  for (int32_t j = 0; j < m.BarrierRibCount; ++j) {
    bool hit = false;
    TRealPoint end;
    SlideAlongRib(start, q, m.BarrierRibs[j], hit, end);
    q = end;  // a predictor's ring that leaves stands at the section
    if (!hit) continue;
    if (j == m.SuctionRib) return WallContact::Suction;
    met = WallContact::Barrier;
  }
  return met;
}

TRealPoint NearestWallPoint(const Model& m, const TRealPoint& p, Real& distance) {
  distance = std::numeric_limits<Real>::infinity();
  TRealPoint best = p;
  for (int32_t j = 0; j < m.BodyRibCount; ++j) {
    if (j == m.SuctionRib) continue;  // the section is no wall
    const TRib& r = m.BodyRibs[j];
    const Real ex = r.P2.X - r.P1.X, ey = r.P2.Y - r.P1.Y;
    const Real len2 = ex * ex + ey * ey;
    Real t = len2 > 0 ? ((p.X - r.P1.X) * ex + (p.Y - r.P1.Y) * ey) / len2 : 0;
    t = std::clamp<Real>(t, 0, 1);
    const TRealPoint foot{r.P1.X + t * ex, r.P1.Y + t * ey};
    const Real d = std::hypot(p.X - foot.X, p.Y - foot.Y);
    if (d < distance) {
      distance = d;
      best = foot;
    }
  }
  return best;
}

Real WallDistance(const Model& m, const TRealPoint& p) {
  Real distance;
  NearestWallPoint(m, p, distance);
  return distance;
}

Real FarRegionRadius(const Model& m) {
  return 2 * (m.FarDistance + std::fabs(m.PlaneX) + m.PlaneHalfLength);
}

void ConvectFreeRingsHeun(Model& m) {
  const int32_t n = m.AttachedCount;
  const int32_t free = m.FreeVortexCount;
  RefinedScratch& w = m.RefinedWork;
  if (w.Start.size() < static_cast<size_t>(free) || w.Gone.size() < static_cast<size_t>(free) ||
      w.Nascent.size() < static_cast<size_t>(free)) {
    RefinedStep().Prepare(m);  // outside a run (tests): sized here
  }
  const Real dt = m.Dt;
  // Predictor: Euler from the start of the step.
  FreeVelocities(m, w.Velocity0);
  for (int32_t k = 0; k < free; ++k) {
    TVortex& v = m.Vortices[n + k];
    w.Start[k] = v.Pos;
    TRealPoint q{v.Pos.X + dt * w.Velocity0[k].X, v.Pos.Y + dt * w.Velocity0[k].Y};
    RefinedWallRule(m, v.Pos, q);
    q.Y = std::max<Real>(q.Y, 0);  // a ring on its way to the axis is removed after the corrector
    v.Pos = q;
  }
  // The attached circulations of the predicted state, and its velocities.
  Resolve(m);
  FreeVelocities(m, w.Velocity1);
  // Corrector: the mean of the two velocities, from the start.
  for (int32_t k = 0; k < free; ++k) {
    const TRealPoint& p = w.Start[k];
    TRealPoint q{p.X + dt / 2 * (w.Velocity0[k].X + w.Velocity1[k].X),
                 p.Y + dt / 2 * (w.Velocity0[k].Y + w.Velocity1[k].Y)};
    const WallContact met = RefinedWallRule(m, p, q);
    m.Vortices[n + k].Pos = q;
    w.Gone[k] = met == WallContact::Suction ? 1 : 0;
    RefinedAccount& a = m.RefinedCount;
    if (met == WallContact::Suction) {
      ++a.RemovedSuction;
      a.SuctionCirculation += m.Vortices[n + k].Gamma;
    } else if (met == WallContact::Barrier) {
      ++a.WallSlides;
    }
  }
  ++m.Revision;
}

const StepModel& RefinedStep() {
  static const RefinedStepModel step;
  return step;
}

}  // namespace mdv
