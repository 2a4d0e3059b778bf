// The preview options over an in-memory tree: what is written and in which
// order, the log of a dry run, backups that fail, the folder snapshot, and
// a progress line that never changes the log.
#include <gtest/gtest.h>

#include <cerrno>
#include <sstream>

#include "common/run_state.h"
#include "common/test_support.h"
#include "run/progress_line.h"
#include "run/zarn_main.h"
#include "support/memory_file_system.h"
#include "support/unified_diff.h"

namespace zarn::testing {
namespace {

using Op = MemoryFileSystem::Op;

// A job over /data with the log in /logs and the given run options.
struct PreviewRun {
  MemoryFileSystem fs;
  FakeClock clock{LocalTime{2026, 12, 6, 12, 0, 0}};
  RunOptions options;
  std::string files_mask = "txt";
  int status = -1;

  explicit PreviewRun(const std::map<std::string, std::string>& files) {
    fs.AddFile("/app/zarn_msg.ini", ShippedMessageFile());
    fs.AddFolder("/data");
    fs.AddFolder("/logs");
    for (const auto& [name, content] : files) {
      fs.AddFile("/data/" + name, content);
    }
  }

  void Run(const std::string& program) {
    fs.AddFile("/prog/p.zarn", program);
    fs.AddFile("/p.ini", "[Data]\nDatafolder=/data\nFiles=" + files_mask +
                             "\nZarnfolder=/prog\nStart=p.zarn\n"
                             "[Log]\nLog=/logs/zarn.log\n");
    RunState st(fs, clock);
    st.AppFolder = "/app";
    st.ParmFile = "/p.ini";
    st.options = options;
    std::ostringstream report;
    status = Main(st, report);
  }

  std::string File(const std::string& name) const {
    const std::string* c = fs.Content("/data/" + name);
    return c ? *c : "<missing>";
  }
  std::vector<std::string> Log() const {
    const std::string* text = fs.Content("/logs/zarn.log");
    return text ? LogLinesOf(*text) : std::vector<std::string>{};
  }
  // The replacements of data files, in order (the log's banner aside).
  std::vector<std::string> DataWrites() const {
    std::vector<std::string> out;
    for (const std::string& w : fs.writes()) {
      if (w.rfind("/data/", 0) == 0) out.push_back(w);
    }
    return out;
  }
};

const char* kFooToBar = "set *filestring,sr(*filestring,foo,bar)\n";

const std::map<std::string, std::string> kTree = {
    {"a.txt", "foo\r\nfoo"},
    {"b.txt", "same\n"},
    {"sub/c.txt", "x\nfoo\n"},
    {"sub/deeper/d.txt", "foo"},
};

TEST(PreviewMemory, DryRunReplacesNothingAndAddsOneLine) {
  PreviewRun real(kTree);
  real.Run(kFooToBar);
  PreviewRun dry(kTree);
  dry.options.dry_run = true;
  dry.Run(kFooToBar);
  EXPECT_EQ(dry.status, real.status);
  EXPECT_EQ(dry.DataWrites(), std::vector<std::string>{});
  EXPECT_EQ(real.DataWrites().size(), 4u);  // each counted a change
  for (const auto& [name, content] : kTree) EXPECT_EQ(dry.File(name), content);
  std::vector<std::string> log = dry.Log();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[1].substr(0, 13), "ZARNPFI007CI ");
  log.erase(log.begin() + 1);
  EXPECT_EQ(log, real.Log());
}

TEST(PreviewMemory, DiffShowsOnlyWhatWouldReallyChange) {
  PreviewRun run(kTree);
  std::ostringstream diff;
  run.options.dry_run = true;
  run.options.diff_out = &diff;
  run.Run(kFooToBar);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(diff.str(), UnifiedDiff("a.txt", "foo\r\nfoo", "bar\r\nbar") +
                            UnifiedDiff("sub/c.txt", "x\nfoo\n", "x\nbar\n") +
                            UnifiedDiff("sub/deeper/d.txt", "foo", "bar"));
  EXPECT_EQ(run.DataWrites(), std::vector<std::string>{});
}

TEST(PreviewMemory, BackupIsCompleteBeforeTheFileIsReplaced) {
  PreviewRun run(kTree);
  run.fs.AddFile("/data/a.txt~", "an older backup");
  run.options.backup_suffix = "~";
  run.files_mask = "txt$";  // "txt" would select the older backup too
  run.Run(
      "setc p,foo\nsetc n,bar\nfindup p,x,hit,y\nif *rcf\nrep hit,n\nelse\n"
      "endif\n");
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
  PreviewRun run(kTree);
  run.options.backup_suffix = ".bak";
  run.fs.Fail(Op::kWrite, "/data/a.txt.bak", ENOSPC);
  run.fs.Fail(Op::kRename, "/data/sub/c.txt.bak", EIO);
  run.Run(kFooToBar);
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.File("a.txt"), "foo\r\nfoo");
  EXPECT_EQ(run.File("sub/c.txt"), "x\nfoo\n");
  EXPECT_EQ(run.File("sub/deeper/d.txt"), "bar");
  EXPECT_EQ(run.File("sub/deeper/d.txt.bak"), "foo");
  // No left-over temporary file of the failed backups.
  for (const std::string& path : run.fs.AllFiles()) {
    EXPECT_EQ(path.find(".zarn-"), std::string::npos) << path;
  }
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
    PreviewRun run(tree);
    run.fs.Fail(Op::kList, "/data/m", EACCES);
    std::ostringstream terminal;
    ProgressLine progress(terminal, 80, [] { return int64_t{0}; });
    if (with_progress) run.options.progress = &progress;
    run.Run(kFooToBar);
    EXPECT_EQ(run.status, 3);
    std::vector<std::string> log = run.Log();
    EXPECT_EQ(std::vector<std::string>(log.begin() + 1, log.end()), expected)
        << "with progress " << with_progress;
    if (with_progress) {
      EXPECT_EQ(terminal.str().substr(0, 24), "\r0/3 files, 0 changes\x1b[K");
    }
  }
}

TEST(PreviewMemory, ProgressFollowsTheRunAndEndsErased) {
  PreviewRun run(kTree);
  std::ostringstream terminal;
  int64_t now = 0;
  // Time moves on between drawings, so every update is drawn.
  ProgressLine progress(terminal, 80, [&now] { return now += 1000; });
  run.options.progress = &progress;
  run.Run(kFooToBar);
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
