// The control-flow commands loop, lend, lexit, lcont, if, else and endif.
#include <string>
#include <vector>

#include "command_fixture.h"

namespace zarn {
namespace testing_commands {
namespace {

using Control = CommandFixture;

// A program ("|" between operations) and the value the variable "s" holds
// after it. Operations append marks to s with "cat s,s,<mark>"; the
// variables a, b, x, y, z hold their own upper-case letters, one holds 1.
TEST_F(Control, Flows) {
  const std::vector<std::vector<std::string>> rows = {
      // Loop until the condition of the lend holds.
      {"set i,0|loop|set i,sum(i,1)|cat s,s,i|set c,ifn(i,ge,3,1,0)|lend c|"
       "cat s,s,*comma",
       "123,"},
      {"loop 5|cat s,s,a|lend|cat s,s,*blank", " "},  // 5 is not "1"
      // A false outer head skips past the outer lend.
      {"setc f,0|loop f|loop|cat s,s,a|lend|cat s,s,b|lend|cat s,s,z", "Z"},
      // lcont goes to the lend, which decides.
      {"set i,0|loop|set i,sum(i,1)|cat s,s,i|set c,ifn(i,ge,3,1,0)|lcont|"
       "cat s,s,x|lend c|cat s,s,*comma",
       "123,"},
      // With an empty lend condition the head is tested next.
      {"set i,0|set go,1|loop go|set i,sum(i,1)|cat s,s,i|"
       "set go,ifn(i,lt,3,1,0)|lcont|cat s,s,x|lend|cat s,s,*comma",
       "123,"},
      // The empty condition is the value of the variable with the empty name.
      {"set i,0|setc ,0|loop|set i,sum(i,1)|cat s,s,i|set ,ifn(i,ge,3,1,0)|"
       "lend",
       "123"},
      // lexit leaves the innermost loop, lexit 2 both.
      {"set i,0|loop|set i,sum(i,1)|cat s,s,i|set c,ifn(i,ge,2,1,0)|loop|"
       "cat s,s,a|lexit|cat s,s,*lb|lend one|cat s,s,*comma|lend c|"
       "cat s,s,*rb",
       "1A,2A,)"},
      {"set i,0|loop|set i,sum(i,1)|cat s,s,i|loop|cat s,s,a|lexit 2|"
       "cat s,s,*lb|lend one|cat s,s,*comma|lend one|cat s,s,*rb",
       "1A)"},
      {"loop|cat s,s,a|lexit 0|cat s,s,*comma|lend one|cat s,s,*rb", "A,)"},
      // lexit does not test the condition of the lend it leaves.
      {"set k,0|loop|set k,sum(k,1)|cat s,s,a|set c,ifn(k,ge,2,1,0)|lexit|"
       "lend c|cat s,s,*comma",
       "A,"},
      {"loop|loop|loop|cat s,s,a|lexit 2|lend one|cat s,s,*lb|lend one|"
       "cat s,s,b|lexit|lend one|cat s,s,*comma",
       "AB,"},
      // A false if continues after its else; a true one runs both branches.
      {"setc c,0|if c|cat s,s,x|else|cat s,s,y|endif|cat s,s,z", "YZ"},
      {"if one|cat s,s,x|else|cat s,s,y|endif|cat s,s,z", "XYZ"},
      {"if|cat s,s,x|endif", "X"},
      {"setc c,0|if c|if 1|cat s,s,x|else|cat s,s,y|endif|else|cat s,s,z|"
       "endif",
       "Z"},
      // Only exactly "1" is true; an error text is false.
      {"setc c,1.0|if c|cat s,s,x|else|endif|setc c,, 1|if c|cat s,s,x|else|"
       "endif|if nosuch(1)|cat s,s,x|else|endif|cat s,s,*comma",
       ","},
  };
  for (const auto& r : rows) {
    Load(ReplaceEvery(
        "setc a,A|setc b,B|setc x,X|setc y,Y|setc z,Z|setc one,1|setc s,|" +
            r[0],
        "|", "\n"));
    Outcome out = RunOn("text");
    EXPECT_EQ(out.err_flag, 0) << r[0];
    EXPECT_EQ(Var("s"), r[1]) << r[0];
    EXPECT_TRUE(out.log.empty()) << r[0];
  }
}

// A jump target of OperCount + 1 ends the program for the file, no error.
TEST_F(Control, JumpPastTheEndEndsTheProgramForTheFile) {
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

  out = Run(Program({"setc f,0", "loop f", "setc y,1", "lend"}), "t");
  EXPECT_EQ(out.err_flag, 0);
  EXPECT_FALSE(HasVar("y"));
  EXPECT_EQ(Var("*n_oper"), "5");
}

TEST_F(Control, TargetsFollowTheProgramOfEachRunAndFile) {
  // Two programs of the same length whose false loop heads jump to
  // different places, run one after the other on one run state.
  Run(Program({"setc f,0", "loop f", "setc a,1", "lend", "setc b,1"}), "t");
  EXPECT_FALSE(HasVar("a"));
  EXPECT_EQ(Var("b"), "1");
  Run(Program({"setc f,0", "loop f", "lend", "setc a,1", "setc c,1"}), "t");
  EXPECT_EQ(Var("a"), "1");
  EXPECT_EQ(Var("c"), "1");

  Load(Program({"set i,0", "loop", "set i,sum(i,1)", "set c,ifn(i,ge,3,1,0)",
                "lend c", "if f", "setc r,T", "else", "setc e,E", "endif"}));
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
