// Searches over the text being edited, which take the subject where it
// lies and translate CR LF through the shadow (or not at all when it cannot
// matter), against the search that copies the subject and translates the
// copy, over random texts, patterns and edits.
#include "variables/file_text_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "support/regex.h"
#include "variables/file_text.h"

namespace zarn {
namespace {

void ExpectSameResult(const SearchResult& got, const SearchResult& want) {
  ASSERT_EQ(got.count, want.count);
  ASSERT_EQ(got.position, want.position);
  ASSERT_EQ(got.length, want.length);
  ASSERT_EQ(got.captures.size(), want.captures.size());
  for (size_t i = 0; i < got.captures.size(); ++i) {
    EXPECT_EQ(got.captures[i].group, want.captures[i].group);
    EXPECT_EQ(got.captures[i].startpos, want.captures[i].startpos);
    EXPECT_EQ(got.captures[i].length, want.captures[i].length);
  }
}

// Patterns that see line breaks and patterns that cannot, so that both
// ways of taking the subject are exercised.
const std::vector<std::string>& Patterns() {
  static const std::vector<std::string> patterns = {
      "a",        "foo",        "b+",          "(a)(b)",     "a|b",
      ".",        "a.b",        "\\s",         "\\S+",       "[^a]",
      "\\r\\n",   "\\x00",      "\\0",         "\\W",        "\\D",
      "$",        "^a",         "a$",          "(.)\\1",     "\\n",
      "x*",       "",           "[a-z]+",      "\\bfo",      "o{2}",
      "[\\d\\w]", "(?s).",      "[[:space:]]", std::string("\r\n", 2),
      "(a|\\r)",  "(?=\\n)",    "\\N",         "[ -~]+",     "\\Bo",
  };
  return patterns;
}

std::string RandomText(std::mt19937& rng, size_t max_length) {
  static constexpr char kChars[] = {'a', 'b', '\r', '\n', '\r', '\n', 'f',
                                    'o', 'o', '\0', ' ',  'A',  '1'};
  std::uniform_int_distribution<size_t> length(0, max_length);
  std::uniform_int_distribution<size_t> pick(0, sizeof kChars - 1);
  std::string s(length(rng), ' ');
  for (char& c : s) c = kChars[pick(rng)];
  return s;
}

TEST(FileTextSearchTest, MatchesTheCopyingSearchOverRandomEdits) {
  std::mt19937 rng(5);
  RegularExpressions plain;
  RegularExpressions held;
  SearchResult want;
  SearchResult got;
  std::uniform_int_distribution<size_t> pick_pattern(0, Patterns().size() - 1);
  for (int round = 0; round < 150; ++round) {
    std::string model = RandomText(rng, 40);
    FileText text;
    text.Assign(model);
    FileTextSearch subject(text);
    for (int step = 0; step < 25; ++step) {
      for (int search = 0; search < 6; ++search) {
        const std::string& pattern = Patterns()[pick_pattern(rng)];
        std::uniform_int_distribution<int32_t> start(0, static_cast<int32_t>(
                                                            model.size()) + 1);
        const int32_t from = start(rng);
        const bool ignore_case = (search & 1) != 0;
        const bool count_all = (search & 2) != 0;
        plain.Search(model, from, pattern, ignore_case, count_all, &want);
        held.Search(subject, from, pattern, ignore_case, count_all, &got);
        SCOPED_TRACE("pattern /" + pattern + "/ from " +
                     std::to_string(from) + " in " +
                     ::testing::PrintToString(model));
        ASSERT_NO_FATAL_FAILURE(ExpectSameResult(got, want));
      }
      // An edit anywhere; the shadow, once made, must follow it.
      std::uniform_int_distribution<size_t> at(0, model.size());
      const size_t pos = at(rng);
      const size_t len = std::min<size_t>(model.size() - pos, at(rng) % 4);
      const std::string repl = RandomText(rng, 5);
      text.Replace(pos, len, repl);
      model.replace(pos, len, repl);
    }
  }
}

// A text that hands out its subject untranslated whatever is asked: what a
// search sees when the translation is skipped.
class UntranslatedText final : public SearchText {
 public:
  explicit UntranslatedText(const std::string& text) : text_(text) {}
  size_t size() const override { return text_.size(); }
  bool HasCrLf() const override { return true; }
  std::string_view From(size_t from, bool) override {
    return std::string_view(text_).substr(from);
  }

 private:
  const std::string& text_;
};

// Patterns put together from pieces, many of which can see line breaks.
std::string RandomPattern(std::mt19937& rng) {
  static const char* const kPieces[] = {
      "a",    "b",     "o",    "f",     "\\d",   "\\w",  "\\b",   "\\B",
      "\\.",  "\\-",   "(",    ")",     "|",     "*",    "+",     "?",
      "{1,2}", "^",    "$",    "[ab]",  "[a-f]", "[ -z]", "[]",   "1",
      ".",    "\\s",   "\\S",  "\\W",   "\\D",   "[^a]", "\\x00", "\\0",
      "\\r",  "\\n",   "(?:",  "[\\s]", "[\\0-a]", "\\u000a", "[\x01-a]",
  };
  std::uniform_int_distribution<size_t> pick(0, std::size(kPieces) - 1);
  std::uniform_int_distribution<int> length(1, 6);
  std::string p;
  for (int n = length(rng); n > 0; --n) p += kPieces[pick(rng)];
  return p;
}

TEST(LineBreaksMatterTest, PatternsThatCannotTellAreBlindToTheTranslation) {
  // For every pattern judged blind to line breaks, the untranslated subject
  // must give the result of the translated one; and the patterns judged
  // otherwise must include ones for which it does not (else this test
  // could not catch a wrong judgement).
  std::mt19937 rng(11);
  RegularExpressions regex;
  SearchResult want;
  SearchResult got;
  int blind = 0;
  int differing = 0;
  for (int round = 0; round < 3000; ++round) {
    const std::string pattern = RandomPattern(rng);
    const bool matters = LineBreaksMatter(pattern);
    blind += matters ? 0 : 1;
    for (int t = 0; t < 8; ++t) {
      const std::string text = RandomText(rng, 30);
      UntranslatedText raw(text);
      std::uniform_int_distribution<int32_t> start(
          1, static_cast<int32_t>(text.size()) + 1);
      const int32_t from = t < 4 ? 1 : start(rng);
      regex.Search(text, from, pattern, t % 2 == 1, true, &want);
      regex.Search(raw, from, pattern, t % 2 == 1, true, &got);
      const bool same = got.count == want.count &&
                        got.position == want.position &&
                        got.length == want.length &&
                        got.captures.size() == want.captures.size();
      if (!matters) {
        ASSERT_TRUE(same) << "pattern /" << pattern << "/ from " << from
                          << " on " << ::testing::PrintToString(text);
      } else if (!same) {
        ++differing;
      }
    }
  }
  EXPECT_GT(blind, 300);
  EXPECT_GT(differing, 100);
}

TEST(LineBreaksMatterTest, Judgements) {
  struct Case {
    std::string pattern;
    bool matters;
  };
  const Case cases[] = {
      {"foo", false},         {"f(o+|ar)$", false},   {"^\\d{2,3}\\w", false},
      {"f(o+)|bar$", true},   {"x*", true},           {"a?b", true},
      {"\\bfoo", true},       {"a{0,2}", true},       {"(a)", true},
      {"[a-z_]+\\.txt", false}, {"word\\B", false},   {"[]x", false},
      {"a\\-b\\(", false},    {"[ -~]", false},       {"x{2}y", false},
      {".", true},            {"\\s", true},          {"\\S", true},
      {"\\W", true},          {"\\D", true},          {"[^a]", true},
      {"\\x00", true},        {"\\0", true},          {"\\r\\n", true},
      {"\\n", true},          {"(a)\\1", true},       {"(?=a)", true},
      {"(*CR)a", true},       {"[[:alpha:]]", true},  {"[\\s]", true},
      {"[\\0-z]", true},      {"[\\x01-z]", true},    {"[\x01-z]", true},
      {"a\r", true},          {std::string("a\0", 2), true},
      {"\\", true},           {"[ab", true},          {"\\u000A", true},
      {"\\N", true},          {"\\R", true},          {"\\h", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LineBreaksMatter(c.pattern), c.matters)
        << ::testing::PrintToString(c.pattern);
  }
}

}  // namespace
}  // namespace zarn
