// The search of the find commands over the regular expression engine: the
// rules of the engine as the text sees them, one row per rule.
#include "support/regex.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace zarn {

bool operator==(const CaptureRange& a, const CaptureRange& b) {
  return a.group == b.group && a.startpos == b.startpos && a.length == b.length;
}

void PrintTo(const CaptureRange& c, std::ostream* os) {
  *os << "{" << c.group << ", " << c.startpos << ", " << c.length << "}";
}

namespace {

using namespace std::string_literals;

// One search and what it must give. The captures are {group, startpos,
// length} as the find commands store them in *ctx1, *ctx2, ...
struct SearchCase {
  const char* name;
  std::string text;
  int32_t start;
  std::string pattern;
  bool ignore_case;
  int32_t count;
  int32_t position;
  int32_t length;
  std::vector<CaptureRange> captures;
};

void PrintTo(const SearchCase& c, std::ostream* os) { *os << c.name; }

class RegexSearchTest : public ::testing::TestWithParam<SearchCase> {};

// Counting all matches, and stopping at the first, give the same match.
TEST_P(RegexSearchTest, CountsLocatesAndCaptures) {
  const SearchCase& c = GetParam();
  for (const bool count_all : {true, false}) {
    SCOPED_TRACE(count_all ? "counting all" : "first match only");
    RegularExpressions regex;
    SearchResult r;
    regex.Search(c.text, c.start, c.pattern, c.ignore_case, count_all, &r);
    EXPECT_EQ(r.count, count_all || c.count <= 0 ? c.count : 1);
    EXPECT_EQ(r.position, c.position);
    EXPECT_EQ(r.length, c.length);
    EXPECT_EQ(r.captures, c.captures);
  }
}

// Start positions, overlapping matches and the empty pattern.
const SearchCase kSearchCases[] = {
    {"PositionIsInWholeText", "abcabc", 2, "a", false, 1, 4, 1, {}},
    {"StartBeforeLastCharacterSeesTwo", "abcabc", 5, "c", false, 1, 6, 1, {}},
    {"StartBeyondText", "abc", 10, "a", false, 0, 0, 0, {}},
    {"StartZero", "abc", 0, "a", false, 0, 0, 0, {}},
    {"StartNegative", "abc", -4, "a", false, 0, 0, 0, {}},
    {"EmptyText", "", 1, "a", false, 0, 0, 0, {}},
    {"NonOverlapping", "aaaaa", 1, "aa", false, 2, 1, 2, {}},
    // The empty pattern (an undefined pattern variable) matches the empty
    // text at the start position and at every following offset.
    {"EmptyPattern", "abc", 1, "", false, 4, 1, 0, {}},
    {"EmptyPatternEmptySubject", "abc", 3, "", false, 1, 3, 0, {}},
    {"EmptyPatternStartZero", "abc", 0, "", false, 1, 0, 0, {}},

    // Counting all matches follows ECMAScript global matching:
    // "" at 0, "aaa" at 1, "" at 4, "" at 5.
    {"EmptyAndNonEmptyMix", "baaab", 1, "a*", false, 4, 1, 0, {}},
    // After the empty match at 0 the next attempt starts at 1, past the
    // "b": "" at 0, 1 and 2. A Perl-style retry at 0 would also count "b".
    {"EmptyMatchSkipsOneCharacter", "bz", 1, "x*|b", false, 3, 1, 0, {}},
    {"LazyEmpty", "ab", 1, "a??", false, 3, 1, 0, {}},
    // An empty match found after where the attempt began: the next attempt
    // starts one past the match, not one past the attempt.
    {"EmptyMatchAheadOfAttempt", "abb", 1, "(?=b)", false, 2, 2, 0, {}},

    // Later attempts see the whole subject: lookbehind, "\b" and "^" look
    // at the characters before where the attempt starts. The subject itself
    // begins at the start position, so nothing before it is visible.
    {"LookbehindAtAttemptStart", "abab", 1, "(?<=a)b", false, 2, 2, 1, {}},
    {"WordBoundaryAtAttemptStart", "aa aa", 1, "\\ba", false, 2, 1, 1, {}},
    {"CaretOnlyAtSubjectStart", "aaa", 1, "^a", false, 1, 1, 1, {}},
    {"CaretAtStartPosition", "xaa", 2, "^a", false, 1, 2, 1, {}},
    {"LookbehindDoesNotSeeBeforeStart",
     "xab",
     2,
     "(?<=x)a",
     false,
     0,
     0,
     0,
     {}},
    {"WordBoundaryAtStartPosition", "xab", 2, "\\ba", false, 1, 2, 1, {}},

    // The engine behaves like an ECMAScript engine over bytes.
    {"DotSkipsLf", "a\nb", 1, "a.b", false, 0, 0, 0, {}},
    {"DotSkipsCr", "a\rb", 1, "a.b", false, 0, 0, 0, {}},
    {"DotMatchesHighByte", "a\xe9z", 1, "a.z", false, 1, 1, 3, {}},
    {"UnicodeEscape", "xA", 1, "\\u0041", false, 1, 2, 1, {}},
    {"UnicodeEscapeHighByte", "x\xe9", 1, "\\u00e9", false, 1, 2, 1, {}},
    {"BracedUnicodeEscape", "xA", 1, "\\u{41}", false, 1, 2, 1, {}},
    {"ShortHexEscapeIsLetterX", "ax4", 1, "a\\x4", false, 1, 1, 3, {}},
    {"UnsetBackreferenceMatchesEmpty",
     "zbc",
     1,
     "(x)?b\\1c",
     false,
     1,
     2,
     2,
     {{1, 2, 0}}},
    {"EmptyClassMatchesNothing", "aaa", 1, "a[]", false, 0, 0, 0, {}},
    {"NegatedEmptyClassMatchesAnything",
     "a\nb",
     1,
     "a[^]b",
     false,
     1,
     1,
     3,
     {}},
    {"DollarOnlyAtVeryEnd", "ab\n", 1, "b$", false, 0, 0, 0, {}},
    {"DollarAtEnd", "xab", 1, "b$", false, 1, 3, 1, {}},
    {"NoMultilineInSearch", "a\nb", 1, "^b", false, 0, 0, 0, {}},

    // Letter case is folded for ASCII letters only; bytes 128-255 never
    // change.
    {"AsciiFolded", "xaBc", 1, "AbC", true, 1, 2, 3, {}},
    {"Latin1NotFolded", "\xc9", 1, "\xe9", true, 0, 0, 0, {}},
    {"Utf8NotFolded", "\xc3\x89", 1, "\xc3\xa9", true, 0, 0, 0, {}},
    {"Utf8Exact", "x\xc3\xa9", 1, "\xc3\xa9", true, 1, 2, 2, {}},

    // Every CR LF of the subject reaches the engine as two NUL characters;
    // positions stay those of the text.
    {"NulNulMatches", "a\r\nb", 1, "a\\x00\\x00b", false, 1, 1, 4, {}},
    {"WhiteSpaceDoesNotMatchLineBreak",
     "a\r\nb",
     1,
     "a\\s*b",
     false,
     0,
     0,
     0,
     {}},
    {"PositionsDoNotShift", "x\r\ny", 1, "y", false, 1, 4, 1, {}},
    {"EveryPairCounted", "\r\n\r\nz", 1, "\\x00", false, 4, 1, 1, {}},
    {"LoneCrKept", "a\rb", 1, "a\\rb", false, 1, 1, 3, {}},
    {"LfCrIsNotALineBreak", "a\n\rb", 1, "a\\n\\rb", false, 1, 1, 4, {}},
    // The subject begins at the LF, so that LF has no CR before it.
    {"PairCutByStartPosition", "a\r\nb", 3, "\\n", false, 1, 3, 1, {}},
    {"GroupHoldsNuls", "a\r\nb", 1, "a(..)b", false, 1, 1, 4, {{1, 2, 2}}},
    {"NulInText", "a\0b"s, 1, "\\x00", false, 1, 2, 1, {}},

    // Capture groups are located by their text inside the match, left to
    // right, each at or after the end of the previous located group.
    // Text-based: the second "a" group is put at the first "a" after the
    // first group, not where the engine matched it.
    {"LocatedByTextNotOffset",
     "aaa",
     1,
     "(a)a(a)",
     false,
     1,
     1,
     3,
     {{1, 1, 1}, {2, 2, 1}}},
    {"GroupTextFoundEarlier", "bb", 1, ".(b)", false, 1, 1, 2, {{1, 1, 1}}},
    {"OtherCaseNotFoundEarlier", "Bb", 1, ".(b)", false, 1, 1, 2, {{1, 2, 1}}},
    // With ignore case both texts are upper-cased first, so "b" is found in
    // the "B" before it.
    {"IgnoreCaseUpperCasesGroup", "Bb", 1, ".(b)", true, 1, 1, 2, {{1, 1, 1}}},
    {"IgnoreCaseUpperCasesMatch", "bB", 1, ".(b)", true, 1, 1, 2, {{1, 1, 1}}},
    {"EmptyGroupBetween",
     "ac",
     1,
     "(a)(z)?(c)",
     false,
     1,
     1,
     2,
     {{1, 1, 1}, {2, 2, 0}, {3, 2, 1}}},
    // From is past the match once the first group has used it all.
    {"EmptyGroupAfterMatchEndNotMade",
     "ab",
     1,
     "(a)(x?)",
     false,
     1,
     1,
     1,
     {{1, 1, 1}}},
    {"EmptyMatchMakesNoGroups", "abc", 1, "(x*)", false, 4, 1, 0, {}},
    // The inner group's text "a" is found again after the outer group, at
    // the place of group 3, which then has no room left.
    {"InnerGroupTakesLaterText",
     "aba",
     1,
     "((a)b)(a)",
     false,
     1,
     1,
     3,
     {{1, 1, 2}, {2, 3, 1}}},
    {"NonCapturingNotNumbered",
     "xab",
     1,
     "(?:a)(b)",
     false,
     1,
     2,
     2,
     {{1, 3, 1}}},
    {"GroupsFromStartPosition",
     "abab",
     3,
     "(a)(b)",
     false,
     1,
     3,
     2,
     {{1, 3, 1}, {2, 4, 1}}},
    {"GroupOfLaterMatchNotUsed",
     "ab",
     1,
     "(a)|(b)",
     false,
     2,
     1,
     1,
     {{1, 1, 1}}},
};
INSTANTIATE_TEST_SUITE_P(Search, RegexSearchTest,
                         ::testing::ValuesIn(kSearchCases),
                         [](const auto& p) { return p.param.name; });

// (a+)+b backtracks over every way of splitting a run of a's that no b
// follows.
TEST(RegexSearch, RunawayLaterAttemptStopsCountingWithCountSoFar) {
  RegularExpressions regex;
  SearchResult r;
  // Without limits there would be two matches: "ab" at 1 and "ab" at the
  // end. The attempt after the first one runs away.
  std::string text = "ab" + std::string(30000, 'a') + "!ab";
  regex.Search(text, 1, "(a+)+b", false, true, &r);
  EXPECT_EQ(r.count, 1);
  EXPECT_EQ(r.position, 1);
  EXPECT_EQ(r.length, 2);
  EXPECT_EQ(r.captures, (std::vector<CaptureRange>{{1, 1, 1}}));

  // The same limit later in the text does not hurt a search that starts
  // past it.
  regex.Search(text, 30003, "(a+)+b", false, true, &r);
  EXPECT_EQ(r.count, 1);
  EXPECT_EQ(r.position, 30004);
}

TEST(RegexSearch, DeepRepetitionBeyondSmallStack) {
  RegularExpressions regex;
  SearchResult r;
  std::string text(200000, 'q');
  regex.Search(text, 1, "(.)*", false, true, &r);
  // The whole text, then the empty match at its end.
  EXPECT_EQ(r.count, 2);
  EXPECT_EQ(r.position, 1);
  EXPECT_EQ(r.length, 200000);
  EXPECT_EQ(r.captures, (std::vector<CaptureRange>{{1, 1, 1}}));
}

}  // namespace
}  // namespace zarn
