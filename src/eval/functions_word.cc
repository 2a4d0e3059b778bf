// gw, gh, gt, rgs, ovl, fill, cop, chr: taking texts apart by separators,
// reading the text of a range, and building texts.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "eval/functions.h"
#include "support/text.h"
#include "support/utf8.h"

namespace zarn {

namespace {

constexpr WholeNumberRule kOverlayPosition = {
    WholeNumberRule::kZeroOrAbove, "NON-NUMERIC POSITION ARGUMENT",
    "NEGATIVE POSITION ARGUMENT", "NON-INTEGER POSITION ARGUMENT"};
constexpr WholeNumberRule kCopyCount = {
    WholeNumberRule::kAboveZero, "NON-NUMERIC COPYQTY ARGUMENT",
    "NON-POSITIVE COPYQTY ARGUMENT", "NON-INTEGER COPYQTY ARGUMENT"};
constexpr WholeNumberRule kCharCode = {
    WholeNumberRule::kZeroOrAbove, "NON-NUMERIC CODE ARGUMENT",
    "NON-POSITIVE CODE ARGUMENT", "NON-INTEGER CODE ARGUMENT"};

// The overlay position is a 16-bit number: beyond it there is no result.
constexpr int32_t kMaxOverlayPosition = 32767;

// fill counting characters: t cut to its first (right) or last len
// characters, or padded with whole copies of f cut to the pad's length.
std::string FillChars(std::string_view t, size_t len, bool right,
                      std::string_view f) {
  const size_t chars = CountChars(t);
  if (chars >= len) {
    if (right) return std::string(t.substr(0, SkipChars(t, 0, len)));
    return std::string(t.substr(SkipChars(t, 0, chars - len)));
  }
  const size_t pad = len - chars;
  const size_t period = CountChars(f);
  // The pad is cut from copies of f: their start on the right, their end
  // on the left.
  const size_t copies = pad / period + 1;
  std::string fill;
  fill.reserve(copies * f.size());
  for (size_t i = 0; i < copies; ++i) fill.append(f);
  std::string out;
  if (right) {
    out.append(t);
    out.append(fill, 0, SkipChars(fill, 0, pad));
  } else {
    out.append(fill, SkipChars(fill, 0, copies * period - pad),
               std::string::npos);
    out.append(t);
  }
  return out;
}

}  // namespace

// gw(t,d[,n]): word n of t, words separated by any character of d.
std::string Gw(Call& call) {
  std::string result;
  if (!call.Open(2, &result)) return result;
  int32_t n = 1;
  if (!call.arg(3).empty() &&
      !call.WholeNumber(call.arg(3), kPlainCount, &n, &result)) {
    return result;
  }
  // A text of L characters holds at most L words.
  if (static_cast<size_t>(n) > call.arg(1).size()) return std::string();
  if (call.env().utf8) return GetWordChars(call.arg(1), call.arg(2), n);
  return GetWord(call.arg(1), call.arg(2), n);
}

// gh(t,s): the text before the first s.
std::string Gh(Call& call) {
  std::string result;
  if (!call.Open(2, &result)) return result;
  if (call.env().utf8) {
    const size_t at = FindChars(call.arg(1), call.arg(2), 0);
    if (at == std::string_view::npos) return std::string();
    return std::string(call.arg(1).substr(0, at));
  }
  return LeftOf(call.arg(1), call.arg(2));
}

// gt(t,s): the text after the first s.
std::string Gt(Call& call) {
  std::string result;
  if (!call.Open(2, &result)) return result;
  if (call.env().utf8) {
    const size_t at = FindChars(call.arg(1), call.arg(2), 0);
    if (at == std::string_view::npos) return std::string();
    return std::string(call.arg(1).substr(at + call.arg(2).size()));
  }
  return RightOf(call.arg(1), call.arg(2));
}

// rgs(r): the text of *filestring covered by the range r; a missing range
// is no error.
std::string Rgs(Call& call) {
  std::string result;
  if (!call.Open(1, &result)) return result;
  const FunctionEnv& env = call.env();
  AppendRangeText(env.range_vars.GetRangeVar(call.arg(1)),
                  env.str_vars.file_text(), &result);
  return result;
}

// ovl(t,o[,p]): o written over t from position p; p 0 puts o in front.
std::string Ovl(Call& call) {
  std::string result;
  if (!call.Open(1, &result)) return result;
  const std::string_view t = call.arg(1);
  const std::string_view o = call.arg(2);
  int32_t p = 0;
  if (!call.arg(3).empty() &&
      !call.WholeNumber(call.arg(3), kOverlayPosition, &p, &result)) {
    return result;
  }
  if (p > kMaxOverlayPosition) return std::string();
  if (call.env().utf8) return OverlayChars(o, t, p);
  return OverlayText(o, t, p);
}

// fill(t,n,side[,f]): t cut or padded with f to exactly n characters, on
// the right for side "1", on the left for side "0". A filler of several
// characters is repeated whole and then cut.
std::string Fill(Call& call) {
  std::string result;
  if (!call.Open(1, &result)) return result;
  const std::string_view t = call.arg(1);
  const std::string_view side = call.arg(3);
  const std::string_view f = call.arg(4).empty() ? " " : call.arg(4);
  int32_t n = 1;
  if (!call.arg(2).empty() &&
      !call.WholeNumber(call.arg(2), kPlainCount, &n, &result)) {
    return result;
  }
  if (side != "0" && side != "1") {
    return call.ArgumentError("ILLEGAL SIDE ARGUMENT", side);
  }
  const size_t len = static_cast<size_t>(n);
  if (len > kMaxResultLength) return call.TooLong();
  const bool right = side == "1";
  if (call.env().utf8) return FillChars(t, len, right, f);
  if (t.size() >= len) {
    return std::string(right ? t.substr(0, len) : t.substr(t.size() - len));
  }
  // The pad is cut from n copies of f: its start when t is padded on the
  // right, its end when t is padded on the left.
  const size_t pad = len - t.size();
  const size_t offset = right ? 0 : (f.size() - pad % f.size()) % f.size();
  result.reserve(len);
  if (right) result.append(t);
  // One period of the pad, then the pad so far copied after itself: every
  // copy starts at a multiple of f's length, so the period runs on.
  const size_t start = result.size();
  result.resize(start + pad);
  char* const out = result.data() + start;
  size_t done = 0;
  for (; done < pad && done < f.size(); ++done) {
    out[done] = f[(offset + done) % f.size()];
  }
  while (done < pad) {
    const size_t piece = std::min(done, pad - done);
    std::memcpy(out + done, out, piece);
    done += piece;
  }
  if (!right) result.append(t);
  return result;
}

// cop(t,n): n copies of t.
std::string Cop(Call& call) {
  std::string result;
  if (!call.Open(1, &result)) return result;
  const std::string_view t = call.arg(1);
  const std::string_view n_arg = call.arg(2);
  if (n_arg.empty()) {
    return call.ArgumentError("UNDEFINED COPYQTY ARGUMENT", n_arg);
  }
  int32_t n = 0;
  if (!call.WholeNumber(n_arg, kCopyCount, &n, &result)) return result;
  if (!t.empty() && static_cast<size_t>(n) > kMaxResultLength / t.size()) {
    return call.TooLong();
  }
  return RepeatText(t, n);
}

// chr(code): the byte with that code, 0 to 255; in UTF-8 mode the
// character of that code point.
std::string Chr(Call& call) {
  std::string result;
  if (!call.Open(1, &result)) return result;
  const std::string_view code_arg = call.arg(1);
  if (code_arg.empty()) {
    return call.ArgumentError("UNDEFINED CODE ARGUMENT", code_arg);
  }
  int32_t code = 0;
  if (!call.WholeNumber(code_arg, kCharCode, &code, &result)) return result;
  if (call.env().utf8) {
    if (!IsScalarValue(code)) {
      return call.ArgumentError("OUT-OF-RANGE CODE ARGUMENT", code_arg);
    }
    AppendCodePoint(&result, static_cast<uint32_t>(code));
    return result;
  }
  if (code > 255) {
    return call.ArgumentError("OUT-OF-RANGE CODE ARGUMENT", code_arg);
  }
  return std::string(1, static_cast<char>(static_cast<unsigned char>(code)));
}

}  // namespace zarn
