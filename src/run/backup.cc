#include "run/backup.h"

#include <cerrno>

namespace zarn {

namespace {

// Beyond this many backups of one file the run gives up on it (EEXIST)
// rather than look for a free name without end.
constexpr int kMaxBackups = 100000;

}  // namespace

int WriteBackup(FileSystem& fs, const std::string& path,
                std::string_view suffix, std::string_view original,
                std::string* backup_path) {
  const std::string base = path + std::string(suffix);
  ReplaceOptions options;
  options.like = path;
  options.keep_existing = true;
  for (int n = 0; n < kMaxBackups; ++n) {
    std::string name = n == 0 ? base : base + "." + std::to_string(n);
    // A name seen taken is passed by without writing anything; a name
    // taken meanwhile (or by a dangling link) is refused by the rename.
    if (fs.IsFile(name) || fs.IsFolder(name)) continue;
    const int err = fs.ReplaceFile(name, original, options, nullptr);
    if (err == EEXIST) continue;
    if (err == 0) *backup_path = std::move(name);
    return err;
  }
  return EEXIST;
}

}  // namespace zarn
