// What a replacement leaves on a real disk when a write, a rename or an
// fsync fails, what it keeps of the original's metadata, and how it treats
// planted links, how it reads and lists: the real file system against a
// temporary folder, with faults injected through its system-call methods.
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <utility>

#include "support/faulty_real_file_system.h"
#include "support/file_system.h"

namespace zarn::testing {
namespace {

class FileSystemSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/zarn-safety-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    std::string cmd = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  void Put(const std::string& name, const std::string& content) {
    std::ofstream(Path(name), std::ios::binary) << content;
  }
  std::string Get(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  // Every entry of the folder, hidden ones included.
  std::vector<std::string> Entries() const {
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
  struct stat Stat(const std::string& name) const {
    struct stat st {};
    EXPECT_EQ(::lstat(Path(name).c_str(), &st), 0) << name;
    return st;
  }

  std::string dir_;
  FaultyRealFileSystem fs_;
};

const std::string kOld = "old content\r\nline two\r\n";
const std::string kNew(100000, 'n');

TEST_F(FileSystemSafety, TemporaryNameIsHiddenBesideTheTarget) {
  EXPECT_EQ(TemporaryName("/d/notes.txt", "a1b2c3"),
            "/d/.notes.txt.zarn-a1b2c3");
  EXPECT_EQ(TemporaryName("/notes", "000001"), "/.notes.zarn-000001");
  EXPECT_EQ(TemporaryName("notes", "000001"), "./.notes.zarn-000001");
  // A name at the file-name limit is cut so that the temporary name fits.
  std::string long_name(255, 'x');
  std::string temp = TemporaryName("/d/" + long_name, "abcdef");
  EXPECT_EQ(temp.size() - 3, 255u);
  EXPECT_EQ(temp, "/d/." + std::string(242, 'x') + ".zarn-abcdef");
}

TEST_F(FileSystemSafety, FailedReplaceKeepsOriginalAndLeavesNothing) {
  const struct {
    std::string what;  // write (after some bytes), rename or fsync
    size_t after;
    int err;
  } cases[] = {{"write", 0, ENOSPC},
               {"write", 4096, EIO},
               {"rename", 0, EXDEV},
               {"fsync", 0, EIO}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what + " " + std::to_string(c.after));
    fs_ = FaultyRealFileSystem();
    Put("f.txt", kOld);
    if (c.what == "write") fs_.FailWriteAfter(".f.txt.zarn-", c.after, c.err);
    if (c.what == "rename") fs_.FailRename("/f.txt", c.err);
    if (c.what == "fsync") {
      fs_.set_sync_writes(true);
      fs_.FailFileSync("/.f.txt.zarn-", c.err);
    }
    EXPECT_EQ(fs_.WriteWholeFile(Path("f.txt"), kNew), c.err);
    EXPECT_EQ(Get("f.txt"), kOld);
    EXPECT_EQ(Entries(), std::vector<std::string>{"f.txt"});
  }
}

TEST_F(FileSystemSafety, SyncWritesForceFileBeforeRenameAndFolderAfter) {
  Put("f.txt", kOld);
  fs_.PlanSuffixes({"000001", "000002"});
  ASSERT_EQ(fs_.WriteWholeFile(Path("f.txt"), "one"), 0);
  EXPECT_EQ(fs_.events, std::vector<std::string>{"rename " + Path("f.txt")});
  fs_.events.clear();
  fs_.set_sync_writes(true);
  ASSERT_EQ(fs_.WriteWholeFile(Path("f.txt"), "two"), 0);
  EXPECT_EQ(fs_.events, (std::vector<std::string>{
                            "sync file " + Path(".f.txt.zarn-000002"),
                            "rename " + Path("f.txt"), "sync folder " + dir_}));
  EXPECT_EQ(Get("f.txt"), "two");
}

TEST_F(FileSystemSafety, ReadsBytesExactlyAndFailuresGiveNoContent) {
  const std::string bytes("a\r\nb\0c\xff\n", 8);
  ASSERT_EQ(fs_.WriteWholeFile(Path("f.txt"), bytes), 0);
  std::string content;
  EXPECT_EQ(fs_.ReadWholeFile(Path("f.txt"), &content), 0);
  EXPECT_EQ(content, bytes);
  Put("empty", "");
  EXPECT_EQ(fs_.ReadWholeFile(Path("empty"), &content), 0);
  EXPECT_EQ(content, "");
  content = "stale";
  EXPECT_EQ(fs_.ReadWholeFile(Path("absent"), &content), ENOENT);
  EXPECT_EQ(content, "");
  fs_.FailRead("/f.txt", EIO);
  content = "stale";
  EXPECT_EQ(fs_.ReadWholeFile(Path("f.txt"), &content), EIO);
  EXPECT_EQ(content, "");
  EXPECT_EQ(fs_.WriteWholeFile(Path("nofolder/x"), "x"), ENOENT);
}

TEST_F(FileSystemSafety, ListingsFollowTheRules) {
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

TEST_F(FileSystemSafety, TemporaryFileIsOwnerOnlyUntilItIsComplete) {
  for (unsigned mode : {0644u, 0666u, 0640u, 0400u}) {
    Put("f.txt", kOld);
    ASSERT_EQ(::chmod(Path("f.txt").c_str(), mode), 0);
    fs_.first_write_modes.clear();
    ASSERT_EQ(fs_.WriteWholeFile(Path("f.txt"), kNew), 0);
    EXPECT_EQ(fs_.first_write_modes, std::vector<unsigned>{0600u});
    EXPECT_EQ(Stat("f.txt").st_mode & 07777, mode);
    ASSERT_EQ(::chmod(Path("f.txt").c_str(), 0644), 0);
  }
}

TEST_F(FileSystemSafety, ReplacementLikeAnotherFileTakesItsMode) {
  Put("orig", "secret");
  ASSERT_EQ(::chmod(Path("orig").c_str(), 0600), 0);
  // A backup of a private file must not become readable by others.
  EXPECT_EQ(fs_.WriteWholeFileLike(Path("orig.bak"), "secret", Path("orig")),
            0);
  EXPECT_EQ(Stat("orig.bak").st_mode & 07777, 0600u);
  EXPECT_EQ(Get("orig.bak"), "secret");
}

TEST_F(FileSystemSafety, PlantedLinkAtTheTemporaryNameIsNeverWrittenThrough) {
  Put("f.txt", kOld);
  Put("outside", "outside bytes");
  ASSERT_EQ(
      ::symlink(Path("outside").c_str(), Path(".f.txt.zarn-aaaaaa").c_str()),
      0);
  ASSERT_EQ(
      ::symlink(Path("nowhere").c_str(), Path(".f.txt.zarn-bbbbbb").c_str()),
      0);
  fs_.PlanSuffixes({"aaaaaa", "bbbbbb", "cccccc"});
  ASSERT_EQ(fs_.WriteWholeFile(Path("f.txt"), kNew), 0);
  EXPECT_EQ(Get("f.txt"), kNew);
  EXPECT_EQ(Get("outside"), "outside bytes");
  EXPECT_EQ(Entries(), (std::vector<std::string>{".f.txt.zarn-aaaaaa",
                                                 ".f.txt.zarn-bbbbbb", "f.txt",
                                                 "outside"}));
  EXPECT_FALSE(fs_.IsFile(Path("nowhere")));
}

TEST_F(FileSystemSafety, LinkAtTheTargetIsReplacedNotWrittenThrough) {
  Put("outside", "outside bytes");
  ASSERT_EQ(::chmod(Path("outside").c_str(), 0604), 0);
  ASSERT_EQ(::symlink(Path("outside").c_str(), Path("link").c_str()), 0);
  ASSERT_EQ(fs_.WriteWholeFile(Path("link"), "new"), 0);
  EXPECT_EQ(Get("outside"), "outside bytes");
  EXPECT_TRUE(S_ISREG(Stat("link").st_mode));
  EXPECT_EQ(Get("link"), "new");
  // It lends nothing to the new file either.
  EXPECT_NE(Stat("link").st_mode & 07777, 0604u);
}

TEST_F(FileSystemSafety, LongestFileNameCanBeReplaced) {
  std::string name(255, 'y');
  Put(name, kOld);
  ASSERT_EQ(fs_.WriteWholeFile(Path(name), "new"), 0);
  EXPECT_EQ(Get(name), "new");
  EXPECT_EQ(Entries(), std::vector<std::string>{name});
}

TEST_F(FileSystemSafety, HardLinkedFileKeepsItsOtherNamesOldContent) {
  Put("a.txt", kOld);
  ASSERT_EQ(::link(Path("a.txt").c_str(), Path("b.txt").c_str()), 0);
  ASSERT_EQ(fs_.WriteWholeFile(Path("a.txt"), "new"), 0);
  EXPECT_EQ(Get("a.txt"), "new");
  EXPECT_EQ(Get("b.txt"), kOld);
  EXPECT_EQ(Stat("b.txt").st_nlink, 1u);
}

TEST_F(FileSystemSafety, PipeOrHugeFileIsNotReadAndNothingBlocks) {
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0644), 0);
  std::string content;
  EXPECT_EQ(fs_.ReadWholeFile(Path("fifo"), &content), EINVAL);
  // A log that is a pipe nobody reads.
  EXPECT_EQ(fs_.AppendToFile(Path("fifo"), "line\r\n"), ENXIO);
  // A sparse file one byte past the limit costs no disk space.
  int fd = ::open(Path("huge").c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, kMaxFileSize + 1), 0);
  ::close(fd);
  EXPECT_EQ(fs_.ReadWholeFile(Path("huge"), &content), EFBIG);
  EXPECT_EQ(content, "");
}

TEST_F(FileSystemSafety, KeepsPermissionBitsOwnerAndGroup) {
  Put("f.txt", kOld);
  ASSERT_EQ(::chmod(Path("f.txt").c_str(), 02751), 0);
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(Path("f.txt").c_str(), 1234, 5678), 0);
    ASSERT_EQ(::chmod(Path("f.txt").c_str(), 02751), 0);  // chown cleared it
  }
  const struct stat before = Stat("f.txt");
  ASSERT_EQ(fs_.WriteWholeFile(Path("f.txt"), kNew), 0);
  const struct stat after = Stat("f.txt");
  EXPECT_NE(after.st_ino, before.st_ino);  // really replaced
  EXPECT_EQ(after.st_mode & 07777, 02751u);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
  if (::geteuid() != 0) {
    GTEST_SKIP() << "not root: owner and group of another user not tested";
  }
  EXPECT_EQ(after.st_uid, 1234u);
  EXPECT_EQ(after.st_gid, 5678u);
}

TEST_F(FileSystemSafety, UnprivilegedRunKeepsTheGroupItBelongsTo) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to set up the users";
  // A file of user 4321, group 5678, rewritten by user 1234, a member of
  // group 5678, in a folder everyone may write to.
  ASSERT_EQ(::chmod(dir_.c_str(), 0777), 0);
  Put("f.txt", kOld);
  ASSERT_EQ(::chown(Path("f.txt").c_str(), 4321, 5678), 0);
  ASSERT_EQ(::chmod(Path("f.txt").c_str(), 0664), 0);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    gid_t groups[] = {5678};
    if (::setgroups(1, groups) != 0 || ::setgid(1234) != 0 ||
        ::setuid(1234) != 0) {
      ::_exit(100);
    }
    RealFileSystem fs;
    ::_exit(fs.WriteWholeFile(Path("f.txt"), kNew));
  }
  int wstatus = 0;
  ASSERT_EQ(::waitpid(pid, &wstatus, 0), pid);
  ASSERT_TRUE(WIFEXITED(wstatus));
  ASSERT_EQ(WEXITSTATUS(wstatus), 0);
  EXPECT_EQ(Get("f.txt"), kNew);
  EXPECT_EQ(Stat("f.txt").st_uid, 1234u);
  EXPECT_EQ(Stat("f.txt").st_gid, 5678u);
  EXPECT_EQ(Stat("f.txt").st_mode & 07777, 0664u);
}

// Sets an attribute; false when this file system (or this process) does not
// support it.
bool TrySet(const std::string& path, const std::string& name,
            const std::string& value) {
  return ::lsetxattr(path.c_str(), name.c_str(), value.data(), value.size(),
                     0) == 0;
}

std::string Attribute(const std::string& path, const std::string& name) {
  char buf[4096];
  ssize_t n = ::lgetxattr(path.c_str(), name.c_str(), buf, sizeof buf);
  return n < 0 ? "<none>" : std::string(buf, static_cast<size_t>(n));
}

// A POSIX access ACL in the kernel's attribute form: version 2, then
// entries of tag, permissions and id.
std::string Acl(std::initializer_list<std::array<uint32_t, 3>> entries) {
  auto put16 = [](std::string* s, uint32_t v) {
    s->push_back(static_cast<char>(v & 0xff));
    s->push_back(static_cast<char>((v >> 8) & 0xff));
  };
  std::string out;
  put16(&out, 2);
  put16(&out, 0);
  for (const auto& e : entries) {
    put16(&out, e[0]);
    put16(&out, e[1]);
    put16(&out, e[2] & 0xffff);
    put16(&out, e[2] >> 16);
  }
  return out;
}

constexpr uint32_t kUserObj = 0x01, kUser = 0x02, kGroupObj = 0x04,
                   kMask = 0x10, kOther = 0x20, kNoId = 0xffffffff;

// user.* attributes, empty and long values among them, and security.* and
// trusted.* ones where this process may set them.
TEST_F(FileSystemSafety, KeepsExtendedAttributes) {
  Put("f.txt", kOld);
  const std::pair<std::string, std::string> attributes[] = {
      {"user.origin", "scanner 7"},
      {"user.empty", ""},
      {"user.big", std::string(3000, 'b')},
      {"security.zarn_label", "label-1"},
      {"trusted.zarn", "label-1"}};
  std::vector<std::pair<std::string, std::string>> set;
  for (const auto& a : attributes) {
    if (TrySet(Path("f.txt"), a.first, a.second)) set.push_back(a);
  }
  if (set.empty()) GTEST_SKIP() << "extended attributes are not supported";
  ASSERT_EQ(fs_.WriteWholeFile(Path("f.txt"), kNew), 0);
  for (const auto& [name, value] : set) {
    EXPECT_EQ(Attribute(Path("f.txt"), name), value) << name;
  }
  EXPECT_EQ(Get("f.txt"), kNew);
}

TEST_F(FileSystemSafety, KeepsThePosixAcl) {
  Put("f.txt", kOld);
  const std::string acl = Acl({{kUserObj, 6, kNoId},
                               {kUser, 6, 4321},
                               {kGroupObj, 4, kNoId},
                               {kMask, 6, kNoId},
                               {kOther, 0, kNoId}});
  if (!TrySet(Path("f.txt"), "system.posix_acl_access", acl)) {
    GTEST_SKIP() << "POSIX ACLs are not supported here";
  }
  const unsigned mode = Stat("f.txt").st_mode & 07777;
  ASSERT_EQ(fs_.WriteWholeFile(Path("f.txt"), kNew), 0);
  EXPECT_EQ(Attribute(Path("f.txt"), "system.posix_acl_access"), acl);
  EXPECT_EQ(Stat("f.txt").st_mode & 07777, mode);
}

TEST_F(FileSystemSafety, InheritedAclIsDroppedWhenTheOriginalHadNone) {
  ASSERT_EQ(::mkdir(Path("sub").c_str(), 0755), 0);
  Put("sub/f.txt", kOld);  // created before the folder got a default ACL
  const std::string acl = Acl({{kUserObj, 7, kNoId},
                               {kUser, 7, 4321},
                               {kGroupObj, 5, kNoId},
                               {kMask, 7, kNoId},
                               {kOther, 5, kNoId}});
  if (!TrySet(Path("sub"), "system.posix_acl_default", acl)) {
    GTEST_SKIP() << "POSIX ACLs are not supported here";
  }
  ASSERT_EQ(fs_.WriteWholeFile(Path("sub/f.txt"), kNew), 0);
  EXPECT_EQ(Attribute(Path("sub/f.txt"), "system.posix_acl_access"), "<none>");
}

}  // namespace
}  // namespace zarn::testing
