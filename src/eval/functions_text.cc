// len, pos, mid, rev, lc, uc, cs, sr, v: measuring, searching, cutting,
// joining and transforming texts. Positions count from 1.
#include <algorithm>
#include <charconv>
#include <cstdint>

#include "eval/functions.h"
#include "support/large_buffer.h"
#include "support/text.h"
#include "support/utf8.h"

namespace zarn {

namespace {

std::string CountText(size_t n) {
  char buf[24];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, n);
  (void)ec;
  return std::string(buf, end);
}

constexpr WholeNumberRule kPosStart = {
    WholeNumberRule::kAboveZero, "NON-NUMERIC STARTPOS ARGUMENT",
    "NON-POSITIVE STARTPOS ARGUMENT", "NON-INTEGER STARTPOS ARGUMENT"};
constexpr WholeNumberRule kMidPosition = {
    WholeNumberRule::kAboveZero, "NON-NUMERIC ARGUMENT",
    "NON-POSITIVE POSITION ARGUMENT", "NON-INTEGER POSITION ARGUMENT"};
constexpr WholeNumberRule kMidLength = {
    WholeNumberRule::kAboveZero, "NON-NUMERIC LENGTH ARGUMENT",
    "NON-POSITIVE LENGTH ARGUMENT", "NON-INTEGER LENGTH ARGUMENT"};

}  // namespace

std::string Len(Call& call) {
  std::string result;
  if (!call.Open(1, &result)) return result;
  const std::string_view t = call.arg(1);
  return CountText(call.env().utf8 ? CountChars(t) : t.size());
}

// pos(t,s[,start]): the first occurrence of s at or after start, or "0".
std::string Pos(Call& call) {
  std::string result;
  if (!call.Open(2, &result)) return result;
  const std::string_view t = call.arg(1);
  const std::string_view s = call.arg(2);
  const std::string_view start_arg = call.arg(3);
  const bool chars = call.env().utf8;
  int32_t start = 1;
  if (!start_arg.empty()) {
    if (!call.WholeNumber(start_arg, kPosStart, &start, &result)) {
      return result;
    }
    if (static_cast<size_t>(start) > (chars ? CountChars(t) : t.size())) {
      return call.ArgumentError("STARTPOS ARGUMENT EXCEEDS STRING LENGTH",
                                start_arg);
    }
  }
  if (t.empty()) return "0";
  if (chars) {
    const size_t from = SkipChars(t, 0, static_cast<size_t>(start) - 1);
    const size_t found = FindChars(t, s, from);
    if (found == std::string_view::npos) return "0";
    return CountText(static_cast<size_t>(start) +
                     CountChars(t.substr(from, found - from)));
  }
  const size_t found = t.find(s, static_cast<size_t>(start) - 1);
  return found == std::string_view::npos ? "0" : CountText(found + 1);
}

// mid(t,p[,n]): n characters from p, or the rest of t from p.
std::string Mid(Call& call) {
  std::string result;
  if (!call.Open(1, &result)) return result;
  const std::string_view t = call.arg(1);
  const std::string_view p_arg = call.arg(2);
  const std::string_view n_arg = call.arg(3);
  if (p_arg.empty()) {
    return call.ArgumentError("UNDEFINED POSITION ARGUMENT", p_arg);
  }
  int32_t p = 0;
  if (!call.WholeNumber(p_arg, kMidPosition, &p, &result)) return result;
  const bool chars = call.env().utf8;
  const size_t length = chars ? CountChars(t) : t.size();
  if (static_cast<size_t>(p) > length) {
    return call.ArgumentError("POSITION ARGUMENT EXCEEDS STRING LENGTH", p_arg);
  }
  const size_t from = static_cast<size_t>(p) - 1;
  const size_t from_byte = chars ? SkipChars(t, 0, from) : from;
  if (n_arg.empty()) return std::string(t.substr(from_byte));
  int32_t n = 0;
  if (!call.WholeNumber(n_arg, kMidLength, &n, &result)) return result;
  if (from + static_cast<size_t>(n) > length) {
    std::string both(p_arg);
    both.append(" , ");
    both.append(n_arg);
    return call.ArgumentError("POSITION+LENGTH EXCEED STRING LENGTH", both);
  }
  if (chars) {
    const size_t end = SkipChars(t, from_byte, static_cast<size_t>(n));
    return std::string(t.substr(from_byte, end - from_byte));
  }
  return std::string(t.substr(from, static_cast<size_t>(n)));
}

std::string Rev(Call& call) {
  std::string result;
  if (!call.Open(1, &result)) return result;
  return call.env().utf8 ? ReverseChars(call.arg(1)) : ReverseText(call.arg(1));
}

std::string Lc(Call& call) {
  std::string result;
  if (!call.Open(1, &result)) return result;
  return call.env().utf8 ? Utf8Lower(call.arg(1)) : AsciiLower(call.arg(1));
}

std::string Uc(Call& call) {
  std::string result;
  if (!call.Open(1, &result)) return result;
  return call.env().utf8 ? Utf8Upper(call.arg(1)) : AsciiUpper(call.arg(1));
}

// cs(t1,t2,...): the arguments joined without separator. The length is
// known before anything is copied.
std::string Cs(Call& call) {
  std::string result;
  if (!call.OpenList(&result)) return result;
  size_t total = 0;
  std::string_view t;
  while (call.NextArg(&t)) {
    if (t.size() > kMaxResultLength - total) return call.TooLong();
    total += t.size();
  }
  result.reserve(total);
  call.OpenList(&result);
  while (call.NextArg(&t)) result.append(t);
  return result;
}

bool ReadSrArguments(Call& call, SrArguments* args, std::string* error) {
  if (!call.Open(3, error)) return false;
  args->text = call.arg(1);
  args->from = call.arg(2);
  args->to = call.arg(3);
  args->count = INT32_MAX;
  args->chars = call.env().utf8;
  const std::string_view count_arg = call.arg(4);
  return count_arg.empty() ||
         call.WholeNumber(count_arg, kPlainCount, &args->count, error);
}

std::string SrHead(const SrArguments& args, size_t n) {
  const std::string_view t = args.text;
  const std::string_view f = args.from;
  if (f.empty()) return std::string(t.substr(0, n));
  std::string head;
  size_t from = 0;
  for (int32_t done = 0; done < args.count && head.size() < n; ++done) {
    // An occurrence from from + n on leaves n bytes before it unchanged:
    // the search need not look further.
    const size_t window = std::min(t.size(), from + n + f.size());
    const std::string_view part = t.substr(0, window);
    const size_t hit =
        args.chars ? FindChars(part, f, from) : FindText(part, f, from);
    if (hit == std::string_view::npos) break;
    head.append(t.substr(from, hit - from));
    head.append(args.to);
    from = hit + f.size();
  }
  if (head.size() < n) head.append(t.substr(from, n - head.size()));
  head.resize(std::min(head.size(), n));
  return head;
}

// sr(t,f,r[,count]): occurrences of f, left to right and not overlapping,
// replaced by r; the replacement is never searched again.
std::string Sr(Call& call) {
  std::string result;
  SrArguments args;
  if (!ReadSrArguments(call, &args, &result)) return result;
  const std::string_view t = args.text;
  const std::string_view f = args.from;
  const std::string_view r = args.to;
  const int32_t count = args.count;
  if (f.empty()) return std::string(t);
  // A replacement no longer than what it replaces can only shorten the
  // text: one pass builds the result. A longer one is counted first, so
  // that the result's length is known (and checked) before anything is
  // copied.
  auto build = [&](int32_t hits) {
    ForEachOccurrence(
        t, f, hits, args.chars,
        [&](std::string_view kept) { result.append(kept); },
        [&](size_t) { result.append(r); });
  };
  if (r.size() <= f.size()) {
    result.reserve(t.size());
    AdviseLargeBuffer(result.data(), result.capacity());
    build(count);
    return result;
  }
  const int32_t hits = ForEachOccurrence(
      t, f, count, args.chars, [](std::string_view) {}, [](size_t) {});
  const size_t kept = t.size() - static_cast<size_t>(hits) * f.size();
  const size_t limit = std::max(kMaxResultLength, t.size());
  if (static_cast<size_t>(hits) > (limit - kept) / r.size()) {
    return call.TooLong();
  }
  result.reserve(kept + static_cast<size_t>(hits) * r.size());
  build(hits);
  return result;
}

// v(text): the argument text itself, trimmed; no splitting, no lookup.
std::string V(Call& call) { return std::string(TrimBlanks(call.text())); }

}  // namespace zarn
