#include "core/model/geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/model_fixtures.h"

namespace mdv {
namespace {

using test::PointNear;
using test::RealNear;

constexpr Real Tight = 1e-17L;

TEST(ZeroIfTiny, BandIsOpenAtOneTenBillionth) {
  struct Row {
    const char* name;
    Real in;
    Real out;
  };
  const Row rows[] = {
      {"just below the band", 9.9e-11L, 0},
      {"negative just below", -9.9e-11L, 0},
      {"exactly the band", 1e-10L, 1e-10L},
      {"exactly minus the band", -1e-10L, -1e-10L},
      {"ordinary value", 0.5L, 0.5L},
  };
  for (const Row& r : rows) {
    Real x = r.in;
    ZeroIfTiny(x);
    EXPECT_EQ(x, r.out) << r.name;
  }
}

TEST(MatrixOperations, SizeCopyAndFree) {
  TRealMatr a;
  SetMatrSize(a, 2, 3);
  ASSERT_EQ(a.size(), 2u);
  a[1][2] = 7;
  SetMatrSize(a, 3, 4);  // growing keeps values and fills zeros
  EXPECT_EQ(a[1][2], 7);
  EXPECT_EQ(a[1][3], 0);
  EXPECT_EQ(a[2].size(), 4u);

  TRealMatr b;
  SetMatrSize(b, 3, 4);
  EXPECT_TRUE(CopyMatr(a, b, 3, 4));
  EXPECT_EQ(b[1][2], 7);

  TRealMatr emptySrc, emptyDst;
  EXPECT_TRUE(CopyMatr(emptySrc, emptyDst, 0, 5)) << "no rows: nothing to compare";

  TRealMatr fewer;
  SetMatrSize(fewer, 2, 4);
  EXPECT_FALSE(CopyMatr(a, fewer, 3, 4)) << "destination row count differs";
  TRealMatr narrow;
  SetMatrSize(narrow, 3, 3);
  narrow[0][0] = -1;
  EXPECT_FALSE(CopyMatr(a, narrow, 3, 4)) << "row 0 shorter than Cols";
  EXPECT_EQ(narrow[0][0], -1) << "nothing copied on refusal";

  TRealMatr ragged;
  SetMatrSize(ragged, 3, 4);
  ragged[2].resize(2);
  EXPECT_FALSE(CopyMatr(a, ragged, 3, 4)) << "a short later row must not be overrun";

  FreeMatr(a, 3);
  EXPECT_TRUE(a.empty());
}

TEST(SolveGauss, PivotsTiesAndSingularity) {
  {
    SCOPED_TRACE("zero diagonal: rows exchanged by storage");
    TRealMatr a = {{0, 1, 2}, {1, 1, 3}};
    const Real* lower = a[1].data();
    TRealArray x(2, -9);
    ASSERT_TRUE(SolveGauss(a, 2, x));
    EXPECT_EQ(x[0], 1);
    EXPECT_EQ(x[1], 2);
    EXPECT_EQ(a[0].data(), lower) << "the exchange swaps row storage";
  }
  {
    SCOPED_TRACE("equal magnitudes: the upper row stays the pivot");
    TRealMatr a = {{1, 1, 3}, {-1, 2, 3}};
    const Real* upper = a[0].data();
    TRealArray x(2);
    ASSERT_TRUE(SolveGauss(a, 2, x));
    EXPECT_EQ(a[0].data(), upper);
    EXPECT_TRUE(RealNear(x[0], 1, Tight));
    EXPECT_TRUE(RealNear(x[1], 2, Tight));
  }
  {
    SCOPED_TRACE("strictly larger lower entry becomes the pivot");
    TRealMatr a = {{1, 1, 3}, {-2, 1, 0}};
    const Real* lower = a[1].data();
    TRealArray x(2);
    ASSERT_TRUE(SolveGauss(a, 2, x));
    EXPECT_EQ(a[0].data(), lower);
    EXPECT_TRUE(RealNear(x[0], 1, Tight));
    EXPECT_TRUE(RealNear(x[1], 2, Tight));
  }
  {
    SCOPED_TRACE("three unknowns against the exact solution (2, 3, -1)");
    TRealMatr a = {{2, 1, -1, 8}, {-3, -1, 2, -11}, {-2, 1, 2, -3}};
    TRealArray x(4, 99);  // longer than N: the tail stays
    ASSERT_TRUE(SolveGauss(a, 3, x));
    EXPECT_TRUE(RealNear(x[0], 2, Tight));
    EXPECT_TRUE(RealNear(x[1], 3, Tight));
    EXPECT_TRUE(RealNear(x[2], -1, Tight));
    EXPECT_EQ(x[3], 99);
  }
  {
    SCOPED_TRACE("singular: false, X untouched");
    TRealMatr a = {{1, 2, 3}, {2, 4, 6}};
    TRealArray x = {5, 6};
    EXPECT_FALSE(SolveGauss(a, 2, x));
    EXPECT_EQ(x[0], 5);
    EXPECT_EQ(x[1], 6);
  }
  {
    SCOPED_TRACE("solution vector too short: refused");
    TRealMatr a = {{1, 0, 1}, {0, 1, 1}};
    TRealArray x(1, 4);
    EXPECT_FALSE(SolveGauss(a, 2, x));
    EXPECT_EQ(x[0], 4);
  }
}

TEST(PointFunctions, NormalsLinesAndDistances) {
  const TRealPoint n1 = UnitNormal({0, 0}, {1, 0});
  EXPECT_EQ(n1.X, 0);
  EXPECT_EQ(n1.Y, -1) << "turned clockwise from the direction";
  const TRealPoint n2 = UnitNormal({0, 0}, {0, 2});
  EXPECT_EQ(n2.X, 1);
  EXPECT_EQ(n2.Y, 0);

  Real a, b, c;
  LineCoefs({1, 2}, {3, 5}, a, b, c);
  EXPECT_EQ(a, 3);
  EXPECT_EQ(b, -2);
  EXPECT_EQ(c, 1);
  EXPECT_EQ(LineValue({1, 2}, double(a), double(b), double(c)), 0);
  EXPECT_EQ(LineValue({3, 5}, double(a), double(b), double(c)), 0);

  EXPECT_EQ(LineValue({0, 0}, 0, 0, 9.9e-11), 0) << "inside the zero band";
  EXPECT_NE(LineValue({0, 0}, 0, 0, 1.1e-10), 0);
  // 1e8 + 1e-9 is not a double: the coefficient reaches the line as 1e8, so a
  // point 1e-9 off the line in extended arithmetic lies on it.
  const Real coarse = 1e8L + 1e-9L;
  EXPECT_GT(coarse * 1 - 1e8L, 1e-10L);
  EXPECT_EQ(LineValue({1, 0}, double(coarse), 0, -1e8), 0);

  EXPECT_TRUE(RealNear(DistToLine({0, 1}, {-1, 0}, {1, 0}), 1, Tight));
  EXPECT_TRUE(RealNear(DistToLine({0, 2}, {0, 0}, {2, 2}), std::sqrt(2.0L), Tight));
  EXPECT_EQ(DistToLine({1, 1}, {0, 0}, {2, 2}), 0);

  EXPECT_TRUE(SegmentsParallel({0, 0}, {1, 3}, {5, 5}, {6, 8}));
  EXPECT_FALSE(SegmentsParallel({0, 0}, {1, 3}, {0, 0}, {1, 3.0000001L}));
  EXPECT_TRUE(RealNear(PointDistance({1, 1}, {4, 5}), 5, Tight));
  EXPECT_TRUE(PointsEqual({1, 2}, {1, 2}));
  EXPECT_FALSE(PointsEqual({1, 2}, {1, 2.0000000000001L}));
}

TEST(PointInBox, StrictInBothCoordinates) {
  struct Row {
    const char* name;
    TRealPoint p, a, b;
    bool inside;
  };
  const Row rows[] = {
      {"box flat in Y", {1, 0}, {0, 0}, {2, 0}, false},
      {"inside", {1, 1}, {0, 0}, {2, 2}, true},
      {"corners in reverse order", {1, 1}, {2, 2}, {0, 0}, true},
      {"on the left side", {0, 1}, {0, 0}, {2, 2}, false},
      {"outside", {3, 1}, {0, 0}, {2, 2}, false},
  };
  for (const Row& r : rows) EXPECT_EQ(PointInBox(r.p, r.a, r.b), r.inside) << r.name;
}

TEST(PointInRect, BoundaryCountsAsInside) {
  const TRib sides[4] = {{{1, 1}, {0.5L, 2.5L}},
                         {{0.5L, 2.5L}, {3.5L, 3.5L}},
                         {{3.5L, 3.5L}, {4, 2}},
                         {{4, 2}, {1, 1}}};
  EXPECT_TRUE(PointInRect({2, 1.34L}, sides));
  EXPECT_TRUE(PointInRect({2.25L, 2.25L}, sides)) << "the centre";
  EXPECT_FALSE(PointInRect({0, 0}, sides));
  EXPECT_FALSE(PointInRect({4, 4}, sides));

  const TRib square[4] = {{{0, 0}, {2, 0}}, {{2, 0}, {2, 2}}, {{2, 2}, {0, 2}}, {{0, 2}, {0, 0}}};
  EXPECT_TRUE(PointInRect({2, 1}, square)) << "exactly on a side";
  EXPECT_FALSE(PointInRect({2.0001L, 1}, square));
}

TEST(SegmentsIntersect, TieRules) {
  struct Row {
    const char* name;
    TRealPoint a1, a2, b1, b2;
    bool hit;
    TRealPoint out;
  };
  const Row rows[] = {
      {"proper crossing", {0, 0}, {2, 2}, {0, 2}, {2, 0}, true, {1, 1}},
      {"horizontal A: X taken from B's line", {0, 0}, {2, 0}, {1, -1}, {1.5L, 1}, true, {1.25L, 0}},
      {"shared end point", {0, 0}, {1, 1}, {1, 1}, {2, 0}, false, {}},
      {"collinear on the X axis", {0, 0}, {2, 0}, {1, 0}, {3, 0}, false, {}},
      {"collinear oblique overlap gives A1", {0, 0}, {2, 2}, {1, 1}, {3, 3}, true, {0, 0}},
      {"collinear B inside A", {0, 0}, {3, 3}, {1, 1}, {2, 2}, true, {0, 0}},
      {"collinear disjoint", {0, 0}, {1, 1}, {2, 2}, {3, 3}, false, {}},
      {"end 1e-11 from the line counts as on it", {0, 0}, {2, 0}, {1, -1}, {1, 1e-11L}, false, {}},
      {"end 1e-9 beyond the line crosses", {0, 0}, {2, 0}, {1, -1}, {1, 1e-9L}, true, {1, 0}},
      {"T-junction: end on the other", {0, 0}, {2, 0}, {1, 0}, {1, 1}, false, {}},
      {"parallel apart", {0, 0}, {2, 0}, {0, 1}, {2, 1}, false, {}},
  };
  for (const Row& r : rows) {
    TRealPoint out{-7, -7};
    EXPECT_EQ(SegmentsIntersect(r.a1, r.a2, r.b1, r.b2, &out), r.hit) << r.name;
    if (r.hit) {
      EXPECT_TRUE(PointNear(out, r.out, 1e-9L)) << r.name;
    } else {
      EXPECT_TRUE(PointNear(out, {-7, -7}, 0)) << r.name << ": Out written without a hit";
    }
    EXPECT_EQ(SegmentsIntersect(r.a1, r.a2, r.b1, r.b2), r.hit) << r.name << " (no Out)";
  }
}

TEST(SlideAlongRib, BacksOffAndKeepsTheAlongWallMotion) {
  {
    SCOPED_TRACE("step through the X axis");
    bool hit = false;
    TRealPoint pos;
    SlideAlongRib({0, 1}, {0.5L, -1}, TRib{{-1, 0}, {1, 0}}, hit, pos);
    ASSERT_TRUE(hit);
    // The crossing (0.25, 0) moved 1e-4 back toward the start (0, 1).
    const Real len = std::sqrt(0.25L * 0.25L + 1);
    EXPECT_TRUE(RealNear(pos.Y, 1e-4L / len, 1e-18L));
    EXPECT_TRUE(RealNear(pos.Y, 9.7014e-5L, 1e-9L));
    EXPECT_TRUE(RealNear(pos.X, 0.5L, Tight)) << "foot of the perpendicular from the end point";
  }
  {
    SCOPED_TRACE("oblique wall: the point stays on its side, 1e-4 back along the step");
    const TRib rib{{0, -1}, {2, 1}};  // the line y = x - 1
    const TRealPoint p0{0, 0}, p1{2, 0};
    bool hit = false;
    TRealPoint pos;
    SlideAlongRib(p0, p1, rib, hit, pos);
    ASSERT_TRUE(hit);
    // Crossing (1, 0); backed off to (1 - 1e-4, 0), whose distance from the
    // line is 1e-4 / sqrt(2); the slide runs parallel to the rib.
    EXPECT_TRUE(RealNear(DistToLine(pos, rib.P1, rib.P2), 1e-4L / std::sqrt(2.0L), 1e-15L));
    EXPECT_LT(pos.X - pos.Y - 1, 0) << "same side as the start";
    const TRealPoint along = p1 - pos;
    EXPECT_TRUE(RealNear(along.X * 1 + along.Y * 1, 0, 1e-15L)) << "perpendicular foot";
  }
  {
    SCOPED_TRACE("no crossing: the end point stays");
    bool hit = true;
    TRealPoint pos;
    SlideAlongRib({0, 1}, {0.5L, 0.5L}, TRib{{-1, 0}, {1, 0}}, hit, pos);
    EXPECT_FALSE(hit);
    EXPECT_TRUE(PointNear(pos, {0.5L, 0.5L}, 0));
  }
  {
    SCOPED_TRACE("collinear with the rib: no back-off direction, the point stays at its start");
    bool hit = false;
    TRealPoint pos{-7, -7};
    SlideAlongRib({0, 0}, {2, 2}, TRib{{1, 1}, {3, 3}}, hit, pos);
    EXPECT_TRUE(hit);
    EXPECT_TRUE(std::isfinite(pos.X) && std::isfinite(pos.Y));
    EXPECT_TRUE(PointNear(pos, {0, 0}, 0));
  }
}

TEST(PathCrossesRibs, NearestCrossingCarriedAcross) {
  const TRib near{{1, -1}, {1, 1}};
  const TRib far{{2, -1}, {2, 1}};
  struct Row {
    const char* name;
    TRibArray ribs;
  };
  const Row rows[] = {{"far rib first", {far, near}}, {"near rib first", {near, far}}};
  for (const Row& r : rows) {
    TRealPoint stop{-7, -7};
    EXPECT_TRUE(PathCrossesRibs({0, 0}, {3, 0}, r.ribs, &stop)) << r.name;
    EXPECT_TRUE(PointNear(stop, {1.0001L, 0}, 1e-15L)) << r.name;
    EXPECT_TRUE(PathCrossesRibs({0, 0}, {3, 0}, r.ribs)) << r.name << " (no stop point)";
  }
  TRealPoint stop{-7, -7};
  EXPECT_FALSE(PathCrossesRibs({0, 0}, {0.5L, 0}, {near, far}, &stop));
  EXPECT_TRUE(PointNear(stop, {-7, -7}, 0)) << "stop written without a crossing";

  stop = {-7, -7};
  EXPECT_TRUE(PathCrossesRibs({0, 0}, {2, 2}, {TRib{{1, 1}, {3, 3}}}, &stop));
  EXPECT_TRUE(PointNear(stop, {0, 0}, 0)) << "collinear path: stays at the start, no NaN";
}

}  // namespace
}  // namespace mdv
