// Whole runs over a real folder tree with the real file system, faults
// injected into its system calls (what the tests cannot make the disk do,
// also as root): what a user finds afterwards is the original bytes of the
// failed file, no temporary file, the message in the log and the exit
// status.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <sstream>

#include "run/e2e_fixture.h"
#include "run/zarn_main.h"
#include "support/clock.h"
#include "support/faulty_real_file_system.h"

namespace zarn::testing {
namespace {

using Op = FaultyRealFileSystem::Op;

class RealFaults : public E2eTest {
 protected:
  // Runs Main in this process over the tree, with fs_ as its file system
  // and the shipped message file; the log is root/run.log.
  int RunMain(const std::string& program, const RunOptions& options = {}) {
    WriteJob(program);
    FakeClock clock(LocalTime{2026, 12, 6, 12, 0, 0});
    RunState st(fs_, clock);
    st.AppFolder = std::string(ZARN_SOURCE_DIR) + "/data";
    st.ParmFile = ParamPath();
    st.options = options;
    std::ostringstream report;
    const int status = Main(st, report);
    report_ = report.str();
    return status;
  }
  // The log after its banner.
  std::vector<std::string> Body() {
    std::vector<std::string> log = LogLinesOf(ReadFile(RunLog()));
    if (!log.empty()) log.erase(log.begin());
    return log;
  }
  std::string WriteBackFailed(const std::string& name, int err) {
    return "ZARNPFI002CE File '" + data_ + "/" + name +
           "' cannot be written back (error " + std::to_string(err) +
           "); it keeps its previous content.";
  }

  FaultyRealFileSystem fs_;
  std::string report_;
};

TEST_F(RealFaults, FailedFileKeepsEveryByteAndNothingIsLeftBehind) {
  std::string big;  // some size, a "foo" in every line
  for (int i = 0; i < 5000; ++i)
    big += "line " + std::to_string(i) + " foo\r\n";
  const struct {
    Op op;
    std::string path;
    int err;
    size_t after;
  } cases[] = {{Op::kRead, "/data/a.txt", EIO, 0},
               {Op::kWrite, "/.a.txt.zarn-", ENOSPC, 0},
               {Op::kWrite, "/.a.txt.zarn-", EIO, 70000},
               {Op::kRename, "/data/a.txt", EROFS, 0},
               {Op::kSync, "/.a.txt.zarn-", EIO, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path + " " + std::to_string(c.after));
    fs_ = FaultyRealFileSystem();
    fs_.set_sync_writes(c.op == Op::kSync);
    fs_.Fail(c.op, c.path, c.err, c.after);
    PutData("a.txt", big);
    PutData("b.txt", "foo");
    EXPECT_EQ(RunMain("set *filestring,sr(*filestring,foo,bar)\n"), 3);
    EXPECT_EQ(report_, "");
    EXPECT_EQ(Entries(data_), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(Data("a.txt"), big);
    EXPECT_EQ(Data("b.txt"), "bar");
    const std::string failed = c.op == Op::kRead
                                   ? "ZARNPFI001CE '" + data_ +
                                         "/a.txt' cannot be read (error " +
                                         std::to_string(c.err) + ")."
                                   : WriteBackFailed("a.txt", c.err);
    std::vector<std::string> log = Body();
    EXPECT_EQ(std::count(log.begin(), log.end(), failed), 1) << failed;
    // Lost changes still count in the total; an unread file has none.
    EXPECT_EQ(log.back(),
              std::string("ZARNPFI006CI End of run: 2 files processed, ") +
                  (c.op == Op::kRead ? "1" : "2") + " changes in all.");
  }
}

// A stop wins over a file that failed: status 2, not 3.
TEST_F(RealFaults, FailedWriteBackOfTheFileThatStopsTheRun) {
  PutData("a.txt", "A");
  PutData("b.txt", "B");
  fs_.Fail(Op::kWrite, "/.a.txt.zarn-", EIO, 3);
  EXPECT_EQ(RunMain("set *filestring,changed\nbogus\n"), 2);
  EXPECT_EQ(Data("a.txt"), "A");
  EXPECT_EQ(Data("b.txt"), "B");
  EXPECT_EQ(Entries(data_), (std::vector<std::string>{"a.txt", "b.txt"}));
  const std::vector<std::string> log = Body();
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(log[3], WriteBackFailed("a.txt", EIO));
  EXPECT_EQ(log[4], "ZARNPFI004CT The program failed on file '" + data_ +
                        "/a.txt'; the run stops.");
}

// The backup is complete before its file is replaced; a backup that cannot
// be written keeps the file as it was and fails it alone.
TEST_F(RealFaults, BackupComesFirstAndItsFailureKeepsTheFile) {
  MakeFolder("sub");
  PutData("a.txt", "foo a");
  PutData("b.txt", "foo b");
  PutData("sub/c.txt", "foo c");
  fs_.Fail(Op::kWrite, "/.a.txt.bak.zarn-", ENOSPC);
  fs_.Fail(Op::kRename, "/sub/c.txt.bak", EIO);
  RunOptions options;
  options.backup_suffix = ".bak";
  EXPECT_EQ(RunMain(kFooToBar, options), 3);
  EXPECT_EQ(Entries(data_),
            (std::vector<std::string>{"a.txt", "b.txt", "b.txt.bak", "sub"}));
  EXPECT_EQ(Entries(data_ + "/sub"), std::vector<std::string>{"c.txt"});
  EXPECT_EQ(Data("a.txt"), "foo a");
  EXPECT_EQ(Data("b.txt"), "bar b");
  EXPECT_EQ(Data("b.txt.bak"), "foo b");
  EXPECT_EQ(Data("sub/c.txt"), "foo c");
  EXPECT_EQ(fs_.events,
            (std::vector<std::string>{"rename " + RunLog(),
                                      "rename " + data_ + "/b.txt.bak",
                                      "rename " + data_ + "/b.txt"}));
  const std::vector<std::string> log = Body();
  EXPECT_EQ(log[1], WriteBackFailed("a.txt", ENOSPC));
  EXPECT_EQ(log[6], WriteBackFailed("sub/c.txt", EIO));
}

// The listing error of a folder keeps its place: after the files of the
// folders before it, before those after it.
TEST_F(RealFaults, UnlistableFolderKeepsItsPlaceInTheLog) {
  for (const char* folder : {"l", "m", "n"}) {
    MakeFolder(folder);
    PutData(std::string(folder) + "/a.txt", "foo");
  }
  PutData("z.txt", "foo");
  fs_.Fail(Op::kList, "/data/m", EACCES);
  EXPECT_EQ(RunMain(kFooToBar), 3);
  EXPECT_EQ(Data("m/a.txt"), "foo");
  const std::string processing = "ZARNPFI003CI Processing file '" + data_;
  EXPECT_EQ(
      Body(),
      (std::vector<std::string>{
          processing + "/z.txt'", "ZARNPFI005CI File done, changes: 1",
          processing + "/l/a.txt'", "ZARNPFI005CI File done, changes: 1",
          "ZARNPFI001CE '" + data_ + "/m' cannot be read (error 13).",
          processing + "/n/a.txt'", "ZARNPFI005CI File done, changes: 1",
          "ZARNPFI006CI End of run: 3 files processed, 3 changes in all."}));
}

// A dry run writes no data file, so a data folder that is not writable
// (a read-only snapshot) can still be previewed; a bare Log name is a file
// of the current folder.
TEST_F(RealFaults, DryRunNeedsNoWritableDataFolderAndBareLogIsInCurrentFolder) {
  PutData("a.txt", "foo a");
  fs_.Fail(Op::kCreate, data_ + "/folder_writable_test", EACCES);
  RunOptions dry;
  dry.dry_run = true;
  EXPECT_EQ(RunMain(kFooToBar, dry), 0);
  EXPECT_EQ(report_, "");
  EXPECT_EQ(Data("a.txt"), "foo a");
  EXPECT_EQ(Body().at(2), "ZARNPFI005CI File done, changes: 1");

  fs_ = FaultyRealFileSystem();
  char here[4096];
  ASSERT_NE(::getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(::chdir(root_.c_str()), 0);
  WriteParams("Files=\\.txt$\r\n", "[Log]\r\nLog=bare.log\r\n");
  FakeClock clock(LocalTime{2026, 12, 6, 12, 0, 0});
  RunState st(fs_, clock);
  st.AppFolder = std::string(ZARN_SOURCE_DIR) + "/data";
  st.ParmFile = ParamPath();
  std::ostringstream report;
  const int status = Main(st, report);
  ASSERT_EQ(::chdir(here), 0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(report.str(), "");
  EXPECT_EQ(Data("a.txt"), "bar a");
  const std::vector<std::string> log =
      LogLinesOf(ReadFile(root_ + "/bare.log"));
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[3],
            "ZARNPFI006CI End of run: 1 files processed, 1 changes in all.");
}

TEST_F(RealFaults, StartUpStopsOnAnUnwritableFolderOrAnUnreadableProgram) {
  fs_.Fail(Op::kCreate, data_ + "/folder_writable_test", EACCES);
  EXPECT_EQ(RunMain(""), 1);
  EXPECT_EQ(report_, "Zarn 2.0: ZARNCPA007CT The folder '" + data_ +
                         "' given by parameter Datafolder is not writable. "
                         "Execution canceled.\n");
  EXPECT_EQ(Entries(data_), std::vector<std::string>{});

  fs_ = FaultyRealFileSystem();
  fs_.Fail(Op::kRead, "/prog/prog.zarn", EACCES);
  EXPECT_EQ(RunMain("endif\n"), 1);  // would fail the check if read
  const std::string line =
      "ZARNPFI001CE '" + prog_ + "/prog.zarn' cannot be read (error 13).";
  EXPECT_EQ(report_, "Zarn 2.0: " + line + "\n");
  EXPECT_EQ(Body(), std::vector<std::string>{line});
}

// With sync writes each rewritten file is forced to disk before its rename,
// its folder after it; a file that is not rewritten costs nothing.
TEST_F(RealFaults, SyncWritesForceEveryRewrittenFileAndItsFolder) {
  PutData("a.txt", "foo");
  PutData("b.txt", "nothing");
  MakeFolder("sub");
  PutData("sub/c.txt", "foo");
  fs_.PlanSuffixes({"000001", "000002", "000003"});
  fs_.set_sync_writes(true);
  EXPECT_EQ(RunMain(kFooToBar), 0);
  EXPECT_EQ(
      fs_.events,
      (std::vector<std::string>{
          "sync file " + root_ + "/.run.log.zarn-000001", "rename " + RunLog(),
          "sync folder " + root_, "sync file " + data_ + "/.a.txt.zarn-000002",
          "rename " + data_ + "/a.txt", "sync folder " + data_,
          "sync file " + data_ + "/sub/.c.txt.zarn-000003",
          "rename " + data_ + "/sub/c.txt", "sync folder " + data_ + "/sub"}));
}

}  // namespace
}  // namespace zarn::testing
