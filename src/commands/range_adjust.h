// How a replacement moves a range: after the L characters from position S
// are replaced by N new ones, every range keeps covering the text it
// covered before. Ranges before the stretch stay, ranges after it shift by
// N - L, ranges that overlap it are cut to their part outside it or, when
// they contain it, stretched over the new text. The range of the whole
// text, *filerange, stays over the whole text, whatever is replaced or
// inserted, at either end included.
#ifndef ZARN_COMMANDS_RANGE_ADJUST_H_
#define ZARN_COMMANDS_RANGE_ADJUST_H_

#include <cstdint>

namespace zarn {

// The replaced stretch R: start S (from 1), length L, the length N of the
// text that replaces it, and the length T of the text before the edit.
struct ReplacedStretch {
  int64_t start;
  int64_t length;
  int64_t new_length;
  int64_t text_length;
};

// Moves the range (startpos, length) for the replacement of r. The cases
// are tested in this order, with exclusive ends e = s + l and E = S + L:
//   same as R        s = S, l = L              -> (s, N)
//   empty range      s = 0, l = 0              -> unchanged
//   whole text       whole, s = 1, l = T       -> (s, T - L + N), L cut
//                                                 to the text
//   wholly before    e < S                     -> unchanged
//   wholly after     s >= E                    -> (s - L + N, l)
//   contains R       s <= S, e >= E, e > S     -> (s, l - L + N)
//   ends inside R    s <= S, e <= E            -> (s, S - s)
//   lies inside R    s > S,  e <= E            -> (S, 0)
//   starts inside R  s > S,  e > E             -> (S + N, e - E)
// A range that ends exactly where R starts keeps its length: for an
// insertion (L = 0) "contains R" asks for e > S, so only the range of the
// whole text grows by an insertion at its end.
// The caller leaves every range alone when N equals L.
// whole: the range is the one that stands for the whole text.
void AdjustRange(const ReplacedStretch& r, bool whole, int32_t* startpos,
                 int32_t* length);

}  // namespace zarn

#endif  // ZARN_COMMANDS_RANGE_ADJUST_H_
