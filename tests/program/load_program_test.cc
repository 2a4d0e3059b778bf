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

// How a program file is cut into operations: the file content, and the
// line (comment removed, tabs and blanks kept) of each operation in order.
struct SplitCase {
  const char* name;
  std::string content;
  std::vector<std::string> lines;
};

class SplitTest : public ProgramFixture,
                  public ::testing::WithParamInterface<SplitCase> {};

TEST_P(SplitTest, OperationsAreTheKeptLines) {
  const SplitCase& c = GetParam();
  Load(c.content);
  EXPECT_EQ(st_.ErrFlag, 0) << st_.FinalMsg;
  EXPECT_EQ(st_.FinalMsg, "");
  ASSERT_EQ(st_.OperCount, static_cast<int32_t>(c.lines.size()));
  ASSERT_EQ(st_.OperList.size(), c.lines.size());
  for (size_t i = 0; i < c.lines.size(); ++i) {
    EXPECT_EQ(st_.OperList[i].line, c.lines[i]) << "operation " << i + 1;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SplitTest,
    ::testing::Values(
        SplitCase{"EmptyFile", "", {}},
        SplitCase{"OnlyBlankAndCommentLines",
                  "\r\n   \r\n/// a comment\r\n  /// indented\r\n\r\n",
                  {}},
        SplitCase{"OnlyCrLf", "\r\n", {}},
        SplitCase{
            "BlankBeforeCommentKept", "setc a,b ///note\r\n", {"setc a,b "}},
        SplitCase{
            "CommentLineDropped", "///setc a,b\r\nsetc c,d\r\n", {"setc c,d"}},
        SplitCase{"BlankLineDropped", "    \r\nsetc c,d", {"setc c,d"}},
        SplitCase{"TabsOnlyLineKept", "\t\t\r\n", {"\t\t"}},
        SplitCase{"TabsAndBlanksKept", "  \t  \r\n", {"  \t  "}},
        SplitCase{"TabsBeforeCommentKept", "\t///x\r\n", {"\t"}},
        SplitCase{
            "MarkerInsideQuotesCuts", "setc a,\"x///y\"\r\n", {"setc a,\"x"}},
        SplitCase{"FirstMarkerCuts", "setc a,b////c///d", {"setc a,b"}},
        SplitCase{"TwoSlashesAreNoMarker", "setc a,b//c", {"setc a,b//c"}},
        SplitCase{"ConsecutiveNumbering",
                  "setc a,1\r\n\r\n  \r\n///x\r\nsetc b,2\r\n\r\nsetc c,3\r\n",
                  {"setc a,1", "setc b,2", "setc c,3"}},
        SplitCase{
            "SurroundingBlanksKept", "   setc a,1   \r\n", {"   setc a,1   "}},
        SplitCase{"LastLineWithoutLineEnd",
                  "setc a,1\r\nsetc b,2",
                  {"setc a,1", "setc b,2"}},
        SplitCase{"LoneLfEndsALine",
                  "setc a,1\nsetc b,2\n",
                  {"setc a,1", "setc b,2"}},
        SplitCase{"MixedLineEnds",
                  "setc a,1\r\nsetc b,2\nsetc c,3",
                  {"setc a,1", "setc b,2", "setc c,3"}},
        SplitCase{"LoneCrStaysInLine",
                  "setc a,1\rsetc b,2\r\n",
                  {"setc a,1\rsetc b,2"}},
        SplitCase{"OnlyTheCrBeforeLfIsLineEnd",
                  "setc a,1\r\r\nsetc b,2\r\r",
                  {"setc a,1\r", "setc b,2\r\r"}},
        SplitCase{
            "CrAloneIsNotBlank", "\r\r\n   \r   \r\n", {"\r", "   \r   "}},
        SplitCase{"ByteOrderMarkIsText",
                  "\xEF\xBB\xBFsetc a,1\r\n",
                  {"\xEF\xBB\xBFsetc a,1"}},
        SplitCase{"BytesAbove127Kept",
                  "setc a,\xC3\xA4\xFF\r\n",
                  {"setc a,\xC3\xA4\xFF"}}),
    [](const ::testing::TestParamInfo<SplitCase>& case_info) {
      return std::string(case_info.param.name);
    });

TEST_F(LoadProgramTest, TextHasBlanksForTabsAndLineKeepsThem) {
  Load("\tif\tx\r\nendif\r\n");
  ASSERT_EQ(st_.OperCount, 2);
  EXPECT_EQ(Op(1).line, "\tif\tx");
  EXPECT_EQ(Op(1).text, " if x");
  EXPECT_EQ(Op(1).command, "if");
  EXPECT_EQ(Op(1).parm, "x");

  WriteProgramListing(st_, kLogFile);
  EXPECT_EQ(LogLines(),
            (std::vector<std::string>{"--- Zarn program from the '" +
                                          std::string(kProgramPath) + "' file",
                                      "[001]\tif\tx", "[002]endif"}));
}

TEST_F(LoadProgramTest, TabsOnlyLineHasEmptyCommand) {
  Load("\t\t\r\n");
  ASSERT_EQ(st_.OperCount, 1);
  EXPECT_EQ(Op(1).text, "  ");
  EXPECT_EQ(Op(1).command, "");
  EXPECT_EQ(Op(1).parm, "");
  EXPECT_EQ(st_.ErrFlag, 0);
}

TEST_F(LoadProgramTest, ByteOrderMarkBelongsToTheFirstCommand) {
  Load("\xEF\xBB\xBFsetc a,1\r\n");
  ASSERT_EQ(st_.OperCount, 1);
  EXPECT_EQ(Op(1).command, "\xEF\xBB\xBFsetc");
}

TEST_F(LoadProgramTest, NormalizeLineReplacesEachTabByOneBlank) {
  EXPECT_EQ(NormalizeLine(""), "");
  EXPECT_EQ(NormalizeLine("\t\ta\t b\t"), "  a  b ");
  EXPECT_EQ(NormalizeLine("no tabs\r"), "no tabs\r");
}

TEST_F(LoadProgramTest, SuccessWritesNoLogAndEmptiesFinalMsg) {
  st_.FinalMsg = "left from before";
  Load("setc a,1\r\nif a\r\nendif\r\n");
  EXPECT_EQ(st_.ErrFlag, 0);
  EXPECT_EQ(st_.FinalMsg, "");
  EXPECT_FALSE(st_.ListingDone);
  EXPECT_EQ(fs_.Content(kLogFile), nullptr);
  EXPECT_EQ(st_.OperCount, 3);
}

TEST_F(LoadProgramTest, ListingPadsNumbersToThreeDigits) {
  std::string program;
  for (int i = 1; i <= 1000; ++i)
    program += "setc v," + std::to_string(i) + "\r\n";
  Load(program);
  ASSERT_EQ(st_.OperCount, 1000);
  WriteProgramListing(st_, kLogFile);
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 1001u);
  EXPECT_EQ(lines[1], "[001]setc v,1");
  EXPECT_EQ(lines[7], "[007]setc v,7");
  EXPECT_EQ(lines[42], "[042]setc v,42");
  EXPECT_EQ(lines[100], "[100]setc v,100");
  EXPECT_EQ(lines[999], "[999]setc v,999");
  EXPECT_EQ(lines[1000], "[1000]setc v,1000");
}

TEST_F(LoadProgramTest, ListingGoesToTheGivenLogFile) {
  Load("setc a,1");
  fs_.AddFolder("/other");
  WriteProgramListing(st_, "/other/x.log");
  EXPECT_EQ(fs_.Content(kLogFile), nullptr);
  EXPECT_EQ(LogLines("/other/x.log").size(), 2u);
}

TEST_F(LoadProgramTest, ListingOfAnEmptyProgramIsTheHeaderOnly) {
  Load("");
  WriteProgramListing(st_, kLogFile);
  EXPECT_EQ(LogLines(),
            (std::vector<std::string>{"--- Zarn program from the '" +
                                      std::string(kProgramPath) + "' file"}));
}

TEST_F(LoadProgramTest, MissingFileIsAReadFailure) {
  st_.OperList.push_back(Oper{});  // nothing from before may survive
  st_.OperCount = 1;
  LoadProgram(st_);  // no program file in place
  const std::string expected = Substitute(
      Substitute(Raw("ProcessFile", "ZARNPFI001CE"), "{1}", kProgramPath),
      "{2}", std::to_string(ENOENT));
  EXPECT_EQ(st_.ErrFlag, 1);
  EXPECT_EQ(st_.FinalMsg, expected);
  EXPECT_EQ(st_.OperCount, 0);
  EXPECT_TRUE(st_.OperList.empty());
  EXPECT_FALSE(st_.ListingDone);
  EXPECT_EQ(LogLines(), std::vector<std::string>{expected});
}

TEST_F(LoadProgramTest, ReadFailureReportsTheErrorNumber) {
  fs_.AddFile(kProgramPath, "endif\r\n");  // would fail the check if read
  fs_.Fail(MemoryFileSystem::Op::kRead, kProgramPath, EACCES);
  LoadProgram(st_);
  const std::string raw = Raw("ProcessFile", "ZARNPFI001CE");
  const std::string expected = Substitute(Substitute(raw, "{1}", kProgramPath),
                                          "{2}", std::to_string(EACCES));
  EXPECT_EQ(st_.ErrFlag, 1);
  EXPECT_EQ(st_.FinalMsg, expected);
  // The path arrives whole despite its slashes.
  EXPECT_NE(st_.FinalMsg.find(kProgramPath), std::string::npos);
  EXPECT_EQ(st_.OperCount, 0);
  EXPECT_EQ(LogLines(), std::vector<std::string>{expected});
}

TEST_F(LoadProgramTest, StructureFailureLogsListingsHeaderAndReport) {
  // The parameter listing as the parameter part writes it.
  WriteParmListing(st_, "/data/parms.log", &st_.LogErrNo);
  std::vector<std::string> expected = LogLines("/data/parms.log");
  ASSERT_FALSE(expected.empty());

  Load("if a\r\n\tendif\r\nendif /x/y\r\nsetc b,1\r\n");
  const std::string report = ErrorAt("ZARNCTP001CT", "003", "endif /x/y");
  EXPECT_EQ(st_.ErrFlag, 1);
  EXPECT_EQ(st_.FinalMsg, report);
  EXPECT_TRUE(st_.ListingDone);

  expected.push_back("--- Zarn program from the '" + std::string(kProgramPath) +
                     "' file");
  expected.push_back("[001]if a");
  expected.push_back("[002]\tendif");
  expected.push_back("[003]endif /x/y");
  expected.push_back("[004]setc b,1");
  expected.push_back(Raw("CheckZarnProgStructure", "ZARNCTP000CT"));
  expected.push_back(report);
  EXPECT_EQ(LogLines(), expected);
}

TEST_F(LoadProgramTest, ProgramListingIsWrittenOncePerRun) {
  WriteParmListing(st_, "/data/parms.log", &st_.LogErrNo);
  std::vector<std::string> expected = LogLines("/data/parms.log");

  st_.ListingDone = true;
  Load("lend\r\n");
  const std::string report = ErrorAt("ZARNCTP006CT", "001", "lend");
  EXPECT_EQ(st_.ErrFlag, 1);
  EXPECT_EQ(st_.FinalMsg, report);
  EXPECT_TRUE(st_.ListingDone);
  expected.push_back(Raw("CheckZarnProgStructure", "ZARNCTP000CT"));
  expected.push_back(report);
  EXPECT_EQ(LogLines(), expected);
}

TEST_F(LoadProgramTest, UnbalancedProgramReportsWithoutPlaceholders) {
  Load("if a\r\n");
  const std::string report = Raw("CheckZarnProgStructure", "ZARNCTP011CT");
  EXPECT_EQ(st_.ErrFlag, 1);
  EXPECT_EQ(st_.FinalMsg, report);
  std::vector<std::string> lines = LogLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.back(), report);
  EXPECT_EQ(lines[lines.size() - 2],
            Raw("CheckZarnProgStructure", "ZARNCTP000CT"));
}

TEST_F(LoadProgramTest, NoLogMeansNothingWrittenButTheReportStays) {
  st_.LogFile = "n";
  Load("endif\r\n");
  EXPECT_EQ(st_.ErrFlag, 1);
  EXPECT_EQ(st_.FinalMsg, ErrorAt("ZARNCTP001CT", "001", "endif"));
  EXPECT_EQ(fs_.Content("n"), nullptr);
}

TEST_F(LoadProgramTest, TenMegabyteLine) {
  std::string value(10 * 1024 * 1024, 'x');
  Load("setc a," + value + "   ///tail\r\nsetc b,1");
  ASSERT_EQ(st_.OperCount, 2);
  EXPECT_EQ(st_.ErrFlag, 0);
  EXPECT_EQ(Op(1).line.size(), value.size() + 10);
  EXPECT_EQ(Op(1).command, "setc");
  EXPECT_EQ(Op(1).parm, "a," + value);
  EXPECT_EQ(Op(2).line, "setc b,1");
}

}  // namespace
}  // namespace testing_program
}  // namespace zarn
