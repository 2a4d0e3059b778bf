// The state of one run, passed by reference to every procedure of the run:
// the run-error flag and final report, the settings of the parameter file,
// the loaded program, the variable stores, and the seams to the file system
// and the clock. Two runs in one process never share anything.
#ifndef ZARN_COMMANDS_RUN_STATE_H_
#define ZARN_COMMANDS_RUN_STATE_H_

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "eval/evaluator.h"
#include "program/oper.h"
#include "support/clock.h"
#include "support/file_system.h"
#include "support/ini.h"
#include "support/messages.h"
#include "support/regex.h"
#include "support/version.h"
#include "variables/range_vars.h"
#include "variables/str_vars.h"
#include "variables/sys_vars.h"

namespace zarn {

class CompiledProgram;  // compiled_program.h
class ProgressLine;     // run/progress_line.h

// Options of the command line that change how a run behaves.
struct RunOptions {
  // Every step runs and is logged, but no data file is written back.
  bool dry_run = false;
  // In a dry run, receives the unified diff of every file that would
  // change (nullptr: no diff).
  std::ostream* diff_out = nullptr;
  // Before a changed file is replaced, its original is kept under its name
  // plus this suffix (empty: no backups).
  std::string backup_suffix;
  // The self-updating line on a terminal (nullptr: none).
  ProgressLine* progress = nullptr;
};

// The settings of the parameter file, fixed once checked.
struct Settings {
  std::string DataFolder;
  std::string FilesMask;
  std::string ZarnFolder;
  std::string ZarnStart;
  bool RecurseFlag = true;
  std::string LogFile;
  std::string LogFolder;
  bool LogAppend = false;
  std::vector<std::string> parms;  // the values of *parm1, *parm2, ...
};

// The run-error flag, the one failure channel between the parts of a run.
enum class ErrorState {
  kNone,        // no failure
  kStopRun,     // stop the run: the current file is finished, the loop ends
  kFileFailed,  // only the current file failed; the loop goes on
};

struct RunState : Settings {
  // The program is the empty one until a program is installed.
  RunState(FileSystem& file_system, Clock& run_clock);

  FileSystem& fs;
  Clock& clock;
  RunOptions options;

  // Run control.
  ErrorState ErrFlag = ErrorState::kNone;
  std::string FinalMsg;
  std::string MsgText;
  const std::string AppTitle = std::string(kAppTitle);
  const std::string MsgFileName = "zarn_msg.ini";
  std::string MsgFile;
  std::string AppFolder;  // folder of the executable, for *app
  int32_t LogErrNo = 0;
  // Where log lines go besides the log (--log-stderr); empty for none.
  LogTee log_tee;
  // Set when a folder of the tree could not be listed; the run then ends
  // with the status of a run in which a file failed.
  bool FolderFailed = false;
  // Set when any file failed (read, write-back, or a flag of 2).
  bool FileFailed = false;
  // Set when a log line could not be written: said once on standard error,
  // and the run ends with the status of a run in which a file failed.
  bool LogFailed = false;
  // The signal (SIGINT, SIGTERM, SIGHUP) on which the file loop stopped,
  // or 0; the run then ends with status 128 + the signal.
  int Interrupted = 0;
  // The file in hand was left as it was because of that signal.
  bool FileAbandoned = false;
  // An engine limit of a search has been reported for the current file.
  bool LimitReported = false;
  // Where notices during the run go (standard error): a lost log line, a
  // search that hit the engine's limit. Given the text of a coded message.
  std::function<void(std::string_view text)> notice;
  // The largest text *filestring may hold: the largest file a run reads
  // back (lowered by tests, which cannot build texts of 2 GB).
  int64_t max_text_size = kMaxFileSize;
  // The most operations the program may execute on one file (0: no limit);
  // the program ends for the file when it is reached.
  int64_t step_limit = 0;

  // The parameter file; its settings are the Settings the run is.
  std::string ParmFile;
  int32_t ParmCount = 0;

  // The program, compiled once it is loaded and checked.
  std::shared_ptr<const CompiledProgram> program;
  bool ListingDone = false;
  int32_t CurOper = 0;
  int32_t ErrLogLevel = 0;
  int32_t FunrCount = 0;

  // Variables.
  StrVarStore StrVars;
  // The system variables that every operation reads or writes.
  struct HotNames {
    VarName oper{"*oper"};
    VarName errloglev{"*errloglev"};
    VarName n_oper{"*n_oper"};
    VarName pos{"*pos"};
    VarName changes{"*changes"};
    VarName rcf{"*rcf"};
    VarName nctx{"*nctx"};
  } names;
  RangeVarStore RangeVars;
  SysVarTable SysVars;

  // The regular-expression module, with the compiled patterns of the run,
  // and the result of the last search, reused so a scan loop does not
  // allocate.
  RegularExpressions regex;
  SearchResult search_result;

  // The message file, read once on first use.
  const IniFile& MessageFile();

  const CompiledProgram& Program() const { return *program; }

 private:
  std::optional<IniFile> message_file_;
};

// Sets MsgText to the message of the code in the section of the message
// file, with the template's placeholders filled from values (no template:
// the text as it stands).
void ComposeMessage(RunState& st, std::string_view section,
                    std::string_view code, std::string_view tmpl = {},
                    std::string_view values = {});

// Appends text to the log of the run (LogFile, status into LogErrNo).
void Log(RunState& st, std::string_view text);

// Appends text to the given log file, also handing it to the run's tee.
void LogTo(RunState& st, std::string_view logfile, std::string_view text,
           int32_t* status);

// The text of a coded message, as ComposeMessage makes it, leaving MsgText
// as it is.
std::string MessageText(RunState& st, std::string_view section,
                        std::string_view code, std::string_view tmpl = {},
                        std::string_view values = {});

// Hands the text of a coded message to st.notice (standard error).
void Notify(RunState& st, std::string_view section, std::string_view code,
            std::string_view tmpl = {}, std::string_view values = {});

// ComposeMessage, then Log of MsgText.
void LogMessage(RunState& st, std::string_view section, std::string_view code,
                std::string_view tmpl = {}, std::string_view values = {});

// Value of a string variable as a 32-bit integer.
int32_t IntVar(const RunState& st, std::string_view name);
int32_t IntVarText(const RunState& st, const VarName& name);
inline int32_t IntVar(const RunState& st, const VarName& name) {
  // A number written by SetIntVar reads back as ToInt32 of its text would.
  if (std::optional<int64_t> n = st.StrVars.Number(name)) {
    if (*n >= INT32_MIN && *n <= INT32_MAX) return static_cast<int32_t>(*n);
  }
  return IntVarText(st, name);
}
void SetIntVar(RunState& st, std::string_view name, int64_t value);
inline void SetIntVar(RunState& st, const VarName& name, int64_t value) {
  st.StrVars.SetNumber(name, value);
}

// The path of the program file.
std::string ProgramPath(const RunState& st);

}  // namespace zarn

#endif  // ZARN_COMMANDS_RUN_STATE_H_
