// The one narrow door to the operating system's files and folders.
//
// Every file access of the system goes through a FileSystem: the real POSIX
// implementation in the binary, an in-memory one (memory_file_system.h) that
// can inject any failure with its errno in tests. Failures are returned as
// errno values (0 = success); nothing throws.
//
// Thread-safety: a file system keeps the open folder of the file in hand
// and the run's lock, so one belongs to one thread at a time; a worker
// thread reads and prepares replacements through a file system of its own
// (ForWorker).
#ifndef ZARN_SUPPORT_FILE_SYSTEM_H_
#define ZARN_SUPPORT_FILE_SYSTEM_H_

#include <sys/types.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zarn {

// What tells one file from another on the system: its device and inode
// numbers.
struct FileId {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FileId&) const = default;
};

// What a read saw of a file just before it read the bytes: the file itself,
// its size and its modification and change times. Another program that
// writes to the file, truncates it, renames it away or puts another file in
// its place changes one of them.
struct FileStamp {
  FileId id;
  int64_t size = 0;
  int64_t mtime_ns = 0;
  int64_t ctime_ns = 0;
  bool operator==(const FileStamp&) const = default;
};

// The moments of a data file's processing at which a test steps in to play
// a concurrent writer or an attacker (RealFileSystem::Reached,
// MemoryFileSystem::SetHook).
enum class FileStep {
  // A file of the tree is about to be opened to be read (its folder is not
  // resolved yet).
  kOpen,
  // A replacement's temporary file is complete and ReplaceOptions'
  // before_commit has agreed; the check of `unchanged` and the rename
  // follow.
  kCommit,
};

// The status of a replacement refused because the file is no longer what
// its read saw (ReplaceOptions::unchanged); no errno says that.
inline constexpr int kChangedSinceRead = -1;

struct ReadHandle;

// How ReplaceFile replaces a file; the defaults are WriteWholeFile's.
struct ReplaceOptions {
  // The file, in the same folder, whose permission bits, owner, group and
  // extended attributes the new file takes; empty: the file it replaces.
  std::string like;
  // When set, the file must still be the one this stamp describes when it
  // is about to be replaced; otherwise nothing is replaced and the status
  // is kChangedSinceRead.
  const FileStamp* unchanged = nullptr;
  // The file as its read left it open (ReadHandle), with `unchanged`: the
  // new file takes its attributes from it instead of looking the file up
  // again. Unused with `like`.
  const ReadHandle* read = nullptr;
  // Called once the temporary file is complete, just before that check and
  // the rename; a status other than 0 abandons the replacement (the
  // temporary file is removed, the original untouched) and is returned.
  std::function<int()> before_commit;
  // Never replaces anything already at the path (a backup of an earlier
  // run): the new file takes the name only while it is free, atomically,
  // and the status is EEXIST otherwise.
  bool keep_existing = false;
};

// What a replacement did besides replacing.
struct ReplaceNotes {
  // The owner or the group of the original could not be given to the new
  // file, which then lost the set-user-ID and set-group-ID bits the
  // original had: a set-id program must never end up owned by whoever
  // rewrote it.
  bool set_id_cleared = false;
};

class PreparedReplace;

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // A file (not a folder) of that path exists; links are followed.
  virtual bool IsFile(const std::string& path) = 0;
  // A folder of that path exists; links are followed.
  virtual bool IsFolder(const std::string& path) = 0;

  // Makes root the data folder tree: from now on every path below root is
  // reached from root through real folders only. A symbolic link anywhere
  // below root is never followed (an operation that would have to fails
  // with ELOOP), so no path of the tree leads outside it. Root itself is
  // taken as given.
  virtual int OpenTree(const std::string& root) = 0;

  // Takes an exclusive lock for the folder, held by this file system until
  // it is destroyed and released by the system if the process dies;
  // EWOULDBLOCK when another holds it.
  virtual int LockFolder(const std::string& folder) = 0;
  // The lock of one shard of a split run (shard names it, "K/N"): the
  // folder's lock shared with the other shards' runs, which LockFolder
  // refuses, and the shard's own, which a second run of the same shard
  // cannot take; EWOULDBLOCK when either is held.
  virtual int LockShard(const std::string& folder, std::string_view shard) = 0;

  // Reads every byte of the file. A file longer than kMaxFileSize is not
  // read (EFBIG): every position of a text is a 32-bit number. With
  // `expect`, the file must be that one (a file of the tree as its listing
  // saw it): another file at the name is not read (ESTALE), nor is a link
  // (ELOOP). `stamp`, when given, receives what the read saw of the file;
  // `kept`, when given, may receive the file still open (ReadHandle).
  virtual int ReadFile(const std::string& path, const FileId* expect,
                       std::string* content, FileStamp* stamp,
                       ReadHandle* kept) = 0;
  int ReadWholeFile(const std::string& path, std::string* content) {
    return ReadFile(path, nullptr, content, nullptr, nullptr);
  }
  // What a read of the file would see of it now (ReadFile's stamp), without
  // reading it; a link is not followed.
  virtual int StampFile(const std::string& path, FileStamp* stamp) = 0;

  // Replaces the file atomically: a hidden temporary file in the same folder
  // (created exclusively, named by TemporaryName), written completely,
  // given the permission bits, extended attributes (and owner and group
  // where allowed) of the file it replaces, then renamed over it through
  // the same folder. On failure the original is untouched and the
  // temporary file is gone. A link at the path is replaced, never written
  // through. `notes` (may be null) receives what else happened.
  virtual int ReplaceFile(const std::string& path, std::string_view content,
                          const ReplaceOptions& options,
                          ReplaceNotes* notes) = 0;
  int WriteWholeFile(const std::string& path, std::string_view content) {
    return ReplaceFile(path, content, ReplaceOptions(), nullptr);
  }
  // The same, but the new file takes its permission bits, owner, group and
  // extended attributes from the file `like` instead: a backup of a file
  // gets the original's, never wider permissions than it.
  int WriteWholeFileLike(const std::string& path, std::string_view content,
                         const std::string& like) {
    ReplaceOptions options;
    options.like = like;
    return ReplaceFile(path, content, options, nullptr);
  }

  // A file system for a worker thread over the same tree (its own open
  // folders), for ReadFile and PrepareReplace there; nullptr when this one
  // cannot be shared out, and the thread that owns it does everything.
  virtual std::unique_ptr<FileSystem> ForWorker() { return nullptr; }
  // `read` (may be null): the file's ReadHandle, as in
  // ReplaceOptions::read; the commit must then check `unchanged`.
  // ReplaceFile in two halves, the first on a worker's file system: the
  // temporary file complete (with the attributes of the file it replaces)
  // in the file's folder, kept open in *prepared; then, on the file system
  // of the run, the commit: ReplaceFile's `before_commit`, its check of
  // `unchanged` and the rename, with the same results. A prepared file
  // never committed is removed with *prepared. ENOTSUP where not offered.
  virtual int PrepareReplace(const std::string& /*path*/,
                             std::string_view /*content*/,
                             const ReadHandle* /*read*/,
                             PreparedReplace* /*prepared*/) {
    return ENOTSUP;
  }
  virtual int CommitReplace(PreparedReplace& /*prepared*/,
                            const ReplaceOptions& /*options*/,
                            ReplaceNotes* /*notes*/) {
    return ENOTSUP;
  }

  // Creates a new file with the content; fails (EEXIST) when anything,
  // a link included, already has that name.
  virtual int CreateExclusive(const std::string& path,
                              std::string_view content) = 0;

  // Removes a file (never a folder).
  virtual int RemoveFile(const std::string& path) = 0;

  // Appends to the file, creating it when absent (the log). The first
  // append opens the file, which must not be a link and must be a regular
  // file, and keeps it open for the appends that follow, so that lines can
  // never be sent elsewhere by putting a link at its name. A file this file
  // system replaces itself is opened anew at its next append.
  virtual int AppendToFile(const std::string& path, std::string_view data) = 0;

  // Names of the regular files of a folder that are not links and do not
  // begin with ".", read completely, in byte order; `ids` (may be null)
  // receives the identity of each, for ReadFile's `expect`.
  virtual int ListFiles(const std::string& folder,
                        std::vector<std::string>* names,
                        std::vector<FileId>* ids) = 0;
  int ListFiles(const std::string& folder, std::vector<std::string>* names) {
    return ListFiles(folder, names, nullptr);
  }

  // Names of the subfolders of a folder, hidden ones included, links not
  // followed, in byte order.
  virtual int ListSubfolders(const std::string& folder,
                             std::vector<std::string>* names) = 0;

  // Forces each written file to disk before its rename, and its folder
  // after it (power-loss durability at the cost of speed).
  void set_sync_writes(bool on) { sync_writes_ = on; }
  bool sync_writes() const { return sync_writes_; }

 private:
  bool sync_writes_ = false;
};

// The longest file a run reads: positions and lengths are 32-bit.
inline constexpr int64_t kMaxFileSize = INT32_MAX;

// The hidden name of the temporary file that replaces path:
// ".NAME.zarn-" and the suffix, in the folder of path. A long NAME is cut
// so that the temporary name still fits the file-name limit (255 bytes).
std::string TemporaryName(const std::string& path, std::string_view suffix);

// An open descriptor, closed with its owner.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = other.Release();
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset();
  // Closes now and reports the close's own failure (0 or errno).
  int Close();

 private:
  int fd_ = -1;
};

// What a read leaves of a file for its replacement: the file still open
// and its attributes as the read saw them. Used only together with the
// read's stamp (ReplaceOptions::unchanged), which a change of any of them
// would have changed (it moves the file's change time), so they are the
// file's own whenever the replacement goes ahead. Empty where the file
// system keeps nothing open.
struct ReadHandle {
  UniqueFd fd;
  uint32_t mode = 0;  // type and permission bits
  uint32_t uid = 0;
  uint32_t gid = 0;
};

// A replacement's temporary file, complete in its open folder, waiting for
// its commit (FileSystem::PrepareReplace); removed with this object unless
// committed.
class PreparedReplace {
 public:
  PreparedReplace() = default;
  ~PreparedReplace() { Abandon(); }
  PreparedReplace(PreparedReplace&& other) noexcept {
    *this = std::move(other);
  }
  PreparedReplace& operator=(PreparedReplace&& other) noexcept;
  bool ready() const { return !temp_.empty(); }

 private:
  friend class RealFileSystem;
  // Removes the temporary file, if any.
  void Abandon();
  UniqueFd folder_;
  std::string name_;  // of the file in its folder
  std::string path_;
  std::string temp_;  // of the temporary file; empty once committed
  bool set_id_cleared_ = false;
};

// The real POSIX file system. Below the tree root (OpenTree) every folder is
// opened from the root's descriptor with openat2 (RESOLVE_BENEATH and
// RESOLVE_NO_SYMLINKS), or component by component with O_NOFOLLOW where
// the kernel lacks it or the path is longer than PATH_MAX. The folder of
// the last file read or replaced stays open, so that a file's read, its
// backup, the check before its replacement and the rename all go through
// the same folder, whatever is renamed or linked in between. Not
// thread-safe.
class RealFileSystem : public FileSystem {
 public:
  using FileSystem::ListFiles;

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
  // A worker's file system shares the tree (its descriptor duplicated),
  // nothing else.
  std::unique_ptr<FileSystem> ForWorker() override;
  int PrepareReplace(const std::string& path, std::string_view content,
                     const ReadHandle* read,
                     PreparedReplace* prepared) override;
  int CommitReplace(PreparedReplace& prepared, const ReplaceOptions& options,
                    ReplaceNotes* notes) override;

 protected:
  // The system calls that put data on disk, one method each, so that a test
  // can make any of them fail on a real folder and prove what is left
  // behind. Each returns 0 or an errno, like the operations above.
  //
  // Reads at most size bytes; *got 0 at the end of the file.
  virtual int ReadSome(int fd, char* data, size_t size, size_t* got);
  // Writes at most size bytes (a short count is not an error); returns the
  // bytes written in *written.
  virtual int WriteSome(int fd, const char* data, size_t size, size_t* written);
  // Renames from_name over to_name, both in the open folder; to_path is
  // the full path of the target, for the record. Within a replacement with
  // ReplaceOptions::keep_existing nothing at to_name is replaced (EEXIST).
  virtual int Rename(int folder, const std::string& from_name,
                     const std::string& to_name, const std::string& to_path);
  // fsync of a written file (is_folder false) or of its folder.
  virtual int Sync(int fd, bool is_folder);
  // Six hexadecimal digits for the next temporary name, from the system's
  // random source: names nobody can predict and plant links at.
  virtual std::string NextTemporarySuffix();
  // A step of a file's processing has been reached (see FileStep); path is
  // the file's full path. Nothing happens here; a test plays a concurrent
  // writer or an attacker at that moment.
  virtual void Reached(FileStep step, const std::string& path);

 private:
  // The folder of path, open, and the last component in *name. Folders of
  // the tree are resolved below its root and the last one is kept open
  // (cached_folder_); others are opened by their path into *own.
  int FolderOf(const std::string& path, UniqueFd* own, int* folder,
               std::string* name);
  // Opens the folder itself (for listing) the same way, always anew.
  int OpenFolder(const std::string& folder, UniqueFd* fd);
  // Whether path lies in the tree; *rel is its part below the root.
  bool InTree(const std::string& path, std::string* rel) const;
  int ReplaceIn(int folder, const std::string& name, const std::string& path,
                std::string_view content, const ReplaceOptions& options,
                ReplaceNotes* notes, std::string* temp);
  // ReplaceIn's halves: the temporary file complete; then its commit.
  int PrepareIn(int folder, const std::string& name, const std::string& path,
                std::string_view content, const ReplaceOptions& options,
                ReplaceNotes* notes, std::string* temp);
  int CommitIn(int folder, const std::string& name, const std::string& path,
               const ReplaceOptions& options, std::string* temp);
  int WriteAll(int fd, std::string_view data);
  template <typename Keep>
  int ListEntries(const std::string& folder, std::vector<std::string>* names,
                  std::vector<FileId>* ids, Keep keep);

  // Random bytes for temporary names, and how many of them are used.
  std::array<unsigned char, 60> random_{};
  size_t random_used_ = 60;
  UniqueFd tree_;
  std::string tree_path_;
  UniqueFd cached_folder_;
  std::string cached_folder_path_;
  // The files AppendToFile keeps open, by path (the log), with the identity
  // each had when opened.
  struct AppendFile {
    UniqueFd fd;
    FileId id;
  };
  std::map<std::string, AppendFile> appends_;
  std::vector<UniqueFd> locks_;
  // Set by ReplaceIn for the rename of a replacement that must keep an
  // existing file (ReplaceOptions::keep_existing).
  bool rename_keeps_existing_ = false;
};

// The path separator of the platform.
inline constexpr char kPathSep = '/';
inline constexpr std::string_view kPathSepText = "/";

}  // namespace zarn

#endif  // ZARN_SUPPORT_FILE_SYSTEM_H_
