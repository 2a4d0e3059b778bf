// The search commands find, findnoup and findup.
#include <string>
#include <utility>
#include <vector>

#include "command_fixture.h"

namespace zarn {
namespace testing_commands {
namespace {

using Find = CommandFixture;

TEST_F(Find, Matches) {
  const std::vector<std::vector<std::string>> rows = {
      // program (sets p and *pos), input, *rcf *nctx, before found after
      {"setc p,b\nfind p,b,f,a", "abcabc", "1 2", "1,1 2,1 3,4"},
      {"setc p,b\nsetc *pos,3\nfind p,b,f,a", "abcabc", "1 1", "3,2 5,1 6,1"},
      // A match at the end: an empty after range behind the text.
      {"setc p,c\nsetc *pos,4\nfind p,b,f,a", "abcabc", "1 1", "4,2 6,1 7,0"},
      // From the last character nothing is found.
      {"setc p,c\nsetc *pos,6\nfind p,b,f,a", "abcabc", "0 0", "- - -"},
      {"setc p,ABC\nfind p,b,f,a", "xabcx", "1 1", "1,1 2,3 5,1"},
      {"setc p,ABC\nfindnoup p,b,f,a", "xabcx", "1 1", "1,1 2,3 5,1"},
      {"setc p,ABC\nfindup p,b,f,a", "xabcx", "0 0", "- - -"},
      {"setc p,ABC\nfindup p,b,f,a", "abcABC", "1 1", "1,3 4,3 7,0"},
      {"setc p,z\nfind p,b,f,a", "abc", "0 0", "- - -"},
      {"setc p,(\nfind p,b,f,a", "abc", "0 0", "- - -"},  // invalid
      {"setc *pos,2\nfind nosuch,b,f,a", "abc", "1 3", "2,0 2,0 2,2"},
      {"setc p,b+c?\nfind p,b,f,a", "abbbcd", "1 1", "1,1 2,4 6,1"},
      {"setc p,a\nfind p,b,f,a", "aaaaa", "1 5", "1,0 1,1 2,4"},
      // A line break is seen as two NUL characters.
      {"setc p,a..b\nfind p,b,f,a", "xa\r\nby", "1 1", "1,1 2,4 6,1"},
      {"setc p,a\\r\\nb\nfind p,b,f,a", "xa\r\nby", "0 0", "- - -"},
      {"setc a,a\nsetc b,b\ncat p,a,*crlf,b\nfind p,b,f,a", "xa\r\nby", "0 0",
       "- - -"},
      {"setc p,a\\nb\nfind p,b,f,a", "a\nb\rc", "1 1", "1,0 1,3 4,2"},
  };
  for (const auto& r : rows) {
    // *nctx is named by the program, so every match is counted.
    Outcome out = Run(r[0] + "\ncat n,*nctx", r[1]);
    EXPECT_EQ(out.err_flag, 0) << r[0];
    EXPECT_TRUE(out.log.empty()) << r[0];
    EXPECT_EQ(Var("*rcf") + " " + Var("*nctx"), r[2]) << r[0];
    EXPECT_EQ(Var("n"), Var("*nctx")) << r[0];
    EXPECT_EQ(Spans({"b", "f", "a"}), r[3]) << r[0];
    const size_t pos = r[0].find("*pos,");
    EXPECT_EQ(Var("*pos"),
              pos == std::string::npos ? "1" : r[0].substr(pos + 5, 1))
        << r[0];
    EXPECT_EQ(out.changes, 0) << r[0];
    for (const char* name : {"b", "f", "a"})
      st_.RangeVars.RemoveRangeVars(name);
  }
}

TEST_F(Find, CaptureGroups) {
  struct CtxRow {
    std::string pattern_program;
    std::string input;
    std::vector<Span> ctx;  // *ctx1, *ctx2, ...
    int absent;             // the first *ctx number not made
  };
  const Span none(-1, -1);  // a group that took no part makes no range
  const std::vector<CtxRow> rows = {
      {"setc p,(a)(b)", "xaby", {{2, 1}, {3, 1}}, 3},
      {"setc p,((a)b)", "ab", {{1, 2}, {1, 1}}, 3},
      {"setc p,(b)", "ABC", {{2, 1}}, 2},
      {"setc p,(x)|(b)", "ab", {none, {2, 1}}, 3},
      // Each group where the engine matched it, even where its text also
      // stands earlier in the match; an empty group at its own place.
      {"setc p,b(c*)d", "abdx", {{3, 0}}, 2},
      {"setc p,ab(a)", "xaba", {{4, 1}}, 2},
      {"setc p,a(A)", "aA", {{2, 1}}, 2},
      {"setc p,b", "abc", {}, 1},
  };
  for (const CtxRow& r : rows) {
    Outcome out = Run(r.pattern_program + "\nfind p,b,f,a", r.input);
    EXPECT_EQ(Var("*rcf"), "1") << r.pattern_program;
    for (size_t i = 0; i < r.ctx.size(); ++i) {
      EXPECT_EQ(Range("*ctx" + std::to_string(i + 1)), r.ctx[i])
          << r.pattern_program << " group " << i + 1;
    }
    EXPECT_EQ(Range("*ctx" + std::to_string(r.absent)), Span(-1, -1))
        << r.pattern_program;
  }
}

TEST_F(Find, ContextsAreMadeBeforeTheNamedRanges) {
  Run(Program({"setc p,(b)", "find p,x,y,z"}), "abc");
  std::vector<std::string> order;
  for (int32_t i = 1; i <= st_.RangeVars.Count(); ++i) {
    order.push_back(st_.RangeVars.GetRangeVarAt(i).name);
  }
  EXPECT_EQ(order,
            (std::vector<std::string>{"*filerange", "*ctx1", "x", "y", "z"}));
}

TEST_F(Find, LaterNamedRangesOverwriteEarlierOnes) {
  Run(Program({"setc p,b", "find p,r,r,*ctx1"}), "abcd");
  EXPECT_EQ(Spans({"r", "*ctx1"}), "2,1 3,2");
}

TEST_F(Find, FailedSearchRemovesContextsOnly) {
  st_.RangeVars.SetRangeVar(RangeVarRec{"*ctxuser", 1, 1});
  st_.RangeVars.SetRangeVar(RangeVarRec{"*CTX9", 1, 1});
  Outcome out =
      Run(Program({"setc p,(b)", "find p,x,y,z", "setc p,q", "find p,x,y,z"}),
          "abc");
  EXPECT_EQ(Var("*rcf"), "0");
  EXPECT_EQ(Range("*ctx1"), Span(-1, -1));
  EXPECT_EQ(Range("*ctxuser"), Span(-1, -1));
  EXPECT_EQ(Range("*CTX9"), Span(1, 1));  // the prefix compares exactly
  EXPECT_EQ(Range("x"), Span(1, 1));
  EXPECT_EQ(Range("y"), Span(2, 1));
  EXPECT_EQ(Range("z"), Span(3, 1));
}

TEST_F(Find, MissingArguments) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"find", "find"},
      {"find p,b,f", "find"},
      {"findnoup p,b", "find"},
      {"findup  , b,f,a", "findup"},
  };
  for (const auto& [operation, keyword] : rows) {
    st_.RangeVars.SetRangeVar(RangeVarRec{"*ctx1", 1, 1});
    Outcome out = Run("setc p,b\n" + operation + "\nsetc after,1", "abc");
    EXPECT_EQ(out.err_flag, 1) << operation;
    EXPECT_FALSE(HasVar("after")) << operation;
    // Nothing is changed, not even the contexts of an earlier search.
    EXPECT_EQ(Range("*ctx1"), Span(1, 1)) << operation;
    Log expected = Refused("ZARNCMD002LE", {keyword, ""}, 2, operation);
    EXPECT_EQ(out.log, expected) << operation;
  }
}

// The number of matches reaches the log or a variable only through an
// operation that names *nctx, through "wlog =all=" or through the trace
// (whose rows are with the other trace labels). Each such way shows the
// full count, also after a program of the same length that names none.
TEST_F(Find, CountIsFullWhereverItCanBeSeen) {
  Run(Program({"setc p,b", "find p,x,y,z", "cat n,p"}), "bbbb");
  EXPECT_EQ(Var("n"), "b");
  Outcome out =
      Run(Program({"setc p,b", "find p,x,y,z", "cat n,*NCTX"}), "bbbb");
  EXPECT_EQ(Var("n"), "4");

  out = Run(Program({"setc p,b", "find p,x,y,z", "wlog *nctx"}), "bbbb");
  ASSERT_EQ(out.log.size(), 2u);
  EXPECT_EQ(out.log[1], "\r\n" + std::string(20, ' ') +
                            "String  [*nctx]: \r\n" + std::string(20, ' ') +
                            "4\r\n");

  out = Run(Program({"setc p,b", "find p,x,y,z", "wlog =all="}), "bbb");
  ASSERT_EQ(out.log.size(), 3u);
  EXPECT_NE(out.log[2].find(std::string(20, ' ') + "String  [*nctx]: \r\n" +
                            std::string(20, ' ') + "3\r\n"),
            std::string::npos);
}

TEST_F(Find, CountOfEmptyMatches) {
  // The empty pattern matches before every character and at the end.
  Run(Program({"setc p,", "setc *pos,2", "find p,x,y,z", "cat n,*nctx"}),
      "abcde");
  EXPECT_EQ(Var("n"), "5");
  EXPECT_EQ(Range("y"), Span(2, 0));
  // x* matches "xx", then the empty text at every later position.
  Run(Program({"setc p,x*", "find p,b,f,a", "cat n,*nctx"}), "xxab");
  EXPECT_EQ(Var("n"), "4");
  EXPECT_EQ(Range("f"), Span(1, 2));
}

}  // namespace
}  // namespace testing_commands
}  // namespace zarn
