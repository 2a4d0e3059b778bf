// Planted links: the real binary over a data tree holding symbolic links to
// files and folders outside it never reads, follows or writes through them;
// a hard-linked file is replaced like any other; the writability test
// cannot be redirected through a link.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "run/e2e_fixture.h"
#include "support/clock.h"
#include "support/file_io.h"
#include "support/file_system.h"

namespace zarn::testing {
namespace {

// What can tell a file apart from a rewritten one.
struct Identity {
  std::string bytes;
  ino_t inode = 0;
  mode_t mode = 0;
  int64_t mtime_ns = 0;
  bool operator==(const Identity&) const = default;
};

Identity IdentityOf(const std::string& path) {
  struct stat st {};
  Identity id;
  if (::lstat(path.c_str(), &st) != 0) return id;
  id.bytes = S_ISLNK(st.st_mode) ? "<link>" : ReadFile(path);
  id.inode = st.st_ino;
  id.mode = st.st_mode;
  id.mtime_ns = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
  return id;
}

std::string LinkTarget(const std::string& path) {
  char buf[PATH_MAX];
  ssize_t n = ::readlink(path.c_str(), buf, sizeof buf);
  return n < 0 ? "<not a link>" : std::string(buf, static_cast<size_t>(n));
}

using Security = E2eTest;

TEST_F(Security, LinksInTheDataTreeAreNeverFollowedOrWrittenThrough) {
  // Outside the data tree.
  const std::string out = root_ + "/outside";
  ::mkdir(out.c_str(), 0755);
  ::mkdir((out + "/dir").c_str(), 0755);
  WriteFile(out + "/secret.txt", "foo secret");
  WriteFile(out + "/dir/inner.txt", "foo inner");
  WriteFile(out + "/shared.txt", "foo shared");
  // Inside: an ordinary file, links to the outside file and folder, a
  // dangling link, a link to an inside file, and a hard link to an
  // outside file.
  PutData("plain.txt", "foo plain");
  ASSERT_EQ(
      ::symlink((out + "/secret.txt").c_str(), (data_ + "/secret.txt").c_str()),
      0);
  ASSERT_EQ(::symlink((out + "/dir").c_str(), (data_ + "/dir").c_str()), 0);
  ASSERT_EQ(::symlink((out + "/nothing.txt").c_str(),
                      (data_ + "/dangling.txt").c_str()),
            0);
  ASSERT_EQ(::symlink("plain.txt", (data_ + "/alias.txt").c_str()), 0);
  ASSERT_EQ(
      ::link((out + "/shared.txt").c_str(), (data_ + "/shared.txt").c_str()),
      0);

  const std::vector<std::string> outside = {
      out + "/secret.txt", out + "/dir/inner.txt", out + "/shared.txt",
      out + "/dir", out};
  std::vector<Identity> before;
  for (const std::string& p : outside) before.push_back(IdentityOf(p));

  WriteJob(kFooToBar);
  RunResult r = Run();
  EXPECT_EQ(r.status, 0) << r.err;

  // Nothing outside changed: bytes, inode, mode, time stamp.
  for (size_t i = 0; i < outside.size(); ++i) {
    EXPECT_EQ(IdentityOf(outside[i]), before[i]) << outside[i];
  }
  EXPECT_FALSE(Exists(out + "/nothing.txt"));
  // The links are still links, to the same places.
  EXPECT_EQ(LinkTarget(data_ + "/secret.txt"), out + "/secret.txt");
  EXPECT_EQ(LinkTarget(data_ + "/dir"), out + "/dir");
  EXPECT_EQ(LinkTarget(data_ + "/dangling.txt"), out + "/nothing.txt");
  EXPECT_EQ(LinkTarget(data_ + "/alias.txt"), "plain.txt");
  // The real files were edited; the hard link's other name keeps the old
  // content.
  EXPECT_EQ(Data("plain.txt"), "bar plain");
  EXPECT_EQ(Data("shared.txt"), "bar shared");
  EXPECT_EQ(ReadFile(out + "/shared.txt"), "foo shared");

  std::vector<std::string> processed;
  for (const std::string& line : LogLines(RunLog())) {
    if (line.rfind("ZARNPFI003CI", 0) == 0) processed.push_back(line);
  }
  EXPECT_EQ(processed,
            (std::vector<std::string>{
                "ZARNPFI003CI Processing file '" + data_ + "/plain.txt'",
                "ZARNPFI003CI Processing file '" + data_ + "/shared.txt'"}));
}

TEST_F(Security, WritabilityTestIsNeverRedirectedThroughALink) {
  RealFileSystem fs;
  FakeClock clock(LocalTime{2026, 12, 6, 9, 5, 3});
  const std::string target = root_ + "/target.txt";
  WriteFile(target, "precious");
  const Identity before = IdentityOf(target);
  // A link planted at the name of the test file.
  const std::string planted = WritableTestPath(data_, clock.Now());
  ASSERT_EQ(planted, data_ + "/folder_writable_test090503.txt");
  ASSERT_EQ(::symlink(target.c_str(), planted.c_str()), 0);
  EXPECT_TRUE(IsFolderWritable(fs, clock, data_));
  EXPECT_EQ(IdentityOf(target), before);
  EXPECT_EQ(LinkTarget(planted), target);
  // Only the planted link is left: the test file used another name and
  // is gone again.
  EXPECT_EQ(Entries(data_),
            std::vector<std::string>{"folder_writable_test090503.txt"});

  // With links at every name the test would try, it gives up rather than
  // write through one.
  const std::string missing = root_ + "/created-through-link.txt";
  for (int attempt = 1; attempt < 10; ++attempt) {
    std::string name = planted;
    name.insert(name.size() - 4, "_" + std::to_string(attempt));
    ASSERT_EQ(::symlink(missing.c_str(), name.c_str()), 0) << name;
  }
  EXPECT_FALSE(IsFolderWritable(fs, clock, data_));
  EXPECT_FALSE(Exists(missing));
  EXPECT_EQ(IdentityOf(target), before);
}

}  // namespace
}  // namespace zarn::testing
