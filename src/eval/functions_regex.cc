// rr: replacing the matches of a regular expression.
//
// The text is a value, not a search subject: CR and LF are ordinary
// characters (no CR LF is hidden from the pattern), "^" and "$" match at
// the start and end of every line whatever its line end (LF, CR LF or CR),
// and "\R" matches exactly one of those line ends. Letter case is ignored
// as by find; "(?-i)" in the pattern turns that off.
#include <algorithm>
#include <optional>
#include <vector>

#include "eval/functions.h"
#include "support/regex.h"
#include "support/utf8.h"

namespace zarn {

namespace {

constexpr RegexOptions kValueOptions = {
    .ignore_case = true, .multiline = true, .crlf_line_ends_only = true};

// One piece of a replacement text: literal text, or a capture group (0 for
// the whole match).
struct Piece {
  std::string_view literal;
  int group = -1;  // -1: the literal
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Cuts a replacement into its pieces, once per call. "$$" is one "$", "$&"
// the match, "$n" and "$nn" group n (two digits when that names a group of
// the pattern, else one); any other "$", and a "$n" naming no group, stays
// as written.
std::vector<Piece> ParseReplacement(std::string_view r, int groups) {
  std::vector<Piece> pieces;
  size_t from = 0;  // start of the pending literal
  auto flush = [&](size_t end) {
    if (end > from) pieces.push_back(Piece{r.substr(from, end - from)});
  };
  for (size_t i = 0; i + 1 < r.size(); ++i) {
    if (r[i] != '$') continue;
    const char next = r[i + 1];
    if (next == '$') {
      flush(i + 1);  // keeps one "$"
      from = i + 2;
      ++i;
    } else if (next == '&') {
      flush(i);
      pieces.push_back(Piece{{}, 0});
      from = i + 2;
      ++i;
    } else if (IsDigit(next)) {
      int n = next - '0';
      size_t length = 2;
      if (i + 2 < r.size() && IsDigit(r[i + 2])) {
        const int two = n * 10 + (r[i + 2] - '0');
        if (two >= 1 && two <= groups) {
          n = two;
          length = 3;
        }
      }
      if (n < 1 || n > groups) continue;
      flush(i);
      pieces.push_back(Piece{{}, n});
      from = i + length;
      i += length - 1;
    }
  }
  flush(r.size());
  return pieces;
}

}  // namespace

// rr(t,p,r[,n]): t with the matches of p, left to right and not
// overlapping, replaced by r (only the first n when n is given). After an
// empty match the next attempt starts one character on, a CR LF counting
// as one character. An empty p leaves t as it is, as an empty text to
// replace does for sr.
std::string Rr(Call& call) {
  std::string result;
  if (!call.Open(3, &result)) return result;
  const std::string_view t = call.arg(1);
  const std::string_view p = call.arg(2);
  const std::string_view r = call.arg(3);
  int32_t count = INT32_MAX;
  const std::string_view count_arg = call.arg(4);
  if (!count_arg.empty() &&
      !call.WholeNumber(count_arg, kPlainCount, &count, &result)) {
    return result;
  }
  if (p.empty()) return std::string(t);

  std::optional<RegularExpressions> own;
  RegularExpressions* engine = call.env().regex;
  if (engine == nullptr) engine = &own.emplace(1);
  const bool chars = call.env().utf8;
  RegexOptions options = kValueOptions;
  options.utf = chars;
  Regex& regex = engine->cache().Get(p, options);
  if (!regex.ok()) return call.ArgumentError("INVALID PATTERN ARGUMENT", p);
  const std::vector<Piece> pieces =
      ParseReplacement(r, regex.NumberOfCaptureGroups());

  const size_t limit = std::max(kMaxResultLength, t.size());
  result.reserve(t.size());
  size_t kept = 0;     // t is copied up to here
  size_t attempt = 0;  // where the next match may begin
  for (int32_t done = 0; done < count && attempt <= t.size(); ++done) {
    const MatchStatus status = regex.Match(t, attempt);
    if (status == MatchStatus::kNoMatch) break;
    if (status != MatchStatus::kMatch) {
      return call.ArgumentError("MATCH LIMIT EXCEEDED", p);
    }
    size_t begin = 0;
    size_t end = 0;
    regex.Group(0, &begin, &end);
    if (begin > kept) result.append(t.substr(kept, begin - kept));
    for (const Piece& piece : pieces) {
      size_t b = 0;
      size_t e = 0;
      if (piece.group < 0) {
        result.append(piece.literal);
      } else if (regex.Group(piece.group, &b, &e)) {
        result.append(t.substr(b, e - b));
      }
    }
    if (result.size() > limit) return call.TooLong();
    kept = std::max(kept, end);
    if (end > begin) {
      attempt = end;
    } else {
      const bool crlf =
          end + 1 < t.size() && t[end] == '\r' && t[end + 1] == '\n';
      attempt = end + (crlf                      ? 2
                       : chars && end < t.size() ? CharLengthAt(t, end)
                                                 : 1);
    }
  }
  result.append(t.substr(std::min(kept, t.size())));
  if (result.size() > limit) return call.TooLong();
  return result;
}

}  // namespace zarn
