// The position commands gback, gforw, gbeg and gend: they move *pos, from
// which the find commands search, and change nothing else.
#include <cstdint>
#include <string>
#include <string_view>

#include "commands/command_support.h"
#include "commands/handlers.h"
#include "commands/program_facts.h"
#include "support/number.h"

namespace zarn {

namespace {

// The count of gback and gforw: 1 when omitted, otherwise the value of the
// expression, which must be a whole number above 0. false (after the
// report) when it is not.
bool MoveCount(RunState& st, std::string_view parm, int32_t* count) {
  const OperParts& parts = FactsOf(st).PartsOf(st, parm);
  const std::string& text = parts.words[0];
  if (text.empty()) {
    *count = 1;
    return true;
  }
  const std::string value = EvaluatePart(st, parts, text);
  if (!ToWholeNumber(value, count) || *count <= 0) {
    ReportError(st, "ZARNCMD007CT", text);
    return false;
  }
  return true;
}

void MoveTo(RunState& st, int64_t position) {
  SetIntVar(st, st.names.pos, position);
  Trace(st, kTracePosition, position);
  SetNextOper(st, NextInSequence(st));
}

}  // namespace

void GbackCommand(RunState& st, std::string_view, std::string_view parm) {
  int32_t count = 0;
  if (!MoveCount(st, parm, &count)) return;
  const int64_t position = int64_t{IntVar(st, st.names.pos)} - count;
  MoveTo(st, position <= 0 ? 1 : position);
}

void GforwCommand(RunState& st, std::string_view, std::string_view parm) {
  int32_t count = 0;
  if (!MoveCount(st, parm, &count)) return;
  const int64_t position = int64_t{IntVar(st, st.names.pos)} + count;
  // Clamped to the last character, so that scan loops end; an empty text
  // gives 0.
  const int64_t length = FileTextLength(st);
  MoveTo(st, position > length ? length : position);
}

void GbegCommand(RunState& st, std::string_view keyword,
                 std::string_view parm) {
  const OperParts& parts = FactsOf(st).PartsOf(st, parm);
  if (parts.words[0].empty()) {
    ReportMissingArgument(st, keyword, "");
    return;
  }
  // An undefined range is no error; the start is taken as it stands, so a
  // range (0, 0) gives 0.
  int64_t position = 1;
  if (st.RangeVars.HasExactly(parts.word_ranges[0])) {
    position = st.RangeVars.KeyRange(parts.word_ranges[0])->startpos;
  }
  MoveTo(st, position);
}

void GendCommand(RunState& st, std::string_view keyword,
                 std::string_view parm) {
  const OperParts& parts = FactsOf(st).PartsOf(st, parm);
  if (parts.words[0].empty()) {
    ReportMissingArgument(st, keyword, "");
    return;
  }
  int64_t position = 1;
  if (st.RangeVars.HasExactly(parts.word_ranges[0])) {
    const TR& r = *st.RangeVars.KeyRange(parts.word_ranges[0]);
    position = int64_t{r.startpos} + r.length - 1;
    if (position <= 0) position = 1;
  }
  MoveTo(st, position);
}

}  // namespace zarn
