// Line differences in the unified format, as `diff -u` writes them and
// `patch -p1` reads them: how a run would change a file, shown before it is
// changed.
//
// Lines. A text is cut after each LF; the LF belongs to its line and so does
// a CR before it, so a CR LF file is compared and reproduced byte for byte.
// A last line without LF is a different line from the same text with one;
// when it is printed, the marker "\ No newline at end of file" follows it.
//
// The edit script. Lines are compared by a 32-bit hash first and by their
// bytes when the hashes agree. The script is a shortest one (Myers' O(ND)
// algorithm, searching from both ends for a middle snake, in linear space)
// while that is cheap. On a large, heavily changed input each search for a
// split point stops after DiffOptions::split_cost steps and takes the point
// that got furthest, and once the whole comparison has spent
// DiffOptions::work_budget steps every part still open is reported as one
// changed region. Either way the script stays correct (it turns the old text
// into the new one); only its minimality is given up, so time and memory
// stay bounded (memory: a few bytes per line) for texts of any size.
#ifndef ZARN_SUPPORT_UNIFIED_DIFF_H_
#define ZARN_SUPPORT_UNIFIED_DIFF_H_

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace zarn {

struct DiffOptions {
  // Unchanged lines shown around each change; changes closer than twice
  // this share one hunk.
  int context = 3;
  // Steps of one split-point search before it settles for the furthest
  // point reached; 0 chooses by size (no cut for small inputs).
  int64_t split_cost = 0;
  // Steps of the whole comparison before the rest is one changed region.
  int64_t work_budget = 400'000'000;
};

// Old lines [old_begin, old_end) became new lines [new_begin, new_end);
// lines are counted from 0.
struct DiffRegion {
  int64_t old_begin = 0;
  int64_t old_end = 0;
  int64_t new_begin = 0;
  int64_t new_end = 0;
  bool operator==(const DiffRegion&) const = default;
};

// The changed regions, in order, that turn old_text into new_text. Between
// two regions (and before the first, after the last) the lines are equal,
// the same number on both sides.
std::vector<DiffRegion> DiffLines(std::string_view old_text,
                                  std::string_view new_text,
                                  const DiffOptions& options = {});

// Content with a NUL byte is not diffed line by line.
bool LooksBinary(std::string_view text);

// Writes the unified diff of one file, named path (relative, "/"-separated)
// on both sides: "--- a/path", "+++ b/path", then the hunks. Writes nothing
// when the texts are equal, and "Binary files a/path and b/path differ"
// when either holds a NUL byte. A name with a blank gets a tab after it and
// a name with a control character, '"' or '\' is written in C quotes, as
// patch expects.
void WriteUnifiedDiff(std::ostream& out, std::string_view path,
                      std::string_view old_text, std::string_view new_text,
                      const DiffOptions& options = {});

// The same, as a string.
std::string UnifiedDiff(std::string_view path, std::string_view old_text,
                        std::string_view new_text,
                        const DiffOptions& options = {});

}  // namespace zarn

#endif  // ZARN_SUPPORT_UNIFIED_DIFF_H_
