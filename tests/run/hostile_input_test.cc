// Hostile programs and data: runaway patterns, deep nesting, huge
// expressions and lines, binary bytes. Each must end with a clear outcome
// (exact bytes, messages and statuses), never a crash or a hang.
#include <gtest/gtest.h>

#include <algorithm>
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

TEST(HostileInput, RunawayPatternInAProgramIsAFailedSearch) {
  MemoryRun run;
  run.Run(
      "set *errloglev,1\r\n"
      "setc p,(a+)+$\r\n"
      "find p,before,hit,after\r\n"
      "set *filestring,cs(rcf=,*rcf,*blank,nctx=,*nctx)\r\n",
      {{"a.txt", Repeat("a", 100000) + "!"}});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.File("a.txt"), "rcf=0 nctx=0");
  // The trace shows the search given up.
  std::vector<std::string> log = run.Log();
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "ZARNCMD008LI Operation 3: Found contexts: -1"),
            log.end());
}

TEST(HostileInput, LoopsNestedTenThousandDeep) {
  const size_t depth = 10000;
  MemoryRun run;
  // Each loop runs once ("lend 1" holds): the body runs exactly once.
  run.Run(Repeat("loop\r\n", depth) + "set *filestring,cs(*filestring,x)\r\n" +
              Repeat("lend 1\r\n", depth),
          {{"a.txt", "deep:"}});
  EXPECT_EQ(run.status, 0) << run.report;
  EXPECT_EQ(run.File("a.txt"), "deep:x");
}

TEST(HostileInput, IfBlocksNestedTenThousandDeep) {
  const size_t depth = 10000;
  MemoryRun run;
  run.Run("setc t,1\r\n" + Repeat("if t\r\n", depth) +
              "set *filestring,inside\r\n" + Repeat("else\r\nendif\r\n", depth),
          {{"a.txt", "x"}});
  EXPECT_EQ(run.status, 0) << run.report;
  EXPECT_EQ(run.File("a.txt"), "inside");
}

TEST(HostileInput, UnbalancedDeepNestingIsRefusedBeforeAnyFile) {
  MemoryRun run;
  run.Run(Repeat("loop\r\n", 10000) + Repeat("lend 1\r\n", 9999),
          {{"a.txt", "x"}});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.report.find("ZARNCTP012CT"), std::string::npos) << run.report;
  EXPECT_EQ(run.File("a.txt"), "x");
}

TEST(HostileInput, CallsNestedTenThousandDeep) {
  const size_t depth = 10000;
  MemoryRun run;
  run.Run("set *filestring," + Repeat("len(", depth) + "abcdef" +
              std::string(depth, ')') + "\r\n",
          {{"a.txt", "x"}});
  EXPECT_EQ(run.status, 0) << run.report;
  EXPECT_EQ(run.File("a.txt"), "1");
}

TEST(HostileInput, ExpressionOfOneMegabyte) {
  // cs of some 500,000 literal arguments, and one of 100,000 calls.
  MemoryRun run;
  run.Run("set *filestring,cs(" + Repeat("ab,", 350000) +
              "c)\r\n"
              "set n,cs(" +
              Repeat("len(xyz),", 100000) +
              "0)\r\n"
              "set *filestring,cs(*filestring,len(n))\r\n",
          {{"a.txt", "x"}});
  EXPECT_EQ(run.status, 0) << run.report;
  EXPECT_EQ(run.File("a.txt"), Repeat("ab", 350000) + "c" + "100001");
}

TEST(HostileInput, DataLineOfTenMegabytes) {
  const std::string line = Repeat("0123456789", 1000000);
  MemoryRun run;
  run.Run(kFooToBar,
          {{"a.txt", line + "foo" + line + "\r\nfoo"}, {"b.txt", line}});
  EXPECT_EQ(run.status, 0) << run.report;
  EXPECT_EQ(run.File("a.txt"), line + "bar" + line + "\r\nbar");
  EXPECT_EQ(run.File("b.txt"), line);
  EXPECT_EQ(run.fs.WriteCount("/data/b.txt"), 0);
}

TEST(HostileInput, ProgramLineOfTenMegabytes) {
  const std::string text = Repeat("z", 10000000);
  MemoryRun run;
  run.Run("setc big," + text + "\r\nset *filestring,cs(big,!)\r\n",
          {{"a.txt", "x"}});
  EXPECT_EQ(run.status, 0) << run.report;
  EXPECT_EQ(run.File("a.txt"), text + "!");
}

TEST(HostileInput, BinaryFilesKeepEveryByte) {
  std::mt19937 rng(7);
  std::string bytes;
  for (int i = 0; i < 1 << 20; ++i) {
    bytes.push_back(static_cast<char>(rng() & 0xff));
    if (i % 4096 == 0) bytes += std::string("\0foo\r\n\0", 7);
  }
  std::string expected = bytes;
  for (size_t p; (p = expected.find("foo")) != std::string::npos;) {
    expected.replace(p, 3, "bar");
  }
  ASSERT_NE(expected, bytes);
  std::string untouched(4096, '\0');
  untouched[100] = '\xff';
  MemoryRun run;
  run.Run(kFooToBar, {{"a.bin", bytes}, {"b.bin", untouched}});
  EXPECT_EQ(run.status, 0) << run.report;
  EXPECT_EQ(run.File("a.bin"), expected);
  EXPECT_EQ(run.File("b.bin"), untouched);
  EXPECT_EQ(run.fs.WriteCount("/data/b.bin"), 0);
}

}  // namespace
}  // namespace zarn::testing
