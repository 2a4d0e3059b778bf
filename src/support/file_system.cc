#include "support/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/un.h>
#include <sys/xattr.h>
#include <unistd.h>

#if __has_include(<linux/openat2.h>)
#include <linux/openat2.h>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "support/large_buffer.h"

namespace zarn {

void UniqueFd::Reset() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

int UniqueFd::Close() {
  int rc = ::close(fd_);
  fd_ = -1;
  return rc == 0 ? 0 : errno;
}

namespace {

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

int64_t Nanoseconds(const struct timespec& t) {
  return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

FileId IdOf(const struct stat& st) {
  return FileId{static_cast<uint64_t>(st.st_dev),
                static_cast<uint64_t>(st.st_ino)};
}

FileStamp StampOf(const struct stat& st) {
  return FileStamp{IdOf(st), static_cast<int64_t>(st.st_size),
                   Nanoseconds(st.st_mtim), Nanoseconds(st.st_ctim)};
}

// Opens rel (components separated by "/", empty for the folder itself)
// below the open folder root without following a link anywhere; returns
// the descriptor or -errno. ".." is refused: nothing the tree lists has it.
int OpenBeneath(int root, std::string_view rel, int flags) {
  flags |= O_CLOEXEC;
#if defined(SYS_openat2) && defined(RESOLVE_NO_SYMLINKS)
  {
    // Without O_NOFOLLOW, so that a link as the last component is refused
    // as a link (ELOOP), not as a folder that is none (ENOTDIR).
    struct open_how how {};
    how.flags = static_cast<uint64_t>(flags);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const std::string p = rel.empty() ? std::string(".") : std::string(rel);
    long fd = ::syscall(SYS_openat2, root, p.c_str(), &how, sizeof how);
    if (fd >= 0) return static_cast<int>(fd);
    // An old kernel (ENOSYS), a sandbox that forbids the call (EPERM), a
    // path beyond PATH_MAX and a rename elsewhere in the system during the
    // call (EAGAIN) take the walk below, which has none of these limits.
    if (errno != ENOSYS && errno != EPERM && errno != E2BIG &&
        errno != ENAMETOOLONG && errno != EAGAIN) {
      return -errno;
    }
  }
#endif
  UniqueFd current(::openat(root, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (current.get() < 0) return -errno;
  std::vector<std::string_view> parts;
  size_t pos = 0;
  while (pos <= rel.size()) {
    size_t end = rel.find(kPathSep, pos);
    if (end == std::string_view::npos) end = rel.size();
    std::string_view part = rel.substr(pos, end - pos);
    if (part == "..") return -EXDEV;
    if (!part.empty() && part != ".") parts.push_back(part);
    pos = end + 1;
  }
  if (parts.empty()) {
    int fd = ::openat(current.get(), ".", flags);
    return fd >= 0 ? fd : -errno;
  }
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string part(parts[i]);
    const bool last = i + 1 == parts.size();
    int next = ::openat(
        current.get(), part.c_str(),
        (last ? flags : O_RDONLY | O_DIRECTORY | O_CLOEXEC) | O_NOFOLLOW);
    if (next < 0) {
      // A link opened as a folder is refused as one that is none; it is
      // reported as the link it is, as openat2 does.
      const int err = errno;
      struct stat st;
      if (err == ENOTDIR &&
          ::fstatat(current.get(), part.c_str(), &st, AT_SYMLINK_NOFOLLOW) ==
              0 &&
          S_ISLNK(st.st_mode)) {
        return -ELOOP;
      }
      return -err;
    }
    current = UniqueFd(next);
  }
  return current.Release();
}

// The names of the extended attributes of the open file fd. Nothing when
// the file system has none.
std::vector<std::string> AttributeNames(int fd) {
  std::vector<std::string> names;
  std::string buf;
  for (int attempt = 0; attempt < 8; ++attempt) {
    ssize_t need = ::flistxattr(fd, nullptr, 0);
    if (need <= 0) return names;
    buf.resize(static_cast<size_t>(need));
    ssize_t n = ::flistxattr(fd, buf.data(), buf.size());
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

// The value of one attribute of the open file fd; false when it cannot be
// read.
bool AttributeValue(int fd, const std::string& name, std::string* value) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    ssize_t need = ::fgetxattr(fd, name.c_str(), nullptr, 0);
    if (need < 0) return false;
    value->resize(static_cast<size_t>(need));
    ssize_t n = ::fgetxattr(fd, name.c_str(), value->data(), value->size());
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
// original (open as original, or -1 when it could not be opened: then it
// lends none): user attributes, the POSIX ACL (system.posix_acl_access)
// and security labels. Attributes the temporary file got on its own (an
// ACL inherited from the folder's default ACL) but the original lacks are
// removed. A real write failure (no space, I/O error) fails the
// replacement; refused attributes are skipped.
int CopyAttributes(int original, int fd) {
  const std::vector<std::string> names =
      original >= 0 ? AttributeNames(original) : std::vector<std::string>();
  for (const std::string& name : AttributeNames(fd)) {
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

int RealFileSystem::Rename(int folder, const std::string& from_name,
                           const std::string& to_name,
                           const std::string& /*to_path*/) {
  if (!rename_keeps_existing_) {
    return ::renameat(folder, from_name.c_str(), folder, to_name.c_str()) == 0
               ? 0
               : errno;
  }
  if (::renameat2(folder, from_name.c_str(), folder, to_name.c_str(),
                  RENAME_NOREPLACE) == 0) {
    return 0;
  }
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system without that rename: a second name for the file, which
  // is refused as atomically when the name is taken, then the first one
  // removed.
  if (::linkat(folder, from_name.c_str(), folder, to_name.c_str(), 0) != 0) {
    return errno;
  }
  ::unlinkat(folder, from_name.c_str(), 0);
  return 0;
}

int RealFileSystem::Sync(int fd, bool /*is_folder*/) {
  return ::fsync(fd) == 0 ? 0 : errno;
}

std::string RealFileSystem::NextTemporarySuffix() {
  // The random bytes come in batches, three per name: one system call
  // serves twenty names.
  if (random_used_ == random_.size()) {
    size_t got = 0;
    // getrandom blocks only until the pool is first seeded at boot; an
    // interrupted or short read is continued.
    while (got < random_.size()) {
      const ssize_t n =
          ::getrandom(random_.data() + got, random_.size() - got, 0);
      if (n > 0) {
        got += static_cast<size_t>(n);
      } else if (errno != EINTR) {
        break;
      }
    }
    random_used_ = 0;
  }
  const unsigned char* bits = random_.data() + random_used_;
  random_used_ += 3;
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%02x%02x%02x", bits[0], bits[1],
                bits[2]);
  return suffix;
}

void RealFileSystem::Reached(FileStep /*step*/, const std::string& /*path*/) {}

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
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool RealFileSystem::IsFolder(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int RealFileSystem::OpenTree(const std::string& root) {
  cached_folder_.Reset();
  cached_folder_path_.clear();
  tree_path_.clear();
  tree_ = UniqueFd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (tree_.get() < 0) return errno;
  tree_path_ = root;
  return 0;
}

bool RealFileSystem::InTree(const std::string& path, std::string* rel) const {
  if (tree_.get() < 0 || path.compare(0, tree_path_.size(), tree_path_) != 0) {
    return false;
  }
  if (path.size() > tree_path_.size() && tree_path_.back() != kPathSep &&
      path[tree_path_.size()] != kPathSep) {
    return false;  // "/data2" is not below "/data"
  }
  size_t from = tree_path_.size();
  while (from < path.size() && path[from] == kPathSep) ++from;
  rel->assign(path, from);
  return true;
}

int RealFileSystem::OpenFolder(const std::string& folder, UniqueFd* fd) {
  std::string rel;
  if (InTree(folder, &rel)) {
    int got = OpenBeneath(tree_.get(), rel, O_RDONLY | O_DIRECTORY);
    if (got < 0) return -got;
    *fd = UniqueFd(got);
    return 0;
  }
  *fd = UniqueFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return fd->get() < 0 ? errno : 0;
}

int RealFileSystem::FolderOf(const std::string& path, UniqueFd* own,
                             int* folder, std::string* name) {
  *name = NamePart(path);
  if (name->empty() || *name == "." || *name == "..") return EISDIR;
  const std::string folder_path = FolderPart(path);
  std::string rel;
  if (!InTree(path, &rel)) {
    if (int err = OpenFolder(folder_path, own)) return err;
    *folder = own->get();
    return 0;
  }
  if (cached_folder_.get() < 0 || cached_folder_path_ != folder_path) {
    cached_folder_.Reset();
    cached_folder_path_.clear();
    if (int err = OpenFolder(folder_path, &cached_folder_)) return err;
    cached_folder_path_ = folder_path;
  }
  *folder = cached_folder_.get();
  return 0;
}

int RealFileSystem::LockFolder(const std::string& folder) {
  // The lock belongs to an open descriptor of the folder itself: nothing is
  // created in it, and the system releases the lock with the process,
  // however it ends, so a lock is never left behind.
  UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) return errno;
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return errno;
  locks_.push_back(std::move(fd));
  return 0;
}

int RealFileSystem::LockShard(const std::string& folder,
                              std::string_view shard) {
  UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) return errno;
  if (::flock(fd.get(), LOCK_SH | LOCK_NB) != 0) return errno;
  struct stat folder_stat;
  if (::fstat(fd.get(), &folder_stat) != 0) return errno;
  // The shard's own lock is a name in the abstract socket namespace, made
  // of the folder's identity and the shard: held by a bound socket, gone
  // with the process however it ends, and nothing is created on disk.
  UniqueFd sock(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (sock.get() < 0) return errno;
  const std::string name = "zarn-shard/" + std::to_string(folder_stat.st_dev) +
                           "/" + std::to_string(folder_stat.st_ino) + "/" +
                           std::string(shard);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (name.size() + 1 > sizeof address.sun_path) return ENAMETOOLONG;
  std::memcpy(address.sun_path + 1, name.data(), name.size());
  const auto size =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  if (::bind(sock.get(), reinterpret_cast<const sockaddr*>(&address), size) !=
      0) {
    return errno == EADDRINUSE ? EWOULDBLOCK : errno;
  }
  locks_.push_back(std::move(fd));
  locks_.push_back(std::move(sock));
  return 0;
}

int RealFileSystem::StampFile(const std::string& path, FileStamp* stamp) {
  UniqueFd own;
  int folder = -1;
  std::string name;
  if (int err = FolderOf(path, &own, &folder, &name)) return err;
  struct stat st;
  if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno;
  }
  *stamp = StampOf(st);
  return 0;
}

int RealFileSystem::ReadFile(const std::string& path, const FileId* expect,
                             std::string* content, FileStamp* stamp,
                             ReadHandle* kept) {
  content->clear();
  UniqueFd fd;
  std::string rel;
  if (InTree(path, &rel)) {
    Reached(FileStep::kOpen, path);
    UniqueFd own;
    int folder = -1;
    std::string name;
    if (int err = FolderOf(path, &own, &folder, &name)) return err;
    if (expect != nullptr) {
      // Looked at before it is opened: opening a device or a pipe put in
      // its place could already do harm.
      struct stat pre;
      if (::fstatat(folder, name.c_str(), &pre, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno;
      }
      if (S_ISLNK(pre.st_mode)) return ELOOP;
      if (IdOf(pre) != *expect) return ESTALE;
    }
    fd = UniqueFd(::openat(folder, name.c_str(),
                           O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
  } else {
    // Without O_NONBLOCK a pipe put in place of a file would block the run
    // in open() for good; nothing but a regular file is read.
    fd = UniqueFd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  }
  if (fd.get() < 0) return errno;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return errno;
  if (expect != nullptr && IdOf(st) != *expect) return ESTALE;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  if (!S_ISREG(st.st_mode)) return EINVAL;
  if (st.st_size > kMaxFileSize) return EFBIG;
  // Taken before the bytes are read: whatever another program does to the
  // file from here on changes the stamp.
  if (stamp != nullptr) *stamp = StampOf(st);
  try {
    // The room *content already has is used again (a caller reading file
    // after file keeps one buffer).
    std::string data = std::move(*content);
    // Read straight into the string, sized by what fstat said; a file that
    // grows while it is read gets room as it comes, up to the limit. New
    // room is advised for huge pages before it is first touched, so that
    // sizing it costs a few dozen page faults rather than one per 4 KB.
    const size_t had = data.capacity();
    data.reserve(static_cast<size_t>(st.st_size) + 1);
    if (data.capacity() != had) AdviseLargeBuffer(data.data(), data.capacity());
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
      const bool short_read = n < data.size() - used;
      used += n;
      // A read that stops short exactly where fstat put the end is at the
      // end: no further read is needed to learn it. (Anywhere else a short
      // read proves nothing; the loop goes on until a read returns none.)
      if (short_read && used == static_cast<size_t>(st.st_size)) break;
    }
    if (used > static_cast<size_t>(kMaxFileSize)) return EFBIG;
    data.resize(used);
    *content = std::move(data);
  } catch (const std::bad_alloc&) {
    return ENOMEM;  // the file is simply not read
  }
  if (kept != nullptr) {
    kept->fd = std::move(fd);
    kept->mode = st.st_mode;
    kept->uid = st.st_uid;
    kept->gid = st.st_gid;
  }
  return 0;
}

void PreparedReplace::Abandon() {
  if (!temp_.empty()) ::unlinkat(folder_.get(), temp_.c_str(), 0);
  temp_.clear();
}

PreparedReplace& PreparedReplace::operator=(PreparedReplace&& other) noexcept {
  if (this != &other) {
    Abandon();
    folder_ = std::move(other.folder_);
    name_ = std::move(other.name_);
    path_ = std::move(other.path_);
    temp_ = std::exchange(other.temp_, std::string());
    set_id_cleared_ = other.set_id_cleared_;
  }
  return *this;
}

std::unique_ptr<FileSystem> RealFileSystem::ForWorker() {
  auto worker = std::make_unique<RealFileSystem>();
  worker->set_sync_writes(sync_writes());
  if (tree_.get() >= 0) {
    worker->tree_ = UniqueFd(::fcntl(tree_.get(), F_DUPFD_CLOEXEC, 0));
    if (worker->tree_.get() < 0) return nullptr;
    worker->tree_path_ = tree_path_;
  }
  return worker;
}

int RealFileSystem::PrepareReplace(const std::string& path,
                                   std::string_view content,
                                   const ReadHandle* read,
                                   PreparedReplace* prepared) {
  UniqueFd own;
  int folder = -1;
  std::string name;
  if (int err = FolderOf(path, &own, &folder, &name)) return err;
  // The folder stays open with the temporary file: the check and the
  // rename go through the folder the file was read from.
  UniqueFd kept(own.get() >= 0 ? own.Release()
                               : ::fcntl(folder, F_DUPFD_CLOEXEC, 0));
  if (kept.get() < 0) return errno;
  std::string temp;
  ReplaceNotes notes;
  ReplaceOptions how;
  how.read = read;
  try {
    if (int err =
            PrepareIn(kept.get(), name, path, content, how, &notes, &temp)) {
      return err;
    }
  } catch (const std::bad_alloc&) {
    if (!temp.empty()) ::unlinkat(kept.get(), temp.c_str(), 0);
    return ENOMEM;
  }
  prepared->folder_ = std::move(kept);
  prepared->name_ = std::move(name);
  prepared->path_ = path;
  prepared->temp_ = std::move(temp);
  prepared->set_id_cleared_ = notes.set_id_cleared;
  return 0;
}

int RealFileSystem::CommitReplace(PreparedReplace& prepared,
                                  const ReplaceOptions& options,
                                  ReplaceNotes* notes) {
  if (notes != nullptr) notes->set_id_cleared = prepared.set_id_cleared_;
  return CommitIn(prepared.folder_.get(), prepared.name_, prepared.path_,
                  options, &prepared.temp_);
}

int RealFileSystem::ReplaceFile(const std::string& path,
                                std::string_view content,
                                const ReplaceOptions& options,
                                ReplaceNotes* notes) {
  if (notes != nullptr) *notes = ReplaceNotes();
  UniqueFd own;
  int folder = -1;
  std::string name;
  if (int err = FolderOf(path, &own, &folder, &name)) return err;
  std::string temp;
  try {
    return ReplaceIn(folder, name, path, content, options, notes, &temp);
  } catch (const std::bad_alloc&) {
    if (!temp.empty()) ::unlinkat(folder, temp.c_str(), 0);
    return ENOMEM;
  }
}

int RealFileSystem::ReplaceIn(int folder, const std::string& name,
                              const std::string& path, std::string_view content,
                              const ReplaceOptions& options,
                              ReplaceNotes* notes, std::string* temp) {
  if (int err = PrepareIn(folder, name, path, content, options, notes, temp)) {
    return err;
  }
  return CommitIn(folder, name, path, options, temp);
}

int RealFileSystem::PrepareIn(int folder, const std::string& name,
                              const std::string& path, std::string_view content,
                              const ReplaceOptions& options,
                              ReplaceNotes* notes, std::string* temp) {
  // The file that lends its attributes: looked at without following a
  // link (a link at the path is replaced by the new file, and its target
  // neither lends its attributes nor is written), and opened only when it
  // is a regular file, for its extended attributes.
  // The file as its read left it open serves as well, and costs no look.
  struct stat old {};
  bool had_old = false;
  UniqueFd like_own;
  int like = -1;
  if (options.like.empty() && options.read != nullptr &&
      options.read->fd.get() >= 0) {
    had_old = true;
    old.st_mode = options.read->mode;
    old.st_uid = options.read->uid;
    old.st_gid = options.read->gid;
    like = options.read->fd.get();
  } else {
    const std::string like_name =
        options.like.empty() ? name : NamePart(options.like);
    had_old =
        ::fstatat(folder, like_name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(old.st_mode);
    if (had_old) {
      like_own =
          UniqueFd(::openat(folder, like_name.c_str(),
                            O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
      like = like_own.get();
    }
  }
  mode_t mode = had_old ? (old.st_mode & 07777) : DefaultFileMode();

  // A hidden name in the same folder, so that the rename is atomic and no
  // run ever lists a left-over temporary file as data. Created exclusively
  // (never through a planted file or link) and readable by the owner only
  // until it has the original's attributes.
  int fd_raw = -1;
  for (int attempt = 0; attempt < 100 && fd_raw < 0; ++attempt) {
    *temp = NamePart(TemporaryName(path, NextTemporarySuffix()));
    fd_raw =
        ::openat(folder, temp->c_str(),
                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd_raw < 0 && errno != EEXIST) {
      const int err = errno;
      temp->clear();
      return err;
    }
  }
  if (fd_raw < 0) {
    temp->clear();
    return EEXIST;
  }
  UniqueFd fd(fd_raw);
  auto fail = [&](int err) {
    ::unlinkat(folder, temp->c_str(), 0);
    temp->clear();
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
    // Only a set-id file needs to know whom the new one belongs to now.
    if ((mode & (S_ISUID | S_ISGID)) != 0) {
      struct stat now;
      if (::fstat(fd.get(), &now) != 0) return fail(errno);
      if (now.st_uid != old.st_uid || now.st_gid != old.st_gid) {
        // The new file belongs to whoever runs Zarn: with the original's
        // set-id bits it would run as that user, or that group.
        mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
        if (notes != nullptr) notes->set_id_cleared = true;
      }
    }
    if (int err = CopyAttributes(like, fd.get())) return fail(err);
  }
  if (::fchmod(fd.get(), mode) != 0) return fail(errno);
  if (sync_writes()) {
    if (int err = Sync(fd.get(), /*is_folder=*/false)) return fail(err);
  }
  if (int err = fd.Close()) return fail(err);
  return 0;
}

int RealFileSystem::CommitIn(int folder, const std::string& name,
                             const std::string& path,
                             const ReplaceOptions& options, std::string* temp) {
  auto fail = [&](int err) {
    ::unlinkat(folder, temp->c_str(), 0);
    temp->clear();
    return err;
  };
  if (options.before_commit) {
    if (int err = options.before_commit()) return fail(err);
  }
  Reached(FileStep::kCommit, path);
  // From the check to the rename only two system calls remain; a writer
  // that strikes in between is the one change that can still be lost.
  struct stat target;
  const bool had_target =
      ::fstatat(folder, name.c_str(), &target, AT_SYMLINK_NOFOLLOW) == 0;
  if (options.unchanged != nullptr &&
      (!had_target || StampOf(target) != *options.unchanged)) {
    return fail(kChangedSinceRead);
  }
  rename_keeps_existing_ = options.keep_existing;
  const int renamed = Rename(folder, *temp, name, path);
  rename_keeps_existing_ = false;
  if (renamed != 0) return fail(renamed);
  temp->clear();
  if (had_target) {
    // A file kept open for appends (the log, processed as a data file) is
    // now the old one: the next append opens the new one.
    for (auto it = appends_.begin(); it != appends_.end();) {
      if (it->second.id == IdOf(target)) {
        it = appends_.erase(it);
      } else {
        ++it;
      }
    }
  }
  if (sync_writes()) {
    // The rename itself is durable only once the folder is on disk. The
    // file already holds its new content, so a failure here is not a
    // failure of the replacement.
    Sync(folder, /*is_folder=*/true);
  }
  return 0;
}

int RealFileSystem::CreateExclusive(const std::string& path,
                                    std::string_view content) {
  UniqueFd fd(::open(path.c_str(),
                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                     0600));
  if (fd.get() < 0) return errno;
  if (int err = WriteAll(fd.get(), content)) {
    ::unlink(path.c_str());
    return err;
  }
  return fd.Close();
}

int RealFileSystem::RemoveFile(const std::string& path) {
  UniqueFd own;
  int folder = -1;
  std::string name;
  if (int err = FolderOf(path, &own, &folder, &name)) return err;
  return ::unlinkat(folder, name.c_str(), 0) == 0 ? 0 : errno;
}

int RealFileSystem::AppendToFile(const std::string& path,
                                 std::string_view data) {
  auto open_file = appends_.find(path);
  if (open_file == appends_.end()) {
    // A pipe without a reader in place of the log would block open() for
    // good; with O_NONBLOCK it fails (ENXIO) instead. A link at the name
    // is refused (ELOOP), and so is anything but a regular file.
    UniqueFd fd(::open(
        path.c_str(),
        O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
        0666));
    if (fd.get() < 0) return errno;
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) return errno;
    if (!S_ISREG(st.st_mode)) return EINVAL;
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
      return errno;
    }
    open_file =
        appends_.emplace(path, AppendFile{std::move(fd), IdOf(st)}).first;
  }
  return WriteAll(open_file->second.fd.get(), data);
}

template <typename Keep>
int RealFileSystem::ListEntries(const std::string& folder,
                                std::vector<std::string>* names,
                                std::vector<FileId>* ids, Keep keep) {
  names->clear();
  if (ids != nullptr) ids->clear();
  UniqueFd fd;
  if (int err = OpenFolder(folder, &fd)) return err;
  std::vector<std::pair<std::string, FileId>> entries;
  // The entries straight from the system, without a DIR stream (whose
  // opening looks at the open folder three more times).
  alignas(struct dirent64) char buffer[32768];
  while (true) {
    const ssize_t got = ::getdents64(fd.get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (got == 0) break;
    for (ssize_t at = 0; at < got;) {
      const auto* e = reinterpret_cast<const struct dirent64*>(buffer + at);
      at += e->d_reclen;
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      unsigned char type = e->d_type;
      FileId id;
      if (type == DT_UNKNOWN || (type == DT_REG && ids != nullptr)) {
        struct stat st;
        if (::fstatat(fd.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
          continue;  // gone since it was listed
        }
        if (S_ISREG(st.st_mode))
          type = DT_REG;
        else if (S_ISDIR(st.st_mode))
          type = DT_DIR;
        else
          type = DT_LNK;  // anything else is never listed
        id = IdOf(st);
      }
      if (keep(name, type)) entries.emplace_back(std::move(name), id);
    }
  }
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [name, id] : entries) {
    names->push_back(std::move(name));
    if (ids != nullptr) ids->push_back(id);
  }
  return 0;
}

int RealFileSystem::ListFiles(const std::string& folder,
                              std::vector<std::string>* names,
                              std::vector<FileId>* ids) {
  return ListEntries(folder, names, ids,
                     [](const std::string& name, unsigned char type) {
                       return type == DT_REG && name[0] != '.';
                     });
}

int RealFileSystem::ListSubfolders(const std::string& folder,
                                   std::vector<std::string>* names) {
  return ListEntries(
      folder, names, nullptr,
      [](const std::string&, unsigned char type) { return type == DT_DIR; });
}

}  // namespace zarn
