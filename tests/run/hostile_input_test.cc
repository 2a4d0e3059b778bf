// Hostile programs and data: runaway patterns, deep nesting, huge
// expressions and lines, binary bytes. Each must end with a clear outcome
// (exact bytes, messages and statuses), never a crash or a hang.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "run/memory_run.h"
#include "support/regex.h"

namespace zarn::testing {
namespace {

std::string Repeat(const std::string& s, size_t n) {
  std::string out;
  out.reserve(s.size() * n);
  for (size_t i = 0; i < n; ++i) out += s;
  return out;
}

TEST(HostileInput, CatastrophicBacktrackingFindsNothingOnALargeText) {
  const std::string text = Repeat("a", 200000) + "!";
  RegularExpressions regex;
  SearchResult result;
  // "$" rather than a missing letter: the engine refuses a pattern whose
  // required letter is absent before it backtracks at all.
  for (const char* pattern : {"(a+)+$", "(a|aa)+$", "(a*)*$", "^(a+)+$",
                              "(.*a){25}$", "(\\w+\\s?)+$"}) {
    SCOPED_TRACE(pattern);
    regex.Search(text, 1, pattern, false, true, &result);
    EXPECT_EQ(result.count, -1);
    EXPECT_EQ(result.position, 0);
  }
}

TEST(HostileInput, HugeAndDeeplyNestedProgramsAndData) {
  const size_t depth = 10000;
  const std::string ten_mb = Repeat("0123456789", 1000000);
  const std::string z_line = Repeat("z", 10000000);
  std::string binary;
  std::mt19937 rng(7);
  for (int i = 0; i < 1 << 20; ++i) {
    binary.push_back(static_cast<char>(rng() & 0xff));
    if (i % 4096 == 0) binary += std::string("\0foo\r\n\0", 7);
  }
  std::string untouched(4096, '\0');
  untouched[100] = '\xff';
  struct Case {
    const char* name;
    std::string program;
    std::map<std::string, std::string> files;
    int status;
    std::map<std::string, std::string> expected;  // "" for an unwritten file
    const char* report = "";                      // a text of the report
  } cases[] = {
      // Each loop runs once ("lend 1" holds): the body runs exactly once.
      {"loops 10,000 deep",
       Repeat("loop\r\n", depth) + "set *filestring,cs(*filestring,x)\r\n" +
           Repeat("lend 1\r\n", depth),
       {{"a.txt", "deep:"}}, 0, {{"a.txt", "deep:x"}}},
      {"if blocks 10,000 deep",
       "setc t,1\r\n" + Repeat("if t\r\n", depth) +
           "set *filestring,inside\r\n" + Repeat("else\r\nendif\r\n", depth),
       {{"a.txt", "x"}}, 0, {{"a.txt", "inside"}}},
      {"unbalanced nesting is refused before any file",
       Repeat("loop\r\n", depth) + Repeat("lend 1\r\n", depth - 1),
       {{"a.txt", "x"}}, 1, {{"a.txt", ""}}, "ZARNCTP012CT"},
      {"calls 10,000 deep",
       "set *filestring," + Repeat("len(", depth) + "abcdef" +
           std::string(depth, ')') + "\r\n",
       {{"a.txt", "x"}}, 0, {{"a.txt", "1"}}},
      // cs of some 500,000 literal arguments, and one of 100,000 calls.
      {"expression of one megabyte",
       "set *filestring,cs(" + Repeat("ab,", 350000) + "c)\r\nset n,cs(" +
           Repeat("len(xyz),", 100000) +
           "0)\r\nset *filestring,cs(*filestring,len(n))\r\n",
       {{"a.txt", "x"}}, 0, {{"a.txt", Repeat("ab", 350000) + "c100001"}}},
      {"data line of ten megabytes", kFooToBar,
       {{"a.txt", ten_mb + "foo" + ten_mb + "\r\nfoo"}, {"b.txt", ten_mb}}, 0,
       {{"a.txt", ten_mb + "bar" + ten_mb + "\r\nbar"}, {"b.txt", ""}}},
      {"program line of ten megabytes",
       "setc big," + z_line + "\r\nset *filestring,cs(big,!)\r\n",
       {{"a.txt", "x"}}, 0, {{"a.txt", z_line + "!"}}},
      {"binary files keep every byte", kFooToBar,
       {{"a.bin", binary}, {"b.bin", untouched}}, 0,
       {{"a.bin", ReplaceEvery(binary, "foo", "bar")}, {"b.bin", ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryRun run;
    run.Run(c.program, c.files);
    EXPECT_EQ(run.status, c.status) << run.report;
    EXPECT_NE(run.report.find(c.report), std::string::npos) << run.report;
    for (const auto& [name, content] : c.expected) {
      if (content.empty()) {
        EXPECT_EQ(run.File(name), c.files.at(name)) << name;
        EXPECT_EQ(run.fs.WriteCount("/data/" + name), 0) << name;
      } else {
        EXPECT_EQ(run.File(name), content) << name;
      }
    }
  }
}

}  // namespace
}  // namespace zarn::testing
