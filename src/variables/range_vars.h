// The store of range variables (class TR): named stretches of *filestring
// given by a one-based start and a length; (0, 0) is no range.
//
// Keys ignore ASCII letter case; FindRangeVar compares exactly. Ranges keep
// their order of creation and can be removed by name prefix. As in the
// string store, the names looked up recently are answered from a small
// table.
#ifndef ZARN_VARIABLES_RANGE_VARS_H_
#define ZARN_VARIABLES_RANGE_VARS_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "variables/file_text.h"
#include "variables/var_name.h"

namespace zarn {

// The range that the file loop and every new *filestring set over the
// whole text.
inline constexpr std::string_view kFileRangeName = "*filerange";

struct TR {
  std::string name;
  int32_t startpos = 0;
  int32_t length = 0;
};

// The record that carries a range into and out of the store.
using RangeVarRec = TR;

class RangeVarStore {
 public:
  RangeVarStore();

  void SetRangeVar(const RangeVarRec& rec);
  void SetRangeVar(const VarName& name, int32_t startpos, int32_t length);
  int32_t FindRangeVar(std::string_view name) const;
  // FindRangeVar(name) != 0.
  bool HasExactly(const VarName& name) const { return Lookup(name).exact; }
  // The range under the key of name (what GetRangeVar reads), or nullptr.
  const TR* KeyRange(const VarName& name) const {
    const size_t index = KeyIndex(name);
    return index == kNone ? nullptr : &ranges_[index];
  }
  // Stored fields; ("?", 0, 0) for a missing range.
  RangeVarRec GetRangeVar(std::string_view name) const;
  // Range at position pos (from 1); ("?", 0, 0) outside 1..Count().
  RangeVarRec GetRangeVarAt(int32_t pos) const;
  int32_t Count() const { return static_cast<int32_t>(ranges_.size()); }
  // Removes every range whose name begins with prefix (exact case).
  void RemoveRangeVars(std::string_view prefix);
  // Direct access for the replace command, which moves every range.
  TR& MutableAt(int32_t pos) { return ranges_[pos - 1]; }

  // Listing of one range, or of all for "=all=", each with the text it
  // covers in file_text.
  std::string DumpRangeVars(std::string_view name, std::string_view head,
                            std::string_view indent,
                            const FileText& file_text) const;

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);

  void Reindex();
  // The index of the range under the key of name (case ignored), or kNone.
  size_t KeyIndex(std::string_view name) const;
  size_t KeyIndex(const VarName& name) const { return Lookup(name).index; }
  // The remembered lookup of name, made afresh when the epoch moved.
  const NameSlot& Lookup(const VarName& name) const {
    NameSlot& slot = slots_.Of(name);
    if (slot.epoch != epoch_) {
      slot.index = KeyIndex(name.str());
      slot.exact =
          slot.index != kNone && ranges_[slot.index].name == name.str();
      slot.epoch = name.symbol() == 0 ? 0 : epoch_;
      slot.exact_epoch = slot.exact ? slot.epoch : 0;
    }
    return slot;
  }

  std::vector<TR> ranges_;
  std::unordered_map<std::string, size_t> index_;  // folded key -> index
  // Changes whenever a range is created or removed or a stored name
  // changes its letter case (see var_name.h).
  uint64_t epoch_;
  RecentKeys recent_;
  NameSlots slots_;
};

// The text of file_text that the range covers: at most length characters
// from startpos; empty for the name "?", a start or length of 0, a start
// beyond the end, or a negative start or length.
std::string_view RangeText(const RangeVarRec& rec, std::string_view file_text);
// The same text appended to *out, read where it lies in the file text, so
// that reading a range never moves or joins the text being edited.
void AppendRangeText(const RangeVarRec& rec, const FileText& file_text,
                     std::string* out);

}  // namespace zarn

#endif  // ZARN_VARIABLES_RANGE_VARS_H_
