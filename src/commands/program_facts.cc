#include "commands/program_facts.h"

#include <memory>
#include <string_view>

#include "commands/command_support.h"
#include "support/text.h"

namespace zarn {

namespace {

// Whether text holds name (upper case, beginning with "*") in any letter
// case.
bool Mentions(std::string_view text, std::string_view name) {
  if (text.size() < name.size()) return false;
  for (size_t i = 0; i + name.size() <= text.size(); ++i) {
    if (text[i] != '*') continue;
    if (EqualsIgnoreCase(text.substr(i, name.size()), name)) return true;
  }
  return false;
}

// Whether some operation names a variable beginning with prefix (upper
// case, in any letter case in the program) or lists every variable.
bool AnyOperationReads(const RunState& st, std::string_view prefix) {
  for (const Oper& op : st.OperList) {
    if (Mentions(op.text, prefix) ||
        (op.command == "wlog" && ParmWord(op.parm, 1) == "=all=")) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool ProgramFacts::NctxObservable(const RunState& st) {
  if (nctx_observable_ < 0) {
    nctx_observable_ = AnyOperationReads(st, "*NCTX") ? 1 : 0;
  }
  return nctx_observable_ == 1;
}

int ProgramFacts::FindFunrReaders(const RunState& st) {
  return AnyOperationReads(st, "*FUNR") ? 1 : 0;
}

namespace {

void Cut(std::string_view parm, OperParts* parts) {
  parts->parm.assign(parm);
  for (int32_t i = 0; i < 4; ++i) {
    parts->words[i] = ParmWord(parm, i + 1);
    parts->word_vars[i] = VarName(parts->words[i]);
    parts->word_ranges[i] = VarName(parts->words[i]);
  }
  parts->cut = CutNameAndRest(parm);
  parts->target = VarName(parts->cut.name);
  parts->sys_entry = nullptr;
  parts->sys_count = -1;
  parts->plan = nullptr;
  parts->plan_text = std::string_view();
}

}  // namespace

const OperParts& ProgramFacts::CutParts(const RunState& st,
                                        std::string_view parm) {
  const auto n = static_cast<size_t>(st.CurOper);
  // The dispatcher hands over the operation's own text; anything else is
  // cut on its own.
  if (n < 1 || n >= parts_.size() || st.OperAt(st.CurOper).parm != parm) {
    Cut(parm, &scratch_);
    return scratch_;
  }
  if (parts_known_[n] == 0) {
    Cut(st.OperAt(st.CurOper).parm, &parts_[n]);
    parts_known_[n] = 1;
  }
  return parts_[n];
}

int32_t ProgramFacts::KnownTarget(int32_t number) const {
  if (number < 1 || static_cast<size_t>(number) >= targets_.size()) return 0;
  return targets_[static_cast<size_t>(number)];
}

void ProgramFacts::RememberTarget(int32_t number, int32_t target) {
  if (number < 1 || static_cast<size_t>(number) >= targets_.size()) return;
  targets_[static_cast<size_t>(number)] = target;
}

ProgramFacts& NewFactsOf(RunState& st) {
  st.program_facts = std::make_shared<ProgramFacts>();
  ProgramFacts* facts = st.program_facts.get();
  facts->opers_ = st.OperList.data();
  facts->oper_count_ = st.OperCount;
  const size_t slots =
      static_cast<size_t>(st.OperCount < 0 ? 0 : st.OperCount) + 1;
  facts->targets_.assign(slots, 0);
  facts->parts_.resize(slots);
  facts->parts_known_.assign(slots, 0);
  facts->handlers_.assign(slots, nullptr);
  facts->handler_known_.assign(slots, 0);
  return *facts;
}

}  // namespace zarn
