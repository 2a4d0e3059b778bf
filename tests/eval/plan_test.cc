// Evaluation through a plan against evaluation afresh: the same results,
// the same result variables left in the store and the same count, over
// generated expressions, with the plans used again after the variables
// changed.
#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "eval/decimal.h"
#include "eval/eval_fixture.h"
#include "eval/evaluator.h"

namespace zarn {
namespace {

// Pieces of expressions: calls of every kind, names of variables that
// exist and of some that do not yet, literals, separators, malformed bits.
const std::string_view kTokens[] = {
    "sum(",  "ifn(",  "cs(",   "len(",  "v(",     "mid(",  "foo(",   "Sum(",
    "sr(",   "pos(",  "ifs(",  "not(",  "gw(",    "rgs(",  "div(",   "mul(",
    "(",     ")",     ")",     ")",     ",",      ",",     ",",      " ",
    "i",     "x",     "n",     "1",     "0",      "-3",    "2.5",    "ge",
    "*funr1", "*funr2", "*funr3", "mid4", "*pos", "len (", "_(",     "007",
    "99999999999999999999",    "*blank", "a,b",   "later", "*filestring",
};

std::string RandomExpression(std::mt19937& rng) {
  std::uniform_int_distribution<size_t> pick(0, std::size(kTokens) - 1);
  std::uniform_int_distribution<int> length(0, 12);
  std::string e;
  for (int n = length(rng); n > 0; --n) e += kTokens[pick(rng)];
  return e;
}

// Gives the same variables to both stores.
void SetBoth(EvalFixture& a, EvalFixture& b, std::string_view name,
             std::string_view value) {
  a.str_vars.Set(name, std::string(value));
  b.str_vars.Set(name, std::string(value));
}

TEST(ExpressionPlanTest, PlannedEvaluationMatchesEvaluationAfresh) {
  std::mt19937 rng(42);
  EvalFixture planned;
  EvalFixture afresh;
  ExpressionPlans plans;
  planned.ctx.plans = &plans;
  SetBoth(planned, afresh, "i", "5");
  SetBoth(planned, afresh, "x", "(x,1)");

  std::vector<std::string> expressions;
  for (int i = 0; i < 3000; ++i) expressions.push_back(RandomExpression(rng));
  std::uniform_int_distribution<int> value(-20, 20);
  // Every expression three times, the variables changing in between, so
  // that plans made once are used with other values.
  for (int pass = 0; pass < 3; ++pass) {
    for (const std::string& e : expressions) {
      const std::string want = Evaluate(e, afresh.ctx);
      const std::string got = Evaluate(e, planned.ctx);
      ASSERT_EQ(got, want) << "expression: " << e;
      ASSERT_EQ(planned.FunrCount, afresh.FunrCount) << "expression: " << e;
      ASSERT_EQ(planned.str_vars.DumpStrVars("=all=", "", ""),
                afresh.str_vars.DumpStrVars("=all=", "", ""))
          << "expression: " << e;
      // The view hands over the same text.
      std::string buffer;
      const std::string again = std::string(EvaluateView(
          plans.PlanOf(e), e, planned.ctx, &buffer));
      Evaluate(e, afresh.ctx);
      ASSERT_EQ(again, want) << "expression: " << e;
    }
    SetBoth(planned, afresh, "i", std::to_string(value(rng)));
    SetBoth(planned, afresh, "n", std::to_string(value(rng)));
    // A variable that did not exist before: names that were literals in
    // the plans now name a variable.
    SetBoth(planned, afresh, pass == 0 ? "later" : "LATER", "(late)");
  }
  // One plan per distinct text.
  EXPECT_LE(plans.size(), expressions.size());
}

// When no one reads the result variables afterwards, the value of the
// last call is handed over without being stored; every other call's result
// is still stored, since later calls read it.
TEST(ExpressionPlanTest, UnreadLastResultIsHandedOverWithoutItsVariable) {
  for (const bool keep : {true, false}) {
    SCOPED_TRACE(keep ? "kept" : "not kept");
    EvalFixture f;
    ExpressionPlans plans;
    f.ctx.plans = &plans;
    f.ctx.keep_results = keep;
    EXPECT_EQ(f.Eval("cs(x,len(abc))"), "x3");
    EXPECT_EQ(f.FunrCount, 2);
    EXPECT_EQ(f.Var("*funr1"), "3");
    EXPECT_EQ(f.Var("*funr2"), keep ? "x3" : "<none>");
    // A final text that is not the last result is fetched as always.
    EXPECT_EQ(f.Eval("*funr1"), "3");
    EXPECT_EQ(f.Eval("  len(ab) "), "2");
    EXPECT_EQ(f.Var("*funr1"), keep ? "2" : "3");
  }
}

// sum of plain whole numbers takes a shortcut; it must write what the
// decimal arithmetic writes, and leave everything else to it.
TEST(SumShortcutTest, WritesWhatTheDecimalSumWrites) {
  std::mt19937_64 rng(3);
  EvalFixture f;
  const std::vector<std::string> edges = {
      "0",  "-0", "007", "-007", "999999999999999999", "-999999999999999999",
      "1000000000000000000", "9223372036854775807", "1", "-1"};
  auto decimal_sum = [](const std::vector<std::string>& args) {
    Decimal total;
    for (const std::string& a : args) total = *Add(total, *Decimal::Parse(a));
    return total.ToText();
  };
  for (int round = 0; round < 5000; ++round) {
    std::vector<std::string> args;
    const int count = 1 + static_cast<int>(rng() % 4);
    for (int k = 0; k < count; ++k) {
      if (rng() % 3 == 0) {
        args.push_back(edges[rng() % edges.size()]);
      } else {
        const int64_t magnitude = static_cast<int64_t>(rng() >> (rng() % 63));
        args.push_back(std::to_string(rng() % 2 ? magnitude : -magnitude));
      }
    }
    std::string expression = "sum(";
    for (size_t k = 0; k < args.size(); ++k) {
      expression += (k ? "," : "") + args[k];
    }
    expression += ")";
    ASSERT_EQ(f.Eval(expression), decimal_sum(args)) << expression;
  }
  // Anything but a plain whole number goes the decimal way.
  EXPECT_EQ(f.Eval("sum( 2 ,3)"), "5");
  EXPECT_EQ(f.Eval("sum(+2,1e1)"), "12");
}

// sr against the obvious replacement loop, for replacements shorter,
// equal and longer than what they replace, with and without a count.
TEST(SrTest, MatchesTheObviousLoop) {
  std::mt19937 rng(17);
  auto random_text = [&rng](size_t max) {
    std::string s(rng() % (max + 1), ' ');
    for (char& c : s) c = "abf o"[rng() % 5];
    return s;
  };
  EvalFixture f;
  for (int round = 0; round < 4000; ++round) {
    const std::string t = random_text(40);
    std::string find = random_text(3);
    if (find.empty() || find.front() == ' ' || find.back() == ' ') find = "fo";
    std::string repl = random_text(5);
    if (repl.empty() || repl.front() == ' ' || repl.back() == ' ') repl = "X";
    const int count = static_cast<int>(rng() % 4);  // 0: all
    std::string want;
    size_t from = 0;
    for (int done = 0; count == 0 || done < count; ++done) {
      const size_t hit = t.find(find, from);
      if (hit == std::string::npos) break;
      want += t.substr(from, hit - from) + repl;
      from = hit + find.size();
    }
    want += t.substr(from);
    std::string e = "sr(t,f,r" + std::string(count ? "," : "") +
                    (count ? std::to_string(count) : "") + ")";
    ASSERT_EQ(f.Eval(e, {{"t", t}, {"f", find}, {"r", repl}}), want)
        << t << " / " << find << " / " << repl << " / " << count;
  }
}

}  // namespace
}  // namespace zarn
