// Runs a program text over a file content in memory and hands back the
// resulting text, the variables and the log entries, so that most command
// tests are one {program, input, expected} row.
#ifndef ZARN_TESTS_COMMANDS_COMMAND_FIXTURE_H_
#define ZARN_TESTS_COMMANDS_COMMAND_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "commands/run_state.h"
#include "common/test_support.h"
#include "program/program.h"
#include "run/file_loop.h"
#include "run/zarn_main.h"
#include "support/clock.h"
#include "support/memory_file_system.h"
#include "variables/sys_vars.h"

namespace zarn {
namespace testing_commands {

using ::zarn::testing::ReplaceEvery;
using Span = std::pair<int32_t, int32_t>;
using Log = std::vector<std::string>;

inline constexpr char kMsgPath[] = "/opt/zarn/zarn_msg.ini";
inline constexpr char kZarnFolder[] = "/home/u/progs";
inline constexpr char kZarnStart[] = "edit.zrn";
inline constexpr char kLogFile[] = "/data/zarn.log";
// A data file path holding "/" and "|", the delimiters of the templates.
inline constexpr char kDataFile[] = "/data/a|b/in.txt";
inline constexpr char kStamp[] = "2024-03-05|10:20:30 ";

// The outcome of one program run over one file.
struct Outcome {
  std::string text;  // *filestring at the end
  int32_t changes = 0;
  int32_t err_flag = 0;
  Log log;  // entries written by the run, no stamps
};

class CommandFixture : public ::testing::Test {
 protected:
  CommandFixture()
      : clock_(LocalTime{2024, 3, 5, 10, 20, 30}), st_(fs_, clock_) {
    messages_ = ::zarn::testing::ShippedMessageFile();
    fs_.AddFile(kMsgPath, messages_);
    fs_.AddFolder("/data");
    st_.MsgFile = kMsgPath;
    st_.DataFolder = st_.LogFolder = "/data";
    st_.ZarnFolder = kZarnFolder;
    st_.ZarnStart = kZarnStart;
    st_.LogFile = kLogFile;
    InitSysVars(st_.StrVars, st_.SysVars,
                SysVarSettings{"/opt/zarn", "/data", kZarnFolder, kZarnStart,
                               kLogFile, 0});
  }

  void SetUp() override { ASSERT_FALSE(messages_.empty()) << "no msg file"; }

  // Loads a program whose lines are separated by LF; it must load cleanly.
  void Load(const std::string& program) {
    fs_.AddFile(std::string(kZarnFolder) + "/" + kZarnStart, program);
    st_.ErrFlag = 0;  // a failed run before leaves its flag
    InstallProgram(st_);
    ASSERT_EQ(st_.ErrFlag, 0) << st_.FinalMsg;
  }

  // Runs the loaded program over content as the file loop does for one file.
  Outcome RunOn(std::string content) {
    st_.ErrFlag = 0;
    st_.StrVars.Set("*file", kDataFile);
    const size_t log_before = LogText().size();
    Outcome out;
    out.text = RunOnFile(st_, content, out.changes)
                   ? content
                   : std::string(st_.StrVars.file_text().view());
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
  void SetRange(const std::string& name, Span r) {
    st_.RangeVars.SetRangeVar(RangeVarRec{name, r.first, r.second});
  }
  // (start, length) of a range; (-1, -1) when it does not exist.
  Span Range(std::string_view name) const {
    RangeVarRec r = st_.RangeVars.GetRangeVar(name);
    if (r.name == "?") return {-1, -1};
    return {r.startpos, r.length};
  }

  // The ranges as "start,length" between blanks, "-" for an absent one.
  std::string Spans(std::initializer_list<std::string_view> names) const {
    std::string out;
    for (std::string_view name : names) {
      Span r = Range(name);
      out += (out.empty() ? "" : " ") +
             (r.first == -1 && r.second == -1
                  ? std::string("-")
                  : std::to_string(r.first) + "," + std::to_string(r.second));
    }
    return out;
  }

  std::string LogText() const {
    const std::string* log = fs_.Content(kLogFile);
    return log == nullptr ? std::string() : *log;
  }

  // The entries of a log text: each begins with the stamp and ends with
  // CR LF; an entry may hold line breaks of its own.
  static Log SplitEntries(const std::string& log) {
    Log entries;
    const std::string sep = std::string("\r\n") + kStamp;
    if (log.empty()) return entries;
    EXPECT_EQ(log.rfind(kStamp, 0), 0u) << log;
    EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
    size_t pos = sizeof(kStamp) - 1;
    while (true) {
      size_t next = log.find(sep, pos);
      if (next == std::string::npos) {
        entries.push_back(log.substr(pos, log.size() - 2 - pos));
        return entries;
      }
      entries.push_back(log.substr(pos, next - pos));
      pos = next + sep.size();
    }
  }

  // A message of section [Commands] with its placeholders filled, worked
  // out here from the message file.
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
      text = ReplaceEvery(text, "{" + std::to_string(n++) + "}", v);
    }
    return text;
  }

  // The log of a failed operation: its message, then the after-error line.
  Log Refused(const std::string& code,
              std::initializer_list<std::string> values, int32_t oper,
              const std::string& text) const {
    return {Msg(code, values),
            Msg("ZARNCMD001LE", {kDataFile, std::to_string(oper), text})};
  }

  // The trace line of an operation: number, label and value.
  std::string TraceLine(int32_t oper, const std::string& label_and_value) {
    return Msg("ZARNCMD008LI", {std::to_string(oper), label_and_value});
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

// The parts of a text between the separators.
inline std::vector<std::string> Split(std::string_view text, char sep) {
  std::vector<std::string> out(1);
  for (char c : text) {
    if (c == sep) {
      out.emplace_back();
    } else {
      out.back().push_back(c);
    }
  }
  return out;
}

}  // namespace testing_commands
}  // namespace zarn

#endif  // ZARN_TESTS_COMMANDS_COMMAND_FIXTURE_H_
