// The search commands find, findnoup and findup: the first match of a
// regular expression from *pos on cuts the text into the ranges before the
// match, the match and after it; the capture groups become *ctx1, *ctx2, ...
// *pos itself is not moved.
#include <array>
#include <climits>
#include <cstdint>
#include <string>
#include <string_view>

#include "commands/command_support.h"
#include "commands/compiled_program.h"
#include "commands/handlers.h"
#include "support/regex.h"
#include "variables/file_text_search.h"

namespace zarn {

namespace {

enum class CaseMode { kIgnore, kSignificant };

// The byte position (from 1) the search starts from for the character
// position start; the subject is empty (start below 1, or at or past the
// last character) exactly when it is for the character position.
[[gnu::noinline]] int32_t ByteStart(const FileText& text, int32_t start) {
  if (start < 1) return start;
  if (static_cast<size_t>(start) >= text.CharCount()) return INT32_MAX;
  return static_cast<int32_t>(text.ByteOfChar(static_cast<size_t>(start) - 1) +
                              1);
}

// The positions and lengths of a search started at ByteStart(start), in
// characters.
[[gnu::noinline]] void InCharacters(const FileText& text, int32_t start,
                                    SearchResult* found) {
  if (found->count <= 0) return;
  if (start < 1 || static_cast<size_t>(start) >= text.CharCount()) {
    // The empty subject: everything found is empty and lies at start.
    found->position = start;
    for (CaptureRange& capture : found->captures) capture.startpos = start;
    return;
  }
  auto convert = [&](int32_t* position, int32_t* length) {
    const size_t begin = static_cast<size_t>(*position) - 1;
    const size_t first = text.CharOfByte(begin);
    const size_t last = text.CharOfByte(begin + static_cast<size_t>(*length));
    *position = static_cast<int32_t>(first + 1);
    *length = static_cast<int32_t>(last - first);
  };
  convert(&found->position, &found->length);
  for (CaptureRange& capture : found->captures) {
    convert(&capture.startpos, &capture.length);
  }
}

void Search(Machine& m, const CompiledOper& op, CaseMode mode) {
  // Messages name "find" for both case-ignoring keywords.
  const std::string_view keyword =
      mode == CaseMode::kIgnore ? "find" : "findup";
  const std::array<std::string, 4>& words = op.words;
  for (int i = 0; i < 4; ++i) {
    if (words[i].empty()) {
      ReportMissingArgument(m, keyword, "");
      return;
    }
  }

  // The contexts of an earlier search go first, even when this one finds
  // nothing.
  m.RangeVars.RemoveRangeVars("*ctx");
  const int32_t start = IntVar(m, m.names.pos);
  const std::string pattern(m.StrVars.ValueOrEmpty(op.word_names[0]));
  // Counting every match scans to the end of the text; it is done only
  // when the count can be seen.
  const bool count_all = m.ErrLogLevel == 1 || m.Program().nctx_observable();
  SearchResult& found = m.search_result;
  const FileText& file_text = m.StrVars.file_text();
  FileTextSearch text(file_text);
  // Where every byte is a character (pure ASCII, say), a search from
  // within the text finds the same numbers in either unit: nothing is
  // converted.
  const bool chars =
      file_text.utf8() &&
      !(start >= 1 && static_cast<size_t>(start) < file_text.size() &&
        file_text.CharCount() == file_text.size());
  m.regex.Search(text, chars ? ByteStart(file_text, start) : start, pattern,
                 /*ignore_case=*/mode == CaseMode::kIgnore, count_all, &found);
  if (chars) InCharacters(file_text, start, &found);
  if (found.limit_exceeded) ReportEngineLimit(m);
  for (const CaptureRange& capture : found.captures) {
    m.RangeVars.SetRangeVar(RangeVarRec{"*ctx" + std::to_string(capture.group),
                                        capture.startpos, capture.length});
  }

  if (found.count <= 0) {
    // The named ranges keep what they had.
    m.StrVars.Assign(m.names.rcf, "0");
    m.StrVars.Assign(m.names.nctx, "0");
  } else {
    m.StrVars.Assign(m.names.rcf, "1");
    SetIntVar(m, m.names.nctx, found.count);
    const int32_t end = found.position + found.length;
    m.RangeVars.SetRangeVar(op.word_names[1], start, found.position - start);
    m.RangeVars.SetRangeVar(op.word_names[2], found.position, found.length);
    m.RangeVars.SetRangeVar(op.word_names[3], end, FileTextLength(m) - end + 1);
  }
  Trace(m, kTraceFind, found.count);
  SetNextOper(m, NextInSequence(m));
}

}  // namespace

void FindCommand(Machine& m, const CompiledOper& op) {
  Search(m, op, CaseMode::kIgnore);
}

void FindUpCommand(Machine& m, const CompiledOper& op) {
  Search(m, op, CaseMode::kSignificant);
}

}  // namespace zarn
