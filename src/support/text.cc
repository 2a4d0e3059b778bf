#include "support/text.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zarn {

std::string LeftOf(std::string_view text, std::string_view delim) {
  size_t p = text.find(delim);
  if (p == std::string_view::npos) return std::string();
  return std::string(text.substr(0, p));
}

std::string RightOf(std::string_view text, std::string_view delim) {
  size_t p = text.find(delim);
  if (p == std::string_view::npos) return std::string();
  return std::string(text.substr(p + delim.size()));
}

std::string GetWord(std::string_view text, std::string_view separators,
                    int32_t n) {
  if (n < 1) return std::string();
  if (separators.empty()) return n == 1 ? std::string(text) : std::string();
  size_t pos = 0;
  std::string_view word;
  for (int32_t i = 0; i < n; ++i) {
    pos = text.find_first_not_of(separators, pos);
    if (pos == std::string_view::npos) return std::string();
    size_t end = text.find_first_of(separators, pos);
    if (end == std::string_view::npos) end = text.size();
    word = text.substr(pos, end - pos);
    pos = end;
  }
  return std::string(word);
}

size_t FindText(std::string_view text, std::string_view what, size_t from) {
  const size_t n = what.size();
  if (from > text.size()) return std::string_view::npos;
  if (n == 0) return from;
  // From here on the text is not empty: an empty view may have no data at
  // all, which the C library's searches must not be given.
  if (n > text.size() - from) return std::string_view::npos;
  const char* base = text.data();
  const char* p = base + from;
  const char* end = base + text.size();
  if (n == 1) {
    const void* hit = std::memchr(p, what[0], static_cast<size_t>(end - p));
    return hit == nullptr
               ? std::string_view::npos
               : static_cast<size_t>(static_cast<const char*>(hit) - base);
  }
#if defined(__SSE2__)
  // Candidates: first, middle and last character in place. For a text of
  // up to three characters that is a match; longer ones compare the rest.
  const size_t mid = n / 2;
  const __m128i first = _mm_set1_epi8(what[0]);
  const __m128i middle = _mm_set1_epi8(what[mid]);
  const __m128i last = _mm_set1_epi8(what[n - 1]);
  while (end - p >= static_cast<ptrdiff_t>(n - 1 + 16)) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i m =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + mid));
    const __m128i b =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n - 1));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(
        _mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(m, middle)),
        _mm_cmpeq_epi8(b, last))));
    while (mask != 0) {
      const int k = std::countr_zero(mask);
      if (n <= 3 || std::memcmp(p + k + 1, what.data() + 1, n - 2) == 0) {
        return static_cast<size_t>(p + k - base);
      }
      mask &= mask - 1;
    }
    p += 16;
  }
#endif
  const size_t rest = text.substr(static_cast<size_t>(p - base)).find(what);
  return rest == std::string_view::npos ? std::string_view::npos
                                        : static_cast<size_t>(p - base) + rest;
}

std::string ReverseText(std::string_view text) {
  return std::string(text.rbegin(), text.rend());
}

std::string RepeatText(std::string_view text, int32_t count) {
  std::string out;
  if (count < 1 || text.empty()) return out;
  const size_t total = text.size() * static_cast<size_t>(count);
  out.reserve(total);
  out.append(text);
  // Doubling what is already there takes log2(count) copies instead of
  // count appends: many copies of a short text cost no more than one large
  // copy.
  while (out.size() <= total / 2) out.append(out);
  out.append(out.data(), total - out.size());
  return out;
}

std::string OverlayText(std::string_view overlay, std::string_view base,
                        int32_t position) {
  if (overlay.empty()) return std::string(base);
  if (position < 1) {
    std::string out(overlay);
    out.append(base);
    return out;
  }
  std::string padded(base);
  if (padded.size() < static_cast<size_t>(position)) {
    padded.resize(static_cast<size_t>(position), ' ');
  }
  size_t start = static_cast<size_t>(position) - 1;
  std::string out = padded.substr(0, start);
  out.append(overlay);
  size_t rest = start + overlay.size();
  if (rest < padded.size()) out.append(padded, rest, std::string::npos);
  return out;
}

std::string_view TrimBlanks(std::string_view text) {
  size_t b = text.find_first_not_of(' ');
  if (b == std::string_view::npos) return std::string_view();
  size_t e = text.find_last_not_of(' ');
  return text.substr(b, e - b + 1);
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLowerChar(c);
  return out;
}

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiUpperChar(c);
  return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpperChar(a[i]) != AsciiUpperChar(b[i])) return false;
  }
  return true;
}

std::string ReplaceAll(std::string_view text, std::string_view from,
                       std::string_view to) {
  if (from.empty()) return std::string(text);
  std::string out;
  ForEachOccurrence(
      text, from, INT32_MAX, false,
      [&](std::string_view kept) { out.append(kept); },
      [&](size_t) { out.append(to); });
  return out;
}

void AppendIndented(std::string* out, std::string_view value,
                    std::string_view indent) {
  size_t pos = 0;
  while (true) {
    size_t hit = value.find("\r\n", pos);
    if (hit == std::string_view::npos) break;
    out->append(value.substr(pos, hit + 2 - pos));
    out->append(indent);
    pos = hit + 2;
  }
  out->append(value.substr(pos));
}

std::string PaddedNumber(int64_t value, int width) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  if (static_cast<int>(digits.size()) < width) {
    digits.insert(0, static_cast<size_t>(width) - digits.size(), '0');
  }
  return value < 0 ? "-" + digits : digits;
}

namespace {

// The length of the UTF-8 character at the start of s (2 to 4), or 0 when
// s does not start with one.
size_t Utf8Length(std::string_view s) {
  const unsigned char lead = static_cast<unsigned char>(s[0]);
  size_t length = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  } else {
    return 0;
  }
  if (s.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

// How a control byte is shown: as \xHH, or as one '?'.
void AppendControl(std::string* out, unsigned char c, bool mask) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  if (mask) {
    out->push_back('?');
    return;
  }
  out->append("\\x");
  out->push_back(kDigits[c >> 4]);
  out->push_back(kDigits[c & 15]);
}

// Escapes the controls of text; backslash and line ends as asked.
std::string Escape(std::string_view text, bool backslash, bool line_ends,
                   bool mask = false) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const size_t length = Utf8Length(text.substr(i));
      if (length == 0) {
        if (c <= 0x9F) {
          AppendControl(&out, c, mask);
        } else {
          out.push_back(static_cast<char>(c));
        }
        ++i;
        continue;
      }
      const bool c1 =
          c == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F;
      for (size_t k = 0; k < length; ++k) {
        if (c1) {
          AppendControl(&out, static_cast<unsigned char>(text[i + k]), mask);
        } else {
          out.push_back(text[i + k]);
        }
      }
      i += length;
      continue;
    }
    const bool line_end =
        line_ends && (c == '\n' || (c == '\r' && i + 1 < text.size() &&
                                    text[i + 1] == '\n'));
    if ((c < 0x20 || c == 0x7F) && !line_end) {
      AppendControl(&out, c, mask);
    } else if (c == '\\' && backslash) {
      out.append("\\\\");
    } else {
      out.push_back(static_cast<char>(c));
    }
    ++i;
  }
  return out;
}

}  // namespace

std::string EscapeName(std::string_view name) {
  return Escape(name, /*backslash=*/true, /*line_ends=*/false);
}

std::string TerminalText(std::string_view text) {
  return Escape(text, /*backslash=*/false, /*line_ends=*/true);
}

std::string MaskControls(std::string_view text) {
  return Escape(text, /*backslash=*/false, /*line_ends=*/false,
                /*mask=*/true);
}

}  // namespace zarn
