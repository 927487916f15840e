#include "core/analysis/isolines.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

namespace mdv {
namespace {

struct Field {
  std::vector<double> v;
  std::vector<uint8_t> inside;
  ScalarGridView g;
};

// f sampled on nx × ny points from (x0, y0) with spacing d.
Field Sample(int nx, int ny, double x0, double y0, double d,
             const std::function<double(double, double)>& f) {
  Field s;
  s.v.resize(static_cast<size_t>(nx * ny));
  s.inside.assign(s.v.size(), 1);
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) s.v[static_cast<size_t>(j * nx + i)] = f(x0 + i * d, y0 + j * d);
  s.g = {x0, y0, d, d, nx, ny, s.v.data(), s.inside.data()};
  return s;
}

TEST(Isolines, CircleLineAndSaddle) {
  // |r| = 0,3 around (0,5; 0,5) on a 0,02 grid: one closed loop on the circle.
  const Field circle = Sample(51, 51, 0, 0, 0.02, [](double x, double y) {
    return std::hypot(x - 0.5, y - 0.5);
  });
  const auto loops = Isolines(circle.g, 0.3);
  ASSERT_EQ(loops.size(), 1u);
  const IsoPolyline& c = loops[0];
  EXPECT_DOUBLE_EQ(c.front().X, c.back().X);
  EXPECT_DOUBLE_EQ(c.front().Y, c.back().Y);
  for (const IsoPoint& p : c) EXPECT_NEAR(std::hypot(p.X - 0.5, p.Y - 0.5), 0.3, 2e-3);
  EXPECT_NEAR(PolylineLength(c), 2 * std::numbers::pi * 0.3, 0.01);

  // f = x: one open line at x = 0,37 from the bottom row to the top row.
  const Field ramp = Sample(11, 8, 0, 0, 0.1, [](double x, double) { return x; });
  const auto lines = Isolines(ramp.g, 0.37);
  ASSERT_EQ(lines.size(), 1u);
  ASSERT_EQ(lines[0].size(), 8u);
  for (const IsoPoint& p : lines[0]) EXPECT_NEAR(p.X, 0.37, 1e-12);
  EXPECT_NEAR(std::fabs(lines[0].back().Y - lines[0].front().Y), 0.7, 1e-12);
  const IsoPoint mid = PolylineMidpoint(lines[0]);
  EXPECT_NEAR(mid.Y, 0.35, 1e-12);

  // f = x·y over [-1, 1]²: the level 0,1 gives two hyperbola branches, each
  // in its own quadrant, never joined across the saddle.
  const Field saddle = Sample(21, 21, -1, -1, 0.1, [](double x, double y) { return x * y; });
  const auto branches = Isolines(saddle.g, 0.1);
  ASSERT_EQ(branches.size(), 2u);
  for (const IsoPolyline& b : branches) {
    const double sign = b.front().X > 0 ? 1 : -1;
    for (const IsoPoint& p : b) {
      EXPECT_GT(p.X * sign, 0);
      EXPECT_GT(p.Y * sign, 0);
      EXPECT_NEAR(p.X * p.Y, 0.1, 0.02);
    }
  }
}

// One saddle cell worked by hand: corners 1 and 1 on one diagonal, 0,4 and
// 0 on the other, level 0,55. The centre's mean 0,6 is above, so the two
// low corners are cut off: (0,75; 0)–(1; 0,25) round 0,4 and (0; 0,45)–
// (0,55; 1) round 0, together 0,8·√2 long (cutting off the high corners
// instead would give two lines of √(0,75² + 0,45²)).
TEST(Isolines, SaddleCellByItsCentre) {
  const std::vector<double> v = {1, 0.4, 0, 1};  // (0,0), (1,0), (0,1), (1,1)
  const ScalarGridView g{0, 0, 1, 1, 2, 2, v.data(), nullptr};
  const std::vector<IsoPolyline> lines = Isolines(g, 0.55);
  ASSERT_EQ(lines.size(), 2u);
  double length = 0;
  for (const IsoPolyline& l : lines) {
    ASSERT_EQ(l.size(), 2u);
    length += PolylineLength(l);
    const double x = std::min(l[0].X, l[1].X), y = std::min(l[0].Y, l[1].Y);
    EXPECT_TRUE((std::fabs(x - 0.75) < 1e-15 && std::fabs(y) < 1e-15) ||
                (std::fabs(x) < 1e-15 && std::fabs(y - 0.45) < 1e-15))
        << x << " " << y;
  }
  EXPECT_NEAR(length, 0.8 * std::sqrt(2.0), 1e-15);
}

TEST(Isolines, HandWorkedDiamondAndMidpoint) {
  // A single raised point (1 at the centre of 3 × 3, 0 elsewhere), unequal
  // spacings and an offset origin: the level 0,25 crosses each of the four
  // edges from the centre a quarter of the way out, a closed diamond.
  const std::vector<double> v = {0, 0, 0, 0, 1, 0, 0, 0, 0};
  ScalarGridView g{2, -1, 0.5, 0.25, 3, 3, v.data(), nullptr};
  const std::vector<IsoPolyline> lines = Isolines(g, 0.25);
  ASSERT_EQ(lines.size(), 1u);
  const IsoPolyline& d = lines[0];
  ASSERT_EQ(d.size(), 5u);
  EXPECT_EQ(d.front().X, d.back().X);
  EXPECT_EQ(d.front().Y, d.back().Y);
  // (i, j) of the crossings: (0,25; 1), (1; 0,25), (1,75; 1), (1; 1,75)
  std::vector<std::pair<double, double>> expected = {{2.125, -0.75}, {2.5, -0.9375}, {2.875, -0.75}, {2.5, -0.5625}};
  for (size_t k = 0; k + 1 < d.size(); ++k) {
    SCOPED_TRACE(k);
    bool found = false;
    for (auto& e : expected) found = found || (std::fabs(d[k].X - e.first) < 1e-15 && std::fabs(d[k].Y - e.second) < 1e-15);
    EXPECT_TRUE(found) << d[k].X << " " << d[k].Y;
    // Consecutive points are neighbours on the diamond, never opposite.
    EXPECT_TRUE(std::fabs(d[k + 1].X - d[k].X) > 0.1 && std::fabs(d[k + 1].Y - d[k].Y) > 0.1);
  }
  // Each side is √(0,375² + 0,1875²).
  EXPECT_NEAR(PolylineLength(d), 4 * std::hypot(0.375, 0.1875), 1e-14);
  // A value equal to the level counts as above it: at level 1 the centre
  // alone is above, and every crossing falls on it.
  const std::vector<IsoPolyline> top = Isolines(g, 1.0);
  ASSERT_EQ(top.size(), 1u);
  for (const IsoPoint& p : top[0]) {
    EXPECT_DOUBLE_EQ(p.X, 2.5);
    EXPECT_DOUBLE_EQ(p.Y, -0.75);
  }
  // The midpoint by length of an L: (0,0) → (3,0) → (3,1): 2 along the first leg.
  const IsoPolyline l = {{0, 0}, {3, 0}, {3, 1}};
  EXPECT_DOUBLE_EQ(PolylineMidpoint(l).X, 2);
  EXPECT_DOUBLE_EQ(PolylineMidpoint(l).Y, 0);
  const IsoPolyline l2 = {{0, 0}, {1, 0}, {1, 3}};
  EXPECT_DOUBLE_EQ(PolylineMidpoint(l2).X, 1);
  EXPECT_DOUBLE_EQ(PolylineMidpoint(l2).Y, 1);
  // A masked corner removes the cells that touch it.
  std::vector<uint8_t> inside(9, 1);
  inside[0] = 0;
  g.Inside = inside.data();
  const std::vector<IsoPolyline> cut = Isolines(g, 0.25);
  ASSERT_EQ(cut.size(), 1u);
  EXPECT_EQ(cut[0].size(), 4u) << "an open line over three cells";
}

TEST(Isolines, MaskedPointsStopTheLine) {
  // f = x, with the points of rows 3 and 4 masked at columns 3..5: the line at
  // x = 0,42 breaks there into a lower and an upper part.
  Field ramp = Sample(11, 9, 0, 0, 0.1, [](double x, double) { return x; });
  for (int j = 3; j <= 4; ++j)
    for (int i = 3; i <= 5; ++i) ramp.inside[static_cast<size_t>(j * 11 + i)] = 0;
  const auto lines = Isolines(ramp.g, 0.42);
  ASSERT_EQ(lines.size(), 2u);
  for (const IsoPolyline& l : lines)
    for (const IsoPoint& p : l) EXPECT_TRUE(p.Y <= 0.2 + 1e-12 || p.Y >= 0.5 - 1e-12) << p.Y;
  // A fully masked grid, a constant field and a degenerate grid give nothing.
  std::fill(ramp.inside.begin(), ramp.inside.end(), 0);
  EXPECT_TRUE(Isolines(ramp.g, 0.42).empty());
  const Field flat = Sample(5, 5, 0, 0, 1, [](double, double) { return 2.0; });
  EXPECT_TRUE(Isolines(flat.g, 1.0).empty());
  ScalarGridView thin = flat.g;
  thin.Ny = 1;
  EXPECT_TRUE(Isolines(thin, 2.0).empty());
}

}  // namespace
}  // namespace mdv
