// Chooses the instruction set of the vectorised kernel. This file is compiled
// for the baseline x86-64 and includes no vector code.
#include "core/flow/vector_kernel.h"

#include <atomic>

namespace mdv::vk {

extern const Kernels Kernels_sse2;
extern const Kernels Kernels_avx2;
extern const Kernels Kernels_avx512;

namespace {

// The processor (and the system, which must save the wide registers) runs isa.
bool Runs(Isa isa) {
  __builtin_cpu_init();
  switch (isa) {
    case Isa::Sse2:
      return true;
    case Isa::Avx2:
      return __builtin_cpu_supports("avx2");
    case Isa::Avx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512cd") &&
             __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512bw");
  }
  return false;
}

Isa Widest() {
  if (Runs(Isa::Avx512)) return Isa::Avx512;
  if (Runs(Isa::Avx2)) return Isa::Avx2;
  return Isa::Sse2;
}

std::atomic<Isa>& Chosen() {
  static std::atomic<Isa> chosen{Widest()};
  return chosen;
}

}  // namespace

const Kernels& KernelsOf(Isa isa) {
  switch (isa) {
    case Isa::Avx512:
      return Kernels_avx512;
    case Isa::Avx2:
      return Kernels_avx2;
    case Isa::Sse2:
      break;
  }
  return Kernels_sse2;
}

const Kernels& Active() { return KernelsOf(Chosen().load(std::memory_order_relaxed)); }

Isa ActiveIsa() { return Chosen().load(std::memory_order_relaxed); }

const char* IsaName(Isa isa) {
  switch (isa) {
    case Isa::Avx512:
      return "avx512";
    case Isa::Avx2:
      return "avx2";
    case Isa::Sse2:
      break;
  }
  return "sse2";
}

bool IsaSupported(Isa isa) { return Runs(isa); }

bool UseIsa(Isa isa) {
  if (!Runs(isa)) return false;
  Chosen().store(isa, std::memory_order_relaxed);
  return true;
}

}  // namespace mdv::vk
