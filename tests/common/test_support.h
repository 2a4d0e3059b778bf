// Small helpers shared by the test programs of every subsystem.
#ifndef ZARN_TESTS_COMMON_TEST_SUPPORT_H_
#define ZARN_TESTS_COMMON_TEST_SUPPORT_H_

#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace zarn::testing {

// A file of the source tree, read whole ("" when absent).
inline std::string SourceFile(const std::string& relative) {
  std::ifstream in(std::string(ZARN_SOURCE_DIR) + "/" + relative,
                   std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in),
                     std::istreambuf_iterator<char>());
}

// The message file as shipped.
inline std::string ShippedMessageFile() {
  return SourceFile("data/zarn_msg.ini");
}

// Every occurrence of from replaced by to, left to right; kept apart from
// the system's own substitution so that expectations do not repeat the
// code under test.
inline std::string ReplaceEvery(std::string text, const std::string& from,
                                const std::string& to) {
  size_t pos = 0;
  while ((pos = text.find(from, pos)) != std::string::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
  return text;
}

// The scan-loop program that turns every "foo" into "bar".
inline constexpr const char* kFooToBar =
    "setc pat,foo\r\n"
    "setc new,bar\r\n"
    "loop\r\n"
    "findup pat,before,hit,after\r\n"
    "if *rcf\r\n"
    "rep hit,new\r\n"
    "gbeg after\r\n"
    "else\r\n"
    "endif\r\n"
    "lend not(*rcf)\r\n";

// The lines of a log text (ended by CR LF), each with the time stamp
// "yyyy-mm-dd|hh:mm:ss " removed where it has one.
inline std::vector<std::string> LogLinesOf(std::string_view text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    std::string line(text.substr(pos, end - pos));
    if (line.size() >= 20 && line[4] == '-' && line[7] == '-' &&
        line[10] == '|' && line[13] == ':' && line[19] == ' ') {
      line.erase(0, 20);
    }
    lines.push_back(std::move(line));
    pos = end + 2;
  }
  return lines;
}

}  // namespace zarn::testing

#endif  // ZARN_TESTS_COMMON_TEST_SUPPORT_H_
