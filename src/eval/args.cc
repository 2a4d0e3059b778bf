#include "eval/args.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "eval/call.h"
#include "support/number.h"
#include "support/text.h"

namespace zarn {

namespace {

constexpr int64_t kInt32Max = 2147483647;

}  // namespace

WholeNumberReading ReadWholeNumber(std::string_view text) {
  WholeNumberReading r;
  std::optional<NumericParts> parts = ParseNumeric(text);
  if (!parts) return r;
  r.numeric = true;

  const std::string& ip = parts->int_digits;
  const std::string& fp = parts->frac_digits;
  const int64_t total = static_cast<int64_t>(ip.size() + fp.size());
  auto digit = [&](int64_t k) {
    size_t i = static_cast<size_t>(k);
    return i < ip.size() ? ip[i] - '0' : fp[i - ip.size()] - '0';
  };
  int64_t first = 0;
  while (first < total && digit(first) == 0) ++first;
  if (first == total) {  // zero, in any notation
    r.in_range = true;
    r.whole = true;
    return r;
  }
  r.sign = parts->negative ? -1 : 1;

  // The value is the digits from `first` on, times 10^e.
  const int64_t n = total - first;
  const int64_t e = parts->exponent - static_cast<int64_t>(fp.size());
  const int64_t int_len = n + e;  // digits before the decimal point
  if (int_len > 10) return r;     // at least 10^10: beyond 32 bits

  int64_t magnitude = 0;
  bool up = false;
  bool whole = true;
  for (int64_t k = 0; k < int_len; ++k) {
    magnitude = magnitude * 10 + (k < n ? digit(first + k) : 0);
  }
  if (e < 0) {
    // Fractional digits: those at index int_len.. of the significant
    // digits, after -int_len implicit zeros when int_len is negative.
    const int64_t frac_start = int_len < 0 ? 0 : int_len;
    const int first_frac = int_len < 0 ? 0 : digit(first + frac_start);
    bool sticky = false;
    for (int64_t k = (int_len < 0 ? 0 : frac_start + 1); k < n && !sticky;
         ++k) {
      sticky = digit(first + k) != 0;
    }
    whole = first_frac == 0 && !sticky;
    up = first_frac > 5 || (first_frac == 5 && (sticky || magnitude % 2 == 1));
  }
  if (up) ++magnitude;
  const int64_t limit = parts->negative ? kInt32Max + 1 : kInt32Max;
  if (magnitude > limit) return r;
  r.in_range = true;
  r.rounded = static_cast<int32_t>(parts->negative ? -magnitude : magnitude);
  r.whole = whole;
  return r;
}

PlannedArgs::PlannedArgs(std::vector<ArgPiece> pieces)
    : pieces_(std::move(pieces)) {
  given_ = static_cast<int>(std::min(pieces_.size(), size_t{kMaxFixedArgs}));
  for (size_t k = 0; k < static_cast<size_t>(given_); ++k) {
    const ArgPiece& piece = pieces_[k];
    if (!piece.literal) {
      const auto j = static_cast<size_t>(looked_up_count_++);
      looked_up_[j] = static_cast<uint8_t>(k);
      looked_up_names_[j] = &piece.name;
      continue;
    }
    literal_args_[k] = ArgText::Of(piece.name.str());
    if (piece.integer) {
      literal_numbers_[k] = piece.value;
      numeric_ |= 1u << k;
      if (piece.canonical) decimal_ |= 1u << k;
    }
  }
}

bool Call::OpenAny(int required, std::string* result) {
  if (text_.empty()) {
    if (result != nullptr) *result = Error("EMPTY ARGUMENT.");
    return false;
  }
  int count = 0;
  if (planned_ != nullptr) {
    FetchPlanned();
    if (planned_->given_ < required) {
      if (result != nullptr) *result = Error("MISSING ARGUMENT.");
      return false;
    }
    return true;
  }
  size_t pos = 0;
  while (count < kMaxFixed) {
    size_t comma = text_.find(',', pos);
    std::string_view raw = comma == std::string_view::npos
                               ? text_.substr(pos)
                               : text_.substr(pos, comma - pos);
    args_[static_cast<size_t>(count++)] =
        ArgText::Of(FetchArgument(raw, env_.str_vars));
    if (comma == std::string_view::npos) break;
    pos = comma + 1;
  }
  if (count < required) {
    if (result != nullptr) *result = Error("MISSING ARGUMENT.");
    return false;
  }
  for (int k = count; k < kMaxFixed; ++k) {
    args_[static_cast<size_t>(k)] = ArgText::Of(std::string_view());
  }
  return true;
}

Call::IntegerArg Call::NextPlainIntegerOfText(int64_t* value) {
  std::string_view text;
  if (!NextArg(&text)) return kNoMore;
  return ReadPlainInteger(text, 18, value) ? kInteger : kNoInteger;
}

void Call::WriteArg(size_t k) const {
  args_[k] =
      ArgText::Of(FetchArgument(planned_->pieces_[k].name, env_.str_vars));
  unwritten_ &= ~(1u << k);
}

bool Call::OpenList(std::string* result) {
  if (text_.empty()) {
    *result = Error("EMPTY ARGUMENT.");
    return false;
  }
  next_ = 0;
  if (planned_ != nullptr) next_piece_ = planned_->pieces_.data();
  return true;
}

bool Call::NextArgOfText(std::string_view* value) {
  if (next_ == std::string_view::npos) return false;
  size_t comma = text_.find(',', next_);
  std::string_view raw = comma == std::string_view::npos
                             ? text_.substr(next_)
                             : text_.substr(next_, comma - next_);
  *value = FetchArgument(raw, env_.str_vars);
  next_ = comma == std::string_view::npos ? std::string_view::npos : comma + 1;
  return true;
}

bool Call::WholeNumber(std::string_view arg, const WholeNumberRule& rule,
                       int32_t* value, std::string* result) const {
  WholeNumberReading r = ReadWholeNumber(arg);
  if (!r.numeric) {
    *result = ArgumentError(rule.non_numeric, arg);
    return false;
  }
  // Beyond 32 bits there is no rounded value; the value's own sign counts.
  const int64_t judged = r.in_range ? r.rounded : r.sign;
  const bool sign_ok =
      rule.sign == WholeNumberRule::kAboveZero ? judged > 0 : judged >= 0;
  if (!sign_ok) {
    *result = ArgumentError(rule.bad_sign, arg);
    return false;
  }
  if (!r.whole) {
    *result = ArgumentError(rule.non_integer, arg);
    return false;
  }
  *value = r.rounded;
  return true;
}

std::string Call::Error(std::string_view description) const {
  std::string out = "*** ERROR. FUNCTION:";
  out.append(AsciiUpper(name_));
  out.append(". ");
  out.append(description);
  return out;
}

std::string Call::ArgumentError(std::string_view description,
                                std::string_view argument) const {
  std::string out = Error(description);
  out.append(": '");
  out.append(argument);
  out.push_back('\'');
  return out;
}

}  // namespace zarn
