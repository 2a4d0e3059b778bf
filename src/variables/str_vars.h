// The store of string variables (class TS).
//
// Keys ignore ASCII letter case, so Abc and abc are one variable, whose
// stored name follows the latest assignment; FindStrVar compares names
// exactly. Variables keep their order of creation (positions from 1) and are
// never removed. A hash index on the folded key keeps every lookup O(1), and
// a small table of the names looked up recently answers the lookups of a
// program loop (the same few names on every pass) without folding and
// hashing them again; a VarName (var_name.h) spares even that. A number
// stored with SetNumber (counters, positions, the next operation) is
// written out as text only when the text is read.
// The value of *filestring is held in a FileText (see file_text.h).
#ifndef ZARN_VARIABLES_STR_VARS_H_
#define ZARN_VARIABLES_STR_VARS_H_

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "variables/file_text.h"
#include "variables/var_name.h"

namespace zarn {

struct TS {
  std::string name;
  std::string value;  // unused for *filestring, whose value is the FileText
};

// The record that carries a variable into and out of the store.
using StrVarRec = TS;

inline constexpr std::string_view kFileStringName = "*filestring";

class StrVarStore {
 public:
  StrVarStore();

  // Creates the variable or replaces its name and value.
  void Set(std::string_view name, std::string value);
  void Set(const VarName& name, std::string value) {
    const size_t index = Known(name);
    if (index == kNone || index == file_text_index_) {
      SetValue(name, std::move(value));
      return;
    }
    vars_[index].value = std::move(value);
    specials_[index].SetText(vars_[index].value);
  }
  // The same, copying value into the variable's own storage, which a
  // variable assigned over and over (a counter, *oper) then reuses.
  void Assign(std::string_view name, std::string_view value);
  void Assign(const VarName& name, std::string_view value) {
    const size_t index = Known(name);
    if (index == kNone || index == file_text_index_) {
      AssignValue(name, value);
      return;
    }
    // value may view this variable's own digits: copied before they go.
    vars_[index].value.assign(value);
    specials_[index].SetText(vars_[index].value);
  }
  // The same with the decimal text of number as the value. The text is
  // written when the value is first read: the counters and positions that
  // every operation updates are then mostly read back as numbers (Number)
  // without being written out and read again.
  void SetNumber(std::string_view name, int64_t number);
  void SetNumber(const VarName& name, int64_t number) {
    const size_t index = Known(name);
    if (index == kNone || index == file_text_index_) {
      SetNumberValue(name, number);
      return;
    }
    specials_[index].SetNumber(number);
  }
  // The same with a text the caller keeps alive and unchanged until the
  // variable is assigned again or OwnBorrowed is called (an operation's
  // text, which the compiled program holds for the whole run): it is
  // copied only when the variable is created.
  void SetBorrowed(const VarName& name, std::string_view value) {
    const size_t index = Known(name);
    if (index == kNone || index == file_text_index_) {
      AssignValue(name, value);
      return;
    }
    specials_[index].SetBorrowed(value);
  }
  // Copies every borrowed text into the store, before its owner goes.
  void OwnBorrowed();
  // The number last given to SetNumber when the variable's value is still
  // exactly that number's decimal text; nullopt otherwise (the variable
  // then holds a text that must be read as such).
  std::optional<int64_t> Number(const VarName& name) const {
    const size_t index = KeyIndex(name);
    if (index == kNone || !specials_[index].number()) return std::nullopt;
    return specials_[index].value;
  }
  // What a function's argument reads of the variable stored under exactly
  // this name: kNumber with *number for a variable that holds a number
  // (its text need not be written), kText with *text (valid until the
  // store changes) for any other, kNone when there is no such variable.
  enum class Exact { kNone, kText, kNumber };
  Exact ExactTextOrNumber(const VarName& name, std::string_view* text,
                          int64_t* number) const {
    const NameSlot& slot = slots_.Of(name);
    // Remembered as exact for the current epoch, or looked up again.
    if (slot.exact_epoch != epoch_ && !Lookup(name).exact) return Exact::kNone;
    const Special& special = specials_[slot.index];
    if (special.number()) {
      *number = special.value;
      return Exact::kNumber;
    }
    *text = ValueAt(slot.index);
    return Exact::kText;
  }

  // Position (from 1) of the variable whose stored name equals name exactly;
  // 0 when there is none.
  int32_t FindStrVar(std::string_view name) const;
  int32_t FindStrVar(const VarName& name) const {
    const NameSlot& slot = Lookup(name);
    return slot.exact ? static_cast<int32_t>(slot.index + 1) : 0;
  }

  // Stored name and value; ("?", "") for a missing variable.
  StrVarRec GetStrVar(std::string_view name) const;

  // The value under the key (case ignored), read in place; nullopt when
  // missing. The view is valid until the store changes.
  std::optional<std::string_view> ValueOf(std::string_view name) const;
  std::optional<std::string_view> ValueOf(const VarName& name) const {
    const size_t index = KeyIndex(name);
    if (index == kNone) return std::nullopt;
    return ValueAt(index);
  }
  // The value of the variable whose name equals name exactly (FindStrVar),
  // read in place; nullopt when there is none.
  std::optional<std::string_view> ExactValueOf(std::string_view name) const;
  std::optional<std::string_view> ExactValueOf(const VarName& name) const {
    const NameSlot& slot = Lookup(name);
    if (!slot.exact) return std::nullopt;
    return ValueAt(slot.index);
  }
  // The value under the key, or the empty text.
  std::string_view ValueOrEmpty(std::string_view name) const {
    return ValueOf(name).value_or(std::string_view());
  }
  std::string_view ValueOrEmpty(const VarName& name) const {
    const size_t index = KeyIndex(name);
    return index == kNone ? std::string_view() : ValueAt(index);
  }

  int32_t Count() const { return static_cast<int32_t>(vars_.size()); }
  // Variable at position pos (from 1); ("?", "") outside 1..Count().
  StrVarRec GetStrVarAt(int32_t pos) const;
  const std::string& NameAt(int32_t pos) const { return vars_[pos - 1].name; }

  // Listing of one variable, or of all for "=all=": CR LF, then per
  // variable head "[" name "]: " CR LF, indent, the value with every CR LF
  // followed by indent, CR LF.
  std::string DumpStrVars(std::string_view name, std::string_view head,
                          std::string_view indent) const;

  // The value of *filestring, editable in place. The variable is created
  // (empty) on first use.
  FileText& file_text();
  const FileText& file_text() const { return file_text_; }

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);

  std::string_view ValueAt(size_t index) const {
    const Special& special = specials_[index];
    if (special.kind == kNumberWritten) {
      return std::string_view(special.digits, special.digits_size);
    }
    if (index == file_text_index_ || special.kind != kText) {
      return SpecialValueAt(index);
    }
    return vars_[index].value;
  }
  // The value of *filestring, or of a variable whose text is stale.
  std::string_view SpecialValueAt(size_t index) const;
  // The index of the variable under the key of name (case ignored), or
  // kNone.
  size_t KeyIndex(std::string_view name) const;
  size_t KeyIndex(const VarName& name) const { return Lookup(name).index; }
  // The remembered lookup of name, made afresh when the epoch moved.
  const NameSlot& Lookup(const VarName& name) const {
    NameSlot& slot = slots_.Of(name);
    if (slot.epoch != epoch_) Remember(name, slot);
    return slot;
  }
  // Looks name up and remembers the answer in its slot.
  void Remember(const VarName& name, NameSlot& slot) const;
  // The index of the variable stored under exactly this name, when its
  // slot remembers it for the current epoch; kNone otherwise.
  size_t Known(const VarName& name) const {
    const NameSlot& slot = slots_.Of(name);
    return slot.exact_epoch == epoch_ ? slot.index : kNone;
  }
  static std::string_view Text(std::string_view name) { return name; }
  static std::string_view Text(const VarName& name) { return name.str(); }
  // The variable under the key at index, created when index is kNone, with
  // its stored name following name; its index.
  size_t Slot(size_t index, std::string_view name);
  template <typename Name>
  void SetValue(const Name& name, std::string value);
  template <typename Name>
  void AssignValue(const Name& name, std::string_view value);
  template <typename Name>
  void SetNumberValue(const Name& name, int64_t number);

  // How a value is held when not as the variable's text: as the number
  // given to SetNumber, whose text is written (into `digits`) when first
  // read, the number staying known; or as a borrowed text (SetBorrowed).
  // A text assigned that is exactly the decimal text of a number (no sign
  // but "-", no leading zero) is held as that number with its text written,
  // so that counters and flags assigned as texts are read as numbers
  // without being parsed again; its text is the same.
  enum Kind : uint8_t { kText, kNumber, kNumberWritten, kBorrowed };
  struct Special {
    Kind kind = kText;
    uint8_t digits_size = 0;
    char digits[22];
    int64_t value = 0;
    std::string_view borrowed;

    void SetNumber(int64_t n) {
      kind = kNumber;
      value = n;
    }
    void SetBorrowed(std::string_view text) {
      kind = kBorrowed;
      borrowed = text;
    }
    bool number() const { return kind == kNumber || kind == kNumberWritten; }
    // The form of a text assigned: a number written, or plain.
    void SetText(std::string_view text) {
      kind = kText;
      const size_t size = text.size();
      if (size == 0 || size > 19) return;
      size_t i = text[0] == '-' ? 1 : 0;
      if (i == size || text[i] < '0' || text[i] > '9') return;
      // "0" alone, or a first digit that is not 0 ("-0" is no number's text).
      if (text[i] == '0' && size != 1) return;
      int64_t v = 0;
      for (; i < size; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return;
        if (__builtin_mul_overflow(v, 10, &v) ||
            __builtin_add_overflow(v, c - '0', &v)) {
          return;
        }
      }
      kind = kNumberWritten;
      value = text[0] == '-' ? -v : v;
      digits_size = static_cast<uint8_t>(size);
      std::memcpy(digits, text.data(), size);
    }
  };

  // The values change on reads only when a number's text is written out,
  // which leaves the value as it was.
  mutable std::vector<TS> vars_;
  mutable std::vector<Special> specials_;          // one per variable
  std::unordered_map<std::string, size_t> index_;  // folded key -> index
  // Changes whenever a variable is created or a stored name changes its
  // letter case (see var_name.h).
  uint64_t epoch_;
  RecentKeys recent_;
  NameSlots slots_;
  FileText file_text_;
  size_t file_text_index_;  // index of *filestring, or npos
};

}  // namespace zarn

#endif  // ZARN_VARIABLES_STR_VARS_H_
