// The assignment commands set, setc and cat.
#include <cstdlib>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "command_fixture.h"

// The largest single allocation since it was last set to 0: the tests of
// this program may check that an operation made no copy of a large text.
size_t& LargestAllocation() {
  static size_t largest = 0;
  return largest;
}

void* operator new(size_t size) {
  if (size > LargestAllocation()) LargestAllocation() = size;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace zarn {
namespace testing_commands {
namespace {

using Assign = CommandFixture;

TEST_F(Assign, StoredValues) {
  const std::vector<std::vector<std::string>> rows = {
      // program, input, variable, value
      {"setc y,val\nset x,y", "t", "x", "val"},
      {"set x,len(abcd)", "t", "x", "4"},
      {"set x, a b ", "t", "x", "a b"},
      // The blank before the second comma belongs to the literal.
      {"setc x, a b ,c", "t", "x", "a b "},
      // A skipped comma produces no empty literal, but a blank after it
      // belongs to the literal.
      {"setc x,,b", "t", "x", "b"},
      {"setc x,, b", "t", "x", " b"},
      {"setc x,a(b)c", "t", "x", "a(b)c"},
      {"setc x,", "t", "x", ""},
      {"setc a,1\nsetc c,3\ncat t,a,b,c", "t", "t", "13"},
      {"setc a,1\nsetc c,3\ncat t,a, ,c", "t", "t", "1"},
      {"setc a,1\nsetc c,3\ncat t,a,,c", "t", "t", "13"},
      {"setc Abc,1\ncat t,aBC,abc", "t", "t", "11"},
      {"cat t,*filestring,*comma,*filestring", "ab", "t", "ab,ab"},
      // No comma: the name and the rest are empty.
      {"setc x", "t", "", ""},
      {"set qq", "t", "", ""},
      // Unlike setc, cat tests its first word untrimmed.
      {"cat , ,", "t", "", ""},
      {"set *errloglev,yes", "t", "*errloglev", "0"},
      {"setc *errloglev,1", "t", "*errloglev", "1"},
      {"setc *errloglev,01", "t", "*errloglev", "0"},
      {"setc v,1\ncat *errloglev,v", "t", "*errloglev", "1"},
      {"setc *mine,1\nsetc *oper,y", "t", "*mine", "1"},
      {"setc *rcf,x", "t", "*rcf", "x"},
      {"set *pos,3.0", "abcdef", "*pos", "3.0"},
      {"set *pos,6", "abcdef", "*pos", "6"},
      {"set *pos,7", "abcdef", "*pos", "6"},
      {"set *pos,1", "", "*pos", "0"},
      {"setc *pos, 4", "abcdef", "*pos", "4"},
      {"setc n,5\ncat *pos,n", "abcdef", "*pos", "5"},
      {"set *pos,sum(2,2)", "abcdef", "*pos", "4"},
  };
  for (const auto& r : rows) {
    st_.StrVars.Set("*errloglev", "0");
    Outcome out = Run(r[0], r[1]);
    EXPECT_EQ(out.err_flag, 0) << r[0];
    EXPECT_TRUE(HasVar(r[2])) << r[0];
    EXPECT_EQ(Var(r[2]), r[3]) << r[0];
  }
  EXPECT_FALSE(HasVar("qq"));  // set qq assigned the empty name
}

// Only set of the exact name *filestring counts a change; all three reset
// *pos and *filerange.
TEST_F(Assign, FileStringAssignments) {
  struct Row {
    std::string program, text;
    int32_t changes;
    std::string pos;
    Span filerange;
  };
  const std::vector<Row> rows = {
      {"set *filestring,wxyz", "wxyz", 1, "1", {1, 4}},
      {"setc *filestring,xy", "xy", 0, "1", {1, 2}},
      {"setc a,12\nsetc b,345\ncat *filestring,a,b,a",
       "1234512",
       0,
       "1",
       {1, 7}},
      // The store ignores letter case, the side effects do not.
      {"setc *FILESTRING,xy", "xy", 0, "3", {1, 6}},
  };
  for (const Row& r : rows) {
    Outcome out = Run("setc *pos,3\n" + r.program, "abcdef");
    EXPECT_EQ(out.err_flag, 0) << r.program;
    EXPECT_EQ(out.text, r.text) << r.program;
    EXPECT_EQ(out.changes, r.changes) << r.program;
    EXPECT_EQ(Var("*pos"), r.pos) << r.program;
    EXPECT_EQ(Range("*filerange"), r.filerange) << r.program;
  }
}

// Each refused operation stops the run: nothing is assigned, the next
// operation does not run, and the log holds the message and the after-error
// line.
TEST_F(Assign, RefusedOperations) {
  const std::vector<std::vector<std::string>> rows = {
      // operation, code, placeholder 1
      {"set *pos,0", "ZARNCMD007CT", "0"},
      {"set *pos,2.5", "ZARNCMD007CT", "2.5"},
      {"set *pos,abc", "ZARNCMD007CT", "abc"},
      {"set *pos,sum(1,-1)", "ZARNCMD007CT", "sum(1,-1)"},  // not its value
      {"set *pos,3000000000", "ZARNCMD007CT", "3000000000"},
      {"setc *pos,, x", "ZARNCMD007CT", ", x"},  // the rest as written
      {"cat *pos,v", "ZARNCMD007CT", "v"},
      {"set *n_oper,5", "ZARNCMD005CT", "set"},
      {"setc *changes,3", "ZARNCMD005CT", "setc"},
      {"cat *comma,*blank", "ZARNCMD005CT", "cat"},
      {"set *file,x", "ZARNCMD005CT", "set"},
      {"setc *allfiles,9", "ZARNCMD005CT", "setc"},
      {"set *logfile,x", "ZARNCMD005CT", "set"},
      {"set *comma,nosuch(1)", "ZARNCMD005CT", "set"},  // before the value
      {"setc", "ZARNCMD002LE", "setc"},
      {"setc ,,", "ZARNCMD002LE", "setc"},
      {"setc , ,", "ZARNCMD002LE", "setc"},
      {"cat", "ZARNCMD002LE", "cat"},
      {"cat ,", "ZARNCMD002LE", "cat"},
      {"cat ,,,", "ZARNCMD002LE", "cat"},
  };
  for (const auto& r : rows) {
    Outcome out =
        Run("setc v,1.5\nsetc *pos,2\n" + r[0] + "\nsetc after,1", "abcdef");
    EXPECT_EQ(out.err_flag, 1) << r[0];
    EXPECT_EQ(Var("*pos"), "2") << r[0];
    EXPECT_FALSE(HasVar("after")) << r[0];
    Log expected = Refused(r[1], {r[2]}, 3, r[0]);
    if (r[1] == "ZARNCMD002LE") expected[0] = Msg(r[1], {r[2], ""});
    EXPECT_EQ(out.log, expected) << r[0];
  }
  EXPECT_EQ(Var("*changes"), "0");
  EXPECT_EQ(Var("*comma"), ",");
  EXPECT_EQ(Var("*file"), kDataFile);
}

TEST_F(Assign, FailedExpressionIsRefusedAfterItsTrace) {
  Outcome out =
      Run(Program({"setc x,old", "set x,nosuch(1)", "setc y,1"}), "t");
  EXPECT_EQ(out.err_flag, 1);
  EXPECT_EQ(Var("x"), "old");
  EXPECT_FALSE(HasVar("y"));
  EXPECT_EQ(out.log,
            Refused("ZARNCMD006CT",
                    {"nosuch(1)", "*** ERROR. UNDEFINED FUNCTION: 'nosuch'"}, 2,
                    "set x,nosuch(1)"));

  out = Run(Program({"setc *errloglev,1", "set *comma,q"}), "text");
  Log expected = Refused("ZARNCMD005CT", {"set"}, 2, "set *comma,q");
  expected.insert(expected.begin(), TraceLine(2, "Set parm eval.: q"));
  EXPECT_EQ(out.log, expected);
}

TEST_F(Assign, SetOfTraceLevelWritesTheProgramListingOnce) {
  Outcome out = Run(Program({"set *errloglev,1", "set *errloglev,0",
                             "set *errloglev,1", "setc a,b"}),
                    "text");
  EXPECT_TRUE(st_.ListingDone);
  EXPECT_EQ(out.log, (Log{std::string("--- Zarn program from the '") +
                              kZarnFolder + "/" + kZarnStart + "' file",
                          "[001]set *errloglev,1", "[002]set *errloglev,0",
                          "[003]set *errloglev,1", "[004]setc a,b",
                          TraceLine(2, "Set parm eval.: 0"),
                          TraceLine(4, "Setc parm.: b")}));

  st_.ListingDone = false;
  st_.StrVars.Set("*errloglev", "0");
  out = Run(Program({"setc *errloglev,1", "setc a,b"}), "text");
  EXPECT_FALSE(st_.ListingDone);  // setc writes no listing
  EXPECT_EQ(out.log, (Log{TraceLine(2, "Setc parm.: b")}));
}

// A fixture of its own for each run of a comparison.
class SeparateRun : public CommandFixture {
 public:
  void TestBody() override {}
  using CommandFixture::HasVar;
  using CommandFixture::Range;
  using CommandFixture::Run;
  using CommandFixture::TraceLine;
  using CommandFixture::Var;
};

// "set *filestring,sr(*filestring,F,R[,N])" edits the text where it lies
// when no operation can read the result variable; every outcome is the one
// of the evaluated result, which an operation naming *funr forces. Each
// program ends with a search and a look at what it found, so that the state
// the edit leaves (positions, ranges, CR LF seen by searches) is compared
// too.
TEST(AssignInPlace, SameOutcomeAsTheEvaluatedResult) {
  struct Row {
    std::string program;
    std::string text;
  };
  const std::string text = "a foo foo\r\nfoo fo\r\nofoo";
  const std::vector<Row> rows = {
      // Done in place.
      {"set *filestring,sr(*filestring,foo,bar)", text},
      {"set *filestring,sr( *filestring , foo , x )", text},
      {"set *filestring,sr(*filestring,foo,bar,2)", text},
      {"set *filestring,sr(*filestring,o,,1)", text},  // removes one
      {"set *filestring,sr(*filestring,foo,b,1)", text},
      {"set *filestring,sr(*filestring,zzz,b)", text},  // no hit
      {"setc f,oo\nsetc t,Q\nset *filestring,sr(*filestring,f,t)", text},
      // The replaced piece and its replacement may be the text itself.
      {"set *filestring,sr(*filestring,*filestring,x)", text},
      {"setc t,x\nset *filestring,sr(*filestring,t,*filestring)", "x"},
      // Longer replacements, bad counts, missing arguments: evaluated.
      {"set *filestring,sr(*filestring,o,oo)", text},
      {"set *filestring,sr(*filestring,foo,bar,0)", text},
      {"set *filestring,sr(*filestring,foo,bar,1.5)", text},
      {"set *filestring,sr(*filestring,foo,bar,x)", text},
      {"set *filestring,sr(*filestring,foo)", text},
      {"set *filestring,sr(*FILESTRING,foo,bar)", text},
      {"set *FILESTRING,sr(*filestring,foo,bar)", text},
      {"set *filestring,cs(sr(*filestring,foo,bar))", text},
      // A result that begins like an error is refused, as evaluated.
      {"set *filestring,sr(*filestring,ZZ,*)", "**ZZ ERROR and more"},
      {"set *filestring,sr(*filestring,foo,bar)", "*** ERRORfoo"},
      {"set *filestring,sr(*filestring,foo,bar)", "*** ERRO"},  // in place
  };
  // The search sees CR LF as two NUL characters: it finds "o" + CR LF
  // before the edit (so the translated text is made) and after it.
  const std::string before = "setc p,o\\x00\nfindup p,b,h,a\nsetc *pos,1\n";
  const std::string after = "\nfindup p,b2,h2,a2\nwlog h2\nwlog a2";
  for (const Row& r : rows) {
    SCOPED_TRACE(r.program + " on " + ::testing::PrintToString(r.text));
    SeparateRun in_place;
    SeparateRun evaluated;
    // The same program text but for one letter, which lets the second
    // read a result variable.
    const Outcome a = in_place.Run(before + r.program + after + "\nsetc zz,*fumr",
                                   r.text);
    Outcome b = evaluated.Run(before + r.program + after + "\nsetc zz,*funr",
                              r.text);
    for (std::string& line : b.log) line = ReplaceEvery(line, "*funr", "*fumr");
    EXPECT_EQ(a.text, b.text);
    EXPECT_EQ(a.changes, b.changes);
    EXPECT_EQ(a.err_flag, b.err_flag);
    EXPECT_EQ(a.log, b.log);
    EXPECT_EQ(in_place.Var("*pos"), evaluated.Var("*pos"));
    EXPECT_EQ(in_place.Range("*filerange"), evaluated.Range("*filerange"));
    EXPECT_EQ(in_place.Var("zz"),
              ReplaceEvery(evaluated.Var("zz"), "*funr", "*fumr"));
  }
}

TEST(AssignInPlace, TraceShowsTheValueAsEvaluated) {
  SeparateRun traced;
  const Outcome out = traced.Run(
      "setc *errloglev,1\nset *filestring,sr(*filestring,foo,bar)", "a foo");
  EXPECT_EQ(out.text, "a bar");
  EXPECT_EQ(out.log.back(), traced.TraceLine(2, "Set parm eval.: a bar"));
}

// In place, no second text of the file's size is made; when a result
// variable can be read, the result is built and kept there.
TEST(AssignInPlace, MakesNoCopyOfTheText) {
  constexpr size_t kSize = 3 << 20;
  for (const bool readable : {false, true}) {
    SCOPED_TRACE(readable ? "result readable" : "result unread");
    std::string text;
    while (text.size() < kSize) text += "a foo, then more text\r\n";
    const size_t size = text.size();
    SeparateRun run;
    LargestAllocation() = 0;
    // The last operation drops the text, so that handing it back makes no
    // copy of its size either.
    const Outcome out = run.Run(std::string("set *filestring,sr(*filestring,foo,bar)\n") +
                                    (readable ? "setc r,*funr1\n" : "") +
                                    "set *filestring,x",
                                std::move(text));
    EXPECT_EQ(out.text, "x");
    if (readable) {
      EXPECT_GE(LargestAllocation(), size);
      EXPECT_EQ(run.Var("r"), "*funr1");  // setc takes the name as written
    } else {
      EXPECT_LT(LargestAllocation(), size / 2);
    }
  }
}

}  // namespace
}  // namespace testing_commands
}  // namespace zarn
