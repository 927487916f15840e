#include "core/base/observer.h"

namespace mdv {

Observer& NullObserver() {
  static Observer none;
  return none;
}

}  // namespace mdv
