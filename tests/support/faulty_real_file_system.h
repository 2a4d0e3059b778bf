// The real file system with faults on demand: a read, a write after a given
// number of bytes, a rename, an fsync, a folder listing or the creation of
// a new file fails with a chosen errno, on real files in a real folder;
// hooks step in at chosen moments of a file's processing. The
// file a descriptor belongs to is found through /proc/self/fd, so a fault
// hits only the paths that contain a chosen text (a temporary file's
// ".zarn-" mark, the log's name).
#ifndef ZARN_TESTS_SUPPORT_FAULTY_REAL_FILE_SYSTEM_H_
#define ZARN_TESTS_SUPPORT_FAULTY_REAL_FILE_SYSTEM_H_

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/file_system.h"

namespace zarn::testing {

class FaultyRealFileSystem : public RealFileSystem {
 public:
  enum class Op { kRead, kWrite, kRename, kSync, kList, kCreate };

  // Op on a path containing path_part fails with err; a write only once
  // `after` bytes have gone to that descriptor, like a disk that fills.
  void Fail(Op op, const std::string& path_part, int err, size_t after = 0) {
    faults_[op] = Fault{path_part, after, err};
  }
  // The suffixes of the next temporary names, in order.
  void PlanSuffixes(std::vector<std::string> suffixes) {
    for (auto& s : suffixes) suffixes_.push_back(std::move(s));
  }

  // What reached the disk, in order: "sync file <path>", "rename <to>",
  // "sync folder <path>".
  std::vector<std::string> events;
  // The permission bits of each temporary file when its first byte was
  // written.
  std::vector<unsigned> first_write_modes;

  // Run with the file's path at the moments of FileStep (kOpen, kCommit),
  // and right after each rename: a concurrent writer or an attacker at a
  // chosen moment.
  std::function<void(const std::string&path)> before_open, before_commit,
      after_rename;

  // Every fault and hook stays on the run's own thread.
  std::unique_ptr<FileSystem> ForWorker() override { return nullptr; }

  using RealFileSystem::ListFiles;
  int ListFiles(const std::string& folder, std::vector<std::string>* names,
                std::vector<FileId>* ids) override {
    if (Hits(Op::kList, folder)) return faults_[Op::kList].err;
    return RealFileSystem::ListFiles(folder, names, ids);
  }
  int CreateExclusive(const std::string& path,
                      std::string_view content) override {
    if (Hits(Op::kCreate, path)) return faults_[Op::kCreate].err;
    return RealFileSystem::CreateExclusive(path, content);
  }

 protected:
  int ReadSome(int fd, char* data, size_t size, size_t* got) override {
    if (Hits(Op::kRead, PathOf(fd))) return faults_[Op::kRead].err;
    return RealFileSystem::ReadSome(fd, data, size, got);
  }

  int WriteSome(int fd, const char* data, size_t size,
                size_t* written) override {
    const std::string path = PathOf(fd);
    struct stat st;
    if (path.find(".zarn-") != std::string::npos && ::fstat(fd, &st) == 0 &&
        st.st_size == 0) {
      first_write_modes.push_back(st.st_mode & 07777);
    }
    if (Hits(Op::kWrite, path)) {
      const Fault& f = faults_[Op::kWrite];
      const off_t at = ::lseek(fd, 0, SEEK_CUR);
      const size_t done = at < 0 ? 0 : static_cast<size_t>(at);
      if (done >= f.after) return f.err;
      if (size > f.after - done) size = f.after - done;
    }
    return RealFileSystem::WriteSome(fd, data, size, written);
  }

  int Rename(int folder, const std::string& from_name,
             const std::string& to_name, const std::string& to) override {
    if (Hits(Op::kRename, to)) return faults_[Op::kRename].err;
    events.push_back("rename " + to);
    const int err = RealFileSystem::Rename(folder, from_name, to_name, to);
    if (after_rename) after_rename(to);
    return err;
  }

  void Reached(FileStep step, const std::string& path) override {
    const auto& hook = step == FileStep::kOpen ? before_open : before_commit;
    if (hook) hook(path);
  }

  int Sync(int fd, bool is_folder) override {
    const std::string path = PathOf(fd);
    events.push_back((is_folder ? "sync folder " : "sync file ") + path);
    if (!is_folder && Hits(Op::kSync, path)) return faults_[Op::kSync].err;
    return RealFileSystem::Sync(fd, is_folder);
  }

  std::string NextTemporarySuffix() override {
    if (suffixes_.empty()) return RealFileSystem::NextTemporarySuffix();
    std::string s = suffixes_.front();
    suffixes_.pop_front();
    return s;
  }

 private:
  struct Fault {
    std::string path_part;  // empty: no fault
    size_t after = 0;
    int err = 0;
  };

  static std::string PathOf(int fd) {
    char buf[PATH_MAX];
    std::string link = "/proc/self/fd/" + std::to_string(fd);
    ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
  }
  bool Hits(Op op, const std::string& path) {
    const Fault& f = faults_[op];
    return !f.path_part.empty() && path.find(f.path_part) != std::string::npos;
  }

  std::map<Op, Fault> faults_;
  std::deque<std::string> suffixes_;
};

}  // namespace zarn::testing

#endif  // ZARN_TESTS_SUPPORT_FAULTY_REAL_FILE_SYSTEM_H_
