// The operation dispatcher: executes one operation of the program through
// the table of command keywords.
#ifndef ZARN_COMMANDS_DISPATCHER_H_
#define ZARN_COMMANDS_DISPATCHER_H_

#include <string_view>

#include "commands/machine.h"

namespace zarn {

// Executes operation m.CurOper: sets *oper, refreshes ErrLogLevel from
// *errloglev, calls the handler of the command, and logs ZARNCMD001LE after
// a failed operation.
void DispatchOperation(Machine& m);

// Runs the program once on the machine's file, from operation 1, until it
// ends, fails, reaches the step limit or a signal is noted.
void RunOperations(Machine& m);

// Whether the dispatcher has a handler for the (lower-case) command.
bool IsCommandKeyword(std::string_view command);

}  // namespace zarn

#endif  // ZARN_COMMANDS_DISPATCHER_H_
