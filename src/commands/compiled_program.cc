#include "commands/compiled_program.h"

#include <unordered_set>

#include "support/text.h"

namespace zarn {

NameAndRest CutNameAndRest(std::string_view parm) {
  return NameAndRest{Trimmed(LeftOf(parm, ",")), Trimmed(RightOf(parm, ","))};
}

std::string ParmWord(std::string_view parm, int32_t n) {
  std::string list;
  list.reserve(parm.size() + 2);
  list.push_back(',');
  list.append(parm);
  list.push_back(',');
  return Trimmed(GetWord(list, ",", n));
}

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
bool AnyOperationReads(const std::vector<CompiledOper>& ops,
                       std::string_view prefix) {
  for (const CompiledOper& op : ops) {
    if (Mentions(op.oper->text, prefix) ||
        (op.keyword() == "wlog" && op.words[0] == "=all=")) {
      return true;
    }
  }
  return false;
}

// The names under which the program's operations can store a string
// variable: the targets of set, setc and cat, and the variable rep creates
// when it is missing. (The system's own variables begin with "*".)
std::unordered_set<std::string> AssignableNames(
    const std::vector<CompiledOper>& ops) {
  std::unordered_set<std::string> names;
  for (const CompiledOper& op : ops) {
    const std::string_view keyword = op.keyword();
    if (keyword == "set" || keyword == "setc" || keyword == "cat") {
      names.insert(op.cut.name);
    } else if (keyword == "rep") {
      names.insert(op.words[1]);
    }
  }
  return names;
}

TargetKind KindOf(std::string_view name) {
  if (name == kFileStringName) return TargetKind::kFileString;
  if (name == "*pos") return TargetKind::kPos;
  if (name == "*errloglev") return TargetKind::kErrLogLev;
  return TargetKind::kPlain;
}

}  // namespace

std::shared_ptr<const CompiledProgram> CompileProgram(
    std::vector<Oper> opers, const SysVarTable& sys_vars) {
  auto program = std::make_shared<CompiledProgram>();
  program->opers_ = std::move(opers);
  const std::vector<Oper>& list = program->opers_;
  std::vector<CompiledOper>& ops = program->ops_;
  ops.resize(list.size());
  for (size_t i = 0; i < list.size(); ++i) {
    CompiledOper& op = ops[i];
    op.oper = &list[i];
    op.number = static_cast<int32_t>(i + 1);
    const CommandRow* row = FindCommandRow(op.oper->command);
    op.handler = row == nullptr ? UnknownCommand : row->handler;
    const std::string& parm = op.oper->parm;
    for (int32_t w = 0; w < 4; ++w) {
      op.words[w] = ParmWord(parm, w + 1);
      op.word_names[w] = VarName(op.words[w]);
    }
    op.cut = CutNameAndRest(parm);
    op.target = VarName(op.cut.name);
    op.target_kind = KindOf(op.cut.name);
    op.target_entry = sys_vars.Find(op.cut.name);
    if (row != nullptr && row->jump != nullptr) {
      op.jump = row->jump(list, op.number);
    }
  }
  program->nctx_observable_ = AnyOperationReads(ops, "*NCTX");
  program->funr_observable_ = AnyOperationReads(ops, "*FUNR");
  // wlog shows *oper and *n_oper in its header line without reading the
  // variables (see WlogCommand); it reads them only when it lists every
  // variable.
  bool lists_all = false;
  bool names_oper = false;
  bool names_n_oper = false;
  for (const CompiledOper& op : ops) {
    lists_all = lists_all || (op.keyword() == "wlog" && op.words[0] == "=all=");
    names_oper = names_oper || Mentions(op.oper->text, "*OPER");
    names_n_oper = names_n_oper || Mentions(op.oper->text, "*N_OPER");
    program->errloglev_named_ =
        program->errloglev_named_ || Mentions(op.oper->text, "*ERRLOGLEV");
  }
  program->oper_observable_ = lists_all || names_oper;
  program->n_oper_observable_ = lists_all || names_n_oper;
  ExpressionPlans& plans = program->plans_;
  plans.SetAssignable(AssignableNames(ops));
  for (CompiledOper& op : ops) {
    op.word_plan = &plans.PlanOf(op.words[0]);
    op.rest_plan = &plans.PlanOf(op.cut.rest);
    op.sr_in_place =
        op.keyword() == "set" && op.target_kind == TargetKind::kFileString &&
        !program->funr_observable_ && IsSrOfFileText(*op.rest_plan);
  }
  return program;
}

}  // namespace zarn
