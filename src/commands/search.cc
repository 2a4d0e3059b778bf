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
  FileTextSearch text(m.StrVars.file_text());
  m.regex.Search(text, start, pattern,
                 /*ignore_case=*/mode == CaseMode::kIgnore, count_all, &found);
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
