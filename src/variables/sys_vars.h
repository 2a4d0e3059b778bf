// The system variables: their catalogue, their creation at start-up and the
// classification that protects most of them from assignment.
#ifndef ZARN_VARIABLES_SYS_VARS_H_
#define ZARN_VARIABLES_SYS_VARS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "variables/str_vars.h"

namespace zarn {

struct SysVarEntry {
  std::string name;
  bool writable = false;
};

// SysVarTable: the registered system variable names in catalogue order,
// with an index on the upper-cased name.
class SysVarTable {
 public:
  void Add(std::string name, bool writable);
  // The first entry whose name equals name ignoring case, or nullptr.
  const SysVarEntry* Find(std::string_view name) const;
  int32_t SysVarCount() const { return static_cast<int32_t>(entries_.size()); }
  const SysVarEntry& At(int32_t pos) const { return entries_[pos - 1]; }

 private:
  std::vector<SysVarEntry> entries_;
  std::unordered_map<std::string, size_t> index_;
};

// The run facts InitSysVars stores.
struct SysVarSettings {
  std::string app;  // folder of the executable, no trailing separator
  std::string data_folder;
  std::string zarn_folder;
  std::string zarn_prog;
  std::string log_file;
  int32_t ParmCount = 0;
};

// Registers the catalogue in table and assigns the initial values, in
// catalogue order; *parm1..*parmN are registered only (the parameter check
// has assigned them).
void InitSysVars(StrVarStore& vars, SysVarTable& table,
                 const SysVarSettings& settings);

// 0 = no variable stored under exactly this name; 1 = ordinary variable;
// 2 = protected system variable; 3 = writable system variable.
int32_t SysVarKind(const StrVarStore& vars, const SysVarTable& table,
                   std::string_view name);
// The same for a name whose entry (table.Find(name)) is known already.
inline int32_t SysVarKind(const StrVarStore& vars, const SysVarEntry* entry,
                          const VarName& name) {
  if (vars.FindStrVar(name) == 0) return 0;
  if (entry == nullptr) return 1;
  return entry->writable ? 3 : 2;
}

}  // namespace zarn

#endif  // ZARN_VARIABLES_SYS_VARS_H_
