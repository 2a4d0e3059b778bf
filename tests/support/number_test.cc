#include "support/number.h"

#include <gtest/gtest.h>

namespace zarn {
namespace {

TEST(NumberTest, NumericForms) {
  const char* numeric[] = {"3",    "-2",   "+2",    " 4 ",  "2.5",  "2,5",
                           ".5",   "5.",   "1e2",   "1E-2", "-1.5e+3",
                           "007"};
  for (const char* t : numeric) EXPECT_TRUE(IsNumeric(t)) << t;
  const char* not_numeric[] = {"",    " ",   "abc", "1.2.3", "1,2.3", "e5",
                               "1e",  "1e+", "--1", "1 2",   ".",     "0x10",
                               "\t1", "1-"};
  for (const char* t : not_numeric) EXPECT_FALSE(IsNumeric(t)) << t;
}

TEST(NumberTest, WholeNumbers) {
  const char* whole[] = {"3", "-2", "1e2", "4.0", "4,0", " 12 ", "-0"};
  for (const char* t : whole) EXPECT_TRUE(IsWholeNumber(t)) << t;
  const char* not_whole[] = {"2.5", "abc", "", "1e-1", "3000000000",
                             "-2147483649"};
  for (const char* t : not_whole) EXPECT_FALSE(IsWholeNumber(t)) << t;
  int32_t v = 0;
  EXPECT_TRUE(ToWholeNumber("2147483647", &v));
  EXPECT_EQ(v, 2147483647);
}

TEST(NumberTest, ToInt32RoundsHalfToEven) {
  struct Case {
    const char* text;
    int32_t value;
  } cases[] = {{"2.5", 2},  {"3.5", 4},   {"-2.5", -2}, {"1.49", 1},
               {"abc", 0},  {"", 0},      {"7", 7},     {"1e3", 1000},
               {"1e20", 2147483647},      {"-1e20", -2147483647 - 1}};
  for (const Case& c : cases) EXPECT_EQ(ToInt32(c.text), c.value) << c.text;
}

TEST(NumberTest, ParseNumericKeepsDigits) {
  auto parts = ParseNumeric(" -12.340e-2 ");
  ASSERT_TRUE(parts);
  EXPECT_TRUE(parts->negative);
  EXPECT_EQ(parts->int_digits, "12");
  EXPECT_EQ(parts->frac_digits, "340");
  EXPECT_EQ(parts->exponent, -2);
}

}  // namespace
}  // namespace zarn
