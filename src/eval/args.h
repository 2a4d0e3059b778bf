// What every built-in function shares: how its argument text becomes
// argument values, how whole-number arguments are checked, and how its
// errors are worded. A function states only what is its own (how many
// arguments it needs, which of them are whole numbers and how those are
// named in its errors); the checks and the texts live here once.
//
// Argument convention. An empty argument text is the function's
// "EMPTY ARGUMENT." error. Otherwise the text is split at every ","
// ("a,,b" is three arguments, the middle one empty); each argument is
// trimmed of blanks and fetched (FetchArgument), so a variable name yields
// its value. A function given fewer arguments than it needs fails with
// "MISSING ARGUMENT." before any other check; arguments beyond those it
// reads are ignored, and optional ones that are missing read as empty.
//
// Whole-number convention (positions, lengths, counts, codes, places): the
// argument must be numeric, then its value rounded to the nearest 32-bit
// integer (halves to even) must pass the sign rule, then the exact value
// must equal that integer. A value outside the 32-bit range is judged by
// its own sign and then counts as not whole. Errors quote the argument as
// fetched.
#ifndef ZARN_EVAL_ARGS_H_
#define ZARN_EVAL_ARGS_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "eval/call.h"
#include "support/number.h"
#include "variables/range_vars.h"
#include "variables/str_vars.h"

namespace zarn {

class RegularExpressions;  // support/regex.h

// One argument of a planned call, cut at the commas and trimmed: the text,
// whether it is a literal (no variable can ever be stored under exactly
// this name while the program runs, so it is never looked up), and, for a
// literal plain integer of at most 18 digits, its value and whether the
// text is exactly that value's decimal text ("7", "-12"; not "007").
struct ArgPiece {
  VarName name;
  bool literal = false;
  bool integer = false;
  bool canonical = false;
  int64_t value = 0;
};

// The number a planned argument holds without a text being read: a literal
// integer, or a variable stored under exactly the argument's name that
// holds a number (StrVarStore::SetNumber); *decimal tells whether the
// argument's text is exactly that number's decimal text. False when the
// argument must be fetched as a text.
inline bool KnownNumber(const ArgPiece& piece, const StrVarStore& vars,
                        int64_t* value, bool* decimal) {
  if (piece.literal) {
    if (!piece.integer) return false;
    *value = piece.value;
    *decimal = piece.canonical;
    return true;
  }
  std::string_view text;
  if (vars.ExactTextOrNumber(piece.name, &text, value) !=
      StrVarStore::Exact::kNumber) {
    return false;
  }
  *decimal = true;
  return true;
}

// A function's shortcut for a planned call whose value is a whole number
// computed from arguments known as numbers (above) without opening a
// call: true with the number whose decimal text the function would return;
// false (having changed nothing) when the call must be made.
using KnownNumbersShortcut = bool (*)(std::span<const ArgPiece> pieces,
                                      const StrVarStore& vars, int64_t* result);

// The most arguments a function of fixed arity reads (Call::kMaxFixed).
inline constexpr int kMaxFixedArgs = 5;

// An argument's text as a call holds it: a view whose default leaves it
// unset (a call fills its arguments when it opens, not when it is made).
struct ArgText {
  const char* data;
  size_t size;

  static ArgText Of(std::string_view text) {
    return {text.data(), text.size()};
  }
  std::string_view view() const { return std::string_view(data, size); }
};

// The arguments of a planned call: its pieces, and what Call::Open reads
// of the literals among them, worked out once, so that opening the call
// looks up only the others. The views of the literals and the names of the
// others point into the pieces, which stay where they are when the
// arguments are moved (a moved vector keeps its elements); the arguments
// are never copied.
class PlannedArgs {
 public:
  explicit PlannedArgs(std::vector<ArgPiece> pieces);
  PlannedArgs(PlannedArgs&&) noexcept = default;
  PlannedArgs& operator=(PlannedArgs&&) noexcept = default;
  PlannedArgs(const PlannedArgs&) = delete;
  PlannedArgs& operator=(const PlannedArgs&) = delete;

  const std::vector<ArgPiece>& pieces() const { return pieces_; }

 private:
  friend class Call;
  std::vector<ArgPiece> pieces_;
  // Open's reading of the first kMaxFixedArgs pieces with the literals
  // filled in, every other argument empty; the numbers and flags of the
  // literal integers (see Call).
  std::array<ArgText, kMaxFixedArgs> literal_args_{};
  std::array<int64_t, kMaxFixedArgs> literal_numbers_{};
  uint32_t numeric_ = 0;
  uint32_t decimal_ = 0;
  int given_ = 0;  // how many of them there are
  // The positions (from 0) of the others, which are looked up, in order,
  // and their names.
  std::array<uint8_t, kMaxFixedArgs> looked_up_{};
  std::array<const VarName*, kMaxFixedArgs> looked_up_names_{};
  int looked_up_count_ = 0;
};

// What a built-in function may read. Functions never write a variable.
struct FunctionEnv {
  const StrVarStore& str_vars;
  const RangeVarStore& range_vars;
  // The run's regular expressions, whose cache keeps the compiled patterns
  // (nullptr: a function that needs one compiles with its own).
  RegularExpressions* regex = nullptr;
  // Texts count UTF-8 characters instead of bytes (support/utf8.h).
  bool utf8 = false;
};

// The longest result a function builds. Repetition and replacement could
// otherwise ask for terabytes from a short expression; such a call fails
// with "RESULT TOO LONG." instead of exhausting memory.
inline constexpr size_t kMaxResultLength = size_t{1} << 30;

// How a numeric text reads as a 32-bit whole number, exactly (no binary
// floating point is involved).
struct WholeNumberReading {
  bool numeric = false;
  int sign = 0;           // -1, 0 or 1: the sign of the exact value
  bool in_range = false;  // the rounded value fits 32 bits
  int32_t rounded = 0;    // the value rounded half to even (when in_range)
  bool whole = false;     // the exact value equals `rounded`
};
WholeNumberReading ReadWholeNumber(std::string_view text);

// The sign a whole-number argument must have, and the descriptions of the
// three errors of the convention, e.g. {kAboveZero, "NON-NUMERIC ARGUMENT",
// "NON-POSITIVE POSITION ARGUMENT", "NON-INTEGER POSITION ARGUMENT"}.
struct WholeNumberRule {
  enum Sign { kAboveZero, kZeroOrAbove };
  Sign sign;
  std::string_view non_numeric;
  std::string_view bad_sign;
  std::string_view non_integer;
};

// The rule of a count or a number that must be above zero, in the plain
// wording of gw, fill, sr and rr.
inline constexpr WholeNumberRule kPlainCount = {
    WholeNumberRule::kAboveZero, "NON-NUMERIC ARGUMENT",
    "NON-POSITIVE ARGUMENT", "NON-INTEGER ARGUMENT"};

// One call of a built-in function: its name, its argument text and what it
// may read. Argument values are views into the argument text or the store.
class Call {
 public:
  // The most arguments a function of fixed arity reads.
  static constexpr int kMaxFixed = kMaxFixedArgs;

  Call(std::string_view name, std::string_view text, const FunctionEnv& env)
      : name_(name), text_(text), env_(env) {}
  // The same with the argument text already cut at its commas and each
  // piece trimmed (an expression plan keeps them), so that fetching needs
  // no cutting.
  Call(std::string_view name, std::string_view text, const FunctionEnv& env,
       const PlannedArgs* planned)
      : name_(name), text_(text), env_(env), planned_(planned) {
    if (planned != nullptr) {
      next_piece_ = planned->pieces_.data();
      end_piece_ = next_piece_ + planned->pieces_.size();
    }
  }

  std::string_view name() const { return name_; }
  // The argument text as written between the parentheses.
  std::string_view text() const { return text_; }
  const FunctionEnv& env() const { return env_; }

  // Opens a call of fixed arity: fetches arguments 1 to kMaxFixed. Fails,
  // with the error as *result (unless result is nullptr), on an empty
  // argument text or when fewer than `required` arguments are given. Once
  // per call.
  bool Open(int required, std::string* result) {
    // The common case of a planned call given its arguments.
    if (planned_ != nullptr && !text_.empty() && planned_->given_ >= required) {
      FetchPlanned();
      return true;
    }
    return OpenAny(required, result);
  }
  // Argument k (from 1) as fetched; empty when not given.
  std::string_view arg(int k) const {
    const auto i = static_cast<size_t>(k - 1);
    if ((unwritten_ >> i) & 1u) WriteArg(i);
    return args_[i].view();
  }
  // Argument k read as a number (ToDouble of its text); nullopt when it is
  // not numeric.
  std::optional<double> ArgDouble(int k) const {
    const auto i = static_cast<size_t>(k - 1);
    // The double nearest to the number, as reading its decimal text gives.
    if ((numeric_ >> i) & 1u) return static_cast<double>(numbers_[i]);
    return ToDouble(args_[i].view());
  }
  // Whether argument k (after Open) is exactly the decimal text of a number
  // known without reading it (a variable holding a number, a literal
  // written as its value's text): true with the number as *value.
  bool ArgNumber(int k, int64_t* value) const {
    const auto i = static_cast<size_t>(k - 1);
    if (((decimal_ >> i) & 1u) == 0) return false;
    *value = numbers_[i];
    return true;
  }

  // Opens a call that takes any number of arguments (read with NextArg).
  // Fails, with the error as *result, on an empty argument text.
  bool OpenList(std::string* result);
  // The next argument as fetched, from the first to the last; false when
  // all have been read.
  bool NextArg(std::string_view* value) {
    if (planned_ == nullptr) return NextArgOfText(value);
    if (next_piece_ == end_piece_) return false;
    const ArgPiece& piece = *next_piece_++;
    *value = piece.literal ? std::string_view(piece.name.str())
                           : FetchArgument(piece.name, env_.str_vars);
    return true;
  }

  // The next argument, from the first to the last, read as a plain integer
  // of at most 18 digits (ReadPlainInteger): a variable that holds a number
  // (StrVarStore::SetNumber) gives it without its text being read.
  enum IntegerArg { kInteger, kNoInteger, kNoMore };
  IntegerArg NextPlainInteger(int64_t* value) {
    if (planned_ == nullptr) return NextPlainIntegerOfText(value);
    if (next_piece_ == end_piece_) return kNoMore;
    return PlainInteger(*next_piece_++, value);
  }

  // Applies the whole-number convention to an argument as fetched. On
  // failure *result is the error quoting the argument.
  bool WholeNumber(std::string_view arg, const WholeNumberRule& rule,
                   int32_t* value, std::string* result) const;

  // "*** ERROR. FUNCTION:" + upper-case name + ". " + description.
  std::string Error(std::string_view description) const;
  // The same, followed by ": '" + argument + "'".
  std::string ArgumentError(std::string_view description,
                            std::string_view argument) const;
  // The error of a result longer than kMaxResultLength.
  std::string TooLong() const { return Error("RESULT TOO LONG."); }

 private:
  bool NextArgOfText(std::string_view* value);
  // Open in every case.
  bool OpenAny(int required, std::string* result);
  // Open's fetching of the arguments of a planned call: the literals as
  // the plan read them; a variable holding a number gives it, its text
  // written only when the function reads the argument as text.
  void FetchPlanned() {
    const PlannedArgs& planned = *planned_;
    args_ = planned.literal_args_;
    numbers_ = planned.literal_numbers_;
    uint32_t numeric = planned.numeric_;
    uint32_t decimal = planned.decimal_;
    uint32_t unwritten = 0;
    for (int j = 0; j < planned.looked_up_count_; ++j) {
      const size_t k = planned.looked_up_[static_cast<size_t>(j)];
      const VarName& name = *planned.looked_up_names_[static_cast<size_t>(j)];
      std::string_view text;
      switch (env_.str_vars.ExactTextOrNumber(name, &text, &numbers_[k])) {
        case StrVarStore::Exact::kNumber: {
          // Its text, when written, is the number's decimal text.
          const uint32_t bit = 1u << k;
          unwritten |= bit;
          numeric |= bit;
          decimal |= bit;
          break;
        }
        case StrVarStore::Exact::kText:
          args_[k] = ArgText::Of(text);
          break;
        case StrVarStore::Exact::kNone:
          args_[k] = ArgText::Of(name.str());
          break;
      }
    }
    numeric_ = numeric;
    decimal_ = decimal;
    unwritten_ = unwritten;
  }
  IntegerArg NextPlainIntegerOfText(int64_t* value);
  // A planned argument read as NextPlainInteger reads it.
  IntegerArg PlainInteger(const ArgPiece& piece, int64_t* value) const {
    if (piece.literal) {
      if (!piece.integer) return kNoInteger;
      *value = piece.value;
      return kInteger;
    }
    constexpr int64_t kMax18 = 999'999'999'999'999'999;
    std::string_view text;
    int64_t n = 0;
    switch (env_.str_vars.ExactTextOrNumber(piece.name, &text, &n)) {
      case StrVarStore::Exact::kNumber:
        if (n < -kMax18 || n > kMax18) return kNoInteger;
        *value = n;
        return kInteger;
      case StrVarStore::Exact::kText:
        break;
      case StrVarStore::Exact::kNone:
        text = piece.name.str();
        break;
    }
    return ReadPlainInteger(text, 18, value) ? kInteger : kNoInteger;
  }

  std::string_view name_;
  std::string_view text_;
  const FunctionEnv& env_;
  const PlannedArgs* planned_ = nullptr;
  // The text of argument k-1 of a variable holding a number, written on
  // first read.
  void WriteArg(size_t k) const;

  // Filled by Open (the arguments not given empty).
  mutable std::array<ArgText, kMaxFixed> args_;
  // The numbers of the arguments whose variables hold one (or that are
  // literal integers), and which of them have not had their text written
  // (bit k for argument k + 1); only those marked in numeric_ are set.
  std::array<int64_t, kMaxFixed> numbers_;
  mutable uint32_t unwritten_ = 0;
  // The arguments whose number is known (bit k for argument k + 1), and
  // those of them whose text is exactly the number's decimal text.
  uint32_t numeric_ = 0;
  uint32_t decimal_ = 0;
  // The read position of NextArg: in the argument text (npos when done),
  // or among the pieces of a planned call.
  size_t next_ = 0;
  const ArgPiece* next_piece_ = nullptr;
  const ArgPiece* end_piece_ = nullptr;
};

}  // namespace zarn

#endif  // ZARN_EVAL_ARGS_H_
