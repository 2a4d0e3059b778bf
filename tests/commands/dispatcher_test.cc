// The dispatcher: keyword lookup, *oper, the trace level, the after-error
// line, the two cutting rules and the trace labels of every command.
#include "commands/dispatcher.h"

#include <string>
#include <vector>

#include "command_fixture.h"
#include "commands/command_support.h"

namespace zarn {
namespace testing_commands {
namespace {

using Dispatcher = CommandFixture;

TEST(CuttingRules, NameAndRest) {
  struct Row {
    const char* parm;
    const char* name;
    const char* rest;
  };
  const std::vector<Row> rows = {
      {"x,abc", "x", "abc"}, {" x , a,b ", "x", "a,b"}, {"x", "", ""},
      {"x,", "x", ""},       {",abc", "", "abc"},       {"", "", ""},
  };
  for (const Row& r : rows) {
    NameAndRest cut = CutNameAndRest(r.parm);
    EXPECT_EQ(cut.name, r.name) << r.parm;
    EXPECT_EQ(cut.rest, r.rest) << r.parm;
  }
}

TEST(CuttingRules, WordList) {
  struct Row {
    const char* parm;
    int n;
    const char* word;
  };
  const std::vector<Row> rows = {
      {"a,,b", 1, "a"},      {"a,,b", 2, "b"},     {"a,,b", 3, ""},
      {"a, ,b", 2, ""},      {"a, ,b", 3, "b"},    {",,a", 1, "a"},
      {" a b ,c", 1, "a b"}, {"", 1, ""},          {"a", 0, ""},
      {"a,b,c,d,e", 5, "e"}, {"a,b,c,d,e", 6, ""},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(ParmWord(r.parm, r.n), r.word) << r.parm << " word " << r.n;
  }
}

TEST_F(Dispatcher, UpperCaseCommandIsFound) {
  Outcome out = Run(Program({"SETC a,x", "Cat b,a,a"}), "text");
  EXPECT_EQ(out.err_flag, 0);
  EXPECT_EQ(Var("a"), "x");
  EXPECT_EQ(Var("b"), "xx");
  EXPECT_TRUE(out.log.empty());
}

TEST_F(Dispatcher, UnrecognisedCommandStopsTheProgram) {
  Outcome out = Run(Program({"setc a,1", "bogus x/y|z", "setc b,2"}), "text");
  EXPECT_EQ(out.err_flag, 1);
  EXPECT_EQ(Var("a"), "1");
  EXPECT_FALSE(HasVar("b"));
  // The command word alone, then the file, the operation number and the
  // operation text, each whole although they hold "/" and "|".
  EXPECT_EQ(out.log,
            (std::vector<std::string>{
                Msg("ZARNCMD004CT", {"bogus"}),
                Msg("ZARNCMD001LE", {kDataFile, "2", "bogus x/y|z"})}));
  EXPECT_EQ(Var("*n_oper"), "2");  // written by operation 1 only
}

TEST_F(Dispatcher, LineOfTabsIsAnEmptyCommand) {
  Outcome out = Run(Program({"\t\t"}), "text");
  EXPECT_EQ(out.err_flag, 1);
  ASSERT_EQ(out.log.size(), 2u);
  EXPECT_EQ(out.log[0], Msg("ZARNCMD004CT", {""}));
}

TEST_F(Dispatcher, OperHoldsTheOperationText) {
  Run(Program({"setc a,1", "setc\tb, 2 "}), "text");
  // Tabs read as blanks; the text is otherwise as written.
  EXPECT_EQ(Var("*oper"), "setc b, 2 ");
}

TEST_F(Dispatcher, EvaluatorReceivesTheWholeRestOfSet) {
  Run(Program({"set x,a,b"}), "text");
  EXPECT_EQ(Var("x"), "a,b");
}

TEST_F(Dispatcher, OnlyTheFirstWordCountsForOneArgumentCommands) {
  Run(Program({"gforw 2,3"}), "0123456789");
  EXPECT_EQ(Var("*pos"), "3");
}

TEST_F(Dispatcher, EmptyFieldsCollapseButBlankFieldsCount) {
  Run(Program({"setc p,c", "find p,,r1,r2,r3"}), "abcd");
  EXPECT_EQ(Range("r1"), std::make_pair(1, 2));  // before
  EXPECT_EQ(Range("r2"), std::make_pair(3, 1));  // found
  EXPECT_EQ(Range("r3"), std::make_pair(4, 1));  // after

  Outcome out = Run(Program({"setc p,c", "find p, ,r1,r2"}), "abcd");
  EXPECT_EQ(out.err_flag, 1);
  EXPECT_EQ(out.log,
            (std::vector<std::string>{
                Msg("ZARNCMD002LE", {"find", ""}),
                Msg("ZARNCMD001LE", {kDataFile, "2", "find p, ,r1,r2"}),
            }));
}

TEST_F(Dispatcher, TraceStartsWithTheOperationAfterTheAssignment) {
  Outcome out = Run(Program({"setc a,x", "setc *errloglev,1", "setc b,y/z|w",
                             "setc *errloglev,0", "setc c,v"}),
                    "text");
  EXPECT_EQ(out.log, (std::vector<std::string>{
                         TraceLine(3, "Setc parm.: y/z|w"),
                         TraceLine(4, "Setc parm.: 0"),
                     }));
}

TEST_F(Dispatcher, ErrorLineFollowsEveryFailedOperation) {
  Outcome out = Run(Program({"setc *comma,x"}), "text");
  EXPECT_EQ(out.log, (std::vector<std::string>{
                         Msg("ZARNCMD005CT", {"setc"}),
                         Msg("ZARNCMD001LE", {kDataFile, "1", "setc *comma,x"}),
                     }));
}

// Every command traces its own label and value at trace level 1.
struct TraceRow {
  std::vector<std::string> program;  // after "setc *errloglev,1"
  std::string input;
  std::vector<std::pair<int32_t, std::string>> traces;  // operation, text
};

TEST_F(Dispatcher, TraceLabelsOfEveryCommand) {
  const std::vector<TraceRow> rows = {
      {{"set s,len(abc)"}, "t", {{2, "Set parm eval.: 3"}}},
      {{"setc s,lit"}, "t", {{2, "Setc parm.: lit"}}},
      {{"setc a,x", "cat s,a,a"},
       "t",
       {{2, "Setc parm.: x"}, {3, "Cat parm.: xx"}}},
      {{"setc p,b", "find p,x,y,z"},
       "abcabc",
       {{2, "Setc parm.: b"}, {3, "Found contexts: 2"}}},
      {{"setc p,b", "findnoup p,x,y,z"},
       "aBcabc",
       {{2, "Setc parm.: b"}, {3, "Found contexts: 2"}}},
      {{"setc p,b", "findup p,x,y,z"},
       "aBcabc",
       {{2, "Setc parm.: b"}, {3, "Found contexts: 1"}}},
      {{"setc p,(", "find p,x,y,z"},
       "abc",
       {{2, "Setc parm.: ("}, {3, "Found contexts: -1"}}},
      {{"setc n,N", "rep *filerange,n"},
       "abc",
       {{2, "Setc parm.: N"}, {3, "Replacements cnt.: 1"}}},
      {{"rep nosuch,n"}, "abc", {{2, "Replacements cnt.: 0"}}},
      {{"gforw 2", "gback", "gbeg *filerange", "gend *filerange"},
       "abcdef",
       {{2, "Position: 3"},
        {3, "Position: 2"},
        {4, "Position: 1"},
        {5, "Position: 6"}}},
      {{"setc one,1", "loop", "lexit", "lend one"},
       "t",
       {{2, "Setc parm.: 1"},
        {3, "Loop parm.eval: 1"},
        {4, "Lexit op.num.: 6"}}},
      {{"loop 0", "lend"}, "t", {{2, "Loop parm.eval: 0"}}},
      {{"setc k,1", "loop", "lend k"},
       "t",
       {{2, "Setc parm.: 1"},
        {3, "Loop parm.eval: 1"},
        {4, "Lend parm.eval: 1"}}},
      {{"setc k,1", "loop", "lcont", "lend k"},
       "t",
       {{2, "Setc parm.: 1"},
        {3, "Loop parm.eval: 1"},
        {4, "Lexit op.num.: 5"},
        {5, "Lend parm.eval: 1"}}},
      {{"if 1", "else", "endif"},
       "t",
       {{2, "If parm.eval.: 1"},
        {3, "Else op.num.: 4"},
        {4, "Endif op.num.: 5"}}},
  };
  for (const TraceRow& r : rows) {
    std::string program = "setc *errloglev,1\n";
    for (const std::string& line : r.program) program += line + "\n";
    st_.StrVars.Set("*errloglev", "0");
    Load(program);
    Outcome out = RunOn(r.input);
    std::vector<std::string> expected;
    for (const auto& [oper, text] : r.traces) {
      expected.push_back(TraceLine(oper, text));
    }
    EXPECT_EQ(out.log, expected) << program;
    EXPECT_EQ(out.err_flag, 0) << program;
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
