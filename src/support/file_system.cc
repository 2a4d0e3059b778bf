#include "support/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <random>
#include <utility>

#include "support/large_buffer.h"

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

std::string FolderPart(const std::string& path) {
  size_t slash = path.rfind(kPathSep);
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

mode_t DefaultFileMode() {
  mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// The names of the extended attributes of the file at path (not following
// a link) or of the open file fd (path empty). Nothing when the file system
// has none.
std::vector<std::string> AttributeNames(const std::string& path, int fd) {
  std::vector<std::string> names;
  std::string buf;
  for (int attempt = 0; attempt < 8; ++attempt) {
    ssize_t need = path.empty() ? ::flistxattr(fd, nullptr, 0)
                                : ::llistxattr(path.c_str(), nullptr, 0);
    if (need <= 0) return names;
    buf.resize(static_cast<size_t>(need));
    ssize_t n = path.empty()
                    ? ::flistxattr(fd, buf.data(), buf.size())
                    : ::llistxattr(path.c_str(), buf.data(), buf.size());
    if (n < 0 && errno == ERANGE) continue;  // grew in between
    if (n <= 0) return names;
    buf.resize(static_cast<size_t>(n));
    size_t pos = 0;
    while (pos < buf.size()) {
      size_t end = buf.find('\0', pos);
      if (end == std::string::npos) end = buf.size();
      if (end > pos) names.push_back(buf.substr(pos, end - pos));
      pos = end + 1;
    }
    return names;
  }
  return names;
}

// The value of one attribute of the file at path; false when it cannot be
// read.
bool AttributeValue(const std::string& path, const std::string& name,
                    std::string* value) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    ssize_t need = ::lgetxattr(path.c_str(), name.c_str(), nullptr, 0);
    if (need < 0) return false;
    value->resize(static_cast<size_t>(need));
    ssize_t n =
        ::lgetxattr(path.c_str(), name.c_str(), value->data(), value->size());
    if (n < 0 && errno == ERANGE) continue;
    if (n < 0) return false;
    value->resize(static_cast<size_t>(n));
    return true;
  }
  return false;
}

// Attributes this process may not set (trusted.* without privilege, a
// label the security module refuses) or that this file system does not
// keep: the file is still replaced, without them.
bool IsRefusedAttribute(int err) {
  return err == ENOTSUP || err == EOPNOTSUPP || err == EPERM || err == EACCES ||
         err == EINVAL;
}

// Gives the temporary file fd exactly the extended attributes of the
// original: user attributes, the POSIX ACL (system.posix_acl_access) and
// security labels. Attributes the temporary file got on its own (an ACL
// inherited from the folder's default ACL) but the original lacks are
// removed. A real write failure (no space, I/O error) fails the
// replacement; refused attributes are skipped.
int CopyAttributes(const std::string& original, int fd) {
  const std::vector<std::string> names = AttributeNames(original, -1);
  for (const std::string& name : AttributeNames("", fd)) {
    if (std::find(names.begin(), names.end(), name) == names.end()) {
      ::fremovexattr(fd, name.c_str());  // refusals change nothing
    }
  }
  std::string value;
  for (const std::string& name : names) {
    if (!AttributeValue(original, name, &value)) continue;
    if (::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) != 0 &&
        !IsRefusedAttribute(errno)) {
      return errno;
    }
  }
  return 0;
}

}  // namespace

std::string TemporaryName(const std::string& path, std::string_view suffix) {
  constexpr std::string_view kMark = ".zarn-";
  const size_t slash = path.rfind(kPathSep);
  const std::string folder =
      slash == std::string::npos ? "." : path.substr(0, slash);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  // NAME_MAX counts bytes; the leading dot, the mark and the suffix must
  // fit beside the name.
  const size_t room = NAME_MAX - 1 - kMark.size() - suffix.size();
  if (name.size() > room) name.resize(room);
  std::string temp = folder;
  if (temp != "/") temp.push_back(kPathSep);
  temp.push_back('.');
  temp.append(name);
  temp.append(kMark);
  temp.append(suffix);
  return temp;
}

int RealFileSystem::ReadSome(int fd, char* data, size_t size, size_t* got) {
  ssize_t n = ::read(fd, data, size);
  if (n < 0) return errno;
  *got = static_cast<size_t>(n);
  return 0;
}

int RealFileSystem::WriteSome(int fd, const char* data, size_t size,
                              size_t* written) {
  ssize_t n = ::write(fd, data, size);
  if (n < 0) return errno;
  *written = static_cast<size_t>(n);
  return 0;
}

int RealFileSystem::Rename(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int RealFileSystem::Sync(int fd, bool /*is_folder*/) {
  return ::fsync(fd) == 0 ? 0 : errno;
}

std::string RealFileSystem::NextTemporarySuffix() {
  static std::minstd_rand rng(static_cast<unsigned>(::getpid()));
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%06x",
                static_cast<unsigned>(rng() & 0xffffff));
  return suffix;
}

int RealFileSystem::WriteAll(int fd, std::string_view data) {
  const char* p = data.data();
  size_t left = data.size();
  while (left > 0) {
    size_t n = 0;
    if (int err = WriteSome(fd, p, left, &n)) {
      if (err == EINTR) continue;
      return err;
    }
    if (n == 0) return EIO;  // no progress and no reason: give up
    p += n;
    left -= n;
  }
  return 0;
}

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
  // Without O_NONBLOCK a pipe put in place of a file would block the run
  // in open() for good; nothing but a regular file is read.
  Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return errno;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  if (!S_ISREG(st.st_mode)) return EINVAL;
  if (st.st_size > kMaxFileSize) return EFBIG;
  std::string data;
  // Read straight into the string, sized by what fstat said; a file that
  // grows while it is read gets room as it comes, up to the limit. The
  // room is advised for huge pages before it is first touched, so that
  // sizing it costs a few dozen page faults rather than one per 4 KB.
  data.reserve(static_cast<size_t>(st.st_size) + 1);
  AdviseLargeBuffer(data.data(), data.capacity());
  data.resize(static_cast<size_t>(st.st_size) + 1);
  size_t used = 0;
  while (true) {
    if (used == data.size()) {
      if (used > static_cast<size_t>(kMaxFileSize)) return EFBIG;
      data.resize(std::max<size_t>(used * 2, 1 << 16));
    }
    size_t n = 0;
    if (int err =
            ReadSome(fd.get(), data.data() + used, data.size() - used, &n)) {
      if (err == EINTR) continue;
      return err;
    }
    if (n == 0) break;
    used += n;
  }
  if (used > static_cast<size_t>(kMaxFileSize)) return EFBIG;
  data.resize(used);
  *content = std::move(data);
  return 0;
}

int RealFileSystem::WriteWholeFile(const std::string& path,
                                   std::string_view content) {
  return WriteWholeFileLike(path, content, path);
}

int RealFileSystem::WriteWholeFileLike(const std::string& path,
                                       std::string_view content,
                                       const std::string& like) {
  const std::string folder = FolderPart(path);
  struct stat old;
  // lstat: a link at the path is replaced by the new file, and its target
  // neither lends its attributes nor is written.
  const bool had_old = ::lstat(like.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  const mode_t mode = had_old ? (old.st_mode & 07777) : DefaultFileMode();

  // A hidden name in the same folder, so that the rename is atomic and no
  // run ever lists a left-over temporary file as data. Created exclusively
  // (never through a planted file or link) and readable by the owner only
  // until it has the original's attributes.
  std::string temp;
  int fd_raw = -1;
  for (int attempt = 0; attempt < 100 && fd_raw < 0; ++attempt) {
    temp = TemporaryName(path, NextTemporarySuffix());
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
    // Owner and group first: changing them may clear set-id bits and file
    // capabilities, which the attributes and the mode below restore.
    // Without the privilege to give the file away, the group alone may
    // still be kept (a group the process belongs to).
    if (::fchown(fd.get(), old.st_uid, old.st_gid) != 0) {
      if (errno != EPERM) return fail(errno);
      if (::fchown(fd.get(), static_cast<uid_t>(-1), old.st_gid) != 0 &&
          errno != EPERM) {
        return fail(errno);
      }
    }
    if (int err = CopyAttributes(like, fd.get())) return fail(err);
  }
  if (::fchmod(fd.get(), mode) != 0) return fail(errno);
  if (sync_writes()) {
    if (int err = Sync(fd.get(), /*is_folder=*/false)) return fail(err);
  }
  if (int err = fd.Close()) return fail(err);
  if (int err = Rename(temp, path)) return fail(err);
  if (sync_writes()) {
    // The rename itself is durable only once the folder is on disk. The
    // file already holds its new content, so a failure here is not a
    // failure of the replacement.
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) Sync(dir.get(), /*is_folder=*/true);
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
  // A pipe without a reader in place of the log would block open() for
  // good; with O_NONBLOCK it fails (ENXIO) instead. Writes then block as
  // usual, so that a slow reader loses no line.
  Fd fd(::open(path.c_str(),
               O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0666));
  if (fd.get() < 0) return errno;
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
    return errno;
  }
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
