// The position commands gback, gforw, gbeg and gend.
#include <string>
#include <utility>
#include <vector>

#include "command_fixture.h"

namespace zarn {
namespace testing_commands {
namespace {

using Position = CommandFixture;

struct Row {
  std::string program;
  std::string input;
  std::string pos;  // *pos at the end
};

TEST_F(Position, Moves) {
  const std::string ten = "0123456789";
  const std::vector<Row> rows = {
      {"setc *pos,3\ngback 5", ten, "1"},
      {"setc *pos,3\ngback", ten, "2"},
      {"setc *pos,8\ngforw 5", ten, "10"},
      {"setc *pos,8\ngforw", ten, "9"},
      {"gforw 2,3", ten, "3"},
      // Only the first word is the count: a call with a comma is cut.
      {"setc n,2\ngforw n,sum(1,2)", ten, "3"},
      {"gforw 2.0", ten, "3"},
      {"setc n,4\ngforw n", ten, "5"},
      {"gforw 3", "", "0"},
      {"gback", "", "1"},
      // A stored position written 3.0 is read as 3.
      {"set *pos,3.0\ngforw", ten, "4"},
  };
  for (const Row& r : rows) {
    Outcome out = Run(r.program, r.input);
    EXPECT_EQ(out.err_flag, 0) << r.program;
    EXPECT_EQ(Var("*pos"), r.pos) << r.program;
    EXPECT_EQ(out.text, r.input) << r.program;
    EXPECT_EQ(out.changes, 0) << r.program;
  }
}

TEST_F(Position, InvalidCountsAreRefused) {
  const std::vector<std::pair<std::string, std::string>> counts = {
      {"0", "0"},
      {"1.5", "1.5"},
      {"nosuch(1)", "nosuch(1)"},
      {"99999999999", "99999999999"},
      {"sum(1,2)", "sum(1"},  // the count as cut from the word list
  };
  for (const auto& [count, quoted] : counts) {
    const std::string operation = "gforw " + count;
    Outcome out =
        Run("setc *pos,4\n" + operation + "\nsetc after,1", "0123456789");
    EXPECT_EQ(out.err_flag, 1) << count;
    EXPECT_EQ(Var("*pos"), "4") << count;
    EXPECT_FALSE(HasVar("after")) << count;
    EXPECT_EQ(out.log, Refused("ZARNCMD007CT", {quoted}, 2, operation));
  }
  Outcome out = Run("gback x", "0123456789");
  EXPECT_EQ(out.err_flag, 1);
  ASSERT_FALSE(out.log.empty());
  EXPECT_EQ(out.log[0], Msg("ZARNCMD007CT", {"x"}));
}

// gbeg and gend on a range r (5, 2) and on an undefined name (exactly).
TEST_F(Position, RangeEnds) {
  const std::vector<std::pair<Span, std::string>> rows = {
      {{3, 4}, "3 6"}, {{5, 0}, "5 4"},  {{1, 0}, "1 1"},
      {{0, 0}, "0 1"}, {{9, 5}, "9 13"},  // beyond the text: not clamped
  };
  for (const auto& [range, ends] : rows) {
    SetRange("r", range);
    Run("setc *pos,2\ngbeg r", "abcdefgh");
    const std::string gbeg = Var("*pos");
    Run("setc *pos,2\ngend r", "abcdefgh");
    EXPECT_EQ(gbeg + " " + Var("*pos"), ends);
  }
  for (const char* operation : {"gbeg nosuch", "gend R"}) {
    Outcome out = Run(std::string("setc *pos,4\n") + operation, "abcdefgh");
    EXPECT_EQ(out.err_flag, 0);
    EXPECT_EQ(Var("*pos"), "1") << operation;
  }
}

TEST_F(Position, MissingRangeName) {
  for (const char* operation : {"gbeg", "gend", "gbeg ,", "gend  ,"}) {
    Outcome out = Run(std::string(operation) + "\nsetc after,1", "abc");
    EXPECT_EQ(out.err_flag, 1) << operation;
    EXPECT_FALSE(HasVar("after"));
    const std::string keyword = std::string(operation).substr(0, 4);
    EXPECT_EQ(out.log, Refused("ZARNCMD002LE", {keyword, ""}, 1, operation));
  }
}

}  // namespace
}  // namespace testing_commands
}  // namespace zarn
