// The number parser and formatters on arbitrary text: a parsed value formats
// and parses again without failure.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/base/numfmt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (auto v = mdv::ParseReal(text); v && std::isfinite(*v)) {
    const std::string g = mdv::FormatGeneral(*v);
    if (!mdv::ParseReal(g)) std::abort();
    (void)mdv::FormatFixed(*v, 6, 3);
    (void)mdv::FormatFixed(*v, 7, 5);
  }
  (void)mdv::ParseInt(text);
  (void)mdv::ParseRealLenient(text);
  return 0;
}
