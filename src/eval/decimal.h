// Exact decimal numbers for sum, mul and div.
//
// Representation. A Decimal is a sign, an unsigned 96-bit integer magnitude
// m and a scale s from 0 to 28; its value is (-1)^sign * m / 10^s. So the
// largest magnitude is 79228162514264337593543950335 (2^96 - 1), the finest
// step is 10^-28, and a value carries 28 or 29 significant digits. Zero is
// never negative. The same value may be held at different scales (2.5 and
// 2.50); only the written texts of sum and mul drop the difference.
//
// Rounding. Whenever an exact result does not fit (more than 28 decimals,
// or a magnitude above 2^96 - 1 at its scale), the scale is lowered just as
// far as needed and the value is rounded once to that scale, halves going to
// the even neighbour. A product of two values with 20 decimals each thus
// keeps 28 decimals; a sum too large for its scale loses decimals on the
// right. Reading a text follows the same rule:
// "0.12345678901234567890123456789" becomes 0.1234567890123456789012345679.
//
// Division rounds the exact quotient to the largest scale (at most 28) at
// which its magnitude fits, so a quotient keeps 28 or 29 significant digits:
// 1/3 is 0.3333333333333333333333333333 and 2/3 ends in ...6667.
//
// Overflow. An operation fails (nullopt) when even at scale 0 the rounded
// result exceeds 2^96 - 1, when the divisor is zero, or when a text is not
// numeric. Nothing throws.
//
// Texts. Parsing accepts the system's numeric form (support/number.h: blanks,
// sign, digits with "." or "," as the separator, exponent). Writing never
// uses an exponent or digit grouping: "-" for negative values, "." as the
// separator, "0" before the separator when the magnitude is below 1.
#ifndef ZARN_EVAL_DECIMAL_H_
#define ZARN_EVAL_DECIMAL_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "support/number.h"

namespace zarn {

class Decimal {
 public:
  static constexpr int kMaxScale = 28;
  // 2^96 - 1, the largest magnitude.
  static constexpr std::string_view kMaxMagnitude =
      "79228162514264337593543950335";

  // Zero.
  constexpr Decimal() = default;

  // The value of a numeric text; nullopt when the text is not numeric or
  // its value is too large. Extra decimals are rounded away.
  static std::optional<Decimal> Parse(std::string_view text);
  // The same from the parts of a numeric text.
  static std::optional<Decimal> FromParts(const NumericParts& parts);
  // A magnitude given as decimal digits and a scale; nullopt when the digits
  // are not all decimal digits, the magnitude exceeds 2^96 - 1 or the scale
  // lies outside 0..28. No rounding.
  static std::optional<Decimal> FromDigits(bool negative,
                                           std::string_view digits, int scale);
  static Decimal FromInt64(int64_t value);

  bool negative() const { return negative_; }
  int scale() const { return scale_; }
  bool IsZero() const { return lo_ == 0 && mid_ == 0 && hi_ == 0; }
  // The magnitude as decimal digits without leading zeros ("0" for zero).
  std::string MagnitudeDigits() const;

  // The value without trailing fractional zeros: "2.5", "-0.75", "3", "0".
  std::string ToText() const;
  // The value with exactly `places` decimals, padded with zeros when its
  // scale is smaller and rounded half to even (see Round) when it is larger.
  std::string ToFixedText(int places) const;

  friend std::optional<Decimal> Add(const Decimal& a, const Decimal& b);
  friend std::optional<Decimal> Multiply(const Decimal& a, const Decimal& b);
  // nullopt for a zero divisor or a quotient too large.
  friend std::optional<Decimal> Divide(const Decimal& a, const Decimal& b);
  // The value rounded half to even to `places` decimals; a value with no
  // more decimals is returned unchanged. nullopt for places outside 0..28.
  friend std::optional<Decimal> Round(const Decimal& a, int places);

 private:
  friend class DecimalBuilder;

  bool negative_ = false;
  uint8_t scale_ = 0;
  uint32_t lo_ = 0;
  uint32_t mid_ = 0;
  uint32_t hi_ = 0;
};

std::optional<Decimal> Add(const Decimal& a, const Decimal& b);
std::optional<Decimal> Multiply(const Decimal& a, const Decimal& b);
std::optional<Decimal> Divide(const Decimal& a, const Decimal& b);
std::optional<Decimal> Round(const Decimal& a, int places);

}  // namespace zarn

#endif  // ZARN_EVAL_DECIMAL_H_
