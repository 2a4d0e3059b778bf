// The text of the data file being edited: the value of *filestring.
//
// It lives behind this small interface, inside the string-variable store, so
// that edits work in place and reads need no copy of a text that may be tens
// of megabytes long. Every other variable is an ordinary std::string.
//
// Representation: a gap buffer. The bytes of the text are the buffer's bytes
// before the gap, [0, gap_begin_), followed by those after it,
// [gap_end_, buffer size). A replacement moves the gap to the edit and fills
// it, so a program that edits the text front to back (find, rep, move on)
// moves every byte about once in all instead of once per edit; a
// replacement by a text of the same length overwrites in place and leaves
// the gap where it is. The whole text is made contiguous (the gap moved to
// the end) only when a reader asks for all of it at once.
//
// A search needs the text from its start position to the end as one piece
// (ViewFrom); that part is contiguous as soon as the gap lies before the
// start, which is where a forward scan leaves it.
//
// The CR LF shadow. Inside a search every CR LF is seen as two NUL
// characters. When a pattern can tell the difference and the text holds CR
// LF, the searches read a shadow copy in which the translation is already
// made; the shadow has the same layout as the text, follows every edit (at
// the cost of the edit's length) and is dropped with the text. It is made on
// first need only.
//
// The text as read. The file loop marks the text it loads (TrackOriginal),
// so that a file whose final text is what was read is not written back and
// a diff or a backup is made against what was read, without a second copy
// of every file. Each edit is logged with the bytes it replaced, as long as
// the edits move forward through the text (as a scan loop and a
// replacement of every occurrence do): the marked text is then the text
// with the logged edits undone. A new whole value keeps the old storage and
// its log as the base of the marked text. Only an edit that lies before
// the end of the previous one, or a log grown to a sizable part of the
// text, costs a copy of the marked text, which then becomes the base.
//
// Characters. In UTF-8 mode (SetEncoding) the program counts the text in
// characters (support/utf8.h) while the text stays bytes. The number of
// characters is counted once, on first need, and then kept through every
// edit by recounting the few bytes around it. A text in which every byte is
// a character (pure ASCII, say) converts as itself. Otherwise a cursor, a
// character number with its byte offset, is kept from the last conversion
// (and moved along by edits), and a conversion walks from the nearest of
// the start, the cursor and the end: a scan loop that moves forward
// through the text walks it about once in all. The cursor before it is
// kept too, and a conversion of either cursor's place is answered at
// once: a search converts the start and the end of its match, and the
// replacement of the match converts the same two again.
//
// Views handed out stay valid until the next call of a member other than
// size(), HasCrLf(), AppendTo() and, once the characters are counted
// (CharCount()), the character conversions; views from view() also survive
// further calls of view().
#ifndef ZARN_VARIABLES_FILE_TEXT_H_
#define ZARN_VARIABLES_FILE_TEXT_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/utf8.h"

namespace zarn {

class FileText {
 public:
  size_t size() const { return size_; }

  // The whole text in one piece.
  std::string_view view() const;

  // The text from the zero-based offset from (at most size()) to its end,
  // in one piece.
  std::string_view ViewFrom(size_t from) const;

  // The same as the search sees it: every CR LF within the returned part as
  // two NUL characters. An LF at `from` whose CR lies before `from` is not
  // part of a pair within the returned part and stays an LF.
  std::string_view TranslatedViewFrom(size_t from) const;

  // Whether the text holds a CR directly followed by an LF.
  bool HasCrLf() const;

  // Appends the bytes [pos, pos + len) (clipped to the text) to *out
  // without moving anything.
  void AppendTo(size_t pos, size_t len, std::string* out) const;

  // Replaces len bytes from the zero-based offset pos by repl; pos and len
  // must lie within the text.
  void Replace(size_t pos, size_t len, std::string_view repl);

  // Replaces the occurrences of from (not empty), left to right and not
  // overlapping, at most count of them, by to, which is no longer than from
  // and never searched again: the text can only shrink, so it is rewritten
  // within its own storage in one pass. Neither from nor to may view this
  // text.
  void ReplaceEvery(std::string_view from, std::string_view to, int32_t count);

  void Assign(std::string text);
  // The same from a copy of text (which may view this text), made in the
  // storage the text already has.
  void AssignCopy(std::string_view text);

  // Hands the text over (the file loop writes it back) and leaves it empty.
  std::string Take();

  // How the text is counted; bytes unless set.
  void SetEncoding(TextEncoding encoding);
  bool utf8() const { return utf8_; }
  // The length in characters (size() in byte mode).
  size_t CharCount() const {
    return !utf8_ ? size_ : chars_ != kNone ? chars_ : CountedChars();
  }
  // Whether the text is known to be valid UTF-8 (UTF-8 mode, counted).
  bool KnownValid() const { return utf8_ && chars_ != kNone && valid_; }
  // The byte offset of the zero-based character number c; size() from
  // CharCount() on.
  size_t ByteOfChar(size_t c) const {
    // Where every byte is a character (pure ASCII, say), as in byte mode.
    return !utf8_ || chars_ == size_ ? std::min(c, size_)
                                     : ByteOfCharCounted(c);
  }
  // The character number of the byte offset b, which begins a character
  // (or is size()).
  size_t CharOfByte(size_t b) const {
    return !utf8_            ? b
           : chars_ == size_ ? std::min(b, size_)
                             : CharOfByteCounted(b);
  }

  // Marks the current text as the one read from the data file.
  void TrackOriginal();
  // Whether the text is, byte for byte, the one marked.
  bool IsOriginal() const;
  // The marked text; ends the tracking.
  std::string TakeOriginal();
  // Ends the tracking and frees what it kept.
  void StopTracking();

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);

  size_t GapLength() const { return gap_end_ - gap_begin_; }
  // Buffer index of the text offset i (i < size_).
  size_t Physical(size_t i) const {
    return i < gap_begin_ ? i : i + GapLength();
  }
  char At(size_t i) const { return buffer_[Physical(i)]; }
  // What the search sees at offset i: NUL for both bytes of a CR LF.
  char TranslatedAt(size_t i) const;
  // Number of CR LF pairs beginning at offsets [first, last] (clipped).
  int64_t PairsBeginningIn(size_t first, size_t last) const;

  void MoveGap(size_t to) const;
  // Makes the gap at least `need` bytes long, keeping its position.
  void Grow(size_t need);
  // The text a log was made on, in one or two parts (a replacement of
  // every occurrence in progress leaves a hole between them).
  struct LogSource {
    std::string_view head;
    std::string_view tail;
  };
  // Calls piece(part) for the parts of the marked text, in order, while it
  // returns true.
  template <typename Piece>
  void ForEachOriginalPart(const LogSource& source, Piece piece) const;
  // Whether replacing len bytes at pos by new_len bytes repeats the last
  // logged edit: the same bytes, replaced by as many, further on.
  bool JoinsLastEdit(size_t pos, size_t len, size_t new_len) const;
  // Whether an edit at pos of len bytes into new_len that adds undo_bytes
  // to the log and, with gap, a hit to the last edit, can join it.
  bool Loggable(size_t pos, size_t len, size_t new_len, size_t undo_bytes,
                bool gap) const;
  // Makes the marked text, rebuilt from the log made on source, the base.
  void KeepCopy(const LogSource& source);
  void BuildShadow() const;
  // Recomputes the shadow for the offsets [first, last] (clipped).
  void RefreshShadow(size_t first, size_t last) const;
  // Undoes the LF that TranslatedViewFrom put into the shadow.
  void RestorePatch() const;

  size_t CountedChars() const;
  size_t ByteOfCharCounted(size_t c) const;
  size_t CharOfByteCounted(size_t b) const;
  // The bytes [from, to) (clipped) in one piece: where they lie, or a copy
  // in scratch_ when the gap divides them.
  std::string_view Span(size_t from, size_t to) const;
  // Keeps the count of characters and the cursor through the replacement
  // of len bytes at pos by repl; called around the edit (before: true).
  struct CharEdit {
    size_t left = 0;       // a character start before the edit in both texts
    size_t right = 0;      // the same behind it, in the old text
    size_t old_chars = 0;  // characters in [left, right) of the old text
    size_t left_char = 0;  // the character number of left, when known
    bool cursor_inside = false;
  };
  CharEdit BeforeCharEdit(size_t pos, size_t len) const;
  // The same, without a window, for an edit of a valid text between two
  // character starts by valid text: keeps the count and the cursors for
  // it and says so, or else changes nothing and says no.
  bool ValidEditKeepsCount(size_t pos, size_t len, std::string_view repl);
  void AfterCharEdit(const CharEdit& e, size_t len, size_t n);
  // Forgets the count (a new text, or one rewritten throughout).
  void ForgetChars() {
    chars_ = kNone;
    cursor_char_ = cursor_byte_ = other_char_ = other_byte_ = 0;
  }
  // The conversion just made becomes the cursor, the cursor the earlier
  // one.
  void MoveCursor(size_t c, size_t b) const {
    other_char_ = cursor_char_;
    other_byte_ = cursor_byte_;
    cursor_char_ = c;
    cursor_byte_ = b;
  }
  // Counting and walking over part of the text, the fast way when the
  // whole text is known to be valid UTF-8.
  size_t CountIn(std::string_view part) const {
    return valid_ ? CountCharStarts(part) : CountChars(part);
  }
  size_t Skip(std::string_view part, size_t count) const {
    return valid_ ? SkipCharStarts(part, 0, count) : SkipChars(part, 0, count);
  }
  size_t SkipBack(std::string_view part, size_t count) const {
    return valid_ ? SkipCharStartsBack(part, part.size(), count)
                  : SkipCharsBack(part, part.size(), count);
  }

  // The members change on reads too (the gap moves, the shadow is made),
  // which never changes the text itself.
  mutable std::string buffer_;
  mutable std::string shadow_;  // empty when not kept
  mutable size_t gap_begin_ = 0;
  mutable size_t gap_end_ = 0;
  size_t size_ = 0;
  mutable bool shadow_kept_ = false;
  mutable int64_t crlf_pairs_ = -1;  // -1: not counted yet
  mutable size_t patched_ = kNone;   // buffer index of a restored LF
  bool utf8_ = false;
  mutable size_t chars_ = kNone;  // the count of characters, once counted
  mutable bool valid_ = false;    // and every one is valid UTF-8
  mutable size_t cursor_char_ = 0;
  mutable size_t cursor_byte_ = 0;
  mutable size_t other_char_ = 0;  // the cursor before the last conversion
  mutable size_t other_byte_ = 0;
  mutable std::string scratch_;

  // One logged edit: len bytes at pos (in the text as it was just before
  // the edit, which is also where they lie now, as later edits lie behind
  // it) became new_len bytes; the old ones are undo_[undo_at, +len). A
  // replacement of every occurrence logs one edit for all its hits, the
  // same bytes replaced each time: hit k > 0 lies gaps_[gaps_at + k - 1]
  // bytes behind the new text of hit k - 1.
  struct Edit {
    uint64_t pos;
    uint32_t len;
    uint32_t new_len;
    uint32_t undo_at;
    uint32_t gaps_at;
    uint32_t hits;
  };
  // Calls f(pos, len, new_len, undo_at) for every logged hit, in order,
  // while it returns true.
  template <typename F>
  bool ForEachHit(F f) const;
  enum class Tracking {
    kNone,    // no text is marked
    kOnText,  // the marked text is this text with edits_ undone
    kOnBase,  // the marked text is base_ with edits_ undone
  };
  Tracking tracking_ = Tracking::kNone;
  std::vector<Edit> edits_;
  std::vector<uint32_t> gaps_;
  std::string undo_;
  size_t log_end_ = 0;  // where the last logged hit ends in the text now
  std::string base_;
  size_t original_size_ = 0;
};

}  // namespace zarn

#endif  // ZARN_VARIABLES_FILE_TEXT_H_
