// The replace command rep: replaces the text of a range by the value of a
// string variable and moves every range so that it keeps covering the same
// text as before.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "commands/command_support.h"
#include "commands/compiled_program.h"
#include "commands/handlers.h"
#include "commands/range_adjust.h"

namespace zarn {

namespace {

// Whether the range of the whole text covers the whole text.
bool WholeRangeIsWhole(Machine& m) {
  const int32_t whole = m.RangeVars.FindRangeVar(kFileRangeName);
  if (whole == 0) return false;
  const TR& range = m.RangeVars.MutableAt(whole);
  return range.startpos == 1 && range.length == FileTextLength(m);
}

// A byte that began no character may join the new text's edge into one
// character, so the count of the text can differ from what the ranges
// were moved by: the range of the whole text takes the count itself.
void KeepWholeRange(Machine& m) {
  const int32_t whole = m.RangeVars.FindRangeVar(kFileRangeName);
  if (whole != 0) m.RangeVars.MutableAt(whole).length = FileTextLength(m);
}

}  // namespace

void RepCommand(Machine& m, const CompiledOper& op) {
  const std::string& range_name = op.words[0];
  const std::string& var_name = op.words[1];
  if (range_name.empty() || var_name.empty()) {
    ReportMissingArgument(m, op.keyword(), "");
    return;
  }

  // A missing variable or range is created empty; an empty range replaces
  // nothing.
  std::string new_text;
  if (std::optional<std::string_view> v = m.StrVars.ValueOf(op.word_names[1])) {
    new_text.assign(*v);
  } else {
    m.StrVars.Set(op.word_names[1], std::string());
  }
  TR r{std::string(), 0, 0};
  if (const TR* found = m.RangeVars.KeyRange(op.word_names[0])) {
    r.startpos = found->startpos;
    r.length = found->length;
  } else {
    m.RangeVars.SetRangeVar(RangeVarRec{range_name, 0, 0});
  }

  int replacements = 0;
  // A range without a start position, (0, 0) or one that lies before the
  // text, has nothing to replace.
  if (r.startpos >= 1 && r.length >= 0) {
    const int64_t s = r.startpos;
    const int64_t l = r.length;
    const int64_t n = static_cast<int64_t>(new_text.size());
    // A range that reaches past the end of the text replaces up to the
    // end; one that starts past the end adds the new text at the end.
    FileText& text = m.StrVars.file_text();
    const size_t size = text.size();
    size_t from = 0;
    size_t count = 0;
    int64_t n_counted = n;  // the new text's length as ranges count it
    bool may_join = false;  // the edit may join bytes into a character
    if (text.utf8()) {
      // The range and the new text in characters; the text is cut in
      // bytes.
      from = text.ByteOfChar(static_cast<size_t>(s - 1));
      count = text.ByteOfChar(static_cast<size_t>(s - 1 + l)) - from;
      bool valid = false;
      n_counted = static_cast<int64_t>(CountChars(new_text, &valid));
      may_join = !valid || !text.KnownValid();
    } else {
      from = std::min(static_cast<size_t>(s - 1), size);
      count = std::min(static_cast<size_t>(l), size - from);
    }
    // The text as it would be; refused before anything moves.
    if (RefuseTextSize(m, op.keyword(),
                       static_cast<int64_t>(size - count) + n)) {
      return;
    }
    const bool was_whole = may_join && WholeRangeIsWhole(m);
    if (n_counted != l) {
      const ReplacedStretch stretch{s, l, n_counted,
                                    static_cast<int64_t>(text.CharCount())};
      const int32_t whole = m.RangeVars.FindRangeVar(kFileRangeName);
      for (int32_t i = 1; i <= m.RangeVars.Count(); ++i) {
        TR& range = m.RangeVars.MutableAt(i);
        AdjustRange(stretch, i == whole, &range.startpos, &range.length);
      }
    }
    text.Replace(from, count, new_text);
    if (was_whole) KeepWholeRange(m);
    SetIntVar(m, m.names.changes, int64_t{IntVar(m, m.names.changes)} + 1);
    replacements = 1;
  }

  Trace(m, kTraceRep, replacements);
  SetNextOper(m, NextInSequence(m));
}

}  // namespace zarn
