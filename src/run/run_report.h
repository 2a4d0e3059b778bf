// What a run says on standard error when it ends: on a terminal, one line
// with the files, the changes, the failures and the log's path; and, on a
// stop (exit status 2) or a failed file (3), whatever the terminal, one
// line naming the file and the message that caused it, so that nobody has
// to open the log to learn that something went wrong.
#ifndef ZARN_RUN_RUN_REPORT_H_
#define ZARN_RUN_RUN_REPORT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "commands/run_state.h"

namespace zarn {

// Watches the log lines of a run (with or without a log file) through its
// tee, handing each on to the tee that was there before.
class RunReport {
 public:
  explicit RunReport(RunState& st);
  ~RunReport();
  RunReport(const RunReport&) = delete;
  RunReport& operator=(const RunReport&) = delete;

  // "zarn: 3 files, 7 changes, 0 failures; log: PATH" (or "no log").
  std::string Summary() const;
  // For exit status 2 or 3 the line naming the file and the message that
  // caused it; empty for any other status, or when the log held no cause
  // (a lost log line is said on its own).
  std::string Cause(int status) const;

 private:
  // A logged line: its stamp and CR LF are removed.
  void See(std::string_view line);

  RunState& st_;
  LogTee next_;
  bool in_file_ = false;      // between a file's first and last line
  bool file_failed_ = false;  // the current file logged an error
  int64_t failures_ = 0;      // files (and folders) that logged an error
  // The first error of the current (last) file, and of the run.
  std::string file_cause_, file_cause_path_;
  std::string run_cause_, run_cause_path_;
};

}  // namespace zarn

#endif  // ZARN_RUN_RUN_REPORT_H_
