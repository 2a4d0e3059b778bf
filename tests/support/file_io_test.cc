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
  EXPECT_EQ(FolderOfPath("n"), "");
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

TEST(FileIoTest, WritableTestFileIsNamedByTimeAndRemoved) {
  MemoryFileSystem fs;
  fs.AddFolder("/d");
  FakeClock clock(LocalTime{2026, 12, 6, 21, 4, 9});
  EXPECT_EQ(WritableTestPath("/d", clock.Now()),
            "/d/folder_writable_test210409.txt");
  EXPECT_TRUE(IsFolderWritable(fs, clock, "/d"));
  EXPECT_EQ(fs.Content("/d/folder_writable_test210409.txt"), nullptr);
  ASSERT_EQ(fs.removals().size(), 1u);
  EXPECT_EQ(fs.removals()[0], "/d/folder_writable_test210409.txt");
}

TEST(FileIoTest, WritableTestNeverWritesThroughAnExistingName) {
  MemoryFileSystem fs;
  fs.AddFile("/d/folder_writable_test000000.txt", "keep me");
  FakeClock clock;
  EXPECT_TRUE(IsFolderWritable(fs, clock, "/d"));
  EXPECT_EQ(*fs.Content("/d/folder_writable_test000000.txt"), "keep me");
  EXPECT_EQ(fs.removals().back(), "/d/folder_writable_test000000_1.txt");
}

TEST(FileIoTest, FolderWhereCreationFailsIsNotWritable) {
  MemoryFileSystem fs;
  fs.AddFolder("/ro");
  fs.Fail(MemoryFileSystem::Op::kCreate, "/ro", EROFS);
  FakeClock clock;
  EXPECT_FALSE(IsFolderWritable(fs, clock, "/ro"));
  EXPECT_FALSE(IsFolderWritable(fs, clock, "/missing"));
}

TEST(FileIoTest, FolderWhoseTestFileCannotBeRemovedCountsAsWritable) {
  MemoryFileSystem fs;
  fs.AddFolder("/d");
  FakeClock clock;
  fs.Fail(MemoryFileSystem::Op::kRemove, WritableTestPath("/d", clock.Now()),
          EACCES);
  EXPECT_TRUE(IsFolderWritable(fs, clock, "/d"));
}

TEST(FileIoTest, ListFolderTreeIsPreOrderInByteOrder) {
  MemoryFileSystem fs;
  fs.AddFolder("/r/B");
  fs.AddFolder("/r/A/A1");
  fs.AddFolder("/r/.hidden");
  fs.AddFolder("/r/a");
  std::vector<std::string> expected = {"/r",   "/r/.hidden", "/r/A",
                                       "/r/A/A1", "/r/B",    "/r/a"};
  EXPECT_EQ(ListFolderTree(fs, "/r"), expected);
}

TEST(FileIoTest, UnlistableSubfolderStaysWithoutChildren) {
  MemoryFileSystem fs;
  fs.AddFolder("/r/A/A1");
  fs.AddFolder("/r/B");
  fs.Fail(MemoryFileSystem::Op::kList, "/r/A", EACCES);
  std::vector<std::string> expected = {"/r", "/r/A", "/r/B"};
  EXPECT_EQ(ListFolderTree(fs, "/r"), expected);
}

}  // namespace
}  // namespace zarn
