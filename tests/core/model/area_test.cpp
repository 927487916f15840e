#include "core/model/area.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/model_fixtures.h"

namespace mdv {
namespace {

using test::PointNear;
using test::RealNear;

constexpr Real Tol = 1e-15L;

TEST(BuildArea, DefaultHood) {
  Model m;
  test::RecordingObserver obs;
  BuildArea(m, obs);

  EXPECT_EQ(m.AttachedCount, 396);
  EXPECT_EQ(m.CalcPoints.size(), 395u);
  EXPECT_EQ(m.Vortices.size(), 496u) << "396 attached + room for 100 free";
  EXPECT_EQ(m.BodyRibCount, 7);
  EXPECT_EQ(m.BarrierRibCount, 7);
  EXPECT_EQ(m.SuctionRib, 5);
  EXPECT_EQ(m.InflowRib, 2);
  ASSERT_EQ(m.SeparationCount, 3);
  EXPECT_EQ(m.SeparationIndex, (std::vector<int32_t>{168, 170, 220}));
  EXPECT_TRUE(RealNear(m.FarDistance, 1.21L, Tol));
  ASSERT_EQ(obs.statusTexts.size(), 1u);
  EXPECT_EQ(obs.statusTexts[0], "Количество присоединенных вихрей: 396");
  EXPECT_EQ(AttachedCountText(m), obs.statusTexts[0]);

  // Rib vortex counts 119, 49, 2, 50, 120, 15, 40, read off the first vortex of each rib.
  const TRealPoint k{0.02L * std::tan(Pi / 12), 0.17L};
  EXPECT_TRUE(PointNear(k, {0.005359L, 0.17L}, 1e-6L));
  EXPECT_TRUE(PointNear(m.Vortices[0].Pos, {1.2L, 0.17L}, Tol));
  EXPECT_TRUE(PointNear(m.Vortices[119].Pos, k, Tol)) << "rib 1 starts at K";
  EXPECT_TRUE(PointNear(m.Vortices[168].Pos, m.BodyRibs[2].P1, 0)) << "outer tip C";
  EXPECT_TRUE(PointNear(m.Vortices[170].Pos, m.BodyRibs[3].P1, 0)) << "inner tip T";
  EXPECT_TRUE(PointNear(m.Vortices[220].Pos, {0, 0.15L}, 0)) << "mouth edge M";
  EXPECT_TRUE(PointNear(m.Vortices[340].Pos, {1.2L, 0.15L}, 0)) << "suction's first covers (LL, B)";
  EXPECT_TRUE(PointNear(m.Vortices[341].Pos, {1.0L, 0.15L - 0.01L}, Tol));
  EXPECT_TRUE(PointNear(m.Vortices[355].Pos, {-0.5L, 0}, 0)) << "the plane starts at the axis";
  EXPECT_TRUE(PointNear(m.Vortices[395].Pos, {-0.5L, 0.4L}, 0)) << "end vortex at the rim";
  for (size_t i = 396; i < m.Vortices.size(); ++i) {
    ASSERT_TRUE(PointNear(m.Vortices[i].Pos, {0, 0}, 0) && m.Vortices[i].Gamma == 0) << i;
  }

  // Control points: half an interval after their vortex, normals into the solid.
  struct Row {
    const char* name;
    int index;
    TRealPoint normal;
    Real vn;
  };
  const Real s30 = std::sin(Pi / 6), c30 = std::cos(Pi / 6);
  const Row rows[] = {
      {"outer channel wall", 0, {0, -1}, 0},
      {"supply slot", 168, {c30, -s30}, -0.75L},
      {"inner channel wall", 220, {0, 1}, 0},
      {"suction section", 341, {1, 0}, 1},
      {"plane", 355, {-1, 0}, 0},
  };
  for (const Row& r : rows) {
    const TCalcPoint& cp = m.CalcPoints[r.index];
    EXPECT_TRUE(PointNear(cp.Normal, r.normal, Tol)) << r.name;
    EXPECT_EQ(cp.Vn, r.vn) << r.name;
  }
  EXPECT_TRUE(PointNear(m.CalcPoints[355].Pos, {-0.5L, 0.005L}, Tol));
  EXPECT_TRUE(PointNear(m.CalcPoints[340].Pos, {1.0L, 0.145L}, Tol))
      << "the suction's first control point stays at its own rib";
  int supply = 0, suction = 0;
  for (const TCalcPoint& cp : m.CalcPoints) {
    supply += cp.Vn < 0;
    suction += cp.Vn > 0;
  }
  EXPECT_EQ(supply, 2);
  EXPECT_EQ(suction, 15);

  // Barrier: the contour moved g = 0.005 into the fluid.
  EXPECT_TRUE(PointNear(m.BarrierRibs[5].P1, {0.995L, 0.145L}, Tol));
  EXPECT_TRUE(PointNear(m.BarrierRibs[5].P2, {0.995L, 0}, Tol));
  EXPECT_TRUE(PointNear(m.BarrierRibs[6].P1, {-0.495L, 3.25L}, Tol)) << "5 (B + l) high";
  EXPECT_TRUE(PointNear(m.BarrierRibs[0].P1, {1.2L, 0.175L}, Tol));
  for (int i = 0; i + 1 < 5; ++i) {
    EXPECT_TRUE(PointNear(m.BarrierRibs[i].P2, m.BarrierRibs[i + 1].P1, 0)) << "joined at " << i;
  }
  // Each barrier rib runs g from its body rib (ribs 0-4 are parallel to them).
  for (int i = 0; i < 5; ++i) {
    const TRib& b = m.BodyRibs[i];
    const TRealPoint mid{(m.BarrierRibs[i].P1.X + m.BarrierRibs[i].P2.X) / 2,
                         (m.BarrierRibs[i].P1.Y + m.BarrierRibs[i].P2.Y) / 2};
    EXPECT_TRUE(RealNear(DistToLine(mid, b.P1, b.P2), 0.005L, 1e-15L)) << "barrier " << i;
  }

  const Real a = Pi / 6;
  EXPECT_TRUE(PointNear(m.SeparationDir[0], {-std::cos(a + Pi / 4), std::sin(a + Pi / 4)}, Tol));
  EXPECT_TRUE(PointNear(m.SeparationDir[1], {-std::cos(a - Pi / 4), std::sin(a - Pi / 4)}, Tol));
  EXPECT_TRUE(PointNear(m.SeparationDir[2], {-std::sin(a / 2), -std::cos(a / 2)}, Tol));
}

TEST(BuildArea, FlatFlange) {
  Model m;
  m.FlangeAngle = 0;
  BuildArea(m);
  ASSERT_EQ(m.SeparationCount, 2);
  EXPECT_EQ(m.SeparationIndex.size(), 2u);
  EXPECT_EQ(m.SeparationDir.size(), 2u);
  EXPECT_TRUE(PointNear(m.BodyRibs[0].P2, {0, 0.17L}, 0)) << "K";
  EXPECT_TRUE(PointNear(m.BodyRibs[1].P2, {-0.5L, 0.17L}, Tol)) << "rib 1 along y = B + W";
  EXPECT_TRUE(RealNear(m.BodyRibs[1].P1.Y, m.BodyRibs[1].P2.Y, Tol));
  EXPECT_TRUE(PointNear(m.BodyRibs[2].P2, {-0.5L, 0.15L}, Tol)) << "T";
  EXPECT_TRUE(std::isfinite(m.BarrierRibs[3].P2.X));
}

TEST(BuildArea, SupplySlotShorterThanHalfSpacing) {
  Model m;
  m.WallThickness = 0.004L;  // slot 0.004 < h/2
  BuildArea(m);
  const int32_t first = m.SeparationIndex[0];
  EXPECT_EQ(m.SeparationIndex[1], first + 1) << "the slot has exactly one vortex";
  const TRib& slot = m.BodyRibs[2];
  EXPECT_TRUE(PointNear(m.Vortices[first].Pos, slot.P1, 0));
  EXPECT_TRUE(PointNear(m.CalcPoints[first].Pos,
                        {(slot.P1.X + slot.P2.X) / 2, (slot.P1.Y + slot.P2.Y) / 2}, Tol));
  EXPECT_EQ(m.CalcPoints[first].Vn, -m.InflowSpeed);
}

TEST(BuildArea, RebuildIsIdenticalAndFollowsTheLimit) {
  Model m;
  BuildArea(m);
  Model again = m;
  again.Vortices[500 - 10].Gamma = 3;  // a stale free slot must be cleared
  again.MaxFreeVortex = 250;
  BuildArea(again);
  EXPECT_EQ(again.Vortices.size(), 396u + 250u);
  EXPECT_EQ(again.Vortices[490].Gamma, 0);
  again.MaxFreeVortex = 100;
  BuildArea(again);
  ASSERT_EQ(again.Vortices.size(), m.Vortices.size());
  for (size_t i = 0; i < m.Vortices.size(); ++i) {
    ASSERT_TRUE(test::SameBits(again.Vortices[i].Pos.X, m.Vortices[i].Pos.X) &&
                test::SameBits(again.Vortices[i].Pos.Y, m.Vortices[i].Pos.Y))
        << i;
  }
  ASSERT_EQ(again.CalcPoints.size(), m.CalcPoints.size());
  for (size_t i = 0; i < m.CalcPoints.size(); ++i) {
    ASSERT_TRUE(test::SameBits(again.CalcPoints[i].Normal.X, m.CalcPoints[i].Normal.X)) << i;
  }
}

TEST(BuildArea, SuctionAtTheChannelEnd) {
  Model m;
  m.SuctionX = m.ChannelLength;
  BuildArea(m);
  EXPECT_TRUE(PointNear(m.Vortices[340].Pos, m.BodyRibs[5].P1, 0));
}

}  // namespace
}  // namespace mdv
