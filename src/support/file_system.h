// The one narrow door to the operating system's files and folders.
//
// Every file access of the system goes through a FileSystem: the real POSIX
// implementation in the binary, an in-memory one (memory_file_system.h) that
// can inject any failure with its errno in tests. Failures are returned as
// errno values (0 = success); nothing throws.
#ifndef ZARN_SUPPORT_FILE_SYSTEM_H_
#define ZARN_SUPPORT_FILE_SYSTEM_H_

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

  // Reads every byte of the file.
  virtual int ReadWholeFile(const std::string& path, std::string* content) = 0;

  // Replaces the file atomically: a hidden temporary file in the same folder
  // (created exclusively), written completely, given the permission bits
  // (and owner and group where allowed) of the file it replaces, then
  // renamed over it. On failure the original is untouched and the
  // temporary file is gone.
  virtual int WriteWholeFile(const std::string& path,
                             std::string_view content) = 0;

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

  // Forces each written file to disk before its rename (power-loss
  // durability at the cost of speed).
  void set_sync_writes(bool on) { sync_writes_ = on; }
  bool sync_writes() const { return sync_writes_; }

 private:
  bool sync_writes_ = false;
};

// The real POSIX file system.
class RealFileSystem : public FileSystem {
 public:
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
};

// The path separator of the platform.
inline constexpr char kPathSep = '/';
inline constexpr std::string_view kPathSepText = "/";

}  // namespace zarn

#endif  // ZARN_SUPPORT_FILE_SYSTEM_H_
