// An in-memory FileSystem for tests: files and folders live in maps, every
// operation is recorded, and any operation on any path can be made to fail
// with a chosen errno.
//
// WriteWholeFile goes the way of the real one: a hidden temporary file
// ".NAME.zarn-NNNNNN" beside the target receives the content, then is
// renamed over the target; on a failure the temporary file is removed. So a
// write-back can fail before anything is written, after some bytes, or at
// the rename, and a test sees what is left.
#ifndef ZARN_SUPPORT_MEMORY_FILE_SYSTEM_H_
#define ZARN_SUPPORT_MEMORY_FILE_SYSTEM_H_

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
  enum class Op { kRead, kWrite, kCreate, kRemove, kAppend, kList, kRename };

  // Adds a folder (and its parents, split at "/").
  void AddFolder(const std::string& path);
  // Adds or replaces a file; its folder is added too.
  void AddFile(const std::string& path, std::string content);
  // The content of a file, or nullptr.
  const std::string* Content(const std::string& path) const;
  // Makes the operation on that path fail with err from now on (0 clears).
  // kList on a folder fails both listings; kCreate fails CreateExclusive.
  void Fail(Op op, const std::string& path, int err);
  // The temporary file of every replacement of path receives the first
  // bytes bytes of the content, then its write fails with err.
  void FailWriteAfter(const std::string& path, size_t bytes, int err);

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
  // Number of writes of the path, appends not counted.
  int WriteCount(const std::string& path) const;

  bool IsFile(const std::string& path) override;
  bool IsFolder(const std::string& path) override;
  int ReadWholeFile(const std::string& path, std::string* content) override;
  int WriteWholeFile(const std::string& path,
                     std::string_view content) override;
  int CreateExclusive(const std::string& path,
                      std::string_view content) override;
  int RemoveFile(const std::string& path) override;
  int AppendToFile(const std::string& path, std::string_view data) override;
  int ListFiles(const std::string& folder,
                std::vector<std::string>* names) override;
  int ListSubfolders(const std::string& folder,
                     std::vector<std::string>* names) override;

 private:
  int Failure(Op op, const std::string& path) const;
  static std::string Parent(const std::string& path);

  std::map<std::string, std::string> files_;
  std::set<std::string> folders_;
  std::map<std::pair<Op, std::string>, int> failures_;
  std::map<std::string, std::pair<size_t, int>> partial_writes_;
  std::vector<std::string> reads_, writes_, removals_;
  std::vector<std::pair<std::string, std::string>> temporaries_;
  int next_temporary_ = 0;
};

}  // namespace zarn

#endif  // ZARN_SUPPORT_MEMORY_FILE_SYSTEM_H_
