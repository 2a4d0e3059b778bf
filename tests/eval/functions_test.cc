// The built-in functions, one table per family: {expression, expected,
// variables set first}. The fixture's *filestring is "abcdefgh", *pos is 7.
#include "eval/functions.h"

#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <set>
#include <string>

#include "eval/eval_fixture.h"

namespace zarn {
namespace {

// The error text of a function: "*** ERROR. FUNCTION:NAME. " + what.
std::string ErrorOf(std::string_view name, std::string_view what) {
  std::string upper(name);
  for (char& c : upper) c = static_cast<char>(std::toupper(c));
  return "*** ERROR. FUNCTION:" + upper + ". " + std::string(what);
}

TEST(FunctionTableTest, HasTheTwentyFiveFunctionsOnce) {
  std::set<std::string_view> names;
  for (const FunctionRow& row : FunctionTable()) {
    EXPECT_NE(row.function, nullptr) << row.name;
    EXPECT_TRUE(names.insert(row.name).second) << row.name;
    EXPECT_EQ(FindFunction(row.name), &row);
  }
  EXPECT_EQ(names,
            (std::set<std::string_view>{
                "ifs", "ifn", "sr",  "len", "mid", "pos",  "gw", "rev", "lc",
                "uc",  "sum", "mul", "div", "ovl", "fill", "cs", "gh",  "gt",
                "cop", "chr", "and", "or",  "not", "v",    "rgs"}));
  EXPECT_EQ(FindFunction("LEN"), nullptr);  // callers lower-case first
}

// Every function but v refuses an empty argument text; v gives it back.
// Too few arguments, counted as split, are refused before any other check.
TEST(ArgumentConventionTest, EmptyAndMissingArguments) {
  for (const FunctionRow& row : FunctionTable()) {
    EvalFixture f;
    EXPECT_EQ(f.Eval(std::string(row.name) + "()"),
              row.name == "v" ? "" : ErrorOf(row.name, "EMPTY ARGUMENT."));
  }
  for (std::string_view e : {"pos(abc)", "sr(abc,b)", "gw(abc)", "gh(abc)",
                             "gt(abc)", "ifs(a,eq,a,1)", "ifn(x,eq,1,1)"}) {
    EvalFixture f;
    EXPECT_EQ(f.Eval(e),
              ErrorOf(e.substr(0, e.find('(')), "MISSING ARGUMENT."));
  }
  RunCases({{"pos(abc,)", "1"}, {"v(   )", ""}});
}

TEST(ArgumentConventionTest, SplitsTrimsAndFetches) {
  RunCases({
      {"len(a,b)", "1"},
      {"cs(a, b)", "ab"},
      {"cs(a,*blank,b)", "a b"},
      {"cs( x ,y)", "yz", {{"x", "y"}, {"y", "z"}}},  // one level
      {"cs(X)", "X", {{"x", "1"}}},                   // exact letter case
      {"cs(a,,b,)", "ab"},
      {"len( )", "0"},
      {"len( )", "3", {{"", "abc"}}},
      {"len(*filestring)", "8"},
      {"cs(*comma,*lb,*rb)", ",()"},
      // Whole numbers: numeric, then sign, then whole; "." and "," alike.
      {"mid(abcdef,2,3.0)", "bcd"},
      {"mid(abcdef,2,x)", "bcd", {{"x", "3,0"}}},
      {"mid(abcdef,2e0,1E1)",
       "*** ERROR. FUNCTION:MID. POSITION+LENGTH EXCEED STRING LENGTH: "
       "'2e0 , 1E1'"},
      {"mid(abc,0.5)",
       "*** ERROR. FUNCTION:MID. NON-POSITIVE POSITION ARGUMENT: '0.5'"},
      {"mid(abcdef,2.5)",
       "*** ERROR. FUNCTION:MID. NON-INTEGER POSITION ARGUMENT: '2.5'"},
      {"mid(abc,x)",
       "*** ERROR. FUNCTION:MID. NON-INTEGER POSITION ARGUMENT: '1,5'",
       {{"x", "1,5"}}},
      {"mid(abc,1e20)",
       "*** ERROR. FUNCTION:MID. NON-INTEGER POSITION ARGUMENT: '1e20'"},
      {"mid(abc,-1e20)",
       "*** ERROR. FUNCTION:MID. NON-POSITIVE POSITION ARGUMENT: '-1e20'"},
      {"chr(-0.4)",
       "*** ERROR. FUNCTION:CHR. NON-INTEGER CODE ARGUMENT: '-0.4'"},
      {"chr(3000000000)",
       "*** ERROR. FUNCTION:CHR. NON-INTEGER CODE ARGUMENT: '3000000000'"},
      {"chr(-3000000000)",
       "*** ERROR. FUNCTION:CHR. NON-POSITIVE CODE ARGUMENT: '-3000000000'"},
      {"chr( 6.5e1 )", "A"},
  });
}

TEST(LogicFunctionsTest, CompareAndCombine) {
  RunCases({
      {"ifs(abc,lt,abd,1,0)", "1"},
      {"ifs(B,lt,a,1,0)", "1"},
      {"ifs(10,lt,9,1,0)", "1"},
      {"ifn(10,lt,9,1,0)", "0"},
      {"ifs(*null,eq,,1,0)", "1"},
      {"ifn(2.50,eq,2.5,1,0)", "1"},
      {"ifn(1.5,gt,1,yes,no)", "yes"},
      {"ifn(1,eq,x,1,0)", "*** ERROR. FUNCTION:IFN. NON-NUMERIC ARGUMENT: 'x'"},
      {"ifn(x,foo,1,1,0)",
       "*** ERROR. FUNCTION:IFN. NON-NUMERIC ARGUMENT: 'x'"},
      {"ifn(1,foo,1,1,0)",
       "*** ERROR. FUNCTION:IFN. WRONG COMPARISON ARGUMENT."},
      {"ifs(a,EQ,a,1,0)", "1"},
      {"ifs(a,is,a,1,0)",
       "*** ERROR. FUNCTION:IFS. WRONG COMPARISON ARGUMENT."},
      {"ifs(ab,lt,abc,1,0)", "1"},  // a proper beginning is smaller
      {"ifs(\xe9,gt,z,1,0)", "1"},  // byte codes above 127 are larger
      {"ifs(a,Ne,b,1,0)", "1"},
      {"ifs(a,ge,a,1,0)", "1"},
      {"ifs(a,le,b,1,0)", "1"},
      {"ifs(b,gT,a,1,0)", "1"},
      {"ifn(2,ge,3,1,0)", "0"},
      {"ifn(-1,le,-1.0,1,0)", "1"},
      {"ifn(3,ne,3,1,0)", "0"},
      {"ifs(x,eq,abc,*y,*z)", "Y", {{"x", "abc"}, {"*y", "Y"}, {"*z", "Z"}}},
      {"and(1,1,1)", "1"},
      {"and(1,0,1)", "0"},
      {"or(0,0)", "0"},
      {"or(0,1)", "1"},
      {"and(0,2)", "*** ERROR. FUNCTION:AND. INVALID ARGUMENT: '2'"},
      {"or(1,)", "*** ERROR. FUNCTION:OR. INVALID ARGUMENT: ''"},
      {"and(01)", "*** ERROR. FUNCTION:AND. INVALID ARGUMENT: '01'"},
      {"not(1)", "0"},
      {"not(0,x)", "1"},
      {"not(yes)", "*** ERROR. FUNCTION:NOT. INVALID ARGUMENT: 'yes'"},
  });
}

TEST(TextFunctionsTest, MeasureSearchCutAndTransform) {
  RunCases({
      {"len(*null)", "0"},
      {"pos(abcabc,c)", "3"},
      {"pos(abcabc,c,4)", "6"},
      {"pos(abcabc,x)", "0"},
      {"pos(abc,c,3)", "3"},
      {"pos(abc,b,0)",
       "*** ERROR. FUNCTION:POS. NON-POSITIVE STARTPOS ARGUMENT: '0'"},
      {"pos(abc,b,x)",
       "*** ERROR. FUNCTION:POS. NON-NUMERIC STARTPOS ARGUMENT: 'x'"},
      {"pos(abc,b,1.5)",
       "*** ERROR. FUNCTION:POS. NON-INTEGER STARTPOS ARGUMENT: '1.5'"},
      {"pos(abc,b,4)",
       "*** ERROR. FUNCTION:POS. STARTPOS ARGUMENT EXCEEDS STRING LENGTH: '4'"},
      {"pos(abc,*null,2)", "2"},
      {"pos(*null,*null)", "0"},
      {"pos(*filestring,gh,*pos)", "7"},
      {"mid(abcdef,4)", "def"},
      {"mid(abcdef,6,1)", "f"},
      {"mid(abcdef,6,2)",
       "*** ERROR. FUNCTION:MID. POSITION+LENGTH EXCEED STRING LENGTH: '6 , "
       "2'"},
      {"mid(abcdef,7)",
       "*** ERROR. FUNCTION:MID. POSITION ARGUMENT EXCEEDS STRING LENGTH: '7'"},
      {"mid(abc)", "*** ERROR. FUNCTION:MID. UNDEFINED POSITION ARGUMENT: ''"},
      {"mid(abc,x)", "*** ERROR. FUNCTION:MID. NON-NUMERIC ARGUMENT: 'x'"},
      {"mid(abc,1,y)",
       "*** ERROR. FUNCTION:MID. NON-NUMERIC LENGTH ARGUMENT: 'y'"},
      {"mid(abc,1,0)",
       "*** ERROR. FUNCTION:MID. NON-POSITIVE LENGTH ARGUMENT: '0'"},
      {"mid(abc,1,1.5)",
       "*** ERROR. FUNCTION:MID. NON-INTEGER LENGTH ARGUMENT: '1.5'"},
      {"mid(*filestring,*pos,2)", "gh"},
      {"rev(abc)", "cba"},
      {"uc(aBc)", "ABC"},
      {"uc(\xc3\xa9z)", "\xc3\xa9Z"},  // bytes above 127 never change
      {"lc(aBc)", "abc"},
      {"lc(\xc3\x89Z)", "\xc3\x89z"},
      {"sr(aaaa,a,b,2)", "bbaa"},
      {"sr(aaa,aa,x)", "xa"},
      {"sr(abc,*null,x)", "abc"},
      {"sr(abc,b,*null)", "ac"},
      {"sr(abab,a,aa)", "aabaab"},  // replacements are not searched again
      {"sr(abc,b,x,0)", "*** ERROR. FUNCTION:SR. NON-POSITIVE ARGUMENT: '0'"},
      {"sr(abc,b,x,z)", "*** ERROR. FUNCTION:SR. NON-NUMERIC ARGUMENT: 'z'"},
      {"sr(abc,b,x,1.5)",
       "*** ERROR. FUNCTION:SR. NON-INTEGER ARGUMENT: '1.5'"},
      {"v( a,b )", "a,b"},
      {"v(*pos)", "*pos"},
  });
}

TEST(WordFunctionsTest, SplitReadAndBuild) {
  RunCases({
      {"gw(one two  three,*blank,3)", "three"},
      {"gw(one two,*blank,3)", ""},
      {"gw(a;b.c,;.,2)", "b"},
      {"gw(abc,*null)", "abc"},
      {"gw(a b,*blank,0)",
       "*** ERROR. FUNCTION:GW. NON-POSITIVE ARGUMENT: '0'"},
      {"gw(a b,*blank,x)", "*** ERROR. FUNCTION:GW. NON-NUMERIC ARGUMENT: 'x'"},
      {"gw(a b,*blank,1.5)",
       "*** ERROR. FUNCTION:GW. NON-INTEGER ARGUMENT: '1.5'"},
      {"gw(a b,*blank,2147483647)", ""},
      {"gh(key=value,=)", "key"},
      {"gt(key=value,=)", "value"},
      {"gh(abc,=)", ""},
      {"gt(abc,=)", ""},
      {"gt(a==b,==)", "b"},
      {"gh(abc,*null)", ""},
      {"gt(abc,*null)", "abc"},
      {"rgs(nosuchrange)", ""},
      {"rgs(MID4)", "cdef"},  // range keys ignore letter case
      {"rgs(r)", "cdef", {{"r", "mid4"}}},
      {"rgs(tail)", "fgh"},
      {"rgs(beyond)", ""},
      {"rgs(nolen)", ""},
      {"ovl(abcdef,XY,3)", "abXYef"},
      {"ovl(abc,XYZ,3)", "abXYZ"},
      {"ovl(ab,X,5)", "ab  X"},
      {"ovl(abc,XY)", "XYabc"},
      {"ovl(abc,*null,2)", "abc"},
      {"ovl(abc,X,1)", "Xbc"},
      {"ovl(abc,X,0)", "Xabc"},
      {"ovl(abc,X,32768)", ""},
      {"ovl(abc,X,-1)",
       "*** ERROR. FUNCTION:OVL. NEGATIVE POSITION ARGUMENT: '-1'"},
      {"ovl(abc,X,p)",
       "*** ERROR. FUNCTION:OVL. NON-NUMERIC POSITION ARGUMENT: 'p'"},
      {"ovl(abc,X,1.5)",
       "*** ERROR. FUNCTION:OVL. NON-INTEGER POSITION ARGUMENT: '1.5'"},
      {"fill(ab,5,1,*)", "ab***"},
      {"fill(ab,5,0,0)", "000ab"},
      {"fill(abcdef,3,1)", "abc"},
      {"fill(abcdef,3,0)", "def"},
      {"fill(ab,4,1)", "ab  "},
      {"fill(ab,3,2)", "*** ERROR. FUNCTION:FILL. ILLEGAL SIDE ARGUMENT: '2'"},
      {"fill(ab,5)", "*** ERROR. FUNCTION:FILL. ILLEGAL SIDE ARGUMENT: ''"},
      {"fill(ab,0,2)", "*** ERROR. FUNCTION:FILL. NON-POSITIVE ARGUMENT: '0'"},
      {"fill(ab,n,1)", "*** ERROR. FUNCTION:FILL. NON-NUMERIC ARGUMENT: 'n'"},
      {"fill(ab,2.5,1)",
       "*** ERROR. FUNCTION:FILL. NON-INTEGER ARGUMENT: '2.5'"},
      {"fill(ab,,1)", "a"},
      {"cop(ab,3)", "ababab"},
      {"cop(ab)", "*** ERROR. FUNCTION:COP. UNDEFINED COPYQTY ARGUMENT: ''"},
      {"cop(ab,0)",
       "*** ERROR. FUNCTION:COP. NON-POSITIVE COPYQTY ARGUMENT: '0'"},
      {"cop(ab,x)",
       "*** ERROR. FUNCTION:COP. NON-NUMERIC COPYQTY ARGUMENT: 'x'"},
      {"cop(ab,1.5)",
       "*** ERROR. FUNCTION:COP. NON-INTEGER COPYQTY ARGUMENT: '1.5'"},
      {"cop(*null,2000000000)", ""},
      {"chr(65)", "A"},
      {"chr(-1)", "*** ERROR. FUNCTION:CHR. NON-POSITIVE CODE ARGUMENT: '-1'"},
      {"chr(256)",
       "*** ERROR. FUNCTION:CHR. OUT-OF-RANGE CODE ARGUMENT: '256'"},
      {"chr(65.5)",
       "*** ERROR. FUNCTION:CHR. NON-INTEGER CODE ARGUMENT: '65.5'"},
      {"chr(x)", "*** ERROR. FUNCTION:CHR. NON-NUMERIC CODE ARGUMENT: 'x'"},
      {"chr(*null)", "*** ERROR. FUNCTION:CHR. UNDEFINED CODE ARGUMENT: ''"},
      {"chr(255)", "\xff"},
  });
  EvalFixture f;
  EXPECT_EQ(f.Eval("chr(0)"), std::string(1, '\0'));
  EXPECT_EQ(f.Eval("ovl(abc,X,32767)"), "abc" + std::string(32763, ' ') + "X");
}

TEST(ArithmeticFunctionsTest, ComputeExactly) {
  RunCases({
      {"sum(1,2,3)", "6"},
      {"sum(-1,0.25)", "-0.75"},
      {"sum(5)", "5"},
      {"sum(0.1,-0.1)", "0"},
      {"sum(x,1)", "3.5", {{"x", "2,5"}}},
      {"sum(1e2, 2.5E-1)", "100.25"},
      {"sum(0.1,0.2)", "0.3"},
      {"sum(1,x)", "*** ERROR. FUNCTION:SUM. INVALID ARGUMENT: 'x'"},
      {"sum(1,)", "*** ERROR. FUNCTION:SUM. INVALID ARGUMENT: ''"},
      {"sum(79228162514264337593543950335,1)",
       "*** ERROR. FUNCTION:SUM. OVERFLOW."},
      {"sum(1e29)", "*** ERROR. FUNCTION:SUM. OVERFLOW."},
      {"mul(2,3,4)", "24"},
      {"mul(-2,0.5)", "-1"},
      {"mul(2,a)", "*** ERROR. FUNCTION:MUL. INVALID ARGUMENT: 'a'"},
      // Overflow and unreadable values give 0, invalid texts an error.
      {"mul(79228162514264337593543950335,2)", "0"},
      {"mul(79228162514264337593543950335,2,5)", "0"},
      {"mul(1e29,0)", "0"},
      {"mul(1e29,x)", "*** ERROR. FUNCTION:MUL. INVALID ARGUMENT: 'x'"},
      {"div(10,4)", "2"},
      {"div(14,4)", "4"},
      {"div(10,4,1)", "2.5"},
      {"div(10,4,3)", "2.500"},
      {"div(1,3,2)", "0.33"},
      {"div(-1,4,1)", "-0.2"},
      {"div(-1,4)", "0"},
      {"div(2,3,28)", "0.6666666666666666666666666667"},
      {"div(1,3,29)", "0"},
      {"div(1,0)", "0"},
      {"div(1e29,1)", "0"},
      {"div(79228162514264337593543950335,0.1)", "0"},
      {"div(x,1)", "*** ERROR. FUNCTION:DIV. NON-NUMERIC ARGUMENT: 'x'"},
      {"div(1)", "*** ERROR. FUNCTION:DIV. NON-NUMERIC ARGUMENT: ''"},
      {"div(1,2,-1)", "*** ERROR. FUNCTION:DIV. NEGATIVE ROUND ARGUMENT: '-1'"},
      {"div(1,2,1.5)",
       "*** ERROR. FUNCTION:DIV. NON-INTEGER ROUND ARGUMENT: '1.5'"},
      {"div(1,0,z)",
       "*** ERROR. FUNCTION:DIV. NON-NUMERIC ROUND ARGUMENT: 'z'"},
  });
}

TEST(ResultLengthTest, RefusesResultsBeyondTheLimit) {
  RunCases({
      {"cop(ab,2000000000)", "*** ERROR. FUNCTION:COP. RESULT TOO LONG."},
      {"fill(ab,2000000000,1)", "*** ERROR. FUNCTION:FILL. RESULT TOO LONG."},
  });
  // Joining and replacing know their length before they copy anything.
  EvalFixture f;
  f.str_vars.Set("x", std::string(size_t{1} << 20, 'a'));
  f.str_vars.Set("y", std::string(2048, 'b'));
  std::string join = "cs(x";
  for (size_t n = 1; n <= kMaxResultLength >> 20; ++n) join += ",x";
  EXPECT_EQ(f.Eval(join + ")"), "*** ERROR. FUNCTION:CS. RESULT TOO LONG.");
  EXPECT_EQ(f.Eval("sr(x,a,y)"), "*** ERROR. FUNCTION:SR. RESULT TOO LONG.");
  EXPECT_EQ(f.Eval("len(sr(x,a,y,100))"),
            std::to_string((size_t{1} << 20) - 100 + 100 * 2048));
}

// fill's pad, copied period by period, against the pad written one
// character at a time, for pads shorter and longer than the fill text.
TEST(FillTest, PadRepeatsTheFillTextFromTheRightEnd) {
  for (const std::string f : {"x", "xy", "xyz", "abcd"}) {
    for (const int32_t n : {3, 4, 5, 7, 8, 9, 16, 17, 31, 100}) {
      for (const bool right : {true, false}) {
        const std::string t = "ab";
        const size_t pad = static_cast<size_t>(n) - t.size();
        const size_t offset = right ? 0 : (f.size() - pad % f.size()) % f.size();
        std::string expected;
        for (size_t i = 0; i < pad; ++i) expected += f[(offset + i) % f.size()];
        expected = right ? t + expected : expected + t;
        EvalFixture fixture;
        EXPECT_EQ(fixture.Eval("fill(ab," + std::to_string(n) + "," +
                               (right ? "1," : "0,") + f + ")"),
                  expected)
            << f << " " << n << " " << right;
      }
    }
  }
}

// The head of sr's result, made without the rest, against the result.
TEST(SrHeadTest, IsTheBeginningOfTheResult) {
  std::mt19937 rng(1206);
  auto random_text = [&rng](size_t max) {
    std::string s(rng() % (max + 1), ' ');
    for (char& c : s) c = "ab*"[rng() % 3];
    return s;
  };
  for (int round = 0; round < 3000; ++round) {
    const std::string t = "x" + random_text(30);  // never an empty argument
    const std::string f = "a" + random_text(2);
    const std::string r = "b" + random_text(3);
    const int32_t count = round % 4 == 0 ? 1 + static_cast<int32_t>(rng() % 3)
                                         : INT32_MAX;
    EvalFixture fixture;
    const std::string result = fixture.Eval(
        count == INT32_MAX ? "sr(t,f,r)" : "sr(t,f,r," + std::to_string(count) + ")",
        {{"t", t}, {"f", f}, {"r", r}});
    for (size_t n : {size_t{0}, size_t{1}, size_t{5}, size_t{9}, size_t{40}}) {
      ASSERT_EQ(SrHead(SrArguments{t, f, r, count}, n), result.substr(0, n))
          << t << " " << f << " -> " << r << " count " << count << " n " << n;
    }
  }
}

}  // namespace
}  // namespace zarn
