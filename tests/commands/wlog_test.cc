// The log command wlog and its exact layouts.
#include <algorithm>
#include <string>
#include <vector>

#include "command_fixture.h"
#include "run/file_loop.h"

namespace zarn {
namespace testing_commands {
namespace {

using Wlog = CommandFixture;

const std::string kIndent(20, ' ');
const std::string kRange = kIndent + "Range   ";
const std::string kString = kIndent + "String  ";

// The header and the entries of a wlog that follows "setc w,1"; ranges x
// (2, 3), y (1, 1) and z (3, 0) exist.
TEST_F(Wlog, Layouts) {
  const std::vector<std::vector<std::string>> rows = {
      // program, input, the entries after the header
      {"setc y,other\nsetc x,hello\nwlog x", "abcdef",
       "\r\n" + kRange + "[x]: 2, 3\r\n" + kIndent + "bcd\r\n",
       "\r\n" + kString + "[x]: \r\n" + kIndent + "hello\r\n"},
      {"setc s,a/b|c\nwlog s,x", "abc",  // only the first word counts
       "\r\n" + kString + "[s]: \r\n" + kIndent + "a/b|c\r\n"},
      {"wlog *filerange", "ab\r\ncd",
       "\r\n" + kRange + "[*filerange]: 1, 6\r\n" + kIndent + "ab\r\n" +
           kIndent + "cd\r\n"},
      {"wlog z", "abc", "\r\n" + kRange + "[z]: 3, 0\r\n" + kIndent + "\r\n"},
      {"setc a,a\nsetc b,b\ncat v,a,*crlf,b\nwlog v", "t",
       "\r\n" + kString + "[v]: \r\n" + kIndent + "a\r\n" + kIndent + "b\r\n"},
      {"wlog nosuch", "t", "<?>"},
      {"wlog X", "t", "<?>"},  // names compare exactly
  };
  for (const auto& r : rows) {
    SetRange("x", {2, 3});
    SetRange("y", {1, 1});
    SetRange("z", {3, 0});
    Outcome out = Run("setc w,1\n" + r[0], r[1]);
    EXPECT_EQ(out.err_flag, 0) << r[0];
    const std::string op = r[0].substr(r[0].rfind('\n') + 1);
    const int32_t number = std::count(r[0].begin(), r[0].end(), '\n') + 2;
    Log expected = {
        Msg("ZARNCMD003LI", {kDataFile, std::to_string(number), op})};
    expected.insert(expected.end(), r.begin() + 2, r.end());
    EXPECT_EQ(out.log, expected) << r[0];
    EXPECT_EQ(Var("*n_oper"), std::to_string(number + 1)) << r[0];
    EXPECT_EQ(out.changes, 0);
    EXPECT_EQ(Range("x"), Span(2, 3));
  }
}

TEST_F(Wlog, AllVariablesRangesFirst) {
  SetRange("r", {2, 1});
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
  EXPECT_NE(
      strings.find(kString + "[*oper]: \r\n" + kIndent + "wlog =all=\r\n"),
      std::string::npos);
}

TEST_F(Wlog, AllWithoutRangesWritesTheLineBreakAlone) {
  // No file run, so not even *filerange exists.
  Load(Program({"wlog =all="}));
  RunOperations(st_);
  const Log log = SplitEntries(LogText());
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[1], "\r\n");
  EXPECT_EQ(log[2].rfind("\r\n" + kString + "[*comma]: ", 0), 0u);
}

TEST_F(Wlog, MissingNameFailsTheFileOnly) {
  Outcome out = Run(Program({"setc a,1", "wlog ,", "setc after,1"}), "t");
  EXPECT_EQ(out.err_flag, 2);
  EXPECT_FALSE(HasVar("after"));
  EXPECT_EQ(Var("*n_oper"), "3");  // the next operation is named all the same
  EXPECT_EQ(out.log, Refused("ZARNCMD002LE", {"wlog", ""}, 2, "wlog ,"));
}

}  // namespace
}  // namespace testing_commands
}  // namespace zarn
