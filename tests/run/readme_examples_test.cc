// Every example program of the README runs here on its input and must give
// exactly the result shown, so the reference can never drift from the
// program.
#include <gtest/gtest.h>

#include "run/memory_run.h"

namespace zarn::testing {
namespace {

struct Example {
  std::string name, program, input, result;
};

// The next fenced block after pos: its text, and pos moved behind it.
bool NextBlock(const std::string& text, size_t* pos, std::string* block) {
  size_t open = text.find("\n```", *pos);
  if (open == std::string::npos) return false;
  size_t body = text.find('\n', open + 4);
  size_t close = text.find("\n```", body);
  if (body == std::string::npos || close == std::string::npos) return false;
  *block = text.substr(body + 1, close - body);  // keeps the last line end
  *pos = close + 4;
  return true;
}

std::vector<Example> ReadmeExamples() {
  std::string readme = SourceFile("README.md");
  std::vector<Example> examples;
  const std::string marker = "<!-- example: ";
  for (size_t at = readme.find(marker); at != std::string::npos;
       at = readme.find(marker, at + 1)) {
    Example e;
    size_t end = readme.find(" -->", at);
    e.name = readme.substr(at + marker.size(), end - at - marker.size());
    size_t pos = end;
    if (NextBlock(readme, &pos, &e.program) &&
        NextBlock(readme, &pos, &e.input) &&
        NextBlock(readme, &pos, &e.result)) {
      examples.push_back(e);
    }
  }
  return examples;
}

TEST(ReadmeExamples, EveryExampleGivesItsResult) {
  std::vector<Example> examples = ReadmeExamples();
  ASSERT_GE(examples.size(), 3u);
  for (const Example& e : examples) {
    MemoryRun run;
    run.Run(e.program, {{"in.txt", e.input}});
    EXPECT_EQ(run.status, 0) << e.name << "\n" << run.report;
    EXPECT_EQ(run.File("in.txt"), e.result) << e.name;
  }
}

}  // namespace
}  // namespace zarn::testing
