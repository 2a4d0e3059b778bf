// The state of one run, passed by reference to every procedure of the run
// stage: the settings of the parameter file, the services, the run control
// and final report, the compiled program and the machine that runs it.
// Two runs in one process never share anything.
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

#include "commands/machine.h"
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

class ProgressLine;  // run/progress_line.h

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
  // How many files the program may run on at once (1: one after another),
  // and whether the command line asked for that number.
  int jobs = 1;
  bool jobs_given = false;
  // Only the files of shard `shard` (from 0) of `shards` are processed
  // (shards 0: the whole selection); see run/shard.h.
  int64_t shard = 0;
  int64_t shards = 0;
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
  std::vector<std::string> paths;  // a command-line job's files and folders
  // How the program counts the text: bytes, or UTF-8 characters.
  TextEncoding encoding = TextEncoding::kBytes;
  // The encoding was given (Encoding, --encoding): the listing shows it.
  bool encoding_given = false;
};

// The run: its settings, its services (file system, clock, log, message
// file), what it keeps across files (counts, failures, the signal that
// stopped it) and the machine that runs the program on its files.
struct RunState : Settings, MachineHost {
  // The program is the empty one until a program is installed.
  RunState(FileSystem& file_system, Clock& run_clock);
  ~RunState();

  FileSystem& fs;
  Clock& clock;
  RunOptions options;

  // Run control (the run-error flag is the machine's: machine.ErrFlag).
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
  // Where notices during the run go (standard error): a lost log line, a
  // search that hit the engine's limit. Given the text of a coded message.
  std::function<void(std::string_view text)> notice;

  // The parameter file; its settings are the Settings the run is.
  std::string ParmFile;
  int32_t ParmCount = 0;

  // The table of system variables, fixed by the settings.
  SysVarTable SysVars;
  // The program, compiled once it is loaded and checked, and whether its
  // listing has been logged.
  std::shared_ptr<const CompiledProgram> program;
  bool ListingDone = false;
  const CompiledProgram& Program() const { return *program; }

  // The machine that runs the program on the files, one after another.
  Machine machine;

  // The message file, read once on first use.
  const IniFile& MessageFile();

  // What the machine uses of the run.
  void LogLine(std::string_view text) override;
  void Notice(std::string_view text) override;
  std::string MessageText(std::string_view section, std::string_view code,
                          std::string_view tmpl,
                          std::string_view values) override;
  void ListProgramOnce() override;

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

// The path of the program file.
std::string ProgramPath(const RunState& st);

}  // namespace zarn

#endif  // ZARN_COMMANDS_RUN_STATE_H_
