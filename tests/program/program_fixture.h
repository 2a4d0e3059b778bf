// A run state over an in-memory file system holding the shipped message
// file, with helpers to load a program text and read back the log.
#ifndef ZARN_TESTS_PROGRAM_PROGRAM_FIXTURE_H_
#define ZARN_TESTS_PROGRAM_PROGRAM_FIXTURE_H_

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "commands/run_state.h"
#include "common/test_support.h"
#include "program/program.h"
#include "run/zarn_main.h"
#include "support/clock.h"
#include "support/ini.h"
#include "support/memory_file_system.h"

namespace zarn {
namespace testing_program {

using ::zarn::testing::ReplaceEvery;

inline constexpr char kMsgPath[] = "/opt/zarn/zarn_msg.ini";
inline constexpr char kZarnFolder[] = "/home/u/zarn progs";
inline constexpr char kProgramPath[] = "/home/u/zarn progs/edit.zrn";
inline constexpr char kLogFile[] = "/data/zarn.log";

// The program lines of a text ("|" between them) joined with CR LF.
inline std::string Lines(std::string_view bars) {
  return ReplaceEvery(std::string(bars), "|", "\r\n") + "\r\n";
}

class ProgramFixture : public ::testing::Test {
 protected:
  ProgramFixture() : clock_(LocalTime{2024, 1, 7, 9, 5, 3}), st_(fs_, clock_) {
    messages_ = ::zarn::testing::ShippedMessageFile();
    fs_.AddFile(kMsgPath, messages_);
    fs_.AddFolder("/data");
    fs_.AddFolder(kZarnFolder);
    st_.MsgFile = kMsgPath;
    st_.ParmFile = "/home/u/run.ini";
    st_.DataFolder = st_.LogFolder = "/data";
    st_.FilesMask = ".*";
    st_.ZarnFolder = kZarnFolder;
    st_.ZarnStart = "edit.zrn";
    st_.LogFile = kLogFile;
  }

  void SetUp() override { ASSERT_FALSE(messages_.empty()) << "no msg file"; }

  void Load(const std::string& program) {
    fs_.AddFile(kProgramPath, program);
    InstallProgram(st_);
  }

  std::vector<std::string> LogLines(const std::string& path = kLogFile) {
    const std::string* content = fs_.Content(path);
    if (content == nullptr) return {};
    EXPECT_TRUE(content->empty() || content->rfind("2024-01-07|09:05", 0) == 0);
    return ::zarn::testing::LogLinesOf(*content);
  }

  // The message text of the code as the shipped file holds it.
  std::string Raw(std::string_view code,
                  std::string_view section = "CheckZarnProgStructure") {
    auto value = IniFile::Parse(messages_).Get(section, code);
    EXPECT_TRUE(value && value->rfind(std::string(code), 0) == 0) << code;
    return value.value_or("");
  }

  // The report of a structure error at operation number, padded to three
  // digits.
  std::string ErrorAt(std::string_view code, int32_t number,
                      const std::string& text) {
    std::string n = std::to_string(number);
    if (n.size() < 3) n.insert(0, 3 - n.size(), '0');
    return ReplaceEvery(ReplaceEvery(Raw(code), "{1}", n), "{2}", text);
  }

  const Oper& Op(int32_t number) { return st_.OperList.at(number - 1); }

  MemoryFileSystem fs_;
  FakeClock clock_;
  RunState st_;
  std::string messages_;
};

}  // namespace testing_program
}  // namespace zarn

#endif  // ZARN_TESTS_PROGRAM_PROGRAM_FIXTURE_H_
