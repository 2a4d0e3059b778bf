#include "run/command_job.h"

#include "support/file_io.h"
#include "support/messages.h"
#include "support/text.h"

namespace zarn {

namespace {

// A path given without a folder part lies in the current folder.
std::string InCurrentFolder(const std::string& path) {
  if (path.find(kPathSep) != std::string::npos) return path;
  return "." + std::string(kPathSepText) + path;
}

}  // namespace

ParameterCheck CheckCommandJob(const CheckServices& services,
                               const CommandJob& job, const CheckMode& mode) {
  ParameterCheck check;
  Settings& s = check.settings;
  FileSystem& fs = services.fs;
  auto missing = [&](const std::string& path, std::string_view by) {
    return ParameterReport(services, "ZARNCPA012CT", "/{1}/{2}/",
                           MsgValues({path, by}));
  };

  s.DataFolder = ".";
  s.RecurseFlag = true;
  s.paths = job.paths;
  if (s.paths.empty()) s.paths.emplace_back(kStandardStream);
  for (std::string& path : s.paths) {
    if (path == kStandardStream) {
      // Standard input is read once: it cannot be one of several paths.
      if (s.paths.size() > 1) {
        return check.Fail("-",
                          missing(path, "the command line among other paths"));
      }
      continue;
    }
    if (!IsFilePresent(fs, path) && !IsFolderPresent(fs, path)) {
      return check.Fail("path", missing(path, "the command line"));
    }
    // "src/", as a shell completes it, names the folder src: its files are
    // src/a.c, not src//a.c.
    while (path.size() > 1 && path.back() == kPathSep &&
           IsFolderPresent(fs, path)) {
      path.pop_back();
    }
  }

  // Every name by default: hidden files are never listed anyway.
  s.FilesMask = job.files.value_or("");
  if (!services.regex.CheckPattern(
          s.FilesMask, RegularExpressions::TestOptions(true), nullptr)) {
    return check.Fail("--files",
                      ParameterReport(services, "ZARNCPA008CT", "/{1}/{2}/",
                                      MsgValues({s.FilesMask, "--files"})));
  }

  if (job.program_file.empty()) {
    s.ZarnFolder = ".";
    s.ZarnStart = std::string(kOperationsName);
  } else {
    const std::string program = InCurrentFolder(job.program_file);
    s.ZarnFolder = FolderOfPath(program);
    s.ZarnStart = program.substr(s.ZarnFolder.size() + 1);
    if (!IsFilePresent(fs, program)) {
      return check.Fail("-f", missing(job.program_file, "-f"));
    }
  }

  if (job.log.empty()) {
    s.LogFile = "n";  // the path of no log
  } else {
    s.LogFile = InCurrentFolder(job.log);
    s.LogFolder = FolderOfPath(s.LogFile);
    if (std::string report =
            FolderReport(services, s.LogFolder, "--log", mode.writes_log);
        !report.empty()) {
      return check.Fail("--log", std::move(report));
    }
  }
  s.LogAppend = false;
  s.parms = job.parms;
  if (job.encoding) {
    if (std::string report =
            ReadEncoding(services, *job.encoding, "--encoding", &s);
        !report.empty()) {
      return check.Fail("--encoding", std::move(report));
    }
  }
  return check;
}

std::string OperationsText(const CommandJob& job) {
  std::string text;
  for (const std::string& op : job.operations) text += op + "\n";
  return text;
}

bool IsFilter(const Settings& settings) {
  return settings.paths.size() == 1 && settings.paths[0] == kStandardStream;
}

}  // namespace zarn
