// Previewing a run with the real binary: the dry run, the diff applied by
// patch, backups and the log copied to standard error.
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "run/e2e_fixture.h"

namespace zarn::testing {
namespace {

// Every file of a tree: its bytes and modification time.
struct FileState {
  std::string content;
  int64_t mtime_sec = 0;
  int64_t mtime_nsec = 0;
  bool operator==(const FileState&) const = default;
};

std::map<std::string, FileState> TreeState(const std::string& root) {
  std::map<std::string, FileState> files;
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    const std::string path = entry.path().string();
    struct stat st;
    ::stat(path.c_str(), &st);
    files[path.substr(root.size())] =
        FileState{ReadFile(path), st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
  }
  return files;
}

std::map<std::string, std::string> TreeContents(const std::string& root) {
  std::map<std::string, std::string> out;
  for (const auto& [path, state] : TreeState(root)) out[path] = state.content;
  return out;
}

using Preview = E2eTest;

const std::string kDryRunLine =
    "ZARNPFI007CI Dry run: no data file is written back; the counts below say "
    "what a real run would change.";

// A tree with CR LF and LF files, a file without a final line end, a name
// with a blank, a file that becomes empty, a binary file and one the
// program leaves as it is. foo becomes bar, SPLIT becomes a line end (CR
// LF), and a line "JOIN" ended by CR LF goes away.
TEST_F(Preview, DryRunAndDiffWriteNothingAndPatchGivesWhatARealRunWrites) {
  MakeFolder("sub");
  MakeFolder("sub/deep");
  PutData("crlf.txt", "foo\r\nkeep\r\nJOIN\r\na SPLIT b\r\nlast");
  std::string lf;
  for (int i = 1; i <= 20; ++i) {
    lf += (i == 3 || i == 17 ? "foo " : "line ") + std::to_string(i) + "\n";
  }
  PutData("lf.txt", lf);
  PutData("same.txt", "nothing to do\n");
  PutData("sub/my file.txt", "a foo\nb\n");
  PutData("sub/deep/gone.txt", "JOIN\r\n");
  PutData("sub/deep/bin.txt", std::string("x\0foo\n", 6));
  WriteJob(
      "set *filestring,sr(*filestring,foo,bar)\n"
      "set *filestring,sr(*filestring,SPLIT,*crlf)\n"
      "set *filestring,sr(*filestring,cs(JOIN,*crlf),*null)\n");
  // A copy of the data to patch, made before anything runs.
  const std::string copy = root_ + "/copy";
  ASSERT_EQ(std::system(("cp -a '" + data_ + "' '" + copy + "'").c_str()), 0);
  const auto before = TreeState(data_);

  RunResult dry = Run({"--dry-run"});
  ASSERT_EQ(dry.status, 0) << dry.err;
  EXPECT_EQ(dry.out, "");
  EXPECT_EQ(dry.err, "");
  // Not one byte, time stamp or new file (no temporary, no backup).
  EXPECT_EQ(TreeState(data_), before);
  std::vector<std::string> dry_log = LogLines(RunLog());

  RunResult diff = Run({"--diff"});
  ASSERT_EQ(diff.status, 0) << diff.err;
  EXPECT_EQ(TreeState(data_), before);  // --diff is a dry run
  EXPECT_EQ(LogLines(RunLog()), dry_log);
  // Paths relative to the data folder; the binary file only named.
  EXPECT_NE(diff.out.find("--- a/crlf.txt\n+++ b/crlf.txt\n"),
            std::string::npos);
  EXPECT_NE(diff.out.find("--- a/sub/my file.txt\t\n"), std::string::npos);
  EXPECT_NE(
      diff.out.find("Binary files a/sub/deep/bin.txt and b/sub/deep/bin.txt "
                    "differ\n"),
      std::string::npos);
  EXPECT_EQ(diff.out.find("same.txt"), std::string::npos);  // no difference
  EXPECT_NE(diff.out.find("-a SPLIT b\r\n+a \r\n+ b\r\n"), std::string::npos);
  WriteFile(root_ + "/run.patch", diff.out);
  ASSERT_EQ(std::system(("cd '" + copy + "' && patch -s -p1 < '" + root_ +
                         "/run.patch' >/dev/null 2>&1")
                            .c_str()),
            0);

  RunResult real = Run();
  ASSERT_EQ(real.status, 0) << real.err;
  std::vector<std::string> real_log = LogLines(RunLog());
  // The dry run's log is the real run's plus one line after the banner.
  ASSERT_GE(dry_log.size(), 2u);
  EXPECT_EQ(dry_log[1], kDryRunLine);
  dry_log.erase(dry_log.begin() + 1);
  EXPECT_EQ(dry_log, real_log);
  EXPECT_EQ(real_log.back(),
            "ZARNPFI006CI End of run: 6 files processed, 18 changes in all.");
  std::map<std::string, std::string> patched = TreeContents(copy);
  std::map<std::string, std::string> written = TreeContents(data_);
  // patch does not write binary files; everything else is byte for byte.
  EXPECT_EQ(written["/sub/deep/bin.txt"], std::string("x\0bar\n", 6));
  patched.erase("/sub/deep/bin.txt");
  written.erase("/sub/deep/bin.txt");
  EXPECT_EQ(patched, written);
  EXPECT_EQ(written["/crlf.txt"], "bar\r\nkeep\r\na \r\n b\r\nlast");
  EXPECT_EQ(written["/sub/deep/gone.txt"], "");
}

TEST_F(Preview, DryRunKeepsTheExitStatusOfAStop) {
  PutData("a.txt", "foo");
  PutData("b.txt", "foo");
  WriteJob("set *filestring,sr(*filestring,foo,bar)\nbogus\n", "");
  const auto before = TreeState(data_);
  RunResult dry = Run({"--dry-run"});
  EXPECT_EQ(dry.status, 2);
  EXPECT_EQ(TreeState(data_), before);
  std::vector<std::string> dry_log = LogLines(RunLog());
  RunResult real = Run();
  EXPECT_EQ(real.status, 2);
  EXPECT_EQ(real.err, "");  // after start-up, failures go to the log only
  EXPECT_EQ(Data("a.txt"), "bar");  // the real run still wrote it
  dry_log.erase(dry_log.begin() + 1);
  EXPECT_EQ(dry_log, LogLines(RunLog()));
}

TEST_F(Preview, BackupKeepsTheOriginalOfEachChangedFileOnly) {
  PutData("a.txt", "foo\r\n");
  PutData("a.txt.orig", "an older backup");
  PutData("b.txt", "no change\n");
  MakeFolder("sub");
  PutData("sub/c.txt", "x foo");
  ::chmod((data_ + "/a.txt").c_str(), 0640);
  WriteJob(
      "setc pat,foo\nsetc new,bar\nfindup pat,before,hit,after\n"
      "if *rcf\nrep hit,new\nelse\nendif\n");
  RunResult r = Run({"--backup=.orig"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Data("a.txt"), "bar\r\n");
  EXPECT_EQ(Data("a.txt.orig"), "foo\r\n");  // the older backup replaced
  EXPECT_EQ(Data("sub/c.txt"), "x bar");
  EXPECT_EQ(Data("sub/c.txt.orig"), "x foo");
  struct stat st;
  ::stat((data_ + "/a.txt").c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  // Exactly the data files, their backups and nothing else.
  std::vector<std::string> names;
  for (const auto& [path, state] : TreeState(data_)) names.push_back(path);
  EXPECT_EQ(names, (std::vector<std::string>{"/a.txt", "/a.txt.orig", "/b.txt",
                                             "/sub/c.txt", "/sub/c.txt.orig"}));

  // A dry run makes no backup either.
  PutData("b.txt", "foo");
  RunResult dry = Run({"--dry-run", "--backup=.bak"});
  EXPECT_EQ(dry.status, 0);
  EXPECT_FALSE(Exists(data_ + "/b.txt.bak"));
}

TEST_F(Preview, LogStderrCopiesEveryLogLineAsLogged) {
  PutData("a.txt", "foo");
  WriteJob("set *filestring,sr(*filestring,foo,bar)\n", "");
  RunResult r = Run({"--log-stderr", "--dry-run"});
  ASSERT_EQ(r.status, 0);
  // Each log line, stamp included, ended by a bare line feed.
  EXPECT_EQ(r.err, ReplaceEvery(ReadFile(RunLog()), "\r\n", "\n"));
  // Banner, dry run, the file's two lines, summary.
  EXPECT_EQ(LogLines(RunLog()).size(), 5u);
  EXPECT_EQ(r.out, "");
  // Without the option, standard error stays empty.
  EXPECT_EQ(Run({"--dry-run"}).err, "");

  // A program that fails its structure check stops after the banner, which
  // is shown too.
  WriteProgram("endif\n");
  r = Run({"--log-stderr"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.substr(0, 20), "=================== ");
  EXPECT_NE(r.err.find("Zarn 2.0: "), std::string::npos);
}

}  // namespace
}  // namespace zarn::testing
