#include "run/zarn_main.h"

#include <cerrno>
#include <optional>
#include <set>

#include "commands/carried_state.h"
#include "commands/command_support.h"
#include "commands/compiled_program.h"
#include "program/program.h"
#include "run/command_job.h"
#include "run/file_loop.h"
#include "run/interrupt.h"
#include "run/parameters.h"
#include "run/shard.h"
#include "support/file_io.h"
#include "support/ini.h"
#include "support/messages.h"
#include "support/text.h"
#include "variables/sys_vars.h"

namespace zarn {

namespace {

std::string Banner(const RunState& st) {
  return "=================== " + st.AppTitle +
         " -- unattended batch editing log ===================\r\n";
}

}  // namespace

void ShowFinalReport(RunState& st, std::ostream& report,
                     const std::string& text) {
  report << st.AppTitle << ": " << TerminalText(text) << "\n";
  report.flush();
}

namespace {

void LockDataFolder(RunState& st, const std::string& folder) {
  // One place for the lock: a run holds it on the data folder itself, for
  // as long as the process lives. The runs of the shards of one split
  // share it, each holding its shard alone.
  const int err =
      st.options.shards > 0
          ? st.fs.LockShard(folder, std::to_string(st.options.shard) + "/" +
                                        std::to_string(st.options.shards))
          : st.fs.LockFolder(folder);
  if (err == 0) return;
  ComposeMessage(st, "CheckParameters",
                 err == EWOULDBLOCK ? "ZARNCPA009CT" : "ZARNCPA011CT",
                 "/{1}/{2}/", MsgValues({folder, std::to_string(err)}));
  st.FinalMsg = st.MsgText;
  st.machine.ErrFlag = ErrorState::kStopRun;
}

}  // namespace

void LockDataFolders(RunState& st) {
  if (st.paths.empty()) return LockDataFolder(st, st.DataFolder);
  // A command-line job holds every folder it walks (each once: a second
  // lock of one folder would wait for the first); files named on their
  // own are not walked and take none.
  std::set<std::string> locked;
  for (const std::string& path : st.paths) {
    if (path == kStandardStream || !st.fs.IsFolder(path)) continue;
    if (!locked.insert(path).second) continue;
    LockDataFolder(st, path);
    if (st.machine.ErrFlag != ErrorState::kNone) return;
  }
}

void WriteLogHeader(RunState& st) {
  const std::string banner = Banner(st);
  if (st.LogFile == "n") {  // no log: only its copy, if any
    if (st.log_tee) st.log_tee(banner);
    return;
  }
  int status = st.LogAppend ? st.fs.AppendToFile(st.LogFile, banner)
                            : st.fs.WriteWholeFile(st.LogFile, banner);
  if (st.log_tee) st.log_tee(banner);
  if (status != 0) {
    ComposeMessage(st, "CheckParameters", "ZARNCPA004CT", "/{1}/{2}/",
                   MsgValues({st.LogFile, std::to_string(status)}));
    st.FinalMsg = st.MsgText;
    st.machine.ErrFlag = ErrorState::kStopRun;
  }
}

int Main(RunState& st, std::ostream& report, const CommandJob* job,
         const Filter& filter) {
  // Notices go to the report's stream unless the caller has a place for
  // them; that stream lives only as long as this call.
  struct DefaultNotice {
    RunState& st;
    bool set;
    ~DefaultNotice() {
      if (set) st.notice = nullptr;
    }
  } default_notice{st, !st.notice};
  if (default_notice.set) {
    st.notice = [&st, &report](std::string_view text) {
      ShowFinalReport(st, report, std::string(text));
    };
  }
  st.machine.ErrFlag = ErrorState::kNone;
  st.ListingDone = false;
  // A signal ends the program for the file in hand between two operations.
  st.machine.interrupt = &InterruptNote();
  st.MsgFile = st.AppFolder + std::string(kPathSepText) + st.MsgFileName;
  if (!IsFilePresent(st.fs, st.MsgFile)) {
    st.FinalMsg =
        "File \"" + st.MsgFileName + "\" is not found.\r\nExecution canceled. ";
    ShowFinalReport(st, report, st.FinalMsg);
    return kExitStartup;
  }

  const CheckServices services{st.fs, st.clock, st.machine.regex,
                               st.MessageFile(), st.MsgFile};
  // The shards of a split start at once on one folder: the test file of
  // one shard's writability test would be listed by another as a data
  // file. A shard's folders are not tested by writing; an unwritable one
  // fails its writes instead.
  const bool shard = st.options.shards > 0;
  const CheckMode mode{.writes_data = !st.options.dry_run && !shard,
                       .writes_log = !shard};
  const ParameterCheck check =
      job ? CheckCommandJob(services, *job, mode)
          : CheckParameters(services, st.ParmFile, mode);
  if (!check.ok()) {
    st.FinalMsg = check.report;
    st.machine.ErrFlag = ErrorState::kStopRun;
    ShowFinalReport(st, report, st.FinalMsg);
    return kExitStartup;
  }
  ApplySettings(st, check.settings);
  if (st.options.shards > 0 && st.LogFile != "n") {
    st.LogFile = ShardLogName(st.LogFile, st.options.shard, st.options.shards);
  }

  // Before the log: a second run must not even start a log of its own over
  // the first's. A preview writes nothing back and takes no lock.
  if (!st.options.dry_run) {
    LockDataFolders(st);
    if (st.machine.ErrFlag != ErrorState::kNone) {
      ShowFinalReport(st, report, st.FinalMsg);
      return kExitStartup;
    }
  }

  WriteLogHeader(st);
  if (st.machine.ErrFlag != ErrorState::kNone) {
    ShowFinalReport(st, report, st.FinalMsg);
    return kExitStartup;
  }
  // Said once, first, so that no reader of the log takes a preview for a
  // run that changed files.
  if (st.options.dry_run) LogMessage(st, "ProcessFile", "ZARNPFI007CI");

  InitSysVars(st.machine.StrVars, st.SysVars,
              SysVarSettings{st.AppFolder, st.DataFolder, st.ZarnFolder,
                             st.ZarnStart, st.LogFile, st.ParmCount});
  InstallProgram(st, job && job->program_file.empty()
                         ? std::optional<std::string>(OperationsText(*job))
                         : std::nullopt);
  if (st.machine.ErrFlag != ErrorState::kNone) {
    ShowFinalReport(st, report, st.FinalMsg);
    return kExitStartup;
  }

  // The shards of a split each start from the variables of the run's
  // start: a program that carries anything from file to file cannot be
  // split.
  if (st.options.shards > 0) {
    if (const std::optional<CarriedRead> read = FindCarriedRead(st.Program())) {
      ShowFinalReport(st, report,
                      "--shard: the files of this program cannot be split "
                      "over runs: " +
                          DescribeCarriedRead(*read));
      return kExitUsage;
    }
  }

  ProcessFileSet(st, filter);
  if (st.Interrupted != 0) return kExitSignalBase + st.Interrupted;
  if (st.machine.ErrFlag == ErrorState::kStopRun) return kExitStopped;
  if (st.FileFailed || st.FolderFailed || st.LogFailed) {
    return kExitFileFailed;
  }
  return kExitOk;
}

namespace {

// Makes program the run's program, and the machine's.
void UseProgram(RunState& st, std::shared_ptr<const CompiledProgram> program) {
  // *oper may still borrow a text of the program that goes.
  st.machine.StrVars.OwnBorrowed();
  st.program = std::move(program);
  st.machine.Use(*st.program);
}

}  // namespace

void InstallProgram(RunState& st, const std::optional<std::string>& text) {
  UseProgram(st, CompileProgram({}, st.SysVars));

  const std::string path = ProgramPath(st);
  LoadedProgram loaded =
      text ? LoadProgramText(*text) : LoadProgram(st.fs, path);
  if (loaded.read_error != 0) {
    ComposeMessage(st, "ProcessFile", "ZARNPFI001CE", "/{1}/{2}/",
                   MsgValues({path, std::to_string(loaded.read_error)}));
    st.FinalMsg = st.MsgText;
    Log(st, st.FinalMsg);
    st.machine.ErrFlag = ErrorState::kStopRun;
    return;
  }
  UseProgram(st, CompileProgram(std::move(loaded.OperList), st.SysVars));
  const StructureFinding& finding = loaded.finding;
  if (finding.code.empty()) return;

  // The report: the message of the code, for an error at an operation with
  // its number and text. The log receives the settings and the program as
  // loaded, the header of the report and the report itself.
  constexpr std::string_view kSection = "CheckZarnProgStructure";
  st.FinalMsg =
      GetIniValue(st.MessageFile(), st.MsgFile, kSection, finding.code);
  if (finding.oper > 0) {
    st.FinalMsg =
        FillPlaceholders(st.FinalMsg, "/{1}/{2}/",
                         MsgValues({PaddedNumber(finding.oper, 3),
                                    st.Program().OperAt(finding.oper).text}));
  }
  st.machine.ErrFlag = ErrorState::kStopRun;
  WriteParmListing(st, st.LogFile, &st.LogErrNo);
  st.ListProgramOnce();
  LogMessage(st, kSection, "ZARNCTP000CT");
  Log(st, st.FinalMsg);
}

}  // namespace zarn
