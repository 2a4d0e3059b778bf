// Programs and data too large to write out in a case file, through the real
// binary: deep nesting, long programs and lines, megabyte expressions,
// patterns that backtrack without end or repeat deeply. Each ends with its
// exact outcome, never a crash or a hang.
#include <gtest/gtest.h>

#include <string>

#include "run/e2e_fixture.h"

namespace zarn::testing {
namespace {

std::string Repeat(const std::string& s, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) out += s;
  return out;
}

using LargeInput = E2eTest;

TEST_F(LargeInput, DeepAndLongProgramsAndData) {
  const size_t depth = 10000;
  const std::string ten_mb = Repeat("0123456789", 1000000);
  const struct {
    const char* name;
    std::string program, input;
    int status;
    std::string result;  // "" for a file that is not rewritten
  } cases[] = {
      // Each loop runs once ("lend 1" holds).
      {"loops 10,000 deep",
       Repeat("loop\n", depth) + "set *filestring,cs(*filestring,x)\n" +
           Repeat("lend 1\n", depth),
       "deep:", 0, "deep:x"},
      {"if blocks and loops 10,000 deep, left by lexit 0 and lcont",
       "setc t,1\n" + Repeat("if t\nloop\n", depth) +
           "set *filestring,inside\nlexit 0\nlcont\n" +
           Repeat("lend 1\nelse\nendif\n", depth),
       "x", 0, "inside"},
      {"unbalanced nesting is refused before any file",
       Repeat("loop\n", depth) + Repeat("lend 1\n", depth - 1), "x", 1, ""},
      {"v 100,000 deep gives the name of the result inside it",
       "set *filestring," + Repeat("v(", 100000) + "a" +
           std::string(100000, ')') + "\n",
       "x", 0, "*funr99999"},
      {"expression of one megabyte",
       "set *filestring,cs(" + Repeat("ab,", 350000) + "c)\nset n,cs(" +
           Repeat("len(xyz),", 100000) + "0)\n" +
           "set *filestring,cs(*filestring,len(n))\n",
       "x", 0, Repeat("ab", 350000) + "c100001"},
      {"data line of ten megabytes", kFooToBar,
       ten_mb + "foo" + ten_mb + "\r\nfoo", 0,
       ten_mb + "bar" + ten_mb + "\r\nbar"},
      // A pattern that backtracks without end finds nothing; a later
      // attempt that does ends the count with the matches so far.
      {"runaway pattern",
       "setc p,(a+)+b\nfind p,x,y,z\nset *filestring,cs(*rcf,*nctx)\n",
       Repeat("a", 30000) + "!b", 0, "00"},
      {"runaway later attempt",
       "setc p,(a+)+b\nfind p,x,y,z\nset *filestring,cs(*nctx,rgs(y))\n",
       "ab" + Repeat("a", 30000) + "!ab", 0, "1ab"},
      {"repetition 200,000 deep",
       "setc p,(.)*\nfind p,x,y,z\n"
       "set *filestring,cs(*nctx,len(rgs(y)),rgs(*ctx1))\n",
       Repeat("q", 200000), 0, "2200000q"},
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

}  // namespace
}  // namespace zarn::testing
