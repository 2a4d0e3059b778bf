// The control-flow commands loop, lend, lexit, lcont, if, else and endif.
#include <string>
#include <vector>

#include "command_fixture.h"

namespace zarn {
namespace testing_commands {
namespace {

using Control = CommandFixture;

// A program and the value the variable "s" holds after it. Operations
// append marks to s with "cat s,s,<mark>".
struct Row {
  std::string name;
  std::vector<std::string_view> program;
  std::string s;
};

TEST_F(Control, Flows) {
  const std::vector<Row> rows = {
      {"loop until the end condition holds",
       {"set i,0", "loop", "set i,sum(i,1)", "cat s,s,i",
        "set x,ifn(i,ge,3,1,0)", "lend x", "cat s,s,*comma"},
       "123,"},
      {"a false head skips the body",
       {"setc a,A", "loop 5", "cat s,s,a", "lend", "cat s,s,*blank"},
       " "},
      {"a head tested on every pass",
       {"set i,0", "set go,1", "loop go", "set i,sum(i,1)", "cat s,s,i",
        "set go,ifn(i,lt,4,1,0)", "lend", "cat s,s,*comma"},
       "1234,"},
      {"a false outer head skips past the outer lend",
       {"setc f,0", "setc a,A", "setc b,B", "setc c,C", "loop f", "loop",
        "cat s,s,a", "lend", "cat s,s,b", "lend", "cat s,s,c"},
       "C"},
      {"a false inner head skips past the inner lend",
       {"setc f,0", "setc a,A", "setc b,B", "setc one,1", "loop", "loop f",
        "cat s,s,a", "lend", "cat s,s,b", "lend one", "cat s,s,b"},
       "BB"},
      {"lcont goes to the lend, which decides",
       {"set i,0", "setc x,X", "loop", "set i,sum(i,1)", "cat s,s,i",
        "set c,ifn(i,ge,3,1,0)", "lcont", "cat s,s,x", "lend c",
        "cat s,s,*comma"},
       "123,"},
      {"lcont with an empty lend condition tests the head next",
       {"set i,0", "set go,1", "setc x,X", "loop go", "set i,sum(i,1)",
        "cat s,s,i", "set go,ifn(i,lt,3,1,0)", "lcont", "cat s,s,x", "lend",
        "cat s,s,*comma"},
       "123,"},
      {"lexit leaves the innermost loop",
       {"set i,0", "setc a,A", "setc one,1", "loop", "set i,sum(i,1)",
        "cat s,s,i", "set c,ifn(i,ge,2,1,0)", "loop", "cat s,s,a", "lexit",
        "cat s,s,*lb", "lend one", "cat s,s,*comma", "lend c", "cat s,s,*rb"},
       "1A,2A,)"},
      {"lexit 2 leaves both loops",
       {"set i,0", "setc a,A", "setc one,1", "loop", "set i,sum(i,1)",
        "cat s,s,i", "loop", "cat s,s,a", "lexit 2", "cat s,s,*lb", "lend one",
        "cat s,s,*comma", "lend one", "cat s,s,*rb"},
       "1A)"},
      {"lexit 0 continues with the next operation",
       {"setc a,A", "setc one,1", "loop", "cat s,s,a", "lexit 0",
        "cat s,s,*comma", "lend one", "cat s,s,*rb"},
       "A,)"},
      // Landing on the inner lend would test its condition, which is false
      // on the first pass, and run the inner loop once more.
      {"lexit does not test the condition of the lend it leaves",
       {"set k,0", "setc a,A", "loop", "set k,sum(k,1)", "cat s,s,a",
        "set c,ifn(k,ge,2,1,0)", "lexit", "lend c", "cat s,s,*comma"},
       "A,"},
      {"lexit from a loop nested three deep",
       {"setc a,A", "setc b,B", "setc one,1", "loop", "loop", "loop",
        "cat s,s,a", "lexit 2", "lend one", "cat s,s,*lb", "lend one",
        "cat s,s,b", "lexit", "lend one", "cat s,s,*comma"},
       "AB,"},
      {"if false continues after its else",
       {"setc a,0", "setc x,X", "setc y,Y", "setc z,Z", "if a", "cat s,s,x",
        "else", "cat s,s,y", "endif", "cat s,s,z"},
       "YZ"},
      {"if true runs both branches",
       {"setc a,1", "setc x,X", "setc y,Y", "setc z,Z", "if a", "cat s,s,x",
        "else", "cat s,s,y", "endif", "cat s,s,z"},
       "XYZ"},
      {"if without argument is true",
       {"setc x,X", "if", "cat s,s,x", "endif"},
       "X"},
      {"a false outer if finds its own else",
       {"setc a,0", "setc p,P", "setc q,Q", "setc r,R", "if a", "if 1",
        "cat s,s,p", "else", "cat s,s,q", "endif", "else", "cat s,s,r",
        "endif"},
       "R"},
      {"a condition counts only when it is exactly 1",
       {"setc x,X", "setc a,1.0", "if a", "cat s,s,x", "else", "endif",
        "setc b,, 1", "if b", "cat s,s,x", "else", "endif", "cat s,s,*comma"},
       ","},
      {"an error text is false",
       {"setc x,X", "if nosuch(1)", "cat s,s,x", "else", "endif",
        "cat s,s,*comma"},
       ","},
      {"a loop inside an if",
       {"set i,0", "setc one,1", "if one", "loop", "set i,sum(i,1)",
        "cat s,s,i", "set c,ifn(i,ge,2,1,0)", "lend c", "else", "endif"},
       "12"},
  };
  for (const Row& r : rows) {
    st_.StrVars.Set("s", "");
    Outcome out = Run(Program(r.program), "text");
    EXPECT_EQ(out.err_flag, 0) << r.name;
    EXPECT_EQ(Var("s"), r.s) << r.name;
    EXPECT_TRUE(out.log.empty()) << r.name;
  }
}

TEST_F(Control, IfWithoutElseEndsTheProgramForTheFile) {
  Outcome out = Run(Program({"setc a,0", "setc n,N", "if a", "setc x,1",
                             "endif", "rep *filerange,n", "setc z,1"}),
                    "text");
  EXPECT_EQ(out.err_flag, 0);
  EXPECT_TRUE(out.log.empty());
  EXPECT_FALSE(HasVar("x"));
  EXPECT_FALSE(HasVar("z"));
  EXPECT_EQ(out.text, "text");
  EXPECT_EQ(out.changes, 0);
  EXPECT_EQ(Var("*n_oper"), "8");
}

TEST_F(Control, FalseLoopAtTheEndEndsWithoutError) {
  Outcome out = Run(Program({"setc f,0", "loop f", "setc x,1", "lend"}), "t");
  EXPECT_EQ(out.err_flag, 0);
  EXPECT_FALSE(HasVar("x"));
  EXPECT_EQ(Var("*n_oper"), "5");
}

TEST_F(Control, LendWithoutConditionReadsTheEmptyName) {
  // The empty text is evaluated: the variable with the empty name decides.
  Outcome out = Run(Program({"set i,0", "setc ,0", "loop", "set i,sum(i,1)",
                             "set ,ifn(i,ge,3,1,0)", "lend"}),
                    "t");
  EXPECT_EQ(out.err_flag, 0);
  EXPECT_EQ(Var("i"), "3");
}

TEST_F(Control, ScanLoopOverTheText) {
  // Counts the b's of the text: find from *pos, move past the match, stop
  // when nothing more is found. The position stops at the last character,
  // from which a search finds nothing.
  Outcome out =
      Run(Program({"setc p,b", "set n,0", "loop", "find p,pre,hit,post",
                   "set c,ifs(*rcf,eq,0,1,0)", "gend hit", "gforw",
                   "set n,ifs(*rcf,eq,1,sum(n,1),n)", "lend c"}),
          "abbcabdb");
  EXPECT_EQ(out.err_flag, 0);
  EXPECT_EQ(Var("n"), "4");
  EXPECT_EQ(Var("*pos"), "8");
}

TEST_F(Control, TargetsFollowTheProgramOfEachRun) {
  // Two programs of the same length whose false loop heads jump to
  // different places, run one after the other on one run state.
  Outcome out =
      Run(Program({"setc f,0", "loop f", "setc a,1", "lend", "setc b,1"}), "t");
  EXPECT_FALSE(HasVar("a"));
  EXPECT_EQ(Var("b"), "1");
  out =
      Run(Program({"setc f,0", "loop f", "lend", "setc a,1", "setc c,1"}), "t");
  EXPECT_EQ(Var("a"), "1");
  EXPECT_EQ(Var("c"), "1");
}

TEST_F(Control, TargetsStayRightForEveryFile) {
  Load(Program({"set i,0", "loop", "set i,sum(i,1)", "set c,ifn(i,ge,3,1,0)",
                "lend c", "if f", "setc r,T", "else", "setc e,E", "endif"}));
  st_.StrVars.Set("f", "0");
  RunOn("one");
  EXPECT_EQ(Var("i"), "3");
  EXPECT_FALSE(HasVar("r"));
  EXPECT_EQ(Var("e"), "E");
  st_.StrVars.Set("f", "1");
  st_.StrVars.Set("e", "-");
  RunOn("two");
  EXPECT_EQ(Var("i"), "3");
  EXPECT_EQ(Var("r"), "T");
  EXPECT_EQ(Var("e"), "E");
}

}  // namespace
}  // namespace testing_commands
}  // namespace zarn
