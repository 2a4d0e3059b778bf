// The search commands find, findnoup and findup: the first match of a
// regular expression from *pos on cuts the text into the ranges before the
// match, the match and after it; the capture groups become *ctx1, *ctx2, ...
// *pos itself is not moved.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "commands/command_support.h"
#include "commands/handlers.h"
#include "commands/program_facts.h"
#include "support/regex.h"
#include "variables/file_text_search.h"

namespace zarn {

namespace {

enum class CaseMode { kIgnore, kSignificant };

void Search(RunState& st, std::string_view parm, CaseMode mode) {
  // Messages name "find" for both case-ignoring keywords.
  const std::string_view keyword =
      mode == CaseMode::kIgnore ? "find" : "findup";
  const OperParts& parts = FactsOf(st).PartsOf(st, parm);
  const std::array<std::string, 4>& words = parts.words;
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
  const std::string pattern(st.StrVars.ValueOrEmpty(parts.word_vars[0]));
  // Counting every match scans to the end of the text; it is done only
  // when the count can be seen.
  const bool count_all = st.ErrLogLevel == 1 || FactsOf(st).NctxObservable(st);
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
    st.RangeVars.SetRangeVar(parts.word_ranges[1], start,
                             found.position - start);
    st.RangeVars.SetRangeVar(parts.word_ranges[2], found.position,
                             found.length);
    st.RangeVars.SetRangeVar(parts.word_ranges[3], end,
                             FileTextLength(st) - end + 1);
  }
  Trace(st, kTraceFind, found.count);
  SetNextOper(st, NextInSequence(st));
}

}  // namespace

void FindCommand(RunState& st, std::string_view, std::string_view parm) {
  Search(st, parm, CaseMode::kIgnore);
}

void FindUpCommand(RunState& st, std::string_view, std::string_view parm) {
  Search(st, parm, CaseMode::kSignificant);
}

}  // namespace zarn
