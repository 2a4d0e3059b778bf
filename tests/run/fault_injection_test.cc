// Faults injected through the in-memory file system into whole runs: a
// write-back failing before its first byte, in the middle, or at the
// rename; a log that cannot be written; failures that meet a stop. Each case
// checks the original's bytes, that no temporary file is left, the message
// logged and the exit status. (Read failures and unlistable folders are in
// file_loop_test.cc.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <sstream>
#include <string>

#include "run/memory_run.h"

namespace zarn::testing {
namespace {

using Op = MemoryFileSystem::Op;
using namespace std::string_literals;

std::vector<std::string> TemporaryFilesLeft(const MemoryFileSystem& fs) {
  std::vector<std::string> out;
  for (const std::string& path : fs.AllFiles()) {
    if (path.find(".zarn-") != std::string::npos) out.push_back(path);
  }
  return out;
}

// What each temporary file whose name begins with prefix held when its
// replacement ended.
std::vector<std::string> TemporariesOf(const MemoryFileSystem& fs,
                                       const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& [path, held] : fs.temporaries()) {
    if (path.rfind(prefix, 0) == 0) out.push_back(held);
  }
  return out;
}

// The log without the banner.
std::vector<std::string> Body(const MemoryRun& run) {
  std::vector<std::string> log = run.Log();
  return std::vector<std::string>(log.begin() + 1, log.end());
}

struct WriteFault {
  const char* name;
  size_t after;  // bytes the temporary file receives before err
  Op op;         // with after == kNever: the operation that fails
  int err;
  const char* left;  // what the temporary file held when it was removed
};
constexpr size_t kNever = static_cast<size_t>(-1);

TEST(FaultInjection, FailedWriteBackKeepsEveryByteAndLeavesNoTemporary) {
  const std::string original = "foo one\r\nfoo two\r\n\0tail"s;
  const WriteFault cases[] = {
      {"temporary cannot be created", kNever, Op::kWrite, ENOSPC, nullptr},
      {"disk full at the first byte", 0, Op::kWrite, ENOSPC, ""},
      {"I/O error in the middle", 9, Op::kWrite, EIO, "bar one\r\n"},
      {"rename refused", kNever, Op::kRename, EACCES,
       "bar one\r\nbar two\r\n\0tail"},
  };
  for (const WriteFault& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryRun run;
    run.fs.AddFile("/data/a.txt", original);
    run.fs.AddFile("/data/b.txt", "foo");
    if (c.after != kNever) {
      run.fs.FailWriteAfter("/data/a.txt", c.after, c.err);
    } else {
      run.fs.Fail(c.op, "/data/a.txt", c.err);
    }
    run.Run(kFooToBar);
    EXPECT_EQ(run.status, 3);  // completed, but a file failed
    EXPECT_EQ(run.File("a.txt"), original);
    EXPECT_EQ(run.File("b.txt"), "bar");  // the run went on
    EXPECT_EQ(TemporaryFilesLeft(run.fs), std::vector<std::string>{});
    if (c.left != nullptr) {
      // The failure really happened after the temporary file existed.
      EXPECT_EQ(TemporariesOf(run.fs, "/data/.a.txt.zarn-"),
                std::vector<std::string>{std::string(
                    c.left, c.after == kNever ? original.size() : c.after)});
    }
    EXPECT_EQ(
        Body(run),
        (std::vector<std::string>{
            "ZARNPFI003CI Processing file '/data/a.txt'",
            "ZARNPFI002CE File '/data/a.txt' cannot be written back "
            "(error " +
                std::to_string(c.err) + "); it keeps its previous content.",
            "ZARNPFI005CI File done, changes: 2",
            "ZARNPFI003CI Processing file '/data/b.txt'",
            "ZARNPFI005CI File done, changes: 1",
            "ZARNPFI006CI End of run: 2 files processed, 3 changes in "
            "all."}));
  }
}

TEST(FaultInjection, SuccessfulWriteBackGoesThroughAHiddenTemporary) {
  MemoryRun run;
  run.fs.AddFile("/data/a.txt", "foo");
  run.Run(kFooToBar);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(TemporariesOf(run.fs, "/data/.a.txt.zarn-"),
            std::vector<std::string>{"bar"});
  EXPECT_EQ(TemporaryFilesLeft(run.fs), std::vector<std::string>{});
  EXPECT_EQ(run.File("a.txt"), "bar");
}

// A run whose state stays visible after Main.
struct StateRun : MemoryRun {
  int32_t log_errno = -1;
  void Run(const std::string& program) {
    fs.AddFile("/prog/p.zarn", program);
    fs.AddFile("/p.ini",
               "[Data]\nDatafolder=/data\nZarnfolder=/prog\nStart=p.zarn\n"
               "[Log]\nLog=/logs/zarn.log\n");
    RunState st(fs, clock);
    st.AppFolder = "/app";
    st.ParmFile = "/p.ini";
    std::ostringstream out;
    status = Main(st, out);
    report = out.str();
    log_errno = st.LogErrNo;
  }
};

TEST(FaultInjection, LogThatCannotBeWrittenLosesItsLinesAndTheRunGoesOn) {
  StateRun run;
  run.fs.AddFile("/data/a.txt", "foo");
  run.fs.AddFile("/data/b.txt", "foo foo");
  // The banner replaces the log; every appended line after it fails.
  run.fs.Fail(Op::kAppend, "/logs/zarn.log", ENOSPC);
  run.Run(kFooToBar);
  EXPECT_EQ(run.status, 0);  // every file was processed
  EXPECT_EQ(run.report, "");
  EXPECT_EQ(run.File("a.txt"), "bar");
  EXPECT_EQ(run.File("b.txt"), "bar bar");
  EXPECT_EQ(run.log_errno, ENOSPC);
  EXPECT_EQ(run.Log().size(), 1u);  // the banner only
}

TEST(FaultInjection, LogFailureDoesNotHideAFailedFile) {
  StateRun run;
  run.fs.AddFile("/data/a.txt", "foo");
  run.fs.AddFile("/data/b.txt", "foo");
  run.fs.Fail(Op::kAppend, "/logs/zarn.log", EIO);
  run.fs.FailWriteAfter("/data/b.txt", 1, ENOSPC);
  run.Run(kFooToBar);
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.File("a.txt"), "bar");
  EXPECT_EQ(run.File("b.txt"), "foo");
  EXPECT_EQ(TemporaryFilesLeft(run.fs), std::vector<std::string>{});
}

TEST(FaultInjection, FailedWriteBackOfTheFileThatStopsTheRun) {
  MemoryRun run;
  run.fs.AddFile("/data/a.txt", "A");
  run.fs.AddFile("/data/b.txt", "B");
  run.fs.FailWriteAfter("/data/a.txt", 3, EIO);
  run.Run("set *filestring,changed\r\nbogus\r\n");
  EXPECT_EQ(run.status, 2);  // the stop wins over the file failure
  EXPECT_EQ(run.File("a.txt"), "A");
  EXPECT_EQ(run.File("b.txt"), "B");
  EXPECT_EQ(TemporaryFilesLeft(run.fs), std::vector<std::string>{});
  std::vector<std::string> log = Body(run);
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(log[3],
            "ZARNPFI002CE File '/data/a.txt' cannot be written back (error 5); "
            "it keeps its previous content.");
  EXPECT_EQ(log[4],
            "ZARNPFI004CT The program failed on file '/data/a.txt'; the run "
            "stops.");
}

TEST(FaultInjection, UnlistableFolderThenAStopEndsWithTheStopStatus) {
  MemoryRun run;
  run.fs.AddFile("/data/a/x.txt", "foo");
  run.fs.AddFile("/data/b/y.txt", "foo");
  run.fs.Fail(Op::kList, "/data/a", EIO);
  run.Run("set *filestring,changed\r\nbogus\r\n");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.File("a/x.txt"), "foo");
  EXPECT_EQ(run.File("b/y.txt"), "changed");
}

TEST(FaultInjection, UnlistableNestedFolderSkipsOnlyItsOwnFiles) {
  MemoryRun run;
  run.fs.AddFile("/data/a/x.txt", "foo");
  run.fs.AddFile("/data/a/deep/y.txt", "foo");
  run.fs.AddFile("/data/a/deep/deeper/z.txt", "foo");
  run.fs.AddFile("/data/b.txt", "foo");
  run.fs.Fail(Op::kList, "/data/a/deep", EACCES);
  run.Run(kFooToBar);
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.File("b.txt"), "bar");
  EXPECT_EQ(run.File("a/x.txt"), "bar");
  EXPECT_EQ(run.File("a/deep/y.txt"), "foo");
  // Its subfolders could not be listed either, so they are not reached.
  EXPECT_EQ(run.File("a/deep/deeper/z.txt"), "foo");
  std::vector<std::string> log = run.Log();
  EXPECT_EQ(
      std::count(log.begin(), log.end(),
                 "ZARNPFI001CE '/data/a/deep' cannot be read (error 13)."),
      1);
  EXPECT_EQ(log.back(),
            "ZARNPFI006CI End of run: 2 files processed, 2 changes in all.");
}

}  // namespace
}  // namespace zarn::testing
