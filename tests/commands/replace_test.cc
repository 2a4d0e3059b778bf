// The replace command rep and the movement of the ranges.
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "command_fixture.h"

namespace zarn {
namespace testing_commands {
namespace {

using Rep = CommandFixture;

// Text abcdef, R = (3, 2) covering "cd", replaced by "XYZ" (N = 3): one
// range for each case of the table.
TEST_F(Rep, EveryCaseOfTheTable) {
  const std::vector<std::pair<std::string, std::pair<Span, Span>>> rows = {
      {"same", {{3, 2}, {3, 3}}},           // same as R
      {"empty", {{0, 0}, {0, 0}}},          // empty range
      {"wholly_before", {{1, 1}, {1, 1}}},  // e < S
      {"ends_at_s", {{1, 2}, {1, 2}}},      // ends exactly at S
      {"wholly_after", {{5, 2}, {6, 2}}},   // s >= E
      {"ends_with_r", {{2, 3}, {2, 4}}},    // s <= S, e = E: contains R
      {"ends_inside", {{1, 3}, {1, 2}}},    // s <= S, e < E
      {"ends_inside_at_s", {{3, 1}, {3, 0}}},
      {"lies_inside", {{4, 1}, {3, 0}}},  // s > S, e <= E
      {"covers", {{2, 4}, {2, 5}}},       // s <= S, e > E
      {"covers_from_s", {{3, 3}, {3, 4}}},
      {"starts_inside", {{4, 3}, {6, 2}}},  // s > S, e > E
  };
  SetRange("r", {3, 2});
  for (const auto& [name, spans] : rows) SetRange(name, spans.first);
  Outcome out = Run(Program({"setc n,XYZ", "rep r,n"}), "abcdef");
  EXPECT_EQ(out.err_flag, 0);
  EXPECT_EQ(out.text, "abXYZef");
  EXPECT_EQ(out.changes, 1);
  EXPECT_EQ(Spans({"r", "*filerange"}), "3,3 1,7");
  for (const auto& [name, spans] : rows) {
    EXPECT_EQ(Range(name), spans.second) << name;
  }
  EXPECT_EQ(Var("*n_oper"), "3");
}

// rep r,n over abcdef with r and a second range x given, and the new text n
// ("-": an unset variable instead).
TEST_F(Rep, Replacements) {
  const std::vector<std::vector<std::string>> rows = {
      // r, x, n, text, changes, then r, x and *filerange afterwards
      {"3,2", "5,2", "", "abef", "1", "3,0 3,2 1,4"},        // empty new text
      {"3,0", "3,2", "XY", "abXYcdef", "1", "3,2 5,2 1,8"},  // insertion
      {"3,0", "1,2", "XY", "abXYcdef", "1", "3,2 1,2 1,8"},
      {"3,2", "4,1", "XY", "abXYef", "1", "3,2 4,1 1,6"},  // same length
      {"2,3", "1,1", "-", "aef", "1", "2,0 1,1 1,3"},      // unset: deletes
      {"0,3", "1,1", "X", "abcdef", "0", "0,3 1,1 1,6"},   // no start
      {"-1,2", "1,1", "X", "abcdef", "0", "-1,2 1,1 1,6"},
      {"5,10", "1,1", "XYZ", "abcdXYZ", "1", "5,3 1,1 1,7"},  // past the end
      {"7,0", "1,1", "XYZ", "abcdefXYZ", "1", "7,3 1,1 1,9"},
      {"9,2", "1,1", "XYZ", "abcdefXYZ", "1", "9,3 1,1 1,9"},
      {"1,0", "1,2", "XY", "XYabcdef", "1", "1,2 3,2 1,8"},  // at the start
      {"6,1", "4,3", "XY", "abcdeXY", "1", "6,2 4,4 1,7"},   // the last one
  };
  for (const auto& r : rows) {
    const std::vector<std::string> rx = Split(r[0] + "," + r[1], ',');
    SetRange("r", {std::stoi(rx[0]), std::stoi(rx[1])});
    SetRange("x", {std::stoi(rx[2]), std::stoi(rx[3])});
    const std::string n = r[2] == "-" ? "nothing" : "n";
    st_.StrVars.Set("n", r[2]);
    Outcome out = Run("rep r," + n, "abcdef");
    EXPECT_EQ(out.err_flag, 0) << r[0];
    EXPECT_EQ(out.text, r[3]) << r[0];
    EXPECT_EQ(std::to_string(out.changes), r[4]) << r[0];
    EXPECT_EQ(Spans({"r", "x", "*filerange"}), r[5]) << r[0] << " " << r[2];
    EXPECT_TRUE(HasVar(n));  // rep creates the variable it reads
  }
}

TEST_F(Rep, UndefinedRangeReplacesNothing) {
  Outcome out = Run(Program({"setc *errloglev,1", "rep nosuch,n"}), "abcdef");
  EXPECT_EQ(out.err_flag, 0);
  EXPECT_EQ(out.text, "abcdef");
  EXPECT_EQ(out.changes, 0);
  EXPECT_EQ(Range("nosuch"), Span(0, 0));
  EXPECT_EQ(Var("n"), "");
  EXPECT_EQ(out.log, (Log{TraceLine(2, "Replacements cnt.: 0")}));
}

// An insertion at the end of the text lies behind every range that ends
// there, except the whole text, which keeps covering the whole text.
TEST_F(Rep, InsertionAtTheEndGrowsOnlyTheWholeText) {
  Outcome out =
      Run(Program({"setc p,c", "setc n,XY", "find p,b,f,a", "rep a,n"}), "abc");
  EXPECT_EQ(out.text, "abcXY");
  EXPECT_EQ(Spans({"a", "f", "*filerange"}), "4,2 3,1 1,5");

  SetRange("r", {2, 0});  // the text inserted into itself
  out = Run(Program({"rep r,*filestring"}), "abc");
  EXPECT_EQ(out.text, "aabcbc");
  EXPECT_EQ(Spans({"r", "*filerange"}), "2,3 1,6");
}

TEST_F(Rep, MissingArguments) {
  for (const char* operation :
       {"rep", "rep r", "rep ,n", "rep r, ", "rep  ,n"}) {
    Outcome out = Run(std::string(operation) + "\nsetc after,1", "abc");
    EXPECT_EQ(out.err_flag, 1) << operation;
    EXPECT_FALSE(HasVar("after")) << operation;
    EXPECT_EQ(out.log, Refused("ZARNCMD002LE", {"rep", ""}, 1, operation));
  }
}

// A slow, obviously correct model of the replacement of R = (S, L) by N
// characters: every character of the old text keeps its identity; a range
// afterwards covers the characters of its old span that survive, plus the
// new text when the old span contains the whole replaced stretch (and, for
// an insertion, goes on past it); the range of the whole text stays so.
Span Model(Span range, int32_t S, int32_t L, int32_t N, int32_t size,
           bool whole = false) {
  const auto [s, l] = range;
  if (N == L || (s == 0 && l == 0)) return range;
  if (s == S && l == L) return {S, N};
  if (whole && s == 1 && l == size) return {1, size - L + N};
  // An empty range is a gap before character s: it closes on S inside R.
  if (l == 0) return {s <= S ? s : (s < S + L ? S : s - L + N), 0};
  std::set<int32_t> covered;
  for (int32_t p = s; p < s + l; ++p) {
    if (p < S || p >= S + L) covered.insert(p < S ? p : p - L + N);
  }
  // Text inserted at the very start or end of a range lies outside it.
  if ((s < S || (s == S && L > 0)) && s + l >= S + L && s + l > S) {
    for (int32_t k = 0; k < N; ++k) covered.insert(S + k);
  }
  if (covered.empty()) return {S, 0};
  const int32_t first = *covered.begin(), last = *covered.rbegin();
  EXPECT_EQ(last - first + 1, static_cast<int32_t>(covered.size()));
  return {first, last - first + 1};
}

// The command end to end: text and every range against the model.
TEST_F(Rep, AgreesWithTheModel) {
  std::mt19937 gen(7);
  auto draw = [&](int32_t from, int32_t to) {
    return std::uniform_int_distribution<int32_t>(from, to)(gen);
  };
  Load(Program({"rep r,n"}));
  for (int round = 0; round < 2000; ++round) {
    const int32_t size = draw(0, 16);
    const std::string text = std::string("abcdefghijklmnopq").substr(0, size);
    const int32_t S = draw(1, size + 1), L = draw(0, size - S + 1);
    const std::string repl(draw(0, 5), '#');
    std::vector<Span> ranges;
    for (int i = 0; i < 6; ++i) {
      const int32_t s = draw(0, size + 1);
      ranges.push_back(s == 0 ? Span(0, 0) : Span(s, draw(0, size - s + 1)));
      SetRange("x" + std::to_string(i), ranges.back());
    }
    SetRange("r", {S, L});
    st_.StrVars.Set("n", repl);
    Outcome out = RunOn(text);
    const int32_t N = static_cast<int32_t>(repl.size());
    ASSERT_EQ(out.text, text.substr(0, S - 1) + repl +
                            (S + L - 1 < size ? text.substr(S + L - 1) : ""));
    for (int i = 0; i < 6; ++i) {
      ASSERT_EQ(Range("x" + std::to_string(i)), Model(ranges[i], S, L, N, size))
          << "round " << round << " R=(" << S << "," << L << ") N=" << N;
    }
    ASSERT_EQ(Range("r"), Model({S, L}, S, L, N, size));
    ASSERT_EQ(Range("*filerange"), Model({1, size}, S, L, N, size, true));
  }
}

}  // namespace
}  // namespace testing_commands
}  // namespace zarn
