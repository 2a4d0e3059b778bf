#include "variables/sys_vars.h"

#include "support/text.h"

namespace zarn {

void SysVarTable::Add(std::string name, bool writable) {
  std::string key = AsciiUpper(name);
  index_.emplace(std::move(key), entries_.size());  // first entry wins
  entries_.push_back(SysVarEntry{std::move(name), writable});
}

const SysVarEntry* SysVarTable::Find(std::string_view name) const {
  auto it = index_.find(AsciiUpper(name));
  return it == index_.end() ? nullptr : &entries_[it->second];
}

void InitSysVars(StrVarStore& vars, SysVarTable& table,
                 const SysVarSettings& s) {
  auto set = [&](const char* name, std::string value, bool writable) {
    table.Add(name, writable);
    vars.Set(name, std::move(value));
  };
  set("*comma", ",", false);
  set("*blank", " ", false);
  set("*null", "", false);
  set("*lb", "(", false);
  set("*rb", ")", false);
  set("*crlf", "\r\n", false);
  set("*app", s.app, false);
  set("*file", "", false);
  set("*filename", "", false);
  set("*fileext", "", false);
  set("*errloglev", "0", true);
  for (int32_t i = 1; i <= s.ParmCount; ++i) {
    table.Add("*parm" + std::to_string(i), false);
  }
  set("*allchanges", "0", false);
  set("*allfiles", "0", false);
  set("*changes", "0", false);
  set("*pos", "1", true);
  set("*filestring", "", true);
  set("*n_oper", "1", false);
  set("*datafolder", s.data_folder, false);
  set("*zarnfolder", s.zarn_folder, false);
  set("*zarnprog", s.zarn_prog, false);
  set("*logfile", s.log_file, false);
}

int32_t SysVarKind(const StrVarStore& vars, const SysVarTable& table,
                   std::string_view name) {
  if (vars.FindStrVar(name) == 0) return 0;
  const SysVarEntry* entry = table.Find(name);
  if (entry == nullptr) return 1;
  return entry->writable ? 3 : 2;
}

}  // namespace zarn
