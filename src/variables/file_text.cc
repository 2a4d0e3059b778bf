#include "variables/file_text.h"

#include <algorithm>
#include <cstring>

#include "support/text.h"

namespace zarn {

namespace {

// A new gap holds at least this much besides what the edit needs, and at
// least an eighth of the text, so that a long series of growing edits
// reallocates only a logarithmic number of times.
constexpr size_t kMinSpare = 4096;

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
  RestorePatch();
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
}

void FileText::ReplaceEvery(std::string_view from, std::string_view to,
                            int32_t count) {
  RestorePatch();
  MoveGap(size_);
  char* const base = buffer_.data();
  const std::string_view text(base, size_);
  // What is written never reaches what is still to be read: each piece
  // kept or replaced is written no further than where it was read from.
  size_t read = 0;
  size_t write = 0;
  int32_t done = 0;
  for (; done < count; ++done) {
    const size_t hit = FindText(text, from, read);
    if (hit == std::string_view::npos) break;
    if (write != read) std::memmove(base + write, base + read, hit - read);
    write += hit - read;
    std::memcpy(base + write, to.data(), to.size());
    write += to.size();
    read = hit + from.size();
  }
  if (done == 0) return;
  if (write != read) {
    std::memmove(base + write, base + read, size_ - read);
    size_ = write + (size_ - read);
    gap_begin_ = size_;  // the bytes given up join the gap at the end
  }
  std::string().swap(shadow_);
  shadow_kept_ = false;
  crlf_pairs_ = -1;
  patched_ = kNone;
}

void FileText::Assign(std::string text) {
  buffer_ = std::move(text);
  size_ = buffer_.size();
  gap_begin_ = gap_end_ = size_;
  std::string().swap(shadow_);
  shadow_kept_ = false;
  crlf_pairs_ = -1;
  patched_ = kNone;
}

void FileText::AssignCopy(std::string_view text) {
  buffer_.assign(text.data(), text.size());  // copes with text inside it
  size_ = buffer_.size();
  gap_begin_ = gap_end_ = size_;
  std::string().swap(shadow_);
  shadow_kept_ = false;
  crlf_pairs_ = -1;
  patched_ = kNone;
}

std::string FileText::Take() {
  MoveGap(size_);
  buffer_.resize(size_);
  std::string out = std::move(buffer_);
  Assign(std::string());
  return out;
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
    const size_t j = i + static_cast<size_t>(static_cast<const char*>(hit) - base);
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
    const size_t j = i + static_cast<size_t>(static_cast<const char*>(hit) - base);
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
