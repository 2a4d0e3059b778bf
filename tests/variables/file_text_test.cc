// The gap buffer behind *filestring against a plain std::string as the
// model: random sequences of edits and reads, front-to-back scans like a
// program's loops and edits anywhere, and the CR LF shadow against the
// translation made on a copy.
#include "variables/file_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>

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
  static constexpr char kChars[] = {'a', 'b', '\r', '\n', '\r', '\n',
                                    'x', '\0', ' ', 'f', 'o'};
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

TEST(FileTextTest, SameLengthReplacementsOverwriteWhereverTheGapIs) {
  FileText text;
  std::string model = "abcdefghij";
  text.Assign(model);
  text.Replace(5, 1, "XYZ");  // the gap now follows the edit
  model.replace(5, 1, "XYZ");
  for (size_t pos = 0; pos + 3 <= model.size(); ++pos) {
    text.Replace(pos, 3, "123");  // across the gap as well
    model.replace(pos, 3, "123");
    ASSERT_EQ(Contents(text), model) << pos;
  }
  EXPECT_EQ(text.view(), model);
}

TEST(FileTextTest, ShadowKeepsAnLfWhoseCrLiesBeforeTheStart) {
  FileText text;
  text.Assign("a\r\nb\r\n");
  EXPECT_EQ(text.TranslatedViewFrom(0), std::string("a\0\0b\0\0", 6));
  // From the LF of the first pair: that LF stands alone in the part.
  EXPECT_EQ(text.TranslatedViewFrom(2), std::string("\nb\0\0", 4));
  // The LF put back for that read is a NUL again for the next one.
  EXPECT_EQ(text.TranslatedViewFrom(1), std::string("\0\0b\0\0", 5));
  EXPECT_EQ(text.TranslatedViewFrom(0), std::string("a\0\0b\0\0", 6));
}

TEST(FileTextTest, EditsMakeAndBreakPairsAtTheirEdges) {
  FileText text;
  text.Assign("x\ry");
  EXPECT_FALSE(text.HasCrLf());
  EXPECT_EQ(text.TranslatedViewFrom(0), "x\ry");
  text.Replace(2, 0, "\n");  // makes a pair with the CR before it
  EXPECT_TRUE(text.HasCrLf());
  EXPECT_EQ(text.TranslatedViewFrom(0), std::string("x\0\0y", 4));
  text.Replace(1, 1, "c");  // breaks it again
  EXPECT_FALSE(text.HasCrLf());
  EXPECT_EQ(text.TranslatedViewFrom(0), "xc\ny");
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

}  // namespace
}  // namespace zarn
