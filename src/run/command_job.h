// A job given on the command line instead of a parameter file:
//   zarn -e OPERATION [-e OPERATION ...] [PATH ...]
//   zarn -f PROGRAM-FILE [PATH ...]
// It becomes the same Settings a parameter file gives, checked the same way,
// and runs through the same start-up, program loading and file loop. What
// differs is where the settings come from:
// - the data are the PATHS: a file is edited, a folder is walked with its
//   subfolders (names matching --files, default every name; hidden files are
//   never listed); no path, or "-", is standard input, edited to standard
//   output (a filter);
// - the program is the text of the -e operations, one per line (it is named
//   "-e" in findings and the log), or the file of -f;
// - there is no log unless --log names one; *parm1, *parm2, ... come from
//   --parm; *datafolder is ".", the current folder, from which relative
//   paths are taken.
#ifndef ZARN_RUN_COMMAND_JOB_H_
#define ZARN_RUN_COMMAND_JOB_H_

#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "commands/run_state.h"
#include "run/parameters.h"

namespace zarn {

struct CommandJob {
  std::vector<std::string> operations;  // -e, one operation each
  std::string program_file;             // -f (empty: the operations)
  std::vector<std::string> paths;       // empty: standard input
  std::optional<std::string> files;     // --files (none: every name)
  std::string log;                      // --log (empty: no log)
  std::vector<std::string> parms;       // --parm, in order
  std::optional<std::string> encoding;  // --encoding (none: bytes)
};

// The name of the program of -e in findings and in the log's listing.
inline constexpr std::string_view kOperationsName = "-e";
// The path that stands for standard input and output.
inline constexpr std::string_view kStandardStream = "-";

// Standard input and output, for a filter run.
struct Filter {
  std::istream* in = nullptr;
  std::ostream* out = nullptr;
};

// The settings of the job, checked as those of a parameter file: the
// program file of -f and every path exist, --files compiles, and the log's
// folder exists and (unless mode says the log is not written) is writable.
// A data path is not tested for writability: a file that cannot be written
// back fails on its own, as in any run.
ParameterCheck CheckCommandJob(const CheckServices& services,
                               const CommandJob& job, const CheckMode& mode);

// The program text of the -e operations, one per line.
std::string OperationsText(const CommandJob& job);

// The settings are a filter's: standard input to standard output.
bool IsFilter(const Settings& settings);

}  // namespace zarn

#endif  // ZARN_RUN_COMMAND_JOB_H_
