// The text of the data file being edited: the value of *filestring.
//
// It lives behind this small interface, inside the string-variable store, so
// that edits can work in place and reads need no copy of a text that may be
// tens of megabytes long. Every other variable is an ordinary std::string.
#ifndef ZARN_VARIABLES_FILE_TEXT_H_
#define ZARN_VARIABLES_FILE_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace zarn {

class FileText {
 public:
  size_t size() const { return text_.size(); }
  std::string_view view() const { return text_; }
  // Replaces len bytes from the zero-based offset pos by repl; pos and len
  // must lie within the text.
  void Replace(size_t pos, size_t len, std::string_view repl) {
    text_.replace(pos, len, repl);
  }
  void Assign(std::string text) { text_ = std::move(text); }
  // Hands the text over (the file loop writes it back) and leaves it empty.
  std::string Take() { return std::move(text_); }

 private:
  std::string text_;
};

}  // namespace zarn

#endif  // ZARN_VARIABLES_FILE_TEXT_H_
