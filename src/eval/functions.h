// The built-in functions of expressions and their dispatch table.
//
// Every function takes one call (its argument text, unevaluated, and read
// access to the variables) and returns its result text or an error text
// beginning with "*** ERROR.". Adding a function is one definition in the
// file of its family and one row in the table.
#ifndef ZARN_EVAL_FUNCTIONS_H_
#define ZARN_EVAL_FUNCTIONS_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "eval/args.h"

namespace zarn {

using BuiltinFunction = std::string (*)(Call& call);
// A function's shortcut for the common case of a whole-number result: true
// with the number whose decimal text the function would return; false
// (having changed nothing) when the function must take its general path.
using IntegerShortcut = bool (*)(Call& call, int64_t* result);

// A function's shortcut for a result that is one of its arguments as
// fetched: that argument's number (from 1), or 0 (having changed nothing
// but the call's reading of its arguments) when the function must take its
// general path.
using ArgumentChoice = int (*)(Call& call);

struct FunctionRow {
  std::string_view name;  // lower case
  BuiltinFunction function;
  IntegerShortcut integer = nullptr;
  ArgumentChoice choose = nullptr;
  KnownNumbersShortcut known_numbers = nullptr;
};

// The rows in their order of comparison.
std::span<const FunctionRow> FunctionTable();

// The row for a name already in lower case; nullptr when there is none.
const FunctionRow* FindFunction(std::string_view lower_name);

// Comparison and logic (functions_logic.cc).
std::string Ifs(Call& call);
std::string Ifn(Call& call);
int IfsChoice(Call& call);
int IfnChoice(Call& call);
bool IfnOfKnownNumbers(std::span<const ArgPiece> pieces,
                       const StrVarStore& vars, int64_t* result);
std::string And(Call& call);
std::string Or(Call& call);
std::string Not(Call& call);

// Text (functions_text.cc).
std::string Len(Call& call);
std::string Pos(Call& call);
std::string Mid(Call& call);
std::string Rev(Call& call);
std::string Lc(Call& call);
std::string Uc(Call& call);
std::string Cs(Call& call);
std::string Sr(Call& call);

// The arguments of an sr call, fetched and checked: the text, what is
// replaced, its replacement and the most occurrences replaced.
struct SrArguments {
  std::string_view text;
  std::string_view from;
  std::string_view to;
  int32_t count = 0;
  bool chars = false;  // occurrences begin and end at UTF-8 characters
};
// Fetches and checks them as sr does; false with sr's error as *error.
bool ReadSrArguments(Call& call, SrArguments* args, std::string* error);
// The first n bytes of sr's result for args (fewer when it is shorter),
// without building the rest of it.
std::string SrHead(const SrArguments& args, size_t n);
std::string V(Call& call);

// Words, ranges and construction (functions_word.cc).
std::string Gw(Call& call);
std::string Gh(Call& call);
std::string Gt(Call& call);
std::string Rgs(Call& call);
std::string Ovl(Call& call);
std::string Fill(Call& call);
std::string Cop(Call& call);
std::string Chr(Call& call);

// Regular expressions (functions_regex.cc).
std::string Rr(Call& call);

// Arithmetic (functions_arith.cc).
std::string Sum(Call& call);
bool SumOfKnownNumbers(std::span<const ArgPiece> pieces,
                       const StrVarStore& vars, int64_t* result);
bool SumOfIntegers(Call& call, int64_t* result);
std::string Mul(Call& call);
std::string Div(Call& call);

}  // namespace zarn

#endif  // ZARN_EVAL_FUNCTIONS_H_
