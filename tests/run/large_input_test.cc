// Programs and data too large to write out in a case file, through the real
// binary: deep nesting, long programs, megabyte expressions and lines,
// binary bytes. Each ends with its exact outcome, never a crash or a hang.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "run/e2e_fixture.h"

namespace zarn::testing {
namespace {

std::string Repeat(const std::string& s, size_t n) {
  std::string out;
  out.reserve(s.size() * n);
  for (size_t i = 0; i < n; ++i) out += s;
  return out;
}

class LargeInput : public E2eTest {};

TEST_F(LargeInput, DeepAndLongProgramsAndData) {
  const size_t depth = 10000;
  const std::string ten_mb = Repeat("0123456789", 1000000);
  const std::string z_line = Repeat("z", 10000000);
  std::string binary;
  std::mt19937 rng(7);
  for (int i = 0; i < 1 << 20; ++i) {
    binary.push_back(static_cast<char>(rng() & 0xff));
    if (i % 4096 == 0) binary += std::string("\0foo\r\n\0", 7);
  }
  std::string blocks;  // 100,000 operations
  for (int i = 0; i < 25000; ++i) blocks += "if a\r\nendif\r\nloop\r\nlend\r\n";
  const struct {
    const char* name;
    std::string program;
    std::string input;
    int status;
    std::string result;  // "" for a file that is not rewritten
  } cases[] = {
      // Each loop runs once ("lend 1" holds).
      {"loops 10,000 deep",
       Repeat("loop\r\n", depth) + "set *filestring,cs(*filestring,x)\r\n" +
           Repeat("lend 1\r\n", depth),
       "deep:", 0, "deep:x"},
      {"if blocks 10,000 deep, left from inside by lexit 0 and lcont",
       "setc t,1\r\n" + Repeat("if t\r\nloop\r\n", depth) +
           "set *filestring,inside\r\nlexit 0\r\nlcont\r\n" +
           Repeat("lend 1\r\nelse\r\nendif\r\n", depth),
       "x", 0, "inside"},
      {"unbalanced nesting is refused before any file",
       Repeat("loop\r\n", depth) + Repeat("lend 1\r\n", depth - 1), "x", 1, ""},
      {"100,000 blocks in sequence", "set *filestring,y\r\n" + blocks, "x", 0,
       "y"},
      {"calls 10,000 deep",
       "set *filestring," + Repeat("len(", depth) + "abcdef" +
           std::string(depth, ')') + "\r\n",
       "x", 0, "1"},
      {"v 100,000 deep gives the name of the result inside it",
       "set *filestring," + Repeat("v(", 100000) + "a" +
           std::string(100000, ')') + "\r\n",
       "x", 0, "*funr99999"},
      // cs of some 350,000 literal arguments, and one of 100,000 calls.
      {"expression of one megabyte",
       "set *filestring,cs(" + Repeat("ab,", 350000) + "c)\r\nset n,cs(" +
           Repeat("len(xyz),", 100000) +
           "0)\r\nset *filestring,cs(*filestring,len(n))\r\n",
       "x", 0, Repeat("ab", 350000) + "c100001"},
      {"data line of ten megabytes", kFooToBar,
       ten_mb + "foo" + ten_mb + "\r\nfoo", 0,
       ten_mb + "bar" + ten_mb + "\r\nbar"},
      {"program line of ten megabytes",
       "setc big," + z_line + "   ///tail\r\nset *filestring,cs(big,!)\r\n",
       "x", 0, z_line + "!"},
      {"binary file keeps every byte", kFooToBar, binary, 0,
       ReplaceEvery(binary, "foo", "bar")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PutData("a.txt", c.input);
    WriteJob(c.program);
    const RunResult r = Run();
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(Data("a.txt"), c.result.empty() ? c.input : c.result);
  }
}

// The numbers of the listing and of a report grow past three digits.
TEST_F(LargeInput, ThousandOperations) {
  std::string program = "set *errloglev,1\r\n";
  for (int i = 2; i < 1000; ++i) program += "setc v,1\r\n";
  WriteJob(program + "\telse\t/a|b/c  ");
  RunResult r = Run();
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "Zarn 2.0: ZARNCTP002CT Operation 1000 ' else /a|b/c  ': "
            "no if found for this else or endif.\n");
  WriteJob(program + "setc v,1000\r\n");
  PutData("a.txt", "");
  r = Run();
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> log = LogLinesOf(ReadFile(RunLog()));
  ASSERT_GT(log.size(), 1003u);
  EXPECT_EQ(log[3], "[001]set *errloglev,1");
  EXPECT_EQ(log[1002], "[1000]setc v,1000");
}

}  // namespace
}  // namespace zarn::testing
