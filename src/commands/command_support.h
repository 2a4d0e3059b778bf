// What every command handler shares: the two rules that cut a parameter
// string into arguments, the trace line of trace level 1, the report of a
// missing argument, the evaluation of an argument, and the writing of the
// next operation number.
//
// There is no quoting in the command syntax: a comma always separates and
// only the blank character is trimmed, at the ends of each argument. A value
// that must hold a comma comes from a variable such as *comma.
#ifndef ZARN_COMMANDS_COMMAND_SUPPORT_H_
#define ZARN_COMMANDS_COMMAND_SUPPORT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "commands/compiled_program.h"
#include "commands/machine.h"
#include "eval/evaluator.h"

namespace zarn {

struct CompiledOper;  // compiled_program.h

inline constexpr std::string_view kCommandsSection = "Commands";

// Labels of the trace line, exactly as they appear in the log.
inline constexpr std::string_view kTraceSet = "Set parm eval.: ";
inline constexpr std::string_view kTraceSetc = "Setc parm.: ";
inline constexpr std::string_view kTraceCat = "Cat parm.: ";
inline constexpr std::string_view kTraceFind = "Found contexts: ";
inline constexpr std::string_view kTraceRep = "Replacements cnt.: ";
inline constexpr std::string_view kTracePosition = "Position: ";
inline constexpr std::string_view kTraceLoop = "Loop parm.eval: ";
inline constexpr std::string_view kTraceLend = "Lend parm.eval: ";
inline constexpr std::string_view kTraceLexit = "Lexit op.num.: ";
inline constexpr std::string_view kTraceIf = "If parm.eval.: ";
inline constexpr std::string_view kTraceElse = "Else op.num.: ";
inline constexpr std::string_view kTraceEndif = "Endif op.num.: ";

// Logs the trace line ZARNCMD008LI (operation number, label and value)
// when the trace level is 1; nothing otherwise.
void TraceLine(Machine& m, std::string_view label, std::string_view value);
inline void Trace(Machine& m, std::string_view label, std::string_view value) {
  if (m.ErrLogLevel == 1) TraceLine(m, label, value);
}
void TraceLine(Machine& m, std::string_view label, int64_t value);
inline void Trace(Machine& m, std::string_view label, int64_t value) {
  if (m.ErrLogLevel == 1) TraceLine(m, label, value);
}

// A required argument is empty: logs ZARNCMD002LE with the keyword and the
// (empty) argument and sets ErrFlag to err_flag.
void ReportMissingArgument(Machine& m, std::string_view keyword,
                           std::string_view argument,
                           ErrorState err_flag = ErrorState::kStopRun);

// A new *filestring of `size` bytes would be longer than the largest file a
// run reads back (m.max_text_size): true after setting ErrFlag to kStopRun and
// logging ZARNCMD009CT; a file written with it could never be edited again.
bool RefuseTextSize(Machine& m, std::string_view keyword, int64_t size);

// A search of the current operation ran into the engine's limit: said once
// per file on standard error (ZARNCMD010CE), with the operation's number.
void ReportEngineLimit(Machine& m);

// Sets ErrFlag to kStopRun and logs the code with a one-item template "/{1}/".
void ReportError(Machine& m, std::string_view code, std::string_view value);

// The value of an expression of the current operation (its first word or
// its rest), through the plan the compiled program made of it.
std::string EvaluatePlan(Machine& m, const ExpressionPlan& plan,
                         std::string_view expression);
// The same as a view (see EvaluateView), valid until the variables or
// *buffer change.
inline std::string_view EvaluatePlanView(
    Machine& m, const ExpressionPlan& plan, std::string_view expression,
    std::string* buffer, std::optional<int64_t>* number = nullptr) {
  return EvaluateView(plan, expression, m.eval, buffer, number);
}

// A condition holds exactly when its value is the text "1".
inline bool IsTrue(std::string_view value) { return value == "1"; }

// Writes *n_oper: the operation the run loop executes next.
inline void SetNextOper(Machine& m, int32_t number) {
  if (m.Program().n_oper_observable()) {
    SetIntVar(m, m.names.n_oper, number);
  } else {
    m.next_oper = number;
    m.next_oper_named = true;
  }
}
// The value of *n_oper as an operation reads it: the next operation held
// by the machine, as its decimal text, when the run loop does not write the
// variable and some operation of this pass has named one; the variable's
// value otherwise.
std::string NextOperText(const Machine& m);
// The usual successor: the next operation in sequence.
inline int32_t NextInSequence(const Machine& m) { return m.CurOper + 1; }

// The length of *filestring as a number of the system's 32-bit kind.
int32_t FileTextLength(Machine& m);

}  // namespace zarn

#endif  // ZARN_COMMANDS_COMMAND_SUPPORT_H_
