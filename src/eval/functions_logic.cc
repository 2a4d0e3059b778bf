// ifs, ifn, and, or, not: the conditions of if, loop and lend.
#include <optional>

#include "eval/functions.h"
#include "support/number.h"
#include "support/text.h"

namespace zarn {

namespace {

// Whether the comparison word op holds for a comparison result c (<0, 0,
// >0); nullopt when op is none of eq, gt, lt, ge, le, ne (any letter case).
inline std::optional<bool> Holds(std::string_view op, int c) {
  if (op.size() != 2) return std::nullopt;
  // The two characters as one number, in lower case: setting bit 0x20
  // lowers a letter, and only the two cases of a letter become that
  // lower-case letter, so the comparisons below ignore case exactly.
  constexpr auto word = [](unsigned char a, unsigned char b) {
    return (a | 0x20u) << 8 | (b | 0x20u);
  };
  switch (word(static_cast<unsigned char>(op[0]),
               static_cast<unsigned char>(op[1]))) {
    case word('e', 'q'):
      return c == 0;
    case word('g', 't'):
      return c > 0;
    case word('l', 't'):
      return c < 0;
    case word('g', 'e'):
      return c >= 0;
    case word('l', 'e'):
      return c <= 0;
    case word('n', 'e'):
      return c != 0;
    default:
      return std::nullopt;
  }
}

constexpr std::string_view kWrongComparison = "WRONG COMPARISON ARGUMENT.";

// and, or: every argument must be exactly "0" or "1".
std::string Combine(Call& call, bool all) {
  std::string result;
  if (!call.OpenList(&result)) return result;
  bool any_true = false;
  bool any_false = false;
  std::string_view x;
  while (call.NextArg(&x)) {
    if (x == "1") {
      any_true = true;
    } else if (x == "0") {
      any_false = true;
    } else {
      return call.ArgumentError("INVALID ARGUMENT", x);
    }
  }
  return (all ? !any_false : any_true) ? "1" : "0";
}

// The argument ifs chooses (4 or 5), or 0 with the error as *error
// (unless error is nullptr).
int ChooseIfs(Call& call, std::string* error) {
  if (!call.Open(5, error)) return 0;
  const int c = call.arg(1).compare(call.arg(3));
  std::optional<bool> holds = Holds(call.arg(2), c);
  if (!holds) {
    if (error != nullptr) *error = call.Error(kWrongComparison);
    return 0;
  }
  return *holds ? 4 : 5;
}

// The same for ifn; the numeric tests come before the test of op.
int ChooseIfn(Call& call, std::string* error) {
  if (!call.Open(5, error)) return 0;
  std::optional<double> a = call.ArgDouble(1);
  if (!a) {
    if (error != nullptr) {
      *error = call.ArgumentError("NON-NUMERIC ARGUMENT", call.arg(1));
    }
    return 0;
  }
  std::optional<double> b = call.ArgDouble(3);
  if (!b) {
    if (error != nullptr) {
      *error = call.ArgumentError("NON-NUMERIC ARGUMENT", call.arg(3));
    }
    return 0;
  }
  const int c = *a < *b ? -1 : (*a > *b ? 1 : 0);
  std::optional<bool> holds = Holds(call.arg(2), c);
  if (!holds) {
    if (error != nullptr) *error = call.Error(kWrongComparison);
    return 0;
  }
  return *holds ? 4 : 5;
}

}  // namespace

// ifs(a,op,b,yes,no): texts compared byte by byte.
std::string Ifs(Call& call) {
  std::string error;
  const int k = ChooseIfs(call, &error);
  return k == 0 ? error : std::string(call.arg(k));
}

// The error is left to Ifs, which the evaluator calls after a 0.
int IfsChoice(Call& call) { return ChooseIfs(call, nullptr); }

// ifn(a,op,b,yes,no): numbers compared as doubles.
std::string Ifn(Call& call) {
  std::string error;
  const int k = ChooseIfn(call, &error);
  return k == 0 ? error : std::string(call.arg(k));
}

int IfnChoice(Call& call) { return ChooseIfn(call, nullptr); }

bool IfnOfKnownNumbers(std::span<const ArgPiece> pieces,
                       const StrVarStore& vars, int64_t* result) {
  // The comparison word must be written in the program, and the argument
  // chosen must be a number's decimal text, as ifn's choice hands it over.
  if (pieces.size() < 5 || !pieces[1].literal) return false;
  int64_t a = 0;
  int64_t b = 0;
  bool decimal = false;
  if (!KnownNumber(pieces[0], vars, &a, &decimal) ||
      !KnownNumber(pieces[2], vars, &b, &decimal)) {
    return false;
  }
  // Compared as the doubles ifn reads them as.
  const auto x = static_cast<double>(a);
  const auto y = static_cast<double>(b);
  const std::optional<bool> holds =
      Holds(pieces[1].name.str(), x < y ? -1 : (x > y ? 1 : 0));
  int64_t chosen = 0;
  if (!holds || !KnownNumber(pieces[*holds ? 3 : 4], vars, &chosen, &decimal) ||
      !decimal) {
    return false;
  }
  *result = chosen;
  return true;
}

std::string And(Call& call) { return Combine(call, /*all=*/true); }

std::string Or(Call& call) { return Combine(call, /*all=*/false); }

std::string Not(Call& call) {
  std::string result;
  if (!call.Open(1, &result)) return result;
  if (call.arg(1) == "1") return "0";
  if (call.arg(1) == "0") return "1";
  return call.ArgumentError("INVALID ARGUMENT", call.arg(1));
}

}  // namespace zarn
