#pragma once
// The vectorised ring kernel as a template on xsimd's instruction-set type.
// Included only by the per-set files vector_kernel_<set>.cpp, each compiled
// with that set's flags and -ffp-contract=off.
#include <xsimd/xsimd.hpp>

#include "core/vector_kernel.h"

namespace mdv::vk::detail {

// Hastings' coefficients of K(m) (a_i, b_i) and E(m) (c_i, d_i) in powers of m1 = 1 - m.
inline constexpr double A0 = 1.38629436112, A1 = 0.09666344259, A2 = 0.03590092383,
                        A3 = 0.03742563713, A4 = 0.01451196212;
inline constexpr double B0 = 0.5, B1 = 0.12498593597, B2 = 0.06880248576, B3 = 0.03328355346,
                        B4 = 0.00441787012;
inline constexpr double C1 = 0.44325141463, C2 = 0.06260601220, C3 = 0.04757383546,
                        C4 = 0.01736506451;
inline constexpr double D1 = 0.24998368310, D2 = 0.09200180037, D3 = 0.04069697526,
                        D4 = 0.00526449639;
inline constexpr double InvTwoPi = 0.15915494309189533577;
// Below this |2 r R| the point is on the axis (or the ring has no radius).
inline constexpr double AxisBand = 1e-10;

template <class Arch>
struct Block {
  using B = xsimd::batch<double, Arch>;
  static constexpr int W = static_cast<int>(B::size);
  static constexpr int Parts = 8 / W;  // registers per block of 8 rings
  static_assert(W * Parts == 8, "a block is 8 rings");

  // Both velocity components (axial, radial) of unit rings at (X, R) at the
  // point (px, r). The general branch is the classical form of the ring
  // formula: with Q = dx² + (r - R)², P = dx² + (r + R)², m1 = Q / P,
  //   axial  = (K + E (R² - r² - dx²) / Q) / (2π √P),
  //   radial = dx (E S / Q - K) / (2π r √P),   S = dx² + r² + R²,
  // all divisions taken from one reciprocal 1 / (P √P Q r). On the axis
  // (|2 r R| < 1e-10) axial = R² / (2 S √S), radial = 0. Where the formula
  // has no value (S = 0 on the axis, P = 0 at the ring's mirror image below
  // the axis) both are 0.
  static void Pair(B px, B r, B X, B R, B& ax, B& rad) {
    const B one(1.0), zero(0.0);
    const B dx = px - X;
    const B dx2 = dx * dx;
    const B S = dx2 + r * r + R * R;
    const B T = (r + r) * R;
    const B rm = r - R, rp = r + R;
    const B Q = dx2 + rm * rm;
    const B P = dx2 + rp * rp;
    const auto axis = xsimd::abs(T) < B(AxisBand);
    const auto none = (axis && S == zero) || (!axis && P == zero);
    const B base = xsimd::select(axis, S, P);
    const B root = xsimd::sqrt(base);
    const B qr = xsimd::select(axis, one, Q * r);
    const B inv = one / (base * root * qr);
    const B m1 = Q * (qr * root * inv);  // Q / P
    const B L = -xsimd::log(m1);
    const B K = (A0 + m1 * (A1 + m1 * (A2 + m1 * (A3 + m1 * A4)))) +
                L * (B0 + m1 * (B1 + m1 * (B2 + m1 * (B3 + m1 * B4))));
    const B E = one + m1 * ((C1 + m1 * (C2 + m1 * (C3 + m1 * C4))) +
                            L * (D1 + m1 * (D2 + m1 * (D3 + m1 * D4))));
    const B w = (R - r) * (R + r) - dx2;  // R² - r² - dx²
    const B axial = (K * Q + E * w) * (P * r * inv) * B(InvTwoPi);
    const B radial = dx * (E * S - K * Q) * (P * inv) * B(InvTwoPi);
    const B onAxis = R * R * inv * B(0.5);
    ax = xsimd::select(none, zero, xsimd::select(axis, onAxis, axial));
    rad = xsimd::select(axis || none, zero, radial);
  }

  static B Lanes() {
    alignas(64) double lanes[W];
    for (int i = 0; i < W; ++i) lanes[i] = i;
    return B::load_aligned(lanes);
  }
};

// The 8 lane sums added in one order, whatever the register width.
inline double SumLanes(const double* l) {
  return ((l[0] + l[1]) + (l[2] + l[3])) + ((l[4] + l[5]) + (l[6] + l[7]));
}

template <class Arch>
void SumPair(const RingArrays& r, int32_t begin, int32_t end, int32_t skip, double px, double py,
             double cutSq, double& su, double& sv) {
  using K = Block<Arch>;
  using B = typename K::B;
  const B zero(0.0), p(px), q(py), cut(cutSq), last(static_cast<double>(end)),
      skipped(static_cast<double>(skip)), lanes = K::Lanes();
  B accU[K::Parts], accV[K::Parts];
  for (int k = 0; k < K::Parts; ++k) accU[k] = accV[k] = zero;
  for (int32_t base = begin; base < end; base += 8) {
    for (int k = 0; k < K::Parts; ++k) {
      const int32_t i0 = base + k * K::W;
      const B X = B::load_unaligned(r.X + i0);
      const B R = B::load_unaligned(r.Y + i0);
      const B G = B::load_unaligned(r.G + i0);
      const B index = B(static_cast<double>(i0)) + lanes;
      const B dx = p - X, dy = q - R;
      const auto keep = (index < last) && (index != skipped) && !(dx * dx + dy * dy < cut);
      B ax, rad;
      K::Pair(p, q, X, R, ax, rad);
      accU[k] += xsimd::select(keep, G * ax, zero);
      accV[k] += xsimd::select(keep, G * rad, zero);
    }
  }
  alignas(64) double lu[8], lv[8];
  for (int k = 0; k < K::Parts; ++k) {
    accU[k].store_aligned(lu + k * K::W);
    accV[k].store_aligned(lv + k * K::W);
  }
  su = SumLanes(lu);
  sv = SumLanes(lv);
}

template <class Arch>
void NormalRow(const RingArrays& r, int32_t begin, int32_t end, double px, double py, double nx,
               double ny, double* out) {
  using K = Block<Arch>;
  using B = typename K::B;
  const B p(px), q(py), a(nx), b(ny);
  for (int32_t i0 = begin; i0 < end; i0 += K::W) {
    B ax, rad;
    K::Pair(p, q, B::load_unaligned(r.X + i0), B::load_unaligned(r.Y + i0), ax, rad);
    const B v = a * ax + b * rad;
    if (end - i0 >= K::W) {
      v.store_unaligned(out + (i0 - begin));
    } else {
      alignas(64) double tail[K::W];
      v.store_aligned(tail);
      for (int32_t j = i0; j < end; ++j) out[j - begin] = tail[j - i0];
    }
  }
}

template <class Arch>
constexpr Kernels KernelsFor() {
  return Kernels{&SumPair<Arch>, &NormalRow<Arch>};
}

}  // namespace mdv::vk::detail
