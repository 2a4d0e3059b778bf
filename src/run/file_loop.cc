#include "run/file_loop.h"

#include <vector>

#include "commands/dispatcher.h"
#include "program/program.h"
#include "run/parameters.h"
#include "support/file_io.h"
#include "support/messages.h"
#include "support/text.h"

namespace zarn {

namespace {

constexpr std::string_view kSection = "ProcessFile";

// The stop on a failed operation: the file's name, the parameter listing
// and, once per run, the program listing.
void ReportStop(RunState& st, const std::string& path) {
  LogMessage(st, kSection, "ZARNPFI004CT", "/{1}/", MsgValues({path}));
  WriteParmListing(st, st.LogFile, &st.LogErrNo);
  if (!st.ListingDone) {
    WriteProgramListing(st, st.LogFile);
    st.ListingDone = true;
  }
}

}  // namespace

void ProcessFileSet(RunState& st) {
  std::vector<std::string> folders;
  if (st.RecurseFlag) {
    folders = ListFolderTree(st.fs, st.DataFolder);
  } else {
    folders.push_back(st.DataFolder);
  }
  st.StrVars.Set("*allchanges", "0");
  st.StrVars.Set("*allfiles", "0");

  std::vector<std::string> names;
  bool stopped = false;
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;
    // The names are read completely first, so a file rewritten during the
    // loop is never met twice.
    if (int err = st.fs.ListFiles(folder, &names)) {
      LogMessage(st, kSection, "ZARNPFI001CE", "/{1}/{2}/",
                 MsgValues({folder, std::to_string(err)}));
      st.FolderFailed = true;
      continue;
    }
    for (const std::string& name : names) {
      if (TrimBlanks(name).empty()) continue;
      std::string path = folder + std::string(kPathSepText) + name;
      // The expression was compiled by the parameter check; a name on
      // which the engine gives up is not selected.
      if (st.regex.Test(name, st.FilesMask, /*multiline=*/true, nullptr) !=
          MatchStatus::kMatch) {
        continue;
      }
      LogMessage(st, kSection, "ZARNPFI003CI", "/{1}/", MsgValues({path}));
      ProcessFile(st, path);
      SetIntVar(st, "*allfiles", int64_t{IntVar(st, "*allfiles")} + 1);
      if (st.ErrFlag == 1) {
        ReportStop(st, path);
        stopped = true;
        break;
      }
      LogMessage(st, kSection, "ZARNPFI005CI", "/{1}/",
                 MsgValues({st.StrVars.ValueOrEmpty("*changes")}));
      if (st.ErrFlag == 2) {
        st.ErrFlag = 0;
        st.FileFailed = true;
      }
    }
    if (stopped) break;
  }
  LogMessage(st, kSection, "ZARNPFI006CI", "/{1}/{2}/",
             MsgValues({st.StrVars.ValueOrEmpty("*allfiles"),
                        st.StrVars.ValueOrEmpty("*allchanges")}));
}

void ProcessFile(RunState& st, const std::string& path) {
  st.StrVars.Set("*file", path);
  std::string content;
  if (int err = st.fs.ReadWholeFile(path, &content)) {
    LogMessage(st, kSection, "ZARNPFI001CE", "/{1}/{2}/",
               MsgValues({path, std::to_string(err)}));
    st.ErrFlag = 2;
    return;
  }
  int32_t changes = 0;
  RunOnFile(st, content, changes);
  if (changes <= 0) return;  // untouched, not even rewritten
  if (st.options.dry_run) return;
  if (int err = st.fs.WriteWholeFile(path, content)) {
    LogMessage(st, kSection, "ZARNPFI002CE", "/{1}/{2}/",
               MsgValues({path, std::to_string(err)}));
    // A stop requested by the program stays a stop; otherwise only this
    // file failed.
    if (st.ErrFlag != 1) st.ErrFlag = 2;
  }
}

void RunOnFile(RunState& st, std::string& content, int32_t& changes) {
  st.StrVars.Set("*changes", "0");
  st.StrVars.Set("*pos", "1");
  const int32_t length = static_cast<int32_t>(content.size());
  st.StrVars.Set(kFileStringName, std::move(content));
  content.clear();
  st.RangeVars.SetRangeVar(RangeVarRec{"*filerange", 1, length});
  RunOperations(st);
  changes = IntVar(st, "*changes");
  if (changes > 0) content = st.StrVars.file_text().Take();
  SetIntVar(st, "*allchanges", int64_t{IntVar(st, "*allchanges")} + changes);
}

void RunOperations(RunState& st) {
  st.CurOper = 1;
  while (st.CurOper <= st.OperCount) {
    DispatchOperation(st);
    if (st.ErrFlag > 0) {
      st.CurOper = 999999999;
    } else {
      st.CurOper = IntVar(st, "*n_oper");
      // Commands only name operations from 1 on; anything else could only
      // come from a damaged *n_oper and ends the program for this file.
      if (st.CurOper < 1) break;
    }
  }
}

}  // namespace zarn
