#include "commands/program_facts.h"

#include <string_view>

#include "commands/command_support.h"
#include "support/text.h"

namespace zarn {

namespace {

// The facts of the program run in progress. The run state is the natural
// owner, but it knows nothing of the commands; one entry suffices, since
// one run state executes operations at a time. The entry names the state
// and the operation list it was made for, and the number the next dispatch
// must carry to continue the same program run.
struct FactsEntry {
  bool valid = false;
  const RunState* owner = nullptr;
  const Oper* opers = nullptr;
  size_t oper_list_size = 0;
  int32_t oper_count = 0;
  int32_t expected_next = 0;
  ProgramFacts facts;
};

FactsEntry& Entry() {
  thread_local FactsEntry entry;
  return entry;
}

bool MadeFor(const FactsEntry& e, const RunState& st) {
  return e.valid && e.owner == &st && e.opers == st.OperList.data() &&
         e.oper_list_size == st.OperList.size() && e.oper_count == st.OperCount;
}

bool MentionsNctx(std::string_view text) {
  constexpr std::string_view kNctx = "*NCTX";
  if (text.size() < kNctx.size()) return false;
  for (size_t i = 0; i + kNctx.size() <= text.size(); ++i) {
    if (text[i] != '*') continue;
    if (EqualsIgnoreCase(text.substr(i, kNctx.size()), kNctx)) return true;
  }
  return false;
}

}  // namespace

void ProgramFacts::Reset(int32_t oper_count) {
  nctx_observable_ = -1;
  targets_.assign(static_cast<size_t>(oper_count < 0 ? 0 : oper_count) + 1, 0);
}

bool ProgramFacts::NctxObservable(const RunState& st) {
  if (nctx_observable_ < 0) {
    nctx_observable_ = 0;
    for (const Oper& op : st.OperList) {
      if (MentionsNctx(op.text) ||
          (op.command == "wlog" && ParmWord(op.parm, 1) == "=all=")) {
        nctx_observable_ = 1;
        break;
      }
    }
  }
  return nctx_observable_ == 1;
}

int32_t ProgramFacts::KnownTarget(int32_t number) const {
  if (number < 1 || static_cast<size_t>(number) >= targets_.size()) return 0;
  return targets_[static_cast<size_t>(number)];
}

void ProgramFacts::RememberTarget(int32_t number, int32_t target) {
  if (number < 1 || static_cast<size_t>(number) >= targets_.size()) return;
  targets_[static_cast<size_t>(number)] = target;
}

void BeginOperationFacts(const RunState& st) {
  FactsEntry& e = Entry();
  if (!MadeFor(e, st) || st.CurOper != e.expected_next) e.valid = false;
}

void EndOperationFacts(const RunState& st) {
  FactsEntry& e = Entry();
  if (!MadeFor(e, st)) return;
  e.expected_next = st.ErrFlag > 0 ? 0 : IntVar(st, "*n_oper");
}

ProgramFacts& FactsOf(RunState& st) {
  FactsEntry& e = Entry();
  if (!MadeFor(e, st)) {
    e.valid = true;
    e.owner = &st;
    e.opers = st.OperList.data();
    e.oper_list_size = st.OperList.size();
    e.oper_count = st.OperCount;
    e.expected_next = 0;
    e.facts.Reset(st.OperCount);
  }
  return e.facts;
}

}  // namespace zarn
