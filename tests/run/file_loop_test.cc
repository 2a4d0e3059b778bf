// The file loop over an in-memory tree: selection, order, write-back only
// on change, failures of single files, the stop on a failed operation, and
// variables carried from file to file.
#include <gtest/gtest.h>

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

TEST(FileLoop, OnlyChangedFilesAreWrittenBack) {
  MemoryRun run;
  run.Run(kFooToBar, {{"a.txt", "foo foo\r\nfoo"},
                      {"b.txt", "nothing here"},
                      {"c.txt", "FOO is not foo"}});
  EXPECT_EQ(run.status, 0) << run.report;
  EXPECT_EQ(run.File("a.txt"), "bar bar\r\nbar");
  EXPECT_EQ(run.File("b.txt"), "nothing here");
  EXPECT_EQ(run.File("c.txt"), "FOO is not bar");
  EXPECT_EQ(run.fs.WriteCount("/data/a.txt"), 1);
  EXPECT_EQ(run.fs.WriteCount("/data/b.txt"), 0);
  std::vector<std::string> log = run.Log();
  EXPECT_EQ(log.back(), "ZARNPFI006CI End of run: 3 files processed, 4 changes in all.");
}

TEST(FileLoop, UnreadableFileIsLoggedCountedAndSkipped) {
  MemoryRun run;
  run.fs.AddFile("/data/a.txt", "foo");
  run.fs.AddFile("/data/b.txt", "foo");
  run.fs.AddFile("/data/c.txt", "foo foo");
  run.fs.Fail(Op::kRead, "/data/b.txt", EIO);
  run.Run(kFooToBar);
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.File("a.txt"), "bar");
  EXPECT_EQ(run.File("b.txt"), "foo");
  EXPECT_EQ(run.File("c.txt"), "bar bar");
  std::vector<std::string> log = run.Log();
  std::vector<std::string> expected = {
      "ZARNPFI003CI Processing file '/data/a.txt'",
      "ZARNPFI005CI File done, changes: 1",
      "ZARNPFI003CI Processing file '/data/b.txt'",
      "ZARNPFI001CE '/data/b.txt' cannot be read (error 5).",
      "ZARNPFI005CI File done, changes: 1",  // the previous file's count
      "ZARNPFI003CI Processing file '/data/c.txt'",
      "ZARNPFI005CI File done, changes: 2",
      "ZARNPFI006CI End of run: 3 files processed, 3 changes in all."};
  EXPECT_EQ(std::vector<std::string>(log.begin() + 1, log.end()), expected);
}

TEST(FileLoop, FailedWriteBackKeepsTheOriginalAndGoesOn) {
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

TEST(FileLoop, UnlistableFolderIsReportedAndSkipped) {
  MemoryRun run;
  run.fs.AddFile("/data/sub/a.txt", "foo");
  run.fs.AddFile("/data/z.txt", "foo");
  run.fs.Fail(Op::kList, "/data/sub", EACCES);
  run.Run(kFooToBar);
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.File("z.txt"), "bar");
  EXPECT_EQ(run.File("sub/a.txt"), "foo");
  std::vector<std::string> log = run.Log();
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "ZARNPFI001CE '/data/sub' cannot be read (error 13)."),
            log.end());
}

TEST(FileLoop, FailedOperationStopsTheRunAfterWritingTheFile) {
  MemoryRun run;
  run.Run("setc x,1\r\nset *filestring,changed\r\nbogus here\r\nsetc y,2\r\n",
          {{"a.txt", "A"}, {"b.txt", "B"}});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.File("a.txt"), "changed");  // its change was already counted
  EXPECT_EQ(run.File("b.txt"), "B");        // never processed
  std::vector<std::string> log = run.Log();
  std::vector<std::string> expected = {
      "ZARNPFI003CI Processing file '/data/a.txt'",
      "ZARNCMD004CT Unrecognised command 'bogus'.",
      "ZARNCMD001LE Operation failed: file '/data/a.txt', operation 3 'bogus here'.",
      "ZARNPFI004CT The program failed on file '/data/a.txt'; the run stops.",
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
      "ZARNPFI006CI End of run: 1 files processed, 1 changes in all."};
  EXPECT_EQ(std::vector<std::string>(log.begin() + 1, log.end()), expected);
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
  std::vector<std::string> log = run.Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1], "ZARNPFI006CI End of run: 0 files processed, 0 changes in all.");
  EXPECT_EQ(run.status, 0);
}

TEST(FileLoop, DefaultLogInTheDataFolderIsProcessedToo) {
  MemoryRun run;
  run.fs.AddFile("/prog/p.zarn", "");
  run.fs.AddFile("/data/a.txt", "");
  run.fs.AddFile("/p.ini",
                 "[Data]\nDatafolder=/data\nZarnfolder=/prog\nStart=p.zarn\n");
  RunState st(run.fs, run.clock);
  st.AppFolder = "/app";
  st.ParmFile = "/p.ini";
  std::ostringstream report;
  EXPECT_EQ(Main(st, report), 0);
  const std::string& log = *run.fs.Content("/data/zarn.log");
  EXPECT_NE(log.find("Processing file '/data/zarn.log'"), std::string::npos);
}

}  // namespace
}  // namespace zarn::testing
