// Texts counted in UTF-8 characters.
//
// A run counts its texts in one of two ways (TextEncoding): one byte is one
// character (the default), or a character is a UTF-8 sequence. In the
// second way every text is still a byte string, kept and written back byte
// for byte; only counting and cutting change:
//   - a character is a valid UTF-8 sequence as RFC 3629 defines it (no
//     overlong form, no surrogate, nothing above U+10FFFF), or else one
//     byte that begins none (a stray Latin-1 byte, a piece of a cut
//     sequence), which is a character of its own and never joins its
//     neighbours;
//   - every byte below 0x80 or from 0xC0 on (any byte but a continuation
//     byte) begins a character, so the characters of a text are found from
//     any such byte on, looking at most three bytes back.
// Case mapping is Unicode's simple mapping (one character to one), taken
// from the C.UTF-8 locale of the C library, never from the user's locale.
//
// Thread-safety: all functions are pure; the locale is made once, safely.
#ifndef ZARN_SUPPORT_UTF8_H_
#define ZARN_SUPPORT_UTF8_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zarn {

enum class TextEncoding : uint8_t {
  kBytes,  // one byte, one character
  kUtf8,   // one UTF-8 sequence (or one invalid byte), one character
};

inline bool IsContinuationByte(unsigned char c) { return (c & 0xC0) == 0x80; }

// The length (1 to 4) of the valid UTF-8 sequence that begins the n bytes
// at p (n >= 1); 0 when they begin none, the first byte then being a
// character of its own.
inline size_t Utf8SequenceLength(const unsigned char* p, size_t n) {
  const unsigned char c = p[0];
  if (c < 0x80) return 1;
  if (c < 0xC2) return 0;
  if (c < 0xE0) return n >= 2 && IsContinuationByte(p[1]) ? 2 : 0;
  if (c < 0xF0) {
    if (n < 3) return 0;
    const unsigned char lo = c == 0xE0 ? 0xA0 : 0x80;
    const unsigned char hi = c == 0xED ? 0x9F : 0xBF;
    return p[1] >= lo && p[1] <= hi && IsContinuationByte(p[2]) ? 3 : 0;
  }
  if (c < 0xF5) {
    if (n < 4) return 0;
    const unsigned char lo = c == 0xF0 ? 0x90 : 0x80;
    const unsigned char hi = c == 0xF4 ? 0x8F : 0xBF;
    return p[1] >= lo && p[1] <= hi && IsContinuationByte(p[2]) &&
                   IsContinuationByte(p[3])
               ? 4
               : 0;
  }
  return 0;
}

// The number of bytes of the character at offset i (< s.size()), which
// begins a character.
inline size_t CharLengthAt(std::string_view s, size_t i) {
  const size_t n = Utf8SequenceLength(
      reinterpret_cast<const unsigned char*>(s.data()) + i, s.size() - i);
  return n == 0 ? 1 : n;
}

// Whether every byte of s lies below 0x80.
inline bool IsAscii(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// The number of characters of s; *valid (when given) receives whether
// every one is a valid sequence.
size_t CountChars(std::string_view s, bool* valid = nullptr);

// The same three for a text known to be valid UTF-8, where a character
// begins at every byte but a continuation byte: eight bytes at a time.
size_t CountCharStarts(std::string_view s);
size_t SkipCharStarts(std::string_view s, size_t from, size_t count);
size_t SkipCharStartsBack(std::string_view s, size_t end, size_t count);

// The offset count characters after the offset from (a character start),
// or s.size() when fewer follow; *skipped (when given) receives how many
// were passed.
size_t SkipChars(std::string_view s, size_t from, size_t count,
                 size_t* skipped = nullptr);

// The offset of the character that ends at the offset end (0 < end, end a
// character start or s.size()).
size_t CharStartBefore(std::string_view s, size_t end);

// The offset count characters before the offset end (a character start),
// or 0 when fewer precede it.
size_t SkipCharsBack(std::string_view s, size_t end, size_t count);

// Whether a character begins at offset i; true at 0 and from s.size() on.
bool IsCharStart(std::string_view s, size_t i);

// The first occurrence of what in text that begins at or after the offset
// from and both begins and ends at a character start (so never inside a
// character, and never joining an invalid byte of what to a character of
// text); npos when there is none. what may be empty (found at from).
size_t FindChars(std::string_view text, std::string_view what, size_t from);

// The code point of the valid sequence of n bytes at p.
uint32_t DecodeSequence(const unsigned char* p, size_t n);
// Appends the UTF-8 sequence of the code point cp (below 0x110000, not a
// surrogate).
void AppendCodePoint(std::string* out, uint32_t cp);
// Whether a code point can be written: not a surrogate, not above 10FFFF.
inline bool IsScalarValue(int64_t cp) {
  return cp >= 0 && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
}

// GetWord (support/text.h) counting characters: every character of
// separators separates words.
std::string GetWordChars(std::string_view text, std::string_view separators,
                         int32_t n);
// OverlayText (support/text.h) counting characters.
std::string OverlayChars(std::string_view overlay, std::string_view base,
                         int32_t position);

// The characters of text in reverse order, each kept whole.
std::string ReverseChars(std::string_view text);
// Unicode simple case mapping of every valid character; invalid bytes stay.
std::string Utf8Lower(std::string_view text);
std::string Utf8Upper(std::string_view text);

}  // namespace zarn

#endif  // ZARN_SUPPORT_UTF8_H_
