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
bool Undefined(std::string_view value) {
  return AsciiUpper(value.substr(0, 3)) == "ERR";
}

// Leaves the coded report in FinalMsg.
void Fail(RunState& st, std::string_view code, std::string_view tmpl,
          std::string_view values) {
  ComposeMessage(st, kSection, code, tmpl, values);
  st.FinalMsg = st.MsgText;
}

// A folder that failed the writability test: a full disk says so (a user
// who reads "not writable" looks at the permissions, not at the disk).
void FailNotWritable(RunState& st, const std::string& folder,
                     std::string_view key, int err) {
  if (err == ENOSPC || err == EDQUOT) {
    return Fail(st, "ZARNCPA010CT", "/{1}/{2}/{3}/",
                MsgValues({folder, key, std::to_string(err)}));
  }
  Fail(st, "ZARNCPA007CT", "/{1}/{2}/", MsgValues({folder, key}));
}

void FailUndefined(RunState& st, std::string_view key,
                   std::string_view section) {
  Fail(st, "ZARNCPA006CT", "/{1}/{2}/{3}/",
       MsgValues({"<undefined>", key, section}));
}

}  // namespace

void CheckParameters(RunState& st) {
  if (!IsFilePresent(st.fs, st.ParmFile)) {
    st.FinalMsg = "Zarn parameter (ini-file) \"" + st.ParmFile +
                  "\" -- is incorrectly defined or not found.\r\n"
                  "Execution canceled. ";
    st.MsgText = st.FinalMsg;
    return;
  }
  const IniFile ini = IniFile::Load(st.fs, st.ParmFile);
  auto read = [&](std::string_view section, std::string_view key) {
    return GetIniValue(ini, st.ParmFile, section, key);
  };

  // Datafolder: defined, present, writable.
  std::string value = read("Data", "Datafolder");
  if (Undefined(value)) return FailUndefined(st, "Datafolder", "Data");
  st.DataFolder = value;
  if (!IsFolderPresent(st.fs, st.DataFolder)) {
    return Fail(st, "ZARNCPA003CT", "/{1}/{2}/",
                MsgValues({st.DataFolder, "Datafolder"}));
  }
  int err = 0;
  if (!IsFolderWritable(st.fs, st.clock, st.DataFolder, &err)) {
    return FailNotWritable(st, st.DataFolder, "Datafolder", err);
  }

  // Files: a regular expression; one that does not compile would fail on
  // the first file name, so it is refused here.
  value = read("Data", "Files");
  st.FilesMask = Undefined(value) ? std::string(kDefaultFiles) : value;
  if (!st.regex.CheckPattern(st.FilesMask,
                             RegularExpressions::TestOptions(true), nullptr)) {
    return Fail(st, "ZARNCPA008CT", "/{1}/{2}/",
                MsgValues({st.FilesMask, "Files"}));
  }

  // Zarnfolder: defined, present.
  value = read("Data", "Zarnfolder");
  if (Undefined(value)) return FailUndefined(st, "Zarnfolder", "Data");
  st.ZarnFolder = value;
  if (!IsFolderPresent(st.fs, st.ZarnFolder)) {
    return Fail(st, "ZARNCPA003CT", "/{1}/{2}/",
                MsgValues({st.ZarnFolder, "Zarnfolder"}));
  }

  // Start: defined, the program file exists.
  value = read("Data", "Start");
  if (Undefined(value)) return FailUndefined(st, "Start", "Data");
  st.ZarnStart = value;
  if (!IsFilePresent(st.fs, ProgramPath(st))) {
    return Fail(st, "ZARNCPA002CT", "/{1}/{2}/",
                MsgValues({st.ZarnStart, "Start"}));
  }

  value = read("Data", "Recursion");
  st.RecurseFlag = Undefined(value) || value == "Yes";

  // Log: its folder exists and is writable.
  value = read("Log", "Log");
  st.LogFile = Undefined(value)
                   ? st.DataFolder + std::string(kPathSepText) + "zarn.log"
                   : value;
  st.LogFolder = FolderOfPath(st.LogFile);
  if (!IsFolderPresent(st.fs, st.LogFolder)) {
    return Fail(st, "ZARNCPA003CT", "/{1}/{2}/",
                MsgValues({st.LogFolder, "Log"}));
  }
  if (!IsFolderWritable(st.fs, st.clock, st.LogFolder, &err)) {
    return FailNotWritable(st, st.LogFolder, "Log", err);
  }

  value = read("Log", "Logappend");
  st.LogAppend = !Undefined(value) && value != "No";

  // String parameters Parm1, Parm2, ... up to the first gap.
  int32_t n = 1;
  while (true) {
    value = read("String_parm", "Parm" + std::to_string(n));
    if (Undefined(value)) break;
    st.StrVars.Set("*parm" + std::to_string(n), value);
    ++n;
  }
  st.ParmCount = n - 1;
}

void WriteParmListing(RunState& st, const std::string& logfile,
                      int32_t* status) {
  auto line = [&](const std::string& text) {
    LogTo(st, logfile, text, status);
  };
  line("--- Zarn parameters from the '" + st.ParmFile + "' file");
  line("Section [Data], parameter 'Datafolder' = '" + st.DataFolder + "'");
  line("Section [Data], parameter 'Files' = '" + st.FilesMask + "'");
  line(std::string("Section [Data], parameter 'Recursion' = '") +
       (st.RecurseFlag ? "Yes" : "No") + "'");
  line("Section [Data], parameter 'Zarnfolder' = '" + st.ZarnFolder + "'");
  line("Section [Data], parameter 'Start' = '" + st.ZarnStart + "'");
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
         st.StrVars.GetStrVar(name).value + "'");
  }
}

}  // namespace zarn
