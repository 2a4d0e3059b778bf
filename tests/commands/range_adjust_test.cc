// The range adjustment of rep against a slow, obviously correct model over
// every small text, stretch and range.
#include "commands/range_adjust.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <utility>

namespace zarn {
namespace {

using Span = std::pair<int32_t, int32_t>;

// The replacement of R = (S, L) by N characters, character by character:
// every character of the old text keeps its identity; a range afterwards
// covers the characters of its old span that survive, plus the new text
// when the old span contains the whole replaced stretch (and, for an
// insertion, goes on past it); the range of the whole text stays so.
Span Model(Span range, int32_t S, int32_t L, int32_t N, int32_t size,
           bool whole) {
  const auto [s, l] = range;
  if (s == 0 && l == 0) return range;
  if (s == S && l == L) return {S, N};
  if (whole && s == 1 && l == size) return {1, size - L + N};
  // An empty range is a gap before character s: it closes on S inside R.
  if (l == 0) return {s <= S ? s : (s < S + L ? S : s - L + N), 0};
  std::set<int32_t> covered;
  for (int32_t p = s; p < s + l; ++p) {
    if (p < S || p >= S + L) covered.insert(p < S ? p : p - L + N);
  }
  // Text inserted at the very start or end of a range lies outside it.
  if ((s < S || (s == S && L > 0)) && s + l >= S + L && s + l > S) {
    for (int32_t k = 0; k < N; ++k) covered.insert(S + k);
  }
  if (covered.empty()) return {S, 0};
  const int32_t first = *covered.begin(), last = *covered.rbegin();
  EXPECT_EQ(last - first + 1, static_cast<int32_t>(covered.size()));
  return {first, last - first + 1};
}

// Texts of up to 12 characters; every stretch, every replacement length
// up to 4 other than L (rep moves nothing then), every range.
TEST(RangeAdjust, AgreesWithTheModel) {
  int checked = 0;
  for (int32_t size = 0; size <= 12; ++size) {
    for (int32_t S = 1; S <= size + 1; ++S) {
      for (int32_t L = 0; S + L <= size + 1; ++L) {
        for (int32_t N = 0; N <= 4; ++N) {
          if (N == L) continue;
          for (int32_t s = 0; s <= size + 1; ++s) {
            for (int32_t l = 0; s + l <= size + 1; ++l) {
              if (s == 0 && l > 0) continue;
              for (const bool whole : {false, true}) {
                int32_t start = s, length = l;
                AdjustRange(ReplacedStretch{S, L, N, size}, whole, &start,
                            &length);
                ASSERT_EQ(Span(start, length),
                          Model({s, l}, S, L, N, size, whole))
                    << "range (" << s << "," << l << ") R=(" << S << "," << L
                    << ") N=" << N << " whole " << whole;
                ++checked;
              }
            }
          }
        }
      }
    }
  }
  EXPECT_GT(checked, 100000);
}

}  // namespace
}  // namespace zarn
