#pragma once
// The ring kernel in double, vectorised with xsimd: blocks of 8 rings (one
// AVX-512 register, two AVX2 or four SSE2 registers), one logarithm, one
// square root and one division per ring. Compiled once per instruction set
// and chosen when the program starts by what the processor offers, so one
// binary runs on any x86-64.
//
// Every instruction set gives the same bits: the kernels use only IEEE
// additions, multiplications, divisions and square roots and exact bit
// operations (no fused multiply-add: the kernel files are compiled with
// -ffp-contract=off and the AVX2 and AVX-512 kernels are built without FMA),
// and each of the 8 lanes of a block sums its own rings in index order before
// the 8 lane sums are added in one fixed order. The logarithm is fdlibm's
// algorithm (the one xsimd's log uses) on the ratio m1 = Q / P, written here
// so that it shares the kernel's one division: xsimd's log, with a division
// of its own, took half the kernel's time.
#include <cstdint>

#include "core/model/double_state.h"

namespace mdv::vk {

enum class Isa { Sse2, Avx2, Avx512 };

// Rings per tile of SmoothedTile, a multiple of the block of 8.
inline constexpr int32_t TileRings = 64;

struct Kernels {
  // su = Σ G·axial, sv = Σ G·radial over the rings [begin, end) except the
  // one at index skip, leaving out rings whose squared distance from the
  // point (px, py) is below cutSq (m²).
  void (*SumPair)(const RingArrays& r, int32_t begin, int32_t end, int32_t skip, double px,
                  double py, double cutSq, double& su, double& sv);
  // out[j - begin] = nx·axial + ny·radial of the unit ring j at (px, py), j in [begin, end).
  void (*NormalRow)(const RingArrays& r, int32_t begin, int32_t end, double px, double py,
                    double nx, double ny, double* out);
  // SumPair with the smoothed kernel of smoothing length √delta2 (m) and no
  // cut-off: the refined model's free rings.
  void (*SumPairSmoothed)(const RingArrays& r, int32_t begin, int32_t end, int32_t skip,
                          double px, double py, double delta2, double& su, double& sv);
  // The smoothed kernel of the rings [i0, i1) and [j0, j1) at each other, no
  // cut-off, j1 − j0 <= TileRings: rowU[i − i0], rowV[i − i0] = Σ_j G_j·
  // (axial, radial) of ring j at ring i (each of 8 lanes summing its rings
  // in index order, the lanes added as in SumPair); when `both`, also
  // colU[j − j0], colV[j − j0] = Σ_i G_i·(axial, radial) of ring i at ring
  // j, in index order, from the same evaluations. invR[i] = 1 / r.Y[i],
  // readable as far as r.
  void (*SmoothedTile)(const RingArrays& r, const double* invR, int32_t i0, int32_t i1,
                       int32_t j0, int32_t j1, bool both, double delta2, double* rowU,
                       double* rowV, double* colU, double* colV);
};

// The kernels of the chosen set (the widest the processor runs, unless UseIsa chose).
const Kernels& Active();
Isa ActiveIsa();
const char* IsaName(Isa isa);
bool IsaSupported(Isa isa);
// The kernels of one set; the processor must support it.
const Kernels& KernelsOf(Isa isa);
// For tests and benchmarks: makes isa the active set; false (and no change)
// when the processor lacks it. Not while the kernels are in use.
bool UseIsa(Isa isa);

}  // namespace mdv::vk
