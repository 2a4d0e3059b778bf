#include "support/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <random>

namespace zarn {

namespace {

// Closes a descriptor on every path out of a function.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now and reports the close's own failure.
  int Close() {
    int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

int WriteAll(int fd, std::string_view data) {
  const char* p = data.data();
  size_t left = data.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return 0;
}

std::string FolderPart(const std::string& path) {
  size_t slash = path.rfind(kPathSep);
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NamePart(const std::string& path) {
  size_t slash = path.rfind(kPathSep);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

mode_t DefaultFileMode() {
  mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

bool RealFileSystem::IsFile(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 &&
         S_ISREG(st.st_mode);
}

bool RealFileSystem::IsFolder(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 &&
         S_ISDIR(st.st_mode);
}

int RealFileSystem::ReadWholeFile(const std::string& path,
                                  std::string* content) {
  content->clear();
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return errno;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  std::string data;
  if (st.st_size > 0) data.reserve(static_cast<size_t>(st.st_size));
  char buf[1 << 16];
  while (true) {
    // Read straight into the string when its size is known.
    if (data.capacity() > data.size()) {
      size_t old = data.size();
      size_t room = data.capacity() - old;
      data.resize(old + room);
      ssize_t n = ::read(fd.get(), data.data() + old, room);
      if (n < 0) {
        data.resize(old);
        if (errno == EINTR) continue;
        return errno;
      }
      data.resize(old + static_cast<size_t>(n));
      if (n == 0) break;
      continue;
    }
    ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) break;
    data.append(buf, static_cast<size_t>(n));
  }
  *content = std::move(data);
  return 0;
}

int RealFileSystem::WriteWholeFile(const std::string& path,
                                   std::string_view content) {
  const std::string folder = FolderPart(path);
  const std::string name = NamePart(path);
  struct stat old;
  const bool had_old = ::lstat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  const mode_t mode = had_old ? (old.st_mode & 07777) : DefaultFileMode();

  // A hidden name in the same folder, so that the rename is atomic and no
  // run ever lists a left-over temporary file as data.
  static std::minstd_rand rng(static_cast<unsigned>(::getpid()));
  std::string temp;
  int fd_raw = -1;
  for (int attempt = 0; attempt < 100 && fd_raw < 0; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%06x",
                  static_cast<unsigned>(rng() & 0xffffff));
    temp = folder + kPathSep + "." + name + ".zarn-" + suffix;
    fd_raw = ::open(temp.c_str(),
                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0600);
    if (fd_raw < 0 && errno != EEXIST) return errno;
  }
  if (fd_raw < 0) return EEXIST;
  Fd fd(fd_raw);
  auto fail = [&](int err) {
    ::unlink(temp.c_str());
    return err;
  };
  if (int err = WriteAll(fd.get(), content)) return fail(err);
  if (had_old) {
    // Owner and group first: changing them may clear set-id bits, which
    // the mode below restores.
    if (::fchown(fd.get(), old.st_uid, old.st_gid) != 0 && errno != EPERM) {
      return fail(errno);
    }
  }
  if (::fchmod(fd.get(), mode) != 0) return fail(errno);
  if (sync_writes() && ::fsync(fd.get()) != 0) return fail(errno);
  if (int err = fd.Close()) return fail(err);
  if (::rename(temp.c_str(), path.c_str()) != 0) return fail(errno);
  if (sync_writes()) {
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
  }
  return 0;
}

int RealFileSystem::CreateExclusive(const std::string& path,
                                    std::string_view content) {
  Fd fd(::open(path.c_str(),
               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (fd.get() < 0) return errno;
  if (int err = WriteAll(fd.get(), content)) {
    ::unlink(path.c_str());
    return err;
  }
  return fd.Close();
}

int RealFileSystem::RemoveFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

int RealFileSystem::AppendToFile(const std::string& path,
                                 std::string_view data) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC,
               0666));
  if (fd.get() < 0) return errno;
  if (int err = WriteAll(fd.get(), data)) return err;
  return fd.Close();
}

namespace {

// Lists the entries of a folder that pass keep(name, d_type, full path).
template <typename Keep>
int ListEntries(const std::string& folder, std::vector<std::string>* names,
                Keep keep) {
  names->clear();
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return errno;
  errno = 0;
  while (struct dirent* e = ::readdir(dir)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    unsigned char type = e->d_type;
    if (type == DT_UNKNOWN) {
      struct stat st;
      std::string full = folder + kPathSep + name;
      if (::lstat(full.c_str(), &st) != 0) continue;
      if (S_ISREG(st.st_mode)) type = DT_REG;
      else if (S_ISDIR(st.st_mode)) type = DT_DIR;
      else type = DT_LNK;  // anything else is never listed
    }
    if (keep(name, type)) names->push_back(std::move(name));
    errno = 0;
  }
  int err = errno;
  ::closedir(dir);
  if (err != 0) {
    names->clear();
    return err;
  }
  std::sort(names->begin(), names->end());
  return 0;
}

}  // namespace

int RealFileSystem::ListFiles(const std::string& folder,
                              std::vector<std::string>* names) {
  return ListEntries(folder, names, [](const std::string& name, unsigned char type) {
    return type == DT_REG && name[0] != '.';
  });
}

int RealFileSystem::ListSubfolders(const std::string& folder,
                                   std::vector<std::string>* names) {
  return ListEntries(folder, names, [](const std::string&, unsigned char type) {
    return type == DT_DIR;
  });
}

}  // namespace zarn
