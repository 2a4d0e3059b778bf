#include "run/job_check.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>

#include "commands/carried_state.h"
#include "commands/compiled_program.h"
#include "commands/dispatcher.h"
#include "eval/functions.h"
#include "program/program.h"
#include "run/command_job.h"
#include "run/parameter_findings.h"
#include "run/parameters.h"
#include "run/zarn_main.h"
#include "support/file_io.h"
#include "support/ini.h"
#include "support/messages.h"
#include "support/text.h"
#include "variables/sys_vars.h"

namespace zarn {

namespace {

// A report text on one line: its CR LF (before "Execution canceled.")
// becomes a blank.
std::string OneLine(std::string text) {
  for (size_t p = text.find("\r\n"); p != std::string::npos;
       p = text.find("\r\n", p)) {
    text.replace(p, 2, " ");
  }
  return Trimmed(text);
}

const Vocabulary& TheVocabulary() {
  static const Vocabulary kVocabulary{
      IsCommandKeyword,
      [](std::string_view name) { return FindFunction(name) != nullptr; }};
  return kVocabulary;
}

// The program text of the job, checked; path names it in the findings.
void CheckProgramText(RunState& st, const std::string& path,
                      std::string_view content, JobCheck* check) {
  const size_t first = check->findings.size();
  std::vector<Oper> opers = ReadProgramText(content);
  const StructureFinding structure = CheckZarnProgStructure(opers);
  if (!structure.code.empty()) {
    check->startup_fails = true;
    Finding finding;
    finding.message = GetIniValue(st.MessageFile(), st.MsgFile,
                                  "CheckZarnProgStructure", structure.code);
    if (structure.oper > 0) {
      const Oper& op = opers[static_cast<size_t>(structure.oper) - 1];
      finding.line = op.line_number;
      finding.text = op.line;
      finding.message = FillPlaceholders(
          finding.message, "/{1}/{2}/",
          MsgValues({PaddedNumber(structure.oper, 3), op.text}));
    }
    check->findings.push_back(JobFinding{path, std::move(finding)});
  }
  if (structure.code.empty()) {
    // The system variables' table only protects; without it the decision
    // is, if anything, more cautious.
    const std::shared_ptr<const CompiledProgram> program =
        CompileProgram(opers, SysVarTable());
    if (const std::optional<CarriedRead> read = FindCarriedRead(*program)) {
      check->carried = DescribeCarriedRead(*read);
    }
  }
  for (Finding& finding : CheckProgram(opers, structure.code.empty(),
                                       TheVocabulary(), st.machine.regex)) {
    check->findings.push_back(JobFinding{path, std::move(finding)});
  }
  // The structure error among the others, in the order of the lines.
  std::stable_sort(check->findings.begin() + static_cast<ptrdiff_t>(first),
                   check->findings.end(),
                   [](const JobFinding& a, const JobFinding& b) {
                     return a.finding.line < b.finding.line;
                   });
}

// The program of the job, read and checked.
void CheckProgramFile(RunState& st, const std::string& path, JobCheck* check) {
  std::string content;
  if (int err = st.fs.ReadWholeFile(path, &content)) {
    check->startup_fails = true;
    check->findings.push_back(
        JobFinding{path, Finding{0, "", Severity::kError,
                                 "the program file cannot be read (error " +
                                     std::to_string(err) + ")"}});
    return;
  }
  CheckProgramText(st, path, content, check);
}

// A command-line job: its settings, then its program.
void CheckCommandLineJob(RunState& st, const CommandJob& job, JobCheck* check) {
  const ParameterCheck settings = CheckCommandJob(
      CheckServices{st.fs, st.clock, st.machine.regex, st.MessageFile(),
                    st.MsgFile},
      job, CheckMode{.writes_data = false, .writes_log = false});
  if (!settings.ok()) {
    check->startup_fails = true;
    check->findings.push_back(JobFinding{
        "zarn", Finding{0, "", Severity::kError, OneLine(settings.report)}});
  }
  // Patterns are checked as the run's encoding reads them.
  st.machine.regex.set_search_encoding(settings.settings.encoding);
  if (job.program_file.empty()) {
    CheckProgramText(st, std::string(kOperationsName), OperationsText(job),
                     check);
  } else if (IsFilePresent(st.fs, job.program_file)) {
    CheckProgramFile(st, job.program_file, check);
  }
}

void SetMessageFile(RunState& st) {
  st.MsgFile = st.AppFolder + std::string(kPathSepText) + st.MsgFileName;
}

void CountFindings(JobCheck* check) {
  for (const JobFinding& f : check->findings) {
    if (f.finding.severity == Severity::kError) {
      ++check->errors;
    } else {
      ++check->warnings;
    }
  }
}

}  // namespace

JobCheck CheckJob(RunState& st, const CommandJob* job) {
  JobCheck check;
  SetMessageFile(st);
  if (job != nullptr) {
    CheckCommandLineJob(st, *job, &check);
    CountFindings(&check);
    return check;
  }
  const std::string& parm_file = st.ParmFile;
  // Nothing is written: no writability test file either.
  const ParameterCheck parameters = CheckParameters(
      CheckServices{st.fs, st.clock, st.machine.regex, st.MessageFile(),
                    st.MsgFile},
      parm_file, CheckMode{.writes_data = false, .writes_log = false});
  if (!IsFilePresent(st.fs, parm_file)) {
    check.startup_fails = true;
    check.findings.push_back(JobFinding{
        parm_file,
        Finding{0, "", Severity::kError, OneLine(parameters.report)}});
  } else {
    std::string text;
    st.fs.ReadWholeFile(parm_file, &text);
    ParameterFindings found = CheckParameterFile(st.fs, text);
    for (Finding& finding : found.findings) {
      check.findings.push_back(JobFinding{parm_file, std::move(finding)});
    }
    if (!parameters.ok()) {
      check.startup_fails = true;
      // Unless a finding above already says it, at the key's line.
      const std::string& key = parameters.failed_key;
      if (!found.key_errors[key]) {
        check.findings.push_back(JobFinding{
            parm_file, Finding{found.key_lines[key], found.key_texts[key],
                               Severity::kError, OneLine(parameters.report)}});
      }
    }
    st.machine.regex.set_search_encoding(parameters.settings.encoding);
    // The program, even when a setting failed, as long as it is named.
    const IniFile ini = IniFile::Parse(text);
    const std::optional<std::string> folder = ini.Get("Data", "Zarnfolder");
    const std::optional<std::string> start = ini.Get("Data", "Start");
    if (folder && start) {
      const std::string path = *folder + std::string(kPathSepText) + *start;
      if (IsFilePresent(st.fs, path)) CheckProgramFile(st, path, &check);
    }
  }
  CountFindings(&check);
  return check;
}

void WriteFindings(std::ostream& out, const JobCheck& check) {
  for (const JobFinding& f : check.findings) {
    out << TerminalText(f.file);
    if (f.finding.line > 0) out << ":" << f.finding.line;
    out << (f.finding.severity == Severity::kError ? ": error: "
                                                   : ": warning: ")
        << TerminalText(f.finding.message) << "\n";
    if (!f.finding.text.empty()) {
      out << "    " << TerminalText(f.finding.text) << "\n";
    }
  }
  out.flush();
}

int CheckOnly(RunState& st, std::ostream& out, const CommandJob* job) {
  SetMessageFile(st);
  if (!IsFilePresent(st.fs, st.MsgFile)) {
    ShowFinalReport(st, out,
                    "File \"" + st.MsgFileName +
                        "\" is not found.\r\nExecution canceled. ");
    return kExitStartup;
  }
  const JobCheck check = CheckJob(st, job);
  WriteFindings(out, check);
  auto count = [](int n, const char* what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
  };
  if (!check.carried.empty()) {
    out << "zarn --check: the files run one after another: " << check.carried
        << "\n";
  }
  out << "zarn --check: " << count(check.errors, "error") << ", "
      << count(check.warnings, "warning") << "\n";
  out.flush();
  return check.errors > 0 ? kExitStartup : kExitOk;
}

void ReportFindings(RunState& st, std::ostream& out, const CommandJob* job) {
  SetMessageFile(st);
  if (!IsFilePresent(st.fs, st.MsgFile)) return;
  const JobCheck check = CheckJob(st, job);
  if (!check.startup_fails) WriteFindings(out, check);
}

}  // namespace zarn
