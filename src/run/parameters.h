// The parameter file: reading and checking every setting at start-up, and
// the parameter listing written to the log when a run stops on an error.
#ifndef ZARN_RUN_PARAMETERS_H_
#define ZARN_RUN_PARAMETERS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "commands/run_state.h"
#include "support/clock.h"
#include "support/file_system.h"
#include "support/ini.h"
#include "support/regex.h"

namespace zarn {

// The outcome of the check: the settings, or the report of the first
// setting that failed.
struct ParameterCheck {
  Settings settings;
  std::string report;  // empty: every setting passed
  // The key whose check failed (empty: the file itself is missing).
  std::string failed_key;

  bool ok() const { return report.empty(); }
  // Records the failure of the setting key with its report; the check as
  // it then stands.
  ParameterCheck Fail(std::string_view key, std::string failure) {
    failed_key = key;
    report = std::move(failure);
    return *this;
  }
};

// What the check reads besides the parameter file: the file system and the
// clock (the writability tests), the regular expressions (the Files
// expression must compile) and the message file (the reports' texts).
struct CheckServices {
  FileSystem& fs;
  Clock& clock;
  RegularExpressions& regex;
  const IniFile& messages;
  const std::string& message_path;
};

// Which folders the run writes to, and so must be writable: a dry run
// (--dry-run, --diff) writes no data file, a check (--check) not even the
// log.
struct CheckMode {
  bool writes_data = true;
  bool writes_log = true;
};

// Reads and checks the parameter file parm_file. Logs nothing. A Log value
// without a folder part names a file of the current folder.
ParameterCheck CheckParameters(const CheckServices& services,
                               const std::string& parm_file,
                               const CheckMode& mode = {});

// The report of a failed setting: the message of the code in the section
// CheckParameters, its placeholders filled.
std::string ParameterReport(const CheckServices& services,
                            std::string_view code, std::string_view tmpl,
                            std::string_view values);

// The report on the folder a setting (key) names: it must exist and, when
// must_write, pass the writability test. Empty when it does.
std::string FolderReport(const CheckServices& services,
                         const std::string& folder, std::string_view key,
                         bool must_write);

// The encoding's name as the listing shows it: "Bytes" or "UTF-8".
std::string_view EncodingName(TextEncoding encoding);

// Reads the value of an encoding setting (key: Encoding, --encoding) into
// *settings: "Bytes" or "UTF-8", letter case ignored. The report for any
// other value; empty when it is one of them.
std::string ReadEncoding(const CheckServices& services, std::string_view value,
                         std::string_view key, Settings* settings);

// Makes the checked settings the run's: its fields and *parm1, *parm2, ...
void ApplySettings(RunState& st, const Settings& settings);

// Writes the settings as stored, one log line each.
void WriteParmListing(RunState& st, const std::string& logfile,
                      int32_t* status);

}  // namespace zarn

#endif  // ZARN_RUN_PARAMETERS_H_
