#include "support/number.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace zarn {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<NumericParts> ParseNumeric(std::string_view text) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
  NumericParts parts;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    parts.negative = text[i] == '-';
    ++i;
  }
  while (i < n && IsDigit(text[i])) parts.int_digits.push_back(text[i++]);
  if (i < n && (text[i] == ',' || text[i] == '.')) {
    ++i;
    while (i < n && IsDigit(text[i])) parts.frac_digits.push_back(text[i++]);
  }
  if (parts.int_digits.empty() && parts.frac_digits.empty()) {
    return std::nullopt;
  }
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool exp_negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
      exp_negative = text[i] == '-';
      ++i;
    }
    if (i >= n || !IsDigit(text[i])) return std::nullopt;
    int64_t exp = 0;
    while (i < n && IsDigit(text[i])) {
      if (exp < 100000) exp = exp * 10 + (text[i] - '0');
      ++i;
    }
    if (exp > 100000) exp = 100000;
    parts.exponent = exp_negative ? -exp : exp;
  }
  while (i < n && text[i] == ' ') ++i;
  if (i != n) return std::nullopt;
  return parts;
}

bool IsNumeric(std::string_view text) { return ParseNumeric(text).has_value(); }

std::optional<double> ToDoubleText(std::string_view text) {
  std::optional<NumericParts> parts = ParseNumeric(text);
  if (!parts) return std::nullopt;
  std::string plain;
  plain.reserve(parts->int_digits.size() + parts->frac_digits.size() + 24);
  if (parts->negative) plain.push_back('-');
  plain.append(parts->int_digits.empty() ? "0" : parts->int_digits);
  if (!parts->frac_digits.empty()) {
    plain.push_back('.');
    plain.append(parts->frac_digits);
  }
  plain.push_back('e');
  plain.append(std::to_string(parts->exponent));
  return std::strtod(plain.c_str(), nullptr);
}

double RoundHalfEven(double v) { return std::nearbyint(v); }

int32_t ToInt32Text(std::string_view text) {
  int64_t plain = 0;
  if (ReadPlainInteger(text, 9, &plain)) return static_cast<int32_t>(plain);
  std::optional<double> v = ToDouble(text);
  if (!v || std::isnan(*v)) return 0;
  double r = RoundHalfEven(*v);
  if (r >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  if (r <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
    return std::numeric_limits<int32_t>::min();
  }
  return static_cast<int32_t>(r);
}

bool ToWholeNumber(std::string_view text, int32_t* value) {
  int64_t plain = 0;
  if (ReadPlainInteger(text, 9, &plain)) {
    if (value != nullptr) *value = static_cast<int32_t>(plain);
    return true;
  }
  std::optional<double> v = ToDouble(text);
  if (!v || !std::isfinite(*v)) return false;
  double r = RoundHalfEven(*v);
  if (r > static_cast<double>(std::numeric_limits<int32_t>::max()) ||
      r < static_cast<double>(std::numeric_limits<int32_t>::min())) {
    return false;
  }
  if (r != *v) return false;
  if (value != nullptr) *value = static_cast<int32_t>(r);
  return true;
}

bool IsWholeNumber(std::string_view text) {
  return ToWholeNumber(text, nullptr);
}

}  // namespace zarn
