// The control-flow commands loop, lend, lexit, lcont, if, else and endif.
// They choose the next operation by writing *n_oper. Partners are found by
// scanning the operation list for a keyword, using the block numbers
// (blockop) and loop levels (looplevel) that the structure check stored;
// each scan depends on nothing but those fields, so its result is kept for
// the rest of the program run (see program_facts.h).
#include <cstdint>
#include <string>
#include <string_view>

#include "commands/command_support.h"
#include "commands/handlers.h"
#include "commands/program_facts.h"
#include "support/number.h"

namespace zarn {

namespace {

// The value of a condition argument. loop and if default to "1" (always
// true) when it is omitted; lend has no default and evaluates the empty
// text.
// The value is handed over as a view (of a variable, or of *buffer), valid
// until the variables change.
std::string_view Condition(RunState& st, std::string_view parm,
                           bool default_true, std::string* buffer) {
  const OperParts& parts = FactsOf(st).PartsOf(st, parm);
  const std::string& expression = parts.words[0];
  if (expression.empty() && default_true) return "1";
  return EvaluatePartView(st, parts, expression, buffer);
}

// The first operation from `from` upward (increasing numbers) whose
// command is keyword and whose blockop is blockop; 0 when there is none.
int32_t ScanUp(const RunState& st, int32_t from, std::string_view keyword,
               int32_t blockop) {
  for (int32_t i = from; i <= st.OperCount; ++i) {
    const Oper& op = st.OperList[static_cast<size_t>(i - 1)];
    if (op.blockop == blockop && op.command == keyword) return i;
  }
  return 0;
}

// The same, from `from` downward to operation 1.
int32_t ScanDown(const RunState& st, int32_t from, std::string_view keyword,
                 int32_t blockop) {
  for (int32_t i = from; i >= 1; --i) {
    const Oper& op = st.OperList[static_cast<size_t>(i - 1)];
    if (op.blockop == blockop && op.command == keyword) return i;
  }
  return 0;
}

// The scan target of the current operation, worked out by scan() on first
// use and remembered for the rest of the program run.
template <typename Scan>
int32_t Target(RunState& st, Scan scan) {
  ProgramFacts& facts = FactsOf(st);
  int32_t target = facts.KnownTarget(st.CurOper);
  if (target == 0) {
    target = scan();
    facts.RememberTarget(st.CurOper, target);
  }
  return target;
}

// A partner found at number p continues at p + offset; none ends the
// program for the current file.
int32_t PartnerOrEnd(const RunState& st, int32_t p, int32_t offset) {
  return p == 0 ? EndOfProgram(st) : p + offset;
}

void GoTo(RunState& st, int32_t next, std::string_view label) {
  Trace(st, label, next);
  SetNextOper(st, next);
}

}  // namespace

void LoopCommand(RunState& st, std::string_view, std::string_view parm) {
  std::string buffer;
  const std::string_view value =
      Condition(st, parm, /*default_true=*/true, &buffer);
  Trace(st, kTraceLoop, value);
  if (IsTrue(value)) {
    SetNextOper(st, NextInSequence(st));
    return;
  }
  // Past this loop's lend, whose blockop names this loop.
  const int32_t next = Target(st, [&st] {
    const int32_t blockop = st.OperAt(st.CurOper).blockop;
    return PartnerOrEnd(st, ScanUp(st, st.CurOper, "lend", blockop), 1);
  });
  SetNextOper(st, next);
}

void LendCommand(RunState& st, std::string_view, std::string_view parm) {
  std::string buffer;
  const std::string_view value =
      Condition(st, parm, /*default_true=*/false, &buffer);
  Trace(st, kTraceLend, value);
  if (IsTrue(value)) {
    SetNextOper(st, NextInSequence(st));
    return;
  }
  // Back to the loop head itself, which tests its condition again.
  const int32_t next = Target(st, [&st] {
    const int32_t blockop = st.OperAt(st.CurOper).blockop;
    return PartnerOrEnd(st, ScanDown(st, st.CurOper, "loop", blockop), 0);
  });
  SetNextOper(st, next);
}

void LcontCommand(RunState& st, std::string_view, std::string_view) {
  // To the lend of its own loop, whose condition decides about the next
  // pass.
  const int32_t next = Target(st, [&st] {
    const int32_t blockop = st.OperAt(st.CurOper).blockop;
    return PartnerOrEnd(st, ScanUp(st, st.CurOper, "lend", blockop), 0);
  });
  GoTo(st, next, kTraceLexit);
}

void LexitCommand(RunState& st, std::string_view, std::string_view parm) {
  // Leaving N loops continues after the lend of the N-th enclosing loop,
  // the first lend from here on that carries the level outside that loop.
  // Landing on the lend itself would test its condition and could repeat
  // the loop instead of leaving it. N = 0 leaves nothing.
  const int32_t next = Target(st, [&st, parm] {
    std::string levels = ParmWord(parm, 1);
    if (levels.empty()) levels = "1";
    const int32_t n = ToInt32(levels);
    if (n <= 0) return NextInSequence(st);
    const int32_t level = st.OperAt(st.CurOper).looplevel - n;
    for (int32_t i = st.CurOper; i <= st.OperCount; ++i) {
      const Oper& later = st.OperAt(i);
      if (later.looplevel == level && later.command == "lend") return i + 1;
    }
    return EndOfProgram(st);
  });
  GoTo(st, next, kTraceLexit);
}

void IfCommand(RunState& st, std::string_view, std::string_view parm) {
  std::string buffer;
  const std::string_view value =
      Condition(st, parm, /*default_true=*/true, &buffer);
  Trace(st, kTraceIf, value);
  if (IsTrue(value)) {
    SetNextOper(st, NextInSequence(st));
    return;
  }
  // Past the else of this block; without an else the scan does not stop
  // at the endif, and the program ends for the current file.
  const int32_t next = Target(st, [&st] {
    const int32_t blockop = st.OperAt(st.CurOper).blockop;
    return PartnerOrEnd(st, ScanUp(st, st.CurOper, "else", blockop), 1);
  });
  SetNextOper(st, next);
}

// else and endif only continue: after a true condition the else branch
// runs as well.
void ElseCommand(RunState& st, std::string_view, std::string_view) {
  GoTo(st, NextInSequence(st), kTraceElse);
}

void EndifCommand(RunState& st, std::string_view, std::string_view) {
  GoTo(st, NextInSequence(st), kTraceEndif);
}

}  // namespace zarn
