#include "run/parameters.h"

#include <cerrno>

#include "support/file_io.h"
#include "support/ini.h"
#include "support/messages.h"
#include "support/regex.h"
#include "support/text.h"

namespace zarn {

namespace {

constexpr std::string_view kSection = "CheckParameters";
constexpr std::string_view kDefaultFiles = "(.)*\\.(.)*";

// A key counts as not defined when its value, upper-cased, begins with ERR:
// the missing marker does, and so does any value written that way.
bool IsUndefined(std::string_view value) {
  return AsciiUpper(value.substr(0, 3)) == "ERR";
}

std::string Undefined(const CheckServices& services, std::string_view key,
                      std::string_view section) {
  return ParameterReport(services, "ZARNCPA006CT", "/{1}/{2}/{3}/",
                         MsgValues({"<undefined>", key, section}));
}

}  // namespace

std::string ParameterReport(const CheckServices& services,
                            std::string_view code, std::string_view tmpl,
                            std::string_view values) {
  return FillPlaceholders(
      GetIniValue(services.messages, services.message_path, kSection, code),
      tmpl, values);
}

std::string FolderReport(const CheckServices& services,
                         const std::string& folder, std::string_view key,
                         bool must_write) {
  if (!IsFolderPresent(services.fs, folder)) {
    return ParameterReport(services, "ZARNCPA003CT", "/{1}/{2}/",
                           MsgValues({folder, key}));
  }
  int err = 0;
  if (!must_write ||
      IsFolderWritable(services.fs, services.clock, folder, &err)) {
    return {};
  }
  // A full disk says so: a user who reads "not writable" looks at the
  // permissions, not at the disk.
  if (err == ENOSPC || err == EDQUOT) {
    return ParameterReport(services, "ZARNCPA010CT", "/{1}/{2}/{3}/",
                           MsgValues({folder, key, std::to_string(err)}));
  }
  return ParameterReport(services, "ZARNCPA007CT", "/{1}/{2}/",
                         MsgValues({folder, key}));
}

ParameterCheck CheckParameters(const CheckServices& services,
                               const std::string& parm_file,
                               const CheckMode& mode) {
  ParameterCheck check;
  Settings& s = check.settings;
  FileSystem& fs = services.fs;
  if (!IsFilePresent(fs, parm_file)) {
    return check.Fail("", "Zarn parameter (ini-file) \"" + parm_file +
                              "\" -- is incorrectly defined or not found.\r\n"
                              "Execution canceled. ");
  }
  const IniFile ini = IniFile::Load(fs, parm_file);
  auto read = [&](std::string_view section, std::string_view key) {
    return GetIniValue(ini, parm_file, section, key);
  };

  // Datafolder: defined, present, writable.
  std::string value = read("Data", "Datafolder");
  if (IsUndefined(value))
    return check.Fail("Datafolder", Undefined(services, "Datafolder", "Data"));
  s.DataFolder = value;
  if (std::string report =
          FolderReport(services, s.DataFolder, "Datafolder", mode.writes_data);
      !report.empty()) {
    return check.Fail("Datafolder", std::move(report));
  }

  // Files: a regular expression; one that does not compile would fail on
  // the first file name, so it is refused here.
  value = read("Data", "Files");
  s.FilesMask = IsUndefined(value) ? std::string(kDefaultFiles) : value;
  if (!services.regex.CheckPattern(
          s.FilesMask, RegularExpressions::TestOptions(true), nullptr)) {
    return check.Fail("Files",
                      ParameterReport(services, "ZARNCPA008CT", "/{1}/{2}/",
                                      MsgValues({s.FilesMask, "Files"})));
  }

  // Zarnfolder: defined, present.
  value = read("Data", "Zarnfolder");
  if (IsUndefined(value))
    return check.Fail("Zarnfolder", Undefined(services, "Zarnfolder", "Data"));
  s.ZarnFolder = value;
  if (std::string report =
          FolderReport(services, s.ZarnFolder, "Zarnfolder", false);
      !report.empty()) {
    return check.Fail("Zarnfolder", std::move(report));
  }

  // Start: defined, the program file exists.
  value = read("Data", "Start");
  if (IsUndefined(value))
    return check.Fail("Start", Undefined(services, "Start", "Data"));
  s.ZarnStart = value;
  if (!IsFilePresent(fs,
                     s.ZarnFolder + std::string(kPathSepText) + s.ZarnStart)) {
    return check.Fail("Start",
                      ParameterReport(services, "ZARNCPA002CT", "/{1}/{2}/",
                                      MsgValues({s.ZarnStart, "Start"})));
  }

  value = read("Data", "Recursion");
  s.RecurseFlag = IsUndefined(value) || value == "Yes";

  // Encoding: Bytes (the default) or UTF-8, letter case ignored.
  value = read("Data", "Encoding");
  if (!IsUndefined(value)) {
    if (std::string report = ReadEncoding(services, value, "Encoding", &s);
        !report.empty()) {
      return check.Fail("Encoding", std::move(report));
    }
  }

  // Log: its folder exists and is writable.
  value = read("Log", "Log");
  s.LogFile = IsUndefined(value)
                  ? s.DataFolder + std::string(kPathSepText) + "zarn.log"
                  : value;
  if (s.LogFile.find(kPathSep) == std::string::npos) {
    // A bare file name: the log lies in the current folder.
    s.LogFile = "." + std::string(kPathSepText) + s.LogFile;
  }
  s.LogFolder = FolderOfPath(s.LogFile);
  if (std::string report =
          FolderReport(services, s.LogFolder, "Log", mode.writes_log);
      !report.empty()) {
    return check.Fail("Log", std::move(report));
  }

  value = read("Log", "Logappend");
  s.LogAppend = !IsUndefined(value) && value != "No";

  // String parameters Parm1, Parm2, ... up to the first gap.
  for (int n = 1;; ++n) {
    value = read("String_parm", "Parm" + std::to_string(n));
    if (IsUndefined(value)) break;
    s.parms.push_back(value);
  }
  return check;
}

std::string_view EncodingName(TextEncoding encoding) {
  return encoding == TextEncoding::kUtf8 ? "UTF-8" : "Bytes";
}

std::string ReadEncoding(const CheckServices& services, std::string_view value,
                         std::string_view key, Settings* settings) {
  if (EqualsIgnoreCase(value, "Bytes")) {
    settings->encoding = TextEncoding::kBytes;
  } else if (EqualsIgnoreCase(value, "UTF-8")) {
    settings->encoding = TextEncoding::kUtf8;
  } else {
    return ParameterReport(services, "ZARNCPA013CT", "/{1}/{2}/",
                           MsgValues({value, key}));
  }
  settings->encoding_given = true;
  return {};
}

void ApplySettings(RunState& st, const Settings& s) {
  static_cast<Settings&>(st) = s;
  st.machine.SetEncoding(s.encoding);
  st.ParmCount = static_cast<int32_t>(s.parms.size());
  for (size_t i = 0; i < s.parms.size(); ++i) {
    st.machine.StrVars.Set("*parm" + std::to_string(i + 1), s.parms[i]);
  }
}

void WriteParmListing(RunState& st, const std::string& logfile,
                      int32_t* status) {
  auto line = [&](const std::string& text) {
    LogTo(st, logfile, text, status);
  };
  if (st.paths.empty()) {
    line("--- Zarn parameters from the '" + st.ParmFile + "' file");
  } else {
    line("--- Zarn parameters from the command line");
    for (const std::string& path : st.paths) line("Path '" + path + "'");
  }
  line("Section [Data], parameter 'Datafolder' = '" + st.DataFolder + "'");
  line("Section [Data], parameter 'Files' = '" + st.FilesMask + "'");
  line(std::string("Section [Data], parameter 'Recursion' = '") +
       (st.RecurseFlag ? "Yes" : "No") + "'");
  line("Section [Data], parameter 'Zarnfolder' = '" + st.ZarnFolder + "'");
  line("Section [Data], parameter 'Start' = '" + st.ZarnStart + "'");
  if (st.encoding_given) {
    line(std::string("Section [Data], parameter 'Encoding' = '") +
         std::string(EncodingName(st.encoding)) + "'");
  }
  line("Section [Log], parameter 'Log' = '" + st.LogFile + "'");
  line(std::string("Section [Log], parameter 'Logappend' = '") +
       (st.LogAppend ? "Yes" : "No") + "'");
  if (st.ParmCount == 0) {
    line("Section [String_parm]: No string parameters specified.");
    return;
  }
  for (int32_t i = 1; i <= st.ParmCount; ++i) {
    std::string name = "*parm" + std::to_string(i);
    line("Section [String_parm], parameter '" + name + "' = '" +
         st.machine.StrVars.GetStrVar(name).value + "'");
  }
}

}  // namespace zarn
