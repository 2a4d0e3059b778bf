// A run state over an in-memory file system holding the shipped message
// file, with helpers to load a program text and read back the log.
#ifndef ZARN_TESTS_PROGRAM_PROGRAM_FIXTURE_H_
#define ZARN_TESTS_PROGRAM_PROGRAM_FIXTURE_H_

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "common/run_state.h"
#include "common/test_support.h"
#include "program/program.h"
#include "support/clock.h"
#include "support/ini.h"
#include "support/memory_file_system.h"

namespace zarn {
namespace testing_program {

inline constexpr char kMsgPath[] = "/opt/zarn/zarn_msg.ini";
inline constexpr char kZarnFolder[] = "/home/u/zarn progs";
inline constexpr char kZarnStart[] = "edit.zrn";
inline constexpr char kProgramPath[] = "/home/u/zarn progs/edit.zrn";
inline constexpr char kLogFile[] = "/data/zarn.log";
inline constexpr char kStamp[] = "2024-01-07|09:05:03 ";

using ::zarn::testing::ShippedMessageFile;
inline std::string Substitute(std::string text, const std::string& from,
                              const std::string& to) {
  return ::zarn::testing::ReplaceEvery(std::move(text), from, to);
}

// The program "lines" joined with CR LF.
inline std::string Lines(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\r\n";
  return out;
}

class ProgramFixture : public ::testing::Test {
 protected:
  ProgramFixture() : clock_(LocalTime{2024, 1, 7, 9, 5, 3}), st_(fs_, clock_) {
    messages_ = ShippedMessageFile();
    fs_.AddFile(kMsgPath, messages_);
    fs_.AddFolder("/data");
    fs_.AddFolder(kZarnFolder);
    st_.MsgFile = kMsgPath;
    st_.ParmFile = "/home/u/run.ini";
    st_.DataFolder = "/data";
    st_.FilesMask = ".*";
    st_.ZarnFolder = kZarnFolder;
    st_.ZarnStart = kZarnStart;
    st_.LogFile = kLogFile;
    st_.LogFolder = "/data";
  }

  void SetUp() override {
    ASSERT_FALSE(messages_.empty()) << "data/zarn_msg.ini not found";
  }

  // Puts the program text in place and loads it.
  void Load(const std::string& program) {
    fs_.AddFile(kProgramPath, program);
    LoadProgram(st_);
  }

  // The texts of the log lines, each checked for its stamp and CR LF.
  std::vector<std::string> LogLines(const std::string& path = kLogFile) {
    std::vector<std::string> out;
    const std::string* content = fs_.Content(path);
    if (content == nullptr) return out;
    size_t pos = 0;
    while (pos < content->size()) {
      size_t end = content->find("\r\n", pos);
      EXPECT_NE(end, std::string::npos) << "log line without CR LF";
      if (end == std::string::npos) end = content->size();
      std::string line = content->substr(pos, end - pos);
      EXPECT_EQ(line.rfind(kStamp, 0), 0u) << line;
      if (line.rfind(kStamp, 0) == 0) line.erase(0, sizeof(kStamp) - 1);
      out.push_back(line);
      pos = end + 2;
    }
    return out;
  }

  // The message text of the code as the shipped file holds it.
  std::string Raw(std::string_view section, std::string_view code) {
    auto value = IniFile::Parse(messages_).Get(section, code);
    EXPECT_TRUE(value.has_value()) << code;
    if (!value) return std::string();
    EXPECT_EQ(value->rfind(std::string(code), 0), 0u) << *value;
    return *value;
  }

  // The report of a structure error at an operation.
  std::string ErrorAt(std::string_view code, const std::string& number,
                      const std::string& text) {
    std::string raw = Raw("CheckZarnProgStructure", code);
    EXPECT_NE(raw.find("{1}"), std::string::npos) << raw;
    EXPECT_NE(raw.find("{2}"), std::string::npos) << raw;
    return Substitute(Substitute(raw, "{1}", number), "{2}", text);
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
