#include "variables/var_name.h"

#include <atomic>

#include "support/text.h"

namespace zarn {

uint64_t NewStoreEpoch() {
  static std::atomic<uint64_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

size_t RecentKeys::Find(std::string_view name,
                        const std::unordered_map<std::string, size_t>& keys,
                        uint64_t epoch, size_t none) const {
  Entry& recent = entries_[ShortTextHash(name) & (kEntries - 1)];
  if (recent.epoch == epoch && ShortTextEquals(recent.name, name)) {
    return recent.index;
  }
  auto it = keys.find(AsciiUpper(name));
  recent.name.assign(name);
  recent.epoch = epoch;
  recent.index = it == keys.end() ? none : it->second;
  return recent.index;
}

}  // namespace zarn
