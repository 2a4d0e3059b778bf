// Real editing jobs with the real binary over a real folder tree.
#include <sys/stat.h>

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
  WriteParams("Files=\\.txt$\r\n", "[Log]\r\nLog=" + root_ + "/run.log\r\n");
  WriteProgram(
      "/// foo becomes bar\r\n"
      "setc pat,foo\r\n"
      "setc new,bar\r\n"
      "loop\r\n"
      "findup pat,before,hit,after\r\n"
      "if *rcf\r\n"
      "rep hit,new\r\n"
      "gbeg after\r\n"
      "else\r\n"
      "endif\r\n"
      "lend not(*rcf)\r\n");
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

  std::vector<std::string> log = LogLines(root_ + "/run.log");
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
  RunResult ls = RunProgram({"/usr/bin/find", data_, "-name", ".*"}, root_);
  EXPECT_EQ(ls.out, "");
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

TEST_F(Editing, FailedOperationStopsWithStatusTwo) {
  PutData("a.txt", "x");
  PutData("b.txt", "y");
  WriteParams();
  WriteProgram("set *changes,5\r\n");
  RunResult r = Run();
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "");  // after start-up, failures go to the log only
  std::vector<std::string> log = LogLines();
  EXPECT_EQ(log[2], "ZARNCMD005CT Command set: a protected system variable "
                    "cannot be assigned.");
  EXPECT_EQ(Data("b.txt"), "y");
}

TEST_F(Editing, ProgramWithLfLineEndsLoadsTheSame) {
  PutData("a.txt", "hello");
  WriteParams();
  WriteProgram("setc a,X\nset *filestring,cs(a,*filestring)\n");
  RunResult r = Run();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Data("a.txt"), "Xhello");
}

}  // namespace
}  // namespace zarn::testing
