#include "core/circulation.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/kernel.h"
#include "model_fixtures.h"

namespace mdv {
namespace {

using test::RealNear;

Real AttachedSum(const Model& m) {
  Real s = 0;
  for (int32_t i = 0; i < m.AttachedCount; ++i) s += m.Vortices[i].Gamma;
  return s;
}

Real AttachedScale(const Model& m) {
  Real s = 0;
  for (int32_t i = 0; i < m.AttachedCount; ++i) s += std::fabs(m.Vortices[i].Gamma);
  return s;
}

// Normal velocity at control point i from every vortex, without a cut-off.
Real NormalVelocity(const Model& m, int32_t i) {
  const TCalcPoint& cp = m.CalcPoints[i];
  Real v = 0;
  for (int32_t k = 0; k < m.AttachedCount + m.FreeVortexCount; ++k) {
    v += RingVelocity(cp.Pos, m.Vortices[k], cp.Normal) * m.Vortices[k].Gamma;
  }
  return v;
}

TEST(AttachedSystem, BareContour) {
  Model m = test::DefaultModel();
  m.Circulations.assign(m.AttachedCount, 0);
  BuildInfluenceMatrix(m);
  const int32_t n = m.AttachedCount;
  ASSERT_EQ(m.InfluenceMatrix.size(), size_t(n));
  ASSERT_EQ(m.InfluenceMatrix[0].size(), size_t(n + 1));
  for (int32_t j = 0; j < n; ++j) ASSERT_EQ(m.InfluenceMatrixCopy[n - 1][j], 1);
  EXPECT_EQ(m.InfluenceMatrixCopy[n - 1][n], 0);
  EXPECT_EQ(m.InfluenceMatrixCopy[168][n], -0.75L);

  SolveCirculations(m);
  const Real scale = AttachedScale(m);
  ASSERT_GT(scale, 0);
  EXPECT_TRUE(RealNear(AttachedSum(m), 0, 1e-15L * scale)) << "total circulation";
  for (int32_t i = 0; i < n; ++i) {
    for (int32_t j = 0; j <= n; ++j) {
      ASSERT_EQ(m.InfluenceMatrix[i][j], m.InfluenceMatrixCopy[i][j])
          << "working matrix restored at " << i << ", " << j;
    }
  }
  // The walls are impermeable and the openings carry their speeds.
  for (int32_t i : {0, 100, 168, 169, 200, 300, 345, 380}) {
    EXPECT_TRUE(RealNear(NormalVelocity(m, i), m.CalcPoints[i].Vn, 1e-10L)) << "control point " << i;
  }
}

TEST(AttachedSystem, WithFreeVortices) {
  Model m = test::DefaultModel();
  const int32_t n = m.AttachedCount;
  m.FreeVortexCount = 2;
  m.Vortices[n] = TVortex{{-0.2L, 0.35L}, 0.01L};
  m.Vortices[n + 1] = TVortex{{0.1L, 0.1L}, -0.004L};
  test::SolveAttached(m);
  const Real freeSum = 0.01L - 0.004L;
  EXPECT_TRUE(RealNear(AttachedSum(m), -freeSum, 1e-15L * AttachedScale(m)));
  for (int32_t i : {0, 120, 168, 250, 350, 390}) {
    EXPECT_TRUE(RealNear(NormalVelocity(m, i), m.CalcPoints[i].Vn, 1e-10L)) << "control point " << i;
  }

  // Without free vortices the right-hand side returns to the prescribed speeds.
  m.FreeVortexCount = 0;
  UpdateRightHandSide(m);
  for (int32_t i = 0; i + 1 < n; ++i) ASSERT_EQ(m.InfluenceMatrix[i][n], m.CalcPoints[i].Vn) << i;
  EXPECT_EQ(m.InfluenceMatrix[n - 1][n], 0);
}

TEST(AttachedSystem, SingularSystemKeepsThePreviousCirculations) {
  Model m;
  m.AttachedCount = 2;
  m.Vortices = {TVortex{{0, 1}, 0}, TVortex{{0, 1}, 0}};  // two identical rings
  m.CalcPoints = {TCalcPoint{{1, 1}, {1, 0}, 0.5L}};
  m.Circulations = {0.25L, -0.25L};
  BuildInfluenceMatrix(m);
  SolveCirculations(m);
  EXPECT_EQ(m.Vortices[0].Gamma, 0.25L);
  EXPECT_EQ(m.Vortices[1].Gamma, -0.25L);
}

TEST(CalcVelocity, CutOffAndDirection) {
  Model m;
  m.AttachedCount = 1;
  m.Vortices = {TVortex{{0, 1}, 2}};
  const TRealPoint ax{1, 0}, rad{0, 1};
  // Default spacing 0.01: the cut-off radius is 0.00499 m.
  const TRealPoint inside{0.00498L, 1};
  const TRealPoint edge{0.005L, 1};
  EXPECT_EQ(CalcVelocity(m, inside, ax, -1), 0);
  EXPECT_EQ(CalcVelocity(m, edge, ax, -1), 2 * RingVelocity(edge, m.Vortices[0], ax));
  EXPECT_NE(CalcVelocity(m, edge, ax, -1), 0);
  EXPECT_EQ(CalcVelocity(m, edge, ax, 0), 0) << "the skipped vortex is left out";

  const TRealPoint p{0.3L, 0.4L};
  const Real u = CalcVelocity(m, p, ax, -1), v = CalcVelocity(m, p, rad, -1);
  EXPECT_TRUE(RealNear(CalcVelocity(m, p, {0.6L, 0.8L}, -1), 0.6L * u + 0.8L * v, 1e-17L));

  Model full = test::DefaultModel();
  test::SolveAttached(full);
  for (int32_t i : {0, 168, 220, 340, 395}) {
    const TRealPoint at = full.Vortices[i].Pos;
    EXPECT_TRUE(std::isfinite(CalcVelocity(full, at, ax, -1))) << "at attached vortex " << i;
    EXPECT_TRUE(std::isfinite(CalcVelocity(full, at, rad, -1))) << "at attached vortex " << i;
  }
  // Far in front of the mouth the air moves toward the hood (+x).
  EXPECT_GT(CalcVelocity(full, {0.1L, 0.05L}, ax, -1), 0);
}

}  // namespace
}  // namespace mdv
