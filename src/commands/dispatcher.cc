#include "commands/dispatcher.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "commands/command_support.h"
#include "commands/compiled_program.h"
#include "commands/handlers.h"
#include "support/messages.h"
#include "support/number.h"
#include "support/text.h"

namespace zarn {

namespace {

// One row per command, compared in this order by exact equality with the
// operation's command (which the structure check has lower-cased).
constexpr std::array<CommandRow, 19> kCommands = {{
    {"set", SetCommand},
    {"setc", SetcCommand},
    {"cat", CatCommand},
    {"find", FindCommand},
    {"findnoup", FindCommand},
    {"findup", FindUpCommand},
    {"rep", RepCommand},
    {"gback", GbackCommand},
    {"gforw", GforwCommand},
    {"gbeg", GbegCommand},
    {"gend", GendCommand},
    {"wlog", WlogCommand},
    {"loop", LoopCommand, LoopJump},
    {"lend", LendCommand, LendJump},
    {"lexit", LexitCommand, LexitJump},
    {"lcont", LcontCommand, LcontJump},
    {"if", IfCommand, IfJump},
    {"else", ElseCommand},
    {"endif", EndifCommand},
}};

}  // namespace

const CommandRow* FindCommandRow(std::string_view keyword) {
  for (const CommandRow& row : kCommands) {
    if (row.keyword == keyword) return &row;
  }
  return nullptr;
}

bool IsCommandKeyword(std::string_view command) {
  return FindCommandRow(command) != nullptr;
}

namespace {

// The program ran out of steps on the current file (--max-steps): an
// endless loop, most likely, with the file half edited. The file is left
// as it was read (no change counts) and the run stops.
void StepLimitReached(Machine& m) {
  LogMessage(m, "ProcessFile", "ZARNPFI013CT", "/{1}/{2}/",
             MsgValues({EscapeName(m.StrVars.ValueOrEmpty("*file")),
                        std::to_string(m.step_limit)}));
  m.StrVars.Set("*changes", "0");
  m.ErrFlag = ErrorState::kStopRun;
}

}  // namespace

namespace {

// The operation failed: ZARNCMD001LE names the file, its number and its
// text. Kept apart, so that the operation loop stays small.
[[gnu::cold, gnu::noinline]] void LogFailedOperation(Machine& m,
                                                     const Oper& op) {
  const std::string file = EscapeName(m.StrVars.ValueOrEmpty("*file"));
  LogMessage(m, kCommandsSection, "ZARNCMD001LE", "|{1}|{2}|{3}|",
             MsgValues({file, std::to_string(m.CurOper), op.text}));
}

// The variables the run loop keeps up to date before each operation, when
// some operation can see them (see CompiledProgram::oper_observable and
// errloglev_named).
[[gnu::noinline]] void BeforeOperation(Machine& m, const Oper& op,
                                       bool oper_observable,
                                       bool errloglev_named) {
  // The compiled program holds the text for the whole run.
  if (oper_observable) m.StrVars.SetBorrowed(m.names.oper, op.text);
  // Read before the handler runs: an assignment of *errloglev takes effect
  // from the next operation on. (The run loop reads it once when no
  // operation names it.)
  if (errloglev_named) {
    m.ErrLogLevel = ToInt32(m.StrVars.ValueOrEmpty(m.names.errloglev));
  }
}

// What the run loop reads once from the program.
struct LoopFacts {
  bool oper_observable = false;
  bool errloglev_named = false;
  bool before_operation = false;  // either of them
};

LoopFacts FactsOf(const CompiledProgram& program) {
  LoopFacts facts;
  facts.oper_observable = program.oper_observable();
  facts.errloglev_named = program.errloglev_named();
  facts.before_operation = facts.oper_observable || facts.errloglev_named;
  return facts;
}

// Executes operation m.CurOper as DispatchOperation says.
inline void Execute(Machine& m, const CompiledOper& compiled,
                    const LoopFacts& facts) {
  if (facts.before_operation) {
    BeforeOperation(m, *compiled.oper, facts.oper_observable,
                    facts.errloglev_named);
  }
  compiled.handler(m, compiled);
  if (m.ErrFlag != ErrorState::kNone) LogFailedOperation(m, *compiled.oper);
}

}  // namespace

void UnknownCommand(Machine& m, const CompiledOper& op) {
  ReportError(m, "ZARNCMD004CT", op.oper->command);
}

void DispatchOperation(Machine& m) {
  const CompiledProgram& program = m.Program();
  Execute(m, program.At(m.CurOper), FactsOf(program));
}

void RunOperations(Machine& m) {
  const CompiledProgram& program = m.Program();
  // Nothing can change *errloglev while the program runs: read it once.
  if (!program.errloglev_named()) {
    m.ErrLogLevel = ToInt32(m.StrVars.ValueOrEmpty(m.names.errloglev));
  }
  const bool n_oper_held = !program.n_oper_observable();
  const LoopFacts facts = FactsOf(program);
  // A signal note and a step limit are given before the run.
  const std::atomic<int>* const interrupt = m.interrupt;
  const int64_t step_limit = m.step_limit;
  m.next_oper_named = false;
  m.CurOper = 1;
  int64_t steps = 0;
  const int32_t count = program.OperCount();
  while (m.CurOper <= count) {
    // A signal ends the program for this file between two operations.
    if (interrupt != nullptr &&
        interrupt->load(std::memory_order_relaxed) != 0) {
      break;
    }
    if (step_limit > 0 && ++steps > step_limit) {
      StepLimitReached(m);
      break;
    }
    Execute(m, program.At(m.CurOper), facts);
    if (m.ErrFlag != ErrorState::kNone) {
      m.CurOper = 999999999;
    } else {
      // The next operation as a number of the system's 32-bit kind, as
      // reading *n_oper gives it (the operations name no other).
      m.CurOper = n_oper_held ? m.next_oper : IntVar(m, m.names.n_oper);
      // Commands only name operations from 1 on; anything else could only
      // come from a damaged *n_oper and ends the program for this file.
      if (m.CurOper < 1) break;
    }
  }
  // *n_oper ends as the last operation named it.
  if (n_oper_held && m.next_oper_named) {
    SetIntVar(m, m.names.n_oper, m.next_oper);
  }
}

}  // namespace zarn
