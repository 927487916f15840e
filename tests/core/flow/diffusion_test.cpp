// The free rings' diffusive velocity against the heat equation, the
// axisymmetric impulse and a wall that lets no vorticity through.
#include <gtest/gtest.h>

#include <cmath>

#include "core/flow/diffusion.h"
#include "core/flow/refined_step.h"
#include "core/flow/run.h"
#include "core/model_fixtures.h"

namespace mdv {
namespace {

// Free rings only, no body: a Gaussian blob of vorticity (variance σ² on
// each axis) around (0, r0) sampled on a square grid of the given spacing.
Model Blob(Real r0, Real sigma, Real spacing, Real halfWidth, Real nu, Real eps) {
  Model m;
  m.Flow = FlowModel::Refined;
  m.Refined.Viscosity = nu;
  m.Refined.SmoothingLength = eps;
  m.Exec.Threads = 2;
  const int32_t side = static_cast<int32_t>(std::lround(halfWidth / spacing));
  for (int32_t i = -side; i <= side; ++i)
    for (int32_t j = -side; j <= side; ++j) {
      const Real x = i * spacing, y = j * spacing;
      m.Vortices.push_back(TVortex{TRealPoint{x, r0 + y}, std::exp(-(x * x + y * y) / (2 * sigma * sigma))});
    }
  m.FreeVortexCount = static_cast<int32_t>(m.Vortices.size());
  return m;
}

struct Moments {
  Real gamma = 0, x = 0, r = 0, xx = 0, r2 = 0;  // ΣΓ and ΣΓ·(x, r, x², r²)
};

// The moments and their rates of change under the diffusive velocity alone.
void MomentsAndRates(Model& m, Moments& value, Moments& rate) {
  TRealPointArray v(static_cast<size_t>(m.FreeVortexCount));
  AddDiffusiveVelocities(m, v);
  value = rate = Moments{};
  for (int32_t k = 0; k < m.FreeVortexCount; ++k) {
    const TVortex& ring = m.Vortices[static_cast<size_t>(k)];
    const TRealPoint& p = ring.Pos;
    const TRealPoint& u = v[static_cast<size_t>(k)];
    value.gamma += ring.Gamma;
    value.x += ring.Gamma * p.X;
    value.r += ring.Gamma * p.Y;
    value.xx += ring.Gamma * p.X * p.X;
    value.r2 += ring.Gamma * p.Y * p.Y;
    rate.x += ring.Gamma * u.X;
    rate.r += ring.Gamma * u.Y;
    rate.xx += ring.Gamma * 2 * p.X * u.X;
    rate.r2 += ring.Gamma * 2 * p.Y * u.Y;
  }
}

TEST(Diffusion, BlobSpreadsAtTheHeatEquationsRate) {
  // Far from the axis the ring blob is a plane one: its variance grows by
  // 2ν per second on each axis, and its centre stays where it is. The
  // estimate through a Gaussian of width ε slows this by σ²/(σ² + ε²/2), 2 %.
  const Real nu = 1e-3L, sigma = 0.05L, eps = 0.01L;
  const Real slowed = 2 * nu * sigma * sigma / (sigma * sigma + eps * eps / 2);
  Model m = Blob(100, sigma, 0.005L, 0.2L, nu, eps);
  Moments value, rate;
  MomentsAndRates(m, value, rate);
  EXPECT_NEAR(static_cast<double>(rate.xx / value.gamma / slowed), 1, 0.005);
  EXPECT_NEAR(static_cast<double>(rate.x / value.gamma), 0, 1e-12);
  // d(var r)/dt = d⟨r²⟩/dt − 2⟨r⟩·d⟨r⟩/dt.
  const Real rateVarianceR = rate.r2 / value.gamma - 2 * value.r / value.gamma * rate.r / value.gamma;
  EXPECT_NEAR(static_cast<double>(rateVarianceR / slowed), 1, 0.005);
}

TEST(Diffusion, AxisymmetricBlobKeepsItsImpulse) {
  // A ring blob 0,3 m from the axis: viscosity leaves its impulse ΣΓ·r²
  // unchanged, while the vorticity's centroid ΣΓ·r drifts towards the axis
  // at ν·ΣΓ/r. Without the −ν/r term the impulse would grow at 2ν·ΣΓ; with
  // the term's sign wrong, fall at 2ν·ΣΓ.
  const Real nu = 1e-3L, r0 = 0.3L;
  const Model m = Blob(0, 0.03L, 0.0025L, 0.075L, nu, 0.005L);
  Model shifted = m;
  for (TVortex& v : shifted.Vortices) v.Pos.Y += r0;
  Moments value, rate;
  MomentsAndRates(shifted, value, rate);
  EXPECT_NEAR(static_cast<double>(rate.r2 / (2 * nu * value.gamma)), 0, 0.05);
  Real inverse = 0;  // Σ Γ/r
  for (const TVortex& v : shifted.Vortices) inverse += v.Gamma / v.Pos.Y;
  EXPECT_NEAR(static_cast<double>(rate.r / (-nu * inverse)), 1, 0.05);
}

TEST(Diffusion, WallSendsALoneRingAwayAndOnlyItsOwnSignCounts) {
  Model m = test::CoarseModel(0.01L);
  m.Flow = FlowModel::Refined;
  const Real nu = 1e-3L, eps = 0.01L, d = 0.004L;
  m.Refined.Viscosity = nu;
  m.Refined.SmoothingLength = eps;
  const int32_t n = m.AttachedCount;
  const Real y = m.ChannelRadius - d;  // inside the channel, d below its wall
  m.Vortices.resize(static_cast<size_t>(n) + 3);
  m.Vortices[n] = TVortex{TRealPoint{0.4L, y}, 0.01L};
  m.FreeVortexCount = 1;
  // Its mirror image 2d away, across the wall: exp(−(2d)²/ε²) of its weight.
  const Real g = std::exp(-4 * d * d / (eps * eps));
  const Real away = 2 * nu / (eps * eps) * 2 * d * g / (1 + g);
  TRealPoint v = DiffusiveVelocity(m, 0);
  EXPECT_TRUE(test::RealNear(v.X, 0, 1e-15L));
  EXPECT_TRUE(test::RealNear(v.Y, -away - nu / y, 1e-15L));
  // A ring of the other sign next to it, and one of its sign out of reach,
  // change nothing.
  m.Vortices[n + 1] = TVortex{TRealPoint{0.405L, y - 0.003L}, -0.02L};
  m.Vortices[n + 2] = TVortex{TRealPoint{0.4L - 7 * eps, y}, 0.01L};
  m.FreeVortexCount = 3;
  const TRealPoint same = DiffusiveVelocity(m, 0);
  EXPECT_EQ(same.X, v.X);
  EXPECT_EQ(same.Y, v.Y);
  // No viscosity, no diffusive velocity.
  m.Refined.Viscosity = 0;
  TRealPointArray none(3);
  AddDiffusiveVelocities(m, none);
  for (const TRealPoint& p : none) EXPECT_TRUE(p.X == 0 && p.Y == 0);
}

TEST(Diffusion, WallImagesTurnWithTheWall) {
  // Two rings of one sign by the channel's wall and the same two by the
  // inclined flange's face: in the wall's own frame (along it, off it) their
  // diffusive velocities, less the axisymmetric −ν/r, are the same.
  Model m = test::CoarseModel(0.01L);
  m.Flow = FlowModel::Refined;
  m.Refined.Viscosity = 1e-3L;
  m.Refined.SmoothingLength = 0.01L;
  const int32_t n = m.AttachedCount;
  m.Vortices.resize(static_cast<size_t>(n) + 2);
  m.FreeVortexCount = 2;
  struct Frame {
    TRealPoint along, off, at;  // unit vectors and the point on the wall
  };
  std::vector<Frame> frames;
  for (int32_t j = 0; j < m.BodyRibCount; ++j) {
    const TRib& r = m.BodyRibs[j];
    const Real ex = r.P2.X - r.P1.X, ey = r.P2.Y - r.P1.Y, len = std::hypot(ex, ey);
    const bool channel = std::fabs(ey) < 1e-12L && r.P1.Y == m.ChannelRadius && len > 0.3L;
    const bool flange = std::fabs(ex) > 0.1L && std::fabs(ey) > 0.1L;
    if (j == m.SuctionRib || !(channel || flange)) continue;
    const TRealPoint t{ex / len, ey / len}, mid{(r.P1.X + r.P2.X) / 2, (r.P1.Y + r.P2.Y) / 2};
    for (Real side : {1.0L, -1.0L}) {  // off the wall towards the flow
      const TRealPoint off{-t.Y * side, t.X * side};
      if (std::fabs(WallDistance(m, TRealPoint{mid.X + 0.004L * off.X, mid.Y + 0.004L * off.Y}) - 0.004L) < 1e-12L &&
          (!channel || off.Y < 0)) {
        frames.push_back(Frame{t, off, mid});
        break;
      }
    }
  }
  ASSERT_EQ(frames.size(), 3u);  // the channel's wall and both faces of the flange
  TRealPoint local[3][2];
  for (size_t f = 0; f < 3; ++f) {
    const Frame& w = frames[f];
    const auto place = [&](Real a, Real o) {
      return TRealPoint{w.at.X + a * w.along.X + o * w.off.X, w.at.Y + a * w.along.Y + o * w.off.Y};
    };
    m.Vortices[n] = TVortex{place(0, 0.004L), 0.01L};
    m.Vortices[n + 1] = TVortex{place(0.005L, 0.008L), 0.02L};
    for (int32_t k = 0; k < 2; ++k) {
      TRealPoint v = DiffusiveVelocity(m, k);
      v.Y += m.Refined.Viscosity / m.Vortices[n + k].Pos.Y;
      local[f][k] = TRealPoint{v.X * w.along.X + v.Y * w.along.Y, v.X * w.off.X + v.Y * w.off.Y};
    }
  }
  for (int32_t k = 0; k < 2; ++k) {
    EXPECT_GT(local[0][k].Y, 0.01L) << k;  // away from the wall, m/s
    for (size_t f = 1; f < 3; ++f) {
      EXPECT_TRUE(test::RealNear(local[0][k].X, local[f][k].X, 1e-12L)) << k << ' ' << f;
      EXPECT_TRUE(test::RealNear(local[0][k].Y, local[f][k].Y, 1e-12L)) << k << ' ' << f;
    }
  }
}

TEST(Diffusion, RefinedRunIsTheSameOnAnyThreadCount) {
  // Diffusion reads every ring's neighbours while the threads write their
  // own rings' velocities: the run must not depend on how they are split.
  struct Case {
    int threads;
    Real nu;  // m²/s
  };
  Model runs[3];
  const Case cases[3] = {{1, 1e-3L}, {2, 1e-3L}, {2, 0}};
  for (int c = 0; c < 3; ++c) {
    Model& m = runs[c];
    m = test::CoarseModel(0.02L);
    m.FlangeAngle = 0;  // the re-entrant inlet in open space
    m.PlaneX = -4;
    m.InflowSpeed = 0;
    BuildArea(m);
    m.Flow = FlowModel::Refined;
    m.Exec.Arithmetic = Precision::Double;
    m.Exec.Threads = cases[c].threads;
    m.Refined.Viscosity = cases[c].nu;
    const RunSummary r = RunSimulation(m, 4000, 0, 0, 0.5L, 0.01L, NullObserver());
    ASSERT_EQ(r.HowEnded, RunSummary::End::TimeLimit) << r.Message;
  }
  ASSERT_GT(runs[0].FreeVortexCount, 10);
  ASSERT_EQ(runs[0].FreeVortexCount, runs[1].FreeVortexCount);
  const int32_t n = runs[0].AttachedCount;
  bool diffused = runs[0].FreeVortexCount != runs[2].FreeVortexCount;
  for (int32_t k = 0; k < runs[0].FreeVortexCount; ++k) {
    EXPECT_EQ(runs[0].Vortices[n + k].Pos.X, runs[1].Vortices[n + k].Pos.X) << k;
    EXPECT_EQ(runs[0].Vortices[n + k].Pos.Y, runs[1].Vortices[n + k].Pos.Y) << k;
    if (k < runs[2].FreeVortexCount) diffused |= runs[0].Vortices[n + k].Pos.Y != runs[2].Vortices[n + k].Pos.Y;
  }
  EXPECT_TRUE(diffused);  // the viscosity acts
  // The neighbour test in double leaves out only rings that add nothing:
  // every ring's V_d is the whole sum's to the bit.
  Model& m = runs[0];
  TRealPointArray sum(static_cast<size_t>(m.FreeVortexCount));
  AddDiffusiveVelocities(m, sum);
  for (int32_t k = 0; k < m.FreeVortexCount; ++k) {
    const TRealPoint whole = DiffusiveVelocity(m, k);
    EXPECT_EQ(sum[k].X, whole.X) << k;
    EXPECT_EQ(sum[k].Y, whole.Y) << k;
  }
}

}  // namespace
}  // namespace mdv
