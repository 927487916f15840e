// Any byte string given to the vortex-file reader either loads or leaves the
// model exactly as it was; never a crash, a hang or a huge allocation.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/area.h"
#include "core/vortex_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const mdv::Model built = [] {
    mdv::Model m;
    mdv::BuildArea(m);
    return m;
  }();
  mdv::Model m = built;
  const mdv::Bytes before = mdv::EncodeVortexFile(m);
  mdv::Bytes in(data, data + size);
  std::string error;
  if (mdv::DecodeVortexFile(in, m, error)) {
    // What was accepted must save back to the same bytes, padding aside.
    const mdv::Bytes out = mdv::EncodeVortexFile(m);
    if (out.size() != in.size()) std::abort();
  } else {
    if (error.empty()) std::abort();
    if (mdv::EncodeVortexFile(m) != before) std::abort();
  }
  return 0;
}
