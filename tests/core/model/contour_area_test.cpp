#include "core/model/contour_area.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/flow/run.h"
#include "core/model_fixtures.h"

namespace mdv {
namespace {

using test::PointNear;

Model Parametric(Real alphaDeg) {
  Model m;
  m.FlangeAngle = alphaDeg / 180 * Pi;
  BuildArea(m);
  return m;
}

Model ThroughContour(const Model& p) {
  Model m;
  m.HoodContour = ParametricContour(p);
  m.ContourArea = true;
  BuildArea(m);
  return m;
}

// The parametric hood written as a contour builds the same discrete model:
// rings, control points and their normals and speeds, the separation points
// and their directions, the barrier where the flow can reach it.
TEST(ContourArea, ParametricHoodThroughTheGeneralPath) {
  for (Real alpha : {30.0L, 0.0L, 90.0L}) {
    SCOPED_TRACE(static_cast<double>(alpha));
    const Model p = Parametric(alpha);
    const Model c = ThroughContour(p);
    ASSERT_EQ(c.AttachedCount, p.AttachedCount);
    ASSERT_EQ(c.BodyRibCount, p.BodyRibCount);
    EXPECT_EQ(c.SuctionRib, p.SuctionRib);
    EXPECT_EQ(c.InflowRib, p.InflowRib);
    EXPECT_EQ(c.SeparationIndex, p.SeparationIndex);
    EXPECT_EQ(c.ChannelRadius, p.ChannelRadius);
    EXPECT_EQ(c.AttachedSpacingMin, p.AttachedSpacingMin);
    for (int32_t i = 0; i < p.AttachedCount; ++i) {
      ASSERT_TRUE(PointNear(c.Vortices[i].Pos, p.Vortices[i].Pos, 1e-15L)) << i;
    }
    for (size_t i = 0; i < p.CalcPoints.size(); ++i) {
      ASSERT_TRUE(PointNear(c.CalcPoints[i].Pos, p.CalcPoints[i].Pos, 1e-15L)) << i;
      ASSERT_TRUE(PointNear(c.CalcPoints[i].Normal, p.CalcPoints[i].Normal, 1e-15L)) << i;
      ASSERT_EQ(c.CalcPoints[i].Vn, p.CalcPoints[i].Vn) << i;
    }
    for (int32_t s = 0; s < p.SeparationCount; ++s) {
      EXPECT_TRUE(PointNear(c.SeparationDir[s], p.SeparationDir[s], 1e-15L)) << s;
    }
    // The wall's barrier up to the channel (the parametric one stops at the
    // suction section, where no free ring lives), and the suction section's.
    for (int32_t r = 0; r < 4; ++r) {
      EXPECT_TRUE(PointNear(c.BarrierRibs[r].P1, p.BarrierRibs[r].P1, 1e-15L)) << r;
      EXPECT_TRUE(PointNear(c.BarrierRibs[r].P2, p.BarrierRibs[r].P2, 1e-15L)) << r;
    }
    EXPECT_TRUE(PointNear(c.BarrierRibs[5].P1, p.BarrierRibs[5].P1, 1e-15L));
    EXPECT_EQ(c.BarrierRibs[6].P1.X, p.BarrierRibs[6].P1.X);
  }
}

// A tube flush in a wall with a quarter-circle inlet of radius R: rings at
// about h along the arc, each arc control point on the circle with the
// radial normal, no shedding corner (the arc joins both faces tangentially)
// but the tube's far outer corner.
TEST(ContourArea, ArcIntoRings) {
  const Real R = 0.06L, B = 0.15L, h = 0.005L;
  Contour c;
  c.Start = {0.0L, 0.6L};
  c.Wall = {{{0, B + R}, 0}, {{R, B}, R}, {{1.2L, B}, 0}};
  c.SuctionX = 1.0L;
  c.PlaneX = -4;
  c.PlaneRadius = 0.5L;
  c.Spacing = h;
  EXPECT_NEAR(static_cast<double>(VertexTurn(c, 2)), 0, 1e-15);
  EXPECT_NEAR(static_cast<double>(VertexTurn(c, 1)), 0, 1e-15);
  EXPECT_TRUE(SheddingVertices(c).empty());
  EXPECT_NEAR(static_cast<double>(SegmentLength(c, 1)), static_cast<double>(Pi / 2 * R), 1e-15);

  Model m;
  m.HoodContour = c;
  m.ContourArea = true;
  BuildArea(m);
  const TRealPoint centre{R, B + R};
  const int32_t n = static_cast<int32_t>(std::nearbyint(Pi / 2 * R / h));  // 19
  const int32_t first = static_cast<int32_t>(std::nearbyint((0.6L - B - R) / h));
  ASSERT_EQ(m.BodyRibCount, 1 + n + 1 + 2);
  EXPECT_EQ(m.SeparationCount, 0);
  EXPECT_EQ(m.ChannelRadius, B);
  for (int32_t j = 0; j < n; ++j) {
    const TCalcPoint& cp = m.CalcPoints[static_cast<size_t>(first + j)];
    const TRealPoint v = m.Vortices[first + j].Pos;
    EXPECT_NEAR(static_cast<double>(PointDistance(cp.Pos, centre)), static_cast<double>(R), 1e-15) << j;
    EXPECT_NEAR(static_cast<double>(PointDistance(v, centre)), static_cast<double>(R), 1e-15) << j;
    // Into the solid: towards the centre, which the rounding cut out of the solid corner.
    const TRealPoint in{(centre.X - cp.Pos.X) / R, (centre.Y - cp.Pos.Y) / R};
    EXPECT_TRUE(PointNear(cp.Normal, in, 1e-14L)) << j;
    const TRealPoint next = m.Vortices[first + j + 1].Pos;
    EXPECT_NEAR(static_cast<double>(PointDistance(v, next)), static_cast<double>(2 * R * std::sin(Pi / 4 / n)), 1e-15);
  }
  // The barrier keeps h/2 from the arc on the fluid's side.
  for (int32_t j = 0; j < n; ++j) {
    const TRib& b = m.BarrierRibs[static_cast<size_t>(1 + j)];
    EXPECT_NEAR(static_cast<double>(PointDistance(b.P1, centre)), static_cast<double>(R + h / 2), 2e-5) << j;
  }
}

// A knife edge: the wall turns back on itself; its corner sheds, leaving
// along the bisector, and the barrier's joint stays near the tip.
TEST(ContourArea, SharpCornerShedsAlongTheBisector) {
  Contour c;
  c.Start = {1.2L, 0.152L};
  c.Wall = {{{0, 0.16L}, 0}, {{1.2L, 0.15L}, 0}};
  c.SuctionX = 1.0L;
  c.PlaneX = -1;
  c.Spacing = 0.01L;
  ASSERT_EQ(SheddingVertices(c), (std::vector<int>{1}));
  Model m;
  m.HoodContour = c;
  m.ContourArea = true;
  BuildArea(m);
  ASSERT_EQ(m.SeparationCount, 1);
  EXPECT_TRUE(PointNear(m.Vortices[m.SeparationIndex[0]].Pos, {0, 0.16L}, 0));
  EXPECT_LT(m.SeparationDir[0].X, -0.99L) << "out of the tube's mouth, upstream";
  const TRealPoint joint = m.BarrierRibs[0].P2;
  EXPECT_LT(PointDistance(joint, {0, 0.16L}), 4 * c.Spacing / 2);
  EXPECT_EQ(joint.X, m.BarrierRibs[1].P1.X);
}

}  // namespace
}  // namespace mdv
