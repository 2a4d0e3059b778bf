#include "run/run_report.h"

#include "run/zarn_main.h"
#include "support/text.h"

namespace zarn {

namespace {

// The stamp "yyyy-mm-dd|hh:mm:ss " that begins a log line.
constexpr size_t kStampSize = 20;

// A message that reports a failure: classes CT (stops), CE and LE.
bool IsError(std::string_view text) {
  if (text.size() < 12 || text.substr(0, 4) != "ZARN") return false;
  const std::string_view cls = text.substr(10, 2);
  return cls == "CT" || cls == "CE" || cls == "LE";
}

std::string Plural(int64_t n, const char* what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

}  // namespace

RunReport::RunReport(RunState& st) : st_(st), next_(st.log_tee) {
  st.log_tee = [this](std::string_view line) {
    See(line);
    if (next_) next_(line);
  };
}

RunReport::~RunReport() { st_.log_tee = next_; }

void RunReport::See(std::string_view line) {
  if (line.size() < kStampSize || line[10] != '|') return;  // the banner
  std::string_view text = line.substr(kStampSize);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  const std::string_view code = text.substr(0, 12);
  if (code == "ZARNPFI003CI") {  // a file begins
    in_file_ = true;
    file_failed_ = false;
    file_cause_.clear();
    return;
  }
  if (code == "ZARNPFI005CI" || code == "ZARNPFI006CI") {  // it is done
    in_file_ = false;
    return;
  }
  if (!IsError(text)) return;
  // *file is set before anything can fail for a file; an error between
  // files (a folder that cannot be listed) names its folder itself.
  const std::string path =
      in_file_ ? std::string(st_.machine.StrVars.ValueOrEmpty("*file"))
               : std::string();
  if (!in_file_ || !file_failed_) ++failures_;
  if (in_file_) file_failed_ = true;
  if (file_cause_.empty()) {
    file_cause_ = text;
    file_cause_path_ = path;
  }
  if (run_cause_.empty()) {
    run_cause_ = text;
    run_cause_path_ = path;
  }
}

std::string RunReport::Summary() const {
  const std::string files(st_.machine.StrVars.ValueOrEmpty("*allfiles"));
  const std::string changes(st_.machine.StrVars.ValueOrEmpty("*allchanges"));
  std::string line = "zarn: " + files + " file" + (files == "1" ? "" : "s") +
                     ", " + changes + " change" + (changes == "1" ? "" : "s") +
                     ", " + Plural(failures_, "failure") + "; ";
  line += st_.LogFile == "n" ? std::string("no log")
                             : "log: " + TerminalText(st_.LogFile);
  return line;
}

std::string RunReport::Cause(int status) const {
  const bool stopped = status == kExitStopped;
  if (!stopped && status != kExitFileFailed) return "";
  const std::string& cause = stopped ? file_cause_ : run_cause_;
  const std::string& path = stopped ? file_cause_path_ : run_cause_path_;
  if (cause.empty()) return "";
  std::string line = "zarn: ";
  if (!path.empty()) {
    line += (stopped ? "the run stopped at '" : "'") + TerminalText(path) +
            (stopped ? "': " : "' failed: ");
  }
  line += TerminalText(cause);
  if (!stopped && failures_ > 1) {
    line += " (" + Plural(failures_ - 1, "more failure") + ")";
  }
  return line;
}

}  // namespace zarn
