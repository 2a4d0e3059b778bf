// The checker of a whole job (zarn --check PARAMETER-FILE): the parameter
// file and the program it names, read and checked as a run would read
// them, with every data file left alone. A run prints the same findings
// on standard error before it starts (unless --quiet), so that a mistake
// is seen before any file is touched; the log stays as it is.
#ifndef ZARN_RUN_JOB_CHECK_H_
#define ZARN_RUN_JOB_CHECK_H_

#include <ostream>
#include <string>
#include <vector>

#include "commands/run_state.h"
#include "program/checker.h"
#include "run/command_job.h"

namespace zarn {

// A finding and the file it is about.
struct JobFinding {
  std::string file;
  Finding finding;
};

struct JobCheck {
  std::vector<JobFinding> findings;  // the parameter file's, the program's
  int errors = 0;
  int warnings = 0;
  // A run would stop at start-up (its final report says why).
  bool startup_fails = false;
  // Why the program's files must run one after another (and cannot be
  // split into shards), when they must: see commands/carried_state.h.
  std::string carried;
};

// Checks the job of st.ParmFile; st.AppFolder locates the message file,
// which must be present. Writes nothing.
// With job, the command-line job instead: its settings, and its program
// (the operations of -e named "-e", their lines numbered as given).
JobCheck CheckJob(RunState& st, const CommandJob* job = nullptr);

// Each finding as "FILE:LINE: error: MESSAGE" (or warning), then its line,
// indented.
void WriteFindings(std::ostream& out, const JobCheck& check);

// zarn --check: the findings and a count of errors and warnings on out;
// returns the exit status, 1 when an error was found (or the message file
// is missing), else 0.
int CheckOnly(RunState& st, std::ostream& out, const CommandJob* job = nullptr);

// Before a run: the findings on out, unless the run stops at start-up
// anyway, with a report of its own.
void ReportFindings(RunState& st, std::ostream& out,
                    const CommandJob* job = nullptr);

}  // namespace zarn

#endif  // ZARN_RUN_JOB_CHECK_H_
