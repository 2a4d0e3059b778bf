// sum, mul, div: exact decimal arithmetic on numeric texts (see decimal.h).
#include <charconv>
#include <cstdint>
#include <optional>

#include "eval/decimal.h"
#include "eval/functions.h"
#include "support/number.h"

namespace zarn {

namespace {

constexpr WholeNumberRule kRoundPlaces = {
    WholeNumberRule::kZeroOrAbove, "NON-NUMERIC ROUND ARGUMENT",
    "NEGATIVE ROUND ARGUMENT", "NON-INTEGER ROUND ARGUMENT"};

}  // namespace

// The sum when every argument is a plain integer of at most 18 digits and
// the total fits 64 bits: the counters of loops. The exact decimal sum of
// such numbers is the same integer, written the same way, so this changes
// no result.
bool SumOfIntegers(Call& call, int64_t* result) {
  if (call.text().empty()) return false;
  int64_t total = 0;
  int64_t v = 0;
  for (;;) {
    switch (call.NextPlainInteger(&v)) {
      case Call::kNoInteger:
        return false;
      case Call::kInteger:
        if (__builtin_add_overflow(total, v, &total)) return false;
        break;
      case Call::kNoMore:
        *result = total;
        return true;
    }
  }
}

bool SumOfKnownNumbers(std::span<const ArgPiece> pieces,
                       const StrVarStore& vars, int64_t* result) {
  // The numbers SumOfIntegers reads: plain integers of at most 18 digits.
  constexpr int64_t kMax18 = 999'999'999'999'999'999;
  int64_t total = 0;
  for (const ArgPiece& piece : pieces) {
    int64_t v = 0;
    bool decimal = false;
    if (!KnownNumber(piece, vars, &v, &decimal) || v < -kMax18 || v > kMax18 ||
        __builtin_add_overflow(total, v, &total)) {
      return false;
    }
  }
  *result = total;
  return true;
}

// sum(x1,x2,...): a value beyond the decimal type is an error.
std::string Sum(Call& call) {
  std::string result;
  if (!call.OpenList(&result)) return result;
  Decimal total;
  std::string_view x;
  while (call.NextArg(&x)) {
    std::optional<Decimal> v = Decimal::Parse(x);
    if (!v) {
      if (!IsNumeric(x)) return call.ArgumentError("INVALID ARGUMENT", x);
      return call.Error("OVERFLOW.");
    }
    std::optional<Decimal> next = Add(total, *v);
    if (!next) return call.Error("OVERFLOW.");
    total = *next;
  }
  return total.ToText();
}

// mul(x1,x2,...): once a factor or the product exceeds the decimal type,
// the product is 0 for good; the remaining arguments are still tested.
std::string Mul(Call& call) {
  std::string result;
  if (!call.OpenList(&result)) return result;
  Decimal product = Decimal::FromInt64(1);
  std::string_view x;
  while (call.NextArg(&x)) {
    std::optional<Decimal> v = Decimal::Parse(x);
    if (!v && !IsNumeric(x)) return call.ArgumentError("INVALID ARGUMENT", x);
    std::optional<Decimal> next = v ? Multiply(product, *v) : std::nullopt;
    product = next.value_or(Decimal());
  }
  return product.ToText();
}

// div(a,b[,r]): a / b rounded half to even to r places and written with
// exactly r decimals. Division by zero, a value beyond the decimal type or
// more places than the type holds give "0", not an error.
std::string Div(Call& call) {
  std::string result;
  if (!call.Open(1, &result)) return result;
  const std::string_view a_arg = call.arg(1);
  const std::string_view b_arg = call.arg(2);
  const std::string_view r_arg = call.arg(3);
  if (!IsNumeric(a_arg)) {
    return call.ArgumentError("NON-NUMERIC ARGUMENT", a_arg);
  }
  if (!IsNumeric(b_arg)) {
    return call.ArgumentError("NON-NUMERIC ARGUMENT", b_arg);
  }
  int32_t places = 0;
  if (!r_arg.empty() &&
      !call.WholeNumber(r_arg, kRoundPlaces, &places, &result)) {
    return result;
  }
  std::optional<Decimal> a = Decimal::Parse(a_arg);
  std::optional<Decimal> b = Decimal::Parse(b_arg);
  if (!a || !b) return "0";
  std::optional<Decimal> q = Divide(*a, *b);
  if (!q) return "0";
  std::optional<Decimal> rounded = Round(*q, places);
  if (!rounded) return "0";
  return rounded->ToFixedText(places);
}

}  // namespace zarn
