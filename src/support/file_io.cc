#include "support/file_io.h"

#include <cerrno>
#include <cstdio>
#include <utility>

namespace zarn {

bool IsFilePresent(FileSystem& fs, const std::string& path) {
  return !path.empty() && fs.IsFile(path);
}

bool IsFolderPresent(FileSystem& fs, const std::string& path) {
  return !path.empty() && fs.IsFolder(path);
}

void RemoveFile(FileSystem& fs, const std::string& path) {
  fs.RemoveFile(path);
}

std::string WritableTestPath(const std::string& folder, const LocalTime& t) {
  char stamp[16];
  std::snprintf(stamp, sizeof stamp, "%02d%02d%02d", t.hour % 100,
                t.minute % 100, t.second % 100);
  return folder + kPathSep + "folder_writable_test" + stamp + ".txt";
}

bool IsFolderWritable(FileSystem& fs, Clock& clock, const std::string& folder,
                      int* err) {
  const std::string base = WritableTestPath(folder, clock.Now());
  // Another run may be testing the same folder in the same second, or a
  // file of that name may have been planted: try a few other names rather
  // than writing through it.
  for (int attempt = 0; attempt < 10; ++attempt) {
    std::string path = base;
    if (attempt > 0) {
      path.insert(path.size() - 4, "_" + std::to_string(attempt));
    }
    const int status = fs.CreateExclusive(path, "test");
    if (status == EEXIST) continue;
    if (status != 0) {
      if (err != nullptr) *err = status;
      return false;
    }
    RemoveFile(fs, path);
    return true;
  }
  if (err != nullptr) *err = EEXIST;
  return false;
}

std::string FolderOfPath(std::string_view path) {
  size_t sep = path.rfind(kPathSep);
  if (sep == std::string_view::npos) return std::string();
  return std::string(path.substr(0, sep));
}

std::vector<std::string> ListFolderTree(FileSystem& fs,
                                        const std::string& folder) {
  std::vector<std::string> result;
  // An explicit stack keeps deep trees off the call stack; children are
  // pushed in reverse so that they come out in byte order.
  std::vector<std::string> stack{folder};
  std::vector<std::string> names;
  while (!stack.empty()) {
    std::string current = std::move(stack.back());
    stack.pop_back();
    if (fs.ListSubfolders(current, &names) == 0) {
      for (auto it = names.rbegin(); it != names.rend(); ++it) {
        stack.push_back(current + kPathSep + *it);
      }
    }
    result.push_back(std::move(current));
  }
  return result;
}

}  // namespace zarn
