// Real editing jobs with the real binary over a real folder tree: what is
// rewritten and how; --fsync forces each rewritten file to disk before its
// rename and its folder after it; a rewritten file keeps its metadata.
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <sstream>

#include "run/e2e_fixture.h"

namespace zarn::testing {
namespace {

using Editing = E2eTest;

struct timespec MTime(const std::string& path) {
  struct stat st;
  ::stat(path.c_str(), &st);
  return st.st_mtim;
}

TEST_F(Editing, RewritesExactlyTheChangedFilesOfTheTree) {
  MakeFolder("sub");
  MakeFolder("sub/deep");
  PutData("crlf.txt", "foo\r\nxfoox\r\n");
  PutData("lf.txt", "a foo\nb\n");
  PutData("none.txt", "nothing\n");
  PutData("sub/deep/binary.txt", std::string("fo\0foo\xff", 7));
  PutData("skip.dat", "foo");
  WriteJob(std::string("/// foo becomes bar\r\n") + kFooToBar);
  struct timespec none_before = MTime(data_ + "/none.txt");
  ::chmod((data_ + "/lf.txt").c_str(), 0600);

  RunResult r = Run();
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Data("crlf.txt"), "bar\r\nxbarx\r\n");
  EXPECT_EQ(Data("lf.txt"), "a bar\nb\n");
  EXPECT_EQ(Data("none.txt"), "nothing\n");
  EXPECT_EQ(Data("sub/deep/binary.txt"), std::string("fo\0bar\xff", 7));
  EXPECT_EQ(Data("skip.dat"), "foo");
  struct timespec none_after = MTime(data_ + "/none.txt");
  EXPECT_EQ(none_before.tv_sec, none_after.tv_sec);
  EXPECT_EQ(none_before.tv_nsec, none_after.tv_nsec);
  struct stat st;
  ::stat((data_ + "/lf.txt").c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  std::vector<std::string> log = LogLines(RunLog());
  std::vector<std::string> expected = {
      "ZARNPFI003CI Processing file '" + data_ + "/crlf.txt'",
      "ZARNPFI005CI File done, changes: 2",
      "ZARNPFI003CI Processing file '" + data_ + "/lf.txt'",
      "ZARNPFI005CI File done, changes: 1",
      "ZARNPFI003CI Processing file '" + data_ + "/none.txt'",
      "ZARNPFI005CI File done, changes: 0",
      "ZARNPFI003CI Processing file '" + data_ + "/sub/deep/binary.txt'",
      "ZARNPFI005CI File done, changes: 1",
      "ZARNPFI006CI End of run: 4 files processed, 4 changes in all."};
  EXPECT_EQ(std::vector<std::string>(log.begin() + 1, log.end()), expected);
  // No temporary file is left anywhere.
  EXPECT_EQ(RunProgram({"/usr/bin/find", data_, "-name", ".*"}, root_).out, "");
}

TEST_F(Editing, StructureErrorStopsBeforeAnyFileIsTouched) {
  PutData("a.txt", "foo");
  WriteParams();
  WriteProgram("setc a,1\r\nif a\r\nsetc b,2\r\nendif\r\nendif\r\n");
  RunResult r = Run();
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Zarn 2.0: ZARNCTP001CT Operation 005 'endif': endif "
                   "without an open if.\n");
  EXPECT_EQ(Data("a.txt"), "foo");
  std::vector<std::string> log = LogLines();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 2],
            "ZARNCTP000CT The Zarn program failed the structure check:");
  EXPECT_EQ(log.back(),
            "ZARNCTP001CT Operation 005 'endif': endif without an open if.");
}

// The fsync and rename calls of a run, as strace shows them, in order: "S"
// per fsync, "R name" per rename.
std::vector<std::string> SyncsAndRenames(std::vector<std::string> args,
                                         const std::string& scratch) {
  const std::string out = scratch + "/trace";
  // LeakSanitizer cannot work under a tracer; the sanitizer build's leak
  // check is done by every other test.
  args.insert(args.begin(),
              {"/usr/bin/strace", "-f", "-qq", "-o", out, "-E",
               "ASAN_OPTIONS=detect_leaks=0", "-e",
               "trace=fsync,fdatasync,rename,renameat,renameat2"});
  RunResult r = RunProgram(args, scratch);
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<std::string> events;
  std::istringstream lines(ReadFile(out));
  for (std::string line; std::getline(lines, line);) {
    if (line.find("fsync(") != std::string::npos) {
      events.push_back("S");
    } else if (line.find("rename") != std::string::npos) {
      // The target's name: the last quoted argument, a path or a name
      // in the folder of a descriptor.
      size_t last = line.rfind('"');
      size_t open = line.rfind('"', last - 1);
      std::string target = line.substr(open + 1, last - open - 1);
      events.push_back("R " + target.substr(target.rfind('/') + 1));
    }
  }
  return events;
}

TEST_F(Editing, FsyncForcesEachFileBeforeItsRenameAndTheFolderAfter) {
  PutData("a.txt", "foo");
  PutData("b.txt", "nothing to change");
  PutData("c.txt", "foo foo");
  // Only a file holding "foo" is changed, and so rewritten.
  WriteJob("setc p,foo\nfind p,b,h,a\nif *rcf\n"
           "set *filestring,sr(*filestring,foo,bar)\nelse\nendif\n");
  if (::access("/usr/bin/strace", X_OK) != 0) GTEST_SKIP() << "no strace here";
  EXPECT_EQ(SyncsAndRenames({Binary(), ParamPath()}, root_),
            (std::vector<std::string>{"R run.log", "R a.txt", "R c.txt"}));
  PutData("a.txt", "foo");
  PutData("c.txt", "foo foo");
  EXPECT_EQ(SyncsAndRenames({Binary(), "--fsync", ParamPath()}, root_),
            (std::vector<std::string>{"S", "R run.log", "S", "S", "R a.txt",
                                      "S", "S", "R c.txt", "S"}));
  EXPECT_EQ(Data("a.txt"), "bar");
  EXPECT_EQ(Data("c.txt"), "bar bar");
}

TEST_F(Editing, RewrittenFileKeepsModeOwnerGroupAndAttributes) {
  PutData("a.txt", "foo");
  const std::string path = data_ + "/a.txt";
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(path.c_str(), 4242, 4343), 0);
  }
  ASSERT_EQ(::chmod(path.c_str(), 0604), 0);
  const bool xattrs =
      ::setxattr(path.c_str(), "user.zarn.test", "kept", 4, 0) == 0;
  struct stat before {}, after {};
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  WriteJob("set *filestring,sr(*filestring,foo,bar)\n");
  RunResult r = Run();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Data("a.txt"), "bar");
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
