// The gap buffer behind *filestring against a plain std::string as the
// model: random sequences of edits and reads, front-to-back scans like a
// program's loops and edits anywhere, and the CR LF shadow against the
// translation made on a copy. Searches over it, which take the subject where
// it lies and translate CR LF through the shadow (or not at all when it
// cannot matter), against the search that copies the subject and translates
// the copy, over random texts, patterns and edits.
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
      const std::string repl = step % 3 == 0 ? std::string(len, 'Z')
                                             : RandomText(rng, 9);
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

TEST(FileTextTest, FrontToBackScanLeavesTheRestInOnePiece) {
  // The shape of a program loop: edit at a position, then read from just
  // after the edit. The rest must come as one piece where it lies, and
  // growing the text must keep every byte.
  std::string model;
  for (int i = 0; i < 2000; ++i) model += "foo and some words\r\n";
  FileText text;
  text.Assign(model);
  size_t pos = 0;
  int edits = 0;
  for (;;) {
    const size_t hit = model.find("foo", pos);
    if (hit == std::string::npos) break;
    const std::string repl = edits % 2 == 0 ? "barbaz" : "b";
    text.Replace(hit, 3, repl);
    model.replace(hit, 3, repl);
    pos = hit + repl.size();
    ASSERT_EQ(text.ViewFrom(pos), std::string_view(model).substr(pos));
    ++edits;
  }
  EXPECT_EQ(edits, 2000);
  EXPECT_EQ(text.view(), model);
}

TEST(FileTextTest, AssignCopyMayReadTheTextItself) {
  FileText text;
  text.Assign("one two");
  text.Replace(3, 1, "--");
  const std::string_view whole = text.view();
  text.AssignCopy(whole);
  EXPECT_EQ(text.view(), "one--two");
  text.AssignCopy("short");
  EXPECT_EQ(text.view(), "short");
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
  // Patterns judged blind, and ones that see line breaks through what the
  // random patterns above are not made of.
  const Case cases[] = {
      {"foo", false},           {"f(o+|ar)$", false},  {"^\\d{2,3}\\w", false},
      {"[a-z_]+\\.txt", false}, {"word\\B", false},    {"[]x", false},
      {"a\\-b\\(", false},      {"[ -~]", false},      {"x{2}y", false},
      {"f(o+)|bar$", true},     {"(a)\\1", true},      {"(?=a)", true},
      {"(*CR)a", true},         {"[[:alpha:]]", true}, {"a\r", true},
      {std::string("a\0", 2), true},                   {"\\", true},
      {"[ab", true},            {"\\N", true},         {"\\R", true},
      {"\\h", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LineBreaksMatter(c.pattern), c.matters)
        << ::testing::PrintToString(c.pattern);
  }
}

// The text as read, through any mix of edits: forward runs that stay in the
// log, edits behind earlier ones, replacements of every occurrence (which
// may undo an edit), new whole values, and dense logs that turn into a
// copy. The answers are checked against the plain strings.
TEST(FileTextTest, TracksTheTextAsRead) {
  std::mt19937 rng(71207);
  for (int round = 0; round < 400; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::string model = RandomText(rng, round % 4 == 0 ? 3000 : 40);
    const std::string marked = model;
    FileText text;
    text.Assign(model);
    text.TrackOriginal();
    size_t forward = 0;  // where a forward scan would go on
    const int steps = static_cast<int>(rng() % 30);
    for (int step = 0; step < steps; ++step) {
      const unsigned kind = rng() % 8;
      if (kind == 3) {
        // A scan loop's edit: the next "a", by itself or by another letter.
        const size_t pos = model.find('a', std::min(forward, model.size()));
        if (pos == std::string::npos) continue;
        const std::string repl = rng() % 3 ? "Z" : "a";
        text.Replace(pos, 1, repl);
        model.replace(pos, 1, repl);
        forward = pos + 1;
      } else if (kind < 3) {
        // Mostly forward from the last edit; sometimes anywhere.
        const size_t from = kind == 0 ? 0 : std::min(forward, model.size());
        const size_t pos = from + rng() % (model.size() - from + 1);
        const size_t len = std::min<size_t>(rng() % 4, model.size() - pos);
        // Sometimes the bytes that stand there: no change at all.
        const std::string repl =
            kind == 1 ? model.substr(pos, len) : RandomText(rng, 4);
        text.Replace(pos, len, repl);
        model.replace(pos, len, repl);
        forward = pos + repl.size();
      } else if (kind < 7) {
        const std::string from = kind == 4 ? "a" : (kind == 5 ? "\r\n" : "b");
        const std::string to = kind == 6 ? "a" : from.substr(0, rng() % 2);
        if (to.size() > from.size()) continue;
        const int32_t count = 1 + static_cast<int32_t>(rng() % 40);
        text.ReplaceEvery(from, to, count);
        std::string expected;
        size_t at = 0;
        for (int32_t done = 0; done < count; ++done) {
          const size_t hit = model.find(from, at);
          if (hit == std::string::npos) break;
          expected += model.substr(at, hit - at) + to;
          at = hit + from.size();
        }
        model = expected + model.substr(at);
      } else {
        const std::string value = rng() % 2 ? marked : RandomText(rng, 20);
        text.AssignCopy(value);
        model = value;
      }
      ASSERT_EQ(text.view(), model);
      ASSERT_EQ(text.IsOriginal(), model == marked) << "step " << step;
    }
    ASSERT_EQ(text.TakeOriginal(), marked);
    EXPECT_FALSE(text.IsOriginal());  // no longer tracked
  }
}

}  // namespace
}  // namespace zarn
