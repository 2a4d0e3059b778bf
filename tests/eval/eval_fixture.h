// A variable store prepared like a running program's, and one-line
// evaluation for table-driven cases.
#ifndef ZARN_TESTS_EVAL_EVAL_FIXTURE_H_
#define ZARN_TESTS_EVAL_EVAL_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "eval/evaluator.h"

namespace zarn {

using VarList = std::vector<std::pair<std::string, std::string>>;

// The text of *filestring in every case, and the ranges over it.
inline constexpr std::string_view kFileText = "abcdefgh";

struct EvalFixture {
  EvalFixture() {
    for (const auto& [name, value] : VarList{{"*comma", ","},
                                             {"*blank", " "},
                                             {"*null", ""},
                                             {"*lb", "("},
                                             {"*rb", ")"},
                                             {"*crlf", "\r\n"},
                                             {"*pos", "7"}}) {
      str_vars.Set(name, value);
    }
    str_vars.Set(kFileStringName, std::string(kFileText));
    range_vars.SetRangeVar({"mid4", 3, 4});   // cdef
    range_vars.SetRangeVar({"tail", 6, 10});  // fgh: cut at the end
    range_vars.SetRangeVar({"beyond", 20, 2});
    range_vars.SetRangeVar({"nolen", 5, 0});
  }

  std::string Eval(std::string_view expression, const VarList& vars = {}) {
    for (const auto& [name, value] : vars) str_vars.Set(name, value);
    return Evaluate(expression, ctx);
  }

  // The value of a variable, or "<none>" when no variable has exactly
  // this name.
  std::string Var(std::string_view name) const {
    auto v = str_vars.ExactValueOf(name);
    return v ? std::string(*v) : std::string("<none>");
  }

  StrVarStore str_vars;
  RangeVarStore range_vars;
  int32_t FunrCount = -1;
  EvalContext ctx{str_vars, range_vars, FunrCount};
};

// An expression, its value, and the variables set before it.
struct EvalCase {
  std::string_view expression;
  std::string_view expected;
  VarList vars = {};
};

// Each case in a store of its own.
inline void RunCases(std::initializer_list<EvalCase> cases) {
  for (const EvalCase& c : cases) {
    EvalFixture f;
    EXPECT_EQ(f.Eval(c.expression, c.vars), c.expected)
        << "expression: " << c.expression;
  }
}

}  // namespace zarn

#endif  // ZARN_TESTS_EVAL_EVAL_FIXTURE_H_
