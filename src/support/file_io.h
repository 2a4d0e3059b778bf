// Folder and file helpers of the run: existence and writability tests, the
// folder part of a path, and the list of a folder tree. All of them go
// through the FileSystem seam.
#ifndef ZARN_SUPPORT_FILE_IO_H_
#define ZARN_SUPPORT_FILE_IO_H_

#include <string>
#include <string_view>
#include <vector>

#include "support/clock.h"
#include "support/file_system.h"

namespace zarn {

bool IsFilePresent(FileSystem& fs, const std::string& path);
bool IsFolderPresent(FileSystem& fs, const std::string& path);
// Removes a file; every failure is ignored.
void RemoveFile(FileSystem& fs, const std::string& path);

// The name of the test file for a folder at time t:
// folder/folder_writable_testHHMMSS.txt.
std::string WritableTestPath(const std::string& folder, const LocalTime& t);

// True when a new file can be created in the folder. The test file is
// created exclusively (never through an existing file or link) and removed
// again; a folder where it can be created but not removed counts as
// writable. When it is not, *err (when given) receives the errno of the
// failed attempt (ENOSPC: the disk is full).
bool IsFolderWritable(FileSystem& fs, Clock& clock, const std::string& folder,
                      int* err = nullptr);

// The text before the last path separator; empty when there is none.
std::string FolderOfPath(std::string_view path);

// The folder and all its subfolders in pre-order, each subfolder's tree
// before the next subfolder, subfolders in byte order of their names. Links
// to folders are not followed. A folder whose subfolders cannot be listed
// stays in the list without children.
std::vector<std::string> ListFolderTree(FileSystem& fs,
                                        const std::string& folder);

}  // namespace zarn

#endif  // ZARN_SUPPORT_FILE_IO_H_
