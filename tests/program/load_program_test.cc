#include <cerrno>
#include <string>
#include <vector>

#include "program/program.h"
#include "program/program_fixture.h"
#include "run/parameters.h"

namespace zarn {
namespace testing_program {
namespace {

using LoadProgramTest = ProgramFixture;

// How a program file is cut into operations: the file content, the line
// (comment removed, tabs and blanks kept) of each operation in order, and
// the command of the first operation.
struct SplitCase {
  const char* name;
  std::string content;
  std::vector<std::string> lines;
  std::string command;
};

class SplitTest : public ProgramFixture,
                  public ::testing::WithParamInterface<SplitCase> {};

TEST_P(SplitTest, OperationsAreTheKeptLines) {
  const SplitCase& c = GetParam();
  st_.FinalMsg = "left from before";
  Load(c.content);
  EXPECT_EQ(st_.ErrFlag, 0) << st_.FinalMsg;
  EXPECT_EQ(st_.FinalMsg, "");
  EXPECT_FALSE(st_.ListingDone);
  EXPECT_EQ(fs_.Content(kLogFile), nullptr);
  ASSERT_EQ(st_.OperCount, static_cast<int32_t>(c.lines.size()));
  ASSERT_EQ(st_.OperList.size(), c.lines.size());
  for (size_t i = 0; i < c.lines.size(); ++i) {
    EXPECT_EQ(st_.OperList[i].line, c.lines[i]) << "operation " << i + 1;
    EXPECT_EQ(st_.OperList[i].text, ReplaceEvery(c.lines[i], "\t", " "));
  }
  if (!c.lines.empty()) {
    EXPECT_EQ(Op(1).command, c.command);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SplitTest,
    ::testing::Values(
        SplitCase{"EmptyFile", "", {}, ""},
        SplitCase{"OnlyBlankAndCommentLines",
                  "\r\n   \r\n/// a comment\r\n  /// indented\r\n\r\n",
                  {},
                  ""},
        SplitCase{"BlankBeforeCommentKept",
                  "setc a,b ///x\r\n",
                  {"setc a,b "},
                  "setc"},
        SplitCase{"CommentLineDropped",
                  "///setc a,b\r\n    \r\nsetc c,d\r\n",
                  {"setc c,d"},
                  "setc"},
        SplitCase{"TabsOnlyLineKept", "\t\t\r\n", {"\t\t"}, ""},
        SplitCase{"TabsBeforeCommentKept", "  \t  ///x\r\n", {"  \t  "}, ""},
        SplitCase{"MarkerInsideQuotesCuts",
                  "setc a,\"x///y\"\r\n",
                  {"setc a,\"x"},
                  "setc"},
        SplitCase{"FirstMarkerCuts", "setc a,b////c///d", {"setc a,b"}, "setc"},
        SplitCase{
            "TwoSlashesAreNoMarker", "setc a,b//c", {"setc a,b//c"}, "setc"},
        SplitCase{"ConsecutiveNumbering",
                  "setc a,1\r\n\r\n  \r\n///x\r\nsetc b,2\r\n\r\nsetc c,3\r\n",
                  {"setc a,1", "setc b,2", "setc c,3"},
                  "setc"},
        SplitCase{"SurroundingBlanksKept",
                  "   SETC a,1   \r\n",
                  {"   SETC a,1   "},
                  "setc"},
        SplitCase{"TabsBecomeBlanksInText",
                  "\tif\tx\r\nendif",
                  {"\tif\tx", "endif"},
                  "if"},
        SplitCase{"LoneLfEndsALineLastWithoutLineEnd",
                  "setc a,1\nsetc b,2\r\nsetc c,3",
                  {"setc a,1", "setc b,2", "setc c,3"},
                  "setc"},
        SplitCase{"OnlyTheCrBeforeLfIsLineEnd",
                  "setc a,1\r\r\nsetc b,2\r\r",
                  {"setc a,1\r", "setc b,2\r\r"},
                  "setc"},
        SplitCase{"LoneCrIsNotBlank",
                  "\r\r\n   \r   \r\nsetc a,1\rb\r\n",
                  {"\r", "   \r   ", "setc a,1\rb"},
                  "\r"},
        SplitCase{"ByteOrderMarkIsText",
                  "\xEF\xBB\xBFsetc a,\xC3\xA4\xFF\r\n",
                  {"\xEF\xBB\xBFsetc a,\xC3\xA4\xFF"},
                  "\xEF\xBB\xBFsetc"}),
    [](const ::testing::TestParamInfo<SplitCase>& case_info) {
      return std::string(case_info.param.name);
    });

TEST_F(LoadProgramTest, ListingKeepsTabsAndPadsNumbers) {
  std::string program = "\tif\tx\r\nendif\r\n";
  for (int i = 3; i <= 1000; ++i) {
    program += "setc v," + std::to_string(i) + "\r\n";
  }
  Load(program);
  ASSERT_EQ(st_.OperCount, 1000);
  EXPECT_EQ(Op(1).parm, "x");
  fs_.AddFolder("/other");
  WriteProgramListing(st_, "/other/x.log");
  EXPECT_EQ(fs_.Content(kLogFile), nullptr);
  std::vector<std::string> lines = LogLines("/other/x.log");
  ASSERT_EQ(lines.size(), 1001u);
  EXPECT_EQ(lines[0], "--- Zarn program from the '" +
                          std::string(kProgramPath) + "' file");
  EXPECT_EQ(lines[1], "[001]\tif\tx");
  EXPECT_EQ(lines[2], "[002]endif");
  EXPECT_EQ(lines[7], "[007]setc v,7");
  EXPECT_EQ(lines[42], "[042]setc v,42");
  EXPECT_EQ(lines[999], "[999]setc v,999");
  EXPECT_EQ(lines[1000], "[1000]setc v,1000");
}

TEST_F(LoadProgramTest, ReadFailureReportsPathAndErrorNumber) {
  st_.OperList.push_back(Oper{});  // nothing from before may survive
  st_.OperCount = 1;
  fs_.AddFile(kProgramPath, "endif\r\n");  // would fail the check if read
  fs_.Fail(MemoryFileSystem::Op::kRead, kProgramPath, EACCES);
  LoadProgram(st_);
  const std::string expected = ReplaceEvery(
      ReplaceEvery(Raw("ZARNPFI001CE", "ProcessFile"), "{1}", kProgramPath),
      "{2}", std::to_string(EACCES));
  EXPECT_EQ(st_.ErrFlag, 1);
  EXPECT_EQ(st_.FinalMsg, expected);
  EXPECT_EQ(st_.OperCount, 0);
  EXPECT_TRUE(st_.OperList.empty());
  EXPECT_FALSE(st_.ListingDone);
  EXPECT_EQ(LogLines(), std::vector<std::string>{expected});
}

// On a structure error: the parameter listing, the program listing (once
// per run), ZARNCTP000CT, then the report.
TEST_F(LoadProgramTest, StructureFailureLogsListingsHeaderAndReport) {
  WriteParmListing(st_, "/data/parms.log", &st_.LogErrNo);
  const std::vector<std::string> parms = LogLines("/data/parms.log");
  ASSERT_FALSE(parms.empty());
  for (bool listed_before : {false, true}) {
    fs_.AddFile(kLogFile, "");
    st_.ListingDone = listed_before;
    Load("if a\r\n\tendif\r\nendif /x/y\r\nsetc b,1\r\n");
    const std::string report = ErrorAt("ZARNCTP001CT", 3, "endif /x/y");
    EXPECT_EQ(st_.ErrFlag, 1);
    EXPECT_EQ(st_.FinalMsg, report);
    EXPECT_TRUE(st_.ListingDone);
    std::vector<std::string> expected = parms;
    if (!listed_before) {
      expected.insert(
          expected.end(),
          {"--- Zarn program from the '" + std::string(kProgramPath) + "' file",
           "[001]if a", "[002]\tendif", "[003]endif /x/y", "[004]setc b,1"});
    }
    expected.push_back(Raw("ZARNCTP000CT"));
    expected.push_back(report);
    EXPECT_EQ(LogLines(), expected) << listed_before;
  }
}

TEST_F(LoadProgramTest, NoLogMeansNothingWrittenButTheReportStays) {
  st_.LogFile = "n";
  Load("endif\r\n");
  EXPECT_EQ(st_.ErrFlag, 1);
  EXPECT_EQ(st_.FinalMsg, ErrorAt("ZARNCTP001CT", 1, "endif"));
  EXPECT_EQ(fs_.Content("n"), nullptr);
}

TEST_F(LoadProgramTest, TenMegabyteLine) {
  std::string value(10 * 1024 * 1024, 'x');
  Load("setc a," + value + "   ///tail\r\nsetc b,1");
  ASSERT_EQ(st_.OperCount, 2);
  EXPECT_EQ(st_.ErrFlag, 0);
  EXPECT_EQ(Op(1).line.size(), value.size() + 10);
  EXPECT_EQ(Op(1).parm, "a," + value);
  EXPECT_EQ(Op(2).line, "setc b,1");
}

}  // namespace
}  // namespace testing_program
}  // namespace zarn
