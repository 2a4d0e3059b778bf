// Runs a program text over a file content in memory and hands back the
// resulting text, the variables and the log entries, so that most command
// tests are one {program, input, expected} row.
#ifndef ZARN_TESTS_COMMANDS_COMMAND_FIXTURE_H_
#define ZARN_TESTS_COMMANDS_COMMAND_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "common/run_state.h"
#include "common/test_support.h"
#include "program/program.h"
#include "run/file_loop.h"
#include "support/clock.h"
#include "support/memory_file_system.h"
#include "variables/sys_vars.h"

namespace zarn {
namespace testing_commands {

inline constexpr char kMsgPath[] = "/opt/zarn/zarn_msg.ini";
inline constexpr char kZarnFolder[] = "/home/u/progs";
inline constexpr char kZarnStart[] = "edit.zrn";
inline constexpr char kLogFile[] = "/data/zarn.log";
// A data file path holding "/" and "|", the delimiters of the templates.
inline constexpr char kDataFile[] = "/data/a|b/in.txt";
inline constexpr char kStamp[] = "2024-03-05|10:20:30 ";

using ::zarn::testing::ShippedMessageFile;

// The outcome of one program run over one file.
struct Outcome {
  std::string text;  // *filestring at the end
  int32_t changes = 0;
  int32_t err_flag = 0;
  std::vector<std::string> log;  // entries written by the run, no stamps
};

class CommandFixture : public ::testing::Test {
 protected:
  CommandFixture()
      : clock_(LocalTime{2024, 3, 5, 10, 20, 30}), st_(fs_, clock_) {
    messages_ = ShippedMessageFile();
    fs_.AddFile(kMsgPath, messages_);
    fs_.AddFolder("/data");
    st_.MsgFile = kMsgPath;
    st_.DataFolder = "/data";
    st_.ZarnFolder = kZarnFolder;
    st_.ZarnStart = kZarnStart;
    st_.LogFile = kLogFile;
    st_.LogFolder = "/data";
    InitSysVars(st_.StrVars, st_.SysVars,
                SysVarSettings{"/opt/zarn", "/data", kZarnFolder, kZarnStart,
                               kLogFile, 0});
  }

  void SetUp() override {
    ASSERT_FALSE(messages_.empty()) << "data/zarn_msg.ini not found";
  }

  // Loads a program whose lines are separated by LF; it must load cleanly.
  void Load(const std::string& program) {
    fs_.AddFile(std::string(kZarnFolder) + "/" + kZarnStart, program);
    st_.ErrFlag = 0;  // a failed run before leaves its flag
    LoadProgram(st_);
    ASSERT_EQ(st_.ErrFlag, 0) << st_.FinalMsg;
  }

  // Runs the loaded program over content as the file loop does for one
  // file.
  Outcome RunOn(std::string content) {
    st_.ErrFlag = 0;
    st_.StrVars.Set("*file", kDataFile);
    const size_t log_before = LogText().size();
    Outcome out;
    RunOnFile(st_, content, out.changes);
    out.text =
        out.changes > 0 ? content : std::string(st_.StrVars.file_text().view());
    out.err_flag = st_.ErrFlag;
    out.log = SplitEntries(LogText().substr(log_before));
    return out;
  }

  Outcome Run(const std::string& program, std::string content) {
    Load(program);
    if (::testing::Test::HasFatalFailure()) return Outcome{};
    return RunOn(std::move(content));
  }

  std::string Var(std::string_view name) const {
    return std::string(st_.StrVars.ValueOrEmpty(name));
  }
  bool HasVar(std::string_view name) const {
    return st_.StrVars.FindStrVar(name) != 0;
  }
  // (start, length) of a range; (-1, -1) when it does not exist.
  std::pair<int32_t, int32_t> Range(std::string_view name) const {
    RangeVarRec r = st_.RangeVars.GetRangeVar(name);
    if (r.name == "?") return {-1, -1};
    return {r.startpos, r.length};
  }

  std::string LogText() const {
    const std::string* log = fs_.Content(kLogFile);
    return log == nullptr ? std::string() : *log;
  }

  // The entries of a log text: each begins with the stamp and ends with
  // CR LF; an entry may hold line breaks of its own.
  static std::vector<std::string> SplitEntries(const std::string& log) {
    std::vector<std::string> entries;
    const std::string sep = std::string("\r\n") + kStamp;
    if (log.empty()) return entries;
    EXPECT_EQ(log.rfind(kStamp, 0), 0u) << log;
    size_t pos = std::string_view(kStamp).size();
    while (true) {
      size_t next = log.find(sep, pos);
      if (next == std::string::npos) {
        EXPECT_GE(log.size(), pos + 2);
        EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
        entries.push_back(log.substr(pos, log.size() - 2 - pos));
        return entries;
      }
      entries.push_back(log.substr(pos, next - pos));
      pos = next + sep.size();
    }
  }

  // The text of a message of section [Commands] with its placeholders
  // filled, worked out here from the message file so that the expectations
  // do not repeat the code under test.
  std::string Msg(const std::string& code,
                  std::initializer_list<std::string> values) const {
    const std::string key = "\n" + code + "=";
    size_t at = messages_.find(key);
    EXPECT_NE(at, std::string::npos) << code;
    if (at == std::string::npos) return "?";
    at += key.size();
    std::string text = messages_.substr(at, messages_.find('\n', at) - at);
    if (!text.empty() && text.back() == '\r') text.pop_back();
    EXPECT_EQ(text.rfind(code, 0), 0u) << text;
    int n = 1;
    for (const std::string& v : values) {
      const std::string ph = "{" + std::to_string(n++) + "}";
      size_t p = 0;
      while ((p = text.find(ph, p)) != std::string::npos) {
        text.replace(p, ph.size(), v);
        p += v.size();
      }
    }
    return text;
  }

  // The trace line of an operation: number, label and value.
  std::string TraceLine(int32_t oper, const std::string& label_and_value) {
    return Msg("ZARNCMD008LI", {std::to_string(oper), label_and_value});
  }

  // The entries of a log that begin with the code.
  static std::vector<std::string> WithCode(const std::vector<std::string>& log,
                                           std::string_view code) {
    std::vector<std::string> out;
    for (const std::string& e : log) {
      if (e.rfind(code, 0) == 0) out.push_back(e);
    }
    return out;
  }

  MemoryFileSystem fs_;
  FakeClock clock_;
  RunState st_;
  std::string messages_;
};

// Program lines joined by LF.
inline std::string Program(const std::vector<std::string_view>& lines) {
  std::string out;
  for (std::string_view l : lines) {
    out.append(l);
    out.push_back('\n');
  }
  return out;
}

}  // namespace testing_commands
}  // namespace zarn

#endif  // ZARN_TESTS_COMMANDS_COMMAND_FIXTURE_H_
