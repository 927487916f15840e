// The vectorised ring kernel built for sse2 (compiled with its flags; see CMakeLists.txt).
#include "core/flow/vector_kernel_impl.h"

namespace mdv::vk {

extern const Kernels Kernels_sse2;
const Kernels Kernels_sse2 = detail::KernelsFor<xsimd::sse2>();

}  // namespace mdv::vk
