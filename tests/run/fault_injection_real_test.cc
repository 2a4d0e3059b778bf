// Whole runs over a real folder on disk with the real file system, faults
// injected into its system calls: what a user finds afterwards is exactly
// the original bytes of the failed file, no temporary file, the message in
// the log and the exit status.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <sstream>

#include "run/e2e_fixture.h"
#include "run/zarn_main.h"
#include "support/clock.h"
#include "support/faulty_real_file_system.h"

namespace zarn::testing {
namespace {

class RealFaults : public E2eTest {
 protected:
  // Runs Main in this process over the real tree, with fs_ as its file
  // system and the shipped message file.
  int RunMain(bool sync_writes = false) {
    WriteParams();
    WriteProgram(kFooToBar);
    fs_.set_sync_writes(sync_writes);
    FakeClock clock(LocalTime{2026, 12, 6, 12, 0, 0});
    RunState st(fs_, clock);
    st.AppFolder = std::string(ZARN_SOURCE_DIR) + "/data";
    st.ParmFile = ParamPath();
    std::ostringstream report;
    int status = Main(st, report);
    report_ = report.str();
    return status;
  }
  FaultyRealFileSystem fs_;
  std::string report_;
};

struct Case {
  const char* name;
  std::function<void(FaultyRealFileSystem&)> inject;
  bool sync_writes;
  int err;
  const char* code;  // ZARNPFI001CE (read) or ZARNPFI002CE (write back)
};

TEST_F(RealFaults, FailedFileKeepsEveryByteAndNothingIsLeftBehind) {
  std::string big;  // a text of some size, with a "foo" in every line
  for (int i = 0; i < 5000; ++i) {
    big += "line " + std::to_string(i) + " foo and more\r\n";
  }
  const Case cases[] = {
      {"no fault: the run would rewrite a.txt", [](auto&) {}, false, 0, ""},
      {"read fails", [](auto& fs) { fs.FailRead("/data/a.txt", EIO); }, false,
       EIO, "ZARNPFI001CE"},
      {"disk full at the first byte",
       [](auto& fs) { fs.FailWriteAfter("/.a.txt.zarn-", 0, ENOSPC); }, false,
       ENOSPC, "ZARNPFI002CE"},
      {"I/O error in the middle",
       [](auto& fs) { fs.FailWriteAfter("/.a.txt.zarn-", 70000, EIO); }, false,
       EIO, "ZARNPFI002CE"},
      {"rename fails", [](auto& fs) { fs.FailRename("/data/a.txt", EROFS); },
       false, EROFS, "ZARNPFI002CE"},
      {"fsync fails", [](auto& fs) { fs.FailFileSync("/.a.txt.zarn-", EIO); },
       true, EIO, "ZARNPFI002CE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs_ = FaultyRealFileSystem();
    PutData("a.txt", big);
    PutData("b.txt", "foo");
    c.inject(fs_);
    int status = RunMain(c.sync_writes);
    EXPECT_EQ(report_, "");
    EXPECT_EQ(Entries(data_),
              (std::vector<std::string>{"a.txt", "b.txt", "zarn.log"}));
    if (c.err == 0) {
      EXPECT_EQ(status, 0);
      EXPECT_EQ(Data("a.txt"), ReplaceEvery(big, "foo", "bar"));
      continue;
    }
    EXPECT_EQ(status, 3);
    EXPECT_EQ(Data("a.txt"), big);
    EXPECT_EQ(Data("b.txt"), "bar");
    std::string line =
        std::string(c.code) + (c.code[9] == '1' ? " '" : " File '") + data_ +
        "/a.txt' cannot be" +
        (c.code[9] == '1' ? " read (error " + std::to_string(c.err) + ")."
                          : " written back (error " + std::to_string(c.err) +
                                "); it keeps its previous "
                                "content.");
    std::vector<std::string> log = LogLines();
    EXPECT_EQ(std::count(log.begin(), log.end(), line), 1) << line;
  }
}

// The banner goes through a temporary file; the appended lines fail (a full
// disk). The run goes on over every file, says once on standard error that
// the log is losing lines, and ends with status 3.
TEST_F(RealFaults, LogThatCannotBeWrittenIsReportedOnceAndFailsTheRun) {
  for (bool file_fails : {false, true}) {
    SCOPED_TRACE(file_fails);
    fs_ = FaultyRealFileSystem();
    PutData("a.txt", "foo");
    PutData("b.txt", "foo");
    fs_.FailWriteAfter("/data/zarn.log", 0, ENOSPC);
    if (file_fails) fs_.FailRename("/data/b.txt", EIO);
    EXPECT_EQ(RunMain(), 3);
    EXPECT_EQ(report_, "Zarn 2.0: ZARNPFI011CE The log '" + LogPath() +
                           "' cannot be written (error 28); lines are being "
                           "lost, and the run will end with status 3.\n");
    EXPECT_EQ(Data("a.txt"), "bar");
    EXPECT_EQ(Data("b.txt"), file_fails ? "foo" : "bar");
    EXPECT_EQ(Entries(data_),
              (std::vector<std::string>{"a.txt", "b.txt", "zarn.log"}));
    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{
                  "=================== Zarn 2.0 -- unattended batch editing "
                  "log ==================="}));
  }
}

TEST_F(RealFaults, SyncWritesForceEveryRewrittenFileAndItsFolder) {
  PutData("a.txt", "foo");
  PutData("b.txt", "nothing");
  MakeFolder("sub");
  PutData("sub/c.txt", "foo");
  EXPECT_EQ(RunMain(/*sync_writes=*/true), 0);
  std::vector<std::string> renames_and_folders;
  for (const std::string& e : fs_.events) {
    if (e.rfind("sync file ", 0) != 0) renames_and_folders.push_back(e);
  }
  // The log's banner, then each changed file; b.txt is not rewritten.
  EXPECT_EQ(
      renames_and_folders,
      (std::vector<std::string>{
          "rename " + LogPath(), "sync folder " + data_,
          "rename " + data_ + "/a.txt", "sync folder " + data_,
          "rename " + data_ + "/sub/c.txt", "sync folder " + data_ + "/sub"}));
  EXPECT_EQ(std::count_if(fs_.events.begin(), fs_.events.end(),
                          [](const std::string& e) {
                            return e.rfind("sync file ", 0) == 0;
                          }),
            3);
}

}  // namespace
}  // namespace zarn::testing
