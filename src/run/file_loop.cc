#include "run/file_loop.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <iterator>
#include <new>
#include <optional>
#include <ostream>
#include <set>
#include <string_view>
#include <system_error>
#include <vector>

#include "commands/carried_state.h"
#include "commands/command_support.h"
#include "commands/compiled_program.h"
#include "commands/dispatcher.h"
#include "run/backup.h"
#include "run/command_job.h"
#include "run/files_ahead.h"
#include "run/interrupt.h"
#include "run/parameters.h"
#include "run/progress_line.h"
#include "run/shard.h"
#include "support/file_io.h"
#include "support/messages.h"
#include "support/number.h"
#include "support/text.h"
#include "support/unified_diff.h"

namespace zarn {

namespace {

constexpr std::string_view kSection = "ProcessFile";

// The stop on a failed operation: the file's name, the parameter listing
// and, once per run, the program listing.
void ReportStop(RunState& st, const std::string& path) {
  LogMessage(st, kSection, "ZARNPFI004CT", "/{1}/",
             MsgValues({EscapeName(path)}));
  WriteParmListing(st, st.LogFile, &st.LogErrNo);
  st.ListProgramOnce();
}

// The files of one folder that the run will process, each with the
// identity it had when it was listed: the file opened later must be that
// one.
struct FolderFiles {
  std::string folder;
  int list_error = 0;  // the folder could not be listed
  std::vector<std::string> paths;
  std::vector<FileId> ids;  // none for a file named on the command line
  // The tree the files lie in, opened before the first is processed
  // (empty: the data folder's, opened at the start).
  std::string tree;
};

// Every folder's listing and the Files selection, taken before the first
// file is processed: the number of selected files is then known (for the
// progress line), and no file written during the run (a backup) is ever
// met. A folder that cannot be listed keeps its error, which the loop
// reports when it reaches that folder, just where a listing taken at that
// moment would have reported it.
void SelectFiles(RunState& st, const std::vector<std::string>& folders,
                 const std::string& tree, std::vector<FolderFiles>* out,
                 int64_t* total) {
  std::vector<FolderFiles>& selection = *out;
  std::vector<std::string> names;
  std::vector<FileId> ids;
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;
    FolderFiles entry;
    entry.folder = folder;
    entry.tree = tree;
    entry.list_error = st.fs.ListFiles(folder, &names, &ids);
    if (entry.list_error == 0) {
      for (size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        if (TrimBlanks(name).empty()) continue;
        // The expression was compiled by the parameter check; a name on
        // which the engine gives up is not selected.
        if (st.machine.regex.Test(name, st.FilesMask, /*multiline=*/true,
                                  nullptr) != MatchStatus::kMatch) {
          continue;
        }
        entry.paths.push_back(folder + std::string(kPathSepText) + name);
        entry.ids.push_back(ids[i]);
      }
      *total += static_cast<int64_t>(entry.paths.size());
    }
    selection.push_back(std::move(entry));
  }
}

// The selection of a command-line job, path by path in the order given: a
// file is taken as named, whatever its name; a folder is walked with its
// subfolders as the data folder is, from a tree of its own. A file met a
// second time (named twice, or named and inside a named folder) is
// processed once, where it was first met; the run's own log not at all.
std::vector<FolderFiles> SelectPaths(RunState& st, int64_t* total) {
  // A job never edits its own log, wherever a walk meets it.
  std::optional<FileId> log;
  if (st.LogFile != "n") {
    std::vector<std::string> names;
    std::vector<FileId> ids;
    const std::string name = st.LogFile.substr(st.LogFolder.size() + 1);
    if (st.fs.ListFiles(st.LogFolder, &names, &ids) == 0) {
      for (size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name) log = ids[i];
      }
    }
  }
  std::vector<FolderFiles> selection;
  for (const std::string& path : st.paths) {
    if (!st.fs.IsFolder(path)) {
      FolderFiles entry;
      entry.folder = FolderOfPath(path);
      entry.paths.push_back(path);
      selection.push_back(std::move(entry));
      ++*total;
      continue;
    }
    if (int err = st.fs.OpenTree(path)) {
      FolderFiles entry;
      entry.folder = path;
      entry.list_error = err;
      selection.push_back(std::move(entry));
      continue;
    }
    SelectFiles(st, ListFolderTree(st.fs, path), path, &selection, total);
  }
  std::set<std::string> seen;
  for (FolderFiles& entry : selection) {
    for (size_t i = 0; i < entry.paths.size();) {
      const bool is_log = !entry.ids.empty() && entry.ids[i] == log;
      if (!is_log && seen.insert(entry.paths[i]).second) {
        ++i;
        continue;
      }
      entry.paths.erase(entry.paths.begin() + static_cast<ptrdiff_t>(i));
      if (!entry.ids.empty()) {
        entry.ids.erase(entry.ids.begin() + static_cast<ptrdiff_t>(i));
      }
      --*total;
    }
  }
  return selection;
}

// The path below the data folder, as a diff and the progress line show it.
std::string RelativePath(const RunState& st, std::string_view path) {
  const std::string& top = st.DataFolder;
  // Only a whole folder name: "./x" lies below ".", "../x" does not.
  if (path.substr(0, top.size()) == top &&
      (path.size() == top.size() || path[top.size()] == kPathSep ||
       (!top.empty() && top.back() == kPathSep))) {
    path.remove_prefix(top.size());
  }
  while (!path.empty() && path.front() == kPathSep) path.remove_prefix(1);
  return std::string(path);
}

void WriteFileDiff(RunState& st, const std::string& path,
                   std::string_view original, std::string_view content) {
  // The diff may go to the terminal that shows the progress line.
  if (st.options.progress) st.options.progress->Hide();
  WriteUnifiedDiff(*st.options.diff_out, RelativePath(st, path), original,
                   content);
  st.options.diff_out->flush();
  if (st.options.progress) st.options.progress->Show();
}

// A stop requested by the program stays a stop; otherwise only this file
// failed.
void FailFile(RunState& st) {
  if (st.machine.ErrFlag != ErrorState::kStopRun)
    st.machine.ErrFlag = ErrorState::kFileFailed;
}

void WriteBackFailed(RunState& st, const std::string& path, int err) {
  LogMessage(st, kSection, "ZARNPFI002CE", "/{1}/{2}/",
             MsgValues({EscapeName(path), std::to_string(err)}));
  FailFile(st);
}

// Called by the replacement of a changed file just before its rename: from
// here until the file's "File done" line is in the log no signal ends the
// process, so that none falls between the two (a first one stops the run
// before the next file). A signal that came before abandons the file
// instead.
int CommitGate() {
  DeferInterrupts();
  return InterruptSignal() != 0 ? ECANCELED : 0;
}

// The run stops on a signal before the file at path, or in the middle of
// it; that file is left as it was.
void ReportInterrupt(RunState& st, int sig, const std::string& path) {
  st.Interrupted = sig;
  LogMessage(st, kSection, "ZARNPFI010CT", "/{1}/{2}/",
             MsgValues({SignalName(sig), EscapeName(path)}));
}

// Lets the signals held back for a file's commit through once every line
// of that file is logged, however its iteration ends.
struct AllowInterruptsAtEnd {
  AllowInterruptsAtEnd() = default;
  AllowInterruptsAtEnd(const AllowInterruptsAtEnd&) = delete;
  AllowInterruptsAtEnd& operator=(const AllowInterruptsAtEnd&) = delete;
  ~AllowInterruptsAtEnd() { AllowInterrupts(); }
};

// Standard input edited to standard output: the text comes out whole, as
// the program left it (or as it came in when the program changed nothing),
// as a file would hold it after the run. A dry run writes nothing there;
// --diff writes the diff instead.
void ProcessStream(RunState& st, const Filter& filter) {
  const std::string name(kStandardStream);
  std::string content{std::istreambuf_iterator<char>(*filter.in),
                      std::istreambuf_iterator<char>()};
  if (filter.in->bad()) {
    LogMessage(st, kSection, "ZARNPFI001CE", "/{1}/{2}/",
               MsgValues({name, std::to_string(EIO)}));
    st.machine.ErrFlag = ErrorState::kFileFailed;
    return;
  }
  const std::string input = content;
  int32_t changes = 0;
  const bool rewrite = RunOnFile(st.machine, content, changes);
  if (InterruptSignal() != 0) {
    st.FileAbandoned = true;
    return;
  }
  const std::string& result = rewrite ? content : input;
  if (st.options.dry_run) {
    if (rewrite && st.options.diff_out != nullptr)
      WriteFileDiff(st, name, input, result);
    return;
  }
  filter.out->write(result.data(), static_cast<std::streamsize>(result.size()));
  if (!filter.out->flush()) WriteBackFailed(st, name, EIO);
}

// The selection in the order of the run, each file with its segment: a
// new one begins wherever the loop opens a tree of its own.
std::vector<FilesAhead::File> FlatSelection(
    const std::vector<FolderFiles>& selection) {
  std::vector<FilesAhead::File> files;
  std::string tree;
  int32_t segment = 0;
  for (const FolderFiles& folder : selection) {
    if (!folder.tree.empty() && !folder.paths.empty() && folder.tree != tree) {
      ++segment;
      tree = folder.tree;
    }
    for (size_t i = 0; i < folder.paths.size(); ++i) {
      files.push_back(FilesAhead::File{
          folder.paths[i], folder.ids.empty() ? nullptr : &folder.ids[i],
          segment});
    }
  }
  return files;
}

// How many workers run the program on the files: more than one only when
// the run may use several, has several files, and the program's run on a
// file depends on nothing the files before it leave behind. A run asked
// for several that cannot have them says why.
int ParallelWorkers(RunState& st, int64_t total) {
  if (st.options.jobs <= 1 || IsFilter(st) || total <= 1) return 1;
  if (const std::optional<CarriedRead> read = FindCarriedRead(st.Program())) {
    if (st.options.jobs_given && st.notice) {
      st.notice("the files run one after another: " +
                DescribeCarriedRead(*read));
    }
    return 1;
  }
  return static_cast<int>(std::min<int64_t>(st.options.jobs, total));
}

// Keeps only the files of the run's shard.
void KeepShard(RunState& st, std::vector<FolderFiles>* selection,
               int64_t* total) {
  for (FolderFiles& folder : *selection) {
    size_t kept = 0;
    for (size_t i = 0; i < folder.paths.size(); ++i) {
      if (ShardOf(RelativePath(st, folder.paths[i]), st.options.shards) !=
          st.options.shard) {
        continue;
      }
      if (kept != i) {
        folder.paths[kept] = std::move(folder.paths[i]);
        if (!folder.ids.empty()) folder.ids[kept] = folder.ids[i];
      }
      ++kept;
    }
    *total -= static_cast<int64_t>(folder.paths.size() - kept);
    folder.paths.resize(kept);
    if (!folder.ids.empty()) folder.ids.resize(kept);
  }
}

}  // namespace

void ProcessFileSet(RunState& st, const Filter& filter) {
  st.machine.StrVars.Set("*allchanges", "0");
  st.machine.StrVars.Set("*allfiles", "0");
  int64_t total = 0;
  std::vector<FolderFiles> selection;
  // From here on every folder and file of the tree is reached from the data
  // folder through real folders only: a link planted anywhere in the tree,
  // before or during the run, is never followed.
  std::vector<std::string> folders;
  if (IsFilter(st)) {
    selection.push_back(FolderFiles{std::string(kStandardStream),
                                    0,
                                    {std::string(kStandardStream)},
                                    {},
                                    ""});
    total = 1;
  } else if (!st.paths.empty()) {
    selection = SelectPaths(st, &total);
  } else if (int err = st.fs.OpenTree(st.DataFolder)) {
    LogMessage(st, kSection, "ZARNPFI001CE", "/{1}/{2}/",
               MsgValues({EscapeName(st.DataFolder), std::to_string(err)}));
    st.FolderFailed = true;
  } else if (st.RecurseFlag) {
    folders = ListFolderTree(st.fs, st.DataFolder);
  } else {
    folders.push_back(st.DataFolder);
  }
  SelectFiles(st, folders, "", &selection, &total);
  if (st.options.shards > 0) KeepShard(st, &selection, &total);
  std::optional<FilesAhead> ahead;
  if (const int workers = ParallelWorkers(st, total); workers > 1) {
    try {
      ahead.emplace(st, FlatSelection(selection), workers);
    } catch (const std::system_error&) {
      ahead.reset();  // no threads: one file after another
    }
  }
  ProgressLine* progress = st.options.progress;
  if (progress) progress->Start(total);

  int64_t done = 0;
  size_t index = 0;  // of the file in the whole selection
  bool stopped = false;
  std::string opened_tree;
  for (const FolderFiles& folder : selection) {
    if (folder.list_error != 0) {
      LogMessage(st, kSection, "ZARNPFI001CE", "/{1}/{2}/",
                 MsgValues({EscapeName(folder.folder),
                            std::to_string(folder.list_error)}));
      st.FolderFailed = true;
      continue;
    }
    if (!folder.tree.empty() && !folder.paths.empty() &&
        folder.tree != opened_tree) {
      // Opened again: the tree of each named folder is the one its files
      // are reached from. It was opened once already, for its listing.
      if (int err = st.fs.OpenTree(folder.tree)) {
        LogMessage(st, kSection, "ZARNPFI001CE", "/{1}/{2}/",
                   MsgValues({EscapeName(folder.tree), std::to_string(err)}));
        st.FolderFailed = true;
        index += folder.paths.size();
        continue;
      }
      opened_tree = folder.tree;
    }
    for (size_t i = 0; i < folder.paths.size(); ++i, ++index) {
      const std::string& path = folder.paths[i];
      const AllowInterruptsAtEnd allow;
      if (const int sig = InterruptSignal()) {
        ReportInterrupt(st, sig, path);
        stopped = true;
        break;
      }
      std::string shown;  // the file on the progress line
      if (progress) {
        shown = RelativePath(st, path);
        progress->Update(done, shown, IntVar(st.machine, "*allchanges"));
      }
      LogMessage(st, kSection, "ZARNPFI003CI", "/{1}/",
                 MsgValues({EscapeName(path)}));
      st.FileAbandoned = false;
      st.machine.LimitReported = false;
      const int32_t changes_before = IntVar(st.machine, "*allchanges");
      try {
        if (ahead) {
          ahead->Process(index);
        } else {
          ProcessFile(st, path, folder.ids.empty() ? nullptr : &folder.ids[i],
                      filter);
        }
      } catch (const std::bad_alloc&) {
        // Only this file's work is lost: what it had allocated is freed on
        // the way out, the original is untouched, and the next file has
        // the memory again.
        LogMessage(st, kSection, "ZARNPFI012CE", "/{1}/",
                   MsgValues({EscapeName(path)}));
        FailFile(st);
      }
      if (st.FileAbandoned) {
        // Neither counted nor its changes: it was not processed.
        SetIntVar(st.machine, "*allchanges", changes_before);
        ReportInterrupt(st, InterruptSignal(), path);
        stopped = true;
        break;
      }
      ++done;
      if (progress)
        progress->Update(done, shown, IntVar(st.machine, "*allchanges"));
      SetIntVar(st.machine, "*allfiles",
                int64_t{IntVar(st.machine, "*allfiles")} + 1);
      if (st.machine.ErrFlag == ErrorState::kStopRun) {
        ReportStop(st, path);
        stopped = true;
        break;
      }
      LogMessage(st, kSection, "ZARNPFI005CI", "/{1}/",
                 MsgValues({st.machine.StrVars.ValueOrEmpty("*changes")}));
      if (st.machine.ErrFlag == ErrorState::kFileFailed) {
        st.machine.ErrFlag = ErrorState::kNone;
        st.FileFailed = true;
      }
    }
    if (stopped) break;
  }
  LogMessage(st, kSection, "ZARNPFI006CI", "/{1}/{2}/",
             MsgValues({st.machine.StrVars.ValueOrEmpty("*allfiles"),
                        st.machine.StrVars.ValueOrEmpty("*allchanges")}));
  if (progress) progress->Finish();
}

void ProcessFile(RunState& st, const std::string& path, const FileId* listed,
                 const Filter& filter) {
  st.machine.StrVars.Set("*file", path);
  if (filter.in != nullptr && path == kStandardStream) {
    return ProcessStream(st, filter);
  }
  FileRun run;
  if (int err =
          st.fs.ReadFile(path, listed, &run.content, &run.stamp, &run.read)) {
    ReadFailed(st, path, err);
    return;
  }
  int32_t changes = 0;
  // Only a text that differs from what was read is written back, whatever
  // the program counted: a rewrite of equal bytes would still change the
  // file's time stamps, split its hard links and replace it under anyone
  // who has it open.
  run.rewrite = RunOnFile(st.machine, run.content, changes,
                          KeepsOriginal(st.options) ? &run.original : nullptr);
  // A signal during the program: the file is left as it was.
  if (InterruptSignal() != 0) {
    st.FileAbandoned = true;
    return;
  }
  CommitFile(st, path, run);
}

void ReadFailed(RunState& st, const std::string& path, int err) {
  LogMessage(st, kSection, "ZARNPFI001CE", "/{1}/{2}/",
             MsgValues({EscapeName(path), std::to_string(err)}));
  st.machine.ErrFlag = ErrorState::kFileFailed;
}

bool KeepsOriginal(const RunOptions& options) {
  const bool diff = options.dry_run && options.diff_out != nullptr;
  const bool backup = !options.dry_run && !options.backup_suffix.empty();
  return diff || backup;
}

bool CommitFile(RunState& st, const std::string& path, FileRun& run) {
  if (!run.rewrite) return false;
  const RunOptions& options = st.options;
  const bool backup = !options.dry_run && !options.backup_suffix.empty();
  std::string& content = run.content;
  const std::string& original = run.original;
  if (options.dry_run) {
    if (options.diff_out != nullptr) WriteFileDiff(st, path, original, content);
    return false;
  }
  std::string backup_path;
  if (backup) {
    // The backup is complete before the original is replaced; without it
    // the file is not replaced at all.
    if (int err = WriteBackup(st.fs, path, options.backup_suffix, original,
                              &backup_path)) {
      WriteBackFailed(st, path, err);
      return false;
    }
  }
  // The file is replaced only if it is still what was read, so that what
  // another program wrote to it meanwhile is not overwritten.
  ReplaceOptions how;
  how.unchanged = &run.stamp;
  how.read = &run.read;
  how.before_commit = CommitGate;
  ReplaceNotes notes;
  const int err = run.prepared.ready()
                      ? st.fs.CommitReplace(run.prepared, how, &notes)
                      : st.fs.ReplaceFile(path, content, how, &notes);
  if (err == 0) {
    if (notes.set_id_cleared) {
      LogMessage(st, kSection, "ZARNPFI009CI", "/{1}/",
                 MsgValues({EscapeName(path)}));
    }
    return true;
  }
  // A backup of a version that was not replaced is not kept.
  if (backup && (err == ECANCELED || err == kChangedSinceRead)) {
    st.fs.RemoveFile(backup_path);
  }
  if (err == ECANCELED) {
    st.FileAbandoned = true;
  } else if (err == kChangedSinceRead) {
    LogMessage(st, kSection, "ZARNPFI008CE", "/{1}/",
               MsgValues({EscapeName(path)}));
    FailFile(st);
  } else {
    WriteBackFailed(st, path, err);
  }
  return false;
}

bool RunOnFile(Machine& m, std::string& content, int32_t& changes,
               std::string* original) {
  m.StrVars.Set("*changes", "0");
  m.StrVars.Set("*pos", "1");
  m.StrVars.Set(kFileStringName, std::move(content));
  content.clear();
  FileText& text = m.StrVars.file_text();
  text.TrackOriginal();
  m.RangeVars.SetRangeVar(
      RangeVarRec{std::string(kFileRangeName), 1, FileTextLength(m)});
  RunOperations(m);
  changes = IntVar(m, "*changes");
  SetIntVar(m, "*allchanges", int64_t{IntVar(m, "*allchanges")} + changes);
  const bool rewrite = changes > 0 && !text.IsOriginal();
  if (rewrite) {
    if (original != nullptr) *original = text.TakeOriginal();
    content = text.Take();
  }
  text.StopTracking();
  return rewrite;
}

}  // namespace zarn
