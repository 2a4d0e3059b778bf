// Facts about the loaded program that the commands would otherwise work out
// again on every execution of an operation:
//
// - whether the number of matches that a search leaves in *nctx can be
//   observed at all. Counting every match costs a scan to the end of the
//   text on every find; *nctx can only be read by an operation whose text
//   names it (the evaluator resolves names one level only, so a name built
//   at run time is never looked up), by "wlog =all=", or in the trace of
//   trace level 1, which the find command checks itself;
// - the same for the result variables (*funr1, ...) that an expression
//   leaves: when no later operation can read them, an assignment whose
//   value no one else sees may edit *filestring in place;
// - the jump target of each control-flow operation for the case in which
//   it scans the operation list (a false loop or if condition, a false
//   lend condition, lcont, lexit). The scans depend only on the fields that
//   the structure check stored, so each is done once, on first use, exactly
//   as written, and its result is kept;
// - what each operation's parameter is cut into (its words, its name and
//   rest, the variables these name and the plan of its expression) and
//   which handler its command calls: the same on every execution, so each
//   operation works them out on its first execution.
//
// The facts depend only on the operation list, which is fixed once the
// program is loaded; the run state keeps them for the whole run.
#ifndef ZARN_COMMANDS_PROGRAM_FACTS_H_
#define ZARN_COMMANDS_PROGRAM_FACTS_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "commands/command_support.h"
#include "commands/handlers.h"
#include "commands/run_state.h"
#include "eval/evaluator.h"
#include "variables/sys_vars.h"
#include "variables/var_name.h"

namespace zarn {

// The parameter of one operation, cut by both rules of the command syntax.
struct OperParts {
  std::string parm;                  // the parameter these parts come from
  std::array<std::string, 4> words;  // ParmWord(parm, 1) .. (parm, 4)
  NameAndRest cut;                   // CutNameAndRest(parm)
  // The string variables and the ranges the words name, and the string
  // variable the name of name-and-rest names.
  std::array<VarName, 4> word_vars;
  std::array<VarName, 4> word_ranges;
  VarName target;
  // The system-variable entry of the target (SysVarTable::Find), found
  // once for a table of sys_count entries (-1: not yet).
  mutable const SysVarEntry* sys_entry = nullptr;
  mutable int32_t sys_count = -1;
  // The plan of the expression evaluated last from these parts (a word or
  // the rest), and that expression.
  mutable const ExpressionPlan* plan = nullptr;
  mutable std::string_view plan_text;
};

class ProgramFacts {
 public:
  // The parts of parm, the parameter of the current operation, cut on the
  // operation's first execution (cut afresh when parm is not the current
  // operation's parameter).
  const OperParts& PartsOf(const RunState& st, std::string_view parm) {
    const auto n = static_cast<size_t>(st.CurOper);
    if (n < parts_known_.size() && parts_known_[n] != 0) {
      const std::string& own = st.OperList[n - 1].parm;
      if (parm.data() == own.data() && parm.size() == own.size()) {
        return parts_[n];
      }
    }
    return CutParts(st, parm);
  }

  // The handler of the current operation's command, or nullptr for an
  // unrecognised command; found through lookup(command) once.
  template <typename Lookup>
  CommandHandler HandlerOf(const RunState& st, Lookup lookup) {
    const auto n = static_cast<size_t>(st.CurOper);
    if (n >= handlers_.size()) return lookup(st.OperAt(st.CurOper).command);
    if (handler_known_[n] == 0) {
      handlers_[n] = lookup(st.OperAt(st.CurOper).command);
      handler_known_[n] = 1;
    }
    return handlers_[n];
  }

  // True when some operation can read *nctx.
  bool NctxObservable(const RunState& st);
  // True when some operation can read a result variable (*funr1, ...) that
  // an earlier operation's expression left.
  bool FunrObservable(const RunState& st) {
    if (funr_observable_ < 0) funr_observable_ = FindFunrReaders(st);
    return funr_observable_ == 1;
  }

  // The remembered jump target of operation number, or 0 when not known
  // yet (a target is always at least 1).
  int32_t KnownTarget(int32_t number) const;
  void RememberTarget(int32_t number, int32_t target);

 private:
  friend ProgramFacts& FactsOf(RunState& st);
  friend ProgramFacts& NewFactsOf(RunState& st);

  const OperParts& CutParts(const RunState& st, std::string_view parm);
  static int FindFunrReaders(const RunState& st);

  const Oper* opers_ = nullptr;  // the operation list the facts describe
  int32_t oper_count_ = 0;
  int nctx_observable_ = -1;      // -1 unknown, else 0 or 1
  int funr_observable_ = -1;      // the same
  std::vector<int32_t> targets_;  // index = operation number
  std::vector<OperParts> parts_;  // index = operation number
  std::vector<char> parts_known_;
  std::vector<CommandHandler> handlers_;  // index = operation number
  std::vector<char> handler_known_;
  OperParts scratch_;  // the parts of a parameter of no operation
};

// Makes the facts of st's program anew.
ProgramFacts& NewFactsOf(RunState& st);

// The facts of the program of st, created on first use (and made anew if
// the operation list was replaced).
inline ProgramFacts& FactsOf(RunState& st) {
  ProgramFacts* facts = st.program_facts.get();
  if (facts != nullptr && facts->opers_ == st.OperList.data() &&
      facts->oper_count_ == st.OperCount) {
    return *facts;
  }
  return NewFactsOf(st);
}

}  // namespace zarn

#endif  // ZARN_COMMANDS_PROGRAM_FACTS_H_
