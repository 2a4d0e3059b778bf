#include "variables/file_text.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "support/text.h"

namespace zarn {

namespace {

// A new gap holds at least this much besides what the edit needs, and at
// least an eighth of the text, so that a long series of growing edits
// reallocates only a logarithmic number of times.
constexpr size_t kMinSpare = 4096;

// The log of edits of a marked text may take this much besides half of the
// text's size before it is turned into a copy.
constexpr size_t kLogAllowance = 64 * 1024;

}  // namespace

std::string_view FileText::view() const {
  MoveGap(size_);
  return std::string_view(buffer_.data(), size_);
}

std::string_view FileText::ViewFrom(size_t from) const {
  from = std::min(from, size_);
  if (from >= gap_begin_) {
    return std::string_view(buffer_.data() + gap_end_ + (from - gap_begin_),
                            size_ - from);
  }
  if (gap_end_ == buffer_.size()) {  // the gap is at the end
    return std::string_view(buffer_.data() + from, size_ - from);
  }
  // The gap lies inside the wanted part: move it out of the way, to the
  // nearer of its two ends.
  MoveGap(gap_begin_ - from <= size_ - gap_begin_ ? from : size_);
  return ViewFrom(from);
}

std::string_view FileText::TranslatedViewFrom(size_t from) const {
  RestorePatch();
  if (!shadow_kept_) BuildShadow();
  from = std::min(from, size_);
  const std::string_view plain = ViewFrom(from);
  const size_t physical = static_cast<size_t>(plain.data() - buffer_.data());
  // The shadow translates pairs of the whole text; a pair cut by the start
  // of the part is no pair within the part.
  if (from > 0 && from < size_ && At(from) == '\n' && At(from - 1) == '\r') {
    shadow_[physical] = '\n';
    patched_ = physical;
  }
  return std::string_view(shadow_.data() + physical, plain.size());
}

bool FileText::HasCrLf() const {
  if (crlf_pairs_ < 0) crlf_pairs_ = PairsBeginningIn(0, size_);
  return crlf_pairs_ > 0;
}

void FileText::AppendTo(size_t pos, size_t len, std::string* out) const {
  if (pos >= size_) return;
  len = std::min(len, size_ - pos);
  if (pos < gap_begin_) {
    const size_t first = std::min(len, gap_begin_ - pos);
    out->append(buffer_.data() + pos, first);
    pos += first;
    len -= first;
  }
  if (len > 0) out->append(buffer_.data() + Physical(pos), len);
}

void FileText::Replace(size_t pos, size_t len, std::string_view repl) {
  const size_t n = repl.size();
  if (len == 0 && n == 0) return;
  if (tracking_ == Tracking::kOnText) {
    if (JoinsLastEdit(pos, len, n) && Loggable(pos, len, n, 0, true)) {
      // The same bytes replaced again further on (a scan loop's edit):
      // one more hit of the last edit.
      gaps_.push_back(static_cast<uint32_t>(pos - log_end_));
      ++edits_.back().hits;
      log_end_ = pos + n;
    } else if (Loggable(pos, len, n, len, false)) {
      const size_t undo_at = undo_.size();
      AppendTo(pos, len, &undo_);
      edits_.push_back(Edit{pos, static_cast<uint32_t>(len),
                            static_cast<uint32_t>(n),
                            static_cast<uint32_t>(undo_at),
                            static_cast<uint32_t>(gaps_.size()), 1});
      log_end_ = pos + n;
    } else {
      KeepCopy(LogSource{view(), {}});
    }
  }
  RestorePatch();
  bool count_chars = utf8_ && chars_ != kNone;
  CharEdit char_edit;
  if (count_chars && valid_ && chars_ == size_ && IsAscii(repl)) {
    // Pure ASCII stays pure ASCII: a byte is a character before and after.
    chars_ = chars_ - len + n;
    cursor_char_ = cursor_byte_ = std::min(cursor_byte_, pos);
    other_char_ = other_byte_ = std::min(other_byte_, pos);
    count_chars = false;
  }
  if (count_chars && valid_ && len <= 64 && n <= 64 &&
      ValidEditKeepsCount(pos, len, repl)) {
    count_chars = false;
  }
  if (count_chars) char_edit = BeforeCharEdit(pos, len);
  // The CR LF pairs that the edit can make or break begin from the byte
  // before the edit up to its last byte.
  const size_t first = pos == 0 ? 0 : pos - 1;
  const int64_t pairs_before =
      crlf_pairs_ >= 0 ? PairsBeginningIn(first, pos + len) : 0;

  if (n == len) {
    // Same length: overwrite in place, wherever the gap is.
    size_t done = 0;
    if (pos < gap_begin_) {
      done = std::min(len, gap_begin_ - pos);
      std::memcpy(buffer_.data() + pos, repl.data(), done);
    }
    if (done < len) {
      std::memcpy(buffer_.data() + Physical(pos + done), repl.data() + done,
                  len - done);
    }
  } else {
    MoveGap(pos);
    gap_end_ += len;  // the replaced bytes join the gap
    size_ -= len;
    Grow(n);
    std::memcpy(buffer_.data() + gap_begin_, repl.data(), n);
    gap_begin_ += n;
    size_ += n;
  }

  if (crlf_pairs_ >= 0) {
    crlf_pairs_ += PairsBeginningIn(first, pos + n) - pairs_before;
  }
  if (shadow_kept_) RefreshShadow(first, pos + n + 1);
  if (count_chars) AfterCharEdit(char_edit, len, n);
}

void FileText::ReplaceEvery(std::string_view from, std::string_view to,
                            int32_t count) {
  RestorePatch();
  MoveGap(size_);
  char* const base = buffer_.data();
  const std::string_view text(base, size_);
  // What is written never reaches what is still to be read: each piece
  // kept or replaced is written no further than where it was read from.
  size_t write = 0;
  size_t from_at = kNone;  // where the log keeps the replaced bytes
  const int32_t done = ForEachOccurrence(
      text, from, count, utf8_,
      [&](std::string_view piece) {
        if (base + write != piece.data()) {
          std::memmove(base + write, piece.data(), piece.size());
        }
        write += piece.size();
      },
      [&](size_t hit) {
        if (tracking_ == Tracking::kOnText) {
          // The text as it is now: the bytes before write, then those from
          // the hit on; the hit lies at write.
          const bool first = from_at == kNone;
          if (Loggable(write, from.size(), to.size(), first ? from.size() : 0,
                       !first)) {
            if (first) {
              from_at = undo_.size();
              undo_.append(from);
              edits_.push_back(Edit{write, static_cast<uint32_t>(from.size()),
                                    static_cast<uint32_t>(to.size()),
                                    static_cast<uint32_t>(from_at),
                                    static_cast<uint32_t>(gaps_.size()), 1});
            } else {
              gaps_.push_back(static_cast<uint32_t>(write - log_end_));
              ++edits_.back().hits;
            }
            log_end_ = write + to.size();
          } else {
            KeepCopy(LogSource{text.substr(0, write), text.substr(hit)});
          }
        }
        std::memcpy(base + write, to.data(), to.size());
        write += to.size();
      });
  if (done == 0) return;
  size_ = write;
  gap_begin_ = size_;  // the bytes given up join the gap at the end
  // In a valid text every hit lies between whole valid characters, so valid
  // new text joins nothing: the count moves by the same step per hit.
  // Otherwise it is counted again when needed.
  bool to_valid = false;
  if (utf8_ && chars_ != kNone && valid_) {
    const size_t to_chars = CountChars(to, &to_valid);
    chars_ = chars_ - static_cast<size_t>(done) * CountCharStarts(from) +
             static_cast<size_t>(done) * to_chars;
    cursor_char_ = cursor_byte_ = other_char_ = other_byte_ = 0;
  }
  if (!to_valid) ForgetChars();
  std::string().swap(shadow_);
  shadow_kept_ = false;
  crlf_pairs_ = -1;
  patched_ = kNone;
}

void FileText::Assign(std::string text) {
  if (tracking_ == Tracking::kOnText) {
    // The old storage and the log on it keep the marked text: no copy.
    MoveGap(size_);
    buffer_.resize(size_);
    base_ = std::move(buffer_);
    tracking_ = Tracking::kOnBase;
  }
  buffer_ = std::move(text);
  size_ = buffer_.size();
  gap_begin_ = gap_end_ = size_;
  ForgetChars();
  std::string().swap(shadow_);
  shadow_kept_ = false;
  crlf_pairs_ = -1;
  patched_ = kNone;
}

void FileText::AssignCopy(std::string_view text) {
  if (tracking_ == Tracking::kOnText) {
    // The storage is kept for the marked text; the copy gets its own.
    Assign(std::string(text));
    return;
  }
  buffer_.assign(text.data(), text.size());  // copes with text inside it
  size_ = buffer_.size();
  gap_begin_ = gap_end_ = size_;
  ForgetChars();
  std::string().swap(shadow_);
  shadow_kept_ = false;
  crlf_pairs_ = -1;
  patched_ = kNone;
}

std::string FileText::Take() {
  MoveGap(size_);
  buffer_.resize(size_);
  std::string out = std::move(buffer_);
  StopTracking();
  Assign(std::string());
  return out;
}

void FileText::SetEncoding(TextEncoding encoding) {
  utf8_ = encoding == TextEncoding::kUtf8;
  ForgetChars();
}

size_t FileText::CountedChars() const {
  if (chars_ == kNone) {
    chars_ = CountChars(view(), &valid_);
    cursor_char_ = cursor_byte_ = other_char_ = other_byte_ = 0;
  }
  return chars_;
}

std::string_view FileText::Span(size_t from, size_t to) const {
  to = std::min(to, size_);
  from = std::min(from, to);
  if (from >= gap_begin_) {
    return std::string_view(buffer_.data() + Physical(from), to - from);
  }
  if (to <= gap_begin_) {
    return std::string_view(buffer_.data() + from, to - from);
  }
  scratch_.clear();
  AppendTo(from, to - from, &scratch_);
  return scratch_;
}

size_t FileText::ByteOfCharCounted(size_t c) const {
  const size_t total = CountedChars();
  if (c >= total) return size_;
  if (total == size_) return c;  // every byte is a character
  if (c == cursor_char_) return cursor_byte_;
  if (c == other_char_) {
    std::swap(cursor_char_, other_char_);
    std::swap(cursor_byte_, other_byte_);
    return cursor_byte_;
  }
  // From the nearest of the start, the cursor and the end.
  size_t from_char = 0;
  size_t from_byte = 0;
  const size_t to_cursor =
      c >= cursor_char_ ? c - cursor_char_ : cursor_char_ - c;
  if (to_cursor < c && to_cursor <= total - c) {
    from_char = cursor_char_;
    from_byte = cursor_byte_;
  } else if (total - c < c) {
    from_char = total;
    from_byte = size_;
  }
  size_t b = 0;
  // A character is at most four bytes long, so k characters lie within
  // 4k bytes.
  if (c >= from_char) {
    const size_t k = c - from_char;
    const size_t reach = std::min(size_ - from_byte, 4 * k);
    b = from_byte + Skip(Span(from_byte, from_byte + reach), k);
  } else {
    const size_t k = from_char - c;
    const size_t low = from_byte >= 4 * k ? from_byte - 4 * k : 0;
    b = low + SkipBack(Span(low, from_byte), k);
  }
  MoveCursor(c, b);
  return b;
}

size_t FileText::CharOfByteCounted(size_t b) const {
  const size_t total = CountedChars();
  if (b >= size_) return total;
  if (total == size_) return b;
  if (b == cursor_byte_) return cursor_char_;
  if (b == other_byte_) {
    std::swap(cursor_char_, other_char_);
    std::swap(cursor_byte_, other_byte_);
    return cursor_char_;
  }
  size_t c = 0;
  const size_t to_cursor =
      b >= cursor_byte_ ? b - cursor_byte_ : cursor_byte_ - b;
  if (to_cursor < b && to_cursor <= size_ - b) {
    c = b >= cursor_byte_ ? cursor_char_ + CountIn(Span(cursor_byte_, b))
                          : cursor_char_ - CountIn(Span(b, cursor_byte_));
  } else if (size_ - b < b) {
    c = total - CountIn(Span(b, size_));
  } else {
    c = CountIn(Span(0, b));
  }
  MoveCursor(c, b);
  return c;
}

bool FileText::ValidEditKeepsCount(size_t pos, size_t len,
                                   std::string_view repl) {
  auto starts_char = [&](size_t i) {
    return i == size_ || !IsContinuationByte(static_cast<unsigned char>(At(i)));
  };
  const size_t end = pos + len;
  if (!starts_char(pos) || !starts_char(end)) return false;
  bool repl_valid = false;
  const size_t new_chars = CountChars(repl, &repl_valid);
  if (!repl_valid) return false;
  // A valid text cut where characters begin, with valid text put between,
  // is valid: only the characters replaced and put in are counted.
  auto starts_in = [&](size_t from, size_t to) {
    size_t k = 0;
    for (size_t i = from; i < to; ++i) {
      k += !IsContinuationByte(static_cast<unsigned char>(At(i)));
    }
    return k;
  };
  const size_t old_chars = starts_in(pos, end);
  auto move = [&](size_t* c, size_t* b) {
    if (*b <= pos) return;
    if (*b >= end) {
      *b = *b - len + repl.size();
      *c = *c - old_chars + new_chars;
    } else {
      *c -= starts_in(pos, *b);
      *b = pos;
    }
  };
  move(&cursor_char_, &cursor_byte_);
  move(&other_char_, &other_byte_);
  chars_ = chars_ - old_chars + new_chars;
  return true;
}

FileText::CharEdit FileText::BeforeCharEdit(size_t pos, size_t len) const {
  // Every byte but a continuation byte begins a character whatever
  // surrounds it. So a character start at most three bytes before the
  // edit, or else the edit's own start (no character can then reach over
  // it), begins characters in the old and the new text alike; the same
  // holds behind the edit, where three continuation bytes in a row end
  // every character that could reach into them. Only the characters
  // between the two can change.
  CharEdit e;
  e.left = pos;
  for (size_t k = 1; k <= 3 && k <= pos; ++k) {
    if (!IsContinuationByte(static_cast<unsigned char>(At(pos - k)))) {
      e.left = pos - k;
      break;
    }
  }
  const size_t end = pos + len;
  const size_t limit = std::min(size_, end + 3);
  e.right = limit;
  for (size_t i = end; i < limit; ++i) {
    if (!IsContinuationByte(static_cast<unsigned char>(At(i)))) {
      e.right = i;
      break;
    }
  }
  e.old_chars = CountIn(Span(e.left, e.right));
  e.cursor_inside = cursor_byte_ > e.left && cursor_byte_ < e.right;
  if (e.cursor_inside) {
    e.left_char = cursor_char_ - CountIn(Span(e.left, cursor_byte_));
  }
  return e;
}

void FileText::AfterCharEdit(const CharEdit& e, size_t len, size_t n) {
  // The window decides whether the text stays valid: the rest is as it
  // was.
  bool valid = false;
  const size_t new_chars = CountChars(Span(e.left, e.right - len + n), &valid);
  valid_ = valid_ && valid;
  chars_ = chars_ - e.old_chars + new_chars;
  if (e.cursor_inside) {
    cursor_char_ = e.left_char;
    cursor_byte_ = e.left;
  } else if (cursor_byte_ >= e.right) {
    cursor_byte_ = cursor_byte_ - len + n;
    cursor_char_ = cursor_char_ - e.old_chars + new_chars;
  }
  // The earlier cursor moves the same way, or else starts over.
  if (other_byte_ > e.left && other_byte_ < e.right) {
    other_char_ = other_byte_ = 0;
  } else if (other_byte_ >= e.right) {
    other_byte_ = other_byte_ - len + n;
    other_char_ = other_char_ - e.old_chars + new_chars;
  }
}

void FileText::TrackOriginal() {
  StopTracking();
  tracking_ = Tracking::kOnText;
  original_size_ = size_;
}

template <typename Piece>
void FileText::ForEachOriginalPart(const LogSource& source, Piece piece) const {
  // Hands on the bytes [from, to) of the source.
  auto source_part = [&](size_t from, size_t to) {
    const size_t head = source.head.size();
    if (from < head &&
        !piece(source.head.substr(from, std::min(to, head) - from))) {
      return false;
    }
    if (to <= head) return true;
    from = std::max(from, head);
    return piece(source.tail.substr(from - head, to - from));
  };
  size_t at = 0;
  const std::string_view undo = undo_;
  if (!ForEachHit([&](size_t pos, size_t len, size_t new_len, size_t undo_at) {
        if (!source_part(at, pos) || !piece(undo.substr(undo_at, len))) {
          return false;
        }
        at = pos + new_len;
        return true;
      })) {
    return;
  }
  source_part(at, source.head.size() + source.tail.size());
}

bool FileText::IsOriginal() const {
  if (tracking_ == Tracking::kNone || size_ != original_size_) return false;
  const std::string_view now = view();
  if (tracking_ == Tracking::kOnBase) {
    size_t at = 0;
    bool equal = true;
    ForEachOriginalPart(LogSource{base_, {}}, [&](std::string_view part) {
      equal = now.substr(at, part.size()) == part;
      at += part.size();
      return equal;
    });
    return equal;
  }
  // The log is on this text: a stretch between two edits is equal where it
  // has not moved, and the bytes an edit replaced are compared with what
  // stands at their place now.
  const std::string_view undo = undo_;
  size_t current = 0;  // offset in the text now
  size_t marked = 0;   // the same place in the marked text
  // Equal sizes: what follows the last edit has not moved.
  return ForEachHit(
      [&](size_t pos, size_t len, size_t new_len, size_t undo_at) {
        const size_t kept = pos - current;
        if (marked != current &&
            now.substr(marked, kept) != now.substr(current, kept)) {
          return false;
        }
        marked += kept;
        if (now.substr(marked, len) != undo.substr(undo_at, len)) return false;
        marked += len;
        current = pos + new_len;
        return true;
      });
}

std::string FileText::TakeOriginal() {
  std::string out;
  if (tracking_ == Tracking::kOnBase && edits_.empty()) {
    out = std::move(base_);
  } else if (tracking_ != Tracking::kNone) {
    out.reserve(original_size_);
    const LogSource source = tracking_ == Tracking::kOnBase
                                 ? LogSource{base_, {}}
                                 : LogSource{view(), {}};
    ForEachOriginalPart(source, [&](std::string_view part) {
      out.append(part);
      return true;
    });
  }
  StopTracking();
  return out;
}

void FileText::StopTracking() {
  tracking_ = Tracking::kNone;
  std::vector<Edit>().swap(edits_);
  std::vector<uint32_t>().swap(gaps_);
  std::string().swap(undo_);
  log_end_ = 0;
  std::string().swap(base_);
}

bool FileText::JoinsLastEdit(size_t pos, size_t len, size_t new_len) const {
  if (edits_.empty()) return false;
  const Edit& last = edits_.back();
  if (last.len != len || last.new_len != new_len || pos < log_end_) {
    return false;
  }
  for (size_t i = 0; i < len; ++i) {
    if (At(pos + i) != undo_[last.undo_at + i]) return false;
  }
  return true;
}

template <typename F>
bool FileText::ForEachHit(F f) const {
  for (const Edit& e : edits_) {
    size_t pos = e.pos;
    for (uint32_t k = 0; k < e.hits; ++k) {
      if (k > 0) pos += e.new_len + gaps_[e.gaps_at + k - 1];
      if (!f(pos, e.len, e.new_len, e.undo_at)) return false;
    }
  }
  return true;
}

bool FileText::Loggable(size_t pos, size_t len, size_t new_len,
                        size_t undo_bytes, bool gap) const {
  const size_t end = log_end_;
  if (pos < end) return false;  // before the end of the previous edit
  constexpr size_t kMax = std::numeric_limits<uint32_t>::max();
  if (len > kMax || new_len > kMax || (gap && pos - end > kMax)) return false;
  const size_t cost = (edits_.size() + (gap ? 0 : 1)) * sizeof(Edit) +
                      (gaps_.size() + (gap ? 1 : 0)) * sizeof(uint32_t) +
                      undo_.size() + undo_bytes;
  return cost <= original_size_ / 2 + kLogAllowance;
}

void FileText::KeepCopy(const LogSource& source) {
  std::string copy;
  copy.reserve(original_size_);
  ForEachOriginalPart(source, [&](std::string_view part) {
    copy.append(part);
    return true;
  });
  base_ = std::move(copy);
  std::vector<Edit>().swap(edits_);
  std::vector<uint32_t>().swap(gaps_);
  std::string().swap(undo_);
  log_end_ = 0;
  tracking_ = Tracking::kOnBase;
}

char FileText::TranslatedAt(size_t i) const {
  const char c = At(i);
  if (c == '\r' && i + 1 < size_ && At(i + 1) == '\n') return '\0';
  if (c == '\n' && i > 0 && At(i - 1) == '\r') return '\0';
  return c;
}

int64_t FileText::PairsBeginningIn(size_t first, size_t end) const {
  end = std::min(end, size_);
  int64_t count = 0;
  size_t i = first;
  while (i < end) {
    // The bytes from i on that lie in one piece of the buffer.
    const size_t piece_end = i < gap_begin_ ? std::min(end, gap_begin_) : end;
    const char* base = buffer_.data() + Physical(i);
    const void* hit = std::memchr(base, '\r', piece_end - i);
    if (hit == nullptr) {
      i = piece_end;
      continue;
    }
    const size_t j =
        i + static_cast<size_t>(static_cast<const char*>(hit) - base);
    if (j + 1 < size_ && At(j + 1) == '\n') ++count;
    i = j + 1;
  }
  return count;
}

void FileText::MoveGap(size_t to) const {
  RestorePatch();
  if (to == gap_begin_) return;
  char* b = buffer_.data();
  char* s = shadow_kept_ ? shadow_.data() : nullptr;
  if (to < gap_begin_) {
    const size_t n = gap_begin_ - to;
    std::memmove(b + gap_end_ - n, b + to, n);
    if (s != nullptr) std::memmove(s + gap_end_ - n, s + to, n);
    gap_begin_ = to;
    gap_end_ -= n;
  } else {
    const size_t n = to - gap_begin_;
    std::memmove(b + gap_begin_, b + gap_end_, n);
    if (s != nullptr) std::memmove(s + gap_begin_, s + gap_end_, n);
    gap_begin_ = to;
    gap_end_ += n;
  }
}

void FileText::Grow(size_t need) {
  if (GapLength() >= need) return;
  const size_t after = buffer_.size() - gap_end_;
  const size_t new_size = size_ + need + std::max(size_ / 8, kMinSpare);
  buffer_.resize(new_size);
  std::memmove(buffer_.data() + new_size - after, buffer_.data() + gap_end_,
               after);
  if (shadow_kept_) {
    shadow_.resize(new_size);
    std::memmove(shadow_.data() + new_size - after, shadow_.data() + gap_end_,
                 after);
  }
  gap_end_ = new_size - after;
}

void FileText::BuildShadow() const {
  shadow_ = buffer_;  // same layout; the gap's bytes mean nothing
  shadow_kept_ = true;
  int64_t pairs = 0;
  for (size_t i = 0; i < size_;) {
    const size_t piece_end = i < gap_begin_ ? gap_begin_ : size_;
    const char* base = buffer_.data() + Physical(i);
    const void* hit = std::memchr(base, '\r', piece_end - i);
    if (hit == nullptr) {
      i = piece_end;
      continue;
    }
    const size_t j =
        i + static_cast<size_t>(static_cast<const char*>(hit) - base);
    if (j + 1 < size_ && At(j + 1) == '\n') {
      shadow_[Physical(j)] = '\0';
      shadow_[Physical(j + 1)] = '\0';
      ++pairs;
    }
    i = j + 1;
  }
  crlf_pairs_ = pairs;
}

void FileText::RefreshShadow(size_t first, size_t end) const {
  end = std::min(end, size_);
  for (size_t i = first; i < end; ++i) shadow_[Physical(i)] = TranslatedAt(i);
}

void FileText::RestorePatch() const {
  if (patched_ == kNone) return;
  shadow_[patched_] = '\0';
  patched_ = kNone;
}

}  // namespace zarn
