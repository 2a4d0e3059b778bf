// How a replacement moves a range: after the L characters from position S
// are replaced by N new ones, every range keeps covering the text it
// covered before. Ranges before the stretch stay, ranges after it shift by
// N - L, ranges that overlap it are cut to their part outside it or, when
// they cover it, stretched over the new text.
#ifndef ZARN_COMMANDS_RANGE_ADJUST_H_
#define ZARN_COMMANDS_RANGE_ADJUST_H_

#include <cstdint>

namespace zarn {

// The replaced stretch R: start S (from 1), length L, and the length N of
// the text that replaces it.
struct ReplacedStretch {
  int64_t start;
  int64_t length;
  int64_t new_length;
};

// Moves the range (startpos, length) for the replacement of r. The cases
// are tested in this order, with exclusive ends e = s + l and E = S + L:
//   same as R        s = S, l = L      -> (s, N)
//   empty range      s = 0, l = 0      -> unchanged
//   wholly before    e < S             -> unchanged
//   wholly after     s >= E            -> (s - L + N, l)
//   ends inside R    s <= S, e <= E    -> (s, S - s)
//   lies inside R    s > S,  e <= E    -> (S, 0)
//   covers R         s <= S, e > E     -> (s, l - L + N)
//   starts inside R  s > S,  e > E     -> (S + N, e - E)
// The caller leaves every range alone when N equals L.
void AdjustRange(const ReplacedStretch& r, int32_t* startpos, int32_t* length);

}  // namespace zarn

#endif  // ZARN_COMMANDS_RANGE_ADJUST_H_
