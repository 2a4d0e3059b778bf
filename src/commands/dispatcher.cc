#include "commands/dispatcher.h"

#include <array>
#include <string>
#include <string_view>

#include "commands/command_support.h"
#include "commands/handlers.h"
#include "commands/program_facts.h"
#include "support/messages.h"
#include "support/number.h"
#include "support/text.h"

namespace zarn {

namespace {

struct CommandRow {
  std::string_view keyword;
  CommandHandler handler;
};

// One row per command, compared in this order by exact equality with the
// operation's command (which the structure check has lower-cased).
constexpr std::array<CommandRow, 19> kCommands = {{
    {"set", SetCommand},       {"setc", SetcCommand},
    {"cat", CatCommand},       {"find", FindCommand},
    {"findnoup", FindCommand}, {"findup", FindUpCommand},
    {"rep", RepCommand},       {"gback", GbackCommand},
    {"gforw", GforwCommand},   {"gbeg", GbegCommand},
    {"gend", GendCommand},     {"wlog", WlogCommand},
    {"loop", LoopCommand},     {"lend", LendCommand},
    {"lexit", LexitCommand},   {"lcont", LcontCommand},
    {"if", IfCommand},         {"else", ElseCommand},
    {"endif", EndifCommand},
}};

CommandHandler HandlerOf(std::string_view command) {
  for (const CommandRow& row : kCommands) {
    if (row.keyword == command) return row.handler;
  }
  return nullptr;
}

}  // namespace

bool IsCommandKeyword(std::string_view command) {
  return HandlerOf(command) != nullptr;
}

void DispatchOperation(RunState& st) {
  const Oper& op = st.OperAt(st.CurOper);
  st.StrVars.Assign(st.names.oper, op.text);
  // Read before the handler runs: an assignment of *errloglev takes effect
  // from the next operation on.
  st.ErrLogLevel = ToInt32(st.StrVars.ValueOrEmpty(st.names.errloglev));

  if (CommandHandler handler = FactsOf(st).HandlerOf(st, HandlerOf)) {
    handler(st, op.command, op.parm);
  } else {
    ReportError(st, "ZARNCMD004CT", op.command);
  }

  if (st.ErrFlag != ErrorState::kNone) {
    const std::string file = EscapeName(st.StrVars.ValueOrEmpty("*file"));
    LogMessage(st, kCommandsSection, "ZARNCMD001LE", "|{1}|{2}|{3}|",
               MsgValues({file, std::to_string(st.CurOper), op.text}));
  }
}

}  // namespace zarn
