#include "eval/evaluator.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>

#include "eval/args.h"
#include "eval/call.h"
#include "eval/eval_fixture.h"
#include "eval/functions.h"
#include "support/text.h"

namespace zarn {
namespace {

// FindInnermostCall: "prefix|name|arguments|suffix", all empty for no call.
TEST(FindInnermostCallTest, SplitsAroundTheFirstClosedCall) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"x len(abc) y", "x |len|abc| y"},
      {"f(g(x),h(y))", "f(|g|x|,h(y))"},
      {"f()", "|f||"},
      {"Len_2(a,b)", "|Len_2|a,b|"},
      {"9x(1)", "|9x|1|"},
      {"*funr1(b)", "*|funr1|b|"},
      {"a.b(c)", "a.|b|c|"},
      {"f(a(b)", "f(|a|b|"},
      {"", "|||"},
      {"f(abc", "|||"},
      {"()", "|||"},
      {"a)", "|||"},
      {")f(x)", "|||"},
      {"len (abc)", "|||"},
      {"f((a))", "|||"},
      {"\xc3\xa9(a)", "|||"},
  };
  for (const auto& [expression, parts] : cases) {
    InnermostCall call = FindInnermostCall(expression);
    EXPECT_EQ(std::string(call.prefix) + "|" + std::string(call.name) + "|" +
                  std::string(call.arguments) + "|" + std::string(call.suffix),
              parts)
        << expression;
    EXPECT_EQ(call.found(), parts != "|||") << expression;
  }
}

TEST(FetchArgumentTest, TrimsAndResolvesOneLevelByExactName) {
  StrVarStore vars;
  vars.Set("x", "y");
  vars.Set("y", "z");
  vars.Set("Abc", "1");
  EXPECT_EQ(FetchArgument("  plain text  ", vars), "plain text");
  EXPECT_EQ(FetchArgument(" x ", vars), "y");    // one level only
  EXPECT_EQ(FetchArgument("abc", vars), "abc");  // letter case counts
  EXPECT_EQ(FetchArgument("x\t", vars), "x\t");  // only blanks are trimmed
  EXPECT_EQ(FetchArgument("   ", vars), "");
  vars.Set("", "unnamed");
  EXPECT_EQ(FetchArgument("   ", vars), "unnamed");
  // The file text is read where it lies.
  vars.Set(kFileStringName, std::string(1000, 'q'));
  std::string_view v = FetchArgument("*filestring", vars);
  EXPECT_EQ(v.data(), vars.file_text().view().data());
}

TEST(EvaluateTest, EvaluatesAsDocumented) {
  RunCases({
      {"", "unnamed", {{"", "unnamed"}}},
      {" *pos ", "7"},
      {"*xyz", "*xyz"},
      {"LEN(abc)", "3"},
      {"Foo(1)", "*** ERROR. UNDEFINED FUNCTION: 'Foo'"},
      {"x len(abc)", "x *funr1"},
      {"len(mid(abc,5))",
       "*** ERROR. FUNCTION:MID. POSITION ARGUMENT EXCEEDS STRING LENGTH: '5'"},
      {"v(len(a))", "*funr1"},
      {"cs(len(a),len(bb),len(ccc))", "123"},
      // Unbalanced and misplaced parentheses, kept whole in the message.
      {" len(a", "*** ERROR. INVALID EXPRESSION FORMAT : ' len(a'"},
      {"len(a))", "*** ERROR. INVALID EXPRESSION FORMAT : 'len(a))'"},
      {"a)", "*** ERROR. INVALID EXPRESSION FORMAT : 'a)'"},
      {")len(a)", "*** ERROR. INVALID EXPRESSION FORMAT : ')len(a)'"},
      {"len((a))", "*** ERROR. INVALID EXPRESSION FORMAT : 'len((a))'"},
      {"len (abc)", "*** ERROR. INVALID EXPRESSION FORMAT : 'len (abc)'"},
      // A function error wins over a malformed rest that is never reached.
      {"len() (", "*** ERROR. FUNCTION:LEN. EMPTY ARGUMENT."},
      // The name runs on into a result variable's name before it.
      {"len(a)(b)", "*** ERROR. UNDEFINED FUNCTION: 'funr1'"},
      {"len(a)len(b)", "*** ERROR. UNDEFINED FUNCTION: 'funr1len'"},
      {"\xc3\xa9len(a)", "\xc3\xa9*funr1"},
      // Values are never parsed again: parentheses and commas in them are
      // plain text.
      {"x", "(a)", {{"x", "(a)"}}},
      {"len(x)", "5", {{"x", "(a,b)"}}},
      {"cs(*lb,x,*rb)", "((a,b))", {{"x", "(a,b)"}}},
      // An error text from any source stops the evaluation.
      {"len(v(*** ERROR. boom))", "*** ERROR. boom"},
      {"cs(x)", "*** ERROR.x", {{"x", "*** ERROR.x"}}},
      {"cs(x)", "*** ERRORx", {{"x", "*** ERRORx"}}},
  });
}

// Within one evaluation the literal comparison below sees to the result
// variables; across evaluations the count restarts and older ones stay.
TEST(EvaluateTest, LeavesResultVariablesAndRestartsTheirCount) {
  EvalFixture f;
  EXPECT_EQ(f.Eval("sum(len(a),len(bb))"), "3");
  EXPECT_EQ(f.FunrCount, 3);
  EXPECT_EQ(f.Var("*funr1"), "1");
  EXPECT_EQ(f.Var("*funr2"), "2");
  EXPECT_EQ(f.Var("*funr3"), "3");

  EXPECT_EQ(f.Eval("len(abcd)"), "4");
  EXPECT_EQ(f.FunrCount, 1);
  EXPECT_EQ(f.Var("*funr1"), "4");
  EXPECT_EQ(f.Var("*funr2"), "2");  // kept from the earlier evaluation

  EXPECT_EQ(f.Eval("plain"), "plain");
  EXPECT_EQ(f.FunrCount, 0);
}

// ---------------------------------------------------------------------------
// Malformed and very large expressions: no recursion, no quadratic work.

TEST(EvaluateTest, HandlesDeepNesting) {
  constexpr int kDepth = 100000;
  EvalFixture f;
  std::string e;
  for (int i = 0; i < kDepth; ++i) e += "v(";
  e += "a";
  e += std::string(kDepth, ')');
  // Each v returns the name of the result variable inside it.
  EXPECT_EQ(f.Eval(e), "*funr" + std::to_string(kDepth - 1));
  EXPECT_EQ(f.FunrCount, kDepth);

  std::string unclosed;
  for (int i = 0; i < kDepth; ++i) unclosed += "len(";
  unclosed += "a";
  EXPECT_EQ(f.Eval(unclosed),
            "*** ERROR. INVALID EXPRESSION FORMAT : '" + unclosed + "'");

  std::string sums;
  for (int i = 0; i < kDepth; ++i) sums += "sum(1,";
  sums += "0";
  sums += std::string(kDepth, ')');
  EXPECT_EQ(f.Eval(sums), std::to_string(kDepth));
}

TEST(EvaluateTest, HandlesMegabyteExpressions) {
  constexpr size_t kSize = 1 << 20;
  EvalFixture f;

  std::string many_args = "sum(";
  for (size_t i = 0; many_args.size() < kSize; ++i) many_args += "1,";
  const size_t ones = (many_args.size() - 4) / 2;
  many_args += "1)";
  EXPECT_EQ(f.Eval(many_args), std::to_string(ones + 1));

  std::string many_calls;
  while (many_calls.size() < kSize) many_calls += "len(ab) ";
  std::string result = f.Eval(many_calls);
  EXPECT_EQ(result.substr(0, 14), "*funr1 *funr2 ");
  EXPECT_EQ(f.Var("*funr1000"), "2");

  EXPECT_EQ(f.Eval(std::string(kSize, '(')).size(), kSize + 41);
  EXPECT_EQ(f.Eval(std::string(kSize, ')')).size(), kSize + 41);
  std::string opens;
  while (opens.size() < kSize) opens += "a(";
  EXPECT_EQ(f.Eval(opens).substr(0, 38),
            "*** ERROR. INVALID EXPRESSION FORMAT :");

  const std::string long_name(kSize, 'n');
  EXPECT_EQ(f.Eval(long_name + "(x)"),
            "*** ERROR. UNDEFINED FUNCTION: '" + long_name + "'");

  std::string commas = "cs(" + std::string(kSize, ',') + ")";
  EXPECT_EQ(f.Eval(commas), "");
}

// ---------------------------------------------------------------------------
// The rewriting loop against the literal algorithm: search the whole working
// copy again after every call.

std::string LiteralEvaluate(std::string_view expression, EvalContext& ctx) {
  ctx.FunrCount = 0;
  std::string work(expression);
  for (;;) {
    InnermostCall c = FindInnermostCall(work);
    if (!c.found()) break;
    std::string result;
    const FunctionRow* row = FindFunction(AsciiLower(c.name));
    if (row == nullptr) {
      result = "*** ERROR. UNDEFINED FUNCTION: '" + std::string(c.name) + "'";
    } else {
      FunctionEnv env{ctx.str_vars, ctx.range_vars};
      Call call(row->name, c.arguments, env);
      result = row->function(call);
    }
    if (result.substr(0, 10) == "*** ERROR.") return result;
    ++ctx.FunrCount;
    std::string var = "*funr" + std::to_string(ctx.FunrCount);
    ctx.str_vars.Set(var, result);
    work = std::string(c.prefix) + var + std::string(c.suffix);
  }
  if (work.find_first_of("()") != std::string::npos) {
    return "*** ERROR. INVALID EXPRESSION FORMAT : '" +
           std::string(expression) + "'";
  }
  return std::string(FetchArgument(work, ctx.str_vars));
}

TEST(EvaluateTest, MatchesTheLiteralAlgorithmOnGeneratedExpressions) {
  const std::string_view tokens[] = {
      "len(", "cs(", "v(", "sum(",   "rev(",   "Uc(", "foo(",  "mid(",
      "(",    ")",   ")",  ")",      ",",      ",",   "a",     "b1",
      "1",    " ",   "x",  "*funr1", "*funr2", "2.5", "len (", "_(",
  };
  std::mt19937 rng(7);
  std::uniform_int_distribution<size_t> pick(0, std::size(tokens) - 1);
  std::uniform_int_distribution<int> length(0, 14);
  for (int round = 0; round < 20000; ++round) {
    std::string e;
    for (int n = length(rng); n > 0; --n) e += tokens[pick(rng)];
    EvalFixture fast, literal;
    fast.str_vars.Set("x", "(x,1)");
    literal.str_vars.Set("x", "(x,1)");
    const std::string got = Evaluate(e, fast.ctx);
    const std::string want = LiteralEvaluate(e, literal.ctx);
    ASSERT_EQ(got, want) << "expression: " << e;
    ASSERT_EQ(fast.FunrCount, literal.FunrCount) << "expression: " << e;
    ASSERT_EQ(fast.str_vars.DumpStrVars("=all=", "", ""),
              literal.str_vars.DumpStrVars("=all=", "", ""))
        << "expression: " << e;
  }
}

}  // namespace
}  // namespace zarn
