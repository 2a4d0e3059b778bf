#include "eval/evaluator.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <vector>

#include "eval/args.h"
#include "eval/call.h"
#include "eval/functions.h"
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

}  // namespace

// The working copy is rewritten call by call: the first innermost call is
// replaced by the name of the variable that receives its result, and the
// search starts again. Only the text before the first ")" can change, and
// the replacement holds no ")", so the working copy is kept as `done` (the
// rewritten text before the next ")", with the positions of its "(" on a
// stack) plus the untouched rest of the expression. Each character is then
// looked at a bounded number of times, whatever the nesting depth, and the
// result is the same as searching the whole working copy again after every
// call (FindInnermostCall).
std::string Evaluate(std::string_view expression, EvalContext& ctx) {
  ctx.FunrCount = 0;
  const FunctionEnv env{ctx.str_vars, ctx.range_vars};
  std::string done;
  OpenStack opens;
  size_t rest = 0;  // start of the unread part of the expression

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
    if (opens.empty()) return InvalidFormat(expression);
    const size_t open = opens.back();
    size_t start = open;
    while (start > 0 && IsNameChar(done[start - 1])) --start;
    if (start == open) return InvalidFormat(expression);

    const std::string_view name(done.data() + start, open - start);
    std::array<char, 8> lower{};
    const FunctionRow* row = nullptr;
    if (name.size() <= lower.size()) {
      for (size_t i = 0; i < name.size(); ++i)
        lower[i] = AsciiLowerChar(name[i]);
      row = FindFunction(std::string_view(lower.data(), name.size()));
    }
    if (row == nullptr) return UndefinedFunction(name);

    Call call(row->name, std::string_view(done).substr(open + 1), env);
    std::string result = row->function(call);
    if (result.compare(0, kErrorPrefix.size(), kErrorPrefix) == 0) {
      return result;
    }

    ++ctx.FunrCount;
    std::array<char, 20> buf;
    const std::string_view var = ResultName(ctx.FunrCount, &buf);
    ctx.str_vars.Set(var, std::move(result));
    opens.pop();
    done.resize(start);
    done.append(var);
  }

  take(expression.size());
  if (!opens.empty()) return InvalidFormat(expression);
  return std::string(FetchArgument(done, ctx.str_vars));
}

}  // namespace zarn
