#include "core/model/model.h"

namespace mdv {

void SetSheddingIntervals(Model& m, int32_t outerTip, int32_t innerTip, int32_t mouth) {
  m.SheddingInterval = {outerTip, innerTip, mouth};
}

}  // namespace mdv
