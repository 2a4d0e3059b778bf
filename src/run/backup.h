// The backup of a file about to be replaced (--backup=SUFFIX).
#ifndef ZARN_RUN_BACKUP_H_
#define ZARN_RUN_BACKUP_H_

#include <string>
#include <string_view>

#include "support/file_system.h"

namespace zarn {

// Keeps original, the content of the file at path, as path + suffix, or,
// when that name is taken, as the first free one of path + suffix + ".1",
// ".2", ...: a backup of an earlier run is never replaced, so every run's
// originals stay. The backup is written completely and takes the name
// atomically, with the attributes of the file at path. Returns 0 with its
// name in *backup_path, or the error number.
int WriteBackup(FileSystem& fs, const std::string& path,
                std::string_view suffix, std::string_view original,
                std::string* backup_path);

}  // namespace zarn

#endif  // ZARN_RUN_BACKUP_H_
