// The control-flow commands loop, lend, lexit, lcont, if, else and endif.
// They choose the next operation by writing *n_oper. Partners are found by
// scanning the operation list for a keyword, using the block numbers
// (blockop) and loop levels (looplevel) that the structure check stored;
// each scan depends on nothing but those fields, so it is made once, when
// the program is compiled (see compiled_program.h).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "commands/command_support.h"
#include "commands/compiled_program.h"
#include "commands/handlers.h"
#include "support/number.h"

namespace zarn {

namespace {

// Whether the condition argument, evaluated, holds: its value is exactly
// "1". The value is traced under label.
[[gnu::noinline]] bool EvaluatedConditionHolds(Machine& m,
                                               const CompiledOper& op,
                                               std::string_view label) {
  std::string buffer;
  std::optional<int64_t> number;
  const std::string_view value =
      EvaluatePlanView(m, *op.word_plan, op.words[0], &buffer, &number);
  if (number) {
    // The value is the number's decimal text: "1" for 1 alone.
    Trace(m, label, *number);
    return *number == 1;
  }
  Trace(m, label, value);
  return IsTrue(value);
}

// The same for any condition argument: loop and if default to "1" (always
// true) when it is omitted; lend has no default and evaluates the empty
// text.
inline bool ConditionHolds(Machine& m, const CompiledOper& op,
                           bool default_true, std::string_view label) {
  if (op.words[0].empty() && default_true) {
    Trace(m, label, "1");
    return true;
  }
  // A condition that names a variable holding a number (the flag of a
  // loop) holds when it is 1.
  const ExpressionPlan& plan = *op.word_plan;
  if (plan.calls.empty() && plan.end == RewriteEnd::kText) {
    std::string_view text;
    int64_t n = 0;
    if (m.StrVars.ExactTextOrNumber(plan.text, &text, &n) ==
        StrVarStore::Exact::kNumber) {
      m.FunrCount = 0;
      Trace(m, label, n);
      return n == 1;
    }
  }
  return EvaluatedConditionHolds(m, op, label);
}

// The first operation from `from` upward (increasing numbers) whose
// command is keyword and whose blockop is blockop; 0 when there is none.
int32_t ScanUp(const std::vector<Oper>& opers, int32_t from,
               std::string_view keyword, int32_t blockop) {
  for (int32_t i = from; i <= static_cast<int32_t>(opers.size()); ++i) {
    const Oper& op = opers[static_cast<size_t>(i - 1)];
    if (op.blockop == blockop && op.command == keyword) return i;
  }
  return 0;
}

// The same, from `from` downward to operation 1.
int32_t ScanDown(const std::vector<Oper>& opers, int32_t from,
                 std::string_view keyword, int32_t blockop) {
  for (int32_t i = from; i >= 1; --i) {
    const Oper& op = opers[static_cast<size_t>(i - 1)];
    if (op.blockop == blockop && op.command == keyword) return i;
  }
  return 0;
}

// A partner found at number p continues at p + offset; none ends the
// program for the current file.
int32_t PartnerOrEnd(const std::vector<Oper>& opers, int32_t p,
                     int32_t offset) {
  return p == 0 ? static_cast<int32_t>(opers.size()) + 1 : p + offset;
}

int32_t BlockOf(const std::vector<Oper>& opers, int32_t number) {
  return opers[static_cast<size_t>(number - 1)].blockop;
}

void GoTo(Machine& m, int32_t next, std::string_view label) {
  Trace(m, label, next);
  SetNextOper(m, next);
}

}  // namespace

// Past this loop's lend, whose blockop names this loop.
int32_t LoopJump(const std::vector<Oper>& opers, int32_t number) {
  return PartnerOrEnd(opers,
                      ScanUp(opers, number, "lend", BlockOf(opers, number)), 1);
}

// Back to the loop head itself, which tests its condition again.
int32_t LendJump(const std::vector<Oper>& opers, int32_t number) {
  return PartnerOrEnd(
      opers, ScanDown(opers, number, "loop", BlockOf(opers, number)), 0);
}

// To the lend of its own loop, whose condition decides about the next
// pass.
int32_t LcontJump(const std::vector<Oper>& opers, int32_t number) {
  return PartnerOrEnd(opers,
                      ScanUp(opers, number, "lend", BlockOf(opers, number)), 0);
}

// Leaving N loops continues after the lend of the N-th enclosing loop, the
// first lend from here on that carries the level outside that loop.
// Landing on the lend itself would test its condition and could repeat the
// loop instead of leaving it. N = 0 leaves nothing.
int32_t LexitJump(const std::vector<Oper>& opers, int32_t number) {
  std::string levels = ParmWord(opers[static_cast<size_t>(number - 1)].parm, 1);
  if (levels.empty()) levels = "1";
  const int32_t n = ToInt32(levels);
  if (n <= 0) return number + 1;
  const int32_t level = opers[static_cast<size_t>(number - 1)].looplevel - n;
  const auto count = static_cast<int32_t>(opers.size());
  for (int32_t i = number; i <= count; ++i) {
    const Oper& later = opers[static_cast<size_t>(i - 1)];
    if (later.looplevel == level && later.command == "lend") return i + 1;
  }
  return count + 1;
}

// Past the else of this block; without an else the scan does not stop at
// the endif, and the program ends for the current file.
int32_t IfJump(const std::vector<Oper>& opers, int32_t number) {
  return PartnerOrEnd(opers,
                      ScanUp(opers, number, "else", BlockOf(opers, number)), 1);
}

void LoopCommand(Machine& m, const CompiledOper& op) {
  const bool holds = ConditionHolds(m, op, /*default_true=*/true, kTraceLoop);
  SetNextOper(m, holds ? NextInSequence(m) : op.jump);
}

void LendCommand(Machine& m, const CompiledOper& op) {
  const bool holds = ConditionHolds(m, op, /*default_true=*/false, kTraceLend);
  SetNextOper(m, holds ? NextInSequence(m) : op.jump);
}

void LcontCommand(Machine& m, const CompiledOper& op) {
  GoTo(m, op.jump, kTraceLexit);
}

void LexitCommand(Machine& m, const CompiledOper& op) {
  GoTo(m, op.jump, kTraceLexit);
}

void IfCommand(Machine& m, const CompiledOper& op) {
  const bool holds = ConditionHolds(m, op, /*default_true=*/true, kTraceIf);
  SetNextOper(m, holds ? NextInSequence(m) : op.jump);
}

// else and endif only continue: after a true condition the else branch
// runs as well.
void ElseCommand(Machine& m, const CompiledOper&) {
  GoTo(m, NextInSequence(m), kTraceElse);
}

void EndifCommand(Machine& m, const CompiledOper&) {
  GoTo(m, NextInSequence(m), kTraceEndif);
}

}  // namespace zarn
