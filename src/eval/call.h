// The two building blocks of evaluation: finding the first innermost call
// of an expression, and turning an argument into its value.
#ifndef ZARN_EVAL_CALL_H_
#define ZARN_EVAL_CALL_H_

#include <optional>
#include <string_view>

#include "variables/str_vars.h"

namespace zarn {

// The first innermost call of an expression, as views into it: the text
// before the call's name, the name, the text between the parentheses and
// the text after the closing one. All four are empty when there is no
// well-formed call; a found call always has a name.
struct InnermostCall {
  std::string_view prefix;
  std::string_view name;
  std::string_view arguments;
  std::string_view suffix;

  bool found() const { return !name.empty(); }
};

// True for the characters a function name is made of: ASCII letters of
// either case, digits and "_".
inline bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         (c >= '0' && c <= '9') || c == '_';
}

// The call closed by the first ")": the last "(" before it must be directly
// preceded by a name. No call when there is no ")" (or it stands at
// position 1 or 2), no "(" before it, or no name before that "(".
InnermostCall FindInnermostCall(std::string_view expression);

// The value of one argument: the text with leading and trailing blanks
// removed, or, when a string variable of exactly that name exists (letter
// case significant), that variable's value. One level only: a variable
// whose value names another variable yields that name. The result views
// either `text` or the store; it stays valid while both are unchanged.
std::string_view FetchArgument(std::string_view text, const StrVarStore& vars);
// The same for a text already trimmed, held with its lookup remembered.
inline std::string_view FetchArgument(const VarName& trimmed,
                                      const StrVarStore& vars) {
  if (std::optional<std::string_view> value = vars.ExactValueOf(trimmed)) {
    return *value;
  }
  return trimmed.str();
}

}  // namespace zarn

#endif  // ZARN_EVAL_CALL_H_
