// The log command wlog and its exact layouts.
#include <string>
#include <vector>

#include "command_fixture.h"
#include "run/file_loop.h"

namespace zarn {
namespace testing_commands {
namespace {

using Wlog = CommandFixture;

const std::string kRange = std::string(20, ' ') + "Range   ";
const std::string kString = std::string(20, ' ') + "String  ";
const std::string kIndent(20, ' ');

TEST_F(Wlog, LabelsHaveTheirExactWidths) {
  EXPECT_EQ(kRange.size(), 28u);
  EXPECT_EQ(kString.size(), 28u);
}

TEST_F(Wlog, RangeAndStringOfOneName) {
  st_.RangeVars.SetRangeVar(RangeVarRec{"x", 2, 3});
  st_.RangeVars.SetRangeVar(RangeVarRec{"y", 1, 1});
  Outcome out =
      Run(Program({"setc y,other", "setc x,hello", "wlog x"}), "abcdef");
  EXPECT_EQ(out.err_flag, 0);
  EXPECT_EQ(out.log,
            (std::vector<std::string>{
                Msg("ZARNCMD003LI", {kDataFile, "3", "wlog x"}),
                "\r\n" + kRange + "[x]: 2, 3\r\n" + kIndent + "bcd\r\n",
                "\r\n" + kString + "[x]: \r\n" + kIndent + "hello\r\n",
            }));
  EXPECT_EQ(Var("*n_oper"), "4");
}

TEST_F(Wlog, OnlyAString) {
  Outcome out = Run(Program({"setc s,a/b|c", "wlog s"}), "abc");
  EXPECT_EQ(out.log, (std::vector<std::string>{
                         Msg("ZARNCMD003LI", {kDataFile, "2", "wlog s"}),
                         "\r\n" + kString + "[s]: \r\n" + kIndent + "a/b|c\r\n",
                     }));
}

TEST_F(Wlog, OnlyARangeWithLineBreaksAndAnEmptyOne) {
  st_.RangeVars.SetRangeVar(RangeVarRec{"z", 3, 0});
  Outcome out = Run(Program({"wlog *filerange", "wlog z"}), "ab\r\ncd");
  ASSERT_EQ(out.log.size(), 4u);
  EXPECT_EQ(out.log[1], "\r\n" + kRange + "[*filerange]: 1, 6\r\n" + kIndent +
                            "ab\r\n" + kIndent + "cd\r\n");
  EXPECT_EQ(out.log[3], "\r\n" + kRange + "[z]: 3, 0\r\n" + kIndent + "\r\n");
}

TEST_F(Wlog, ValueOfTwoLines) {
  Outcome out =
      Run(Program({"setc a,a", "setc b,b", "cat v,a,*crlf,b", "wlog v"}), "t");
  ASSERT_EQ(out.log.size(), 2u);
  EXPECT_EQ(out.log[1], "\r\n" + kString + "[v]: \r\n" + kIndent + "a\r\n" +
                            kIndent + "b\r\n");
}

TEST_F(Wlog, UnknownNameAndExactCase) {
  Outcome out = Run(Program({"setc x,1", "wlog nosuch", "wlog X"}), "t");
  EXPECT_EQ(out.log, (std::vector<std::string>{
                         Msg("ZARNCMD003LI", {kDataFile, "2", "wlog nosuch"}),
                         "<?>",
                         Msg("ZARNCMD003LI", {kDataFile, "3", "wlog X"}),
                         "<?>",
                     }));
}

TEST_F(Wlog, OnlyTheFirstWordCounts) {
  Outcome out = Run(Program({"setc x,1", "wlog x,y"}), "t");
  ASSERT_EQ(out.log.size(), 2u);
  EXPECT_EQ(out.log[1], "\r\n" + kString + "[x]: \r\n" + kIndent + "1\r\n");
}

TEST_F(Wlog, AllVariablesRangesFirst) {
  st_.RangeVars.SetRangeVar(RangeVarRec{"r", 2, 1});
  Outcome out = Run(Program({"setc mine,value", "wlog =all="}), "abc");
  ASSERT_EQ(out.log.size(), 3u);
  EXPECT_EQ(out.log[1], "\r\n" + kRange + "[r]: 2, 1\r\n" + kIndent + "b\r\n" +
                            kRange + "[*filerange]: 1, 3\r\n" + kIndent +
                            "abc\r\n");
  const std::string& strings = out.log[2];
  // Every string variable in the order of creation, the system variables
  // first.
  EXPECT_EQ(strings.rfind("\r\n" + kString + "[*comma]: \r\n" + kIndent +
                              ",\r\n" + kString + "[*blank]: \r\n",
                          0),
            0u);
  const std::string mine = kString + "[mine]: \r\n" + kIndent + "value\r\n";
  ASSERT_GE(strings.size(), mine.size());
  EXPECT_EQ(strings.substr(strings.size() - mine.size()), mine);
  EXPECT_NE(strings.find(kString + "[*filestring]: \r\n" + kIndent + "abc\r\n"),
            std::string::npos);
  EXPECT_NE(
      strings.find(kString + "[*oper]: \r\n" + kIndent + "wlog =all=\r\n"),
      std::string::npos);
}

TEST_F(Wlog, AllWithoutRangesWritesTheLineBreakAlone) {
  // No file run, so not even *filerange exists.
  Load(Program({"wlog =all="}));
  RunOperations(st_);
  const std::vector<std::string> log = SplitEntries(LogText());
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[1], "\r\n");
  EXPECT_EQ(log[2].rfind("\r\n" + kString + "[*comma]: ", 0), 0u);
}

TEST_F(Wlog, MissingNameFailsTheFileOnly) {
  Outcome out = Run(Program({"setc a,1", "wlog ,", "setc after,1"}), "t");
  EXPECT_EQ(out.err_flag, 2);
  EXPECT_FALSE(HasVar("after"));
  // The next operation is named all the same.
  EXPECT_EQ(Var("*n_oper"), "3");
  EXPECT_EQ(out.log, (std::vector<std::string>{
                         Msg("ZARNCMD002LE", {"wlog", ""}),
                         Msg("ZARNCMD001LE", {kDataFile, "2", "wlog ,"}),
                     }));
}

TEST_F(Wlog, ChangesNothing) {
  st_.RangeVars.SetRangeVar(RangeVarRec{"r", 2, 1});
  Outcome out = Run(Program({"wlog =all=", "wlog r"}), "abc");
  EXPECT_EQ(out.changes, 0);
  EXPECT_EQ(out.text, "abc");
  EXPECT_EQ(Range("r"), std::make_pair(2, 1));
  EXPECT_EQ(Var("*pos"), "1");
}

}  // namespace
}  // namespace testing_commands
}  // namespace zarn
