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

// Every occurrence of from replaced by to, left to right; kept apart from
// the system's own substitution so that expectations do not repeat the
// code under test.
inline std::string ReplaceEvery(std::string text, const std::string& from,
                                const std::string& to) {
  for (size_t pos = 0; (pos = text.find(from, pos)) != std::string::npos;
       pos += to.size()) {
    text.replace(pos, from.size(), to);
  }
  return text;
}

// The scan-loop program that turns every "foo" into "bar".
inline constexpr const char* kFooToBar =
    "setc pat,foo\r\nsetc new,bar\r\nloop\r\nfindup pat,before,hit,after\r\n"
    "if *rcf\r\nrep hit,new\r\ngbeg after\r\nelse\r\nendif\r\n"
    "lend not(*rcf)\r\n";

// The lines of a log text (ended by CR LF), each without the time stamp
// "yyyy-mm-dd|hh:mm:ss " that begins it.
inline std::vector<std::string> LogLinesOf(std::string_view text) {
  std::vector<std::string> lines;
  for (size_t pos = 0, end; pos < text.size(); pos = end + 2) {
    end = std::min(text.find("\r\n", pos), text.size());
    std::string line(text.substr(pos, end - pos));
    if (line.size() >= 20 && line[4] == '-' && line[7] == '-' &&
        line[10] == '|' && line[13] == ':' && line[19] == ' ') {
      line.erase(0, 20);
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace zarn::testing

#endif  // ZARN_TESTS_COMMON_TEST_SUPPORT_H_
