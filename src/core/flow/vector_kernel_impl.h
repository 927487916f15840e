#pragma once
// The vectorised ring kernel as a template on xsimd's instruction-set type.
// Included only by the per-set files vector_kernel_<set>.cpp, each compiled
// with that set's flags and -ffp-contract=off.
#include <xsimd/xsimd.hpp>

#include "core/flow/vector_kernel.h"

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
// The logarithm's polynomial in s² and ln 2 in two parts (those of fdlibm's
// log, which xsimd's logarithm uses too): log x = k ln 2 + 2s + s R(s²),
// s = (x - 1) / (x + 1), |error| of R below 2^-58.45 for |s| <= 0.1716.
inline constexpr double Lg1 = 6.666666666666735130e-01, Lg2 = 3.999999999940941908e-01,
                        Lg3 = 2.857142874366239149e-01, Lg4 = 2.222219843214978396e-01,
                        Lg5 = 1.818357216161805012e-01, Lg6 = 1.531383769920937332e-01,
                        Lg7 = 1.479819860511658591e-01;
inline constexpr double Ln2Hi = 6.93147180369123816490e-01, Ln2Lo = 1.90821492927058770002e-10;
inline constexpr double Sqrt2 = 1.41421356237309504880;
// Below this |2 r R| the point is on the axis (or the ring has no radius).
inline constexpr double AxisBand = 1e-10;

template <class Arch>
struct Block {
  using B = xsimd::batch<double, Arch>;
  using U = xsimd::batch<uint64_t, Arch>;
  static constexpr int W = static_cast<int>(B::size);
  static constexpr int Parts = 8 / W;  // registers per block of 8 rings
  static_assert(W * Parts == 8, "a block is 8 rings");

  // x = 2^e · m with m in [1, 2), for positive normal x; e is returned as
  // the biased exponent (the bias cancels in differences), exactly.
  [[gnu::always_inline]] static inline void Split(const B& x, B& m, B& e) {
    const U bits = xsimd::bitwise_cast<U>(x);
    m = xsimd::bitwise_cast<B>((bits & U(0x000fffffffffffffULL)) | U(0x3ff0000000000000ULL));
    e = xsimd::bitwise_cast<B>((bits >> 52) | U(0x4330000000000000ULL)) - B(4503599627370496.0);
  }

  // Both velocity components (axial, radial) of unit rings at (X, R) at the
  // point (px, r). The general branch is the classical form of the ring
  // formula: with Q = dx² + (r - R)², P = dx² + (r + R)², m1 = Q / P,
  //   axial  = (K + E (R² - r² - dx²) / Q) / (2π √P),
  //   radial = dx (E S / Q - K) / (2π r √P),   S = dx² + r² + R²,
  // all divisions taken from one reciprocal, which also gives the logarithm
  // of m1 = Q / P: with Q = 2^a q, P = 2^b p (q, p in [1, 2), one of them
  // doubled to bring q / p within [√2/2, √2]), log m1 = (a - b) ln 2 +
  // log(q / p), and s = (q - p) / (q + p) needs no quotient q / p. On the axis
  // (|2 r R| < 1e-10) axial = R² / (2 S √S), radial = 0. Where the formula
  // has no value (S = 0 on the axis, P = 0 at the ring's mirror image below
  // the axis) both are 0.
  //
  // Smoothed (the refined model's free rings): δ² is added to S, Q and P and
  // taken from R² - r² - dx², the ring kernel with a smoothing length δ of
  // Nitsche and Krasny; finite everywhere, the ring's own position included.
  template <bool Smoothed = false>
  [[gnu::always_inline]] static inline void Pair(const B& px, const B& r, const B& X, const B& R,
                                                B& ax, B& rad, const B& d2 = B(0.0)) {
    const B one(1.0), zero(0.0);
    const B dx = px - X;
    const B dx2 = dx * dx;
    B S = dx2 + r * r + R * R;
    const B T = (r + r) * R;
    const B rm = r - R, rp = r + R;
    B Q = dx2 + rm * rm;
    B P = dx2 + rp * rp;
    if constexpr (Smoothed) {
      S = S + d2;
      Q = Q + d2;
      P = P + d2;
    }
    const auto axis = xsimd::abs(T) < B(AxisBand);
    const B base = xsimd::select(axis, S, P);
    const auto none = base == zero;
    const B root = xsimd::sqrt(base);
    const B qr = xsimd::select(axis, one, Q * r);
    B q, p, eq, ep;
    Split(Q, q, eq);
    Split(P, p, ep);
    const auto up = q > p * B(Sqrt2);    // q / p > √2: halve it
    const auto down = q * B(Sqrt2) < p;  // q / p < √2/2: double it
    p = xsimd::select(up, p + p, p);
    q = xsimd::select(down, q + q, q);
    const B k = (eq - ep) + xsimd::select(up, one, xsimd::select(down, -one, zero));
    const B den = base * root * qr;
    const B sum = q + p;
    const B z = one / (den * sum);
    const B inv = sum * z;               // 1 / (base √base qr)
    const B s = (q - p) * (den * z);     // (q - p) / (q + p); q - p is exact
    const B s2 = s * s, s4 = s2 * s2;
    const B poly = s4 * (B(Lg2) + s4 * (B(Lg4) + s4 * B(Lg6))) +
                   s2 * (B(Lg1) + s4 * (B(Lg3) + s4 * (B(Lg5) + s4 * B(Lg7))));
    const B L = -(k * B(Ln2Hi) + ((s + s) + (s * poly + k * B(Ln2Lo))));  // ln(1 / m1)
    const B m1 = Q * (qr * root * inv);  // Q / P
    const B K = (A0 + m1 * (A1 + m1 * (A2 + m1 * (A3 + m1 * A4)))) +
                L * (B0 + m1 * (B1 + m1 * (B2 + m1 * (B3 + m1 * B4))));
    const B E = one + m1 * ((C1 + m1 * (C2 + m1 * (C3 + m1 * C4))) +
                            L * (D1 + m1 * (D2 + m1 * (D3 + m1 * D4))));
    B w = (R - r) * (R + r) - dx2;  // R² - r² - dx²
    if constexpr (Smoothed) w = w - d2;
    const B kq = K * Q;
    const B t = P * (inv * B(InvTwoPi));  // 1 / (2π √P Q r)
    const B axial = (kq + E * w) * (t * r);
    const B radial = (dx * t) * (E * S - kq);
    const B onAxis = R * R * inv * B(0.5);
    ax = xsimd::select(none, zero, xsimd::select(axis, onAxis, axial));
    rad = xsimd::select(axis || none, zero, radial);
  }

  // The smoothed kernel of two rings at each other from one evaluation: at
  // ring i (the point (px, r), 1/r = ir) of unit ring j at (X, R) (1/R = iR)
  // into axI, radI, and at ring j of unit ring i into axJ, radJ. Both share
  // Q, P and S (the swap of the two rings only turns dx and R² − r² round),
  // hence m1, K, E and 1/(2π √P Q); the division is the one of Pair, with Q
  // for Q·r: the radial components take 1/r and 1/R of each ring, computed
  // once per ring. Off the axis
  //   axial at i = (K Q + E (R² − r² − dx² − δ²)) / (2π √P Q),
  //   radial at i = dx (E S − K Q) / (2π r √P Q),
  // at j the same with dx → −dx, r ↔ R. On the axis (|2 r R| < 1e-10) the
  // axial ones are R² / (2 S √S) and r² / (2 S √S), the radial ones 0.
  [[gnu::always_inline]] static inline void Mutual(const B& px, const B& r, const B& ir,
                                                  const B& X, const B& R, const B& iR,
                                                  const B& d2, B& axI, B& radI, B& axJ,
                                                  B& radJ) {
    const B one(1.0), zero(0.0);
    const B dx = px - X;
    const B c = dx * dx + d2;
    const B rm = r - R, rp = r + R;
    const B Q = c + rm * rm;
    const B P = c + rp * rp;
    const B S = (P + Q) * B(0.5);
    const B T = (r + r) * R;
    const auto axis = xsimd::abs(T) < B(AxisBand);
    const B base = xsimd::select(axis, S, P);
    const auto none = base == zero;
    const B root = xsimd::sqrt(base);
    const B qq = xsimd::select(axis, one, Q);
    B q, p, eq, ep;
    Split(Q, q, eq);
    Split(P, p, ep);
    const auto up = q > p * B(Sqrt2);
    const auto down = q * B(Sqrt2) < p;
    p = xsimd::select(up, p + p, p);
    q = xsimd::select(down, q + q, q);
    const B k = (eq - ep) + xsimd::select(up, one, xsimd::select(down, -one, zero));
    const B den = base * root * qq;
    const B sum = q + p;
    const B z = one / (den * sum);
    const B inv = sum * z;            // 1 / (base √base qq)
    const B s = (q - p) * (den * z);  // (q - p) / (q + p)
    const B s2 = s * s, s4 = s2 * s2;
    const B poly = s4 * (B(Lg2) + s4 * (B(Lg4) + s4 * B(Lg6))) +
                   s2 * (B(Lg1) + s4 * (B(Lg3) + s4 * (B(Lg5) + s4 * B(Lg7))));
    const B L = -(k * B(Ln2Hi) + ((s + s) + (s * poly + k * B(Ln2Lo))));  // ln(1 / m1)
    const B m1 = Q * (qq * root * inv);                                   // Q / P
    const B K = (A0 + m1 * (A1 + m1 * (A2 + m1 * (A3 + m1 * A4)))) +
                L * (B0 + m1 * (B1 + m1 * (B2 + m1 * (B3 + m1 * B4))));
    const B E = one + m1 * ((C1 + m1 * (C2 + m1 * (C3 + m1 * C4))) +
                            L * (D1 + m1 * (D2 + m1 * (D3 + m1 * D4))));
    const B a = (R - r) * (R + r);  // R² − r²
    const B kq = K * Q;
    const B t = P * (inv * B(InvTwoPi));  // 1 / (2π √P Q)
    const B g = (dx * t) * (E * S - kq);
    const auto flat = axis || none;
    const B half = inv * B(0.5);
    axI = xsimd::select(none, zero, xsimd::select(axis, R * R * half, (kq + E * (a - c)) * t));
    axJ = xsimd::select(none, zero, xsimd::select(axis, r * r * half, (kq - E * (a + c)) * t));
    radI = xsimd::select(flat, zero, g * ir);
    radJ = xsimd::select(flat, zero, -(g * iR));
  }

  static B Lanes() {
    alignas(64) double lanes[W];
    for (int i = 0; i < W; ++i) lanes[i] = i;
    return B::load_aligned(lanes);
  }
};

// The 8 lane sums added in one order, whatever the register width. Each
// set's file keeps its own copy (internal linkage): the linker must never
// hand one set's code to another's kernels.
static inline double SumLanes(const double* l) {
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
    // Blocks inside the range without the skipped ring need no index test.
    const bool whole = end - base >= 8 && (skip < base || skip - base >= 8);
    for (int k = 0; k < K::Parts; ++k) {
      const int32_t i0 = base + k * K::W;
      const B X = B::load_unaligned(r.X + i0);
      const B R = B::load_unaligned(r.Y + i0);
      const B G = B::load_unaligned(r.G + i0);
      const B dx = p - X, dy = q - R;
      auto keep = !(dx * dx + dy * dy < cut);
      if (!whole) {
        const B index = B(static_cast<double>(i0)) + lanes;
        keep = keep && (index < last) && (index != skipped);
      }
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

// SumPair's sums with the smoothed kernel and no cut-off.
template <class Arch>
void SumPairSmoothed(const RingArrays& r, int32_t begin, int32_t end, int32_t skip, double px,
                     double py, double delta2, double& su, double& sv) {
  using K = Block<Arch>;
  using B = typename K::B;
  const B zero(0.0), p(px), q(py), d2(delta2), last(static_cast<double>(end)),
      skipped(static_cast<double>(skip)), lanes = K::Lanes();
  B accU[K::Parts], accV[K::Parts];
  for (int k = 0; k < K::Parts; ++k) accU[k] = accV[k] = zero;
  for (int32_t base = begin; base < end; base += 8) {
    const bool whole = end - base >= 8 && (skip < base || skip - base >= 8);
    for (int k = 0; k < K::Parts; ++k) {
      const int32_t i0 = base + k * K::W;
      const B X = B::load_unaligned(r.X + i0);
      const B R = B::load_unaligned(r.Y + i0);
      const B G = B::load_unaligned(r.G + i0);
      B ax, rad;
      K::template Pair<true>(p, q, X, R, ax, rad, d2);
      if (whole) {
        accU[k] += G * ax;
        accV[k] += G * rad;
      } else {
        const B index = B(static_cast<double>(i0)) + lanes;
        const auto keep = (index < last) && (index != skipped);
        accU[k] += xsimd::select(keep, G * ax, zero);
        accV[k] += xsimd::select(keep, G * rad, zero);
      }
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
void SmoothedTile(const RingArrays& r, const double* invR, int32_t i0, int32_t i1, int32_t j0,
                  int32_t j1, bool both, double delta2, double* rowU, double* rowV, double* colU,
                  double* colV) {
  using K = Block<Arch>;
  using B = typename K::B;
  const B zero(0.0), d2(delta2), last(static_cast<double>(j1)), lanes = K::Lanes();
  alignas(64) double cu[TileRings], cv[TileRings];  // the columns' sums
  for (int32_t j = 0; j < TileRings; ++j) cu[j] = cv[j] = 0;
  for (int32_t i = i0; i < i1; ++i) {
    const B p(r.X[i]), q(r.Y[i]), ir(invR[i]), gi(r.G[i]);
    B accU[K::Parts], accV[K::Parts];
    for (int k = 0; k < K::Parts; ++k) accU[k] = accV[k] = zero;
    for (int32_t base = j0; base < j1; base += 8) {
      const bool whole = j1 - base >= 8;
      for (int k = 0; k < K::Parts; ++k) {
        const int32_t c0 = base + k * K::W;
        const B X = B::load_unaligned(r.X + c0);
        const B R = B::load_unaligned(r.Y + c0);
        const B G = B::load_unaligned(r.G + c0);
        B axI, radI, axJ, radJ;
        K::Mutual(p, q, ir, X, R, B::load_unaligned(invR + c0), d2, axI, radI, axJ, radJ);
        if (whole) {
          accU[k] += G * axI;
          accV[k] += G * radI;
        } else {
          const auto keep = (B(static_cast<double>(c0)) + lanes) < last;
          accU[k] += xsimd::select(keep, G * axI, zero);
          accV[k] += xsimd::select(keep, G * radI, zero);
        }
        if (both) {  // lanes past j1 gather rubbish that is never read
          double* u = cu + (c0 - j0);
          double* v = cv + (c0 - j0);
          (B::load_aligned(u) + gi * axJ).store_aligned(u);
          (B::load_aligned(v) + gi * radJ).store_aligned(v);
        }
      }
    }
    alignas(64) double lu[8], lv[8];
    for (int k = 0; k < K::Parts; ++k) {
      accU[k].store_aligned(lu + k * K::W);
      accV[k].store_aligned(lv + k * K::W);
    }
    rowU[i - i0] = SumLanes(lu);
    rowV[i - i0] = SumLanes(lv);
  }
  if (!both) return;
  for (int32_t j = j0; j < j1; ++j) {
    colU[j - j0] = cu[j - j0];
    colV[j - j0] = cv[j - j0];
  }
}

template <class Arch>
constexpr Kernels KernelsFor() {
  return Kernels{&SumPair<Arch>, &NormalRow<Arch>, &SumPairSmoothed<Arch>, &SmoothedTile<Arch>};
}

}  // namespace mdv::vk::detail
