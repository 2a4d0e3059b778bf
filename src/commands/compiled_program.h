// The program as a run executes it, worked out once when it is installed:
// for every operation its handler, its parameter cut by both rules of the
// command syntax, the variables those parts name, the plans of the
// expressions it evaluates and, for the control-flow commands, where it
// continues when it does not continue in sequence; for the whole program
// the facts that decide the fast paths.
//
// Everything here depends on the operation list alone (and on the table of
// system variables, fixed by the settings), so it is computed before the
// first file and never changes afterwards: a compiled program is immutable
// and may be shared by any number of threads. What changes while a program
// runs belongs to the machine that runs it (machine.h).
#ifndef ZARN_COMMANDS_COMPILED_PROGRAM_H_
#define ZARN_COMMANDS_COMPILED_PROGRAM_H_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "commands/handlers.h"
#include "eval/evaluator.h"
#include "program/oper.h"
#include "variables/sys_vars.h"
#include "variables/var_name.h"

namespace zarn {

// Name-and-rest cutting (set, setc, cat): the name is the text before the
// first comma, the rest the text after it, both trimmed; both are empty
// when the parameter string has no comma.
struct NameAndRest {
  std::string name;
  std::string rest;
};
NameAndRest CutNameAndRest(std::string_view parm);

// Word list cutting (every other command): word n (from 1) of
// "," + parm + ",", the words being the maximal runs of non-comma
// characters, trimmed. Runs of commas separate like one comma, so "a,,b"
// has two words while "a, ,b" has three, the second empty. A word beyond
// the last one is empty.
std::string ParmWord(std::string_view parm, int32_t n);

// The target of an assignment (set, setc, cat) with side effects of its
// own, its name compared exactly.
enum class TargetKind { kPlain, kFileString, kPos, kErrLogLev };

struct CompiledOper {
  const Oper* oper = nullptr;  // the operation as loaded
  int32_t number = 0;          // its number, from 1
  // The handler of its command; UnknownCommand when the command is none
  // (which is reported when the operation runs).
  CommandHandler handler = nullptr;

  // The parameter cut into words, and the variables and ranges the words
  // name (one name serves both stores).
  std::array<std::string, 4> words;
  std::array<VarName, 4> word_names;
  // The parameter cut into name and rest, and the variable the name names:
  // its kind, and its entry in the table of system variables (or nullptr).
  NameAndRest cut;
  VarName target;
  TargetKind target_kind = TargetKind::kPlain;
  const SysVarEntry* target_entry = nullptr;

  // The plans of the expressions the command may evaluate: its first word
  // (conditions, counts) and its rest (set). Never nullptr.
  const ExpressionPlan* word_plan = nullptr;
  const ExpressionPlan* rest_plan = nullptr;

  // Where a control-flow operation continues when it leaves the sequence
  // (a false loop, lend or if condition, lcont, lexit); 0 for the others.
  int32_t jump = 0;

  // "set *filestring,sr(*filestring,F,R[,N])" whose result no operation
  // can read but through *filestring: a candidate for the replacement
  // within the text's own storage (the run-time conditions are checked by
  // the set command).
  bool sr_in_place = false;

  std::string_view keyword() const { return oper->command; }
};

class CompiledProgram {
 public:
  // The operations (OperList[0] is operation 1) and their compiled forms.
  const std::vector<Oper>& OperList() const { return opers_; }
  int32_t OperCount() const { return static_cast<int32_t>(opers_.size()); }
  const Oper& OperAt(int32_t number) const { return opers_[number - 1]; }
  const CompiledOper& At(int32_t number) const { return ops_[number - 1]; }

  // Whether some operation can read *nctx: counting every match of a
  // search scans to the end of the text, so it is done only then (or in
  // the trace, which the find command checks itself). *nctx is read only
  // by an operation whose text names it (the evaluator resolves names one
  // level only, so a name built at run time is never looked up) or by
  // "wlog =all=".
  bool nctx_observable() const { return nctx_observable_; }
  // The same for the result variables (*funr1, ...) that an expression
  // leaves: when none can be read, the value of an expression's last call
  // is handed over without being stored first.
  bool funr_observable() const { return funr_observable_; }
  // The same for the system variables the run loop writes and reads on
  // every operation: *oper and *n_oper (which the header line of wlog shows
  // as the machine holds them, and "wlog =all=" lists) need not be written
  // when no operation can read them, and *errloglev
  // need not be read again before each operation when no operation names
  // it, for then nothing can change it while the program runs.
  bool oper_observable() const { return oper_observable_; }
  bool n_oper_observable() const { return n_oper_observable_; }
  bool errloglev_named() const { return errloglev_named_; }

  // The plan of an expression evaluated by some operation, or nullptr for
  // a text that no operation evaluates.
  const ExpressionPlan* PlanOf(std::string_view expression) const {
    return plans_.Find(expression);
  }

 private:
  friend std::shared_ptr<const CompiledProgram> CompileProgram(
      std::vector<Oper> opers, const SysVarTable& sys_vars);

  std::vector<Oper> opers_;
  std::vector<CompiledOper> ops_;
  ExpressionPlans plans_;
  bool nctx_observable_ = false;
  bool funr_observable_ = false;
  bool oper_observable_ = false;
  bool n_oper_observable_ = false;
  bool errloglev_named_ = false;
};

// Compiles a checked program. sys_vars is the run's table of system
// variables.
std::shared_ptr<const CompiledProgram> CompileProgram(
    std::vector<Oper> opers, const SysVarTable& sys_vars);

}  // namespace zarn

#endif  // ZARN_COMMANDS_COMPILED_PROGRAM_H_
