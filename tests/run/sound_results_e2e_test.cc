// Results a program edits through: capture ranges where the groups
// matched, rep that keeps every containing range whole, and no rewrite of
// a file whose text came out as it was read.
#include <sys/stat.h>
#include <unistd.h>

#include "run/e2e_fixture.h"

namespace zarn::testing {
namespace {

using SoundResults = E2eTest;

struct Identity {
  ino_t inode;
  nlink_t links;
  struct timespec mtime;
};

Identity IdentityOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return Identity{st.st_ino, st.st_nlink, st.st_mtim};
}

bool Same(const Identity& a, const Identity& b) {
  return a.inode == b.inode && a.links == b.links &&
         a.mtime.tv_sec == b.mtime.tv_sec && a.mtime.tv_nsec == b.mtime.tv_nsec;
}

// The log text of a run, every wlog dump included.
std::string LogText(const std::string& path) { return ReadFile(path); }

TEST_F(SoundResults, EditsThroughCaptureGroupsLandWhereTheGroupsMatched) {
  struct Case {
    const char* program;
    const char* input;
    const char* output;
  };
  const Case cases[] = {
      // The group's text "d" also stands in "def".
      {"setc pat,def (\\w+)\\(\nsetc new,renamed\nfindup pat,b,hit,a\n"
       "rep *ctx1,new",
       "def d(x): pass\n", "def renamed(x): pass\n"},
      // A nested group has its own range.
      {"setc p,((a)b)\nsetc n,X\nfind p,b,m,a\nrep *ctx2,n", "zab", "zXb"},
      // An empty group is an insertion point where it matched.
      {"setc p,b()\nsetc n,X\nfind p,b,m,a\nrep *ctx1,n", "abc", "abXc"},
      // Letter case ignored: the group is the second letter, not the first.
      {"setc p,a(A)\nsetc n,X\nfind p,b,m,a\nrep *ctx1,n", "aAz", "aXz"},
  };
  for (const Case& c : cases) {
    PutData("a.txt", c.input);
    WriteJob(c.program);
    RunResult r = Run();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Data("a.txt"), c.output) << c.program;
  }
}

TEST_F(SoundResults, RangesThatContainTheReplacedOneStayWhole) {
  // The match ends where *ctx2 ends; *filerange ends there too.
  PutData("a.txt", "abc");
  WriteJob(
      "setc p,(b)(c)\nsetc n,XYZ\nfind p,x,m,y\nrep *ctx2,n\n"
      "wlog *filerange\nwlog m\n");
  ASSERT_EQ(Run().status, 0);
  EXPECT_EQ(Data("a.txt"), "abXYZ");
  const std::string log = LogText(RunLog());
  EXPECT_NE(log.find("Range   [*filerange]: 1, 5\r\n" + std::string(20, ' ') +
                     "abXYZ"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Range   [m]: 2, 4\r\n"), std::string::npos) << log;

  // An insertion at the very end: the whole text grows, the range that
  // ends there (before the match) does not.
  PutData("a.txt", "abc");
  WriteJob(
      "setc p,$\nsetc n,XY\nfind p,x,m,y\nrep m,n\nwlog *filerange\nwlog x\n");
  ASSERT_EQ(Run().status, 0);
  EXPECT_EQ(Data("a.txt"), "abcXY");
  const std::string log2 = LogText(RunLog());
  EXPECT_NE(log2.find("Range   [*filerange]: 1, 5\r\n"), std::string::npos)
      << log2;
  EXPECT_NE(log2.find("Range   [x]: 1, 3\r\n"), std::string::npos) << log2;
}

TEST_F(SoundResults, TextThatComesOutAsReadIsNotWrittenBack) {
  struct Case {
    const char* program;
    const char* changes;  // as the log shows them
  };
  const Case cases[] = {
      // The one-operation form with a text that occurs nowhere.
      {"set *filestring,sr(*filestring,zzz,y)", "1"},
      // An edit undone by the next one.
      {"set *filestring,sr(*filestring,foo,bar)\n"
       "set *filestring,sr(*filestring,bar,foo)",
       "2"},
      // A replacement by the same text.
      {"setc p,foo\nfind p,b,m,a\nsetc n,foo\nrep m,n", "1"},
  };
  for (const auto& [program, changes] : cases) {
    PutData("same.txt", "a foo b\n");
    PutData("linked.txt", "no match\r\n");
    ASSERT_EQ(
        ::link((data_ + "/linked.txt").c_str(), (root_ + "/outside").c_str()),
        0);
    const Identity same = IdentityOf(data_ + "/same.txt");
    const Identity linked = IdentityOf(data_ + "/linked.txt");
    WriteJob(program);
    for (const char* option : {"--diff", "--backup=.orig", ""}) {
      RunResult r = Run(*option ? std::vector<std::string>{option}
                                : std::vector<std::string>{});
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.out, "") << program << " " << option;  // nothing to diff
      EXPECT_EQ(Data("same.txt"), "a foo b\n");
      EXPECT_TRUE(Same(same, IdentityOf(data_ + "/same.txt"))) << program;
      EXPECT_TRUE(Same(linked, IdentityOf(data_ + "/linked.txt"))) << program;
      EXPECT_EQ(Entries(data_),
                (std::vector<std::string>{"linked.txt", "same.txt"}));
    }
    // The log keeps the count the program made.
    std::vector<std::string> log = LogLines(RunLog());
    EXPECT_NE(
        std::find(log.begin(), log.end(),
                  std::string("ZARNPFI005CI File done, changes: ") + changes),
        log.end())
        << program;
    ::unlink((root_ + "/outside").c_str());
  }
}

}  // namespace
}  // namespace zarn::testing
