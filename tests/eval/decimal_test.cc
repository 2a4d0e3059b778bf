#include "eval/decimal.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "eval/decimal_reference.h"

namespace zarn {
namespace {

namespace ref = reference;

std::string Describe(const std::optional<Decimal>& d) {
  if (!d) return "failure";
  return std::string(d->negative() ? "-" : "+") + d->MagnitudeDigits() + "e-" +
         std::to_string(d->scale());
}

std::string Describe(const std::optional<ref::Dec>& d) {
  if (!d) return "failure";
  return std::string(d->negative ? "-" : "+") + d->magnitude + "e-" +
         std::to_string(d->scale);
}

Decimal Real(const ref::Dec& d) {
  return *Decimal::FromDigits(d.negative, d.magnitude, d.scale);
}

// Values of every size, with a bias towards the edges of the type: the
// largest magnitude, powers of ten and two, long runs of nines.
class ValueSource {
 public:
  explicit ValueSource(uint32_t seed) : rng_(seed) {}

  ref::Dec Next() {
    ref::Dec d;
    d.negative = Coin();
    d.scale = Uniform(0, 28);
    switch (Uniform(0, 7)) {
      case 0:
        d.magnitude = ref::kMax;
        break;
      case 1:
        d.magnitude = ref::Pow10(Uniform(0, 28));
        break;
      case 2:
        d.magnitude = std::string(Uniform(1, 28), '9');
        break;
      case 3:
        d.magnitude = ref::SubInt(ref::kMax, std::to_string(Uniform(0, 1000)));
        break;
      case 4:
        d.magnitude = std::to_string(Uniform(0, 20));
        break;
      default: {
        std::string m;
        int len = Uniform(1, 29);
        for (int i = 0; i < len; ++i) m.push_back(Digit());
        m = ref::Strip(m);
        if (ref::Cmp(m, ref::kMax) > 0) m = m.substr(1);
        d.magnitude = ref::Strip(m);
      }
    }
    if (d.magnitude == "0") d.negative = false;
    return d;
  }

  // A numeric text and its parts: sign, digits, either separator, exponent,
  // blanks.
  std::string NextText(ref::Dec* expected_or_fail, bool* fits) {
    std::string int_digits, frac_digits;
    int int_len = Uniform(0, 34);
    int frac_len = Uniform(int_len == 0 ? 1 : 0, 34);
    for (int i = 0; i < int_len; ++i) int_digits.push_back(Digit());
    for (int i = 0; i < frac_len; ++i) frac_digits.push_back(Digit());
    int exponent = Coin() ? 0 : Uniform(-40, 40);
    bool negative = Coin();
    std::string text = Coin() ? "" : "  ";
    text += negative ? "-" : (Coin() ? "+" : "");
    text += int_digits;
    if (!frac_digits.empty() || Coin()) text += Coin() ? "." : ",";
    text += frac_digits;
    if (exponent != 0) {
      text += Coin() ? "e" : "E";
      text += exponent < 0 ? "-" : (Coin() ? "+" : "");
      text += std::to_string(exponent < 0 ? -exponent : exponent);
    }
    if (Coin()) text += " ";
    std::optional<ref::Dec> r =
        ref::FromParts(negative, int_digits, frac_digits, exponent);
    *fits = r.has_value();
    if (r) *expected_or_fail = *r;
    return text;
  }

  int Uniform(int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(rng_);
  }
  bool Coin() { return Uniform(0, 1) == 1; }

 private:
  char Digit() {
    // Zeros and nines often, to reach exact halves and carries.
    int k = Uniform(0, 13);
    if (k >= 10) return k % 2 == 0 ? '0' : (k == 11 ? '9' : '5');
    return static_cast<char>('0' + k);
  }

  std::mt19937 rng_;
};

constexpr int kRounds = 4000;

// Sum, product and (when asked) quotient of a and b against the model.
void ExpectArithmeticMatches(const ref::Dec& a, const ref::Dec& b,
                             bool divide) {
  const std::string ab = Describe(a) + " and " + Describe(b);
  ASSERT_EQ(Describe(Add(Real(a), Real(b))), Describe(ref::Add(a, b)))
      << ab << " +";
  ASSERT_EQ(Describe(Multiply(Real(a), Real(b))), Describe(ref::Multiply(a, b)))
      << ab << " *";
  if (divide) {
    ASSERT_EQ(Describe(Divide(Real(a), Real(b))), Describe(ref::Divide(a, b)))
        << ab << " /";
  }
}

// Division by long division is slow: one pair in seven is divided.
TEST(DecimalReferenceTest, ArithmeticMatchesReference) {
  ValueSource src(1);
  for (int i = 0; i < kRounds; ++i) {
    ref::Dec a = src.Next(), b = src.Next();
    ExpectArithmeticMatches(a, b, i % 7 == 0);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

TEST(DecimalReferenceTest, RoundAndTextsMatchReference) {
  ValueSource src(4);
  for (int i = 0; i < kRounds; ++i) {
    ref::Dec a = src.Next();
    int places = src.Uniform(-1, 30);
    std::optional<Decimal> got = Round(Real(a), places);
    std::optional<ref::Dec> want = ref::Round(a, places);
    ASSERT_EQ(Describe(got), Describe(want)) << Describe(a) << " @" << places;
    ASSERT_EQ(Real(a).ToText(), ref::ToText(a));
    if (want) {
      ASSERT_EQ(got->ToFixedText(places), ref::ToFixedText(*want, places));
    }
  }
}

TEST(DecimalReferenceTest, ParseMatchesReference) {
  ValueSource src(5);
  for (int i = 0; i < 4 * kRounds; ++i) {
    ref::Dec want;
    bool fits = false;
    std::string text = src.NextText(&want, &fits);
    std::optional<Decimal> got = Decimal::Parse(text);
    ASSERT_EQ(Describe(got),
              Describe(fits ? std::optional(want) : std::nullopt))
        << "'" << text << "'";
  }
}

// Every pair of values from the edges of the type: the largest magnitude
// and its neighbours, powers of two and ten, halves, at the extreme scales.
std::vector<ref::Dec> EdgeValues(const std::vector<int>& scales) {
  // 2^95, 2^64 and its neighbour, 2^32, 2^48, 10^28, 5 * 10^27.
  // clang-format off
  const std::string magnitudes[] = {
      "0", "1", "5", "15", ref::kMax, ref::SubInt(ref::kMax, "1"),
      "39614081257132168796771975168", "18446744073709551616",
      "18446744073709551615", "4294967296", "281474976710656", ref::Pow10(28),
      std::string(28, '9'), "5000000000000000000000000000"};
  // clang-format on
  std::vector<ref::Dec> out;
  for (const std::string& m : magnitudes) {
    for (int scale : scales) {
      out.push_back(ref::Dec{false, m, scale});
      if (m != "0") out.push_back(ref::Dec{true, m, scale});
    }
  }
  return out;
}

// Overflow of sums and products, and underflow rounded to the last place,
// lie among these pairs.
TEST(DecimalReferenceTest, EdgeValuesMatchReference) {
  const std::vector<ref::Dec> values = EdgeValues({0, 1, 14, 27, 28});
  for (const ref::Dec& a : values) {
    for (const ref::Dec& b : values) {
      ExpectArithmeticMatches(a, b, false);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
  const std::vector<ref::Dec> few = EdgeValues({0, 28});
  for (size_t i = 0; i < few.size(); i += 2) {
    for (size_t j = 1; j < few.size(); j += 2) {
      const ref::Dec& a = few[i];
      const ref::Dec& b = few[j];
      ASSERT_EQ(Describe(Divide(Real(a), Real(b))), Describe(ref::Divide(a, b)))
          << Describe(a) << " / " << Describe(b);
    }
  }
}

}  // namespace
}  // namespace zarn
