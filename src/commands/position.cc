// The position commands gback, gforw, gbeg and gend: they move *pos, from
// which the find commands search, and change nothing else.
#include <cstdint>
#include <string>
#include <string_view>

#include "commands/command_support.h"
#include "commands/compiled_program.h"
#include "commands/handlers.h"
#include "support/number.h"

namespace zarn {

namespace {

// The count of gback and gforw: 1 when omitted, otherwise the value of the
// expression, which must be a whole number above 0. false (after the
// report) when it is not.
bool MoveCount(RunState& st, const CompiledOper& op, int32_t* count) {
  const std::string& text = op.words[0];
  if (text.empty()) {
    *count = 1;
    return true;
  }
  const std::string value = EvaluatePlan(st, *op.word_plan, text);
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

void GbackCommand(RunState& st, const CompiledOper& op) {
  int32_t count = 0;
  if (!MoveCount(st, op, &count)) return;
  const int64_t position = int64_t{IntVar(st, st.names.pos)} - count;
  MoveTo(st, position <= 0 ? 1 : position);
}

void GforwCommand(RunState& st, const CompiledOper& op) {
  int32_t count = 0;
  if (!MoveCount(st, op, &count)) return;
  const int64_t position = int64_t{IntVar(st, st.names.pos)} + count;
  // Clamped to the last character, so that scan loops end; an empty text
  // gives 0.
  const int64_t length = FileTextLength(st);
  MoveTo(st, position > length ? length : position);
}

void GbegCommand(RunState& st, const CompiledOper& op) {
  if (op.words[0].empty()) {
    ReportMissingArgument(st, op.keyword(), "");
    return;
  }
  // An undefined range is no error; the start is taken as it stands, so a
  // range (0, 0) gives 0.
  int64_t position = 1;
  if (st.RangeVars.HasExactly(op.word_names[0])) {
    position = st.RangeVars.KeyRange(op.word_names[0])->startpos;
  }
  MoveTo(st, position);
}

void GendCommand(RunState& st, const CompiledOper& op) {
  if (op.words[0].empty()) {
    ReportMissingArgument(st, op.keyword(), "");
    return;
  }
  int64_t position = 1;
  if (st.RangeVars.HasExactly(op.word_names[0])) {
    const TR& r = *st.RangeVars.KeyRange(op.word_names[0]);
    position = int64_t{r.startpos} + r.length - 1;
    if (position <= 0) position = 1;
  }
  MoveTo(st, position);
}

}  // namespace zarn
