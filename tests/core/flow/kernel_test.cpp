#include "core/flow/kernel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/flow/ring_kernel.h"
#include "core/model_fixtures.h"

namespace mdv {
namespace {

using test::RealNear;

// Independent references: the complete elliptic integrals by the
// arithmetic-geometric mean, exact to extended precision.
void ExactElliptic(Real m, Real& k, Real& e) {
  Real a = 1;
  Real b = std::sqrt(1 - m);
  Real c = std::sqrt(m);
  Real sum = c * c / 2;  // 2^(n-1) c_n^2 for n = 0
  Real weight = 1;
  for (int i = 0; i < 40 && c != 0; ++i) {
    const Real an = (a + b) / 2;
    const Real bn = std::sqrt(a * b);
    c = (a - b) / 2;
    a = an;
    b = bn;
    sum += weight * c * c;
    weight *= 2;
  }
  k = Pi / (2 * a);
  e = k * (1 - sum);
}

// The classical closed forms of the velocity of a ring of unit circulation.
void ClassicalRing(const TRealPoint& p, const TRealPoint& ring, Real& axial, Real& radial) {
  const Real R = ring.Y, r = p.Y, dx = p.X - ring.X;
  const Real plus = dx * dx + (r + R) * (r + R);
  const Real minus = dx * dx + (r - R) * (r - R);
  Real k, e;
  ExactElliptic(4 * r * R / plus, k, e);
  axial = (k + (R * R - r * r - dx * dx) / minus * e) / (2 * Pi * std::sqrt(plus));
  radial = dx / (2 * Pi * r * std::sqrt(plus)) * ((dx * dx + r * r + R * R) / minus * e - k);
}

// Hastings' approximations are good to 2e-8 over 0 <= m < 1.
constexpr Real HastingsError = 2e-8L;

TEST(EllipticIntegrals, WithinTheApproximationErrorEverywhere) {
  for (Real m : {0.0L, 0.1L, 0.5L, 0.9L, 0.99L, 0.999999L}) {
    Real k, e;
    ExactElliptic(m, k, e);
    EXPECT_TRUE(RealNear(EllipticK(m), k, HastingsError)) << "K, m = " << test::Show(m);
    EXPECT_TRUE(RealNear(EllipticE(m), e, HastingsError)) << "E, m = " << test::Show(m);
  }
  EXPECT_TRUE(RealNear(EllipticK(0.5L), 1.8540747L, 5e-8L));
  EXPECT_TRUE(RealNear(EllipticE(0.5L), 1.3506439L, 5e-8L));
  // At m = 0 each is its constant coefficients' sum: K 1.57079632679,
  // E 1 + 0.57079632680.
  EXPECT_TRUE(RealNear(EllipticK(0), 1.57079632679L, 1e-18L));
  EXPECT_TRUE(RealNear(EllipticE(0), 1.5707963268L, 1e-18L));
  EXPECT_GT(EllipticK(1 - 1e-15L), 18) << "K grows like ln(1/(1-m))/2";
  EXPECT_TRUE(RealNear(EllipticE(1 - 1e-15L), 1, 1e-12L));
}

TEST(RingVelocity, KnownValues) {
  const TVortex ring{{0, 1}, 1};
  const TRealPoint ax{1, 0}, rad{0, 1};
  struct Row {
    const char* name;
    TRealPoint p;
    Real axial, radial, tol;
  };
  const Row rows[] = {
      {"centre of the ring (axis branch)", {0, 0}, 0.5L, 0, 1e-18L},
      {"2e-12 off the axis is still the axis branch", {0, 1e-12L}, 0.5L, 0, 1e-18L},
      {"inside the ring's plane", {0, 0.5L}, 0.6228103L, 0, 6e-8L},
      {"off the plane, inside", {0.5L, 0.5L}, 0.3458317L, 0.1286681L, 6e-8L},
      {"outside, behind", {1, 2}, -0.0050216L, 0.0321670L, 6e-8L},
  };
  for (const Row& r : rows) {
    EXPECT_TRUE(RealNear(RingVelocity(r.p, ring, ax), r.axial, r.tol)) << r.name << " axial";
    EXPECT_TRUE(RealNear(RingVelocity(r.p, ring, rad), r.radial, r.tol)) << r.name << " radial";
  }
}

TEST(RingVelocity, AgreesWithTheClassicalFormulas) {
  const TRealPoint rings[] = {{0, 1}, {0.3L, 0.4L}, {-0.5L, 0.05L}};
  const TRealPoint points[] = {{0.5L, 0.5L}, {1, 2}, {-0.3L, 0.2L}, {2, 0.1L}, {0.1L, 0.9L},
                               {-0.45L, 0.06L}};
  for (const TRealPoint& rp : rings) {
    for (const TRealPoint& p : points) {
      Real axial, radial;
      ClassicalRing(p, rp, axial, radial);
      const TVortex ring{rp, 1};
      // Error of the approximations, amplified near the ring.
      const Real tol = 2e-7L * (1 + std::fabs(axial) + std::fabs(radial));
      EXPECT_TRUE(RealNear(RingVelocity(p, ring, {1, 0}), axial, tol))
          << "ring " << test::Show(rp) << " point " << test::Show(p);
      EXPECT_TRUE(RealNear(RingVelocity(p, ring, {0, 1}), radial, tol))
          << "ring " << test::Show(rp) << " point " << test::Show(p);
    }
  }
}

TEST(RingVelocity, DirectionIsLinear) {
  const TVortex ring{{0.2L, 0.7L}, 3};  // the circulation is not an input
  for (const TRealPoint& p : {TRealPoint{0.5L, 0.5L}, TRealPoint{-1, 0.3L}, TRealPoint{0.2L, 0}}) {
    const Real ax = RingVelocity(p, ring, {1, 0});
    const Real rad = RingVelocity(p, ring, {0, 1});
    EXPECT_TRUE(RealNear(RingVelocity(p, ring, {0.6L, 0.8L}), 0.6L * ax + 0.8L * rad,
                         1e-17L * (1 + std::fabs(ax) + std::fabs(rad))))
        << "point " << test::Show(p);
  }
}

TEST(RingVelocity, PointsBelowTheAxisStayFinite) {
  const TVortex ring{{0, 1}, 1};
  // The mirror image of the ring: k² has no value there; it contributes nothing.
  EXPECT_EQ(RingVelocity({0, -1}, ring, {1, 0}), 0);
  EXPECT_EQ(RingVelocity({0, -1}, ring, {0, 1}), 0);
  for (const TRealPoint& p : {TRealPoint{0.5L, -0.5L}, TRealPoint{0, -0.3L}, TRealPoint{1, -2}}) {
    EXPECT_TRUE(std::isfinite(RingVelocity(p, ring, {1, 0}))) << test::Show(p);
    EXPECT_TRUE(std::isfinite(RingVelocity(p, ring, {0, 1}))) << test::Show(p);
  }
  // A ring of no radius, seen from its own centre, induces nothing.
  EXPECT_EQ(RingVelocity({0, 0}, TVortex{{0, 0}, 1}, {1, 0}), 0);
}

// Points where the shared forms could part from the literal kernel: the axis
// band, signed zeros of dx and r, the mirror point, points below the axis,
// k² close to 1, and an overflow that turns x·0 into NaN.
struct KernelCase {
  const char* name;
  TRealPoint p;
  TVortex ring;
};

std::vector<KernelCase> KernelCases() {
  const Real huge = 1e3000L;  // R² overflows: R²·0 is NaN, not 0
  return {
      {"centre of the ring", {0, 0}, {{0, 1}, 1}},
      {"2e-12 off the axis", {0.3L, 1e-12L}, {{0, 1}, 1}},
      {"-2e-12 below the axis", {0.3L, -1e-12L}, {{0, 1}, 1}},
      {"on the axis, negative zero", {0.3L, -0.0L}, {{0, 1}, 1}},
      {"ring of no radius, own centre", {0.2L, 0}, {{0.2L, 0}, 1}},
      {"ring of no radius, off it", {0.5L, 0.4L}, {{0.2L, 0}, 1}},
      {"ring of negative zero radius", {0.5L, 0.4L}, {{0.2L, -0.0L}, 1}},
      {"in the ring's plane, dx = +0", {0.25L, 0.5L}, {{0.25L, 1}, 1}},
      {"in the ring's plane, dx = -0", {-0.0L, 0.5L}, {{0.0L, 1}, 1}},
      {"general", {0.5L, 0.5L}, {{0, 1}, 1}},
      {"behind and outside", {-1, 2}, {{0, 1}, 1}},
      {"half a spacing from the ring", {0.1L, 0.305L}, {{0.1L, 0.3L}, 1}},
      {"1e-9 from the ring", {0.1L + 1e-9L, 0.3L}, {{0.1L, 0.3L}, 1}},
      {"below the axis", {0.5L, -0.5L}, {{0, 1}, 1}},
      {"below the axis, far", {1, -2}, {{0, 1}, 1}},
      {"mirror image of the ring", {0, -1}, {{0, 1}, 1}},
      {"mirror image, dx = -0", {-0.0L, -1}, {{0, 1}, 1}},
      {"huge ring radius", {0.5L, 0}, {{0, huge}, 1}},
      {"huge ring radius, off the axis", {0.5L, 0.5L}, {{0, huge}, 1}},
  };
}

TEST(RingVelocityPair, EqualsTheTwoSingleCallsBitForBit) {
  const TRealPoint ax{1, 0}, rad{0, 1};
  for (const KernelCase& c : KernelCases()) {
    Real u = -7, v = -7;
    RingVelocityPair(c.p, c.ring, u, v);
    const Real u1 = RingVelocity(c.p, c.ring, ax);
    const Real v1 = RingVelocity(c.p, c.ring, rad);
    EXPECT_TRUE(test::SameBits(u, u1)) << c.name << ": axial " << test::Show(u) << " vs " << test::Show(u1);
    EXPECT_TRUE(test::SameBits(v, v1)) << c.name << ": radial " << test::Show(v) << " vs " << test::Show(v1);
  }
  // The signed zeros are really there to be kept: the on-axis radial
  // component is +0, a huge ring's is NaN.
  Real u, v;
  RingVelocityPair({0.3L, -0.0L}, {{0, 1}, 1}, u, v);
  EXPECT_FALSE(std::signbit(v));
  RingVelocityPair({0.5L, 0}, {{0, 1e3000L}, 1}, u, v);
  EXPECT_TRUE(std::isnan(v));
}

TEST(RingVelocityPair, OneLogarithmForKAndEChangesNoBit) {
  for (Real m : {0.0L, -0.0L, 1e-30L, 0.1L, 0.5L, 0.9L, 0.999999L, 1 - 1e-18L, -0.5L, -3.0L}) {
    Real k, e;
    ring::EllipticKE(m, k, e);
    EXPECT_TRUE(test::SameBits(k, EllipticK(m))) << "K, m = " << test::Show(m);
    EXPECT_TRUE(test::SameBits(e, EllipticE(m))) << "E, m = " << test::Show(m);
  }
  // Along any direction (the control points' normals are such), the single
  // evaluation with one logarithm is the literal kernel.
  const TRealPoint dirs[] = {{0.6L, 0.8L}, {-0.8L, 0.6L}, {0, -1}, {-1, 0}, {0.70710678118654752L, -0.70710678118654752L}};
  for (const KernelCase& c : KernelCases()) {
    for (const TRealPoint& d : dirs) {
      EXPECT_TRUE(test::SameBits(ring::Along(c.p, c.ring, d), RingVelocity(c.p, c.ring, d)))
          << c.name << ", direction " << test::Show(d);
    }
  }
}

}  // namespace
}  // namespace mdv
