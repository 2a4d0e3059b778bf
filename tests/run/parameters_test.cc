// The parameter check against an in-memory file system, where folders can
// be made unwritable (the tests run as root, which ignores permissions).
#include "run/parameters.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <sstream>

#include "common/test_support.h"
#include "support/memory_file_system.h"

namespace zarn {
namespace {

class ParametersTest : public ::testing::Test {
 protected:
  ParametersTest() : st_(fs_, clock_) {
    fs_.AddFile("/app/zarn_msg.ini", testing::ShippedMessageFile());
    fs_.AddFolder("/data");
    fs_.AddFile("/prog/p.zarn", "");
    st_.MsgFile = "/app/zarn_msg.ini";
    st_.ParmFile = "/p.ini";
  }
  void Params(const std::string& text) { fs_.AddFile("/p.ini", text); }

  MemoryFileSystem fs_;
  FakeClock clock_;
  RunState st_;
};

const char* kValid = "[Data]\nDatafolder=/data\nZarnfolder=/prog\nStart=p.zarn\n";

TEST_F(ParametersTest, FlagsCompareExactly) {
  struct Case {
    const char* recursion;
    const char* logappend;
    bool recurse, append;
  } cases[] = {{"Yes", "No", true, false},
               {"yes", "no", false, true},
               {"YES", "NO", false, true},
               {"errno", "error", true, false}};  // "err..." is not defined
  for (const Case& c : cases) {
    Params(std::string(kValid) + "Recursion=" + c.recursion +
           "\n[Log]\nLogappend=" + c.logappend + "\n");
    CheckParameters(st_);
    EXPECT_EQ(st_.RecurseFlag, c.recurse) << c.recursion;
    EXPECT_EQ(st_.LogAppend, c.append) << c.logappend;
  }
}

TEST_F(ParametersTest, StringParametersStopAtTheFirstGap) {
  Params(std::string(kValid) +
         "[String_parm]\nParm1=one\nParm3=three\n");
  CheckParameters(st_);
  EXPECT_EQ(st_.ParmCount, 1);
  EXPECT_EQ(st_.StrVars.GetStrVar("*parm1").value, "one");
  EXPECT_EQ(st_.StrVars.GetStrVar("*parm3").name, "?");
}

// Folders made unwritable, which the real file system cannot show to root.
TEST_F(ParametersTest, UnwritableFolderStopsTheCheck) {
  fs_.AddFolder("/logs");
  fs_.Fail(MemoryFileSystem::Op::kCreate, "/data", EACCES);
  Params(kValid);
  CheckParameters(st_);
  EXPECT_EQ(st_.FinalMsg,
            "ZARNCPA007CT The folder '/data' given by parameter Datafolder is "
            "not writable. Execution canceled.");
  EXPECT_EQ(st_.ZarnFolder, "");  // later keys are not read

  fs_.Fail(MemoryFileSystem::Op::kCreate, "/data", 0);
  fs_.Fail(MemoryFileSystem::Op::kCreate, "/logs", EROFS);
  Params(std::string(kValid) + "[Log]\nLog=/logs/run.log\n");
  CheckParameters(st_);
  EXPECT_EQ(st_.FinalMsg,
            "ZARNCPA007CT The folder '/logs' given by parameter Log is not "
            "writable. Execution canceled.");

  // A full disk is not a matter of permissions, and says so.
  fs_.Fail(MemoryFileSystem::Op::kCreate, "/logs", ENOSPC);
  CheckParameters(st_);
  EXPECT_EQ(st_.FinalMsg,
            "ZARNCPA010CT The folder '/logs' given by parameter Log has no "
            "space left (error 28). Execution canceled.");
}

TEST_F(ParametersTest, ListingShowsTheSettingsAsStored) {
  Params(std::string(kValid) + "Recursion=no\n[String_parm]\nParm1=a/b\n");
  CheckParameters(st_);
  st_.LogFile = "/data/zarn.log";
  WriteParmListing(st_, st_.LogFile, &st_.LogErrNo);
  const std::string stamp = "1970-01-01|00:00:00 ";
  EXPECT_EQ(*fs_.Content("/data/zarn.log"),
            stamp + "--- Zarn parameters from the '/p.ini' file\r\n" + stamp +
                "Section [Data], parameter 'Datafolder' = '/data'\r\n" + stamp +
                "Section [Data], parameter 'Files' = '(.)*\\.(.)*'\r\n" + stamp +
                "Section [Data], parameter 'Recursion' = 'No'\r\n" + stamp +
                "Section [Data], parameter 'Zarnfolder' = '/prog'\r\n" + stamp +
                "Section [Data], parameter 'Start' = 'p.zarn'\r\n" + stamp +
                "Section [Log], parameter 'Log' = '/data/zarn.log'\r\n" + stamp +
                "Section [Log], parameter 'Logappend' = 'No'\r\n" + stamp +
                "Section [String_parm], parameter '*parm1' = 'a/b'\r\n");
}

}  // namespace
}  // namespace zarn
