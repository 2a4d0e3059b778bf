// The file loop: the traversal of the data folder tree, the processing of
// one file, and the operation loop that runs the program on it.
#ifndef ZARN_RUN_FILE_LOOP_H_
#define ZARN_RUN_FILE_LOOP_H_

#include <cstdint>
#include <string>

#include "commands/run_state.h"
#include "run/command_job.h"
#include "support/file_system.h"

namespace zarn {

// Applies the program to every selected file of the data folder tree (or
// of the paths of a command-line job, or of the run's shard of them) and
// logs the summary. A filter's text comes from filter.in and goes to
// filter.out. With options.jobs above 1 and a program whose run on a file
// depends on that file alone, the files run on several workers and are
// committed in their order (run/files_ahead.h), with the same result.
void ProcessFileSet(RunState& st, const Filter& filter = {});

// Reads one file, runs the program on it and writes it back when changed;
// ErrFlag is kFileFailed when the file cannot be read or written back. listed
// (may be null) is the identity the file had when its folder was listed:
// another file found at the path is not read. FileAbandoned is set when a
// signal made the run leave the file as it was.
// The path "-" with a filter is standard input, edited to standard output.
void ProcessFile(RunState& st, const std::string& path, const FileId* listed,
                 const Filter& filter = {});

// What the program's run on a file leaves for the file's write-back.
struct FileRun {
  FileStamp stamp;       // what the read saw of the file
  std::string content;   // the text as read; the new text when rewrite
  std::string original;  // the text as read, when KeepsOriginal
  bool rewrite = false;  // the program changed the text
  // The file as read, still open, for the attributes of its replacement;
  // closed once it is no longer needed.
  ReadHandle read;
  // The new text already in a temporary file beside the file, when a
  // worker prepared the replacement (see FileSystem::PrepareReplace).
  PreparedReplace prepared;
};

// Whether a run keeps the text of a changed file as read (for its diff or
// its backup).
bool KeepsOriginal(const RunOptions& options);

// Logs that the file could not be read; only the file fails.
void ReadFailed(RunState& st, const std::string& path, int err);

// The end of ProcessFile once the program has run: writes the new text
// back (after its backup), or shows its diff in a dry run, and logs what
// failed. True when the file was replaced.
bool CommitFile(RunState& st, const std::string& path, FileRun& run);

// Sets the per-file variables, runs the program on the machine (which
// starts from the variables the previous file left), and hands back the number
// of changes. True when the file is to be written back: changes > 0 and the
// final text differs from what was read; content then holds the new text
// and *original (when not null) the text as read.
bool RunOnFile(Machine& m, std::string& content, int32_t& changes,
               std::string* original = nullptr);

}  // namespace zarn

#endif  // ZARN_RUN_FILE_LOOP_H_
