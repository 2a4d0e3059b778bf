#include "commands/run_state.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "commands/compiled_program.h"
#include "program/program.h"
#include "support/messages.h"
#include "support/number.h"
#include "support/text.h"

namespace zarn {

RunState::RunState(FileSystem& file_system, Clock& run_clock)
    : fs(file_system),
      clock(run_clock),
      program(CompileProgram({}, SysVarTable())),
      machine(*this, *program) {}

RunState::~RunState() = default;

void RunState::LogLine(std::string_view text) { Log(*this, text); }

void RunState::Notice(std::string_view text) {
  if (notice) notice(text);
}

std::string RunState::MessageText(std::string_view section,
                                  std::string_view code, std::string_view tmpl,
                                  std::string_view values) {
  return zarn::MessageText(*this, section, code, tmpl, values);
}

void RunState::ListProgramOnce() {
  if (ListingDone) return;
  for (const std::string& line :
       ProgramListing(Program().OperList(), ProgramPath(*this))) {
    LogTo(*this, LogFile, line, &LogErrNo);
  }
  ListingDone = true;
}

const IniFile& RunState::MessageFile() {
  if (!message_file_) message_file_ = IniFile::Load(fs, MsgFile);
  return *message_file_;
}

std::string MessageText(RunState& st, std::string_view section,
                        std::string_view code, std::string_view tmpl,
                        std::string_view values) {
  std::string text = GetIniValue(st.MessageFile(), st.MsgFile, section, code);
  if (!tmpl.empty()) text = FillPlaceholders(text, tmpl, values);
  return text;
}

void ComposeMessage(RunState& st, std::string_view section,
                    std::string_view code, std::string_view tmpl,
                    std::string_view values) {
  st.MsgText = MessageText(st, section, code, tmpl, values);
}

void Notify(RunState& st, std::string_view section, std::string_view code,
            std::string_view tmpl, std::string_view values) {
  if (st.notice) st.notice(MessageText(st, section, code, tmpl, values));
}

void Log(RunState& st, std::string_view text) {
  LogTo(st, st.LogFile, text, &st.LogErrNo);
}

void LogTo(RunState& st, std::string_view logfile, std::string_view text,
           int32_t* status) {
  int32_t written = 0;
  WriteLog(st.fs, st.clock, logfile, text, &written, st.log_tee);
  if (logfile == "n") return;  // there is no log: the status stays
  *status = written;
  // The log is what a user reads to learn what a run did: a run that lost
  // a line of it says so once, on standard error, and does not end with
  // the status of a clean run.
  if (written != 0 && !st.LogFailed) {
    st.LogFailed = true;
    Notify(st, "ProcessFile", "ZARNPFI011CE", "/{1}/{2}/",
           MsgValues({EscapeName(logfile), std::to_string(written)}));
  }
}

void LogMessage(RunState& st, std::string_view section, std::string_view code,
                std::string_view tmpl, std::string_view values) {
  ComposeMessage(st, section, code, tmpl, values);
  Log(st, st.MsgText);
}

std::string ProgramPath(const RunState& st) {
  return st.ZarnFolder + std::string(kPathSepText) + st.ZarnStart;
}

}  // namespace zarn
