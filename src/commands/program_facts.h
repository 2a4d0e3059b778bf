// Facts about the loaded program that the commands would otherwise work out
// again on every execution of an operation:
//
// - whether the number of matches that a search leaves in *nctx can be
//   observed at all. Counting every match costs a scan to the end of the
//   text on every find; *nctx can only be read by an operation whose text
//   names it (the evaluator resolves names one level only, so a name built
//   at run time is never looked up), by "wlog =all=", or in the trace of
//   trace level 1, which the find command checks itself;
// - the jump target of each control-flow operation for the case in which
//   it scans the operation list (a false loop or if condition, a false
//   lend condition, lcont, lexit). The scans depend only on the fields that
//   the structure check stored, so each is done once, on first use, exactly
//   as written, and its result is kept.
//
// The facts depend only on the operation list, which is fixed once the
// program is loaded; the run state keeps them for the whole run.
#ifndef ZARN_COMMANDS_PROGRAM_FACTS_H_
#define ZARN_COMMANDS_PROGRAM_FACTS_H_

#include <cstdint>
#include <vector>

#include "common/run_state.h"

namespace zarn {

class ProgramFacts {
 public:
  // True when some operation can read *nctx.
  bool NctxObservable(const RunState& st);

  // The remembered jump target of operation number, or 0 when not known
  // yet (a target is always at least 1).
  int32_t KnownTarget(int32_t number) const;
  void RememberTarget(int32_t number, int32_t target);

 private:
  friend ProgramFacts& FactsOf(RunState& st);

  const Oper* opers_ = nullptr;   // the operation list the facts describe
  int32_t oper_count_ = 0;
  int nctx_observable_ = -1;      // -1 unknown, else 0 or 1
  std::vector<int32_t> targets_;  // index = operation number
};

// The facts of the program of st, created on first use (and made anew if
// the operation list was replaced).
ProgramFacts& FactsOf(RunState& st);

}  // namespace zarn

#endif  // ZARN_COMMANDS_PROGRAM_FACTS_H_
