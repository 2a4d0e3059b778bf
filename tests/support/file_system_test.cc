// What a replacement on a real disk keeps of the original (bytes until it
// is complete, permission bits, owner, group, extended attributes) and how
// it treats planted links, pipes and huge files: the real file system
// against a temporary folder, faults injected through its system calls.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <initializer_list>
#include <utility>

#include "run/e2e_fixture.h"
#include "support/clock.h"
#include "support/faulty_real_file_system.h"
#include "support/file_io.h"

namespace zarn::testing {
namespace {

class FileSystemTest : public E2eTest {
 protected:
  std::string Path(const std::string& name) const { return data_ + "/" + name; }
  struct stat Stat(const std::string& name) const {
    struct stat st {};
    EXPECT_EQ(::lstat(Path(name).c_str(), &st), 0) << name;
    return st;
  }
  FaultyRealFileSystem fs_;
};

const std::string kOld = "old content\r\nline two\r\n";
const std::string kNew(100000, 'n');

TEST_F(FileSystemTest, TemporaryFileIsOwnerOnlyUntilItIsComplete) {
  for (unsigned mode : {0644u, 0666u, 0640u, 0400u}) {
    PutData("f.txt", kOld);
    ASSERT_EQ(::chmod(Path("f.txt").c_str(), mode), 0);
    fs_.first_write_modes.clear();
    ASSERT_EQ(fs_.WriteWholeFile(Path("f.txt"), kNew), 0);
    EXPECT_EQ(fs_.first_write_modes, std::vector<unsigned>{0600u});
    EXPECT_EQ(Stat("f.txt").st_mode & 07777, mode);
    ASSERT_EQ(::chmod(Path("f.txt").c_str(), 0644), 0);
  }
  // A backup of a private file must not become readable by others.
  ASSERT_EQ(::chmod(Path("f.txt").c_str(), 0600), 0);
  EXPECT_EQ(fs_.WriteWholeFileLike(Path("f.txt.bak"), "x", Path("f.txt")), 0);
  EXPECT_EQ(Stat("f.txt.bak").st_mode & 07777, 0600u);
}

TEST_F(FileSystemTest, KeepsPermissionBitsOwnerAndGroup) {
  PutData("f.txt", kOld);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(Path("f.txt").c_str(), 1234, 5678), 0);
  }
  ASSERT_EQ(::chmod(Path("f.txt").c_str(), 02751), 0);  // after chown
  const struct stat before = Stat("f.txt");
  ASSERT_EQ(fs_.WriteWholeFile(Path("f.txt"), kNew), 0);
  const struct stat after = Stat("f.txt");
  EXPECT_NE(after.st_ino, before.st_ino);  // really replaced
  EXPECT_EQ(after.st_mode & 07777, 02751u);
  EXPECT_EQ(after.st_uid, root ? 1234u : before.st_uid);
  EXPECT_EQ(after.st_gid, root ? 5678u : before.st_gid);
}

std::string Attribute(const std::string& path, const std::string& name) {
  char buf[4096];
  ssize_t n = ::lgetxattr(path.c_str(), name.c_str(), buf, sizeof buf);
  return n < 0 ? "<none>" : std::string(buf, static_cast<size_t>(n));
}

bool TrySet(const std::string& path, const std::string& name,
            const std::string& value) {
  return ::lsetxattr(path.c_str(), name.c_str(), value.data(), value.size(),
                     0) == 0;
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

// user.* attributes (empty and long values among them), security.* and
// trusted.* ones where this process may set them, and the access ACL.
TEST_F(FileSystemTest, KeepsExtendedAttributesAndTheAcl) {
  PutData("f.txt", kOld);
  const std::pair<std::string, std::string> attributes[] = {
      {"user.origin", "scanner 7"},
      {"user.empty", ""},
      {"user.big", std::string(3000, 'b')},
      {"security.zarn_label", "label-1"},
      {"trusted.zarn", "label-1"},
      {"system.posix_acl_access", Acl({{kUserObj, 6, kNoId},
                                       {kUser, 6, 4321},
                                       {kGroupObj, 4, kNoId},
                                       {kMask, 6, kNoId},
                                       {kOther, 0, kNoId}})}};
  std::vector<std::pair<std::string, std::string>> set;
  for (const auto& a : attributes) {
    if (TrySet(Path("f.txt"), a.first, a.second)) set.push_back(a);
  }
  if (set.empty()) GTEST_SKIP() << "extended attributes are not supported";
  const unsigned mode = Stat("f.txt").st_mode & 07777;
  ASSERT_EQ(fs_.WriteWholeFile(Path("f.txt"), kNew), 0);
  for (const auto& [name, value] : set) {
    EXPECT_EQ(Attribute(Path("f.txt"), name), value) << name;
  }
  EXPECT_EQ(Stat("f.txt").st_mode & 07777, mode);
}

TEST_F(FileSystemTest, PlantedLinksAreNeverWrittenThrough) {
  // Links at the temporary names the replacement tries first.
  PutData("f.txt", kOld);
  WriteFile(root_ + "/outside", "outside bytes");
  ASSERT_EQ(::chmod((root_ + "/outside").c_str(), 0604), 0);
  ASSERT_EQ(::symlink((root_ + "/outside").c_str(),
                      Path(".f.txt.zarn-aaaaaa").c_str()),
            0);
  ASSERT_EQ(::symlink((root_ + "/nowhere").c_str(),
                      Path(".f.txt.zarn-bbbbbb").c_str()),
            0);
  fs_.PlanSuffixes({"aaaaaa", "bbbbbb", "cccccc"});
  ASSERT_EQ(fs_.WriteWholeFile(Path("f.txt"), kNew), 0);
  EXPECT_EQ(Data("f.txt"), kNew);
  EXPECT_EQ(Entries(data_),
            (std::vector<std::string>{".f.txt.zarn-aaaaaa",
                                      ".f.txt.zarn-bbbbbb", "f.txt"}));
  EXPECT_NE(::access((root_ + "/nowhere").c_str(), F_OK), 0);
  // A link at the target is replaced by a file, and lends it nothing.
  ASSERT_EQ(::symlink((root_ + "/outside").c_str(), Path("link").c_str()), 0);
  ASSERT_EQ(fs_.WriteWholeFile(Path("link"), "new"), 0);
  EXPECT_TRUE(S_ISREG(Stat("link").st_mode));
  EXPECT_NE(Stat("link").st_mode & 07777, 0604u);
  EXPECT_EQ(ReadFile(root_ + "/outside"), "outside bytes");

  // The writability test of the parameter check creates its file under
  // another name than a planted link, and gives up when every name it
  // would try is taken by one.
  FakeClock clock(LocalTime{2026, 12, 6, 9, 5, 3});
  const std::string planted = WritableTestPath(root_, clock.Now());
  ASSERT_EQ(planted, root_ + "/folder_writable_test090503.txt");
  ASSERT_EQ(::symlink((root_ + "/outside").c_str(), planted.c_str()), 0);
  EXPECT_TRUE(IsFolderWritable(fs_, clock, root_));
  for (int attempt = 1; attempt < 10; ++attempt) {
    std::string name = planted;
    name.insert(name.size() - 4, "_" + std::to_string(attempt));
    ASSERT_EQ(::symlink((root_ + "/made").c_str(), name.c_str()), 0) << name;
  }
  EXPECT_FALSE(IsFolderWritable(fs_, clock, root_));
  EXPECT_NE(::access((root_ + "/made").c_str(), F_OK), 0);
  EXPECT_EQ(ReadFile(root_ + "/outside"), "outside bytes");
}

// A replacement that keeps what is there takes a free name only: a file,
// a folder or a dangling link at the name refuses it, and nothing is left.
TEST_F(FileSystemTest, KeepingExistingNeverReplacesAnything) {
  PutData("f.txt", kOld);
  PutData("f.txt.orig", "first backup");
  MakeFolder("f.txt.orig.1");
  ASSERT_EQ(
      ::symlink((root_ + "/nowhere").c_str(), Path("f.txt.orig.2").c_str()), 0);
  ReplaceOptions keep;
  keep.like = Path("f.txt");
  keep.keep_existing = true;
  for (const char* taken : {"f.txt.orig", "f.txt.orig.1", "f.txt.orig.2"}) {
    EXPECT_EQ(fs_.ReplaceFile(Path(taken), kNew, keep, nullptr), EEXIST)
        << taken;
  }
  EXPECT_EQ(fs_.ReplaceFile(Path("f.txt.orig.3"), kNew, keep, nullptr), 0);
  EXPECT_EQ(Data("f.txt.orig"), "first backup");
  EXPECT_EQ(Data("f.txt.orig.3"), kNew);
  EXPECT_NE(::access((root_ + "/nowhere").c_str(), F_OK), 0);
  EXPECT_EQ(Entries(data_),
            (std::vector<std::string>{"f.txt", "f.txt.orig", "f.txt.orig.1",
                                      "f.txt.orig.2", "f.txt.orig.3"}));
}

TEST_F(FileSystemTest, ReadIntoAUsedBufferGivesTheFileExactly) {
  // A worker reads file after file into the room of the last text: nothing
  // of an earlier, longer text may show through.
  std::string content;
  for (const std::string& text :
       {kNew, std::string("short\r\n"), std::string(), kOld + kNew}) {
    PutData("f.txt", text);
    ASSERT_EQ(fs_.ReadWholeFile(Path("f.txt"), &content), 0);
    EXPECT_EQ(content, text);
  }
  // A failed read leaves nothing of the last text either.
  EXPECT_EQ(fs_.ReadWholeFile(Path("absent"), &content), ENOENT);
  EXPECT_EQ(content, "");
}

TEST_F(FileSystemTest, PipeOrHugeFileIsNotReadAndNothingBlocks) {
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0644), 0);
  std::string content = "stale";
  EXPECT_EQ(fs_.ReadWholeFile(Path("fifo"), &content), EINVAL);
  EXPECT_EQ(content, "");
  // A log that is a pipe nobody reads.
  EXPECT_EQ(fs_.AppendToFile(Path("fifo"), "line\r\n"), ENXIO);
  // A sparse file one byte past the limit costs no disk space.
  int fd = ::open(Path("huge").c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, kMaxFileSize + 1), 0);
  ::close(fd);
  EXPECT_EQ(fs_.ReadWholeFile(Path("huge"), &content), EFBIG);
}

}  // namespace
}  // namespace zarn::testing
