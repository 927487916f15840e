// The pulsation and circulation record readers on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/model/records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const mdv::Bytes in(data, data + size);
  std::string error;
  mdv::PulsationRecord p;
  if (mdv::DecodePulsationRecord(in, p, error)) {
    if (mdv::EncodePulsationRecord(p).size() != in.size()) std::abort();
  } else if (error.empty()) {
    std::abort();
  }
  mdv::TrackRecord t;
  error.clear();
  if (mdv::DecodeTrackRecord(in, t, error)) {
    if (mdv::EncodeTrackRecord(t) != in) std::abort();
  } else if (error.empty()) {
    std::abort();
  }
  return 0;
}
