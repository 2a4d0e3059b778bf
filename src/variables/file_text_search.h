// The text being edited as the subject of the find commands: the search
// reads the part from its start position on where it lies, translated
// through the file text's CR LF shadow when the pattern needs it, and never
// copies it.
#ifndef ZARN_VARIABLES_FILE_TEXT_SEARCH_H_
#define ZARN_VARIABLES_FILE_TEXT_SEARCH_H_

#include <cstddef>
#include <string_view>

#include "support/regex.h"
#include "variables/file_text.h"

namespace zarn {

class FileTextSearch final : public SearchText {
 public:
  explicit FileTextSearch(const FileText& text) : text_(text) {}

  size_t size() const override { return text_.size(); }
  bool HasCrLf() const override { return text_.HasCrLf(); }
  std::string_view From(size_t from, bool translated) override {
    return translated ? text_.TranslatedViewFrom(from) : text_.ViewFrom(from);
  }

 private:
  const FileText& text_;
};

}  // namespace zarn

#endif  // ZARN_VARIABLES_FILE_TEXT_SEARCH_H_
