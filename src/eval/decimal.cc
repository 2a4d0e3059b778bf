#include "eval/decimal.h"

#include <algorithm>
#include <array>

namespace zarn {

namespace {

__extension__ typedef unsigned __int128 Uint128;

constexpr Uint128 kMax96 = (Uint128{1} << 96) - 1;

constexpr std::array<uint32_t, 10> kPow10 = {
    1u,      10u,      100u,      1000u,      10000u,
    100000u, 1000000u, 10000000u, 100000000u, 1000000000u};

// An unsigned integer of fixed width, wide enough for every intermediate
// value of the operations: a 96-bit magnitude times 10^56 while dividing,
// a 192-bit product, or the 60 digits kept while reading a text.
class BigUint {
 public:
  static constexpr int kLimbs = 12;  // 384 bits

  BigUint() { limbs_.fill(0); }
  explicit BigUint(Uint128 v) {
    limbs_.fill(0);
    for (int i = 0; i < 4; ++i) {
      limbs_[i] = static_cast<uint32_t>(v >> (32 * i));
    }
  }

  bool IsZero() const {
    for (uint32_t l : limbs_) {
      if (l != 0) return false;
    }
    return true;
  }
  bool IsOdd() const { return (limbs_[0] & 1u) != 0; }
  // True when the value is at most 2^96 - 1.
  bool FitsMagnitude() const {
    for (int i = 3; i < kLimbs; ++i) {
      if (limbs_[i] != 0) return false;
    }
    return true;
  }
  Uint128 Low128() const {
    Uint128 v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 32) | limbs_[i];
    return v;
  }

  int BitLength() const {
    for (int i = kLimbs - 1; i >= 0; --i) {
      if (limbs_[i] != 0) return 32 * i + 32 - __builtin_clz(limbs_[i]);
    }
    return 0;
  }
  bool Bit(int i) const { return ((limbs_[i / 32] >> (i % 32)) & 1u) != 0; }
  void SetBit(int i) { limbs_[i / 32] |= 1u << (i % 32); }

  void MulSmall(uint32_t m) {
    uint64_t carry = 0;
    for (uint32_t& l : limbs_) {
      uint64_t t = static_cast<uint64_t>(l) * m + carry;
      l = static_cast<uint32_t>(t);
      carry = t >> 32;
    }
  }
  void AddSmall(uint32_t a) {
    uint64_t carry = a;
    for (int i = 0; i < kLimbs && carry != 0; ++i) {
      uint64_t t = static_cast<uint64_t>(limbs_[i]) + carry;
      limbs_[i] = static_cast<uint32_t>(t);
      carry = t >> 32;
    }
  }
  // Divides in place; returns the remainder.
  uint32_t DivSmall(uint32_t d) {
    uint64_t rem = 0;
    for (int i = kLimbs - 1; i >= 0; --i) {
      uint64_t cur = (rem << 32) | limbs_[i];
      limbs_[i] = static_cast<uint32_t>(cur / d);
      rem = cur % d;
    }
    return static_cast<uint32_t>(rem);
  }
  void MulPow10(int k) {
    while (k > 0) {
      int step = std::min(k, 9);
      MulSmall(kPow10[step]);
      k -= step;
    }
  }
  void Add(const BigUint& b) {
    uint64_t carry = 0;
    for (int i = 0; i < kLimbs; ++i) {
      uint64_t t = static_cast<uint64_t>(limbs_[i]) + b.limbs_[i] + carry;
      limbs_[i] = static_cast<uint32_t>(t);
      carry = t >> 32;
    }
  }
  // Requires *this >= b.
  void Sub(const BigUint& b) {
    int64_t borrow = 0;
    for (int i = 0; i < kLimbs; ++i) {
      int64_t t = static_cast<int64_t>(limbs_[i]) - b.limbs_[i] - borrow;
      borrow = t < 0 ? 1 : 0;
      limbs_[i] = static_cast<uint32_t>(t + (borrow << 32));
    }
  }
  void ShiftLeft1() {
    for (int i = kLimbs - 1; i > 0; --i) {
      limbs_[i] = (limbs_[i] << 1) | (limbs_[i - 1] >> 31);
    }
    limbs_[0] <<= 1;
  }

  static int Cmp(const BigUint& a, const BigUint& b) {
    for (int i = kLimbs - 1; i >= 0; --i) {
      if (a.limbs_[i] != b.limbs_[i]) return a.limbs_[i] < b.limbs_[i] ? -1 : 1;
    }
    return 0;
  }
  // The operands' widths must add up to at most 384 bits.
  static BigUint Mul(const BigUint& a, const BigUint& b) {
    BigUint r;
    for (int i = 0; i < kLimbs; ++i) {
      if (a.limbs_[i] == 0) continue;
      uint64_t carry = 0;
      for (int j = 0; i + j < kLimbs; ++j) {
        uint64_t t = static_cast<uint64_t>(a.limbs_[i]) * b.limbs_[j] +
                     r.limbs_[i + j] + carry;
        r.limbs_[i + j] = static_cast<uint32_t>(t);
        carry = t >> 32;
      }
    }
    return r;
  }
  // Long division, one bit at a time; d must not be zero.
  static void DivMod(const BigUint& n, const BigUint& d, BigUint* q,
                     BigUint* r) {
    *q = BigUint();
    *r = BigUint();
    for (int i = n.BitLength() - 1; i >= 0; --i) {
      r->ShiftLeft1();
      if (n.Bit(i)) r->limbs_[0] |= 1u;
      if (Cmp(*r, d) >= 0) {
        r->Sub(d);
        q->SetBit(i);
      }
    }
  }

 private:
  std::array<uint32_t, kLimbs> limbs_;
};

// m / 10^k rounded half to even, for k >= 1.
BigUint RoundDivPow10(BigUint m, int k) {
  bool sticky = false;
  for (int rest = k - 1; rest > 0;) {
    int step = std::min(rest, 9);
    sticky |= m.DivSmall(kPow10[step]) != 0;
    rest -= step;
  }
  uint32_t digit = m.DivSmall(10);
  if (digit > 5 || (digit == 5 && (sticky || m.IsOdd()))) m.AddSmall(1);
  return m;
}

// n / d rounded half to even; d must not be zero.
BigUint RoundDiv(const BigUint& n, const BigUint& d) {
  BigUint q, r;
  BigUint::DivMod(n, d, &q, &r);
  r.ShiftLeft1();
  int c = BigUint::Cmp(r, d);
  if (c > 0 || (c == 0 && q.IsOdd())) q.AddSmall(1);
  return q;
}

std::string DigitsOf(Uint128 v) {
  if (v == 0) return "0";
  char buf[40];
  int n = 0;
  while (v != 0) {
    buf[n++] = static_cast<char>('0' + static_cast<int>(v % 10));
    v /= 10;
  }
  std::string out(static_cast<size_t>(n), '0');
  for (int i = 0; i < n; ++i) out[static_cast<size_t>(i)] = buf[n - 1 - i];
  return out;
}

// Writes sign, digits and separator; trailing fractional zeros are kept.
std::string Format(bool negative, std::string digits, int scale) {
  if (scale > 0 && digits.size() <= static_cast<size_t>(scale)) {
    digits.insert(0, static_cast<size_t>(scale) + 1 - digits.size(), '0');
  }
  std::string out;
  out.reserve(digits.size() + 2);
  if (negative) out.push_back('-');
  if (scale == 0) {
    out.append(digits);
  } else {
    size_t int_len = digits.size() - static_cast<size_t>(scale);
    out.append(digits, 0, int_len);
    out.push_back('.');
    out.append(digits, int_len, std::string::npos);
  }
  return out;
}

}  // namespace

// Builds Decimals from wide intermediate results; the one place that knows
// the field layout besides the accessors.
class DecimalBuilder {
 public:
  static Uint128 Magnitude(const Decimal& d) {
    return (static_cast<Uint128>(d.hi_) << 64) |
           (static_cast<Uint128>(d.mid_) << 32) | d.lo_;
  }

  // m must not exceed 2^96 - 1 and scale must lie within 0..28.
  static Decimal Make(Uint128 m, int scale, bool negative) {
    Decimal d;
    d.lo_ = static_cast<uint32_t>(m);
    d.mid_ = static_cast<uint32_t>(m >> 32);
    d.hi_ = static_cast<uint32_t>(m >> 64);
    d.scale_ = static_cast<uint8_t>(scale);
    d.negative_ = negative && m != 0;
    return d;
  }

  // The exact value m / 10^scale brought into range: the scale is lowered as
  // far as needed, with one rounding half to even. nullopt on overflow.
  static std::optional<Decimal> Fit(const BigUint& m, int scale,
                                    bool negative) {
    int k = std::max(0, scale - Decimal::kMaxScale);
    if (k == 0 && m.FitsMagnitude()) {
      return Make(m.Low128(), scale, negative);
    }
    // A value of b bits needs at least (b - 97) * log10(2) fewer digits to
    // fit 96 bits; starting there saves most of the trial roundings.
    int bits = m.BitLength();
    if (bits > 97) k = std::max(k, (bits - 97) * 30102 / 100000);
    for (;; ++k) {
      if (k > scale) return std::nullopt;
      BigUint q = k == 0 ? m : RoundDivPow10(m, k);
      if (q.FitsMagnitude()) return Make(q.Low128(), scale - k, negative);
    }
  }

  static BigUint Wide(const Decimal& d) { return BigUint(Magnitude(d)); }
};

using B = DecimalBuilder;

std::optional<Decimal> Decimal::Parse(std::string_view text) {
  // Plain whole numbers are by far the most common arguments (counters and
  // positions); they are read without splitting the text into parts.
  size_t i = 0;
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    i = 1;
  }
  size_t digits = text.size() - i;
  if (digits >= 1 && digits <= 18) {
    uint64_t v = 0;
    bool plain = true;
    for (; i < text.size(); ++i) {
      char c = text[i];
      if (c < '0' || c > '9') {
        plain = false;
        break;
      }
      v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (plain) return B::Make(v, 0, negative);
  }
  std::optional<NumericParts> parts = ParseNumeric(text);
  if (!parts) return std::nullopt;
  return FromParts(*parts);
}

std::optional<Decimal> Decimal::FromParts(const NumericParts& parts) {
  const std::string& ip = parts.int_digits;
  const std::string& fp = parts.frac_digits;
  const size_t total = ip.size() + fp.size();
  auto digit_at = [&](size_t k) {
    return k < ip.size() ? ip[k] : fp[k - ip.size()];
  };
  // value = sig * 10^e, sig being the n digits from `first` on.
  const int64_t e = parts.exponent - static_cast<int64_t>(fp.size());
  size_t first = 0;
  while (first < total && digit_at(first) == '0') ++first;
  if (first == total) {  // zero keeps the scale it is written with
    return B::Make(0, static_cast<int>(std::clamp<int64_t>(-e, 0, kMaxScale)),
                   false);
  }
  const int64_t n = static_cast<int64_t>(total - first);
  if (n + e > 29) return std::nullopt;  // 30 or more integer digits

  // Digits below 10^-29 only decide between "half" and "more than half";
  // they are folded into one sticky digit at 10^-30.
  int64_t keep = n;
  bool fold = false;
  if (-e > 30) {
    keep = n - (-e - 29);
    if (keep <= 0) return B::Make(0, kMaxScale, false);  // below 10^-29
    fold = true;
  }
  BigUint m;
  uint32_t chunk = 0;
  int chunk_len = 0;
  for (int64_t k = 0; k < keep; ++k) {
    chunk = chunk * 10 + static_cast<uint32_t>(
                             digit_at(first + static_cast<size_t>(k)) - '0');
    if (++chunk_len == 9) {
      m.MulSmall(kPow10[9]);
      m.AddSmall(chunk);
      chunk = 0;
      chunk_len = 0;
    }
  }
  m.MulSmall(kPow10[chunk_len]);
  m.AddSmall(chunk);
  if (fold) {
    bool sticky = false;
    for (size_t k = first + static_cast<size_t>(keep); k < total && !sticky;
         ++k) {
      sticky = digit_at(k) != '0';
    }
    m.MulSmall(10);
    if (sticky) m.AddSmall(1);
    return B::Fit(m, 30, parts.negative);
  }
  if (e >= 0) {
    m.MulPow10(static_cast<int>(e));
    return B::Fit(m, 0, parts.negative);
  }
  return B::Fit(m, static_cast<int>(-e), parts.negative);
}

std::optional<Decimal> Decimal::FromDigits(bool negative,
                                           std::string_view digits, int scale) {
  if (digits.empty() || scale < 0 || scale > kMaxScale) return std::nullopt;
  Uint128 m = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    m = m * 10 + static_cast<Uint128>(c - '0');
    if (m > kMax96) return std::nullopt;
  }
  return B::Make(m, scale, negative);
}

Decimal Decimal::FromInt64(int64_t value) {
  uint64_t m = value < 0 ? 0 - static_cast<uint64_t>(value)
                         : static_cast<uint64_t>(value);
  return B::Make(m, 0, value < 0);
}

std::string Decimal::MagnitudeDigits() const {
  return DigitsOf(B::Magnitude(*this));
}

std::string Decimal::ToText() const {
  Uint128 m = B::Magnitude(*this);
  int scale = scale_;
  while (scale > 0 && m % 10 == 0) {
    m /= 10;
    --scale;
  }
  return Format(negative_, DigitsOf(m), scale);
}

std::string Decimal::ToFixedText(int places) const {
  if (places < scale_) {
    std::optional<Decimal> r = Round(*this, places);
    return r ? r->ToFixedText(places) : std::string();
  }
  std::string digits = DigitsOf(B::Magnitude(*this));
  digits.append(static_cast<size_t>(places - scale_), '0');
  return Format(negative_, std::move(digits), places);
}

std::optional<Decimal> Add(const Decimal& a, const Decimal& b) {
  if (a.scale_ == b.scale_) {
    // Two 96-bit magnitudes: their sum or difference fits 128 bits.
    Uint128 ma = B::Magnitude(a);
    Uint128 mb = B::Magnitude(b);
    Uint128 m;
    bool negative;
    if (a.negative_ == b.negative_) {
      m = ma + mb;
      negative = a.negative_;
    } else if (ma >= mb) {
      m = ma - mb;
      negative = a.negative_;
    } else {
      m = mb - ma;
      negative = b.negative_;
    }
    if (m <= kMax96) return B::Make(m, a.scale_, negative);
    return B::Fit(BigUint(m), a.scale_, negative);
  }
  int s = std::max(a.scale_, b.scale_);
  BigUint ma = B::Wide(a);
  BigUint mb = B::Wide(b);
  ma.MulPow10(s - a.scale_);
  mb.MulPow10(s - b.scale_);
  if (a.negative_ == b.negative_) {
    ma.Add(mb);
    return B::Fit(ma, s, a.negative_);
  }
  if (BigUint::Cmp(ma, mb) >= 0) {
    ma.Sub(mb);
    return B::Fit(ma, s, a.negative_);
  }
  mb.Sub(ma);
  return B::Fit(mb, s, b.negative_);
}

std::optional<Decimal> Multiply(const Decimal& a, const Decimal& b) {
  const bool negative = a.negative_ != b.negative_;
  const int scale = a.scale_ + b.scale_;
  Uint128 ma = B::Magnitude(a);
  Uint128 mb = B::Magnitude(b);
  if ((ma >> 64) == 0 && (mb >> 64) == 0) {
    Uint128 m = ma * mb;
    if (m <= kMax96 && scale <= Decimal::kMaxScale) {
      return B::Make(m, scale, negative);
    }
    return B::Fit(BigUint(m), scale, negative);
  }
  return B::Fit(BigUint::Mul(BigUint(ma), BigUint(mb)), scale, negative);
}

std::optional<Decimal> Divide(const Decimal& a, const Decimal& b) {
  if (b.IsZero()) return std::nullopt;
  if (a.IsZero()) return Decimal();
  const bool negative = a.negative_ != b.negative_;
  // |a| / |b| = n / d with n = ma * 10^sb and d = mb * 10^sa.
  BigUint n = B::Wide(a);
  n.MulPow10(b.scale_);
  BigUint d = B::Wide(b);
  d.MulPow10(a.scale_);

  BigUint int_part, rem;
  BigUint::DivMod(n, d, &int_part, &rem);
  if (!int_part.FitsMagnitude()) return std::nullopt;
  // The largest scale at which the rounded quotient fits is 29 - (digits of
  // the integer part) or one less; a quotient below 1 always fits at 28.
  int int_digits = 0;
  if (!int_part.IsZero()) {
    int_digits = static_cast<int>(DigitsOf(int_part.Low128()).size());
  }
  int scale = std::min(Decimal::kMaxScale, 29 - int_digits);
  for (; scale >= 0; --scale) {
    BigUint scaled = n;
    scaled.MulPow10(scale);
    BigUint q = RoundDiv(scaled, d);
    if (!q.FitsMagnitude()) continue;
    Uint128 m = q.Low128();
    while (scale > 0 && m % 10 == 0) {
      m /= 10;
      --scale;
    }
    return B::Make(m, scale, negative);
  }
  return std::nullopt;
}

std::optional<Decimal> Round(const Decimal& a, int places) {
  if (places < 0 || places > Decimal::kMaxScale) return std::nullopt;
  if (a.scale_ <= places) return a;
  BigUint q = RoundDivPow10(B::Wide(a), a.scale_ - places);
  return B::Make(q.Low128(), places, a.negative_);
}

}  // namespace zarn
