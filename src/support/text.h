// Text utilities shared by the loader, the commands and the expression
// functions. Every text is a byte string: one byte is one character, and
// letter case is changed for ASCII letters only, so UTF-8 passes untouched.
// Positions are one-based where the system exposes them.
#ifndef ZARN_SUPPORT_TEXT_H_
#define ZARN_SUPPORT_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "support/utf8.h"

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

// text.find(what, from), faster on long texts: candidates are the places
// where the first, the middle and the last character of what stand, sixteen
// places at a time where the processor allows, and only those are compared.
size_t FindText(std::string_view text, std::string_view what, size_t from);

// The one walk of every replacement of a text by another: the occurrences
// of what (not empty) in text, left to right and not overlapping, at most
// count of them. kept(piece) receives each stretch before an occurrence
// and, last, the rest after the last one; hit(offset) each occurrence's
// offset. Returns the number of occurrences. With chars, only occurrences
// that begin and end at UTF-8 character starts count (FindChars).
template <typename Kept, typename Hit>
int32_t ForEachOccurrence(std::string_view text, std::string_view what,
                          int32_t count, bool chars, Kept kept, Hit hit) {
  // An ASCII text is found only where characters begin and end (an ASCII
  // byte is a character of its own wherever it stands): found as bytes.
  chars = chars && !IsAscii(what);
  size_t from = 0;
  int32_t done = 0;
  for (; done < count; ++done) {
    const size_t at =
        chars ? FindChars(text, what, from) : FindText(text, what, from);
    if (at == std::string_view::npos) break;
    kept(text.substr(from, at - from));
    hit(at);
    from = at + what.size();
  }
  kept(text.substr(from));
  return done;
}

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

// A cheap hash of a short text, for the tables of recently used variable
// names: it reads the first and last eight bytes (fewer for a shorter text)
// and the length, so it costs the same for any length. Texts that differ
// only in their middle collide, which only costs such a table a miss.
inline size_t ShortTextHash(std::string_view text) {
  const size_t n = text.size();
  const char* p = text.data();
  uint64_t a = 0;
  uint64_t b = 0;
  if (n >= 8) {
    std::memcpy(&a, p, 8);
    std::memcpy(&b, p + n - 8, 8);
  } else if (n >= 4) {
    uint32_t x = 0;
    uint32_t y = 0;
    std::memcpy(&x, p, 4);
    std::memcpy(&y, p + n - 4, 4);
    a = x;
    b = y;
  } else if (n > 0) {
    a = static_cast<unsigned char>(p[0]) |
        static_cast<uint64_t>(static_cast<unsigned char>(p[n / 2])) << 8 |
        static_cast<uint64_t>(static_cast<unsigned char>(p[n - 1])) << 16;
  }
  const uint64_t h =
      (a * 0x9E3779B97F4A7C15ull) ^ (b * 0xC2B2AE3D27D4EB4Full) ^ n;
  return static_cast<size_t>(h ^ (h >> 29));
}

// a == b, written out for the short texts of names so that comparing a
// name costs a few instructions rather than a library call.
inline bool ShortTextEquals(std::string_view a, std::string_view b) {
  const size_t n = a.size();
  if (n != b.size()) return false;
  const char* p = a.data();
  const char* q = b.data();
  if (n >= 8 && n <= 16) {
    uint64_t x[2];
    uint64_t y[2];
    std::memcpy(&x[0], p, 8);
    std::memcpy(&y[0], q, 8);
    std::memcpy(&x[1], p + n - 8, 8);
    std::memcpy(&y[1], q + n - 8, 8);
    return x[0] == y[0] && x[1] == y[1];
  }
  if (n >= 4 && n < 8) {
    uint32_t x[2];
    uint32_t y[2];
    std::memcpy(&x[0], p, 4);
    std::memcpy(&y[0], q, 4);
    std::memcpy(&x[1], p + n - 4, 4);
    std::memcpy(&y[1], q + n - 4, 4);
    return x[0] == y[0] && x[1] == y[1];
  }
  if (n < 4) {
    for (size_t i = 0; i < n; ++i) {
      if (p[i] != q[i]) return false;
    }
    return true;
  }
  return std::memcmp(p, q, n) == 0;
}

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

// Bytes that would drive a terminal, or end a line of the log: the bytes
// below 0x20, 0x7F, the two bytes of a C1 control character in UTF-8
// (U+0080 to U+009F, 0xC2 followed by 0x80 to 0x9F), and a byte 0x80 to 0x9F
// that is not part of a UTF-8 character (a C1 control on an 8-bit
// terminal). Every other byte, UTF-8 characters included, is shown as it
// is.
//
// A file name as the log shows it: each such byte as \xHH (two upper-case
// hexadecimal digits) and a backslash as \\, so that no name can end a log
// line or forge one, and every shown name stands for one name only.
std::string EscapeName(std::string_view name);
// Text for a terminal: each such byte as \xHH, except the line ends of the
// text (LF, and a CR directly before an LF); backslashes stay as they are.
std::string TerminalText(std::string_view text);
// Each such byte as one '?' (the progress line, where a name keeps about
// its width).
std::string MaskControls(std::string_view text);

}  // namespace zarn

#endif  // ZARN_SUPPORT_TEXT_H_
