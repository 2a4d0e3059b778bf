#include "commands/command_support.h"

#include <limits>

#include "commands/compiled_program.h"
#include "eval/call.h"
#include "eval/evaluator.h"
#include "support/messages.h"
#include "support/text.h"

namespace zarn {

bool RefuseTextSize(Machine& m, std::string_view keyword, int64_t size) {
  if (size <= m.max_text_size) return false;
  m.ErrFlag = ErrorState::kStopRun;
  LogMessage(m, kCommandsSection, "ZARNCMD009CT", "/{1}/{2}/{3}/",
             MsgValues({keyword, std::to_string(size),
                        std::to_string(m.max_text_size)}));
  return true;
}

void ReportEngineLimit(Machine& m) {
  if (m.LimitReported) return;
  m.LimitReported = true;
  Notify(m, kCommandsSection, "ZARNCMD010CE", "/{1}/{2}/",
         MsgValues({std::to_string(m.CurOper),
                    EscapeName(m.StrVars.ValueOrEmpty("*file"))}));
}

void TraceLine(Machine& m, std::string_view label, std::string_view value) {
  std::string labelled(label);
  labelled.append(value);
  LogMessage(m, kCommandsSection, "ZARNCMD008LI", "/{1}/{2}/",
             MsgValues({std::to_string(m.CurOper), labelled}));
}

void TraceLine(Machine& m, std::string_view label, int64_t value) {
  TraceLine(m, label, std::to_string(value));
}

void ReportMissingArgument(Machine& m, std::string_view keyword,
                           std::string_view argument, ErrorState err_flag) {
  m.ErrFlag = err_flag;
  LogMessage(m, kCommandsSection, "ZARNCMD002LE", "/{1}/{2}/",
             MsgValues({keyword, argument}));
}

void ReportError(Machine& m, std::string_view code, std::string_view value) {
  m.ErrFlag = ErrorState::kStopRun;
  LogMessage(m, kCommandsSection, code, "/{1}/", MsgValues({value}));
}

std::string EvaluatePlan(Machine& m, const ExpressionPlan& plan,
                         std::string_view expression) {
  EvalContext& ctx = m.eval;
  return Evaluate(plan, expression, ctx);
}

std::string NextOperText(const Machine& m) {
  if (!m.Program().n_oper_observable() && m.next_oper_named) {
    return std::to_string(m.next_oper);
  }
  return std::string(m.StrVars.ValueOrEmpty("*n_oper"));
}

int32_t FileTextLength(Machine& m) {
  const size_t size = m.StrVars.file_text().CharCount();
  constexpr size_t kMax = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(size > kMax ? kMax : size);
}

}  // namespace zarn
