#include "support/text.h"

#include <gtest/gtest.h>

namespace zarn {
namespace {

TEST(TextTest, LeftOfAndRightOf) {
  struct Case {
    const char* text;
    const char* delim;
    const char* left;
    const char* right;
  } cases[] = {
      {"a,b,c", ",", "a", "b,c"},
      {"abc,", ",", "abc", ""},
      {",abc", ",", "", "abc"},
      {"", ",", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LeftOf(c.text, c.delim), c.left) << c.text;
    EXPECT_EQ(RightOf(c.text, c.delim), c.right) << c.text;
  }
}

TEST(TextTest, GetWordSkipsRunsOfSeparators) {
  struct Case {
    const char* text;
    const char* seps;
    int n;
    const char* word;
  } cases[] = {
      {"a,,b", ",", 1, "a"}, {"a,,b", ",", 2, "b"}, {"a,,b", ",", 3, ""},
      {",a", ",", 1, "a"},   {" a , b", ",", 1, " a "}, {"abc", "", 2, ""},
      {"abc", ",", 0, ""},   {",,,", ",", 1, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GetWord(c.text, c.seps, c.n), c.word)
        << c.text << " #" << c.n;
  }
}

// RepeatText copies by doubling; every count must still give exactly count
// copies, also where the doubling overshoots.
TEST(TextTest, RepeatTextGivesExactlyCountCopies) {
  EXPECT_EQ(RepeatText("ab", 0), "");
  EXPECT_EQ(RepeatText("ab", -4), "");
  for (const std::string text : {"a", "xyz", "0123456789abcdef"}) {
    std::string expected;
    for (int32_t count = 1; count <= 70; ++count) {
      expected += text;
      ASSERT_EQ(RepeatText(text, count), expected) << text << " x" << count;
    }
  }
}

TEST(TextTest, TrimAndCaseTouchOnlyBlanksAndAscii) {
  EXPECT_EQ(TrimBlanks("  a b  "), "a b");
  EXPECT_EQ(TrimBlanks("\ta\t"), "\ta\t");  // tabs are not blanks
  EXPECT_EQ(TrimBlanks("   "), "");
  EXPECT_TRUE(EqualsIgnoreCase("*FileString", "*filestring"));
  EXPECT_FALSE(EqualsIgnoreCase("\xC3\xA4", "\xC3\x84"));
}

TEST(TextTest, ReplaceAllDoesNotRescan) {
  EXPECT_EQ(ReplaceAll("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(ReplaceAll("{1}{1}", "{1}", "x"), "xx");
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
}

TEST(TextTest, PaddedNumber) {
  EXPECT_EQ(PaddedNumber(7, 3), "007");
  EXPECT_EQ(PaddedNumber(317, 3), "317");
  EXPECT_EQ(PaddedNumber(1024, 3), "1024");
}

TEST(TextTest, AppendIndentedIndentsAfterEveryCrLf) {
  std::string out;
  AppendIndented(&out, "a\r\nb\nc\r\n", "..");
  EXPECT_EQ(out, "a\r\n..b\nc\r\n..");
}

}  // namespace
}  // namespace zarn
