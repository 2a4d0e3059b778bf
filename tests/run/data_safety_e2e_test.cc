// The real binary: --fsync forces each rewritten file to disk before its
// rename and its folder after it; a rewritten file keeps its metadata.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <sstream>

#include "run/e2e_fixture.h"

namespace zarn::testing {
namespace {

class DataSafety : public E2eTest {};

TEST_F(DataSafety, FsyncOptionIsListedAndTakesNoValue) {
  RunResult help = RunProgram({Binary(), "--help"}, root_);
  EXPECT_NE(help.out.find("--fsync"), std::string::npos);
  PutData("a.txt", "foo");
  WriteParams();
  WriteProgram("set *filestring,sr(*filestring,foo,bar)\n");
  RunResult r = Run({"--fsync=yes"});
  EXPECT_EQ(r.status, 64);
  EXPECT_EQ(Data("a.txt"), "foo");
  r = Run({"--fsync"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Data("a.txt"), "bar");
}

bool HaveStrace() { return ::access("/usr/bin/strace", X_OK) == 0; }

// The fsync and rename calls of a run, as strace writes them.
std::string Trace(const std::vector<std::string>& args,
                  const std::string& scratch) {
  const std::string out = scratch + "/trace";
  // LeakSanitizer cannot work under a tracer; the sanitizer build's leak
  // check is done by every other test.
  std::vector<std::string> argv = {
      "/usr/bin/strace",
      "-f",
      "-qq",
      "-o",
      out,
      "-E",
      "ASAN_OPTIONS=detect_leaks=0",
      "-e",
      "trace=fsync,fdatasync,rename,renameat,renameat2"};
  argv.insert(argv.end(), args.begin(), args.end());
  RunResult r = RunProgram(argv, scratch);
  EXPECT_EQ(r.status, 0) << r.err;
  return ReadFile(out);
}

// The file names of the renames and the count of fsync calls, in order:
// "S" per fsync, "R name" per rename.
std::vector<std::string> SyncsAndRenames(const std::string& trace) {
  std::vector<std::string> events;
  std::istringstream lines(trace);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.find("fsync(") != std::string::npos) {
      events.push_back("S");
    } else if (line.find("rename") != std::string::npos) {
      size_t last = line.rfind('"');
      size_t first = line.rfind('/', last);
      events.push_back("R " + line.substr(first + 1, last - first - 1));
    }
  }
  return events;
}

TEST_F(DataSafety, FsyncForcesEachFileBeforeItsRenameAndTheFolderAfter) {
  PutData("a.txt", "foo");
  PutData("b.txt", "nothing to change");
  PutData("c.txt", "foo foo");
  WriteParams("Files=\\.txt$\r\n", "[Log]\r\nLog=" + root_ + "/run.log\r\n");
  // Only a file holding "foo" is changed, and so rewritten.
  WriteProgram(
      "setc p,foo\nfind p,b,h,a\nif *rcf\n"
      "set *filestring,sr(*filestring,foo,bar)\nelse\nendif\n");
  if (!HaveStrace()) GTEST_SKIP() << "strace is not available here";
  const std::string plain = Trace({Binary(), ParamPath()}, root_);
  EXPECT_EQ(SyncsAndRenames(plain),
            (std::vector<std::string>{"R run.log", "R a.txt", "R c.txt"}));
  PutData("a.txt", "foo");
  PutData("c.txt", "foo foo");
  const std::string synced = Trace({Binary(), "--fsync", ParamPath()}, root_);
  EXPECT_EQ(SyncsAndRenames(synced),
            (std::vector<std::string>{"S", "R run.log", "S", "S", "R a.txt",
                                      "S", "S", "R c.txt", "S"}));
  EXPECT_EQ(Data("a.txt"), "bar");
  EXPECT_EQ(Data("c.txt"), "bar bar");
}

TEST_F(DataSafety, RewrittenFileKeepsModeOwnerGroupAndAttributes) {
  PutData("a.txt", "foo");
  const std::string path = data_ + "/a.txt";
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(path.c_str(), 4242, 4343), 0);
  }
  ASSERT_EQ(::chmod(path.c_str(), 0604), 0);
  const bool xattrs =
      ::setxattr(path.c_str(), "user.zarn.test", "kept", 4, 0) == 0;
  struct stat before {};
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  WriteParams("Files=\\.txt$\r\n", "[Log]\r\nLog=" + root_ + "/run.log\r\n");
  WriteProgram("set *filestring,sr(*filestring,foo,bar)\n");
  RunResult r = Run();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Data("a.txt"), "bar");
  struct stat after {};
  ASSERT_EQ(::stat(path.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
  if (root) {
    EXPECT_EQ(after.st_uid, 4242u);
  }
  if (xattrs) {
    char buf[16] = {};
    EXPECT_EQ(::getxattr(path.c_str(), "user.zarn.test", buf, sizeof buf), 4);
    EXPECT_STREQ(buf, "kept");
  }
}

}  // namespace
}  // namespace zarn::testing
