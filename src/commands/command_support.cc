#include "commands/command_support.h"

#include <limits>

#include "commands/compiled_program.h"
#include "eval/call.h"
#include "eval/evaluator.h"
#include "program/program.h"
#include "support/messages.h"
#include "support/text.h"

namespace zarn {

bool RefuseTextSize(RunState& st, std::string_view keyword, int64_t size) {
  if (size <= st.max_text_size) return false;
  st.ErrFlag = ErrorState::kStopRun;
  LogMessage(st, kCommandsSection, "ZARNCMD009CT", "/{1}/{2}/{3}/",
             MsgValues({keyword, std::to_string(size),
                        std::to_string(st.max_text_size)}));
  return true;
}

void ReportEngineLimit(RunState& st) {
  if (st.LimitReported) return;
  st.LimitReported = true;
  Notify(st, kCommandsSection, "ZARNCMD010CE", "/{1}/{2}/",
         MsgValues({std::to_string(st.CurOper),
                    EscapeName(st.StrVars.ValueOrEmpty("*file"))}));
}

void TraceLine(RunState& st, std::string_view label, std::string_view value) {
  std::string labelled(label);
  labelled.append(value);
  LogMessage(st, kCommandsSection, "ZARNCMD008LI", "/{1}/{2}/",
             MsgValues({std::to_string(st.CurOper), labelled}));
}

void Trace(RunState& st, std::string_view label, int64_t value) {
  if (st.ErrLogLevel != 1) return;
  Trace(st, label, std::to_string(value));
}

void ReportMissingArgument(RunState& st, std::string_view keyword,
                           std::string_view argument, ErrorState err_flag) {
  st.ErrFlag = err_flag;
  LogMessage(st, kCommandsSection, "ZARNCMD002LE", "/{1}/{2}/",
             MsgValues({keyword, argument}));
}

void ReportError(RunState& st, std::string_view code, std::string_view value) {
  st.ErrFlag = ErrorState::kStopRun;
  LogMessage(st, kCommandsSection, code, "/{1}/", MsgValues({value}));
}

EvalContext ContextOf(RunState& st) {
  EvalContext ctx{st.StrVars, st.RangeVars, st.FunrCount};
  ctx.keep_results = st.Program().funr_observable();
  return ctx;
}

std::string EvaluatePlan(RunState& st, const ExpressionPlan& plan,
                         std::string_view expression) {
  EvalContext ctx = ContextOf(st);
  return Evaluate(plan, expression, ctx);
}

std::string_view EvaluatePlanView(RunState& st, const ExpressionPlan& plan,
                                  std::string_view expression,
                                  std::string* buffer,
                                  std::optional<int64_t>* number) {
  if (const VarName* plain = PlainValueOf(plan)) {
    // No call: what the evaluation comes to, without its machinery.
    st.FunrCount = 0;
    return FetchArgument(*plain, st.StrVars);
  }
  EvalContext ctx = ContextOf(st);
  return EvaluateView(plan, expression, ctx, buffer, number);
}

int32_t FileTextLength(RunState& st) {
  const size_t size = st.StrVars.file_text().size();
  constexpr size_t kMax = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(size > kMax ? kMax : size);
}

void ListProgramOnce(RunState& st) {
  if (st.ListingDone) return;
  for (const std::string& line :
       ProgramListing(st.Program().OperList(), ProgramPath(st))) {
    LogTo(st, st.LogFile, line, &st.LogErrNo);
  }
  st.ListingDone = true;
}

}  // namespace zarn
