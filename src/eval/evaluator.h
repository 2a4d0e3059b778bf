// The expression evaluator: nested calls of the built-in functions are
// evaluated innermost first, each result stored in a result variable
// *funr1, *funr2, ... and the call replaced by that variable's name.
#ifndef ZARN_EVAL_EVALUATOR_H_
#define ZARN_EVAL_EVALUATOR_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "eval/args.h"
#include "eval/call.h"
#include "variables/range_vars.h"
#include "variables/str_vars.h"

namespace zarn {

class RegularExpressions;  // support/regex.h
struct FunctionRow;        // functions.h

// How the rewriting of an expression ended.
enum class RewriteEnd {
  kText,           // no call is left: the final text is to be fetched
  kInvalidFormat,  // a parenthesis does not belong to a call
  kStopped,        // the visitor stopped it at a call
};

// One call of a plan: the function, its argument text as the rewriting
// leaves it, that text cut at its commas with each piece trimmed, and the
// result variable.
struct PlannedCall {
  const FunctionRow* row;
  std::string arguments;
  PlannedArgs args;
  VarName result;
};

// The plan of an expression (see ExpressionPlans), made by
// ExpressionPlans::PlanOf and read only by the evaluator.
struct ExpressionPlan {
  std::vector<PlannedCall> calls;
  // kText: `text` is the final text, trimmed; kStopped: the call after the
  // planned ones names no function, `text` is its name; kInvalidFormat:
  // the rewriting fails after the planned calls.
  RewriteEnd end = RewriteEnd::kText;
  VarName text;
  // Whether the final text is the result variable of the last call.
  bool ends_in_last_result = false;
  // The shortcut of a plan that is one call whose value is the value of the
  // expression, when its function has one (FunctionRow::known_numbers).
  KnownNumbersShortcut known_numbers = nullptr;
};

// The rewriting of an expression depends on nothing but its text: which
// calls are made, in which order, with which argument texts, into which
// result variables, and which text is left at the end (or which error ends
// it). A plan records that once per expression text; evaluating through it
// only fetches the arguments and calls the functions, with the argument
// texts already cut at their commas and trimmed. The results, the result
// variables left in the store and their count are those of the rewriting
// itself. A program has a fixed set of expression texts, so the plans of a
// run stay few.
class ExpressionPlans {
 public:
  ExpressionPlans();
  ~ExpressionPlans();
  ExpressionPlans(const ExpressionPlans&) = delete;
  ExpressionPlans& operator=(const ExpressionPlans&) = delete;

  // The names under which a program can store string variables besides
  // the system's own (which begin with "*"): the targets of its
  // assignments. Given before the first plan, it lets the plans treat every
  // other argument as a literal that is never looked up. Without it every
  // argument is looked up.
  void SetAssignable(std::unordered_set<std::string> names);

  // The plan of expression, made on first use.
  const ExpressionPlan& PlanOf(std::string_view expression);
  // The plan of expression when one has been made, else nullptr.
  const ExpressionPlan* Find(std::string_view expression) const {
    auto found = plans_.find(expression);
    return found == plans_.end() ? nullptr : found->second.get();
  }
  size_t size() const { return plans_.size(); }

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const {
      return std::hash<std::string_view>()(s);
    }
  };
  std::unordered_map<std::string, std::unique_ptr<ExpressionPlan>, Hash,
                     std::equal_to<>>
      plans_;
  std::unordered_set<std::string> assignable_;
  bool assignable_known_ = false;

  ArgPiece MakePiece(std::string_view text) const;
};

// What an evaluation reads and writes: the two variable stores and the
// counter of result variables, and where the plans are kept (none: every
// evaluation rewrites its text afresh). The evaluator knows nothing else of
// the run.
struct EvalContext {
  StrVarStore& str_vars;
  RangeVarStore& range_vars;
  int32_t& FunrCount;
  ExpressionPlans* plans = nullptr;
  // False when nothing after the evaluation can read a result variable:
  // the result of the last call, which is the value of the expression, is
  // then handed over without being stored in its variable first.
  bool keep_results = true;
  // What the functions read: the two stores, and the run's regular
  // expressions once env.regex is set.
  FunctionEnv env{str_vars, range_vars};
};

// The result text of an expression; an error is a text beginning with
// "*** ERROR.".
std::string Evaluate(std::string_view expression, EvalContext& ctx);
// The same through the plan of the expression (ExpressionPlans::PlanOf).
std::string Evaluate(const ExpressionPlan& plan, std::string_view expression,
                     EvalContext& ctx);
// The same, handing the result over as a view: of the variable the
// expression ends in, or of the plan's text, or of *buffer, which receives
// any other result. A long value then reaches its destination with one copy
// instead of two. The view is valid until the store or *buffer changes.
// When number is given, a value that is a whole number known as such (the
// counter of a loop, an argument chosen by ifn that holds or is written as
// a number) may be handed over as *number instead, the view then being
// empty: its decimal text is the value.
//
// A plan without calls (a condition naming a variable) is answered here,
// inline; EvaluateCalls makes the calls of the others.
std::string_view EvaluateCalls(const ExpressionPlan& plan,
                               std::string_view expression, EvalContext& ctx,
                               std::string* buffer,
                               std::optional<int64_t>* number);
// The value of a plan whose rewriting fails after its calls, in *buffer.
std::string_view UnfinishedValue(const ExpressionPlan& plan,
                                 std::string_view expression,
                                 std::string* buffer);
// The value an evaluation ends with once the calls of plan are made: the
// error of a failed rewriting, else the final text, or the value of the
// variable it names; a variable holding a number hands it over as such
// (its text is the number's decimal text) when number is given.
inline std::string_view FinalValue(const ExpressionPlan& plan,
                                   std::string_view expression,
                                   const StrVarStore& vars, std::string* buffer,
                                   std::optional<int64_t>* number) {
  if (plan.end != RewriteEnd::kText) {
    return UnfinishedValue(plan, expression, buffer);
  }
  if (number == nullptr) return FetchArgument(plan.text, vars);
  std::string_view text;
  int64_t n = 0;
  switch (vars.ExactTextOrNumber(plan.text, &text, &n)) {
    case StrVarStore::Exact::kNumber:
      *number = n;
      return std::string_view();
    case StrVarStore::Exact::kText:
      return text;
    case StrVarStore::Exact::kNone:
      break;
  }
  return plan.text.str();
}
// The value of a plan computed by its known-numbers shortcut (see
// ExpressionPlan::known_numbers) when nothing can read the result variable
// of its call: the number EvaluateView would hand over, its one call
// counted. False, having changed nothing, when the plan must be evaluated.
inline bool EvaluateKnownNumbers(const ExpressionPlan& plan, EvalContext& ctx,
                                 int64_t* number) {
  if (plan.known_numbers == nullptr || ctx.keep_results ||
      !plan.known_numbers(plan.calls.front().args.pieces(), ctx.str_vars,
                          number)) {
    return false;
  }
  ctx.FunrCount = 1;
  return true;
}

inline std::string_view EvaluateView(const ExpressionPlan& plan,
                                     std::string_view expression,
                                     EvalContext& ctx, std::string* buffer,
                                     std::optional<int64_t>* number = nullptr) {
  int64_t known = 0;
  if (number != nullptr && EvaluateKnownNumbers(plan, ctx, &known)) {
    *number = known;
    return std::string_view();
  }
  ctx.FunrCount = 0;
  if (!plan.calls.empty()) {
    return EvaluateCalls(plan, expression, ctx, buffer, number);
  }
  return FinalValue(plan, expression, ctx.str_vars, buffer, number);
}

struct SrArguments;  // functions.h

// Whether the expression of plan is one call of sr whose first argument is
// written exactly "*filestring" and whose result is the expression's value.
bool IsSrOfFileText(const ExpressionPlan& plan);

// Whether IsSrOfFileText(plan), with arguments that pass sr's checks; they
// are then fetched into *args
// (the text viewing *filestring where it lies). Nothing is evaluated and no
// result variable is touched, so that an assignment of the result to
// *filestring may edit the text in place instead.
bool PlannedSrOfFileText(const ExpressionPlan& plan, EvalContext& ctx,
                         SrArguments* args);

}  // namespace zarn

#endif  // ZARN_EVAL_EVALUATOR_H_
