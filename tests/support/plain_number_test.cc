// The shortcut for plain whole numbers (digits, an optional "-") against the
// general reading of numeric texts, which must give the same values.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/number.h"

namespace zarn {
namespace {

TEST(PlainNumberTest, ShortcutReadsAsTheGeneralRule) {
  std::mt19937_64 rng(8);
  for (int round = 0; round < 20000; ++round) {
    std::string text = round % 3 == 0 ? "-" : "";
    const int digits = 1 + static_cast<int>(rng() % 19);
    for (int d = 0; d < digits; ++d) {
      text.push_back(static_cast<char>('0' + rng() % (d == 0 ? 3 : 10)));
    }
    // A blank in front sends the same number down the general path.
    const std::string general = " " + text;
    ASSERT_EQ(ToInt32(text), ToInt32Text(general)) << text;
    const std::optional<double> fast = ToDouble(text);
    const std::optional<double> slow = ToDoubleText(general);
    ASSERT_TRUE(fast && slow) << text;
    ASSERT_EQ(*fast, *slow) << text;
    ASSERT_EQ(std::signbit(*fast), std::signbit(*slow)) << text;
    int32_t a = 0;
    int32_t b = 0;
    ASSERT_EQ(ToWholeNumber(text, &a), ToWholeNumber(general, &b)) << text;
    ASSERT_EQ(a, b) << text;
  }
  int64_t v = 0;
  EXPECT_FALSE(ReadPlainInteger("", 18, &v));
  EXPECT_FALSE(ReadPlainInteger("-", 18, &v));
  EXPECT_FALSE(ReadPlainInteger("+1", 18, &v));
  EXPECT_FALSE(ReadPlainInteger("1.0", 18, &v));
  EXPECT_FALSE(ReadPlainInteger("1234", 3, &v));
  EXPECT_TRUE(ReadPlainInteger("-0042", 18, &v));
  EXPECT_EQ(v, -42);
}

}  // namespace
}  // namespace zarn
