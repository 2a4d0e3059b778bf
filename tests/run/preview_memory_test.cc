// The preview options over an in-memory tree: the order in which backups
// and files are written, backups that fail, and a progress line that
// follows the run and never changes the log.
#include <gtest/gtest.h>

#include <cerrno>

#include "run/memory_run.h"
#include "run/progress_line.h"

namespace zarn::testing {
namespace {

using Op = MemoryFileSystem::Op;

const char* kSrFooToBar = "set *filestring,sr(*filestring,foo,bar)\n";

const std::map<std::string, std::string> kTree = {
    {"a.txt", "foo\r\nfoo"},
    {"b.txt", "same\n"},
    {"sub/c.txt", "x\nfoo\n"},
    {"sub/deeper/d.txt", "foo"},
};

TEST(PreviewMemory, BackupIsCompleteBeforeTheFileIsReplaced) {
  MemoryRun run;
  run.fs.AddFile("/data/a.txt~", "an older backup");
  run.options.backup_suffix = "~";
  run.params_extra = "Files=txt$\n";  // "txt" would select the older backup
  run.Run(
      "setc p,foo\nsetc n,bar\nfindup p,x,hit,y\nif *rcf\nrep hit,n\nelse\n"
      "endif\n",
      kTree);
  EXPECT_EQ(run.status, 0);
  // Only the files that change get one, each written first.
  EXPECT_EQ(
      run.DataWrites(),
      (std::vector<std::string>{
          "/data/a.txt~", "/data/a.txt", "/data/sub/c.txt~", "/data/sub/c.txt",
          "/data/sub/deeper/d.txt~", "/data/sub/deeper/d.txt"}));
  EXPECT_EQ(run.File("a.txt~"), "foo\r\nfoo");
  EXPECT_EQ(run.File("a.txt"), "bar\r\nfoo");
  EXPECT_EQ(run.File("sub/c.txt~"), "x\nfoo\n");
  EXPECT_EQ(run.File("b.txt~"), "<missing>");
}

TEST(PreviewMemory, FailedBackupKeepsTheFileAndFailsItOnly) {
  MemoryRun run;
  run.options.backup_suffix = ".bak";
  run.params_extra = "Files=txt\n";
  run.fs.Fail(Op::kWrite, "/data/a.txt.bak", ENOSPC);
  run.fs.Fail(Op::kRename, "/data/sub/c.txt.bak", EIO);
  run.Run(kSrFooToBar, kTree);
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.File("a.txt"), "foo\r\nfoo");
  EXPECT_EQ(run.File("sub/c.txt"), "x\nfoo\n");
  EXPECT_EQ(run.File("sub/deeper/d.txt"), "bar");
  EXPECT_EQ(run.File("sub/deeper/d.txt.bak"), "foo");
  // No left-over temporary file of the failed backups.
  EXPECT_EQ(run.TemporariesLeft(), std::vector<std::string>{});
  std::vector<std::string> log = run.Log();
  EXPECT_EQ(log[2],
            "ZARNPFI002CE File '/data/a.txt' cannot be written back (error " +
                std::to_string(ENOSPC) + "); it keeps its previous content.");
  EXPECT_EQ(log[7],
            "ZARNPFI002CE File '/data/sub/c.txt' cannot be written "
            "back (error " +
                std::to_string(EIO) + "); it keeps its previous content.");
}

// The listing error of a folder keeps its place: after the files of the
// folders before it, before those after it; with or without a progress line.
TEST(PreviewMemory, UnlistableFolderKeepsItsPlaceInTheLog) {
  const std::map<std::string, std::string> tree = {{"z.txt", "foo"},
                                                   {"l/b.txt", "foo"},
                                                   {"m/a.txt", "foo"},
                                                   {"n/c.txt", "foo"}};
  const std::vector<std::string> expected = {
      "ZARNPFI003CI Processing file '/data/z.txt'",
      "ZARNPFI005CI File done, changes: 1",
      "ZARNPFI003CI Processing file '/data/l/b.txt'",
      "ZARNPFI005CI File done, changes: 1",
      "ZARNPFI001CE '/data/m' cannot be read (error 13).",
      "ZARNPFI003CI Processing file '/data/n/c.txt'",
      "ZARNPFI005CI File done, changes: 1",
      "ZARNPFI006CI End of run: 3 files processed, 3 changes in all."};
  for (bool with_progress : {false, true}) {
    MemoryRun run;
    run.params_extra = "Files=txt\n";
    run.fs.Fail(Op::kList, "/data/m", EACCES);
    std::ostringstream terminal;
    ProgressLine progress(terminal, 80, [] { return int64_t{0}; });
    if (with_progress) run.options.progress = &progress;
    run.Run(kSrFooToBar, tree);
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.Body(), expected) << "with progress " << with_progress;
    if (with_progress) {
      EXPECT_EQ(terminal.str().substr(0, 24), "\r0/3 files, 0 changes\x1b[K");
    }
  }
}

TEST(PreviewMemory, ProgressFollowsTheRunAndEndsErased) {
  MemoryRun run;
  run.params_extra = "Files=txt\n";
  std::ostringstream terminal;
  int64_t now = 0;
  // Time moves on between drawings, so every update is drawn.
  ProgressLine progress(terminal, 80, [&now] { return now += 1000; });
  run.options.progress = &progress;
  run.Run(kSrFooToBar, kTree);
  const std::string out = terminal.str();
  for (const char* text :
       {"\r0/4 files, 0 changes\x1b[K", "\r0/4 files, 0 changes: a.txt\x1b[K",
        "\r1/4 files, 1 changes: a.txt\x1b[K",
        "\r2/4 files, 2 changes: b.txt\x1b[K",
        "\r3/4 files, 3 changes: sub/deeper/d.txt\x1b[K",
        "\r4/4 files, 4 changes: sub/deeper/d.txt\x1b[K"}) {
    EXPECT_NE(out.find(text), std::string::npos) << text;
  }
  EXPECT_EQ(out.substr(out.size() - 4), "\r\x1b[K");
}

}  // namespace
}  // namespace zarn::testing
