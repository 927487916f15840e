#include "core/averages/separation_line.h"

#include <gtest/gtest.h>

#include <cmath>

namespace mdv {
namespace {

constexpr double B = 0.15, Q = 0.01;  // channel radius, m; ψ at the wall, m³/s
constexpr double Reattach = 0.3, Depth = 0.04;  // m

// The known separation streamline: it leaves the edge at (0, B) along the
// tube's end face (radially, as a free streamline leaves a sharp edge),
// sinks by Depth and meets the wall again at x = Reattach.
double Dividing(double x) { return x < Reattach ? B - Depth * std::sqrt(std::sin(M_PI * x / Reattach)) : B; }

// A tube end at x = 0 (wall 0,02 m), the channel to x = 1,2.
Contour Tube() {
  Contour c;
  c.Start = {1.2L, 0.17L};
  c.Wall = {{{0, 0.17L}, 0}, {{0, 0.15L}, 0}, {{1.2L, 0.15L}, 0}};
  c.SuctionX = 1.0L;
  c.PlaneX = -0.5L;
  return c;
}

// Section profiles whose stream function is known: uniform core flow inside
// the dividing streamline r_s(x), carrying ψ = Q, and in the zone an outward
// layer then a reversed one carrying no net flux (ψ back to Q at the wall).
ContractionSummary KnownSections() {
  ContractionSummary c;
  c.Present = true;
  const int n = ContractionSectionPoints;
  for (int k = 1; k * B / 4 <= 1.0 - B / 2 + 1e-9; ++k) {
    ContractionSection s;
    s.X = k * B / 4;
    const double rs = Dividing(s.X), rm = std::sqrt((B * B + rs * rs) / 2);
    const double core = 2 * Q / (rs * rs), w = 0.2;
    for (int j = 0; j < n; ++j) {
      const double y = B * (j + 0.5) / n;
      s.Vx.push_back(y < rs ? core : y < rm ? w : -w);
    }
    c.Sections.push_back(s);
  }
  return c;
}

TEST(SeparationLine, FollowsTheKnownStreamlineToItsReattachment) {
  const Contour c = Tube();
  const SeparationLine line = MeanSeparationLine(KnownSections(), c, {0, 0.15L});
  ASSERT_TRUE(line.Separated) << line.Message;
  ASSERT_TRUE(line.Reattached);
  EXPECT_EQ(line.Points.front().X, 0);
  // Sections lie every B/4; a zone thinner than a strip (B/30) is not seen.
  EXPECT_NEAR(static_cast<double>(line.Points.back().X), Reattach, B / 4);
  EXPECT_EQ(line.Points.back().Y, 0.15L);
  // Within one and a half strips of the truth (a strip is carried at its midpoint).
  for (size_t i = 1; i + 1 < line.Points.size(); ++i) {
    const double x = static_cast<double>(line.Points[i].X);
    EXPECT_NEAR(static_cast<double>(line.Points[i].Y), Dividing(x), 1.5 * B / 30) << x;
  }
}

TEST(SeparationLine, NoZoneNoLine) {
  ContractionSummary f = KnownSections();
  for (ContractionSection& s : f.Sections) {
    for (double& v : s.Vx) v = std::fabs(v);  // no reversed flow at the wall
  }
  const SeparationLine line = MeanSeparationLine(f, Tube(), {0, 0.15L});
  EXPECT_FALSE(line.Separated);
  EXPECT_FALSE(line.Message.empty());
  Contour out;
  std::string error;
  EXPECT_FALSE(ProfiledContour(Tube(), 2, line, 0.001L, out, error));
  EXPECT_FALSE(error.empty());
}

// The profiled wall meets a sloping channel wall on it.
TEST(SeparationLine, ProfiledWallMeetsASlopingWallOnIt) {
  Contour c = Tube();
  c.Wall.back().End.Y = 0.162L;
  c.Spacing = 0.002L;
  const SeparationLine line = MeanSeparationLine(KnownSections(), c, {0, 0.15L});
  Contour p;
  std::string error;
  ASSERT_TRUE(ProfiledContour(c, 2, line, 0.001L, p, error)) << error;
  const TRealPoint joint = ContourVertex(p, static_cast<int>(p.Wall.size()) - 1);
  EXPECT_NEAR(static_cast<double>(joint.Y), 0.15 + 0.012 * static_cast<double>(joint.X) / 1.2, 1e-15);
  EXPECT_EQ(p.Wall.back().End.Y, 0.162L);
}

// The wall fills the zone: it leaves the edge along the end face (no corner
// left there), keeps within the tolerance of the line, joins the old wall at
// the reattachment and keeps the rest of it.
TEST(SeparationLine, ProfiledWallFillsTheZone) {
  Contour c = Tube();
  c.SheddingCorners = {1, 2};
  c.Spacing = 0.002L;  // segments 2h long at least: fine enough for the curve off the corner
  const SeparationLine line = MeanSeparationLine(KnownSections(), c, {0, 0.15L});
  Contour p;
  std::string error;
  const Real tol = 0.001L;
  Contour refused;
  EXPECT_FALSE(ProfiledContour(c, 0, line, tol, refused, error)) << "the wall's start is no corner";
  EXPECT_FALSE(ProfiledContour(c, 3, line, tol, refused, error)) << "nor its end";
  ASSERT_TRUE(ProfiledContour(c, 2, line, tol, p, error)) << error;
  EXPECT_EQ(p.SheddingCorners, (std::vector<int>{1})) << "the mouth's corner is gone";
  // Along the end face, as far as chords 2h long let the curve bend.
  EXPECT_LT(std::fabs(VertexTurn(p, 2)), DefaultSeparationAngle / 2) << "leaves along the end face";
  for (int k = 3; k < static_cast<int>(p.Wall.size()); ++k) EXPECT_LT(VertexTurn(p, k), DefaultSeparationAngle) << k;
  const int n = static_cast<int>(p.Wall.size());
  EXPECT_EQ(p.Wall.back().End.X, 1.2L);
  EXPECT_NEAR(static_cast<double>(ContourVertex(p, n - 1).X), Reattach, B / 4);
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

// A corner away from the mouth: its line is traced through the grid field.
// In a uniform field sloping down at 45° from a step's edge the line is
// straight and meets the lower face where it comes within a grid spacing
// of it.
TEST(SeparationLine, TracedFromACornerUntilItMeetsAWall) {
  Contour c;
  c.Start = {1.2L, 0.4L};
  c.Wall = {{{0.3L, 0.4L}, 0}, {{0.3L, 0.3L}, 0}, {{0, 0.3L}, 0}, {{0, 0.15L}, 0}, {{1.2L, 0.15L}, 0}};
  c.SheddingCorners = {1};
  AveragingResults r;
  r.HasAverages = true;
  AveragingGrid& g = r.Field.Grid;
  g.X0 = -0.5;
  g.Y0 = 0;
  g.Dx = g.Dy = 0.01;
  g.Nx = 90;
  g.Ny = 60;
  const size_t n = static_cast<size_t>(g.Nx * g.Ny);
  g.Inside.assign(n, 1);
  r.Field.VxMean.assign(n, -0.6);  // towards the step's lower face, upstream
  r.Field.VyMean.assign(n, -0.6);
  std::vector<CornerSeparation> lines = MeanSeparationLines(r, c);
  ASSERT_EQ(lines.size(), 1u);
  const CornerSeparation& l = lines.front();
  EXPECT_EQ(l.Corner, 1);
  ASSERT_TRUE(l.Reattached);
  // It leaves along the upper face (−x), then follows the field.
  EXPECT_NEAR(l.Points[1][0], 0.29, 1e-12);
  EXPECT_NEAR(l.Points[1][1], 0.4, 1e-12);
  for (size_t i = 2; i < l.Points.size(); ++i) {
    EXPECT_NEAR(l.Points[i][1] - 0.4, l.Points[i][0] - 0.29, 1e-9) << i;
  }
  // Within a spacing (0,01 m) of the lower face r = 0,3 first at r = 0,31.
  EXPECT_NEAR(l.Points.back()[1], 0.31, 0.005);
  EXPECT_GT(l.Points.back()[0], 0.1) << "on the lower face, not past it";

  // The mouth (the tube end's inner corner) takes its line from the
  // channel sections, the step's edge keeps its traced one.
  c.SheddingCorners = {1, 4};
  r.Contraction = KnownSections();
  r.Contraction.MouthX = 0;
  r.Contraction.MouthY = 0.15;
  lines = MeanSeparationLines(r, c);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].Corner, 1);
  EXPECT_NEAR(lines[0].Points.back()[1], 0.31, 0.005);
  EXPECT_EQ(lines[1].Corner, 4);
  EXPECT_TRUE(lines[1].Reattached);
  EXPECT_NEAR(lines[1].Points.back()[0], Reattach, B / 4);
}

}  // namespace
}  // namespace mdv
