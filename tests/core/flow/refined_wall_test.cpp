// The refined model's wall rule and its circulation budget.
#include <gtest/gtest.h>

#include <cmath>

#include "core/flow/refined_step.h"
#include "core/flow/run.h"
#include "core/model_fixtures.h"

namespace mdv {
namespace {

TEST(RefinedWallRule, SlideAndSuction) {
  Model m = test::CoarseModel(0.01L);
  m.Flow = FlowModel::Refined;
  const Real barrier = m.ChannelRadius - m.VortexSpacing / 2;  // y of the channel wall's barrier, m
  // A move inside the channel from 5 mm below the barrier to 3 mm beyond it.
  const TRealPoint start{0.4L, barrier - 0.005L};
  // The back-off of 1e-4 m along the path leaves the point this far from the barrier's line, m.
  const Real backOff = 1e-4L * 0.008L / std::hypot(0.01L, 0.008L);
  TRealPoint q{0.41L, barrier + 0.003L};
  EXPECT_EQ(RefinedWallRule(m, start, q), WallContact::Barrier);
  EXPECT_NEAR(static_cast<double>(q.X), 0.41, 1e-12);  // the move along the wall stands
  EXPECT_NEAR(static_cast<double>(q.Y), static_cast<double>(barrier - backOff), 1e-12);
  q = TRealPoint{0.41L, 0.11L};
  EXPECT_EQ(RefinedWallRule(m, {0.4L, 0.10L}, q), WallContact::None);
  EXPECT_EQ(q.X, 0.41L);
  EXPECT_EQ(q.Y, 0.11L);
  q = TRealPoint{m.SuctionX + 0.01L, 0.05L};
  EXPECT_EQ(RefinedWallRule(m, {m.SuctionX - 0.01L, 0.05L}, q), WallContact::Suction);

  // Every barrier is met: a 2 mm move straight across each one's midpoint.
  ASSERT_GT(m.BarrierRibCount, 2);
  for (int32_t j = 0; j < m.BarrierRibCount; ++j) {
    SCOPED_TRACE(j);
    const TRib& rib = m.BarrierRibs[j];
    const Real len = std::hypot(rib.P2.X - rib.P1.X, rib.P2.Y - rib.P1.Y);
    const TRealPoint mid{(rib.P1.X + rib.P2.X) / 2, (rib.P1.Y + rib.P2.Y) / 2};
    const TRealPoint normal{-(rib.P2.Y - rib.P1.Y) / len * 0.001L, (rib.P2.X - rib.P1.X) / len * 0.001L};
    TRealPoint end{mid.X + normal.X, mid.Y + normal.Y};
    EXPECT_EQ(RefinedWallRule(m, {mid.X - normal.X, mid.Y - normal.Y}, end),
              j == m.SuctionRib ? WallContact::Suction : WallContact::Barrier);
  }
}

// Every circulation shed is either still in a free ring or accounted as gone
// (suction section, axis, far away), whether the portions start rings or
// join nascent ones.
TEST(RefinedWallRule, CirculationBudgetCloses) {
  for (const ShedPlacement placement : {ShedPlacement::Convected, ShedPlacement::Nascent}) {
    SCOPED_TRACE(ShedPlacementName(placement));
    // h = 0,01 m and dt = 0,0025 s: a portion pushed out past the barrier
    // (h/2 off the walls) still lies within δ of its edge, and a ring moves
    // less than δ in a step, so nascent rings gather.
    Model m = test::CoarseModel(0.01L);
    m.FlangeAngle = 0;  // the re-entrant inlet in open space: its jet runs along the tube's wall
    m.PlaneX = -4;
    m.InflowSpeed = 0;
    BuildArea(m);
    m.Flow = FlowModel::Refined;
    m.Exec.Arithmetic = Precision::Double;
    m.Refined.Placement = placement;
    const RunSummary r = RunSimulation(m, 4000, 0, 0, 0.3L, 0.0025L, NullObserver());
    ASSERT_EQ(r.HowEnded, RunSummary::End::TimeLimit) << r.Message;
    const RefinedAccount& a = m.RefinedCount;
    Real shed = 0, free = 0;
    int64_t portions = 0;
    for (int32_t s = 0; s < RefinedAccount::Edges; ++s) {
      shed += a.Shed[s];
      portions += a.Sheddings[s];
    }
    for (int32_t k = 0; k < m.FreeVortexCount; ++k) free += m.Vortices[m.AttachedCount + k].Gamma;
    const Real gone = a.SuctionCirculation + a.AxisCirculation + a.FarCirculation;
    ASSERT_GT(shed, 0);
    EXPECT_NEAR(static_cast<double>(shed - gone), static_cast<double>(free), 1e-12 * static_cast<double>(shed));
    EXPECT_GT(a.WallSlides, 0);  // the rule was met
    // Every edge sheds a portion in every step; nascent rings take a share of them.
    EXPECT_EQ(portions, m.SeparationCount * r.Steps);
    const int64_t rings = m.FreeVortexCount + a.Merged + a.RemovedSuction + a.RemovedAxis + a.RemovedFar;
    if (placement == ShedPlacement::Nascent) {
      EXPECT_LT(rings, portions * 2 / 3);
    } else {
      EXPECT_EQ(rings, portions);
    }
  }
}

}  // namespace
}  // namespace mdv
