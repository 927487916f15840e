// The refined model's wall rules and its circulation budget.
#include <gtest/gtest.h>

#include <cmath>

#include "core/flow/refined_step.h"
#include "core/flow/run.h"
#include "core/model_fixtures.h"

namespace mdv {
namespace {

TEST(RefinedWallRule, SlideReflectAndSuction) {
  Model m = test::CoarseModel(0.01L);
  m.Flow = FlowModel::Refined;
  const Real barrier = m.ChannelRadius - m.VortexSpacing / 2;  // y of the channel wall's barrier, m
  // A move inside the channel from 5 mm below the barrier to 3 mm beyond it.
  const TRealPoint start{0.4L, barrier - 0.005L}, aim{0.41L, barrier + 0.003L};
  // The back-off of 1e-4 m along the path leaves the point this far from the barrier's line, m.
  const Real backOff = 1e-4L * 0.008L / std::hypot(0.01L, 0.008L);
  struct Row {
    const char* name;
    WallRule rule;
    Real y;  // where the move ends, m
  };
  for (const Row& row : {Row{"slide", WallRule::Slide, barrier - backOff},
                         Row{"absorb (the caller removes)", WallRule::Absorb, barrier - backOff},
                         Row{"reflect", WallRule::Reflect, barrier - 2 * backOff - 0.003L}}) {
    SCOPED_TRACE(row.name);
    m.Refined.Wall = row.rule;
    TRealPoint q = aim;
    EXPECT_EQ(RefinedWallRule(m, start, q), WallContact::Barrier);
    EXPECT_NEAR(static_cast<double>(q.X), 0.41, 1e-12);  // the move along the wall stands
    EXPECT_NEAR(static_cast<double>(q.Y), static_cast<double>(row.y), 1e-12);
  }
  m.Refined.Wall = WallRule::Reflect;
  TRealPoint q{0.41L, 0.11L};
  EXPECT_EQ(RefinedWallRule(m, {0.4L, 0.10L}, q), WallContact::None);
  EXPECT_EQ(q.X, 0.41L);
  EXPECT_EQ(q.Y, 0.11L);
  q = TRealPoint{m.SuctionX + 0.01L, 0.05L};
  EXPECT_EQ(RefinedWallRule(m, {m.SuctionX - 0.01L, 0.05L}, q), WallContact::Suction);

  // Every barrier is met: a 2 mm move straight across each one's midpoint.
  m.Refined.Wall = WallRule::Slide;
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
// (suction section, walls, axis, far away), whatever the wall rule.
TEST(RefinedWallRule, CirculationBudgetCloses) {
  struct Case {
    WallRule rule;
    Real layer;  // m
  };
  for (const Case& c : {Case{WallRule::Slide, 0}, Case{WallRule::Absorb, 0}, Case{WallRule::Reflect, 0},
                        Case{WallRule::Slide, 0.02L}}) {
    const WallRule rule = c.rule;
    SCOPED_TRACE(static_cast<int>(rule));
    SCOPED_TRACE(static_cast<double>(c.layer));
    Model m = test::CoarseModel(0.02L);
    m.FlangeAngle = 0;  // the re-entrant inlet in open space: its jet runs along the tube's wall
    m.PlaneX = -4;
    m.InflowSpeed = 0;
    BuildArea(m);
    m.Flow = FlowModel::Refined;
    m.Exec.Arithmetic = Precision::Double;
    m.Refined.Wall = rule;
    m.Refined.WallLayer = c.layer;
    const RunSummary r = RunSimulation(m, 4000, 0, 0, 1.5L, 0.01L, NullObserver());
    ASSERT_EQ(r.HowEnded, RunSummary::End::TimeLimit) << r.Message;
    const RefinedAccount& a = m.RefinedCount;
    Real shed = 0, free = 0;
    for (int32_t s = 0; s < RefinedAccount::Edges; ++s) shed += a.Shed[s];
    for (int32_t k = 0; k < m.FreeVortexCount; ++k) free += m.Vortices[m.AttachedCount + k].Gamma;
    const Real gone = a.SuctionCirculation + a.WallCirculation + a.AxisCirculation + a.FarCirculation;
    ASSERT_GT(shed, 0);
    EXPECT_NEAR(static_cast<double>(shed - gone), static_cast<double>(free), 1e-12 * static_cast<double>(shed));
    EXPECT_GT(a.WallSlides + a.LayerRemoved, 0);  // the rule was met
    EXPECT_EQ(a.LayerRemoved > 0, c.layer > 0);
    if (rule == WallRule::Absorb || c.layer > 0) {
      EXPECT_GT(a.WallCirculation, 0);
    } else {
      EXPECT_EQ(a.WallCirculation, 0);
    }
  }
}

}  // namespace
}  // namespace mdv
