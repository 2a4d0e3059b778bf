// The store of string variables (class TS).
//
// Keys ignore ASCII letter case, so Abc and abc are one variable, whose
// stored name follows the latest assignment; FindStrVar compares names
// exactly. Variables keep their order of creation (positions from 1) and are
// never removed. A hash index on the folded key keeps every lookup O(1).
// The value of *filestring is held in a FileText (see file_text.h).
#ifndef ZARN_VARIABLES_STR_VARS_H_
#define ZARN_VARIABLES_STR_VARS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "variables/file_text.h"

namespace zarn {

struct TS {
  std::string name;
  std::string value;  // unused for *filestring, whose value is the FileText
};

struct StrVarRec {
  std::string name;
  std::string value;
};

inline constexpr std::string_view kFileStringName = "*filestring";

class StrVarStore {
 public:
  StrVarStore();

  // Creates the variable or replaces its name and value.
  void SetStrVar(const StrVarRec& rec) { Set(rec.name, rec.value); }
  void Set(std::string_view name, std::string value);

  // Position (from 1) of the variable whose stored name equals name exactly;
  // 0 when there is none.
  int32_t FindStrVar(std::string_view name) const;

  // Stored name and value; ("?", "") for a missing variable.
  StrVarRec GetStrVar(std::string_view name) const;

  // The value under the key (case ignored), read in place; nullopt when
  // missing. The view is valid until the store changes.
  std::optional<std::string_view> ValueOf(std::string_view name) const;
  // The value of the variable whose name equals name exactly (FindStrVar),
  // read in place; nullopt when there is none.
  std::optional<std::string_view> ExactValueOf(std::string_view name) const;
  // The value under the key, or the empty text.
  std::string_view ValueOrEmpty(std::string_view name) const {
    return ValueOf(name).value_or(std::string_view());
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
  std::string_view ValueAt(size_t index) const;

  std::vector<TS> vars_;
  std::unordered_map<std::string, size_t> index_;  // folded key -> index
  FileText file_text_;
  size_t file_text_index_;  // index of *filestring, or npos
};

}  // namespace zarn

#endif  // ZARN_VARIABLES_STR_VARS_H_
