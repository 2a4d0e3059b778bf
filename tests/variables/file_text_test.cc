// The gap buffer behind *filestring against a plain std::string as the
// model: random sequences of edits, replacements of every occurrence and
// reads, and the CR LF shadow against the translation made on a copy.
// Searches over it, which take the subject where it lies and translate CR
// LF through the shadow (or not at all when it cannot matter), against the
// search that copies the subject and translates the copy.
#include "variables/file_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "support/regex.h"
#include "variables/file_text_search.h"

namespace zarn {
namespace {

// The subject as a search sees it when it copies: the text from `from` on,
// every CR LF within it as two NUL characters.
std::string TranslatedCopy(const std::string& text, size_t from) {
  std::string s = text.substr(from);
  for (size_t p = s.find("\r\n"); p != std::string::npos;
       p = s.find("\r\n", p + 2)) {
    s[p] = '\0';
    s[p + 1] = '\0';
  }
  return s;
}

// The whole text read without moving the gap.
std::string Contents(const FileText& text) {
  std::string out;
  text.AppendTo(0, text.size(), &out);
  return out;
}

std::string RandomText(std::mt19937& rng, size_t max_length) {
  // CR and LF often, so that pairs are made and broken by the edits.
  static constexpr char kChars[] = {'a', 'b', '\r', '\n', '\r', '\n', 'f',
                                    'o', 'o', '\0', ' ',  'A',  '1'};
  std::uniform_int_distribution<size_t> length(0, max_length);
  std::uniform_int_distribution<size_t> pick(0, sizeof kChars - 1);
  std::string s(length(rng), ' ');
  for (char& c : s) c = kChars[pick(rng)];
  return s;
}

// Checks every read of text against the model.
void ExpectSame(const FileText& text, const std::string& model,
                std::mt19937& rng) {
  ASSERT_EQ(text.size(), model.size());
  ASSERT_EQ(Contents(text), model);
  EXPECT_EQ(text.HasCrLf(), model.find("\r\n") != std::string::npos);
  std::uniform_int_distribution<size_t> at(0, model.size());
  for (int i = 0; i < 3; ++i) {
    const size_t from = at(rng);
    ASSERT_EQ(text.ViewFrom(from), std::string_view(model).substr(from))
        << "from " << from;
    ASSERT_EQ(text.TranslatedViewFrom(from), TranslatedCopy(model, from))
        << "from " << from;
    const size_t len = at(rng);
    std::string part;
    text.AppendTo(from, len, &part);
    ASSERT_EQ(part, model.substr(from, len));
  }
}

TEST(FileTextTest, RandomEditsMatchAPlainString) {
  std::mt19937 rng(20261206);
  for (int round = 0; round < 300; ++round) {
    FileText text;
    std::string model = RandomText(rng, 60);
    text.Assign(model);
    // Some rounds keep a shadow from the start, so that every edit must
    // keep it right; the others make it late, from an edited text.
    if (round % 2 == 0) text.TranslatedViewFrom(0);
    for (int step = 0; step < 60; ++step) {
      std::uniform_int_distribution<size_t> at(0, model.size());
      const size_t pos = at(rng);
      std::uniform_int_distribution<size_t> upto(0, model.size() - pos);
      const size_t len = step % 5 == 0 ? 0 : upto(rng) % 7;
      const std::string repl =
          step % 3 == 0 ? std::string(len, 'Z') : RandomText(rng, 9);
      text.Replace(pos, len, repl);
      model.replace(pos, len, repl);
      {
        SCOPED_TRACE("round " + std::to_string(round) + " step " +
                     std::to_string(step));
        ASSERT_NO_FATAL_FAILURE(ExpectSame(text, model, rng));
      }
      if (step % 17 == 0) {
        ASSERT_EQ(text.view(), model);
      }
    }
    ASSERT_EQ(text.Take(), model);
    EXPECT_EQ(text.size(), 0u);
    EXPECT_EQ(text.view(), "");
  }
}

// Replacing every occurrence within the text's own storage, against the
// same replacement made on a plain string; with the gap anywhere and with
// or without a shadow before, and further edits after it.
TEST(FileTextTest, ReplaceEveryMatchesAPlainString) {
  std::mt19937 rng(61206);
  std::uniform_int_distribution<int> small(0, 3);
  for (int round = 0; round < 2000; ++round) {
    std::string model = RandomText(rng, 40);
    FileText text;
    text.Assign(model);
    if (round % 3 == 0 && !model.empty()) {  // a gap inside the text
      const size_t pos = rng() % model.size();
      text.Replace(pos, 0, "ab");
      model.insert(pos, "ab");
    }
    if (round % 2 == 0) text.TranslatedViewFrom(0);
    std::string from = RandomText(rng, 3);
    if (from.empty()) from = "o";
    const std::string to = RandomText(rng, from.size()).substr(0, from.size());
    const int32_t count = small(rng) == 0 ? 1 + small(rng) : INT32_MAX;

    std::string expected;
    size_t at = 0;
    for (int32_t done = 0; done < count; ++done) {
      const size_t hit = model.find(from, at);
      if (hit == std::string::npos) break;
      expected += model.substr(at, hit - at) + to;
      at = hit + from.size();
    }
    expected += model.substr(at);

    text.ReplaceEvery(from, to, count);
    SCOPED_TRACE(::testing::PrintToString(model) + " " +
                 ::testing::PrintToString(from) + " -> " +
                 ::testing::PrintToString(to));
    ASSERT_NO_FATAL_FAILURE(ExpectSame(text, expected, rng));
    text.Replace(0, 0, "\n");
    expected.insert(0, "\n");
    ASSERT_NO_FATAL_FAILURE(ExpectSame(text, expected, rng));
  }
}

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
      "a",
      "foo",
      "b+",
      "(a)(b)",
      "a|b",
      ".",
      "a.b",
      "\\s",
      "\\S+",
      "[^a]",
      "\\r\\n",
      "\\x00",
      "\\0",
      "\\W",
      "\\D",
      "$",
      "^a",
      "a$",
      "(.)\\1",
      "\\n",
      "x*",
      "",
      "[a-z]+",
      "\\bfo",
      "o{2}",
      "[\\d\\w]",
      "(?s).",
      "[[:space:]]",
      std::string("\r\n", 2),
      "(a|\\r)",
      "(?=\\n)",
      "\\N",
      "[ -~]+",
      "\\Bo",
  };
  return patterns;
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
        std::uniform_int_distribution<int32_t> start(
            0, static_cast<int32_t>(model.size()) + 1);
        const int32_t from = start(rng);
        const bool ignore_case = (search & 1) != 0;
        const bool count_all = (search & 2) != 0;
        plain.Search(model, from, pattern, ignore_case, count_all, &want);
        held.Search(subject, from, pattern, ignore_case, count_all, &got);
        SCOPED_TRACE("pattern /" + pattern + "/ from " + std::to_string(from) +
                     " in " + ::testing::PrintToString(model));
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

}  // namespace
}  // namespace zarn
