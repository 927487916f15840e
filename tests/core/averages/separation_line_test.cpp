#include "core/averages/separation_line.h"

#include <gtest/gtest.h>

#include <cmath>

namespace mdv {
namespace {

constexpr double B = 0.15, Q = 0.01;  // channel radius, m; ψ at the wall, m³/s
constexpr double Reattach = 0.3, Depth = 0.04;  // m

// The known separation streamline: it leaves the edge at (0, B), sinks by
// Depth and meets the wall again at x = Reattach.
double Dividing(double x) { return x < Reattach ? B - Depth * std::sin(M_PI * x / Reattach) : B; }

// A tube end at x = 0 (wall 0,02 m), the channel to x = 1,2.
Contour Tube() {
  Contour c;
  c.Start = {1.2L, 0.17L};
  c.Wall = {{{0, 0.17L}, 0}, {{0, 0.15L}, 0}, {{1.2L, 0.15L}, 0}};
  c.SuctionX = 1.0L;
  c.PlaneX = -0.5L;
  return c;
}

// A mean field whose stream function is known: uniform core flow inside the
// dividing streamline r_s(x), carrying ψ = Q, and in the zone an outward
// layer then a reversed one carrying no net flux (ψ back to Q at the wall).
GridField KnownField() {
  GridField f;
  AveragingGrid& g = f.Grid;
  g.X0 = -0.2;
  g.Dx = 0.01;
  g.Nx = 121;
  g.Y0 = 0;
  g.Dy = 0.0025;
  g.Ny = 80;
  const size_t n = static_cast<size_t>(g.Nx * g.Ny);
  g.Inside.assign(n, 0);
  f.VxMean.assign(n, 0);
  f.VyMean.assign(n, 0);
  for (int32_t j = 0; j < g.Ny; ++j) {
    for (int32_t i = 0; i < g.Nx; ++i) {
      const double x = g.X0 + g.Dx * i, y = g.Dy * j;
      const size_t k = static_cast<size_t>(j * g.Nx + i);
      if (x > 0 && y > B - 0.005) continue;  // the channel wall and its half-spacing
      g.Inside[k] = 1;
      const double rs = Dividing(x), rm = std::sqrt((B * B + rs * rs) / 2);
      const double core = 2 * Q / (rs * rs), w = 0.2;
      f.VxMean[k] = y < rs ? core : y < rm ? w : -w;
    }
  }
  return f;
}

TEST(SeparationLine, FollowsTheKnownStreamlineToItsReattachment) {
  const Contour c = Tube();
  const SeparationLine line = MeanSeparationLine(KnownField(), c, {0, 0.15L});
  ASSERT_TRUE(line.Separated) << line.Message;
  ASSERT_TRUE(line.Reattached);
  EXPECT_EQ(line.Points.front().X, 0);
  // A zone thinner than the strip the grid leaves along the wall is not seen.
  EXPECT_NEAR(static_cast<double>(line.Points.back().X), Reattach, 0.025);
  EXPECT_EQ(line.Points.back().Y, 0.15L);
  // Within a row of the truth.
  for (size_t i = 1; i + 1 < line.Points.size(); ++i) {
    const double x = static_cast<double>(line.Points[i].X);
    EXPECT_NEAR(static_cast<double>(line.Points[i].Y), Dividing(x), 0.0025) << x;
  }
}

TEST(SeparationLine, NoZoneNoLine) {
  GridField f = KnownField();
  for (double& v : f.VxMean) v = std::fabs(v);  // no reversed flow at the wall
  const SeparationLine line = MeanSeparationLine(f, Tube(), {0, 0.15L});
  EXPECT_FALSE(line.Separated);
  EXPECT_FALSE(line.Message.empty());
  Contour out;
  std::string error;
  EXPECT_FALSE(ProfiledContour(Tube(), 2, line, 0.001L, out, error));
  EXPECT_FALSE(error.empty());
}

// The wall fills the zone: it leaves the edge along the end face (no corner
// left there), keeps within the tolerance of the line, joins the old wall at
// the reattachment and keeps the rest of it.
TEST(SeparationLine, ProfiledWallFillsTheZone) {
  Contour c = Tube();
  c.SheddingCorners = {1, 2};
  const SeparationLine line = MeanSeparationLine(KnownField(), c, {0, 0.15L});
  Contour p;
  std::string error;
  const Real tol = 0.001L;
  ASSERT_TRUE(ProfiledContour(c, 2, line, tol, p, error)) << error;
  EXPECT_EQ(p.SheddingCorners, (std::vector<int>{1})) << "the mouth's corner is gone";
  EXPECT_LT(std::fabs(static_cast<double>(VertexTurn(p, 2))), 0.1) << "leaves along the end face";
  const int n = static_cast<int>(p.Wall.size());
  EXPECT_EQ(p.Wall.back().End.X, 1.2L);
  EXPECT_NEAR(static_cast<double>(ContourVertex(p, n - 1).X), Reattach, 0.025);
  for (int k = 3; k < n; ++k) EXPECT_LE(ContourVertex(p, k).Y, 0.15L) << "inside the zone at " << k;
  // By the angle alone only the tube end's outer corner still sheds: no
  // convex corner is left at the mouth or along the new wall.
  Contour byAngle = p;
  byAngle.SheddingCorners.clear();
  EXPECT_EQ(SheddingVertices(byAngle), (std::vector<int>{1}));
  // Past the curve off the corner the wall keeps to the line (but for its
  // last chord, up to where the grid sees the zone close).
  for (int k = 2; k + 2 < n; ++k) {
    for (double t : {0.25, 0.5, 0.75}) {
      const TRealPoint q = SegmentPoint(p, k, static_cast<Real>(t));
      if (q.X < 0.08L) continue;
      EXPECT_NEAR(static_cast<double>(q.Y), Dividing(static_cast<double>(q.X)), 0.006) << k << ' ' << t;
    }
  }
}

}  // namespace
}  // namespace mdv
