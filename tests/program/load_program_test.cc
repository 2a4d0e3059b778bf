#include <cerrno>
#include <string>
#include <vector>

#include "commands/command_support.h"
#include "program/program.h"
#include "program/program_fixture.h"
#include "run/parameters.h"

namespace zarn {
namespace testing_program {
namespace {

using LoadProgramTest = ProgramFixture;

// How a program file is cut into operations: the file content, the
// command of the first operation, then the line (comment removed, tabs and
// blanks kept) of each operation in order.
TEST_F(LoadProgramTest, OperationsAreTheKeptLines) {
  const std::vector<std::vector<std::string>> rows = {
      {"", ""},
      {"\r\n   \r\n/// a comment\r\n  /// indented\r\n\r\n", ""},
      {"setc a,b ///x\r\n", "setc", "setc a,b "},
      {"  \t  ///x\r\n", "", "  \t  "},
      {"setc a,\"x///y\"\r\n", "setc", "setc a,\"x"},
      {"setc a,b////c///d", "setc", "setc a,b"},
      {"setc a,b//c", "setc", "setc a,b//c"},
      {"a,1\r\n\r\n  \r\n///x\r\nb,2\r\n\r\nc,3\r\n", "a,1", "a,1", "b,2",
       "c,3"},
      {"   SETC a,1   \r\n", "setc", "   SETC a,1   "},
      {"\tif\tx\r\nendif", "if", "\tif\tx", "endif"},
      {"setc a,1\nsetc b,2\r\nsetc c,3", "setc", "setc a,1", "setc b,2",
       "setc c,3"},
      {"setc a,1\r\r\nsetc b,2\r\r", "setc", "setc a,1\r", "setc b,2\r\r"},
      {"\r\r\n   \r   \r\nsetc a,1\rb\r\n", "\r", "\r", "   \r   ",
       "setc a,1\rb"},
      {"\xEF\xBB\xBFsetc a,\xC3\xA4\xFF\r\n", "\xEF\xBB\xBFsetc",
       "\xEF\xBB\xBFsetc a,\xC3\xA4\xFF"},
  };
  for (const std::vector<std::string>& r : rows) {
    SCOPED_TRACE(::testing::PrintToString(r[0]));
    Load(r[0]);
    EXPECT_EQ(st_.ErrFlag, 0) << st_.FinalMsg;
    EXPECT_FALSE(st_.ListingDone);
    EXPECT_EQ(fs_.Content(kLogFile), nullptr);
    ASSERT_EQ(st_.OperCount, static_cast<int32_t>(r.size() - 2));
    ASSERT_EQ(st_.OperList.size(), r.size() - 2);
    for (size_t i = 2; i < r.size(); ++i) {
      EXPECT_EQ(st_.OperList[i - 2].line, r[i]) << "operation " << i - 1;
      EXPECT_EQ(st_.OperList[i - 2].text, ReplaceEvery(r[i], "\t", " "));
    }
    if (r.size() > 2) {
      EXPECT_EQ(Op(1).command, r[1]);
    }
  }
}

TEST_F(LoadProgramTest, ListingKeepsTabsAndPadsNumbers) {
  std::string program = "\tif\tx\r\nendif\r\n";
  for (int i = 3; i <= 1000; ++i) {
    program += "setc v," + std::to_string(i) + "\r\n";
  }
  Load(program);
  ASSERT_EQ(st_.OperCount, 1000);
  EXPECT_EQ(Op(1).parm, "x");
  fs_.AddFolder("/other");
  st_.LogFile = "/other/x.log";
  ListProgramOnce(st_);
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
  InstallProgram(st_);
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
