// The start procedure: the stages of a run, in order.
#ifndef ZARN_RUN_ZARN_MAIN_H_
#define ZARN_RUN_ZARN_MAIN_H_

#include <optional>
#include <ostream>
#include <string>

#include "commands/run_state.h"
#include "run/command_job.h"

namespace zarn {

// Exit statuses of a run.
inline constexpr int kExitOk = 0;          // every selected file processed
inline constexpr int kExitStartup = 1;     // stopped during start-up
inline constexpr int kExitStopped = 2;     // stopped on a failed operation
inline constexpr int kExitFileFailed = 3;  // completed; some file failed
inline constexpr int kExitUsage = 64;      // wrong command line
// Stopped on SIGINT, SIGTERM or SIGHUP: this plus the signal's number.
inline constexpr int kExitSignalBase = 128;

// Runs the stages: message file, parameter check, the lock of the data
// folder, log header, system variables, program, file loop. st.AppFolder
// and st.ParmFile are set by the caller. A stop during start-up shows its
// report on `report`, and so do the notices of the run when st.notice is
// empty.
// A command-line job (job not null) takes its settings from job instead of
// the parameter file; a filter reads and writes the streams of filter.
int Main(RunState& st, std::ostream& report, const CommandJob* job = nullptr,
         const Filter& filter = {});

// Starts the log with the banner line (replacing the log, or appending to
// it when Logappend is on); on failure ErrFlag is kStopRun and FinalMsg holds
// ZARNCPA004CT.
void WriteLogHeader(RunState& st);

// Loads the program file (or, when given, the program text) into the run's
// operation list. On failure
// ErrFlag is kStopRun, FinalMsg holds the report, and the log has received the
// report, and for a structure error the listings and the report's header.
void InstallProgram(RunState& st,
                    const std::optional<std::string>& text = std::nullopt);

// Takes the lock that keeps a second run off the same data folder (a
// command-line job: off each folder it walks); on failure ErrFlag is
// kStopRun and FinalMsg holds the report.
void LockDataFolders(RunState& st);

// The final report: "Zarn 2.0: " and the text, its control characters
// escaped.
void ShowFinalReport(RunState& st, std::ostream& report,
                     const std::string& text);

}  // namespace zarn

#endif  // ZARN_RUN_ZARN_MAIN_H_
