#include "variables/var_name.h"

#include <atomic>

#include "support/text.h"

namespace zarn {

VarName::VarName(std::string_view name) : name_(name) {
  static std::atomic<uint32_t> next{1};
  symbol_ = next.fetch_add(1, std::memory_order_relaxed);
  if (symbol_ == 0) symbol_ = next.fetch_add(1, std::memory_order_relaxed);
}

NameSlot& NameSlots::Grow(uint32_t symbol) const {
  if (symbol == 0 || symbol >= kMaxSymbols) {
    if (slots_.empty()) slots_.resize(1);
    count_ = static_cast<uint32_t>(slots_.size());
    // Looked up afresh every time.
    slots_[0].epoch = 0;
    slots_[0].exact_epoch = 0;
    return slots_[0];
  }
  slots_.resize(static_cast<size_t>(symbol) + 1);
  count_ = static_cast<uint32_t>(slots_.size());
  return slots_[symbol];
}

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
