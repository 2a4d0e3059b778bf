#include "common/run_state.h"

#include "support/messages.h"
#include "support/number.h"

namespace zarn {

const IniFile& RunState::MessageFile() {
  if (!message_file_) message_file_ = IniFile::Load(fs, MsgFile);
  return *message_file_;
}

void ComposeMessage(RunState& st, std::string_view section,
                    std::string_view code, std::string_view tmpl,
                    std::string_view values) {
  st.MsgText = GetIniValue(st.MessageFile(), st.MsgFile, section, code);
  if (!tmpl.empty()) st.MsgText = FillPlaceholders(st.MsgText, tmpl, values);
}

void Log(RunState& st, std::string_view text) {
  WriteLog(st.fs, st.clock, st.LogFile, text, &st.LogErrNo);
}

void LogMessage(RunState& st, std::string_view section, std::string_view code,
                std::string_view tmpl, std::string_view values) {
  ComposeMessage(st, section, code, tmpl, values);
  Log(st, st.MsgText);
}

int32_t IntVar(const RunState& st, std::string_view name) {
  return ToInt32(st.StrVars.ValueOrEmpty(name));
}

void SetIntVar(RunState& st, std::string_view name, int64_t value) {
  st.StrVars.Set(name, std::to_string(value));
}

std::string ProgramPath(const RunState& st) {
  return st.ZarnFolder + std::string(kPathSepText) + st.ZarnStart;
}

}  // namespace zarn
