// The one narrow door to the operating system's files and folders.
//
// Every file access of the system goes through a FileSystem: the real POSIX
// implementation in the binary, an in-memory one (memory_file_system.h) that
// can inject any failure with its errno in tests. Failures are returned as
// errno values (0 = success); nothing throws.
#ifndef ZARN_SUPPORT_FILE_SYSTEM_H_
#define ZARN_SUPPORT_FILE_SYSTEM_H_

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zarn {

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // A file (not a folder) of that path exists; links are followed.
  virtual bool IsFile(const std::string& path) = 0;
  // A folder of that path exists; links are followed.
  virtual bool IsFolder(const std::string& path) = 0;

  // Reads every byte of the file. A file longer than kMaxFileSize is not
  // read (EFBIG): every position of a text is a 32-bit number.
  virtual int ReadWholeFile(const std::string& path, std::string* content) = 0;

  // Replaces the file atomically: a hidden temporary file in the same folder
  // (created exclusively, named by TemporaryName), written completely,
  // given the permission bits, extended attributes (and owner and group
  // where allowed) of the file it replaces, then renamed over it. On
  // failure the original is untouched and the temporary file is gone. A
  // link at the path is replaced, never written through.
  virtual int WriteWholeFile(const std::string& path,
                             std::string_view content) = 0;

  // The same, but the new file takes its permission bits, owner, group and
  // extended attributes from the file `like` instead: a backup of a file
  // gets the original's, never wider permissions than it.
  virtual int WriteWholeFileLike(const std::string& path,
                                 std::string_view content,
                                 const std::string& like) {
    (void)like;
    return WriteWholeFile(path, content);
  }

  // Creates a new file with the content; fails (EEXIST) when anything,
  // a link included, already has that name.
  virtual int CreateExclusive(const std::string& path,
                              std::string_view content) = 0;

  // Removes a file (never a folder).
  virtual int RemoveFile(const std::string& path) = 0;

  // Appends to the file, creating it when absent (the log).
  virtual int AppendToFile(const std::string& path,
                           std::string_view data) = 0;

  // Names of the regular files of a folder that are not links and do not
  // begin with ".", read completely, in byte order.
  virtual int ListFiles(const std::string& folder,
                        std::vector<std::string>* names) = 0;

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

// The real POSIX file system.
class RealFileSystem : public FileSystem {
 public:
  bool IsFile(const std::string& path) override;
  bool IsFolder(const std::string& path) override;
  int ReadWholeFile(const std::string& path, std::string* content) override;
  int WriteWholeFile(const std::string& path,
                     std::string_view content) override;
  int WriteWholeFileLike(const std::string& path, std::string_view content,
                         const std::string& like) override;
  int CreateExclusive(const std::string& path,
                      std::string_view content) override;
  int RemoveFile(const std::string& path) override;
  int AppendToFile(const std::string& path, std::string_view data) override;
  int ListFiles(const std::string& folder,
                std::vector<std::string>* names) override;
  int ListSubfolders(const std::string& folder,
                     std::vector<std::string>* names) override;

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
  virtual int Rename(const std::string& from, const std::string& to);
  // fsync of a written file (is_folder false) or of its folder.
  virtual int Sync(int fd, bool is_folder);
  // Six hexadecimal digits for the next temporary name.
  virtual std::string NextTemporarySuffix();

 private:
  int WriteAll(int fd, std::string_view data);
};

// The path separator of the platform.
inline constexpr char kPathSep = '/';
inline constexpr std::string_view kPathSepText = "/";

}  // namespace zarn

#endif  // ZARN_SUPPORT_FILE_SYSTEM_H_
