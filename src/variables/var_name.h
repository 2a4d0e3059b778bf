// A variable name that remembers where its variable was found.
//
// A program names the same few variables on every pass of a loop: the
// system variables that every operation updates, the words of its
// operations, the arguments of its expressions. The places that do so keep
// a VarName, and the store (of string or of range variables) answers it
// without looking the name up again for as long as its epoch has not moved:
// a store takes a new epoch whenever a variable is created or removed or a
// stored name changes its letter case, which a running loop rarely does.
// Epochs are unique among all stores, so a VarName is never taken for a
// lookup in another store. Every operation through a VarName gives exactly
// the result of the same operation through its text.
#ifndef ZARN_VARIABLES_VAR_NAME_H_
#define ZARN_VARIABLES_VAR_NAME_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace zarn {

class VarName {
 public:
  VarName() = default;
  explicit VarName(std::string_view name) : name_(name) {}
  const std::string& str() const { return name_; }

 private:
  friend class StrVarStore;
  friend class RangeVarStore;

  std::string name_;
  mutable uint64_t epoch_ = 0;  // the store's epoch at the lookup; 0 none
  mutable size_t index_ = 0;    // the key's index then, or the store's none
  mutable bool exact_ = false;  // the stored name was exactly name_
};

// A new epoch for a store, never handed out before.
uint64_t NewStoreEpoch();

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
