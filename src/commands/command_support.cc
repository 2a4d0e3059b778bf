#include "commands/command_support.h"

#include <limits>

#include "commands/program_facts.h"
#include "eval/evaluator.h"
#include "program/program.h"
#include "support/messages.h"
#include "support/text.h"

namespace zarn {

NameAndRest CutNameAndRest(std::string_view parm) {
  return NameAndRest{Trimmed(LeftOf(parm, ",")), Trimmed(RightOf(parm, ","))};
}

std::string ParmWord(std::string_view parm, int32_t n) {
  std::string list;
  list.reserve(parm.size() + 2);
  list.push_back(',');
  list.append(parm);
  list.push_back(',');
  return Trimmed(GetWord(list, ",", n));
}

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

namespace {

// The evaluator's view of the run; the result variables are kept only
// when some operation can read them.
EvalContext ContextOf(RunState& st) {
  EvalContext ctx{st.StrVars, st.RangeVars, st.FunrCount, &st.plans};
  ctx.keep_results = FactsOf(st).FunrObservable(st);
  ctx.regex = &st.regex;
  return ctx;
}

}  // namespace

const ExpressionPlan& PlanOfPart(RunState& st, const OperParts& parts,
                                 const std::string& expression) {
  if (parts.plan == nullptr || parts.plan_text.data() != expression.data() ||
      parts.plan_text.size() != expression.size()) {
    parts.plan = &st.plans.PlanOf(expression);
    parts.plan_text = expression;
  }
  return *parts.plan;
}

std::string EvaluatePart(RunState& st, const OperParts& parts,
                         const std::string& expression) {
  EvalContext ctx = ContextOf(st);
  return Evaluate(PlanOfPart(st, parts, expression), expression, ctx);
}

std::string_view EvaluatePartView(RunState& st, const OperParts& parts,
                                  const std::string& expression,
                                  std::string* buffer) {
  EvalContext ctx = ContextOf(st);
  return EvaluateView(PlanOfPart(st, parts, expression), expression, ctx,
                      buffer);
}

int32_t FileTextLength(RunState& st) {
  const size_t size = st.StrVars.file_text().size();
  constexpr size_t kMax = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(size > kMax ? kMax : size);
}

void ListProgramOnce(RunState& st) {
  if (st.ListingDone) return;
  for (const std::string& line : ProgramListing(st.OperList, ProgramPath(st))) {
    LogTo(st, st.LogFile, line, &st.LogErrNo);
  }
  st.ListingDone = true;
}

}  // namespace zarn
