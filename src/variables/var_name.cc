#include "variables/var_name.h"

#include <atomic>

namespace zarn {

uint64_t NewStoreEpoch() {
  static std::atomic<uint64_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace zarn
