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
bool MoveCount(Machine& m, const CompiledOper& op, int32_t* count) {
  const std::string& text = op.words[0];
  if (text.empty()) {
    *count = 1;
    return true;
  }
  const std::string value = EvaluatePlan(m, *op.word_plan, text);
  if (!ToWholeNumber(value, count) || *count <= 0) {
    ReportError(m, "ZARNCMD007CT", text);
    return false;
  }
  return true;
}

void MoveTo(Machine& m, int64_t position) {
  SetIntVar(m, m.names.pos, position);
  Trace(m, kTracePosition, position);
  SetNextOper(m, NextInSequence(m));
}

}  // namespace

void GbackCommand(Machine& m, const CompiledOper& op) {
  int32_t count = 0;
  if (!MoveCount(m, op, &count)) return;
  const int64_t position = int64_t{IntVar(m, m.names.pos)} - count;
  MoveTo(m, position <= 0 ? 1 : position);
}

void GforwCommand(Machine& m, const CompiledOper& op) {
  int32_t count = 0;
  if (!MoveCount(m, op, &count)) return;
  const int64_t position = int64_t{IntVar(m, m.names.pos)} + count;
  // Clamped to the last character, so that scan loops end; an empty text
  // gives 0.
  const int64_t length = FileTextLength(m);
  MoveTo(m, position > length ? length : position);
}

void GbegCommand(Machine& m, const CompiledOper& op) {
  if (op.words[0].empty()) {
    ReportMissingArgument(m, op.keyword(), "");
    return;
  }
  // An undefined range is no error; the start is taken as it stands, so a
  // range (0, 0) gives 0.
  int64_t position = 1;
  if (m.RangeVars.HasExactly(op.word_names[0])) {
    position = m.RangeVars.KeyRange(op.word_names[0])->startpos;
  }
  MoveTo(m, position);
}

void GendCommand(Machine& m, const CompiledOper& op) {
  if (op.words[0].empty()) {
    ReportMissingArgument(m, op.keyword(), "");
    return;
  }
  int64_t position = 1;
  if (m.RangeVars.HasExactly(op.word_names[0])) {
    const TR& r = *m.RangeVars.KeyRange(op.word_names[0]);
    position = int64_t{r.startpos} + r.length - 1;
    if (position <= 0) position = 1;
  }
  MoveTo(m, position);
}

}  // namespace zarn
