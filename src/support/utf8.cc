#include "support/utf8.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "support/text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define ZARN_UTF8_AVX2 1
#include <immintrin.h>
#else
#define ZARN_UTF8_AVX2 0
#endif

namespace zarn {

namespace {

const unsigned char* Data(std::string_view s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

// Eight bytes at p hold no byte from 0x80 on: eight characters.
bool EightAscii(const unsigned char* p) {
  uint64_t w = 0;
  std::memcpy(&w, p, 8);
  return (w & 0x8080808080808080ull) == 0;
}

// The C.UTF-8 locale, made once; null when the C library has none, and
// letters then keep their case outside ASCII.
locale_t CaseLocale() {
  static const locale_t locale =
      newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return locale;
}

template <typename Map>
std::string MapCase(std::string_view text, Map map) {
  std::string out;
  out.reserve(text.size());
  const unsigned char* p = Data(text);
  const locale_t locale = CaseLocale();
  for (size_t i = 0; i < text.size();) {
    if (p[i] < 0x80) {
      out.push_back(static_cast<char>(map(p[i], locale)));
      ++i;
      continue;
    }
    const size_t n = Utf8SequenceLength(p + i, text.size() - i);
    if (n == 0 || locale == nullptr) {
      const size_t len = n == 0 ? 1 : n;
      out.append(text.substr(i, len));
      i += len;
      continue;
    }
    AppendCodePoint(&out, map(DecodeSequence(p + i, n), locale));
    i += n;
  }
  return out;
}

uint32_t LowerOf(uint32_t cp, locale_t locale) {
  if (cp < 0x80) return cp >= 'A' && cp <= 'Z' ? cp + 32 : cp;
  const auto mapped = static_cast<uint32_t>(towlower_l(cp, locale));
  return IsScalarValue(mapped) ? mapped : cp;
}

uint32_t UpperOf(uint32_t cp, locale_t locale) {
  if (cp < 0x80) return cp >= 'a' && cp <= 'z' ? cp - 32 : cp;
  const auto mapped = static_cast<uint32_t>(towupper_l(cp, locale));
  return IsScalarValue(mapped) ? mapped : cp;
}

}  // namespace

namespace {

#if ZARN_UTF8_AVX2
// Thirty-two bytes at a time, for processors with AVX2 (chosen at run
// time; the build targets plain x86-64). A byte pair (the byte before and
// the byte) is looked up in three tables of sixteen flags, by the high
// nibble of the byte before, its low nibble and the high nibble of the
// byte; a flag left in all three names a rule of RFC 3629 the pair breaks
// (a lead without its continuation, a continuation without its lead, an
// overlong form, a surrogate, a code point above 10FFFF). A continuation
// byte two or three behind a 3- or 4-byte lead is expected where a pair of
// continuations is flagged, and the two cancel. A block of pure ASCII is
// only checked for a sequence cut by its start.
namespace avx2 {

constexpr uint8_t kTooShort = 1 << 0;      // lead, then no continuation
constexpr uint8_t kTooLong = 1 << 1;       // ASCII, then a continuation
constexpr uint8_t kOverlong3 = 1 << 2;     // E0 80-9F
constexpr uint8_t kTooLarge = 1 << 3;      // F4 90-BF, F5-FF 90-BF
constexpr uint8_t kSurrogate = 1 << 4;     // ED A0-BF
constexpr uint8_t kOverlong2 = 1 << 5;     // C0-C1 continuation
constexpr uint8_t kTooLarge1000 = 1 << 6;  // F5-FF 80-8F
constexpr uint8_t kOverlong4 = 1 << 6;     // F0 80-8F
constexpr uint8_t kTwoConts = 1 << 7;      // continuation, continuation
constexpr uint8_t kCarry = kTooShort | kTooLong | kTwoConts;

alignas(16) constexpr uint8_t kByte1High[16] = {
    kTooLong,
    kTooLong,
    kTooLong,
    kTooLong,
    kTooLong,
    kTooLong,
    kTooLong,
    kTooLong,
    kTwoConts,
    kTwoConts,
    kTwoConts,
    kTwoConts,
    kTooShort | kOverlong2,
    kTooShort,
    kTooShort | kOverlong3 | kSurrogate,
    kTooShort | kTooLarge | kTooLarge1000 | kOverlong4};
alignas(16) constexpr uint8_t kByte1Low[16] = {
    kCarry | kOverlong3 | kOverlong2 | kOverlong4,
    kCarry | kOverlong2,
    kCarry,
    kCarry,
    kCarry | kTooLarge,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000 | kSurrogate,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000};
alignas(16) constexpr uint8_t kByte2High[16] = {
    kTooShort,
    kTooShort,
    kTooShort,
    kTooShort,
    kTooShort,
    kTooShort,
    kTooShort,
    kTooShort,
    kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge1000 | kOverlong4,
    kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge,
    kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge,
    kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge,
    kTooShort,
    kTooShort,
    kTooShort,
    kTooShort};
// A block ending in these bytes leaves a sequence for the next one: a lead
// in its last byte, a 3- or 4-byte lead in the one before, a 4-byte lead
// in the one before that.
alignas(32) constexpr uint8_t kIncomplete[32] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xEF, 0xDF, 0xBF};

#define ZARN_AVX2 __attribute__((target("avx2,popcnt")))

// The block shifted by n bytes, the last n of previous in front.
template <int N>
ZARN_AVX2 inline __m256i Prev(__m256i block, __m256i previous) {
  return _mm256_alignr_epi8(
      block, _mm256_permute2x128_si256(previous, block, 0x21), 16 - N);
}

ZARN_AVX2 inline __m256i Table(const uint8_t* t) {
  return _mm256_broadcastsi128_si256(
      _mm_load_si128(reinterpret_cast<const __m128i*>(t)));
}

ZARN_AVX2 inline __m256i HighNibble(__m256i v) {
  return _mm256_and_si256(_mm256_srli_epi16(v, 4), _mm256_set1_epi8(0x0F));
}

// The number of bytes of the block that are not continuation bytes.
ZARN_AVX2 inline size_t Starts(__m256i block) {
  const auto cont = static_cast<uint32_t>(
      _mm256_movemask_epi8(_mm256_cmpgt_epi8(_mm256_set1_epi8(-64), block)));
  return 32 - static_cast<size_t>(__builtin_popcount(cont));
}

// The state of a check carried from one block to the next.
struct Checker {
  __m256i error;
  __m256i previous;
  __m256i previous_incomplete;
  size_t starts;

  ZARN_AVX2 void Check(__m256i block) {
    if (_mm256_movemask_epi8(block) == 0) {
      error = _mm256_or_si256(error, previous_incomplete);
      previous_incomplete = _mm256_setzero_si256();
      starts += 32;
    } else {
      const __m256i prev1 = Prev<1>(block, previous);
      const __m256i special = _mm256_and_si256(
          _mm256_and_si256(
              _mm256_shuffle_epi8(Table(kByte1High), HighNibble(prev1)),
              _mm256_shuffle_epi8(
                  Table(kByte1Low),
                  _mm256_and_si256(prev1, _mm256_set1_epi8(0x0F)))),
          _mm256_shuffle_epi8(Table(kByte2High), HighNibble(block)));
      const __m256i third = _mm256_subs_epu8(Prev<2>(block, previous),
                                             _mm256_set1_epi8(0xE0 - 0x80));
      const __m256i fourth = _mm256_subs_epu8(Prev<3>(block, previous),
                                              _mm256_set1_epi8(0xF0 - 0x80));
      const __m256i expected =
          _mm256_and_si256(_mm256_or_si256(third, fourth),
                           _mm256_set1_epi8(static_cast<char>(0x80)));
      error = _mm256_or_si256(error, _mm256_xor_si256(expected, special));
      previous_incomplete = _mm256_subs_epu8(
          block,
          _mm256_load_si256(reinterpret_cast<const __m256i*>(kIncomplete)));
      starts += Starts(block);
    }
    previous = block;
  }
  ZARN_AVX2 bool Failed() const {
    return _mm256_testz_si256(error, error) == 0;
  }
};

// Whether the n bytes at p are valid UTF-8; *count receives the number of
// characters when they are. Stops early at an invalid byte.
ZARN_AVX2 bool CountValid(const unsigned char* p, size_t n, size_t* count) {
  Checker c{_mm256_setzero_si256(), _mm256_setzero_si256(),
            _mm256_setzero_si256(), 0};
  size_t i = 0;
  while (i + 64 <= n) {
    const __m256i a =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
    const __m256i b =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 32));
    if (_mm256_movemask_epi8(_mm256_or_si256(a, b)) == 0) {
      // Sixty-four bytes of ASCII: only a sequence cut by their start can
      // be wrong. A stretch of ASCII goes on 128 bytes at a time.
      c.error = _mm256_or_si256(c.error, c.previous_incomplete);
      c.previous_incomplete = _mm256_setzero_si256();
      c.previous = b;
      c.starts += 64;
      i += 64;
      while (i + 128 <= n) {
        const __m256i* q = reinterpret_cast<const __m256i*>(p + i);
        const __m256i last = _mm256_loadu_si256(q + 3);
        const __m256i any = _mm256_or_si256(
            _mm256_or_si256(_mm256_loadu_si256(q), _mm256_loadu_si256(q + 1)),
            _mm256_or_si256(_mm256_loadu_si256(q + 2), last));
        if (_mm256_movemask_epi8(any) != 0) break;
        c.previous = last;
        c.starts += 128;
        i += 128;
      }
      continue;
    }
    c.Check(a);
    c.Check(b);
    if ((i & 4095) == 4032 && c.Failed()) return false;
    i += 64;
  }
  for (; i + 32 <= n; i += 32) {
    c.Check(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i)));
  }
  if (i < n) {
    // The rest padded with NUL bytes, which are ASCII and begin
    // characters of their own.
    alignas(32) unsigned char last[32] = {};
    std::memcpy(last, p + i, n - i);
    c.Check(_mm256_load_si256(reinterpret_cast<const __m256i*>(last)));
    c.starts -= 32 - (n - i);
  }
  c.error = _mm256_or_si256(c.error, c.previous_incomplete);
  *count = c.starts;
  return !c.Failed();
}

// The number of characters of the n >= 32 bytes at p of a valid text; the
// last block is the last thirty-two bytes, of which only those not yet
// counted are.
ZARN_AVX2 size_t CountStarts(const unsigned char* p, size_t n) {
  size_t count = 0;
  size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    count +=
        Starts(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i)));
  }
  if (i < n) {
    const __m256i last =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + n - 32));
    const auto cont = static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpgt_epi8(_mm256_set1_epi8(-64), last)));
    const size_t rest = n - i;
    count +=
        rest - static_cast<size_t>(__builtin_popcount(cont >> (32 - rest)));
  }
  return count;
}

// Passes whole blocks of thirty-two bytes from p on (n bytes) of a valid
// text while each holds no more character starts than are left of
// *count; returns the bytes passed, *count the starts left.
ZARN_AVX2 size_t SkipStarts(const unsigned char* p, size_t n, size_t* count) {
  size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    const size_t starts =
        Starts(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i)));
    if (starts > *count) break;
    *count -= starts;
  }
  return i;
}

}  // namespace avx2
#endif

// Whether the processor runs the AVX2 code above.
bool UseAvx2() {
#if ZARN_UTF8_AVX2
  static const bool use =
      __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
  return use;
#else
  return false;
#endif
}

#if defined(__SSE2__)
int PopCount16(unsigned x) {
  x = x - ((x >> 1) & 0x5555);
  x = (x & 0x3333) + ((x >> 2) & 0x3333);
  x = (x + (x >> 4)) & 0x0F0F;
  return static_cast<int>((x + (x >> 8)) & 0x1F);
}

// The sixteen bytes at p, which begin at a character start, when they hold
// only ASCII and valid 2- and 3-byte sequences (Latin, Greek, Cyrillic,
// Hebrew, Arabic, CJK and most symbols): *used receives how many of them
// (fewer when the last sequence goes on past them) and the result how many
// characters begin there. -1 for anything else, left to the byte loop.
int FewByteSequences(const unsigned char* p, size_t* used) {
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  auto below = [&](int v) {
    return static_cast<unsigned>(_mm_movemask_epi8(
        _mm_cmplt_epi8(b, _mm_set1_epi8(static_cast<char>(v)))));
  };
  auto equal = [&](int v) {
    return static_cast<unsigned>(_mm_movemask_epi8(
        _mm_cmpeq_epi8(b, _mm_set1_epi8(static_cast<char>(v)))));
  };
  // As signed bytes: continuations 80-BF lie below -64 (80-9F below -96),
  // leads C2-DF from -62 to -33, leads E0-EF from -32 to -17.
  unsigned other = static_cast<unsigned>(_mm_movemask_epi8(b));
  *used = 16;
  if (other == 0) return 16;
  unsigned cont = below(-64);
  const unsigned low_cont = below(-96);
  unsigned lead2 = below(-32) & ~below(-62);
  unsigned lead3 = below(-16) & ~below(-32);
  // A sequence that goes on past the sixteen is left to the next ones.
  unsigned keep = 0xFFFF;
  if (lead3 & 0x4000) keep = 0x3FFF;
  if ((lead2 | lead3) & 0x8000) keep &= 0x7FFF;
  *used = keep == 0x3FFF ? 14 : keep == 0x7FFF ? 15 : 16;
  other &= keep;
  cont &= keep;
  lead2 &= keep;
  lead3 &= keep;
  // Every byte from 0x80 on is a lead or a continuation, exactly the bytes
  // behind the leads are continuations, E0 is followed by A0-BF and ED by
  // 80-9F (no overlong form, no surrogate).
  const unsigned claimed = ((lead2 | lead3) << 1 | lead3 << 2) & 0xFFFF;
  if ((cont | lead2 | lead3) != other || claimed != cont ||
      ((equal(-32) & keep) << 1 & low_cont) != 0 ||
      ((equal(-19) & keep) << 1 & cont & ~low_cont) != 0) {
    return -1;
  }
  return static_cast<int>(*used) - PopCount16(cont);
}
#endif

}  // namespace

size_t CountChars(std::string_view s, bool* valid) {
  const unsigned char* p = Data(s);
  const size_t n = s.size();
  if (n <= 16) {
    // A short text (a replacement, the bytes around an edit) of ASCII.
    size_t i = 0;
    while (i < n && p[i] < 0x80) ++i;
    if (i == n) {
      if (valid != nullptr) *valid = true;
      return n;
    }
  }
#if ZARN_UTF8_AVX2
  // A valid text (the common case) in one pass; an invalid one is counted
  // again below, character by character where it is not valid.
  if (n >= 32 && UseAvx2()) {
    size_t count = 0;
    if (avx2::CountValid(p, n, &count)) {
      if (valid != nullptr) *valid = true;
      return count;
    }
  }
#endif
  size_t count = 0;
  size_t i = 0;
  bool all_valid = true;
  while (i < n) {
    size_t end = n;  // the byte loop below goes on to here
#if defined(__SSE2__)
    // Pure ASCII, sixty-four bytes at a time.
    while (i + 64 <= n) {
      const __m128i* q = reinterpret_cast<const __m128i*>(p + i);
      const __m128i any = _mm_or_si128(
          _mm_or_si128(_mm_loadu_si128(q), _mm_loadu_si128(q + 1)),
          _mm_or_si128(_mm_loadu_si128(q + 2), _mm_loadu_si128(q + 3)));
      if (_mm_movemask_epi8(any) != 0) break;
      i += 64;
      count += 64;
    }
    if (i + 16 <= n) {
      size_t used = 0;
      const int chars = FewByteSequences(p + i, &used);
      if (chars >= 0) {
        i += used;
        count += static_cast<size_t>(chars);
        continue;
      }
      end = i + 16;
    }
#endif
    // Character by character, to the end of the sixteen bytes (or of the
    // text), ASCII eight at a time.
    while (i < end) {
      if (i + 8 <= end && EightAscii(p + i)) {
        i += 8;
        count += 8;
        continue;
      }
      const size_t len = Utf8SequenceLength(p + i, n - i);
      all_valid = all_valid && len != 0;
      i += len == 0 ? 1 : len;
      ++count;
    }
  }
  if (valid != nullptr) *valid = all_valid;
  return count;
}

namespace {

// The number of bytes of the eight at p that begin a character (are not
// continuation bytes 10xxxxxx).
int EightStarts(const unsigned char* p) {
  uint64_t w = 0;
  std::memcpy(&w, p, 8);
  // A continuation byte has its top bit set and the next one clear; each
  // becomes a 1 in the low bit of its byte, and the multiplication sums
  // the eight bytes into the top one (no popcount instruction needed).
  const uint64_t continuation = (w & ~(w << 1) & 0x8080808080808080ull) >> 7;
  return 8 - static_cast<int>((continuation * 0x0101010101010101ull) >> 56);
}

}  // namespace

size_t CountCharStarts(std::string_view s) {
  const unsigned char* p = Data(s);
  const size_t n = s.size();
#if ZARN_UTF8_AVX2
  if (n >= 32 && UseAvx2()) return avx2::CountStarts(p, n);
#endif
  size_t count = 0;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) count += static_cast<size_t>(EightStarts(p + i));
  for (; i < n; ++i) count += !IsContinuationByte(p[i]);
  return count;
}

size_t SkipCharStarts(std::string_view s, size_t from, size_t count) {
  const unsigned char* p = Data(s);
  const size_t n = s.size();
  size_t i = from;
#if ZARN_UTF8_AVX2
  if (from <= n && n - from >= 32 && count >= 32 && UseAvx2()) {
    i += avx2::SkipStarts(p + from, n - from, &count);
  }
#endif
  // Whole words while the character wanted lies beyond them; the word then
  // holds at least one more start than are left to pass.
  while (i + 8 <= n) {
    const size_t starts = static_cast<size_t>(EightStarts(p + i));
    if (starts > count) break;
    count -= starts;
    i += 8;
  }
  // count starts to pass, then the next start is the offset.
  for (; i < n; ++i) {
    if (IsContinuationByte(p[i])) continue;
    if (count == 0) return i;
    --count;
  }
  return n;
}

size_t SkipCharStartsBack(std::string_view s, size_t end, size_t count) {
  const unsigned char* p = Data(s);
  size_t i = end;
  while (count > 0 && i >= 8) {
    const size_t starts = static_cast<size_t>(EightStarts(p + i - 8));
    if (starts >= count) break;
    count -= starts;
    i -= 8;
  }
  while (count > 0 && i > 0) {
    --i;
    if (!IsContinuationByte(p[i])) --count;
  }
  return i;
}

size_t SkipChars(std::string_view s, size_t from, size_t count,
                 size_t* skipped) {
  const unsigned char* p = Data(s);
  const size_t n = s.size();
  size_t done = 0;
  size_t i = from;
  while (done < count && i < n) {
    if (count - done >= 8 && i + 8 <= n && EightAscii(p + i)) {
      i += 8;
      done += 8;
      continue;
    }
    const size_t len = Utf8SequenceLength(p + i, n - i);
    i += len == 0 ? 1 : len;
    ++done;
  }
  if (skipped != nullptr) *skipped = done;
  return i;
}

size_t CharStartBefore(std::string_view s, size_t end) {
  const unsigned char* p = Data(s);
  // A valid sequence ends here when its lead lies at most three bytes back
  // and reaches exactly to end; otherwise the last byte stands alone.
  for (size_t k = 1; k <= 4 && k <= end; ++k) {
    const size_t j = end - k;
    if (IsContinuationByte(p[j])) continue;
    return Utf8SequenceLength(p + j, s.size() - j) == k ? j : end - 1;
  }
  return end - 1;
}

size_t SkipCharsBack(std::string_view s, size_t end, size_t count) {
  const unsigned char* p = Data(s);
  size_t i = end;
  while (count > 0 && i > 0) {
    if (count >= 8 && i >= 8 && EightAscii(p + i - 8)) {
      i -= 8;
      count -= 8;
      continue;
    }
    i = CharStartBefore(s, i);
    --count;
  }
  return i;
}

bool IsCharStart(std::string_view s, size_t i) {
  if (i == 0 || i >= s.size()) return true;
  const unsigned char* p = Data(s);
  if (!IsContinuationByte(p[i])) return true;
  // Inside a character only when a lead at most three bytes back begins a
  // valid sequence that reaches past i.
  for (size_t k = 1; k <= 3 && k <= i; ++k) {
    const size_t j = i - k;
    if (IsContinuationByte(p[j])) continue;
    return Utf8SequenceLength(p + j, s.size() - j) <= k;
  }
  return true;
}

size_t FindChars(std::string_view text, std::string_view what, size_t from) {
  if (what.empty()) return from <= text.size() ? from : std::string_view::npos;
  // A text that begins with a character start and ends with a whole valid
  // character can only be found at character starts: its first byte starts
  // a character wherever it stands, and its last character is whole.
  const unsigned char* w = Data(what);
  const size_t last = CharStartBefore(what, what.size());
  const bool aligned =
      !IsContinuationByte(w[0]) &&
      Utf8SequenceLength(w + last, what.size() - last) == what.size() - last;
  for (size_t at = FindText(text, what, from); at != std::string_view::npos;
       at = FindText(text, what, at + 1)) {
    if (aligned ||
        (IsCharStart(text, at) && IsCharStart(text, at + what.size()))) {
      return at;
    }
  }
  return std::string_view::npos;
}

uint32_t DecodeSequence(const unsigned char* p, size_t n) {
  switch (n) {
    case 1:
      return p[0];
    case 2:
      return (uint32_t{p[0]} & 0x1F) << 6 | (p[1] & 0x3F);
    case 3:
      return (uint32_t{p[0]} & 0x0F) << 12 | (uint32_t{p[1]} & 0x3F) << 6 |
             (p[2] & 0x3F);
    default:
      return (uint32_t{p[0]} & 0x07) << 18 | (uint32_t{p[1]} & 0x3F) << 12 |
             (uint32_t{p[2]} & 0x3F) << 6 | (p[3] & 0x3F);
  }
}

void AppendCodePoint(std::string* out, uint32_t cp) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string GetWordChars(std::string_view text, std::string_view separators,
                         int32_t n) {
  // Bytes from 0x80 on never stand for an ASCII character, so ASCII
  // separators split the bytes as they split the characters.
  if (std::all_of(separators.begin(), separators.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x80;
      })) {
    return GetWord(text, separators, n);
  }
  auto separates = [&](std::string_view c) {
    return FindChars(separators, c, 0) != std::string_view::npos;
  };
  std::string_view word;
  size_t i = 0;
  for (int32_t k = 0; k < n; ++k) {
    // Skip separators, then take the run up to the next one.
    while (i < text.size() &&
           separates(text.substr(i, CharLengthAt(text, i)))) {
      i += CharLengthAt(text, i);
    }
    if (i >= text.size()) return std::string();
    const size_t begin = i;
    while (i < text.size() &&
           !separates(text.substr(i, CharLengthAt(text, i)))) {
      i += CharLengthAt(text, i);
    }
    word = text.substr(begin, i - begin);
  }
  return std::string(word);
}

std::string OverlayChars(std::string_view overlay, std::string_view base,
                         int32_t position) {
  if (overlay.empty() || position < 1) {
    return OverlayText(overlay, base, position);
  }
  const size_t p = static_cast<size_t>(position);
  std::string padded(base);
  const size_t chars = CountChars(base);
  if (chars < p) padded.append(p - chars, ' ');
  const size_t start = SkipChars(padded, 0, p - 1);
  const size_t rest = SkipChars(padded, start, CountChars(overlay));
  std::string out = padded.substr(0, start);
  out.append(overlay);
  out.append(padded, rest, std::string::npos);
  return out;
}

std::string ReverseChars(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t end = text.size(); end > 0;) {
    const size_t start = CharStartBefore(text, end);
    out.append(text.substr(start, end - start));
    end = start;
  }
  return out;
}

std::string Utf8Lower(std::string_view text) { return MapCase(text, LowerOf); }

std::string Utf8Upper(std::string_view text) { return MapCase(text, UpperOf); }

}  // namespace zarn
