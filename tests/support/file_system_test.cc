// The real file system, once, against a temporary folder.
#include "support/file_system.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace zarn {
namespace {

class RealFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/zarn-fs-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    std::string cmd = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  std::string Path(const std::string& name) { return dir_ + "/" + name; }
  void Put(const std::string& name, const std::string& content) {
    std::ofstream(Path(name), std::ios::binary) << content;
  }
  std::vector<std::string> AllEntries() {
    std::vector<std::string> out;
    DIR* d = ::opendir(dir_.c_str());
    while (struct dirent* e = ::readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") out.push_back(n);
    }
    ::closedir(d);
    std::sort(out.begin(), out.end());
    return out;
  }

  std::string dir_;
  RealFileSystem fs_;
};

TEST_F(RealFileSystemTest, ReadsAndReplacesBytesExactly) {
  std::string bytes("a\r\nb\0c\xff\n", 8);
  Put("f.txt", "old");
  ASSERT_EQ(::chmod(Path("f.txt").c_str(), 0640), 0);
  EXPECT_EQ(fs_.WriteWholeFile(Path("f.txt"), bytes), 0);
  std::string back;
  EXPECT_EQ(fs_.ReadWholeFile(Path("f.txt"), &back), 0);
  EXPECT_EQ(back, bytes);
  struct stat st;
  ASSERT_EQ(::stat(Path("f.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(AllEntries(), std::vector<std::string>{"f.txt"});  // no temp left
}

TEST_F(RealFileSystemTest, FailedReplaceLeavesOriginalAndNoTemporary) {
  ASSERT_EQ(::mkdir(Path("sub").c_str(), 0755), 0);
  // Renaming a file over a folder fails after the temporary was written.
  EXPECT_EQ(fs_.WriteWholeFile(Path("sub"), "x"), EISDIR);
  EXPECT_EQ(AllEntries(), std::vector<std::string>{"sub"});
  EXPECT_EQ(fs_.WriteWholeFile(Path("nofolder/x"), "x"), ENOENT);
}

TEST_F(RealFileSystemTest, ReadErrorsAreErrno) {
  std::string content = "stale";
  EXPECT_EQ(fs_.ReadWholeFile(Path("absent"), &content), ENOENT);
  EXPECT_EQ(content, "");
  Put("empty", "");
  EXPECT_EQ(fs_.ReadWholeFile(Path("empty"), &content), 0);
  EXPECT_EQ(content, "");
}

TEST_F(RealFileSystemTest, ListingsFollowTheRules) {
  Put("b.txt", "");
  Put("a.txt", "");
  Put(".hidden", "");
  Put("B.txt", "");
  ASSERT_EQ(::mkdir(Path("sub").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(Path(".git").c_str(), 0755), 0);
  ASSERT_EQ(::symlink("/tmp", Path("link-dir").c_str()), 0);
  ASSERT_EQ(::symlink(Path("a.txt").c_str(), Path("link-file").c_str()), 0);
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0644), 0);
  std::vector<std::string> names;
  ASSERT_EQ(fs_.ListFiles(dir_, &names), 0);
  EXPECT_EQ(names, (std::vector<std::string>{"B.txt", "a.txt", "b.txt"}));
  ASSERT_EQ(fs_.ListSubfolders(dir_, &names), 0);
  EXPECT_EQ(names, (std::vector<std::string>{".git", "sub"}));
  EXPECT_EQ(fs_.ListFiles(Path("absent"), &names), ENOENT);
}

TEST_F(RealFileSystemTest, CreateExclusiveRefusesExistingNamesAndLinks) {
  EXPECT_EQ(fs_.CreateExclusive(Path("t"), "test"), 0);
  EXPECT_EQ(fs_.CreateExclusive(Path("t"), "again"), EEXIST);
  ASSERT_EQ(::symlink(Path("target").c_str(), Path("planted").c_str()), 0);
  EXPECT_EQ(fs_.CreateExclusive(Path("planted"), "x"), EEXIST);
  EXPECT_FALSE(fs_.IsFile(Path("target")));
  EXPECT_EQ(fs_.RemoveFile(Path("t")), 0);
  EXPECT_EQ(fs_.RemoveFile(Path("t")), ENOENT);
}

TEST_F(RealFileSystemTest, AppendCreatesThenAppends) {
  EXPECT_EQ(fs_.AppendToFile(Path("log"), "a"), 0);
  EXPECT_EQ(fs_.AppendToFile(Path("log"), "b"), 0);
  std::string back;
  ASSERT_EQ(fs_.ReadWholeFile(Path("log"), &back), 0);
  EXPECT_EQ(back, "ab");
  EXPECT_TRUE(fs_.IsFile(Path("log")));
  EXPECT_FALSE(fs_.IsFolder(Path("log")));
  EXPECT_TRUE(fs_.IsFolder(dir_));
}

}  // namespace
}  // namespace zarn

namespace zarn {
namespace {

TEST_F(RealFileSystemTest, ReplacementLikeAnotherFileTakesItsMode) {
  Put("orig", "secret");
  ASSERT_EQ(::chmod(Path("orig").c_str(), 0600), 0);
  // A backup of a private file must not become readable by others.
  EXPECT_EQ(fs_.WriteWholeFileLike(Path("orig.bak"), "secret", Path("orig")),
            0);
  struct stat st;
  ASSERT_EQ(::stat(Path("orig.bak").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  std::string back;
  ASSERT_EQ(fs_.ReadWholeFile(Path("orig.bak"), &back), 0);
  EXPECT_EQ(back, "secret");
}

}  // namespace
}  // namespace zarn
