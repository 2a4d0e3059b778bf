// The gap buffer behind *filestring against a plain std::string as the
// model: random edits and replacements of every occurrence, every read
// checked, the CR LF shadow against the translation made on a copy; and
// searches over it, which take the subject where it lies and translate CR LF
// through the shadow (or not at all when it cannot matter), against the
// search over the plain string, which copies and translates it.
#include "variables/file_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>

#include "support/regex.h"
#include "support/text.h"
#include "variables/file_text_search.h"

namespace zarn {
namespace {

std::string RandomText(std::mt19937& rng, size_t max_length) {
  // CR and LF often, so that pairs are made and broken by the edits.
  static constexpr char kChars[] = "ab\r\n\r\nfoo\0 A1";
  std::string s(rng() % (max_length + 1), ' ');
  for (char& c : s) c = kChars[rng() % (sizeof kChars - 1)];
  return s;
}

// The occurrences of from (not empty) in text, left to right and not
// overlapping, at most count of them, replaced by to: the plain model of
// FileText::ReplaceEvery.
std::string PlainReplaceEvery(const std::string& text, const std::string& from,
                              const std::string& to, int32_t count) {
  std::string out;
  size_t at = 0;
  for (int32_t done = 0; done < count; ++done) {
    const size_t hit = text.find(from, at);
    if (hit == std::string::npos) break;
    out += text.substr(at, hit - at) + to;
    at = hit + from.size();
  }
  return out + text.substr(at);
}

// Every kind of read of text against the model, from random places.
void ExpectSame(const FileText& text, const std::string& model,
                std::mt19937& rng) {
  ASSERT_EQ(text.size(), model.size());
  std::string whole;
  text.AppendTo(0, text.size(), &whole);  // without moving the gap
  ASSERT_EQ(whole, model);
  EXPECT_EQ(text.HasCrLf(), model.find("\r\n") != std::string::npos);
  for (int i = 0; i < 3; ++i) {
    const size_t from = rng() % (model.size() + 1), len = rng() % 8;
    std::string translated = model.substr(from);
    for (size_t p = 0; (p = translated.find("\r\n", p)) != std::string::npos;) {
      translated.replace(p, 2, 2, '\0');
    }
    ASSERT_EQ(text.ViewFrom(from), std::string_view(model).substr(from));
    ASSERT_EQ(text.TranslatedViewFrom(from), translated) << "from " << from;
    std::string part;
    text.AppendTo(from, len, &part);
    ASSERT_EQ(part, model.substr(from, len));
  }
}

TEST(FileTextTest, RandomEditsMatchAPlainString) {
  std::mt19937 rng(20261206);
  for (int round = 0; round < 600; ++round) {
    FileText text;
    std::string model = RandomText(rng, 60);
    text.Assign(model);
    // Some rounds keep a shadow from the start, so that every edit must
    // keep it right; the others make it late, from an edited text.
    if (round % 2 == 0) text.TranslatedViewFrom(0);
    for (int step = 0; step < 30; ++step) {
      SCOPED_TRACE(::testing::PrintToString(model) + " step " +
                   std::to_string(step));
      if (step % 4 == 3) {
        // Every occurrence (or the first few) replaced by a text no longer
        // than it, within the text's own storage.
        std::string from = RandomText(rng, 3);
        if (from.empty()) from = "o";
        const std::string to =
            RandomText(rng, from.size()).substr(0, from.size());
        const int32_t count = rng() % 3 == 0 ? 1 + rng() % 3 : INT32_MAX;
        model = PlainReplaceEvery(model, from, to, count);
        text.ReplaceEvery(from, to, count);
      } else {
        const size_t pos = rng() % (model.size() + 1);
        const size_t len =
            step % 5 == 0 ? 0 : rng() % (model.size() - pos + 1) % 7;
        const std::string repl =
            step % 3 == 0 ? std::string(len, 'Z') : RandomText(rng, 9);
        text.Replace(pos, len, repl);
        model.replace(pos, len, repl);
      }
      ASSERT_NO_FATAL_FAILURE(ExpectSame(text, model, rng));
    }
    ASSERT_EQ(text.view(), model);
    ASSERT_EQ(text.Take(), model);
    EXPECT_EQ(text.view(), "");
  }
}

// Patterns that see line breaks and patterns that cannot, so that both
// ways of taking the subject are exercised.
// clang-format off
const char* const kPatterns[] = {
    "a", "foo", "b+", "(a)(b)", "a|b", ".", "a.b", "\\s", "\\S+", "[^a]",
    "\\r\\n", "\\x00", "\\0", "\\W", "\\D", "$", "^a", "a$", "(.)\\1", "\\n",
    "x*", "", "[a-z]+", "\\bfo", "o{2}", "[\\d\\w]", "(?s).", "[[:space:]]",
    "\r\n", "(a|\\r)", "(?=\\n)", "\\N", "[ -~]+", "\\Bo"};
// clang-format on

// In UTF-8 mode the count of characters, kept through every edit, and
// the conversions, walked from a cursor that edits move along, against a
// count of the whole text: edits anywhere, which cut characters and make
// stray continuation bytes join leads into new ones; then a valid text
// edited at character starts (counted the fast way), now and then
// throughout, until one edit puts an invalid byte in; then pure ASCII.
TEST(FileTextTest, CharactersFollowRandomEdits) {
  static const char* const kPieces[] = {
      "a",    "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80",
      "\x82", "\xe2",     "\xff"};
  std::mt19937 rng(14);
  // Any pieces; valid ones (now and then an invalid one); valid ones of up
  // to three bytes; ASCII only.
  for (const size_t kinds : {7, 4, 3, 1}) {
    const bool valid = kinds < 7;
    auto random = [&](size_t max) {
      std::string s;
      for (size_t n = rng() % (max + 1); n > 0; --n) {
        s += kPieces[rng() % (kinds == 4 && rng() % 500 == 0 ? 7 : kinds)];
      }
      return s;
    };
    FileText text;
    text.SetEncoding(TextEncoding::kUtf8);
    std::string now = random(40);
    text.Assign(now);
    for (int step = 0; step < 3000; ++step) {
      // The conversions are read with the gap where the edit left it.
      size_t pos = rng() % (now.size() + 1);
      size_t len = rng() % (now.size() - pos + 1) % 6;
      if (valid) {
        pos = SkipChars(now, 0, rng() % (CountChars(now) + 1));
        len = SkipChars(now, pos, rng() % 3) - pos;
      }
      const std::string repl = random(3);
      // Both cursors by the edit, as a search and its rep leave them.
      const size_t near = CountChars(std::string_view(now).substr(0, pos));
      text.ByteOfChar(near + rng() % 3);
      text.ByteOfChar(near);
      if (step % 50 == 49) {
        // A replacement of every occurrence, which keeps a valid count.
        const std::string from = random(2) + "a", to = random(1);
        std::string model;
        if (to.size() <= from.size()) {
          ForEachOccurrence(
              now, from, 9, true, [&](std::string_view k) { model += k; },
              [&](size_t) { model += to; });
          text.ReplaceEvery(from, to, 9);
          now = model;
        }
      } else {
        text.Replace(pos, len, repl);
        now.replace(pos, len, repl);
      }
      for (int k = 0; k < 3; ++k) {
        // The first by the edit, where the cursors were left.
        const size_t c = k == 0 ? std::min(near + rng() % 3, CountChars(now))
                                : rng() % (CountChars(now) + 1);
        ASSERT_EQ(text.ByteOfChar(c), SkipChars(now, 0, c)) << step;
        ASSERT_EQ(text.CharOfByte(SkipChars(now, 0, c)), c) << step;
      }
      ASSERT_EQ(text.CharCount(), CountChars(now)) << step;
    }
    EXPECT_EQ(text.view(), now);
  }
}

TEST(FileTextSearchTest, MatchesTheCopyingSearchOverRandomEdits) {
  std::mt19937 rng(5);
  RegularExpressions plain, held;
  SearchResult want, got;
  for (int round = 0; round < 150; ++round) {
    std::string model = RandomText(rng, 40);
    FileText text;
    text.Assign(model);
    FileTextSearch subject(text);
    for (int step = 0; step < 25; ++step) {
      for (int search = 0; search < 6; ++search) {
        const std::string pattern = kPatterns[rng() % std::size(kPatterns)];
        const int32_t from = static_cast<int32_t>(rng() % (model.size() + 2));
        const bool ignore_case = (search & 1) != 0;
        const bool count_all = (search & 2) != 0;
        plain.Search(model, from, pattern, ignore_case, count_all, &want);
        held.Search(subject, from, pattern, ignore_case, count_all, &got);
        SCOPED_TRACE("pattern /" + pattern + "/ from " + std::to_string(from) +
                     " in " + ::testing::PrintToString(model));
        ASSERT_EQ(got.count, want.count);
        ASSERT_EQ(got.position, want.position);
        ASSERT_EQ(got.length, want.length);
        ASSERT_EQ(got.captures.size(), want.captures.size());
        for (size_t i = 0; i < got.captures.size(); ++i) {
          EXPECT_EQ(got.captures[i].startpos, want.captures[i].startpos);
          EXPECT_EQ(got.captures[i].length, want.captures[i].length);
        }
      }
      // An edit anywhere; the shadow, once made, must follow it.
      const size_t pos = rng() % (model.size() + 1);
      const size_t len = std::min<size_t>(model.size() - pos, rng() % 4);
      const std::string repl = RandomText(rng, 5);
      text.Replace(pos, len, repl);
      model.replace(pos, len, repl);
    }
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
        model = PlainReplaceEvery(model, from, to, count);
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
