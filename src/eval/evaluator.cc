#include "eval/evaluator.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string>
#include <vector>

#include "eval/args.h"
#include "eval/call.h"
#include "eval/functions.h"
#include "support/number.h"
#include "support/text.h"

namespace zarn {

namespace {

constexpr std::string_view kErrorPrefix = "*** ERROR.";

std::string InvalidFormat(std::string_view expression) {
  std::string out = "*** ERROR. INVALID EXPRESSION FORMAT : '";
  out.append(expression);
  out.push_back('\'');
  return out;
}

std::string UndefinedFunction(std::string_view name) {
  std::string out = "*** ERROR. UNDEFINED FUNCTION: '";
  out.append(name);
  out.push_back('\'');
  return out;
}

// The positions of the "(" in the rewritten text, innermost last. Short
// expressions need no allocation.
class OpenStack {
 public:
  bool empty() const { return size_ == 0; }
  size_t back() const {
    return size_ <= kInline ? inline_[size_ - 1] : spill_.back();
  }
  void push(size_t pos) {
    if (size_ < kInline) {
      inline_[size_] = pos;
    } else {
      if (size_ == kInline) spill_.assign(inline_.begin(), inline_.end());
      spill_.push_back(pos);
    }
    ++size_;
  }
  void pop() {
    if (size_ > kInline) spill_.pop_back();
    --size_;
  }

 private:
  static constexpr size_t kInline = 16;
  std::array<size_t, kInline> inline_{};
  std::vector<size_t> spill_;  // all positions, once there are many
  size_t size_ = 0;
};

// The name of result variable n: "*funr" followed by n.
std::string_view ResultName(int32_t n, std::array<char, 20>* buf) {
  std::string_view prefix = "*funr";
  char* p = std::copy(prefix.begin(), prefix.end(), buf->data());
  char* end = std::to_chars(p, buf->data() + buf->size(), n).ptr;
  return std::string_view(buf->data(), static_cast<size_t>(end - buf->data()));
}

// The working copy is rewritten call by call: the first innermost call is
// replaced by the name of the variable that receives its result, and the
// search starts again. Only the text before the first ")" can change, and
// the replacement holds no ")", so the working copy is kept as `done` (the
// rewritten text before the next ")", with the positions of its "(" on a
// stack) plus the untouched rest of the expression. Each character is then
// looked at a bounded number of times, whatever the nesting depth, and the
// result is the same as searching the whole working copy again after every
// call (FindInnermostCall).
//
// For each call, in order, visit(row, name, arguments, var) receives the
// function's row (nullptr when the name is not a function), the name as
// written, the argument text and the name of the variable that receives
// the result; it returns false to stop the rewriting there. Nothing here
// depends on the values of variables, which is what makes plans possible.
template <typename Visit>
RewriteEnd Rewrite(std::string_view expression, Visit&& visit,
                   std::string* final_text) {
  std::string done;
  OpenStack opens;
  size_t rest = 0;  // start of the unread part of the expression
  int32_t calls = 0;

  auto take = [&](size_t end) {
    for (size_t i = rest; i < end; ++i) {
      if (expression[i] == '(') opens.push(done.size() + (i - rest));
    }
    done.append(expression.substr(rest, end - rest));
  };

  for (;;) {
    const size_t close = expression.find(')', rest);
    if (close == std::string_view::npos) break;
    take(close);
    rest = close + 1;

    // The working copy is done + ")" + the rest of the expression; its
    // first ")" must close a call whose name directly precedes the last
    // "(" of done.
    if (opens.empty()) return RewriteEnd::kInvalidFormat;
    const size_t open = opens.back();
    size_t start = open;
    while (start > 0 && IsNameChar(done[start - 1])) --start;
    if (start == open) return RewriteEnd::kInvalidFormat;

    const std::string_view name(done.data() + start, open - start);
    std::array<char, 8> lower{};
    const FunctionRow* row = nullptr;
    if (name.size() <= lower.size()) {
      for (size_t i = 0; i < name.size(); ++i)
        lower[i] = AsciiLowerChar(name[i]);
      row = FindFunction(std::string_view(lower.data(), name.size()));
    }

    std::array<char, 20> buf;
    const std::string_view var = ResultName(++calls, &buf);
    if (!visit(row, name, std::string_view(done).substr(open + 1), var)) {
      return RewriteEnd::kStopped;
    }
    opens.pop();
    done.resize(start);
    done.append(var);
  }

  take(expression.size());
  if (!opens.empty()) return RewriteEnd::kInvalidFormat;
  *final_text = std::move(done);
  return RewriteEnd::kText;
}

bool IsErrorText(std::string_view result) {
  // Most results are short values: the first character decides.
  return !result.empty() && result[0] == '*' &&
         result.substr(0, kErrorPrefix.size()) == kErrorPrefix;
}

// Calls the function of row through its integer shortcut: true when the
// shortcut gave *number.
inline bool CallInteger(const FunctionRow& row, std::string_view arguments,
                        const FunctionEnv& env, const PlannedArgs* pieces,
                        int64_t* number) {
  if (row.integer == nullptr) return false;
  Call call(row.name, arguments, env, pieces);
  return row.integer(call, number);
}

// Calls the function of row for its result text.
std::string CallText(const FunctionRow& row, std::string_view arguments,
                     const FunctionEnv& env, const PlannedArgs* pieces) {
  Call call(row.name, arguments, env, pieces);
  return row.function(call);
}

// Calls the function of row: true when its integer shortcut gave *number,
// false with its result text as *result otherwise.
bool CallFunction(const FunctionRow& row, std::string_view arguments,
                  const FunctionEnv& env, const PlannedArgs* pieces,
                  std::string* result, int64_t* number) {
  if (CallInteger(row, arguments, env, pieces, number)) return true;
  *result = CallText(row, arguments, env, pieces);
  return false;
}

// Evaluation without a plan: the rewriting, calling each function as it
// comes.
std::string EvaluateAfresh(std::string_view expression, EvalContext& ctx) {
  ctx.FunrCount = 0;
  const FunctionEnv& env = ctx.env;
  std::string stop_result;
  auto visit = [&](const FunctionRow* row, std::string_view name,
                   std::string_view arguments, std::string_view var) {
    if (row == nullptr) {
      stop_result = UndefinedFunction(name);
      return false;
    }
    std::string result;
    int64_t number = 0;
    if (CallFunction(*row, arguments, env, nullptr, &result, &number)) {
      ++ctx.FunrCount;
      ctx.str_vars.SetNumber(var, number);
      return true;
    }
    if (IsErrorText(result)) {
      stop_result = std::move(result);
      return false;
    }
    ++ctx.FunrCount;
    ctx.str_vars.Set(var, std::move(result));
    return true;
  };
  std::string final_text;
  switch (Rewrite(expression, visit, &final_text)) {
    case RewriteEnd::kStopped:
      return stop_result;
    case RewriteEnd::kInvalidFormat:
      return InvalidFormat(expression);
    case RewriteEnd::kText:
      break;
  }
  return std::string(FetchArgument(final_text, ctx.str_vars));
}

}  // namespace

ExpressionPlans::ExpressionPlans() = default;
ExpressionPlans::~ExpressionPlans() = default;

void ExpressionPlans::SetAssignable(std::unordered_set<std::string> names) {
  assignable_ = std::move(names);
  assignable_known_ = true;
}

ArgPiece ExpressionPlans::MakePiece(std::string_view text) const {
  ArgPiece piece;
  piece.name = VarName(text);
  // Every variable the system makes has a name beginning with "*"; the
  // program makes the others, under the names its assignments give.
  piece.literal = assignable_known_ && (text.empty() || text[0] != '*') &&
                  !assignable_.contains(std::string(text));
  int64_t value = 0;
  if (piece.literal && ReadPlainInteger(text, 18, &value) &&
      !(value == 0 && text[0] == '-')) {  // "-0" reads as a negative zero
    piece.integer = true;
    piece.value = value;
    piece.canonical = text == std::to_string(value);
  }
  return piece;
}

const ExpressionPlan& ExpressionPlans::PlanOf(std::string_view expression) {
  auto found = plans_.find(expression);
  if (found != plans_.end()) return *found->second;

  auto plan = std::make_unique<ExpressionPlan>();
  auto visit = [this, &plan](const FunctionRow* row, std::string_view name,
                             std::string_view arguments, std::string_view var) {
    if (row == nullptr) {
      plan->text = VarName(name);
      return false;
    }
    std::vector<ArgPiece> pieces;
    for (size_t from = 0;;) {
      const size_t comma = arguments.find(',', from);
      pieces.push_back(MakePiece(TrimBlanks(arguments.substr(
          from, comma == std::string_view::npos ? comma : comma - from))));
      if (comma == std::string_view::npos) break;
      from = comma + 1;
    }
    plan->calls.push_back(PlannedCall{row, std::string(arguments),
                                      PlannedArgs(std::move(pieces)),
                                      VarName(var)});
    return true;
  };
  std::string final_text;
  plan->end = Rewrite(expression, visit, &final_text);
  if (plan->end == RewriteEnd::kText) {
    plan->text = VarName(TrimBlanks(final_text));
    plan->ends_in_last_result =
        !plan->calls.empty() &&
        plan->text.str() == plan->calls.back().result.str();
    if (plan->calls.size() == 1 && plan->ends_in_last_result) {
      plan->known_numbers = plan->calls.front().row->known_numbers;
    }
  }
  return *plans_.emplace(std::string(expression), std::move(plan))
              .first->second;
}

std::string Evaluate(std::string_view expression, EvalContext& ctx) {
  if (ctx.plans == nullptr) return EvaluateAfresh(expression, ctx);
  return Evaluate(ctx.plans->PlanOf(expression), expression, ctx);
}

std::string Evaluate(const ExpressionPlan& plan, std::string_view expression,
                     EvalContext& ctx) {
  std::string buffer;
  const std::string_view result = EvaluateView(plan, expression, ctx, &buffer);
  if (result.data() == buffer.data() && result.size() == buffer.size()) {
    return buffer;
  }
  return std::string(result);
}

namespace {

// The evaluation ends at an error: its text is the value.
std::string_view ErrorValue(std::string_view error, std::string* buffer) {
  buffer->assign(error);
  return *buffer;
}

}  // namespace

std::string_view UnfinishedValue(const ExpressionPlan& plan,
                                 std::string_view expression,
                                 std::string* buffer) {
  *buffer = plan.end == RewriteEnd::kStopped
                ? UndefinedFunction(plan.text.str())
                : InvalidFormat(expression);
  return *buffer;
}

namespace {

// A planned call made for its result text (MakeCall).
[[gnu::noinline]] bool MakeTextCall(const PlannedCall& planned, bool hand_over,
                                    const FunctionEnv& env, EvalContext& ctx,
                                    std::string* buffer,
                                    std::string_view* value) {
  std::string result =
      CallText(*planned.row, planned.arguments, env, &planned.args);
  const bool error = IsErrorText(result);
  if (!error) ++ctx.FunrCount;
  if (error || hand_over) {
    *buffer = std::move(result);
    *value = *buffer;
    return true;
  }
  ctx.str_vars.Set(planned.result, std::move(result));
  return false;
}

// Makes one planned call of an evaluation. Its result goes to its result
// variable (false); an error, or the result of the last call when it is
// handed over without being stored (hand_over), is the value of the
// evaluation instead (true with *value, which is empty when the value is
// handed over as *number).
inline bool MakeCall(const PlannedCall& planned, bool hand_over,
                     const FunctionEnv& env, EvalContext& ctx,
                     std::string* buffer, std::optional<int64_t>* number,
                     std::string_view* value) {
  const FunctionRow& row = *planned.row;
  // A result that is one of the arguments is handed on as a view.
  if (row.choose != nullptr) {
    Call call(row.name, planned.arguments, env, &planned.args);
    if (const int k = row.choose(call)) {
      // An argument that is a number's decimal text is handed on as the
      // number, as an integer shortcut's result is.
      int64_t chosen_number = 0;
      if ((!hand_over || number != nullptr) &&
          call.ArgNumber(k, &chosen_number)) {
        ++ctx.FunrCount;
        if (!hand_over) {
          ctx.str_vars.SetNumber(planned.result, chosen_number);
          return false;
        }
        *number = chosen_number;
        *value = std::string_view();
        return true;
      }
      const std::string_view chosen = call.arg(k);
      if (IsErrorText(chosen)) {
        *value = ErrorValue(chosen, buffer);
        return true;
      }
      ++ctx.FunrCount;
      if (hand_over) {
        *value = chosen;
        return true;
      }
      ctx.str_vars.Assign(planned.result, chosen);
      return false;
    }
  }
  int64_t integer = 0;
  if (!CallInteger(row, planned.arguments, env, &planned.args, &integer)) {
    return MakeTextCall(planned, hand_over, env, ctx, buffer, value);
  }
  ++ctx.FunrCount;
  if (!hand_over) {
    ctx.str_vars.SetNumber(planned.result, integer);
    return false;
  }
  if (number != nullptr) {
    *number = integer;
    *value = std::string_view();
    return true;
  }
  char digits[24];
  const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, integer);
  (void)ec;
  buffer->assign(digits, end);
  *value = *buffer;
  return true;
}

}  // namespace

std::string_view EvaluateCalls(const ExpressionPlan& plan,
                               std::string_view expression, EvalContext& ctx,
                               std::string* buffer,
                               std::optional<int64_t>* number) {
  const FunctionEnv& env = ctx.env;
  // The value of the expression is the last call's result: handed over
  // without being stored when no one can read the result variable.
  const PlannedCall* const last = &plan.calls.back();
  const bool hand_over_last = plan.ends_in_last_result && !ctx.keep_results;
  for (const PlannedCall* planned = plan.calls.data();; ++planned) {
    std::string_view value;
    const bool is_last = planned == last;
    if (MakeCall(*planned, is_last && hand_over_last, env, ctx, buffer, number,
                 &value)) {
      return value;
    }
    if (is_last) break;
  }
  return FinalValue(plan, expression, ctx.str_vars, buffer, number);
}

bool IsSrOfFileText(const ExpressionPlan& plan) {
  if (plan.calls.size() != 1 || plan.end != RewriteEnd::kText) return false;
  const PlannedCall& planned = plan.calls.front();
  const std::vector<ArgPiece>& pieces = planned.args.pieces();
  return planned.row->function == &Sr && !pieces.empty() &&
         pieces.front().name.str() == kFileStringName &&
         plan.text.str() == planned.result.str();
}

bool PlannedSrOfFileText(const ExpressionPlan& plan, EvalContext& ctx,
                         SrArguments* args) {
  if (!IsSrOfFileText(plan)) return false;
  const PlannedCall& planned = plan.calls.front();
  const FunctionEnv& env = ctx.env;
  Call call(planned.row->name, planned.arguments, env, &planned.args);
  std::string error;
  return ReadSrArguments(call, args, &error);
}

}  // namespace zarn
