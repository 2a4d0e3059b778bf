// The assignment commands set, setc and cat. They share the protection
// check and the assignment itself, which keeps *filestring, *pos and
// *filerange consistent and keeps *errloglev at "0" or "1".
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "commands/command_support.h"
#include "commands/compiled_program.h"
#include "commands/handlers.h"
#include "eval/evaluator.h"
#include "eval/functions.h"
#include "support/messages.h"
#include "support/number.h"
#include "support/text.h"
#include "variables/sys_vars.h"

namespace zarn {

namespace {

constexpr std::string_view kErrorMarker = "*** ERROR";

// How the three commands differ once the value is known.
struct Assignment {
  // The operation; the target is op.cut.name, the argument as written
  // (quoted when a new *pos is refused) op.cut.rest.
  const CompiledOper& op;
  // Only "set" counts a new *filestring as a change and writes the program
  // listing when the trace level becomes 1.
  bool from_set = false;
};

// MayAssign for the name of a system variable.
[[gnu::noinline]] bool MayAssignSystemVariable(Machine& m,
                                               const Assignment& a) {
  if (SysVarKind(m.StrVars, a.op.target_entry, a.op.target) != 2) return true;
  ReportError(m, "ZARNCMD005CT", a.op.keyword());
  return false;
}

// Refuses a protected system variable; true when the name may be assigned.
inline bool MayAssign(Machine& m, const Assignment& a) {
  // A name of no system variable is never protected.
  return a.op.target_entry == nullptr || MayAssignSystemVariable(m, a);
}

// What a new *filestring brings along: *pos back to 1, *filerange over the
// whole text and, from set, one change more.
void FileTextAssigned(Machine& m, bool from_set) {
  m.StrVars.Set("*pos", "1");
  m.RangeVars.SetRangeVar(
      RangeVarRec{std::string(kFileRangeName), 1, FileTextLength(m)});
  if (from_set) SetIntVar(m, "*changes", int64_t{IntVar(m, "*changes")} + 1);
}

// A new *pos: a whole number above 0; past the end is the end; a valid
// one keeps its text as written (3.0 stays 3.0).
bool AssignPos(Machine& m, const Assignment& a, std::string_view value) {
  int32_t pos = 0;
  if (!ToWholeNumber(value, &pos) || pos <= 0) {
    ReportError(m, "ZARNCMD007CT", a.op.cut.rest);
    return false;
  }
  const int32_t length = FileTextLength(m);
  if (pos > length) {
    SetIntVar(m, "*pos", length);
  } else {
    m.StrVars.Set("*pos", std::string(value));
  }
  return true;
}

// A new *errloglev: "1" turns the trace on, anything else is "0".
bool AssignErrLogLev(Machine& m, const Assignment& a, std::string_view value) {
  if (value != "0" && value != "1") value = "0";
  const bool trace_on = value == "1";
  m.StrVars.Set("*errloglev", std::string(value));
  // The trace refers to operations by number, so the log receives the
  // program listing once before the first trace line.
  if (a.from_set && trace_on) m.host.ListProgramOnce();
  return true;
}

// Stores value under the name with the side effects of the writable system
// variables (their names compared exactly); false when a new *pos is
// refused, the variable then keeping its value.
bool Assign(Machine& m, const Assignment& a, std::string_view value) {
  switch (a.op.target_kind) {
    case TargetKind::kPlain:
      m.StrVars.Assign(a.op.target, value);
      return true;
    case TargetKind::kPos:
      return AssignPos(m, a, value);
    case TargetKind::kErrLogLev:
      return AssignErrLogLev(m, a, value);
    case TargetKind::kFileString:
      break;
  }
  if (RefuseTextSize(m, a.op.keyword(), static_cast<int64_t>(value.size()))) {
    return false;
  }
  // Copied into the storage of the text it replaces.
  m.StrVars.Assign(kFileStringName, value);
  FileTextAssigned(m, a.from_set);
  return true;
}

// SetFileTextInPlace once the operation is a candidate and the trace is
// off.
[[gnu::noinline]] bool SetFileTextInPlaceIfSame(Machine& m,
                                                const Assignment& a) {
  EvalContext& ctx = m.eval;
  SrArguments args;
  if (!PlannedSrOfFileText(*a.op.rest_plan, ctx, &args) ||
      args.to.size() > args.from.size() ||
      args.text.data() != m.StrVars.file_text().view().data() ||
      SrHead(args, kErrorMarker.size()) == kErrorMarker) {
    return false;
  }
  if (!MayAssign(m, a)) return true;
  // As the evaluation would leave it: one call made.
  m.FunrCount = 1;
  if (!args.from.empty()) {
    // Either may be a variable holding a piece of the text itself.
    const std::string from(args.from);
    const std::string to(args.to);
    m.StrVars.file_text().ReplaceEvery(from, to, args.count);
  }
  FileTextAssigned(m, /*from_set=*/true);
  SetNextOper(m, NextInSequence(m));
  return true;
}
// "set *filestring,sr(*filestring,F,R[,N])" with R no longer than F: the
// text is rewritten within its own storage instead of being built anew as a
// result and copied back, when the outcome is the same. It is when nothing
// can read the result variable the expression would leave (the compiled
// program knows it), the trace (which shows the value) is off, and the
// result does not begin like an error (which the assignment refuses). True
// when the operation was done so (or refused, as the assignment would
// refuse it).
inline bool SetFileTextInPlace(Machine& m, const Assignment& a) {
  if (!a.op.sr_in_place || m.ErrLogLevel == 1) return false;
  return SetFileTextInPlaceIfSame(m, a);
}

// The rest of set for a value that is a text.
[[gnu::noinline]] void SetText(Machine& m, const Assignment& a,
                               std::string_view value) {
  // Traced before any check, so that a failing assignment shows its value.
  Trace(m, kTraceSet, value);
  if (!MayAssign(m, a)) return;
  if (value.substr(0, kErrorMarker.size()) == kErrorMarker) {
    m.ErrFlag = ErrorState::kStopRun;
    LogMessage(m, kCommandsSection, "ZARNCMD006CT", "/{1}/{2}/",
               MsgValues({a.op.cut.rest, value}));
    return;
  }
  if (!Assign(m, a, value)) return;
  SetNextOper(m, NextInSequence(m));
}

// A whole number computed as such: stored as one, its text written when it
// is first read.
inline void SetNumber(Machine& m, const Assignment& a, int64_t number) {
  Trace(m, kTraceSet, number);
  if (!MayAssign(m, a)) return;
  m.StrVars.SetNumber(a.op.target, number);
  SetNextOper(m, NextInSequence(m));
}

// SetCommand for a value that is not computed from known numbers.
[[gnu::noinline]] void SetEvaluated(Machine& m, const Assignment& a) {
  if (SetFileTextInPlace(m, a)) return;
  const CompiledOper& op = a.op;
  // A view of the result where it lies (often a result variable), so that
  // a long text is copied once, into the variable that receives it.
  std::string buffer;
  std::optional<int64_t> number;
  const std::string_view value = EvaluatePlanView(
      m, *op.rest_plan, op.cut.rest, &buffer,
      op.target_kind == TargetKind::kPlain ? &number : nullptr);
  if (number) {
    SetNumber(m, a, *number);
    return;
  }
  SetText(m, a, value);
}

}  // namespace

void SetCommand(Machine& m, const CompiledOper& op) {
  const Assignment a{op, /*from_set=*/true};
  int64_t number = 0;
  if (op.target_kind == TargetKind::kPlain &&
      EvaluateKnownNumbers(*op.rest_plan, m.eval, &number)) {
    SetNumber(m, a, number);
    return;
  }
  SetEvaluated(m, a);
}

void SetcCommand(Machine& m, const CompiledOper& op) {
  if (op.words[0].empty()) {
    ReportMissingArgument(m, op.keyword(), "");
    return;
  }
  // The literal is the first word of the rest, not trimmed again: blanks
  // before the next comma, and after skipped commas, belong to it.
  std::string literal = GetWord("," + op.cut.rest + ",", ",", 1);
  Trace(m, kTraceSetc, literal);
  const Assignment a{op};
  if (!MayAssign(m, a)) return;
  if (!Assign(m, a, literal)) return;
  SetNextOper(m, NextInSequence(m));
}

void CatCommand(Machine& m, const CompiledOper& op) {
  // Unlike setc, the first word is tested as it stands: a word of blanks
  // counts as present.
  if (GetWord("," + op.oper->parm + ",", ",", 1).empty()) {
    ReportMissingArgument(m, op.keyword(), "");
    return;
  }
  // The value ends at the first empty name of the list.
  std::string value;
  const std::string list = "," + op.cut.rest + ",";
  for (int32_t i = 1;; ++i) {
    const std::string name = Trimmed(GetWord(list, ",", i));
    if (name.empty()) break;
    value.append(m.StrVars.ValueOrEmpty(name));
  }
  Trace(m, kTraceCat, value);
  const Assignment a{op};
  if (!MayAssign(m, a)) return;
  if (!Assign(m, a, value)) return;
  SetNextOper(m, NextInSequence(m));
}

}  // namespace zarn
