// The vectorised ring kernel built for avx2 (compiled with its flags; see CMakeLists.txt).
#include "core/flow/vector_kernel_impl.h"

namespace mdv::vk {

extern const Kernels Kernels_avx2;
const Kernels Kernels_avx2 = detail::KernelsFor<xsimd::avx2>();

}  // namespace mdv::vk
