#include "eval/args.h"

#include <gtest/gtest.h>

#include <string>

namespace zarn {
namespace {

struct ReadingCase {
  std::string_view text;
  bool numeric;
  int sign;
  bool in_range;
  int32_t rounded;
  bool whole;
};

TEST(ReadWholeNumberTest, RoundsHalvesToEvenAndJudgesExactly) {
  const ReadingCase cases[] = {
      {"5", true, 1, true, 5, true},
      {" -5 ", true, -1, true, -5, true},
      {"4,0", true, 1, true, 4, true},
      {"0.5", true, 1, true, 0, false},
      {"0.51", true, 1, true, 1, false},
      {"1.5", true, 1, true, 2, false},
      {"2.5000", true, 1, true, 2, false},
      {"2.5001", true, 1, true, 3, false},
      {"-2.5", true, -1, true, -2, false},
      {"-0.4", true, -1, true, 0, false},
      {"1.5e1", true, 1, true, 15, true},
      {"15e-1", true, 1, true, 2, false},
      {"0.0000000000005e13", true, 1, true, 5, true},
      {"000000000000000000000000000007", true, 1, true, 7, true},
      {"-0.000", true, 0, true, 0, true},
      {"0e99999", true, 0, true, 0, true},
      {"2147483647", true, 1, true, 2147483647, true},
      {"-2147483648", true, -1, true, -2147483647 - 1, true},
      {"2147483646.5", true, 1, true, 2147483646, false},
      {"2147483647.5", true, 1, false, 0, false},  // rounds to 2^31
      {"-2147483649", true, -1, false, 0, false},
      {"1e100000", true, 1, false, 0, false},
      {"1e-100000", true, 1, true, 0, false},
      {"99999999999999999999", true, 1, false, 0, false},
      {"", false, 0, false, 0, false},
      {"1.2.3", false, 0, false, 0, false},
  };
  for (const ReadingCase& c : cases) {
    WholeNumberReading r = ReadWholeNumber(c.text);
    EXPECT_EQ(r.numeric, c.numeric) << c.text;
    EXPECT_EQ(r.sign, c.sign) << c.text;
    EXPECT_EQ(r.in_range, c.in_range) << c.text;
    if (c.in_range) {
      EXPECT_EQ(r.rounded, c.rounded) << c.text;
    }
    EXPECT_EQ(r.whole, c.whole) << c.text;
  }
}

}  // namespace
}  // namespace zarn
