// The numeric reading every part of the system shares.
//
// A text is numeric when it is: optional blanks, an optional sign, digits
// with at most one decimal separator (at least one digit in all), an
// optional exponent ("e" or "E", an optional sign, digits), optional blanks.
// Every "." is read as the decimal separator "," first, so "2.5" and "2,5"
// both mean two and a half.
#ifndef ZARN_SUPPORT_NUMBER_H_
#define ZARN_SUPPORT_NUMBER_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zarn {

// The parts of a numeric text, as written: the sign, the digits before and
// after the separator and the exponent. Exact arithmetic builds on these.
struct NumericParts {
  bool negative = false;
  std::string int_digits;   // may be empty when frac_digits is not
  std::string frac_digits;  // may be empty
  int64_t exponent = 0;     // clamped to +-100000
};

// The common case of a counter, a position or an operation number: an
// optional "-" followed by 1 to max_digits (at most 18) digits and nothing
// else. Such a text reads exactly the same by the general rules below, so
// callers use this as a shortcut that changes no result.
inline bool ReadPlainInteger(std::string_view text, size_t max_digits,
                             int64_t* value) {
  size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) i = 1;
  const size_t digits = text.size() - i;
  if (digits == 0 || digits > max_digits) return false;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *value = negative ? -v : v;
  return true;
}

// Splits a numeric text into its parts; nullopt when it is not numeric.
std::optional<NumericParts> ParseNumeric(std::string_view text);

bool IsNumeric(std::string_view text);

// The value of a numeric text as a double; nullopt when not numeric.
std::optional<double> ToDoubleText(std::string_view text);
inline std::optional<double> ToDouble(std::string_view text) {
  int64_t integer = 0;
  if (ReadPlainInteger(text, 15, &integer)) {
    return integer == 0 && text[0] == '-' ? -0.0 : static_cast<double>(integer);
  }
  return ToDoubleText(text);
}

// Rounds a double to the nearest integer, halves to the even neighbour.
double RoundHalfEven(double v);

// The value of a variable's text as a 32-bit integer (*pos, *changes,
// *n_oper, *errloglev): read as a number and rounded half to even. A text
// that is not numeric reads as 0; a value outside the 32-bit range is
// clamped to it. Texts of one to six plain digits, the operation numbers,
// positions and flags read on every operation, are read inline.
int32_t ToInt32Text(std::string_view text);
inline int32_t ToInt32(std::string_view text) {
  if (text.empty() || text.size() > 6) return ToInt32Text(text);
  int32_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return ToInt32Text(text);
    v = v * 10 + (c - '0');
  }
  return v;
}

// True when the text is numeric and its value, as a double, equals its
// value rounded half to even to a 32-bit integer. False outside the range.
bool IsWholeNumber(std::string_view text);

// Like IsWholeNumber, but also yields the value.
bool ToWholeNumber(std::string_view text, int32_t* value);

}  // namespace zarn

#endif  // ZARN_SUPPORT_NUMBER_H_
