// The replace command rep and the movement of the ranges.
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "command_fixture.h"
#include "commands/range_adjust.h"

namespace zarn {
namespace testing_commands {
namespace {

using Rep = CommandFixture;
using Span = std::pair<int32_t, int32_t>;

// Text abcdef, R = (3, 2) covering "cd", replaced by "XYZ" (N = 3): one
// range for each case of the table.
TEST_F(Rep, EveryCaseOfTheTable) {
  struct Row {
    const char* name;
    Span before;
    Span after;
  };
  const std::vector<Row> rows = {
      {"same", {3, 2}, {3, 3}},           // same as R
      {"empty", {0, 0}, {0, 0}},          // empty range
      {"wholly_before", {1, 1}, {1, 1}},  // e < S
      {"ends_at_s", {1, 2}, {1, 2}},      // ends inside R, exactly at S
      {"wholly_after", {5, 2}, {6, 2}},   // s >= E
      {"ends_inside", {2, 3}, {2, 1}},    // s <= S, e <= E
      {"ends_inside_at_s", {3, 1}, {3, 0}},
      {"lies_inside", {4, 1}, {3, 0}},  // s > S, e <= E
      {"covers", {2, 4}, {2, 5}},       // s <= S, e > E
      {"covers_from_s", {3, 3}, {3, 4}},
      {"starts_inside", {4, 3}, {6, 2}},  // s > S, e > E
  };
  st_.RangeVars.SetRangeVar(RangeVarRec{"r", 3, 2});
  for (const Row& row : rows) {
    st_.RangeVars.SetRangeVar(
        RangeVarRec{row.name, row.before.first, row.before.second});
  }
  Outcome out = Run(Program({"setc n,XYZ", "rep r,n"}), "abcdef");
  EXPECT_EQ(out.err_flag, 0);
  EXPECT_EQ(out.text, "abXYZef");
  EXPECT_EQ(out.changes, 1);
  EXPECT_EQ(Range("r"), Span(3, 3));
  EXPECT_EQ(Range("*filerange"), Span(1, 7));
  for (const Row& row : rows) {
    EXPECT_EQ(Range(row.name), row.after) << row.name;
  }
  EXPECT_EQ(Var("*n_oper"), "3");
}

TEST_F(Rep, EmptyNewText) {
  st_.RangeVars.SetRangeVar(RangeVarRec{"r", 3, 2});
  st_.RangeVars.SetRangeVar(RangeVarRec{"after", 5, 2});
  Outcome out = Run(Program({"setc n,", "rep r,n"}), "abcdef");
  EXPECT_EQ(out.text, "abef");
  EXPECT_EQ(Range("after"), Span(3, 2));
  EXPECT_EQ(Range("*filerange"), Span(1, 4));
  EXPECT_EQ(Range("r"), Span(3, 0));
  EXPECT_EQ(out.changes, 1);
}

TEST_F(Rep, InsertionPoint) {
  st_.RangeVars.SetRangeVar(RangeVarRec{"r", 3, 0});
  st_.RangeVars.SetRangeVar(RangeVarRec{"at", 3, 2});
  st_.RangeVars.SetRangeVar(RangeVarRec{"upto", 1, 2});
  Outcome out = Run(Program({"setc n,XY", "rep r,n"}), "abcdef");
  EXPECT_EQ(out.text, "abXYcdef");
  EXPECT_EQ(Range("r"), Span(3, 2));
  EXPECT_EQ(Range("at"), Span(5, 2));
  EXPECT_EQ(Range("upto"), Span(1, 2));
  EXPECT_EQ(Range("*filerange"), Span(1, 8));
}

TEST_F(Rep, SameLengthMovesNothing) {
  st_.RangeVars.SetRangeVar(RangeVarRec{"r", 3, 2});
  st_.RangeVars.SetRangeVar(RangeVarRec{"inside", 4, 1});
  Outcome out = Run(Program({"setc n,XY", "rep r,n"}), "abcdef");
  EXPECT_EQ(out.text, "abXYef");
  EXPECT_EQ(Range("inside"), Span(4, 1));
  EXPECT_EQ(Range("r"), Span(3, 2));
  EXPECT_EQ(out.changes, 1);
}

TEST_F(Rep, UndefinedRangeReplacesNothing) {
  Outcome out = Run(Program({"setc *errloglev,1", "rep nosuch,n"}), "abcdef");
  EXPECT_EQ(out.err_flag, 0);
  EXPECT_EQ(out.text, "abcdef");
  EXPECT_EQ(out.changes, 0);
  EXPECT_EQ(Range("nosuch"), Span(0, 0));
  EXPECT_TRUE(HasVar("n"));
  EXPECT_EQ(Var("n"), "");
  EXPECT_EQ(out.log,
            (std::vector<std::string>{TraceLine(2, "Replacements cnt.: 0")}));
}

TEST_F(Rep, UndefinedVariableDeletesTheRange) {
  st_.RangeVars.SetRangeVar(RangeVarRec{"r", 2, 3});
  Outcome out = Run(Program({"rep r,nothing"}), "abcdef");
  EXPECT_EQ(out.text, "aef");
  EXPECT_EQ(out.changes, 1);
  EXPECT_TRUE(HasVar("nothing"));
}

TEST_F(Rep, RangeWithoutStartReplacesNothing) {
  for (Span r : {Span(0, 3), Span(-1, 2), Span(-2, 0)}) {
    st_.RangeVars.SetRangeVar(RangeVarRec{"r", r.first, r.second});
    st_.StrVars.Set("*errloglev", "0");
    Outcome out =
        Run(Program({"setc *errloglev,1", "setc n,X", "rep r,n"}), "abcdef");
    EXPECT_EQ(out.text, "abcdef");
    EXPECT_EQ(out.changes, 0);
    EXPECT_EQ(Range("r"), r);
    EXPECT_EQ(Range("*filerange"), Span(1, 6));
    ASSERT_EQ(out.log.size(), 2u);
    EXPECT_EQ(out.log[1], TraceLine(3, "Replacements cnt.: 0"));
  }
}

TEST_F(Rep, RangeReachingPastTheEnd) {
  st_.RangeVars.SetRangeVar(RangeVarRec{"r", 5, 10});
  Outcome out = Run(Program({"setc n,XYZ", "rep r,n"}), "abcdef");
  EXPECT_EQ(out.text, "abcdXYZ");
  EXPECT_EQ(Range("r"), Span(5, 3));

  st_.RangeVars.SetRangeVar(RangeVarRec{"r", 7, 0});
  out = Run(Program({"setc n,XYZ", "rep r,n"}), "abcdef");
  EXPECT_EQ(out.text, "abcdefXYZ");

  // Characters 1 to S - 1 (all there are), the new text, nothing after.
  st_.RangeVars.SetRangeVar(RangeVarRec{"r", 9, 2});
  out = Run(Program({"setc n,XYZ", "rep r,n"}), "abcdef");
  EXPECT_EQ(out.text, "abcdefXYZ");
}

// An insertion at the end of the text lies behind every range that ends
// there, *filerange included: a range that ends exactly where the replaced
// stretch begins keeps its length.
TEST_F(Rep, InsertionAtTheEndLiesBehindTheRangesEndingThere) {
  Outcome out =
      Run(Program({"setc p,c", "setc n,XY", "find p,b,f,a", "rep a,n"}), "abc");
  EXPECT_EQ(out.text, "abcXY");
  EXPECT_EQ(Range("a"), Span(4, 2));
  EXPECT_EQ(Range("f"), Span(3, 1));
  EXPECT_EQ(Range("*filerange"), Span(1, 3));
}

TEST_F(Rep, WholeTextAndItsOwnText) {
  Outcome out = Run(Program({"rep *filerange,*filestring"}), "abc");
  EXPECT_EQ(out.text, "abc");
  EXPECT_EQ(out.changes, 1);

  st_.RangeVars.SetRangeVar(RangeVarRec{"r", 2, 0});
  out = Run(Program({"rep r,*filestring"}), "abc");
  EXPECT_EQ(out.text, "aabcbc");
  EXPECT_EQ(Range("*filerange"), Span(1, 6));
  EXPECT_EQ(Range("r"), Span(2, 3));
}

TEST_F(Rep, AfterAFind) {
  Outcome out = Run(Program({"setc p,b+", "setc n,-", "find p,pre,hit,post",
                             "rep hit,n", "gend post"}),
                    "aabbbcc");
  EXPECT_EQ(out.text, "aa-cc");
  EXPECT_EQ(Range("pre"), Span(1, 2));
  EXPECT_EQ(Range("hit"), Span(3, 1));
  EXPECT_EQ(Range("post"), Span(4, 2));
  EXPECT_EQ(Var("*pos"), "5");
}

TEST_F(Rep, MissingArguments) {
  for (const char* operation :
       {"rep", "rep r", "rep ,n", "rep r, ", "rep  ,n"}) {
    Outcome out = Run(std::string(operation) + "\nsetc after,1", "abc");
    EXPECT_EQ(out.err_flag, 1) << operation;
    EXPECT_FALSE(HasVar("after")) << operation;
    EXPECT_EQ(out.log, (std::vector<std::string>{
                           Msg("ZARNCMD002LE", {"rep", ""}),
                           Msg("ZARNCMD001LE", {kDataFile, "1", operation}),
                       }))
        << operation;
  }
}

// A slow, obviously correct model of the replacement. Every character of
// the old text keeps its identity; a range after the replacement covers the
// characters of its old span that survive, plus the new text when the old
// span stretched over the whole replaced stretch (or was that stretch).
struct Model {
  std::string text;
  std::vector<Span> ranges;
};

Model Replace(const std::string& text, const std::vector<Span>& ranges,
              int32_t S, int32_t L, const std::string& repl) {
  const int32_t N = static_cast<int32_t>(repl.size());
  const int32_t size = static_cast<int32_t>(text.size());
  Model out;
  // New position of old character p (from 1), for characters outside R.
  auto moved = [&](int32_t p) { return p < S ? p : p - L + N; };
  for (int32_t p = 1; p <= size; ++p) {
    if (p == S) out.text += repl;
    if (p < S || p >= S + L) out.text.push_back(text[p - 1]);
  }
  if (S > size) out.text += repl;
  for (Span r : ranges) {
    const int32_t s = r.first, l = r.second;
    if (N == L || (s == 0 && l == 0)) {
      out.ranges.push_back(r);
      continue;
    }
    if (s == S && l == L) {
      out.ranges.push_back({S, N});
      continue;
    }
    if (l == 0) {
      // A gap before character s: before R it stays, inside R it closes on
      // S, behind R it moves.
      int32_t g = s <= S ? s : (s < S + L ? S : s - L + N);
      out.ranges.push_back({g, 0});
      continue;
    }
    std::set<int32_t> covered;
    for (int32_t p = s; p < s + l; ++p) {
      if (p < S || p >= S + L) covered.insert(moved(p));
    }
    // The new text joins a range that stretches over the whole replaced
    // stretch; text inserted at the very start of a range goes before it.
    const bool starts_before = s < S || (s == S && L > 0);
    if (starts_before && s + l > S + L) {
      for (int32_t k = 0; k < N; ++k) covered.insert(S + k);
    }
    if (covered.empty()) {
      out.ranges.push_back({S, 0});
      continue;
    }
    const int32_t first = *covered.begin();
    const int32_t last = *covered.rbegin();
    EXPECT_EQ(last - first + 1, static_cast<int32_t>(covered.size()))
        << "model range not contiguous";
    out.ranges.push_back({first, last - first + 1});
  }
  return out;
}

TEST(RangeAdjust, AgreesWithTheModel) {
  std::mt19937 gen(20240305);
  const std::string text = "abcdefghijklmnopqrst";
  const int32_t size = static_cast<int32_t>(text.size());
  for (int round = 0; round < 20000; ++round) {
    const int32_t S = std::uniform_int_distribution<int32_t>(1, size)(gen);
    const int32_t L =
        std::uniform_int_distribution<int32_t>(0, size - S + 1)(gen);
    const int32_t N = std::uniform_int_distribution<int32_t>(0, 6)(gen);
    std::vector<Span> ranges;
    for (int i = 0; i < 8; ++i) {
      if (std::uniform_int_distribution<int>(0, 9)(gen) == 0) {
        ranges.push_back({0, 0});
        continue;
      }
      const int32_t s =
          std::uniform_int_distribution<int32_t>(1, size + 1)(gen);
      const int32_t l =
          std::uniform_int_distribution<int32_t>(0, size - s + 1)(gen);
      ranges.push_back({s, l});
    }
    const Model want = Replace(text, ranges, S, L, std::string(N, '#'));
    for (size_t i = 0; i < ranges.size(); ++i) {
      int32_t s = ranges[i].first, l = ranges[i].second;
      if (N != L) AdjustRange(ReplacedStretch{S, L, N}, &s, &l);
      ASSERT_EQ(Span(s, l), want.ranges[i])
          << "R=(" << S << "," << L << ") N=" << N << " range ("
          << ranges[i].first << "," << ranges[i].second << ")";
    }
  }
}

// The command end to end: text and every range against the model.
TEST_F(Rep, AgreesWithTheModel) {
  std::mt19937 gen(7);
  Load(Program({"rep r,n"}));
  for (int round = 0; round < 300; ++round) {
    const int32_t size = std::uniform_int_distribution<int32_t>(0, 12)(gen);
    std::string text;
    for (int32_t i = 0; i < size; ++i) {
      text.push_back(static_cast<char>('a' + i));
    }
    const int32_t S = std::uniform_int_distribution<int32_t>(1, size + 1)(gen);
    const int32_t L =
        std::uniform_int_distribution<int32_t>(0, size - S + 1)(gen);
    const std::string repl(std::uniform_int_distribution<int>(0, 4)(gen), '#');
    std::vector<Span> ranges;
    for (int i = 0; i < 5; ++i) {
      const int32_t s =
          std::uniform_int_distribution<int32_t>(1, size + 1)(gen);
      const int32_t l =
          std::uniform_int_distribution<int32_t>(0, size - s + 1)(gen);
      ranges.push_back({s, l});
      st_.RangeVars.SetRangeVar(RangeVarRec{"x" + std::to_string(i), s, l});
    }
    st_.RangeVars.SetRangeVar(RangeVarRec{"r", S, L});
    st_.StrVars.Set("n", repl);
    ranges.push_back({S, L});
    ranges.push_back({1, size});  // *filerange
    const Model want = Replace(text, ranges, S, L, repl);
    Outcome out = RunOn(text);
    ASSERT_EQ(out.text, want.text);
    for (int i = 0; i < 5; ++i) {
      ASSERT_EQ(Range("x" + std::to_string(i)), want.ranges[i]) << round;
    }
    ASSERT_EQ(Range("r"), want.ranges[5]);
    ASSERT_EQ(Range("*filerange"), want.ranges[6]);
  }
}

}  // namespace
}  // namespace testing_commands
}  // namespace zarn
