// Any byte string given to the vortex-file reader either loads or leaves the
// model exactly as it was; never a crash, a hang or a huge allocation.
//
// Speed matters here (a fixed time per CI run): the model is built once and
// reused; a refused input is compared with the built model field by field
// rather than encoded, and only an accepted one (rare) is encoded again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/model/area.h"
#include "core/model/vortex_file.h"

namespace {

// The harness's own checks are left out of the coverage the fuzzer steers by:
// they are not the code under test, and their branches would only slow it.
#define MDV_NO_COVERAGE __attribute__((no_sanitize("coverage")))

// Everything the reader may write, as the built model has it.
MDV_NO_COVERAGE bool Unchanged(const mdv::Model& m, const mdv::Model& built) {
  if (m.FreeVortexCount != built.FreeVortexCount || m.AttachedCount != built.AttachedCount ||
      m.MaxFreeVortex != built.MaxFreeVortex || m.Time != built.Time || m.Dt != built.Dt ||
      m.ChannelRadius != built.ChannelRadius || m.SuctionX != built.SuctionX ||
      m.ChannelLength != built.ChannelLength || m.FlangeLength != built.FlangeLength ||
      m.FlangeAngle != built.FlangeAngle || m.SuctionSpeed != built.SuctionSpeed ||
      m.InflowSpeed != built.InflowSpeed || m.WallThickness != built.WallThickness ||
      m.VortexSpacing != built.VortexSpacing || m.CalcPoints.size() != built.CalcPoints.size() ||
      m.Vortices.size() != built.Vortices.size()) {
    return false;
  }
  // Byte for byte, padding included: the model was copied from `built`
  // (copies of these trivially copyable records keep every byte), and a
  // refused input must not have written to it at all.
  return std::memcmp(m.CalcPoints.data(), built.CalcPoints.data(),
                     m.CalcPoints.size() * sizeof(mdv::TCalcPoint)) == 0 &&
         std::memcmp(m.Vortices.data(), built.Vortices.data(), m.Vortices.size() * sizeof(mdv::TVortex)) == 0;
}

constexpr size_t SignatureSize = sizeof(mdv::VortexFileSignature) - 1;

// The two images agree outside the padding of the records.
MDV_NO_COVERAGE bool SameApartFromPadding(const mdv::Bytes& a, const mdv::Bytes& b, int32_t n) {
  if (a.size() != b.size()) return false;
  const size_t points = mdv::VortexFileHeaderSize;
  const size_t vortices = points + mdv::CalcPointRecordSize * static_cast<size_t>(n);
  const uint8_t* pa = a.data();
  const uint8_t* pb = b.data();
  for (size_t i = 0; i < a.size(); ++i) {
    if (pa[i] == pb[i] || i < SignatureSize) continue;  // the signature is never read
    if (i < mdv::VortexFileHeaderSize) return false;
    // Offsets inside a record that are padding.
    const size_t r = i < vortices ? (i - points) % mdv::CalcPointRecordSize
                                  : (i - vortices) % mdv::VortexRecordSize;
    const bool padding = i < vortices ? (r >= 20 && r < 24) || (r >= 44 && r < 48) || r >= 58
                                      : (r >= 20 && r < 24) || r >= 34;
    if (!padding) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const mdv::Model built = [] {
    mdv::Model m;
    mdv::BuildArea(m);
    return m;
  }();
  static mdv::Model m = built;
  std::string error;
  if (mdv::DecodeVortexFile(data, size, m, error)) {
    // What was accepted must save back to the same bytes, padding aside.
    if (!SameApartFromPadding(mdv::EncodeVortexFile(m), mdv::Bytes(data, data + size), m.AttachedCount)) {
      std::abort();
    }
    m = built;
  } else {
    if (error.empty()) std::abort();
    if (!Unchanged(m, built)) std::abort();
  }
  return 0;
}
