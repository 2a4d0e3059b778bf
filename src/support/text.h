// Text utilities shared by the loader, the commands and the expression
// functions. Every text is a byte string: one byte is one character, and
// letter case is changed for ASCII letters only, so UTF-8 passes untouched.
// Positions are one-based where the system exposes them.
#ifndef ZARN_SUPPORT_TEXT_H_
#define ZARN_SUPPORT_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace zarn {

// Text before the first occurrence of delim; empty when delim is absent.
std::string LeftOf(std::string_view text, std::string_view delim);
// Text after the first occurrence of delim; empty when delim is absent or
// ends the text.
std::string RightOf(std::string_view text, std::string_view delim);
// The n-th maximal run of characters not in the separator set (n from 1);
// empty when there are fewer than n words or n < 1. An empty separator set
// makes the whole text one word.
std::string GetWord(std::string_view text, std::string_view separators,
                    int32_t n);
std::string ReverseText(std::string_view text);
// count copies of text; empty for a count below 1.
std::string RepeatText(std::string_view text, int32_t count);
// base with overlay written over it from position on (see OverlayText rules:
// position below 1 puts the overlay in front).
std::string OverlayText(std::string_view overlay, std::string_view base,
                        int32_t position);

// Removes leading and trailing blanks (character 32 only).
std::string_view TrimBlanks(std::string_view text);
inline std::string Trimmed(std::string_view text) {
  return std::string(TrimBlanks(text));
}

// ASCII-only case conversion; bytes 128-255 never change.
std::string AsciiLower(std::string_view text);
std::string AsciiUpper(std::string_view text);
inline char AsciiUpperChar(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
inline char AsciiLowerChar(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// Replaces every occurrence of from (non-empty) by to, left to right, without
// rescanning replaced text.
std::string ReplaceAll(std::string_view text, std::string_view from,
                       std::string_view to);

// Appends value to out with every CR LF followed by indent (the variable
// listings of the log show multi-line values indented this way).
void AppendIndented(std::string* out, std::string_view value,
                    std::string_view indent);

// Decimal text of a 32-bit number, zero-padded on the left to at least
// width digits (the operation numbers of the listings use width 3).
std::string PaddedNumber(int64_t value, int width);

}  // namespace zarn

#endif  // ZARN_SUPPORT_TEXT_H_
