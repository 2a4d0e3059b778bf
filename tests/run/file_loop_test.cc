// The file loop over an in-memory tree: selection, order, failures the real
// file system cannot be made to give, the stop on a failed operation and
// how it meets a failure, and variables carried from file to file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include "run/memory_run.h"

namespace zarn::testing {
namespace {

using Op = MemoryFileSystem::Op;

std::vector<std::string> Processed(const std::vector<std::string>& log) {
  std::vector<std::string> out;
  for (const std::string& line : log) {
    if (line.rfind("ZARNPFI003CI", 0) == 0) out.push_back(line.substr(30));
  }
  return out;
}

TEST(FileLoop, SelectionAndOrder) {
  MemoryRun run;
  run.params_extra = "Files=txt\n";
  run.Run("", {{"b.txt", ""},
               {"a.TXT", ""},
               {"txtlist.doc", ""},
               {"nodot", ""},
               {".hidden.txt", ""},
               {"sub/z.txt", ""},
               {"sub/deeper/y.txt", ""},
               {"Sub2/x.txt", ""},
               {"a/w.txt", ""}});
  EXPECT_EQ(run.status, 0);
  // Files of a folder first (byte order), then each subfolder tree.
  EXPECT_EQ(Processed(run.Log()),
            (std::vector<std::string>{
                "/data/a.TXT'", "/data/b.txt'", "/data/txtlist.doc'",
                "/data/Sub2/x.txt'", "/data/a/w.txt'", "/data/sub/z.txt'",
                "/data/sub/deeper/y.txt'"}));
}

TEST(FileLoop, DefaultFilesExpressionNeedsADotAndRecursionCanBeOff) {
  MemoryRun run;
  run.params_extra = "Recursion=yes\n";  // only "Yes" turns it on
  run.Run("", {{"nodot", ""}, {"a.b", ""}, {"sub/c.d", ""}});
  EXPECT_EQ(Processed(run.Log()), (std::vector<std::string>{"/data/a.b'"}));
}

TEST(FileLoop, TemporaryThatCannotBeCreatedKeepsTheOriginalAndGoesOn) {
  MemoryRun run;
  run.fs.AddFile("/data/a.txt", "foo");
  run.fs.AddFile("/data/b.txt", "foo");
  run.fs.Fail(Op::kWrite, "/data/a.txt", ENOSPC);
  run.Run(kFooToBar);
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.File("a.txt"), "foo");
  EXPECT_EQ(run.File("b.txt"), "bar");
  std::vector<std::string> log = run.Log();
  EXPECT_EQ(log[2],
            "ZARNPFI002CE File '/data/a.txt' cannot be written back (error 28); "
            "it keeps its previous content.");
  EXPECT_EQ(log[3], "ZARNPFI005CI File done, changes: 1");
  // The lost changes still count in the total.
  EXPECT_EQ(log.back(), "ZARNPFI006CI End of run: 2 files processed, 2 changes in all.");
}

TEST(FileLoop, FailedOperationStopsTheRunAfterWritingTheFile) {
  MemoryRun run;
  run.Run("setc x,1\r\nset *filestring,changed\r\nbogus here\r\nsetc y,2\r\n",
          {{"a.txt", "A"}, {"b.txt", "B"}});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.File("a.txt"), "changed");  // its change was already counted
  EXPECT_EQ(run.File("b.txt"), "B");        // never processed
  EXPECT_EQ(run.Body(),
            (std::vector<std::string>{
                "ZARNPFI003CI Processing file '/data/a.txt'",
                "ZARNCMD004CT Unrecognised command 'bogus'.",
                "ZARNCMD001LE Operation failed: file '/data/a.txt', operation "
                "3 'bogus here'.",
                "ZARNPFI004CT The program failed on file '/data/a.txt'; the "
                "run stops.",
                "--- Zarn parameters from the '/p.ini' file",
                "Section [Data], parameter 'Datafolder' = '/data'",
                "Section [Data], parameter 'Files' = '(.)*\\.(.)*'",
                "Section [Data], parameter 'Recursion' = 'Yes'",
                "Section [Data], parameter 'Zarnfolder' = '/prog'",
                "Section [Data], parameter 'Start' = 'p.zarn'",
                "Section [Log], parameter 'Log' = '/logs/zarn.log'",
                "Section [Log], parameter 'Logappend' = 'No'",
                "Section [String_parm]: No string parameters specified.",
                "--- Zarn program from the '/prog/p.zarn' file",
                "[001]setc x,1",
                "[002]set *filestring,changed",
                "[003]bogus here",
                "[004]setc y,2",
                "ZARNPFI006CI End of run: 1 files processed, 1 changes in "
                "all."}));
}

// A stop wins over a file that failed: status 2, not 3.
TEST(FileLoop, FailedWriteBackOfTheFileThatStopsTheRun) {
  MemoryRun run;
  run.fs.AddFile("/data/a.txt", "A");
  run.fs.AddFile("/data/b.txt", "B");
  run.fs.FailWriteAfter("/data/a.txt", 3, EIO);
  run.Run("set *filestring,changed\r\nbogus\r\n");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.File("a.txt"), "A");
  EXPECT_EQ(run.File("b.txt"), "B");
  EXPECT_EQ(run.TemporariesLeft(), std::vector<std::string>{});
  std::vector<std::string> log = run.Body();
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(log[3],
            "ZARNPFI002CE File '/data/a.txt' cannot be written back (error 5); "
            "it keeps its previous content.");
  EXPECT_EQ(log[4],
            "ZARNPFI004CT The program failed on file '/data/a.txt'; the run "
            "stops.");

}

TEST(FileLoop, WlogWithoutNameFailsOnlyThatFile) {
  MemoryRun run;
  run.Run("set *filestring,x\r\nwlog ,\r\nset *filestring,never\r\n",
          {{"a.txt", "A"}, {"b.txt", "B"}});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.File("a.txt"), "x");
  EXPECT_EQ(run.File("b.txt"), "x");
}

TEST(FileLoop, UserVariablesCarryOverSystemVariablesAreReset) {
  MemoryRun run;
  run.Run(
      "setc x,I\r\n"
      "cat m,m,x\r\n"  // m grows by one letter per file
      "set n,len(m)\r\n"
      "set *filestring,cs(*file,:,n,:,*pos,:,*allfiles,:,*allchanges)\r\n"
      "set *pos,3\r\n",
      {{"a.txt", "A"}, {"b.txt", "B"}, {"c.txt", "C"}});
  EXPECT_EQ(run.status, 0) << run.report;
  EXPECT_EQ(run.File("a.txt"), "/data/a.txt:1:1:0:0");
  EXPECT_EQ(run.File("b.txt"), "/data/b.txt:2:1:1:1");
  EXPECT_EQ(run.File("c.txt"), "/data/c.txt:3:1:2:2");
}

TEST(FileLoop, EmptyDataFolderGivesOnlyTheSummary) {
  MemoryRun run;
  run.Run("set *filestring,x\r\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.Body(), std::vector<std::string>{
                            "ZARNPFI006CI End of run: 0 files processed, 0 "
                            "changes in all."});
}

// A text longer than the largest file a run can read back (here 10 bytes)
// is refused by rep and by every assignment of *filestring: the command's
// error, the file untouched, the run stopped.
TEST(FileLoop, TextLongerThanAReadableFileIsRefused) {
  const struct {
    const char* program;
    const char* message;  // empty: accepted
  } cases[] = {
      {"setc p,c\r\nfind p,b,h,a\r\nsetc x,XXXXXXX\r\nrep h,x\r\n",
       "ZARNCMD009CT Command rep: the file text would be 12 bytes long, more "
       "than the 10 bytes of the largest file Zarn can read back."},
      {"set *filestring,cs(*filestring,*filestring)\r\n",
       "ZARNCMD009CT Command set: the file text would be 12 bytes long, more "
       "than the 10 bytes of the largest file Zarn can read back."},
      {"setc *filestring,0123456789A\r\n",
       "ZARNCMD009CT Command setc: the file text would be 11 bytes long, more "
       "than the 10 bytes of the largest file Zarn can read back."},
      {"cat *filestring,*filestring,*filestring\r\n",
       "ZARNCMD009CT Command cat: the file text would be 12 bytes long, more "
       "than the 10 bytes of the largest file Zarn can read back."},
      {"set *filestring,cs(*filestring,1234)\r\n", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program);
    MemoryRun run;
    run.max_text_size = 10;
    run.Run(c.program, {{"a.txt", "abcdef"}});
    if (*c.message == 0) {
      EXPECT_EQ(run.status, 0);
      EXPECT_EQ(run.File("a.txt"), "abcdef1234");
      continue;
    }
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.File("a.txt"), "abcdef");
    const std::vector<std::string> log = run.Body();
    EXPECT_EQ(std::count(log.begin(), log.end(), c.message), 1);
  }
}

// Another program at work in the tree: a file swapped for another after the
// listing is not read; a file written to between read and rename is not
// replaced, and its backup is not kept.
TEST(FileLoop, FilesChangedByOthersDuringTheRunAreLeftToThem) {
  MemoryRun run;
  run.options.backup_suffix = ".orig";
  run.fs.SetHook(FileStep::kOpen, [&](const std::string& path) {
    if (path != "/data/a.txt") return;
    run.fs.RemoveFile(path);
    run.fs.AddFile(path, "foo other");
  });
  run.fs.SetHook(FileStep::kCommit, [&](const std::string& path) {
    if (path == "/data/b.txt") run.fs.AddFile(path, "foo b, then more");
  });
  run.Run(kFooToBar,
          {{"a.txt", "foo a"}, {"b.txt", "foo b"}, {"c.txt", "foo"}});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.File("a.txt"), "foo other");
  EXPECT_EQ(run.File("b.txt"), "foo b, then more");
  EXPECT_EQ(run.File("c.txt"), "bar");
  EXPECT_EQ(run.File("b.txt.orig"), "<missing>");
  EXPECT_EQ(run.File("c.txt.orig"), "foo");
  const std::vector<std::string> log = run.Body();
  ASSERT_EQ(log.size(), 9u);
  EXPECT_EQ(log[1], "ZARNPFI001CE '/data/a.txt' cannot be read (error 116).");
  EXPECT_EQ(log[4],
            "ZARNPFI008CE File '/data/b.txt' changed during the run (another "
            "program wrote to it after it was read); it is not replaced and "
            "keeps what the other program wrote.");
}

// A search that runs into the engine's limit is said once per file on
// standard error, with the operation's number; its result stays as
// designed: nothing found.
TEST(FileLoop, EngineLimitIsReportedOncePerFile) {
  MemoryRun run;
  const std::string text = std::string(40, 'a') + "X Y";
  run.Run(
      "setc p,(a|aa)+b|Y\r\nfind p,b,h,a\r\nfind p,b,h,a\r\n"
      "set *filestring,*rcf\r\n",
      {{"a.txt", text}, {"b.txt", text}});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.File("a.txt"), "0");
  const std::string line =
      "ZARNCMD010CE Operation 2, file '/data/%': a search ran into the limit "
      "of the regular-expression engine; it may have missed matches (said "
      "once per file).";
  EXPECT_EQ(run.report, "Zarn 2.0: " + ReplaceEvery(line, "%", "a.txt") +
                            "\nZarn 2.0: " + ReplaceEvery(line, "%", "b.txt") +
                            "\n");
}

TEST(FileLoop, DefaultLogInTheDataFolderIsProcessedToo) {
  MemoryRun run;
  run.log_section = "";
  run.Run("", {{"a.txt", ""}});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.File("zarn.log").find("Processing file '/data/zarn.log'"),
            std::string::npos);
}

}  // namespace
}  // namespace zarn::testing
