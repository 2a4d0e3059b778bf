// The dispatcher: keyword lookup, *oper, the trace level, the after-error
// line, the two cutting rules and the trace labels of every command.
#include "commands/dispatcher.h"

#include <string>
#include <tuple>
#include <vector>

#include "command_fixture.h"
#include "commands/command_support.h"

namespace zarn {
namespace testing_commands {
namespace {

using Dispatcher = CommandFixture;

TEST(CuttingRules, NameAndRestAndWordList) {
  const std::vector<std::vector<std::string>> cuts = {
      {"x,abc", "x|abc"}, {" x , a,b ", "x|a,b"}, {"x", "|"},
      {"x,", "x|"},       {",abc", "|abc"},       {"", "|"}};
  for (const auto& c : cuts) {
    NameAndRest cut = CutNameAndRest(c[0]);
    EXPECT_EQ(cut.name + "|" + cut.rest, c[1]) << c[0];
  }
  // Empty fields collapse; a blank field counts.
  const std::vector<std::tuple<const char*, int, const char*>> words = {
      {"a,,b", 1, "a"},      {"a,,b", 2, "b"},    {"a,,b", 3, ""},
      {"a, ,b", 2, ""},      {"a, ,b", 3, "b"},   {",,a", 1, "a"},
      {" a b ,c", 1, "a b"}, {"", 1, ""},         {"a", 0, ""},
      {"a,b,c,d,e", 5, "e"}, {"a,b,c,d,e", 6, ""}};
  for (const auto& [parm, n, word] : words) {
    EXPECT_EQ(ParmWord(parm, n), word) << parm << " word " << n;
  }
}

TEST_F(Dispatcher, ValuesSeenByTheCommands) {
  const std::vector<std::vector<std::string>> rows = {
      // program, input, variable, value
      {"SETC a,x\nCat b,a,a", "text", "b", "xx"},  // command lower-cased
      {"setc a,1\nsetc\tb, 2 ", "text", "*oper", "setc b, 2 "},
      {"set x,a,b", "text", "x", "a,b"},         // the whole rest is evaluated
  };
  for (const auto& r : rows) {
    Outcome out = Run(r[0], r[1]);
    EXPECT_EQ(out.err_flag, 0) << r[0];
    EXPECT_TRUE(out.log.empty()) << r[0];
    EXPECT_EQ(Var(r[2]), r[3]) << r[0];
  }
}

TEST_F(Dispatcher, UnrecognisedCommandStopsTheProgram) {
  Outcome out = Run(Program({"setc a,1", "bogus x/y|z", "setc b,2"}), "text");
  EXPECT_EQ(out.err_flag, 1);
  EXPECT_EQ(Var("a"), "1");
  EXPECT_FALSE(HasVar("b"));
  // The command word alone, then the file, the operation number and the
  // operation text, each whole although they hold "/" and "|".
  EXPECT_EQ(out.log, Refused("ZARNCMD004CT", {"bogus"}, 2, "bogus x/y|z"));
  EXPECT_EQ(Var("*n_oper"), "2");  // written by operation 1 only

  out = Run(Program({"\t\t"}), "text");  // a line of tabs: empty command
  EXPECT_EQ(out.log, Refused("ZARNCMD004CT", {""}, 1, "  "));
}

TEST_F(Dispatcher, EmptyFieldsCollapseButBlankFieldsCount) {
  Run(Program({"setc p,c", "find p,,r1,r2,r3"}), "abcd");
  EXPECT_EQ(Range("r1"), Span(1, 2));  // before
  EXPECT_EQ(Range("r2"), Span(3, 1));  // found
  EXPECT_EQ(Range("r3"), Span(4, 1));  // after

  Outcome out = Run(Program({"setc p,c", "find p, ,r1,r2"}), "abcd");
  EXPECT_EQ(out.err_flag, 1);
  EXPECT_EQ(out.log,
            Refused("ZARNCMD002LE", {"find", ""}, 2, "find p, ,r1,r2"));
}

// Every command traces its own label and value at trace level 1; the
// operation that sets the level is not traced itself.
TEST_F(Dispatcher, TraceLabelsOfEveryCommand) {
  const std::vector<std::vector<std::string>> rows = {
      // program after "setc *errloglev,1", input, traces from operation 2
      {"set s,len(abc)", "t", "Set parm eval.: 3"},
      {"setc a,x\ncat s,a,a", "t", "Setc parm.: x;Cat parm.: xx"},
      {"setc p,b\nfind p,x,y,z", "abcabc", "Setc parm.: b;Found contexts: 2"},
      {"setc p,b\nfindnoup p,x,y,z", "aBcabc",
       "Setc parm.: b;Found contexts: 2"},
      {"setc p,b\nfindup p,x,y,z", "aBcabc", "Setc parm.: b;Found contexts: 1"},
      {"setc p,(\nfind p,x,y,z", "abc", "Setc parm.: (;Found contexts: -1"},
      {"setc n,N\nrep *filerange,n", "abc",
       "Setc parm.: N;Replacements cnt.: 1"},
      {"gforw 2\ngback\ngbeg *filerange\ngend *filerange", "abcdef",
       "Position: 3;Position: 2;Position: 1;Position: 6"},
      {"setc one,1\nloop\nlexit\nlend one", "t",
       "Setc parm.: 1;Loop parm.eval: 1;Lexit op.num.: 6"},
      {"loop 0\nlend", "t", "Loop parm.eval: 0"},
      {"setc k,1\nloop\nlcont\nlend k", "t",
       "Setc parm.: 1;Loop parm.eval: 1;Lexit op.num.: 5;Lend parm.eval: 1"},
      {"if 1\nelse\nendif", "t",
       "If parm.eval.: 1;Else op.num.: 4;Endif op.num.: 5"},
      {"setc b,y/z|w\nsetc *errloglev,0\nsetc c,v", "t",
       "Setc parm.: y/z|w;Setc parm.: 0"},
  };
  for (const auto& r : rows) {
    st_.StrVars.Set("*errloglev", "0");
    Load("setc *errloglev,1\n" + r[0]);
    Outcome out = RunOn(r[1]);
    std::vector<std::string> expected;
    int32_t oper = 2;
    for (const std::string& t : Split(r[2], ';')) {
      expected.push_back(TraceLine(oper++, t));
    }
    EXPECT_EQ(out.log, expected) << r[0];
    EXPECT_EQ(out.err_flag, 0) << r[0];
  }
}

TEST_F(Dispatcher, DispatchesOperationCurOperOnly) {
  Load(Program({"setc a,1", "setc b,2", "setc c,3"}));
  st_.CurOper = 2;
  DispatchOperation(st_);
  EXPECT_FALSE(HasVar("a"));
  EXPECT_EQ(Var("b"), "2");
  EXPECT_FALSE(HasVar("c"));
  EXPECT_EQ(Var("*n_oper"), "3");
  EXPECT_EQ(Var("*oper"), "setc b,2");
}

}  // namespace
}  // namespace testing_commands
}  // namespace zarn
