#include "core/flow/circulation.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/flow/kernel.h"
#include "core/flow/run.h"
#include "core/model_fixtures.h"

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
  for (const bool literal : {false, true}) {
    SCOPED_TRACE(literal ? "literal" : "fast");
    Model m;
    m.Exec.Literal = literal;
    m.AttachedCount = 2;
    m.Vortices = {TVortex{{0, 1}, 0}, TVortex{{0, 1}, 0}};  // two identical rings
    m.CalcPoints = {TCalcPoint{{1, 1}, {1, 0}, 0.5L}};
    m.Circulations = {0.25L, -0.25L};
    BuildInfluenceMatrix(m);
    SolveCirculations(m);
    EXPECT_EQ(m.Vortices[0].Gamma, 0.25L);
    EXPECT_EQ(m.Vortices[1].Gamma, -0.25L);
    EXPECT_EQ(m.InfluenceMatrix, m.InfluenceMatrixCopy);
  }
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

// The default hood with the free vortices of a few steps of a run, solved
// again so that the run arrays exist.
Model ModelWithFreeVortices(const Execution& exec) {
  Model m = test::DefaultModel();
  test::RecordingObserver obs;
  obs.stopAfter = 6;
  RunSimulation(m, 400, 0, 0, 1, 0.005L, obs);
  m.Exec = exec;
  test::SolveAttached(m);
  return m;
}

TEST(CalcVelocityPair, EqualsTheTwoSingleCallsBitForBit) {
  const Model m = ModelWithFreeVortices(Execution{});
  const int32_t n = m.AttachedCount;
  const int32_t end = n + m.FreeVortexCount;
  ASSERT_EQ(m.FreeVortexCount, 18);
  const Real cut = m.VortexSpacing / 2 - 1e-5L;  // m
  struct Row {
    std::string name;
    TRealPoint p;
    int32_t skip;
  };
  std::vector<Row> rows;
  for (int32_t i : {0, 1, 120, 168, 169, 250, 345, 394, 395}) {
    const TRealPoint at = m.Vortices[i].Pos;
    const std::string tag = std::to_string(i);
    rows.push_back({"at attached vortex " + tag, at, -1});
    rows.push_back({"at attached vortex " + tag + ", itself left out", at, i});
    // The cut-off radius from the vortex: the squared distance lands in the
    // band where only the root decides.
    rows.push_back({"cut-off radius from attached vortex " + tag, {at.X + cut, at.Y}, -1});
    rows.push_back({"just inside the cut-off of " + tag, {at.X, at.Y + cut * (1 - 1e-18L)}, -1});
    rows.push_back({"just outside the cut-off of " + tag, {at.X, at.Y - cut * (1 + 1e-18L)}, -1});
  }
  for (int32_t i : {0, 100, 168, 200, 300, 394}) {
    rows.push_back({"control point " + std::to_string(i), m.CalcPoints[i].Pos, -1});
  }
  for (int32_t k = n; k < end; ++k) {
    rows.push_back({"free vortex " + std::to_string(k), m.Vortices[k].Pos, k});
  }
  for (Real x : {-0.6L, -0.5L, -0.1L, 0.0L, 0.3L, 1.0L, 2.0L}) {
    rows.push_back({"on the axis at x = " + test::Show(x), {x, 0}, -1});
    rows.push_back({"on the axis, y = -0, x = " + test::Show(x), {x, -0.0L}, -1});
    rows.push_back({"below the axis at x = " + test::Show(x), {x, -0.2L}, -1});
  }
  // Mirror images of attached vortices below the axis.
  rows.push_back({"mirror of attached vortex 200", {m.Vortices[200].Pos.X, -m.Vortices[200].Pos.Y}, -1});
  rows.push_back({"skip index past the end", {0.1L, 0.1L}, end + 5});

  for (const Execution exec : {Execution{false, 0}, Execution{true, 1}}) {
    Model on = m;
    on.Exec = exec;
    for (const Row& r : rows) {
      Real u = -7, v = -7;
      CalcVelocityPair(on, r.p, r.skip, u, v);
      const Real u1 = CalcVelocity(on, r.p, {1, 0}, r.skip);
      const Real v1 = CalcVelocity(on, r.p, {0, 1}, r.skip);
      ASSERT_TRUE(test::SameBits(u, u1))
          << r.name << (exec.Literal ? " (literal)" : "") << ": " << test::Show(u) << " vs " << test::Show(u1);
      ASSERT_TRUE(test::SameBits(v, v1))
          << r.name << (exec.Literal ? " (literal)" : "") << ": " << test::Show(v) << " vs " << test::Show(v1);
    }
  }
}

TEST(AttachedSystem, FactoredSolveEqualsFullEliminationBitForBit) {
  const Model literal = ModelWithFreeVortices(Execution{true, 1});
  for (int threads : {1, 2, 3}) {
    SCOPED_TRACE(threads);
    const Model fast = ModelWithFreeVortices(Execution{false, threads});
    const int32_t n = fast.AttachedCount;
    ASSERT_EQ(fast.FreeVortexCount, literal.FreeVortexCount);
    for (int32_t i = 0; i < n; ++i) {
      ASSERT_TRUE(test::SameBits(fast.Vortices[i].Gamma, literal.Vortices[i].Gamma))
          << "attached vortex " << i << ": " << test::Show(fast.Vortices[i].Gamma) << " vs "
          << test::Show(literal.Vortices[i].Gamma);
    }
    // The working matrix is whole again after the replay, as after a full elimination.
    for (int32_t i = 0; i < n; ++i) {
      for (int32_t j = 0; j <= n; ++j) {
        ASSERT_TRUE(test::SameBits(fast.InfluenceMatrix[i][j], fast.InfluenceMatrixCopy[i][j])) << i << ", " << j;
        ASSERT_TRUE(test::SameBits(fast.InfluenceMatrix[i][j], literal.InfluenceMatrix[i][j])) << i << ", " << j;
      }
    }
  }
}

TEST(AttachedSystem, MatrixBuiltOnTheLiteralPathIsFactoredAtTheFirstFastSolve) {
  Model fast = ModelWithFreeVortices(Execution{true, 1});
  const Model literal = fast;
  fast.Exec = Execution{false, 0};
  UpdateRightHandSide(fast);
  SolveCirculations(fast);
  for (int32_t i = 0; i < fast.AttachedCount; ++i) {
    ASSERT_TRUE(test::SameBits(fast.Vortices[i].Gamma, literal.Vortices[i].Gamma)) << i;
  }
}

}  // namespace
}  // namespace mdv
