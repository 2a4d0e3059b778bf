#include "support/regex.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include "support/text.h"

namespace zarn {
namespace {

// Limits that end a runaway attempt. They count per start position of one
// attempt. The match limit is the engine's own default: (a+)+b over 30,000
// letters hits it in tens of milliseconds with the JIT and well under a
// second without it, while real patterns over large texts stay far below.
constexpr uint32_t kMatchLimit = 10'000'000;
// Depth and heap only bind without the JIT (the JIT has its own stack). A
// depth of two million backtracking points is about what the JIT stack
// below allows too, e.g. "(.)*" over two million characters.
constexpr uint32_t kDepthLimit = 2'000'000;
constexpr uint32_t kHeapLimitKib = 512 * 1024;
// The JIT first runs on a small stack of its own; a pattern that needs more
// gets a private stack that grows up to this size (address space is
// reserved, memory is only used as the stack grows).
constexpr size_t kJitStackStart = 32 * 1024;
constexpr size_t kJitStackMax = 64 * 1024 * 1024;

// PCRE2 refuses a null pointer even with length 0.
constexpr PCRE2_UCHAR8 kEmpty[] = {0};

PCRE2_SPTR8 Bytes(std::string_view s) {
  return s.empty() ? kEmpty : reinterpret_cast<PCRE2_SPTR8>(s.data());
}

std::string EngineMessage(int code) {
  PCRE2_UCHAR8 buffer[256];
  int n = pcre2_get_error_message(code, buffer, sizeof buffer);
  if (n < 0) return "regular expression engine error " + std::to_string(code);
  return std::string(reinterpret_cast<const char*>(buffer),
                     static_cast<size_t>(n));
}

int32_t ClampToInt32(int64_t v) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                          std::numeric_limits<int32_t>::max()));
}

}  // namespace

namespace {

bool IsLineBreakOrNul(unsigned char c) {
  return c == '\0' || c == '\r' || c == '\n';
}

bool IsAsciiAlnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
         (c >= 'A' && c <= 'Z');
}

// An escape that can match none of CR, LF and NUL and that sees them all
// alike: \d, \w and the word boundaries, or an escaped character that
// stands for itself. In a class \b is a backspace.
bool IsBlindEscape(unsigned char c) {
  if (IsLineBreakOrNul(c)) return false;
  if (!IsAsciiAlnum(c)) return true;  // punctuation or a byte above 127
  return c == 'd' || c == 'w' || c == 'b' || c == 'B';
}

}  // namespace

namespace {

// The length of the atom at the start of the pattern when it must consume
// a character other than CR, LF and NUL: a plain character, an escaped
// punctuation character, \d, \w or a class that is not negated; 0 for
// anything else. The caller has checked that every part is blind.
size_t ConsumingAtomLength(std::string_view p, bool utf) {
  if (p.empty()) return 0;
  switch (p[0]) {
    case '\\':
      // \b and \B match no character.
      return p.size() >= 2 && p[1] != 'b' && p[1] != 'B' ? 2 : 0;
    case '[': {
      size_t i = 1;
      if (i < p.size() && p[i] == ']') return 2;  // [] matches nothing
      for (; i < p.size(); ++i) {
        if (p[i] == '\\') {
          ++i;
        } else if (p[i] == ']') {
          return i + 1;
        }
      }
      return 0;
    }
    case '(':
    case ')':
    case '|':
    case '*':
    case '+':
    case '?':
    case '{':
    case '^':
    case '$':
    case '.':
      return 0;
    default:
      return utf ? CharLengthAt(p, 0) : 1;
  }
}

// Whether the quantifier at the start of p (if any) allows zero repeats.
bool AllowsZero(std::string_view p) {
  if (p.empty()) return false;
  if (p[0] == '*' || p[0] == '?') return true;
  if (p[0] != '{') return false;
  return p.size() < 2 || p[1] < '1' || p[1] > '9';
}

}  // namespace

bool LineBreaksMatter(std::string_view pattern, bool utf) {
  const size_t n = pattern.size();
  size_t i = 0;
  int depth = 0;
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(pattern[i]);
    if (IsLineBreakOrNul(c)) return true;
    switch (c) {
      case '\\':
        if (i + 1 >= n ||
            !IsBlindEscape(static_cast<unsigned char>(pattern[i + 1]))) {
          return true;
        }
        i += 2;
        continue;
      case '.':
        return true;
      case '(':
        if (i + 1 < n && (pattern[i + 1] == '?' || pattern[i + 1] == '*')) {
          return true;
        }
        ++depth;
        ++i;
        continue;
      case ')':
        --depth;
        ++i;
        continue;
      case '|':
        // An alternative of the whole pattern may begin otherwise.
        if (depth <= 0) return true;
        ++i;
        continue;
      case '[':
        break;  // a class, below
      default:
        ++i;  // a literal, a quantifier or an anchor
        continue;
    }

    // A class: "[]" is empty and matches nothing; "[^" can match anything.
    ++i;
    if (i < n && pattern[i] == '^') return true;
    if (i < n && pattern[i] == ']') {
      ++i;
      continue;
    }
    int previous = -1;  // the last plain character, a possible range start
    for (;;) {
      if (i >= n) return true;  // unterminated: let the engine judge
      const unsigned char k = static_cast<unsigned char>(pattern[i]);
      if (IsLineBreakOrNul(k) || k == '[') return true;  // [[:space:]] too
      if (k == ']') {
        ++i;
        break;
      }
      if (k == '\\') {
        if (i + 1 >= n ||
            !IsBlindEscape(static_cast<unsigned char>(pattern[i + 1]))) {
          return true;
        }
        previous = -1;
        i += 2;
        continue;
      }
      if (k == '-' && previous >= 0 && i + 1 < n && pattern[i + 1] != ']') {
        // A range: all its members lie at or above its lower end, so one
        // that starts above CR holds none of NUL, LF and CR.
        const unsigned char high = static_cast<unsigned char>(pattern[i + 1]);
        if (previous <= '\r' || high == '\\' || high == '[' ||
            IsLineBreakOrNul(high)) {
          return true;
        }
        previous = -1;
        i += 2;
        continue;
      }
      previous = k;
      ++i;
    }
  }

  // Every part is blind. Where a match may begin matters still: the engine
  // never starts a match between the CR and the LF of a pair (it steps over
  // the LF), while between two NUL characters it does. A match that must
  // begin by consuming a character other than CR, LF and NUL cannot begin
  // there in either text, so the pattern must begin (after an optional ^)
  // with such an atom that is not optional.
  std::string_view rest = pattern;
  if (!rest.empty() && rest[0] == '^') rest.remove_prefix(1);
  const size_t atom = ConsumingAtomLength(rest, utf);
  if (atom == 0) return true;
  return AllowsZero(rest.substr(atom));
}

struct Regex::Engine {
  pcre2_code_8* code = nullptr;
  pcre2_match_data_8* match_data = nullptr;
  pcre2_match_context_8* match_context = nullptr;
  pcre2_jit_stack_8* jit_stack = nullptr;  // made on first need
  bool jit = false;
  bool matched = false;  // the last Match found something

  Engine() = default;
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;
  ~Engine() {
    pcre2_jit_stack_free(jit_stack);
    pcre2_match_context_free(match_context);
    pcre2_match_data_free(match_data);
    pcre2_code_free(code);
  }
};

Regex::Regex(std::string_view pattern, RegexOptions options)
    : pattern_(pattern), options_(options), engine_(new Engine) {
  pcre2_compile_context_8* context = pcre2_compile_context_create(nullptr);
  if (context == nullptr) {
    error_ = EngineMessage(PCRE2_ERROR_NOMEMORY);
    return;
  }
  pcre2_set_newline(context, PCRE2_NEWLINE_ANYCRLF);
  if (options.crlf_line_ends_only) pcre2_set_bsr(context, PCRE2_BSR_ANYCRLF);
  pcre2_set_compile_extra_options(context, PCRE2_EXTRA_ALT_BSUX);
  uint32_t flags = PCRE2_DOLLAR_ENDONLY | PCRE2_ALT_BSUX |
                   PCRE2_MATCH_UNSET_BACKREF | PCRE2_ALLOW_EMPTY_CLASS;
  if (options.ignore_case) flags |= PCRE2_CASELESS;
  if (options.multiline) flags |= PCRE2_MULTILINE;
  if (options.utf) {
    flags |= PCRE2_UTF | PCRE2_UCP | PCRE2_MATCH_INVALID_UTF;
  }
  int error_code = 0;
  PCRE2_SIZE error_offset = 0;
  engine_->code = pcre2_compile(Bytes(pattern), pattern.size(), flags,
                                &error_code, &error_offset, context);
  pcre2_compile_context_free(context);
  if (engine_->code == nullptr) {
    error_ = EngineMessage(error_code) + " at offset " +
             std::to_string(error_offset);
    return;
  }

  uint32_t captures = 0;
  pcre2_pattern_info(engine_->code, PCRE2_INFO_CAPTURECOUNT, &captures);
  // Without a JIT the interpreter serves; the results are the same.
  engine_->jit = pcre2_jit_compile(engine_->code, PCRE2_JIT_COMPLETE) == 0;
  engine_->match_data =
      pcre2_match_data_create_from_pattern(engine_->code, nullptr);
  engine_->match_context = pcre2_match_context_create(nullptr);
  if (engine_->match_data == nullptr || engine_->match_context == nullptr) {
    error_ = EngineMessage(PCRE2_ERROR_NOMEMORY);
    return;
  }
  pcre2_set_match_limit(engine_->match_context, kMatchLimit);
  pcre2_set_depth_limit(engine_->match_context, kDepthLimit);
  pcre2_set_heap_limit(engine_->match_context, kHeapLimitKib);
  capture_count_ = static_cast<int>(captures);
  line_breaks_matter_ = LineBreaksMatter(pattern, options.utf);
  ok_ = true;
}

Regex::~Regex() = default;

MatchStatus Regex::Match(std::string_view subject, size_t start) {
  engine_->matched = false;
  if (!ok_) return MatchStatus::kInvalidPattern;
  if (start > subject.size()) return MatchStatus::kNoMatch;
  auto run = [&] {
    return pcre2_match(engine_->code, Bytes(subject), subject.size(), start, 0,
                       engine_->match_data, engine_->match_context);
  };
  int rc = run();
  if (rc == PCRE2_ERROR_JIT_STACKLIMIT && engine_->jit_stack == nullptr) {
    // Deep repetition: run again on a larger stack; matching is a pure
    // function of pattern and subject, so the retry cannot change a result.
    engine_->jit_stack =
        pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr);
    if (engine_->jit_stack != nullptr) {
      pcre2_jit_stack_assign(engine_->match_context, nullptr,
                             engine_->jit_stack);
      rc = run();
    }
  }
  if (rc == PCRE2_ERROR_NOMATCH) return MatchStatus::kNoMatch;
  // rc == 0 would mean too small a match buffer, which cannot happen with
  // one made for the pattern; every other negative value is a limit or an
  // engine failure.
  if (rc <= 0) {
    last_match_error_ = EngineMessage(rc);
    return MatchStatus::kLimitExceeded;
  }
  engine_->matched = true;
  return MatchStatus::kMatch;
}

bool Regex::Group(int i, size_t* begin, size_t* end) const {
  if (!engine_->matched || i < 0 || i > capture_count_) return false;
  const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(engine_->match_data);
  PCRE2_SIZE b = ovector[2 * i];
  PCRE2_SIZE e = ovector[2 * i + 1];
  if (b == PCRE2_UNSET || e == PCRE2_UNSET) return false;
  *begin = b;
  // "\K" can put the start after the end; such a match counts as empty.
  *end = std::max(b, e);
  return true;
}

RegexCache::RegexCache(size_t capacity)
    : capacity_(std::max<size_t>(capacity, 1)) {}

RegexCache::~RegexCache() = default;

Regex& RegexCache::Get(std::string_view pattern, RegexOptions options) {
  const std::array<char, 4> flags{
      options.ignore_case ? 'i' : '-', options.multiline ? 'm' : '-',
      options.crlf_line_ends_only ? 'r' : '-', options.utf ? 'u' : '-'};
  // The key of the last call is still in key_buffer_, and its entry first:
  // the same pattern again (a search in a loop) needs no lookup.
  if (!entries_.empty() &&
      key_buffer_.size() == flags.size() + pattern.size() &&
      std::string_view(key_buffer_).substr(0, flags.size()) ==
          std::string_view(flags.data(), flags.size()) &&
      std::string_view(key_buffer_).substr(flags.size()) == pattern) {
    return *entries_.front().regex;
  }
  key_buffer_.assign(flags.data(), flags.size());
  key_buffer_.append(pattern);
  auto found = index_.find(key_buffer_);
  if (found != index_.end()) {
    entries_.splice(entries_.begin(), entries_, found->second);
    return *entries_.front().regex;
  }
  entries_.push_front(
      Entry{key_buffer_, std::make_unique<Regex>(pattern, options)});
  index_.emplace(entries_.front().key, entries_.begin());
  while (entries_.size() > capacity_) {
    index_.erase(entries_.back().key);
    entries_.pop_back();
  }
  return *entries_.front().regex;
}

RegularExpressions::RegularExpressions(size_t cache_capacity)
    : cache_(cache_capacity) {}

bool RegularExpressions::CheckPattern(std::string_view pattern,
                                      RegexOptions options, std::string* err) {
  Regex& regex = cache_.Get(pattern, options);
  if (!regex.ok() && err != nullptr) *err = regex.error();
  return regex.ok();
}

MatchStatus RegularExpressions::Test(std::string_view text,
                                     std::string_view pattern, bool multiline,
                                     std::string* err) {
  Regex& regex = cache_.Get(pattern, TestOptions(multiline));
  if (!regex.ok()) {
    if (err != nullptr) *err = regex.error();
    return MatchStatus::kInvalidPattern;
  }
  MatchStatus status = regex.Match(text, 0);
  if (status == MatchStatus::kLimitExceeded && err != nullptr) {
    *err = regex.last_match_error();
  }
  return status;
}

bool MatchesAsBytes(std::string_view pattern, bool ignore_case) {
  if (pattern.empty()) return false;
  for (const char c : pattern) {
    const bool literal = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == ' ' || c == '_';
    if (!literal) return false;
    if (ignore_case && (c == 'k' || c == 'K' || c == 's' || c == 'S')) {
      return false;
    }
  }
  return true;
}

Regex* RegularExpressions::StartSearch(std::string_view pattern,
                                       bool ignore_case, SearchResult* result) {
  result->count = -1;
  result->position = 0;
  result->length = 0;
  result->captures.clear();
  result->limit_exceeded = false;
  bool utf = false;
  if (search_utf_) {
    if (last_.ignore_case != ignore_case || last_.pattern != pattern) {
      last_.pattern.assign(pattern);
      last_.ignore_case = ignore_case;
      last_.as_bytes = MatchesAsBytes(pattern, ignore_case);
    }
    utf = !last_.as_bytes;
  }
  Regex& regex =
      cache_.Get(pattern, RegexOptions{.ignore_case = ignore_case, .utf = utf});
  return regex.ok() ? &regex : nullptr;
}

void RegularExpressions::Search(std::string_view text, int32_t start,
                                std::string_view pattern, bool ignore_case,
                                bool count_all, SearchResult* result) {
  Regex* const regex = StartSearch(pattern, ignore_case, result);
  if (regex == nullptr) return;

  std::string_view subject;
  if (start >= 1 && text.size() > static_cast<size_t>(start)) {
    subject = text.substr(static_cast<size_t>(start) - 1);
  }
  if (subject.find("\r\n") != std::string_view::npos) {
    subject_buffer_.assign(subject);
    for (size_t p = subject_buffer_.find("\r\n"); p != std::string::npos;
         p = subject_buffer_.find("\r\n", p + 2)) {
      subject_buffer_[p] = '\0';
      subject_buffer_[p + 1] = '\0';
    }
    subject = subject_buffer_;
  }
  SearchSubject(*regex, subject, start, count_all, result);
}

void RegularExpressions::Search(SearchText& text, int32_t start,
                                std::string_view pattern, bool ignore_case,
                                bool count_all, SearchResult* result) {
  Regex* const regex = StartSearch(pattern, ignore_case, result);
  if (regex == nullptr) return;

  std::string_view subject;
  if (start >= 1 && text.size() > static_cast<size_t>(start)) {
    const bool translated = regex->line_breaks_matter() && text.HasCrLf();
    subject = text.From(static_cast<size_t>(start) - 1, translated);
  }
  SearchSubject(*regex, subject, start, count_all, result);
}

void RegularExpressions::SearchSubject(Regex& regex, std::string_view subject,
                                       int32_t start, bool count_all,
                                       SearchResult* result) {
  if (regex.pattern().empty()) {
    // The empty pattern matches the empty text at every offset 0..n; counted
    // directly instead of by n + 1 attempts.
    const size_t places = search_utf_ ? CountChars(subject) : subject.size();
    result->count =
        count_all ? ClampToInt32(static_cast<int64_t>(places) + 1) : 1;
    result->position = start;
    return;
  }

  MatchStatus status = regex.Match(subject, 0);
  if (status == MatchStatus::kNoMatch) {
    result->count = 0;
    return;
  }
  if (status != MatchStatus::kMatch) {  // limit: like an invalid pattern
    result->limit_exceeded = true;
    return;
  }

  size_t begin = 0;
  size_t end = 0;
  regex.Group(0, &begin, &end);
  result->position = ClampToInt32(int64_t{start} + static_cast<int64_t>(begin));
  result->length = ClampToInt32(static_cast<int64_t>(end - begin));
  // Before the counting below reuses the match buffers.
  LocateGroups(regex, int64_t{start}, result);

  int64_t count = 1;
  if (count_all) {
    size_t attempt = 0;
    for (;;) {
      size_t next = end > begin ? end : end + 1;
      if (search_utf_ && end == begin && end < subject.size()) {
        next = end + CharLengthAt(subject, end);
      }
      next = std::max(next, attempt + 1);  // always move on
      if (next > subject.size()) break;
      attempt = next;
      const MatchStatus later = regex.Match(subject, attempt);
      if (later == MatchStatus::kLimitExceeded) result->limit_exceeded = true;
      if (later != MatchStatus::kMatch) break;
      regex.Group(0, &begin, &end);
      ++count;
    }
  }
  result->count = ClampToInt32(count);
}

void RegularExpressions::LocateGroups(const Regex& regex, int64_t origin,
                                      SearchResult* result) {
  // The engine reports every group's offsets in the subject, which begins
  // at the search's start; a CR LF seen as two NUL characters keeps every
  // offset where it was. A group that took no part gets no range.
  const int groups = regex.NumberOfCaptureGroups();
  for (int i = 1; i <= groups; ++i) {
    size_t begin = 0;
    size_t end = 0;
    if (!regex.Group(i, &begin, &end)) continue;
    result->captures.push_back(
        CaptureRange{i, ClampToInt32(origin + static_cast<int64_t>(begin)),
                     ClampToInt32(static_cast<int64_t>(end - begin))});
  }
}

}  // namespace zarn
