#include "support/messages.h"

#include <gtest/gtest.h>

#include "support/memory_file_system.h"

namespace zarn {
namespace {

TEST(MessagesTest, FillPlaceholders) {
  struct Case {
    const char* text;
    const char* tmpl;
    std::string values;
    const char* out;
  } cases[] = {
      {"a {1} b {2}", "/{1}/{2}/", "/x/", "a x b "},
      {"{1}{1}", "/{1}/", "/x/", "xx"},
      {"{1}-{2}", "|{1}|{2}|", "/a/b/", "a-b"},
      {"{1}-{2}", "/{1}/{2}/", "", "{1}-{2}"},
      {"{1}-{2}", "", "/a/b/", "{1}-{2}"},
      {"p={1} k={2}", "/{1}/{2}/", "/C:/data/Datafolder/", "p=C: k=data"},
      {"{1}|{2}", "/{1}/{2}/", "/{2}/z/", "z|z"},
      {"{1}", "/{1}/", "/a/b/c/", "a"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FillPlaceholders(c.text, c.tmpl, c.values), c.out) << c.text;
  }
}

TEST(MessagesTest, UnitSeparatorKeepsPathsWhole) {
  EXPECT_EQ(FillPlaceholders("{1} ({2})", "/{1}/{2}/",
                             MsgValues({"/srv/a|b/c.txt", "2"})),
            "/srv/a|b/c.txt (2)");
  EXPECT_EQ(FillPlaceholders("[{1}]", "/{1}/", MsgValues({""})), "[]");
}

TEST(MessagesTest, WriteLogStampsAndAppends) {
  MemoryFileSystem fs;
  fs.AddFolder("/logs");
  FakeClock clock(LocalTime{2026, 1, 7, 9, 5, 3});
  int32_t status = 99;
  WriteLog(fs, clock, "/logs/zarn.log", "first", &status);
  EXPECT_EQ(status, 0);
  WriteLog(fs, clock, "/logs/zarn.log", "second", &status);
  EXPECT_EQ(*fs.Content("/logs/zarn.log"),
            "2026-01-07|09:05:03 first\r\n2026-01-07|09:05:03 second\r\n");
}

TEST(MessagesTest, LogPathNWritesNothingAndKeepsStatus) {
  MemoryFileSystem fs;
  fs.AddFolder("/logs");
  FakeClock clock;
  int32_t status = 42;
  WriteLog(fs, clock, "n", "x", &status);
  EXPECT_EQ(status, 42);
  EXPECT_EQ(fs.Content("n"), nullptr);
}

TEST(MessagesTest, FailedWriteReportsErrno) {
  MemoryFileSystem fs;
  fs.AddFolder("/logs");
  fs.Fail(MemoryFileSystem::Op::kAppend, "/logs/zarn.log", 28);
  FakeClock clock;
  int32_t status = 0;
  WriteLog(fs, clock, "/logs/zarn.log", "lost", &status);
  EXPECT_EQ(status, 28);
}

}  // namespace
}  // namespace zarn
