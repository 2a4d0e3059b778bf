// A variable name with a symbol by which a store remembers where its
// variable was found.
//
// A program names the same few variables on every pass of a loop: the
// system variables that every operation updates, the words of its
// operations, the arguments of its expressions. Those names are made once,
// when the program is compiled, each with a symbol of its own; a store
// (of string or of range variables) keeps, per symbol, the answer of its
// last lookup, and reuses it for as long as its epoch has not moved: a
// store takes a new epoch whenever a variable is created or removed or a
// stored name changes its letter case, which a running loop rarely does.
// The name itself never changes, so a compiled program that holds it can be
// shared by the machines of several threads, each with its own stores.
// Epochs are unique among all stores. Every operation through a VarName
// gives exactly the result of the same operation through its text.
#ifndef ZARN_VARIABLES_VAR_NAME_H_
#define ZARN_VARIABLES_VAR_NAME_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zarn {

class VarName {
 public:
  // No name and no symbol.
  VarName() = default;
  // The name with a symbol never handed out before (thread-safe).
  explicit VarName(std::string_view name);
  const std::string& str() const { return name_; }
  // The symbol: 0 for none (the default name), else unique in the process.
  uint32_t symbol() const { return symbol_; }

 private:
  std::string name_;
  uint32_t symbol_ = 0;
};

// A new epoch for a store, never handed out before.
uint64_t NewStoreEpoch();

// What a store remembers of the last lookup of one symbol.
struct NameSlot {
  uint64_t epoch = 0;  // the store's epoch at the lookup; 0 none
  size_t index = 0;    // the key's index then, or the store's none
  bool exact = false;  // the stored name was exactly the name looked up
  // The epoch when it was (else 0): one comparison answers "remembered for
  // the current epoch, and exact".
  uint64_t exact_epoch = 0;
};

// The remembered lookups of one store, by symbol. Belongs to that store
// alone: one thread at a time.
class NameSlots {
 public:
  // The slot of name, to be filled by the caller when its epoch is not the
  // store's. A name without a symbol, or with one beyond the table's limit,
  // gets a slot whose epoch never matches.
  NameSlot& Of(const VarName& name) const {
    const uint32_t symbol = name.symbol();
    if (symbol != 0 && symbol < count_) return slots_[symbol];
    return Grow(symbol);
  }

 private:
  static constexpr uint32_t kMaxSymbols = uint32_t{1} << 16;
  NameSlot& Grow(uint32_t symbol) const;
  mutable std::vector<NameSlot> slots_;  // slots_[0]: the uncached slot
  mutable uint32_t count_ = 0;           // slots_.size(), read on every lookup
};

// The names a store looked up recently by their text, and the answers: a
// program loop names the same few variables on every pass, which are then
// answered without folding and hashing them again. An answer holds while
// the store's epoch has not moved.
class RecentKeys {
 public:
  // The index that keys (folded key -> index) gives name, or none when
  // name's key is not there.
  size_t Find(std::string_view name,
              const std::unordered_map<std::string, size_t>& keys,
              uint64_t epoch, size_t none) const;

 private:
  struct Entry {
    std::string name;
    uint64_t epoch = 0;
    size_t index = 0;
  };
  static constexpr size_t kEntries = 64;  // a power of two
  mutable std::array<Entry, kEntries> entries_;
};

}  // namespace zarn

#endif  // ZARN_VARIABLES_VAR_NAME_H_
