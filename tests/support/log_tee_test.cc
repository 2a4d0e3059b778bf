// The log tee: every line the log writer writes also reaches it, whole and
// as it is written, and the log itself is written as before.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "support/memory_file_system.h"
#include "support/messages.h"

namespace zarn {
namespace {

class LogTeeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tee_ = [this](std::string_view line) { teed_.emplace_back(line); };
  }
  LogTee tee_;
  std::vector<std::string> teed_;
};

TEST_F(LogTeeTest, EveryLoggedLineIsHandedOverAsWritten) {
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

TEST_F(LogTeeTest, ALineTheLogRefusedStillReachesTheTee) {
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
  EXPECT_TRUE(teed_.empty());
  fs.AddFolder("/logs");
  WriteLog(fs, clock, "/logs/z.log", "quiet", &status);
  EXPECT_TRUE(teed_.empty());
}

}  // namespace
}  // namespace zarn
