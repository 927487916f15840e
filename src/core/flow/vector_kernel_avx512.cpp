// The vectorised ring kernel built for avx512 (compiled with its flags; see CMakeLists.txt).
// GCC 12's own AVX-512 header makes "undefined" registers by reading them
// uninitialised on purpose (_mm512_undefined_pd), which -Wuninitialized
// reports wherever it is inlined. The kernel's code is checked by the other
// sets' files, which include the same template.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include "core/flow/vector_kernel_impl.h"

namespace mdv::vk {

extern const Kernels Kernels_avx512;
const Kernels Kernels_avx512 = detail::KernelsFor<xsimd::avx512bw>();

}  // namespace mdv::vk
