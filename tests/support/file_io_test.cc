#include "support/file_io.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "support/memory_file_system.h"

namespace zarn {
namespace {

TEST(FileIoTest, FolderOfPath) {
  EXPECT_EQ(FolderOfPath("/var/logs/run.log"), "/var/logs");
  EXPECT_EQ(FolderOfPath("run.log"), "");
  EXPECT_EQ(FolderOfPath("/var/logs/"), "/var/logs");
  EXPECT_EQ(FolderOfPath("/run.log"), "");
}

TEST(FileIoTest, PresenceTests) {
  MemoryFileSystem fs;
  fs.AddFile("/d/f.txt", "x");
  EXPECT_TRUE(IsFilePresent(fs, "/d/f.txt"));
  EXPECT_FALSE(IsFilePresent(fs, "/d"));
  EXPECT_FALSE(IsFilePresent(fs, ""));
  EXPECT_TRUE(IsFolderPresent(fs, "/d"));
  EXPECT_FALSE(IsFolderPresent(fs, "/d/f.txt"));
  EXPECT_FALSE(IsFolderPresent(fs, ""));
}

TEST(FileIoTest, FolderWhoseTestFileCannotBeRemovedCountsAsWritable) {
  MemoryFileSystem fs;
  fs.AddFolder("/d");
  FakeClock clock;
  fs.Fail(MemoryFileSystem::Op::kRemove, WritableTestPath("/d", clock.Now()),
          EACCES);
  EXPECT_TRUE(IsFolderWritable(fs, clock, "/d"));
}

}  // namespace
}  // namespace zarn
