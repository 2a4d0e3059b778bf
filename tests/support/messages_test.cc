#include "support/messages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

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

// The log writer, with a tee: every line it writes also reaches the tee,
// whole and as it is written, and the log itself is written as before.
class LogTeeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tee_ = [this](std::string_view line) { teed_.emplace_back(line); };
  }
  LogTee tee_;
  std::vector<std::string> teed_;
};

TEST_F(LogTeeTest, EveryLoggedLineIsStampedAppendedAndHandedOver) {
  MemoryFileSystem fs;
  fs.AddFolder("/logs");
  FakeClock clock(LocalTime{2026, 1, 7, 9, 5, 3});
  int32_t status = -1;
  WriteLog(fs, clock, "/logs/z.log", "first", &status, tee_);
  WriteLog(fs, clock, "/logs/z.log", "second", &status, tee_);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(*fs.Content("/logs/z.log"),
            "2026-01-07|09:05:03 first\r\n2026-01-07|09:05:03 second\r\n");
  EXPECT_EQ(teed_,
            (std::vector<std::string>{"2026-01-07|09:05:03 first\r\n",
                                      "2026-01-07|09:05:03 second\r\n"}));
}

TEST_F(LogTeeTest, ALineTheLogRefusedGivesErrnoAndStillReachesTheTee) {
  MemoryFileSystem fs;
  fs.AddFolder("/logs");
  fs.Fail(MemoryFileSystem::Op::kAppend, "/logs/z.log", ENOSPC);
  FakeClock clock(LocalTime{2026, 1, 7, 9, 5, 3});
  int32_t status = 0;
  WriteLog(fs, clock, "/logs/z.log", "lost", &status, tee_);
  EXPECT_EQ(status, ENOSPC);
  EXPECT_EQ(teed_, std::vector<std::string>{"2026-01-07|09:05:03 lost\r\n"});
}

TEST_F(LogTeeTest, NoLogNoTeeAndNoTeeByDefault) {
  MemoryFileSystem fs;
  FakeClock clock;
  int32_t status = 7;
  WriteLog(fs, clock, "n", "nothing", &status, tee_);  // "n": there is no log
  EXPECT_EQ(status, 7);
  EXPECT_EQ(fs.Content("n"), nullptr);
  EXPECT_TRUE(teed_.empty());
  fs.AddFolder("/logs");
  WriteLog(fs, clock, "/logs/z.log", "quiet", &status);
  EXPECT_TRUE(teed_.empty());
}

}  // namespace
}  // namespace zarn
