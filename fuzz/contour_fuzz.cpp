// Any byte string given to the contour readers, as a contour file's text and
// as a contour run's state, either loads or leaves the model exactly as it
// was; a contour the checks accept builds; never a crash, a hang or a huge
// allocation.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/model/area.h"
#include "core/model/area_validation.h"
#include "core/model/contour_file.h"
#include "core/model/contour_state.h"
#include "core/model/contour_validation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const mdv::Model built = [] {
    mdv::Model m;
    mdv::BuildArea(m);
    return m;
  }();
  const std::string text(reinterpret_cast<const char*>(data), size);
  mdv::Contour c;
  std::string error;
  if (mdv::ReadContourText(text, c, error) && mdv::ValidateContour(c).empty()) {
    mdv::Model m;
    m.MaxFreeVortex = 0;
    m.HoodContour = c;
    m.ContourArea = true;
    mdv::BuildArea(m);
    if (m.AttachedCount < 2 || m.AttachedCount > mdv::MaxAttachedVortices + 1) std::abort();
  }
  mdv::Model m = built;
  if (!mdv::DecodeContourState(data, size, m, error)) {
    if (m.ContourArea || m.AttachedCount != built.AttachedCount || m.Vortices.size() != built.Vortices.size())
      std::abort();
  }
  return 0;
}
