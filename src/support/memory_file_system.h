// An in-memory FileSystem for tests: files and folders live in maps, every
// operation is recorded, and any operation on any path can be made to fail
// with a chosen errno. Not thread-safe.
//
// WriteWholeFile goes the way of the real one: a hidden temporary file
// ".NAME.zarn-NNNNNN" beside the target receives the content, then is
// renamed over the target; on a failure the temporary file is removed. So a
// write-back can fail before anything is written, after some bytes, or at
// the rename, and a test sees what is left.
//
// Every file has an inode number, new for each file made (AddFile of a new
// path, a replacement), and a version that every change raises: its
// FileStamp. A hook set for a FileStep plays a concurrent writer or an
// attacker at that moment.
#ifndef ZARN_SUPPORT_MEMORY_FILE_SYSTEM_H_
#define ZARN_SUPPORT_MEMORY_FILE_SYSTEM_H_

#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/file_system.h"

namespace zarn {

class MemoryFileSystem : public FileSystem {
 public:
  // kWrite: the temporary file of a replacement cannot be created;
  // kRename: the rename over the target fails.
  // kLock: LockFolder or LockShard of the folder.
  enum class Op {
    kRead,
    kWrite,
    kCreate,
    kRemove,
    kAppend,
    kList,
    kRename,
    kLock
  };
  using Hook = std::function<void(const std::string& path)>;

  using FileSystem::ListFiles;

  // Adds a folder (and its parents, split at "/").
  void AddFolder(const std::string& path);
  // Adds a file, or changes the content of the file of that path in place
  // (the same inode, a new version); its folder is added too.
  void AddFile(const std::string& path, std::string content);
  // The content of a file, or nullptr.
  const std::string* Content(const std::string& path) const;
  // Makes the operation on that path fail with err from now on (0 clears).
  // kList on a folder fails both listings; kCreate fails CreateExclusive.
  void Fail(Op op, const std::string& path, int err);
  // The temporary file of every replacement of path receives the first
  // bytes bytes of the content, then its write fails with err.
  void FailWriteAfter(const std::string& path, size_t bytes, int err);

  // Runs hook whenever a file reaches the step (nullptr: no hook).
  void SetHook(FileStep step, Hook hook) { hooks_[step] = std::move(hook); }

  // Every file path, hidden ones included, in byte order.
  std::vector<std::string> AllFiles() const;
  // The temporary files created so far, each with what it held when its
  // replacement ended (all of the content, or the bytes before a failure).
  const std::vector<std::pair<std::string, std::string>>& temporaries() const {
    return temporaries_;
  }

  // What happened, in order.
  const std::vector<std::string>& reads() const { return reads_; }
  const std::vector<std::string>& writes() const { return writes_; }
  const std::vector<std::string>& removals() const { return removals_; }
  // The folders locked, in order.
  const std::vector<std::string>& locks() const { return locks_; }
  // Number of writes of the path, appends not counted.
  int WriteCount(const std::string& path) const;

  bool IsFile(const std::string& path) override;
  bool IsFolder(const std::string& path) override;
  int OpenTree(const std::string& root) override;
  int LockFolder(const std::string& folder) override;
  int LockShard(const std::string& folder, std::string_view shard) override;
  int ReadFile(const std::string& path, const FileId* expect,
               std::string* content, FileStamp* stamp,
               ReadHandle* kept) override;
  int StampFile(const std::string& path, FileStamp* stamp) override;
  int ReplaceFile(const std::string& path, std::string_view content,
                  const ReplaceOptions& options, ReplaceNotes* notes) override;
  int CreateExclusive(const std::string& path,
                      std::string_view content) override;
  int RemoveFile(const std::string& path) override;
  int AppendToFile(const std::string& path, std::string_view data) override;
  int ListFiles(const std::string& folder, std::vector<std::string>* names,
                std::vector<FileId>* ids) override;
  int ListSubfolders(const std::string& folder,
                     std::vector<std::string>* names) override;

 private:
  struct File {
    std::string content;
    uint64_t inode = 0;
    int64_t version = 0;
  };

  int Failure(Op op, const std::string& path) const;
  static std::string Parent(const std::string& path);
  void Run(FileStep step, const std::string& path);
  FileStamp StampOf(const File& file) const;
  // A new file, or the file of that path changed in place.
  File& Write(const std::string& path);

  std::map<std::string, File> files_;
  std::set<std::string> folders_;
  std::map<std::pair<Op, std::string>, int> failures_;
  std::map<std::string, std::pair<size_t, int>> partial_writes_;
  std::map<FileStep, Hook> hooks_;
  std::vector<std::string> reads_, writes_, removals_, locks_;
  std::vector<std::pair<std::string, std::string>> temporaries_;
  int next_temporary_ = 0;
  uint64_t next_inode_ = 1;
  int64_t clock_ = 0;
};

}  // namespace zarn

#endif  // ZARN_SUPPORT_MEMORY_FILE_SYSTEM_H_
