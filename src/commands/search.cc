// The search commands find, findnoup and findup: the first match of a
// regular expression from *pos on cuts the text into the ranges before the
// match, the match and after it; the capture groups become *ctx1, *ctx2, ...
// *pos itself is not moved.
#include <array>
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

void Search(RunState& st, const CompiledOper& op, CaseMode mode) {
  // Messages name "find" for both case-ignoring keywords.
  const std::string_view keyword =
      mode == CaseMode::kIgnore ? "find" : "findup";
  const std::array<std::string, 4>& words = op.words;
  for (int i = 0; i < 4; ++i) {
    if (words[i].empty()) {
      ReportMissingArgument(st, keyword, "");
      return;
    }
  }

  // The contexts of an earlier search go first, even when this one finds
  // nothing.
  st.RangeVars.RemoveRangeVars("*ctx");
  const int32_t start = IntVar(st, st.names.pos);
  const std::string pattern(st.StrVars.ValueOrEmpty(op.word_names[0]));
  // Counting every match scans to the end of the text; it is done only
  // when the count can be seen.
  const bool count_all = st.ErrLogLevel == 1 || st.Program().nctx_observable();
  SearchResult& found = st.search_result;
  FileTextSearch text(st.StrVars.file_text());
  st.regex.Search(text, start, pattern,
                  /*ignore_case=*/mode == CaseMode::kIgnore, count_all, &found);
  if (found.limit_exceeded) ReportEngineLimit(st);
  for (const CaptureRange& capture : found.captures) {
    st.RangeVars.SetRangeVar(RangeVarRec{"*ctx" + std::to_string(capture.group),
                                         capture.startpos, capture.length});
  }

  if (found.count <= 0) {
    // The named ranges keep what they had.
    st.StrVars.Assign(st.names.rcf, "0");
    st.StrVars.Assign(st.names.nctx, "0");
  } else {
    st.StrVars.Assign(st.names.rcf, "1");
    SetIntVar(st, st.names.nctx, found.count);
    const int32_t end = found.position + found.length;
    st.RangeVars.SetRangeVar(op.word_names[1], start, found.position - start);
    st.RangeVars.SetRangeVar(op.word_names[2], found.position, found.length);
    st.RangeVars.SetRangeVar(op.word_names[3], end,
                             FileTextLength(st) - end + 1);
  }
  Trace(st, kTraceFind, found.count);
  SetNextOper(st, NextInSequence(st));
}

}  // namespace

void FindCommand(RunState& st, const CompiledOper& op) {
  Search(st, op, CaseMode::kIgnore);
}

void FindUpCommand(RunState& st, const CompiledOper& op) {
  Search(st, op, CaseMode::kSignificant);
}

}  // namespace zarn
