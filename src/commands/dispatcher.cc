#include "commands/dispatcher.h"

#include <array>
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

void DispatchOperation(Machine& m) {
  const CompiledProgram& program = m.Program();
  const CompiledOper& compiled = program.At(m.CurOper);
  const Oper& op = *compiled.oper;
  // The compiled program holds the text for the whole run.
  if (program.oper_observable()) m.StrVars.SetBorrowed(m.names.oper, op.text);
  // Read before the handler runs: an assignment of *errloglev takes effect
  // from the next operation on. (The run loop reads it once when no
  // operation names it.)
  if (program.errloglev_named()) {
    m.ErrLogLevel = ToInt32(m.StrVars.ValueOrEmpty(m.names.errloglev));
  }

  if (compiled.handler != nullptr) {
    compiled.handler(m, compiled);
  } else {
    ReportError(m, "ZARNCMD004CT", op.command);
  }

  if (m.ErrFlag != ErrorState::kNone) {
    const std::string file = EscapeName(m.StrVars.ValueOrEmpty("*file"));
    LogMessage(m, kCommandsSection, "ZARNCMD001LE", "|{1}|{2}|{3}|",
               MsgValues({file, std::to_string(m.CurOper), op.text}));
  }
}

}  // namespace zarn
