#include "eval/call.h"

#include "support/text.h"

namespace zarn {

InnermostCall FindInnermostCall(std::string_view expression) {
  const size_t close = expression.find(')');
  // A call needs at least a name and "(" before its ")".
  if (close == std::string_view::npos || close < 2) return {};
  const size_t open = expression.rfind('(', close - 1);
  if (open == std::string_view::npos || open == 0) return {};
  size_t start = open;
  while (start > 0 && IsNameChar(expression[start - 1])) --start;
  if (start == open) return {};
  InnermostCall call;
  call.prefix = expression.substr(0, start);
  call.name = expression.substr(start, open - start);
  call.arguments = expression.substr(open + 1, close - open - 1);
  call.suffix = expression.substr(close + 1);
  return call;
}

std::string_view FetchArgument(std::string_view text, const StrVarStore& vars) {
  std::string_view trimmed = TrimBlanks(text);
  if (std::optional<std::string_view> value = vars.ExactValueOf(trimmed)) {
    return *value;
  }
  return trimmed;
}

}  // namespace zarn
