// The command handlers. Each receives the command keyword and the parameter
// string of the operation st.CurOper and reports only through variables,
// ErrFlag and the log. A handler that succeeds writes *n_oper; one that sets
// ErrFlag to kStopRun does not (the run loop stops on the flag).
#ifndef ZARN_COMMANDS_HANDLERS_H_
#define ZARN_COMMANDS_HANDLERS_H_

#include <string_view>

#include "commands/run_state.h"

namespace zarn {

using CommandHandler = void (*)(RunState& st, std::string_view keyword,
                                std::string_view parm);

// assign.cc
void SetCommand(RunState& st, std::string_view keyword, std::string_view parm);
void SetcCommand(RunState& st, std::string_view keyword, std::string_view parm);
void CatCommand(RunState& st, std::string_view keyword, std::string_view parm);

// search.cc: "find" and "findnoup" ignore letter case, "findup" does not.
void FindCommand(RunState& st, std::string_view keyword, std::string_view parm);
void FindUpCommand(RunState& st, std::string_view keyword,
                   std::string_view parm);

// replace.cc
void RepCommand(RunState& st, std::string_view keyword, std::string_view parm);

// position.cc
void GbackCommand(RunState& st, std::string_view keyword,
                  std::string_view parm);
void GforwCommand(RunState& st, std::string_view keyword,
                  std::string_view parm);
void GbegCommand(RunState& st, std::string_view keyword, std::string_view parm);
void GendCommand(RunState& st, std::string_view keyword, std::string_view parm);

// wlog.cc
void WlogCommand(RunState& st, std::string_view keyword, std::string_view parm);

// control.cc
void LoopCommand(RunState& st, std::string_view keyword, std::string_view parm);
void LendCommand(RunState& st, std::string_view keyword, std::string_view parm);
void LexitCommand(RunState& st, std::string_view keyword,
                  std::string_view parm);
void LcontCommand(RunState& st, std::string_view keyword,
                  std::string_view parm);
void IfCommand(RunState& st, std::string_view keyword, std::string_view parm);
void ElseCommand(RunState& st, std::string_view keyword, std::string_view parm);
void EndifCommand(RunState& st, std::string_view keyword,
                  std::string_view parm);

}  // namespace zarn

#endif  // ZARN_COMMANDS_HANDLERS_H_
