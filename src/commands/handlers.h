// The command handlers. Each receives the compiled operation m.CurOper
// (its keyword, its parameter cut and its plans) and reports only through
// variables, ErrFlag and the log. A handler that succeeds writes *n_oper;
// one that sets ErrFlag to kStopRun does not (the run loop stops on the
// flag).
#ifndef ZARN_COMMANDS_HANDLERS_H_
#define ZARN_COMMANDS_HANDLERS_H_

#include <cstdint>
#include <string_view>
#include <vector>

#include "commands/machine.h"
#include "program/oper.h"

namespace zarn {

struct CompiledOper;  // compiled_program.h

using CommandHandler = void (*)(Machine& m, const CompiledOper& op);

// Where operation `number` of a control-flow command continues when it
// leaves the sequence; worked out from the operation list alone.
using JumpFinder = int32_t (*)(const std::vector<Oper>& opers, int32_t number);

// One row of the command table (dispatcher.cc): the keyword, as the
// structure check lower-cases it, its handler and, for the control-flow
// commands, how its jump target is found.
struct CommandRow {
  std::string_view keyword;
  CommandHandler handler;
  JumpFinder jump = nullptr;
};
// The row of a command keyword, or nullptr when it is none.
const CommandRow* FindCommandRow(std::string_view keyword);

// assign.cc
void SetCommand(Machine& m, const CompiledOper& op);
void SetcCommand(Machine& m, const CompiledOper& op);
void CatCommand(Machine& m, const CompiledOper& op);

// search.cc: "find" and "findnoup" ignore letter case, "findup" does not.
void FindCommand(Machine& m, const CompiledOper& op);
void FindUpCommand(Machine& m, const CompiledOper& op);

// replace.cc
void RepCommand(Machine& m, const CompiledOper& op);

// position.cc
void GbackCommand(Machine& m, const CompiledOper& op);
void GforwCommand(Machine& m, const CompiledOper& op);
void GbegCommand(Machine& m, const CompiledOper& op);
void GendCommand(Machine& m, const CompiledOper& op);

// wlog.cc
void WlogCommand(Machine& m, const CompiledOper& op);

// control.cc
void LoopCommand(Machine& m, const CompiledOper& op);
void LendCommand(Machine& m, const CompiledOper& op);
void LexitCommand(Machine& m, const CompiledOper& op);
void LcontCommand(Machine& m, const CompiledOper& op);
int32_t LoopJump(const std::vector<Oper>& opers, int32_t number);
int32_t LendJump(const std::vector<Oper>& opers, int32_t number);
int32_t LexitJump(const std::vector<Oper>& opers, int32_t number);
int32_t LcontJump(const std::vector<Oper>& opers, int32_t number);
int32_t IfJump(const std::vector<Oper>& opers, int32_t number);
void IfCommand(Machine& m, const CompiledOper& op);
void ElseCommand(Machine& m, const CompiledOper& op);
void EndifCommand(Machine& m, const CompiledOper& op);

// The handler of an operation whose command is none: it reports the
// unknown command (dispatcher.cc).
void UnknownCommand(Machine& m, const CompiledOper& op);

}  // namespace zarn

#endif  // ZARN_COMMANDS_HANDLERS_H_
