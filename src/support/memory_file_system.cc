#include "support/memory_file_system.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace zarn {

std::string MemoryFileSystem::Parent(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "";
  return path.substr(0, slash);
}

void MemoryFileSystem::AddFolder(const std::string& path) {
  std::string p = path;
  while (!p.empty() && folders_.insert(p).second) p = Parent(p);
}

MemoryFileSystem::File& MemoryFileSystem::Write(const std::string& path) {
  File& file = files_[path];
  if (file.inode == 0) file.inode = next_inode_++;
  file.version = ++clock_;
  return file;
}

void MemoryFileSystem::AddFile(const std::string& path, std::string content) {
  AddFolder(Parent(path));
  Write(path).content = std::move(content);
}

const std::string* MemoryFileSystem::Content(const std::string& path) const {
  auto it = files_.find(path);
  return it == files_.end() ? nullptr : &it->second.content;
}

FileStamp MemoryFileSystem::StampOf(const File& file) const {
  return FileStamp{FileId{1, file.inode},
                   static_cast<int64_t>(file.content.size()), file.version,
                   file.version};
}

void MemoryFileSystem::Run(FileStep step, const std::string& path) {
  auto hook = hooks_.find(step);
  if (hook != hooks_.end() && hook->second) hook->second(path);
}

void MemoryFileSystem::Fail(Op op, const std::string& path, int err) {
  if (err == 0) {
    failures_.erase({op, path});
  } else {
    failures_[{op, path}] = err;
  }
}

void MemoryFileSystem::FailWriteAfter(const std::string& path, size_t bytes,
                                      int err) {
  if (err == 0) {
    partial_writes_.erase(path);
  } else {
    partial_writes_[path] = {bytes, err};
  }
}

std::vector<std::string> MemoryFileSystem::AllFiles() const {
  std::vector<std::string> paths;
  for (const auto& [path, file] : files_) paths.push_back(path);
  return paths;
}

int MemoryFileSystem::Failure(Op op, const std::string& path) const {
  auto it = failures_.find({op, path});
  return it == failures_.end() ? 0 : it->second;
}

int MemoryFileSystem::WriteCount(const std::string& path) const {
  return static_cast<int>(std::count(writes_.begin(), writes_.end(), path));
}

bool MemoryFileSystem::IsFile(const std::string& path) {
  return files_.count(path) > 0;
}

bool MemoryFileSystem::IsFolder(const std::string& path) {
  return folders_.count(path) > 0;
}

int MemoryFileSystem::OpenTree(const std::string& root) {
  return folders_.count(root) ? 0 : ENOENT;
}

int MemoryFileSystem::LockFolder(const std::string& folder) {
  if (int err = Failure(Op::kLock, folder)) return err;
  if (!folders_.count(folder)) return ENOENT;
  locks_.push_back(folder);
  return 0;
}

int MemoryFileSystem::LockShard(const std::string& folder,
                                std::string_view shard) {
  if (int err = Failure(Op::kLock, folder)) return err;
  if (!folders_.count(folder)) return ENOENT;
  locks_.push_back(folder + " " + std::string(shard));
  return 0;
}

// Nothing is kept open: a replacement looks the file up again.
int MemoryFileSystem::ReadFile(const std::string& path, const FileId* expect,
                               std::string* content, FileStamp* stamp,
                               ReadHandle* /*kept*/) {
  content->clear();
  if (expect != nullptr) Run(FileStep::kOpen, path);
  reads_.push_back(path);
  if (int err = Failure(Op::kRead, path)) return err;
  auto it = files_.find(path);
  if (it == files_.end()) return folders_.count(path) ? EISDIR : ENOENT;
  if (expect != nullptr && StampOf(it->second).id != *expect) return ESTALE;
  if (stamp != nullptr) *stamp = StampOf(it->second);
  *content = it->second.content;
  return 0;
}

int MemoryFileSystem::StampFile(const std::string& path, FileStamp* stamp) {
  auto it = files_.find(path);
  if (it == files_.end()) return folders_.count(path) ? EISDIR : ENOENT;
  *stamp = StampOf(it->second);
  return 0;
}

int MemoryFileSystem::ReplaceFile(const std::string& path,
                                  std::string_view content,
                                  const ReplaceOptions& options,
                                  ReplaceNotes* notes) {
  if (notes != nullptr) *notes = ReplaceNotes();
  if (int err = Failure(Op::kWrite, path)) return err;
  if (!folders_.count(Parent(path))) return ENOENT;
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%06d", next_temporary_++ % 1000000);
  const std::string temp = TemporaryName(path, suffix);
  if (files_.count(temp)) return EEXIST;
  std::string& written = Write(temp).content;
  auto fail = [&](int err) {
    temporaries_.emplace_back(temp, written);
    files_.erase(temp);
    return err;
  };
  auto partial = partial_writes_.find(path);
  if (partial != partial_writes_.end() &&
      partial->second.first < content.size()) {
    written.assign(content.substr(0, partial->second.first));
    return fail(partial->second.second);
  }
  written.assign(content);
  if (options.before_commit) {
    if (int err = options.before_commit()) return fail(err);
  }
  Run(FileStep::kCommit, path);
  if (options.unchanged != nullptr) {
    auto target = files_.find(path);
    if (target == files_.end() ||
        StampOf(target->second) != *options.unchanged) {
      return fail(kChangedSinceRead);
    }
  }
  if (int err = Failure(Op::kRename, path)) return fail(err);
  if (options.keep_existing && (files_.count(path) || folders_.count(path))) {
    return fail(EEXIST);
  }
  if (folders_.count(path)) return fail(EISDIR);
  temporaries_.emplace_back(temp, written);
  writes_.push_back(path);
  files_[path] = std::move(files_[temp]);
  files_.erase(temp);
  return 0;
}

int MemoryFileSystem::CreateExclusive(const std::string& path,
                                      std::string_view content) {
  if (int err = Failure(Op::kCreate, path)) return err;
  if (int err = Failure(Op::kCreate, Parent(path))) return err;
  if (!folders_.count(Parent(path))) return ENOENT;
  if (files_.count(path) || folders_.count(path)) return EEXIST;
  Write(path).content = std::string(content);
  return 0;
}

int MemoryFileSystem::RemoveFile(const std::string& path) {
  if (int err = Failure(Op::kRemove, path)) return err;
  if (!files_.erase(path)) return ENOENT;
  removals_.push_back(path);
  return 0;
}

int MemoryFileSystem::AppendToFile(const std::string& path,
                                   std::string_view data) {
  if (int err = Failure(Op::kAppend, path)) return err;
  if (!folders_.count(Parent(path))) return ENOENT;
  Write(path).content.append(data);
  return 0;
}

int MemoryFileSystem::ListFiles(const std::string& folder,
                                std::vector<std::string>* names,
                                std::vector<FileId>* ids) {
  names->clear();
  if (ids != nullptr) ids->clear();
  if (int err = Failure(Op::kList, folder)) return err;
  if (!folders_.count(folder)) return ENOENT;
  for (const auto& [path, file] : files_) {
    if (Parent(path) != folder) continue;
    std::string name = path.substr(folder.size() + 1);
    if (name.empty() || name[0] == '.') continue;
    names->push_back(name);
    if (ids != nullptr) ids->push_back(StampOf(file).id);
  }
  return 0;  // std::map keeps byte order
}

int MemoryFileSystem::ListSubfolders(const std::string& folder,
                                     std::vector<std::string>* names) {
  names->clear();
  if (int err = Failure(Op::kList, folder)) return err;
  if (!folders_.count(folder)) return ENOENT;
  for (const std::string& path : folders_) {
    if (path != folder && Parent(path) == folder) {
      names->push_back(path.substr(folder.size() + 1));
    }
  }
  return 0;
}

}  // namespace zarn
