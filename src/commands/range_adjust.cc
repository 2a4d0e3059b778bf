#include "commands/range_adjust.h"

#include <algorithm>
#include <limits>

namespace zarn {

namespace {

int32_t Clamped(int64_t v) {
  if (v > std::numeric_limits<int32_t>::max()) {
    return std::numeric_limits<int32_t>::max();
  }
  if (v < std::numeric_limits<int32_t>::min()) {
    return std::numeric_limits<int32_t>::min();
  }
  return static_cast<int32_t>(v);
}

}  // namespace

void AdjustRange(const ReplacedStretch& r, bool whole, int32_t* startpos,
                 int32_t* length) {
  const int64_t s = *startpos;
  const int64_t l = *length;
  const int64_t e = s + l;
  const int64_t S = r.start;
  const int64_t L = r.length;
  const int64_t N = r.new_length;
  const int64_t E = S + L;
  const int64_t T = r.text_length;

  int64_t new_start = s;
  int64_t new_length = l;
  if (s == S && l == L) {
    new_length = N;
  } else if (s == 0 && l == 0) {
    return;  // an empty range
  } else if (whole && s == 1 && l == T) {
    // The whole text: it loses what was replaced of it (R may reach past
    // its end) and gains the new text.
    const int64_t cut =
        std::max<int64_t>(0, std::min(E, T + 1) - std::min(S, T + 1));
    new_length = T - cut + N;
  } else if (e < S) {
    return;  // wholly before R
  } else if (s >= E) {
    new_start = s - L + N;
  } else if (s <= S && e >= E && e > S) {
    new_length = l - L + N;  // contains R
  } else if (s <= S && e <= E) {
    new_length = S - s;
  } else if (s > S && e <= E) {
    new_start = S;
    new_length = 0;
  } else {  // s > S && e > E: starts inside R
    new_start = S + N;
    new_length = e - E;
  }
  *startpos = Clamped(new_start);
  *length = Clamped(new_length);
}

}  // namespace zarn
