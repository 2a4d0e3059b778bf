// The real file system with faults on demand: a read, a write after a given
// number of bytes, a rename or an fsync fails with a chosen errno, on real
// files in a real folder; hooks step in at chosen moments of a file's
// processing. The file a descriptor belongs to is found through
// /proc/self/fd, so a fault hits only the files whose path contains a
// chosen text (a temporary file's ".zarn-" mark, the log's name).
#ifndef ZARN_TESTS_SUPPORT_FAULTY_REAL_FILE_SYSTEM_H_
#define ZARN_TESTS_SUPPORT_FAULTY_REAL_FILE_SYSTEM_H_

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "support/file_system.h"

namespace zarn::testing {

class FaultyRealFileSystem : public RealFileSystem {
 public:
  struct Fault {
    std::string path_part;  // empty: no fault
    size_t after = 0;       // bytes that still succeed (writes only)
    int err = 0;
  };

  // Reads of files whose path contains path_part fail with err.
  void FailRead(const std::string& path_part, int err) {
    read_fault_ = {path_part, 0, err};
  }
  // Writes to files whose path contains path_part fail with err once
  // `after` bytes have been written to that descriptor.
  void FailWriteAfter(const std::string& path_part, size_t after, int err) {
    write_fault_ = {path_part, after, err};
  }
  // Renames onto a path containing path_part fail with err.
  void FailRename(const std::string& path_part, int err) {
    rename_fault_ = {path_part, 0, err};
  }
  // fsync of a written file whose path contains path_part fails with err.
  void FailFileSync(const std::string& path_part, int err) {
    sync_fault_ = {path_part, 0, err};
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

 protected:
  int ReadSome(int fd, char* data, size_t size, size_t* got) override {
    if (Hits(read_fault_, PathOf(fd))) return read_fault_.err;
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
    if (Hits(write_fault_, path)) {
      off_t at = ::lseek(fd, 0, SEEK_CUR);
      size_t done = at < 0 ? 0 : static_cast<size_t>(at);
      if (done >= write_fault_.after) return write_fault_.err;
      // Let the bytes up to the limit through, like a disk that fills.
      if (size > write_fault_.after - done) size = write_fault_.after - done;
    }
    return RealFileSystem::WriteSome(fd, data, size, written);
  }

  int Rename(int folder, const std::string& from_name,
             const std::string& to_name, const std::string& to) override {
    if (Hits(rename_fault_, to)) return rename_fault_.err;
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
    if (!is_folder && Hits(sync_fault_, path)) return sync_fault_.err;
    return RealFileSystem::Sync(fd, is_folder);
  }

  std::string NextTemporarySuffix() override {
    if (suffixes_.empty()) return RealFileSystem::NextTemporarySuffix();
    std::string s = suffixes_.front();
    suffixes_.pop_front();
    return s;
  }

 private:
  static std::string PathOf(int fd) {
    char buf[PATH_MAX];
    std::string link = "/proc/self/fd/" + std::to_string(fd);
    ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
  }
  static bool Hits(const Fault& f, const std::string& path) {
    return !f.path_part.empty() && path.find(f.path_part) != std::string::npos;
  }

  Fault read_fault_, write_fault_, rename_fault_, sync_fault_;
  std::deque<std::string> suffixes_;
};

}  // namespace zarn::testing

#endif  // ZARN_TESTS_SUPPORT_FAULTY_REAL_FILE_SYSTEM_H_
