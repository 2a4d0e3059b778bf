// A slow, obviously correct model of the 96-bit decimal, used only to check
// the real one: magnitudes are strings of decimal digits and every
// operation is schoolbook arithmetic; fitting a result tries one scale after
// another instead of estimating.
#ifndef ZARN_TESTS_EVAL_DECIMAL_REFERENCE_H_
#define ZARN_TESTS_EVAL_DECIMAL_REFERENCE_H_

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace zarn::reference {

// Non-negative integers as digit strings without leading zeros ("0").
inline std::string Strip(std::string s) {
  size_t i = s.find_first_not_of('0');
  return i == std::string::npos ? "0" : s.substr(i);
}

inline int Cmp(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a < b ? -1 : (a > b ? 1 : 0);
}

inline std::string AddInt(const std::string& a, const std::string& b) {
  std::string r;
  int carry = 0;
  for (size_t i = 0; i < std::max(a.size(), b.size()) || carry; ++i) {
    int d = carry;
    if (i < a.size()) d += a[a.size() - 1 - i] - '0';
    if (i < b.size()) d += b[b.size() - 1 - i] - '0';
    r.push_back(static_cast<char>('0' + d % 10));
    carry = d / 10;
  }
  std::reverse(r.begin(), r.end());
  return Strip(r);
}

// a - b for a >= b.
inline std::string SubInt(const std::string& a, const std::string& b) {
  std::string r;
  int borrow = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    int d = (a[a.size() - 1 - i] - '0') - borrow;
    if (i < b.size()) d -= b[b.size() - 1 - i] - '0';
    borrow = d < 0 ? 1 : 0;
    r.push_back(static_cast<char>('0' + d + 10 * borrow));
  }
  std::reverse(r.begin(), r.end());
  return Strip(r);
}

// Schoolbook multiplication, digit by digit.
inline std::string MulInt(const std::string& a, const std::string& b) {
  std::vector<int> acc(a.size() + b.size(), 0);
  for (size_t i = 0; i < a.size(); ++i) {
    for (size_t j = 0; j < b.size(); ++j) {
      acc[i + j + 1] += (a[i] - '0') * (b[j] - '0');
    }
  }
  for (size_t k = acc.size() - 1; k > 0; --k) {
    acc[k - 1] += acc[k] / 10;
    acc[k] %= 10;
  }
  std::string r;
  for (int d : acc) r.push_back(static_cast<char>('0' + d));
  return Strip(r);
}

inline std::string Pow10(int k) { return std::string(1, '1').append(k, '0'); }

// Long division, one digit at a time.
inline void DivModInt(const std::string& n, const std::string& d,
                      std::string* q, std::string* r) {
  std::string quotient, rem = "0";
  for (char c : n) {
    rem = Strip(rem + c);
    int digit = 0;
    while (Cmp(rem, d) >= 0) {
      rem = SubInt(rem, d);
      ++digit;
    }
    quotient.push_back(static_cast<char>('0' + digit));
  }
  *q = Strip(quotient);
  *r = rem;
}

// n / d rounded half to even.
inline std::string RoundDivInt(const std::string& n, const std::string& d) {
  std::string q, r;
  DivModInt(n, d, &q, &r);
  int c = Cmp(AddInt(r, r), d);
  bool odd = (q.back() - '0') % 2 == 1;
  if (c > 0 || (c == 0 && odd)) q = AddInt(q, "1");
  return q;
}

// n / 10^k rounded half to even: the quotient is the leading digits, the
// remainder the last k digits.
inline std::string RoundDivPow10(const std::string& n, int k) {
  std::string padded = std::string(k + 1, '0') + n;
  std::string q = Strip(padded.substr(0, padded.size() - k));
  std::string rem = padded.substr(padded.size() - k);
  std::string half = std::string(1, '5').append(k - 1, '0');
  int c = rem.compare(half);  // same length: text order is number order
  bool odd = (q.back() - '0') % 2 == 1;
  if (c > 0 || (c == 0 && odd)) q = AddInt(q, "1");
  return q;
}

inline const std::string kMax = "79228162514264337593543950335";

struct Dec {
  bool negative = false;
  std::string magnitude = "0";
  int scale = 0;
};

// The exact value magnitude / 10^scale at the largest scale <= 28 at which
// its rounded magnitude fits 96 bits; nullopt when none does.
inline std::optional<Dec> Fit(bool negative, const std::string& magnitude,
                              int scale) {
  for (int k = std::max(0, scale - 28); k <= scale; ++k) {
    std::string q = k == 0 ? magnitude : RoundDivPow10(magnitude, k);
    if (Cmp(q, kMax) <= 0) return Dec{negative && q != "0", q, scale - k};
  }
  return std::nullopt;
}

inline std::string Aligned(const Dec& d, int scale) {
  return Strip(d.magnitude + std::string(scale - d.scale, '0'));
}

inline std::optional<Dec> Add(const Dec& a, const Dec& b) {
  int s = std::max(a.scale, b.scale);
  std::string ma = Aligned(a, s), mb = Aligned(b, s);
  if (a.negative == b.negative) return Fit(a.negative, AddInt(ma, mb), s);
  if (Cmp(ma, mb) >= 0) return Fit(a.negative, SubInt(ma, mb), s);
  return Fit(b.negative, SubInt(mb, ma), s);
}

inline std::optional<Dec> Multiply(const Dec& a, const Dec& b) {
  return Fit(a.negative != b.negative, MulInt(a.magnitude, b.magnitude),
             a.scale + b.scale);
}

// The quotient at the largest scale <= 28 at which it fits, trailing zeros
// of the fraction removed.
inline std::optional<Dec> Divide(const Dec& a, const Dec& b) {
  if (b.magnitude == "0") return std::nullopt;
  std::string n = Aligned(a, a.scale + b.scale);  // ma * 10^sb
  std::string d = Aligned(b, b.scale + a.scale);  // mb * 10^sa
  for (int s = 28; s >= 0; --s) {
    std::string q = RoundDivInt(n + std::string(s, '0'), d);
    if (Cmp(q, kMax) > 0) continue;
    int scale = s;
    while (scale > 0 && q.size() > 1 && q.back() == '0') {
      q.pop_back();
      --scale;
    }
    if (q == "0") scale = 0;
    return Dec{a.negative != b.negative && q != "0", q, scale};
  }
  return std::nullopt;
}

inline std::optional<Dec> Round(const Dec& a, int places) {
  if (places < 0 || places > 28) return std::nullopt;
  if (a.scale <= places) return a;
  std::string q = RoundDivPow10(a.magnitude, a.scale - places);
  return Dec{a.negative && q != "0", q, places};
}

// The value of sign, integer digits, fraction digits and exponent.
inline std::optional<Dec> FromParts(bool negative,
                                    const std::string& int_digits,
                                    const std::string& frac_digits,
                                    int exponent) {
  std::string m = Strip(int_digits + frac_digits);
  int scale = static_cast<int>(frac_digits.size()) - exponent;
  if (scale < 0) {
    m = Strip(m + std::string(-scale, '0'));
    scale = 0;
  }
  return Fit(negative, m, scale);
}

// "-" when negative, the digits, "." before the last `scale` of them (with
// a "0" in front when nothing is left before it).
inline std::string Text(const Dec& d, int scale) {
  std::string m = d.magnitude;
  if (static_cast<int>(m.size()) <= scale) {
    m = std::string(scale + 1 - m.size(), '0') + m;
  }
  std::string out = d.negative ? "-" : "";
  if (scale == 0) return out + m;
  return out + m.substr(0, m.size() - scale) + "." + m.substr(m.size() - scale);
}

// Without trailing fractional zeros.
inline std::string ToText(Dec d) {
  while (d.scale > 0 && d.magnitude.size() > 1 && d.magnitude.back() == '0') {
    d.magnitude.pop_back();
    --d.scale;
  }
  if (d.magnitude == "0") d.scale = 0;
  return Text(d, d.scale);
}

// With exactly `places` decimals, for a value of at most that many.
inline std::string ToFixedText(Dec d, int places) {
  if (d.magnitude != "0") d.magnitude += std::string(places - d.scale, '0');
  return Text(d, places);
}

}  // namespace zarn::reference

#endif  // ZARN_TESTS_EVAL_DECIMAL_REFERENCE_H_
