// Files run ahead on worker threads and committed in their order.
//
// For a program whose run on a file depends on that file alone
// (commands/carried_state.h), the file loop hands the files to a few
// workers, each with a machine of its own started from the variables the
// run had before its first file. A worker reads its file, runs the program
// and writes the new text into a temporary file beside it, through a file
// system of its own (FileSystem::ForWorker; where there is none, the loop's
// thread reads the files). The thread of the file loop stays the only one
// that changes anything anyone can see, the log, the progress line and
// standard error: when the loop reaches a file it takes that file's
// result, writes the lines its run would have logged, and commits the file
// (backup, check, rename), exactly as the one machine of a sequential run
// would have, in the same order. The files written are
// therefore at every moment a prefix of the order, and a run that stops
// on a file leaves nothing after it written or logged.
//
// At most two files per worker are in flight, whatever the tree. The file
// loop's thread takes every file whose turn comes before a worker took it;
// once the files prove small (under 16 KB on average over the first ones),
// its own commits keep it as busy as a worker, and one worker ends so that
// the threads do not outnumber the cores. A file
// that changed between its read ahead and its turn (its stamp differs: an
// earlier file of the run replaced it under a second path, the run's own
// log is being written, another program wrote to it) is read and run
// again in its turn, where a sequential run would have read it.
//
// Thread-safety: an instance belongs to the thread of the file loop; its
// workers touch only their own machines and the files handed to them.
#ifndef ZARN_RUN_FILES_AHEAD_H_
#define ZARN_RUN_FILES_AHEAD_H_

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "commands/run_state.h"
#include "support/file_system.h"

namespace zarn {

// The number of cores this process may run on (its CPU affinity), at
// least 1.
int UsableCores();

class FilesAhead {
 public:
  // A file of the selection, in the order of the run. Files read ahead
  // never cross into the next segment: a folder the loop opens as a tree
  // of its own before its files are reached.
  struct File {
    std::string path;
    const FileId* listed = nullptr;  // see ProcessFile
    int32_t segment = 0;
  };

  // Starts `workers` threads (at least 1) for the files of the run.
  FilesAhead(RunState& st, std::vector<File> files, int workers);
  ~FilesAhead();
  FilesAhead(const FilesAhead&) = delete;
  FilesAhead& operator=(const FilesAhead&) = delete;

  // What ProcessFile does for files()[index], in its turn: its read, the
  // lines its program logs, its write-back, with the same effects on the
  // run. Called for increasing indexes; a file skipped is never read.
  void Process(size_t index);

 private:
  struct Slot;
  struct Worker;

  // Reads the files from `index` on that may be in flight, handing each to
  // the workers; the slot of index.
  Slot& Fill(size_t index);
  // Reads the file of slot through fs, into the room given, if any.
  void ReadInto(Slot& slot, FileSystem& fs, std::string* room = nullptr);
  // Reads (when no worker did) and runs the file of slot on this thread;
  // in_turn: its turn has come, so what it read needs no second look.
  void RunHere(Slot& slot, bool in_turn);
  void WorkerLoop(Worker& worker);
  void Stop();

  RunState& st_;
  const std::vector<File> files_;
  const bool keep_original_;
  size_t next_read_ = 0;
  // The file system the workers' own are made from, for the segment of
  // segment_; null when the files are read on this thread.
  std::shared_ptr<FileSystem> worker_source_;
  int32_t segment_ = -1;
  std::unique_ptr<Worker> redo_;  // runs a file again, on this thread
  // The files run so far and their size as read, until they show whether
  // the files are small.
  int64_t files_seen_ = 0;
  int64_t bytes_seen_ = 0;

  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable work_done_;
  std::map<size_t, std::unique_ptr<Slot>> slots_;  // by index
  std::deque<Slot*> queue_;
  // Files replaced by their commit, still open, for a worker to close.
  std::vector<UniqueFd> closing_;
  bool stopping_ = false;
  size_t awaited_ = 0;  // the file whose turn it is
  // The workers still taking files: those numbered below. Written by this
  // thread only, under mutex_.
  size_t active_ = 0;
  // Watched by the workers' programs between operations: a signal, or the
  // end of the run.
  std::atomic<int> cancel_{0};
  std::vector<std::unique_ptr<Worker>> workers_;
};

}  // namespace zarn

#endif  // ZARN_RUN_FILES_AHEAD_H_
