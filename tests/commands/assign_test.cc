// The assignment commands set, setc and cat.
#include <string>
#include <utility>
#include <vector>

#include "command_fixture.h"
#include "commands/dispatcher.h"

namespace zarn {
namespace testing_commands {
namespace {

using Assign = CommandFixture;

// A program, the file content, a variable and its expected value.
struct ValueRow {
  std::string program;
  std::string input;
  std::string name;
  std::string value;
};

TEST_F(Assign, StoredValues) {
  const std::vector<ValueRow> rows = {
      {"set x,abc", "t", "x", "abc"},
      {"setc y,val\nset x,y", "t", "x", "val"},
      {"set x,len(abcd)", "t", "x", "4"},
      {"set x, a b ", "t", "x", "a b"},
      // The blank before the second comma belongs to the literal.
      {"setc x, a b ,c", "t", "x", "a b "},
      // A skipped comma produces no empty literal, but a blank after it
      // belongs to the literal.
      {"setc x,,b", "t", "x", "b"},
      {"setc x,, b", "t", "x", " b"},
      {"setc x,a(b)c", "t", "x", "a(b)c"},
      {"setc x,", "t", "x", ""},
      {"setc a,1\nsetc c,3\ncat t,a,b,c", "t", "t", "13"},
      {"setc a,1\nsetc c,3\ncat t,a, ,c", "t", "t", "1"},
      {"setc a,1\nsetc c,3\ncat t,a,,c", "t", "t", "13"},
      {"cat t,undefined", "t", "t", ""},
      {"setc Abc,1\ncat t,aBC,abc", "t", "t", "11"},
      {"cat t,*filestring,*comma,*filestring", "ab", "t", "ab,ab"},
      // No comma: the name and the rest are empty.
      {"setc x", "t", "", ""},
      {"set *errloglev,yes", "t", "*errloglev", "0"},
      {"set *errloglev,2", "t", "*errloglev", "0"},
      {"setc *errloglev,1", "t", "*errloglev", "1"},
      {"setc *errloglev,01", "t", "*errloglev", "0"},
      {"setc v,yes\ncat *errloglev,v", "t", "*errloglev", "0"},
      {"setc v,1\ncat *errloglev,v", "t", "*errloglev", "1"},
  };
  for (const ValueRow& r : rows) {
    st_.StrVars.Set("*errloglev", "0");
    Outcome out = Run(r.program, r.input);
    EXPECT_EQ(out.err_flag, 0) << r.program;
    EXPECT_TRUE(HasVar(r.name)) << r.program;
    EXPECT_EQ(Var(r.name), r.value) << r.program;
  }
}

TEST_F(Assign, SetOfFileStringCountsAChange) {
  Outcome out = Run(Program({"setc *pos,3", "set *filestring,wxyz"}), "abcdef");
  EXPECT_EQ(out.err_flag, 0);
  EXPECT_EQ(out.text, "wxyz");
  EXPECT_EQ(out.changes, 1);
  EXPECT_EQ(Var("*pos"), "1");
  EXPECT_EQ(Range("*filerange"), std::make_pair(1, 4));
  EXPECT_EQ(Var("*n_oper"), "3");
}

TEST_F(Assign, SetcAndCatOfFileStringCountNoChange) {
  Outcome out = Run(Program({"setc *pos,3", "setc *filestring,xy"}), "abcdef");
  EXPECT_EQ(out.text, "xy");
  EXPECT_EQ(out.changes, 0);
  EXPECT_EQ(Var("*pos"), "1");
  EXPECT_EQ(Range("*filerange"), std::make_pair(1, 2));

  out = Run(Program({"setc a,12", "setc b,345", "setc *pos,2",
                     "cat *filestring,a,b,a"}),
            "abcdef");
  EXPECT_EQ(out.text, "1234512");
  EXPECT_EQ(out.changes, 0);
  EXPECT_EQ(Var("*pos"), "1");
  EXPECT_EQ(Range("*filerange"), std::make_pair(1, 7));
}

TEST_F(Assign, SideEffectsNeedTheExactName) {
  // The store ignores letter case, so the text changes, but only the exact
  // name *filestring resets *pos and *filerange.
  Outcome out = Run(Program({"setc *pos,3", "setc *FILESTRING,xy"}), "abcdef");
  EXPECT_EQ(out.err_flag, 0);
  EXPECT_EQ(out.text, "xy");
  EXPECT_EQ(Var("*pos"), "3");
  EXPECT_EQ(Range("*filerange"), std::make_pair(1, 6));
}

TEST_F(Assign, PositionValues) {
  struct Row {
    std::string program;
    std::string input;
    std::string pos;
  };
  const std::vector<Row> rows = {
      {"set *pos,3", "abcdef", "3"},
      {"set *pos,3.0", "abcdef", "3.0"},
      {"set *pos,6", "abcdef", "6"},
      {"set *pos,7", "abcdef", "6"},
      {"set *pos,99", "abcdef", "6"},
      {"set *pos,1", "", "0"},
      {"setc *pos, 4", "abcdef", "4"},
      {"setc n,5\ncat *pos,n", "abcdef", "5"},
      {"set *pos,sum(2,2)", "abcdef", "4"},
  };
  for (const Row& r : rows) {
    Outcome out = Run(r.program, r.input);
    EXPECT_EQ(out.err_flag, 0) << r.program;
    EXPECT_EQ(Var("*pos"), r.pos) << r.program;
  }
}

TEST_F(Assign, InvalidPositionsAreRefused) {
  struct Row {
    std::string operation;
    std::string quoted;  // placeholder 1 of ZARNCMD007CT
  };
  const std::vector<Row> rows = {
      {"set *pos,0", "0"},
      {"set *pos,-2", "-2"},
      {"set *pos,2.5", "2.5"},
      {"set *pos,abc", "abc"},
      {"set *pos,sum(1,-1)", "sum(1,-1)"},  // the expression, not its value
      {"set *pos,3000000000", "3000000000"},
      {"setc *pos,0", "0"},
      {"setc *pos,, x", ", x"},  // the rest as written
      {"setc v,1.5\ncat *pos,v", "v"},
  };
  for (const Row& r : rows) {
    const std::string program =
        "setc *pos,2\n" + r.operation + "\nsetc after,1";
    Outcome out = Run(program, "abcdef");
    EXPECT_EQ(out.err_flag, 1) << program;
    EXPECT_EQ(Var("*pos"), "2") << program;
    EXPECT_FALSE(HasVar("after")) << program;
    const std::string number = r.operation.rfind("setc v", 0) == 0 ? "3" : "2";
    const std::string text = r.operation.substr(r.operation.rfind('\n') + 1);
    EXPECT_EQ(out.log, (std::vector<std::string>{
                           Msg("ZARNCMD007CT", {r.quoted}),
                           Msg("ZARNCMD001LE", {kDataFile, number, text}),
                       }))
        << program;
  }
}

TEST_F(Assign, ProtectedVariablesAreRefused) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"set *n_oper,5", "set"},     {"setc *changes,3", "setc"},
      {"cat *comma,*blank", "cat"}, {"set *file,x", "set"},
      {"setc *allfiles,9", "setc"}, {"set *logfile,x", "set"},
  };
  for (const auto& [operation, keyword] : rows) {
    Outcome out = Run(operation + "\nsetc after,1", "text");
    EXPECT_EQ(out.err_flag, 1) << operation;
    EXPECT_FALSE(HasVar("after")) << operation;
    EXPECT_EQ(out.log, (std::vector<std::string>{
                           Msg("ZARNCMD005CT", {keyword}),
                           Msg("ZARNCMD001LE", {kDataFile, "1", operation}),
                       }))
        << operation;
  }
  EXPECT_EQ(Var("*n_oper"), "1");
  EXPECT_EQ(Var("*changes"), "0");
  EXPECT_EQ(Var("*comma"), ",");
  EXPECT_EQ(Var("*file"), kDataFile);
}

TEST_F(Assign, UserVariablesWithAStarMayBeAssigned) {
  Outcome out =
      Run(Program({"setc *mine,1", "setc *rcf,x", "setc *oper,y"}), "text");
  EXPECT_EQ(out.err_flag, 0);
  EXPECT_EQ(Var("*mine"), "1");
  EXPECT_EQ(Var("*rcf"), "x");
}

TEST_F(Assign, FailedExpressionIsRefused) {
  Outcome out =
      Run(Program({"setc x,old", "set x,nosuch(1)", "setc y,1"}), "text");
  EXPECT_EQ(out.err_flag, 1);
  EXPECT_EQ(Var("x"), "old");
  EXPECT_FALSE(HasVar("y"));
  EXPECT_EQ(out.log,
            (std::vector<std::string>{
                Msg("ZARNCMD006CT",
                    {"nosuch(1)", "*** ERROR. UNDEFINED FUNCTION: 'nosuch'"}),
                Msg("ZARNCMD001LE", {kDataFile, "2", "set x,nosuch(1)"}),
            }));
}

TEST_F(Assign, ProtectionIsCheckedBeforeTheValue) {
  Outcome out = Run(Program({"set *comma,nosuch(1)"}), "text");
  ASSERT_EQ(out.log.size(), 2u);
  EXPECT_EQ(out.log[0], Msg("ZARNCMD005CT", {"set"}));
}

TEST_F(Assign, FailingSetIsTracedFirst) {
  Outcome out = Run(Program({"setc *errloglev,1", "set *comma,x"}), "text");
  EXPECT_EQ(out.log, (std::vector<std::string>{
                         TraceLine(2, "Set parm eval.: x"),
                         Msg("ZARNCMD005CT", {"set"}),
                         Msg("ZARNCMD001LE", {kDataFile, "2", "set *comma,x"}),
                     }));
}

TEST_F(Assign, MissingArguments) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"setc", "setc"}, {"setc ,,", "setc"}, {"setc , ,", "setc"},
      {"cat", "cat"},   {"cat ,", "cat"},    {"cat ,,,", "cat"},
  };
  for (const auto& [operation, keyword] : rows) {
    Outcome out = Run(operation + "\nsetc after,1", "text");
    EXPECT_EQ(out.err_flag, 1) << operation;
    EXPECT_FALSE(HasVar("after")) << operation;
    EXPECT_EQ(out.log, (std::vector<std::string>{
                           Msg("ZARNCMD002LE", {keyword, ""}),
                           Msg("ZARNCMD001LE", {kDataFile, "1", operation}),
                       }))
        << operation;
  }
}

TEST_F(Assign, CatTakesABlankFirstWordAsPresent) {
  // Unlike setc, cat tests its first word untrimmed: the empty name
  // receives the empty value.
  Outcome out = Run(Program({"cat , ,"}), "text");
  EXPECT_EQ(out.err_flag, 0);
  EXPECT_TRUE(HasVar(""));
  EXPECT_EQ(Var(""), "");
}

TEST_F(Assign, SetWithoutCommaAssignsTheEmptyName) {
  Outcome out = Run(Program({"set x"}), "text");
  EXPECT_EQ(out.err_flag, 0);
  EXPECT_TRUE(HasVar(""));
  EXPECT_FALSE(HasVar("x"));
}

TEST_F(Assign, SetOfTraceLevelWritesTheProgramListingOnce) {
  const std::string program = Program(
      {"set *errloglev,1", "set *errloglev,0", "set *errloglev,1", "setc a,b"});
  Outcome out = Run(program, "text");
  EXPECT_TRUE(st_.ListingDone);
  EXPECT_EQ(out.log, (std::vector<std::string>{
                         std::string("--- Zarn program from the '") +
                             kZarnFolder + "/" + kZarnStart + "' file",
                         "[001]set *errloglev,1",
                         "[002]set *errloglev,0",
                         "[003]set *errloglev,1",
                         "[004]setc a,b",
                         TraceLine(2, "Set parm eval.: 0"),
                         TraceLine(4, "Setc parm.: b"),
                     }));
}

TEST_F(Assign, SetcOfTraceLevelWritesNoListing) {
  Outcome out = Run(Program({"setc *errloglev,1", "setc a,b"}), "text");
  EXPECT_FALSE(st_.ListingDone);
  EXPECT_EQ(out.log, (std::vector<std::string>{TraceLine(2, "Setc parm.: b")}));
}

TEST_F(Assign, EveryAssignmentNamesTheNextOperation) {
  Load(Program({"set a,1", "setc b,2", "cat c,a,b"}));
  for (int32_t n = 1; n <= 3; ++n) {
    st_.CurOper = n;
    st_.StrVars.Set("*n_oper", "x");
    DispatchOperation(st_);
    EXPECT_EQ(Var("*n_oper"), std::to_string(n + 1));
  }
  EXPECT_EQ(Var("c"), "12");
}

}  // namespace
}  // namespace testing_commands
}  // namespace zarn
