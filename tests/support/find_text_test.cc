// The fast substring search against std::string_view::find, over texts long
// enough for the sixteen-at-a-time part and short ones, with needles that
// repeat their first or last character, at every start.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>

#include "support/text.h"

namespace zarn {
namespace {

TEST(FindTextTest, FindsWhatFindFinds) {
  std::mt19937 rng(1);
  auto random_text = [&rng](size_t max, const char* alphabet, size_t letters) {
    std::string s(rng() % (max + 1), ' ');
    for (char& c : s) c = alphabet[rng() % letters];
    return s;
  };
  for (int round = 0; round < 3000; ++round) {
    // Few letters, so that candidates (first and last character in place)
    // are frequent and most of them are not matches.
    const std::string text = random_text(120, "abo\0f", 5);
    const std::string what = random_text(6, "abo\0f", 5);
    for (size_t from = 0; from <= text.size() + 1; ++from) {
      ASSERT_EQ(FindText(text, what, from),
                std::string_view(text).find(what, from))
          << ::testing::PrintToString(text) << " / "
          << ::testing::PrintToString(what) << " from " << from;
    }
  }
}

TEST(FindTextTest, MatchesAtTheVeryEndAndAcrossBlocks) {
  std::string text(1000, 'x');
  text.replace(997, 3, "foo");
  EXPECT_EQ(FindText(text, "foo", 0), 997u);
  text.replace(14, 3, "foo");  // straddles the first block of sixteen
  EXPECT_EQ(FindText(text, "foo", 0), 14u);
  EXPECT_EQ(FindText(text, "foo", 15), 997u);
  EXPECT_EQ(FindText(text, "xfoox", 0), 13u);
  EXPECT_EQ(FindText(text, "", 5), 5u);
  EXPECT_EQ(FindText(text, "foo", 2000), std::string_view::npos);
}

TEST(FindTextTest, EmptyTextWithoutData) {
  const std::string_view none;  // data() is null
  EXPECT_EQ(FindText(none, "b", 0), std::string_view::npos);
  EXPECT_EQ(FindText(none, "bc", 0), std::string_view::npos);
  EXPECT_EQ(FindText(none, "", 0), 0u);
  EXPECT_EQ(FindText("ab", "b", 2), std::string_view::npos);
}

}  // namespace
}  // namespace zarn
