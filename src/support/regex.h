// Regular-expression matching: the file-name test of the file loop and the
// search of the find commands.
//
// Thread-safety: a RegularExpressions (its cache of compiled patterns, its
// match data and scratch) belongs to one thread; each thread that searches
// needs its own.
//
// The engine is PCRE2 (8-bit), set up to behave like an ECMAScript engine
// over byte strings:
//   - one byte is one character (no UTF mode); letter case is folded for
//     ASCII letters only, so bytes 128-255 never match another byte;
//   - the dot does not match CR or LF; "^" and "$" match at CR and LF only in
//     multiline mode, otherwise "$" matches at the very end only;
//   - "\uhhhh" and "\xhh" are hexadecimal escapes ("\x" without two hex
//     digits is a plain "x");
//   - a backreference to a group that has not taken part matches the empty
//     string; "[]" matches nothing and "[^]" matches any character.
// In UTF-8 mode (RegexOptions::utf) the pattern and the subject are UTF-8
// instead: "." and every class take one character, \w, \d, \s, \b and
// letter case follow Unicode (simple case folding), and bytes that are not
// valid UTF-8 are matched by nothing (a match goes around them). Offsets
// stay byte offsets, always at character starts.
// Patterns are JIT-compiled where the platform allows it.
//
// A match attempt that runs away (catastrophic backtracking) is ended by the
// engine's match, depth and stack limits and reported as kLimitExceeded
// rather than hanging the batch run. The limits apply to each start position
// of an attempt; a pattern that does little work at each of very many start
// positions is not bounded by them.
//
// Nothing here is global: a run owns one RegularExpressions object, whose
// cache keeps the compiled patterns of the run. Not thread-safe.
#ifndef ZARN_SUPPORT_REGEX_H_
#define ZARN_SUPPORT_REGEX_H_

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "support/utf8.h"

namespace zarn {

// Whether a pattern might find anything different in a text whose CR LF
// pairs are seen as two NUL characters. False only when it provably cannot:
// every part of the pattern is a literal character other than CR, LF and
// NUL, an escaped punctuation character, \d, \w, \b or \B, a class (not
// negated) made of such characters, of \d and \w and of ranges whose lower
// end lies above CR, a plain group, an alternative inside a group, a
// quantifier or an anchor ^ $ (which match only at the ends of a search's
// subject); and the pattern begins (after an optional ^) with a character,
// escape or class of these that is not optional. None of these parts can
// match a CR, an LF or a NUL, a word boundary sees all three alike, and
// every match begins by consuming another character, so it can never begin
// between the CR and the LF of a pair, where the engine would refuse to
// start one. Every match attempt then goes the same way in both texts.
// Anything else (".", \s, \S, \D, \W, negated classes, escapes of letters
// and digits such as \x00, \0, \r, \n or back references, "(?" and "(*"
// constructs, POSIX classes, alternatives of the whole pattern, patterns
// that may match the empty text) counts as mattering.
// In UTF-8 mode (utf) a multi-byte character of the pattern is one atom.
bool LineBreaksMatter(std::string_view pattern, bool utf = false);

// Whether the pattern, searched in UTF-8 mode, matches exactly where it
// matches as bytes: it is not empty and holds only ASCII letters, digits,
// blanks and "_", each a literal that stands for itself alone; when case
// is ignored, no k or s (Unicode folds K with U+212A KELVIN SIGN and S
// with U+017F LONG S). Such a pattern can only match ASCII bytes, an ASCII
// byte is a character of its own wherever it stands (never inside a
// sequence, never part of an invalid byte), and the other letters fold
// with ASCII letters only: every match in either mode lies between
// character starts and is one in the other mode. Searches compile it
// without UTF (a faster engine path).
bool MatchesAsBytes(std::string_view pattern, bool ignore_case);

// The options a pattern is compiled with; together with the pattern text
// they identify a compiled pattern in the cache.
struct RegexOptions {
  bool ignore_case = false;
  bool multiline = false;
  // "\R" matches only the line ends CR LF, LF and CR; otherwise it also
  // matches VT, FF and the byte 0x85, which is a piece of many UTF-8
  // characters.
  bool crlf_line_ends_only = false;
  // Pattern and subject are UTF-8 (see above).
  bool utf = false;
};

enum class MatchStatus {
  kMatch,
  kNoMatch,
  kInvalidPattern,
  // The attempt ran into the match, depth, heap or JIT stack limit (or the
  // engine failed otherwise); whether the pattern matches is unknown.
  kLimitExceeded,
};

// One compiled pattern. Constructing never throws: an invalid pattern gives
// an object whose ok() is false and whose error() says why.
class Regex {
 public:
  Regex(std::string_view pattern, RegexOptions options);
  ~Regex();
  Regex(const Regex&) = delete;
  Regex& operator=(const Regex&) = delete;

  bool ok() const { return ok_; }
  // The engine's message and the offset it points at; empty when ok().
  const std::string& error() const { return error_; }
  const std::string& pattern() const { return pattern_; }
  RegexOptions options() const { return options_; }
  // Whether the pattern could find anything different in a text whose
  // CR LF pairs are seen as two NUL characters (see LineBreaksMatter).
  bool line_breaks_matter() const { return line_breaks_matter_; }
  // Number of capture groups (the whole match not counted); 0 when !ok().
  int NumberOfCaptureGroups() const { return capture_count_; }

  // Looks for the first match that begins at or after the zero-based offset
  // start of subject. The whole subject stays visible to the pattern, so
  // lookbehind and "\b" see the characters before start, while "^" (outside
  // multiline mode) matches only at offset 0. On kMatch the offsets of the
  // match and its groups are available through Group() until the next call.
  // Reuses the pattern's own match buffers: no allocation per attempt.
  MatchStatus Match(std::string_view subject, size_t start);

  // Zero-based [begin, end) of group i (0 is the whole match) of the last
  // successful Match; false for a group that took no part in the match.
  bool Group(int i, size_t* begin, size_t* end) const;

  // The engine's message for the last kLimitExceeded of Match.
  const std::string& last_match_error() const { return last_match_error_; }

 private:
  struct Engine;  // the PCRE2 objects, kept out of this header

  std::string pattern_;
  RegexOptions options_;
  bool ok_ = false;
  std::string error_;
  int capture_count_ = 0;
  bool line_breaks_matter_ = true;
  std::string last_match_error_;
  std::unique_ptr<Engine> engine_;
};

// The compiled patterns of a run, keyed by pattern and options, the least
// recently used dropped beyond a fixed number. Compiling is deterministic,
// so the cache never changes a result; invalid patterns are kept too, so a
// bad pattern in a loop is not recompiled on every pass.
class RegexCache {
 public:
  static constexpr size_t kDefaultCapacity = 128;

  explicit RegexCache(size_t capacity = kDefaultCapacity);
  ~RegexCache();
  RegexCache(const RegexCache&) = delete;
  RegexCache& operator=(const RegexCache&) = delete;

  // The compiled pattern, compiled on first use; check ok() before matching.
  // The reference stays valid until the next call of Get.
  Regex& Get(std::string_view pattern, RegexOptions options);

  size_t size() const { return entries_.size(); }
  size_t capacity() const { return capacity_; }

 private:
  struct Entry {
    std::string key;
    std::unique_ptr<Regex> regex;
  };

  size_t capacity_;
  std::list<Entry> entries_;  // most recently used first
  std::unordered_map<std::string, std::list<Entry>::iterator> index_;
  std::string key_buffer_;  // reused to build lookup keys without allocating
};

// A capture group located by the search: group number (from 1), one-based
// start position in the whole text and length. The find commands store it
// as the range "*ctx" followed by the group number.
struct CaptureRange {
  int32_t group = 0;
  int32_t startpos = 0;
  int32_t length = 0;
};

// Outcome of RegularExpressions::Search.
//   count    -1 for an invalid pattern or a first attempt that exceeded the
//            engine's limits, else the number of matches (see count_all);
//   position one-based position of the first match in the whole text, or 0;
//   length   length of the first match, or 0;
//   captures the groups that could be located, in group order.
//   limit_exceeded  an attempt ran into the engine's limits (so count may
//            miss matches that are there).
struct SearchResult {
  int32_t count = -1;
  int32_t position = 0;
  int32_t length = 0;
  std::vector<CaptureRange> captures;
  bool limit_exceeded = false;
};

// A text that a search runs over, held by its owner, which can hand out the
// part from a start position on, as it is or with every CR LF of that part
// seen as two NUL characters, without copying it per search.
class SearchText {
 public:
  virtual ~SearchText() = default;
  virtual size_t size() const = 0;
  // Whether the text holds a CR directly followed by an LF.
  virtual bool HasCrLf() const = 0;
  // The text from the zero-based offset from (below size()) to its end;
  // with translated, every CR LF within that part as two NUL characters.
  // Valid until the next call.
  virtual std::string_view From(size_t from, bool translated) = 0;
};

// The module the file loop, the parameter check and the find commands use.
class RegularExpressions {
 public:
  explicit RegularExpressions(
      size_t cache_capacity = RegexCache::kDefaultCapacity);

  // The options Test compiles with: letter case is always ignored.
  static RegexOptions TestOptions(bool multiline) { return {true, multiline}; }

  // Compiles pattern with options (through the cache, so a later Test or
  // Search reuses it). False, with the engine's message in *err when err is
  // not null, for an invalid pattern.
  bool CheckPattern(std::string_view pattern, RegexOptions options,
                    std::string* err);

  // Does pattern match anywhere in text, ignoring letter case? Used to select
  // file names with the Files expression (the file loop passes multiline
  // true). kInvalidPattern and kLimitExceeded are errors for the caller;
  // *err (when not null) then receives the engine's message. Whether all
  // matches or only the first are wanted cannot change the answer, so there
  // is no flag for it.
  MatchStatus Test(std::string_view text, std::string_view pattern,
                   bool multiline, std::string* err);

  // The search of the find commands: first match of pattern in the subject,
  // the text from the one-based position start to its end, with the number
  // of matches and the located capture groups, written to *result (its
  // vector's storage is reused, so a loop does not allocate per call).
  //
  // The subject is empty when start < 1 or start >= the length of text (so a
  // match at the last character is never found; an empty-matching pattern
  // still matches the empty subject, at position start). Inside the subject
  // every CR LF is seen by the engine as two NUL characters, without moving
  // any position. Multiline is off; ignore_case folds ASCII letters only.
  //
  // Matches are counted as an ECMAScript global match does: after a
  // non-empty match the next attempt starts where it ended, after an empty
  // match at p it starts one character on, each attempt seeing the whole
  // subject.
  //
  // Positions, lengths and start count bytes, also in UTF-8 mode (see
  // set_search_encoding), where the caller converts them; there only the
  // count of empty matches counts characters.
  // An attempt that exceeds the engine's limits ends the search: on the
  // first attempt like an invalid pattern (count -1), later with count = the
  // matches found so far.
  //
  // With count_all false the search stops after the first match and count is
  // 1 when something was found. Ask for that only when the number of matches
  // cannot be observed (nothing reads *nctx and no trace shows it): it skips
  // the scan of the rest of the text, and with it any limit a later attempt
  // would have hit.
  //
  // Each capture group that took part in the match gets the range the
  // engine reports for it (an empty group its position and length 0), even
  // where its text also occurs earlier in the match; a group that took no
  // part gets none.
  void Search(std::string_view text, int32_t start, std::string_view pattern,
              bool ignore_case, bool count_all, SearchResult* result);

  // The same search over a text held elsewhere, with the same result. The
  // subject is taken from text as it is when the translation cannot change
  // a result (the text holds no CR LF, or the pattern cannot tell a CR LF
  // from two NUL characters), and translated otherwise.
  void Search(SearchText& text, int32_t start, std::string_view pattern,
              bool ignore_case, bool count_all, SearchResult* result);

  RegexCache& cache() { return cache_; }

  // How the searches of the find commands read pattern and text (bytes
  // unless set). The file-name test is not affected.
  void set_search_encoding(TextEncoding encoding) {
    search_utf_ = encoding == TextEncoding::kUtf8;
  }
  bool search_utf() const { return search_utf_; }

 private:
  // Empties *result for a search (count -1: nothing searched) and gives the
  // compiled pattern, or nullptr when it does not compile.
  Regex* StartSearch(std::string_view pattern, bool ignore_case,
                     SearchResult* result);
  // The search over a subject already cut from the text at start and
  // translated where needed.
  void SearchSubject(Regex& regex, std::string_view subject, int32_t start,
                     bool count_all, SearchResult* result);
  // Adds the capture ranges of the last match to *result; origin is the
  // one-based position of the subject's first character in the text.
  static void LocateGroups(const Regex& regex, int64_t origin,
                           SearchResult* result);

  RegexCache cache_;
  // Scratch space reused across calls: the subject with CR LF translated.
  std::string subject_buffer_;
  bool search_utf_ = false;
  // The last pattern searched for in UTF-8 mode and whether it matches as
  // bytes (MatchesAsBytes), for a search of the same pattern again; at
  // first the empty pattern, which does not.
  struct LastPattern {
    std::string pattern;
    bool ignore_case = false;
    bool as_bytes = false;
  } last_;
};

}  // namespace zarn

#endif  // ZARN_SUPPORT_REGEX_H_
