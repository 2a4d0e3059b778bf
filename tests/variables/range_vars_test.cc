#include "variables/range_vars.h"

#include <gtest/gtest.h>

namespace zarn {
namespace {

TEST(RangeVarsTest, RangeText) {
  const std::string_view text = "abcdefgh";
  struct Case {
    int32_t start, length;
    const char* expected;
  } cases[] = {{0, 5, ""}, {-1, 3, ""}, {2, -1, ""}, {8, 1, "h"}};
  for (const Case& c : cases) {
    EXPECT_EQ(RangeText(RangeVarRec{"r", c.start, c.length}, text),
              c.expected)
        << c.start << "," << c.length;
  }
  EXPECT_EQ(RangeText(RangeVarRec{"?", 1, 3}, text), "");
}

TEST(RangeVarsTest, SetFindGetAndOrder) {
  RangeVarStore ranges;
  ranges.SetRangeVar({"Hit", 2, 3});
  ranges.SetRangeVar({"after", 5, 1});
  ranges.SetRangeVar({"hit", 4, 0});
  EXPECT_EQ(ranges.Count(), 2);
  EXPECT_EQ(ranges.FindRangeVar("Hit"), 0);
  EXPECT_EQ(ranges.FindRangeVar("hit"), 1);
  RangeVarRec r = ranges.GetRangeVar("HIT");
  EXPECT_EQ(r.name, "hit");
  EXPECT_EQ(r.startpos, 4);
  EXPECT_EQ(r.length, 0);
  EXPECT_EQ(ranges.GetRangeVarAt(2).name, "after");
  EXPECT_EQ(ranges.GetRangeVarAt(0).name, "?");
  EXPECT_EQ(ranges.GetRangeVarAt(3).name, "?");
  EXPECT_EQ(ranges.GetRangeVar("none").name, "?");
}

TEST(RangeVarsTest, RemoveByExactPrefixClosesGaps) {
  RangeVarStore ranges;
  for (const char* n : {"*ctx1", "a", "*CTX1", "*ctx12", "x*ctx", "*ctx"}) {
    ranges.SetRangeVar({n, 1, 1});
  }
  // *CTX1 is the same key as *ctx1, so it renamed that range.
  ranges.RemoveRangeVars("*ctx");
  std::vector<std::string> left;
  for (int32_t i = 1; i <= ranges.Count(); ++i) {
    left.push_back(ranges.GetRangeVarAt(i).name);
  }
  EXPECT_EQ(left, (std::vector<std::string>{"*CTX1", "a", "x*ctx"}));
  EXPECT_EQ(ranges.FindRangeVar("x*ctx"), 3);
  ranges.SetRangeVar({"*ctx12", 1, 1});
  EXPECT_EQ(ranges.FindRangeVar("*ctx12"), 4);
}

}  // namespace
}  // namespace zarn
