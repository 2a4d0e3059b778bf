// The INI reader for the parameter file and the message file.
//
// Lines end at LF (a trailing CR is dropped); "[name]" starts a section;
// entries are key=value; section and key names are trimmed and compare
// ignoring ASCII case; the first matching section and the first matching key
// in it win. Blanks and tabs around a value are removed, a value enclosed in
// one pair of matching double or single quotes loses them, and a value is
// cut to 254 bytes. A line whose first non-blank character is ";" is a
// comment. An absent file, section or key, an empty value and a value that
// is empty once its quotes are removed all read as nothing.
//
// Thread-safety: an IniFile is never changed once loaded or parsed; any
// number of threads may read it at once.
#ifndef ZARN_SUPPORT_INI_H_
#define ZARN_SUPPORT_INI_H_

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "support/file_system.h"

namespace zarn {

inline constexpr size_t kIniValueMax = 254;

class IniFile {
 public:
  IniFile() = default;
  static IniFile Parse(std::string_view text);
  // Reads the file through fs; a file that cannot be read is empty.
  static IniFile Load(FileSystem& fs, const std::string& path);

  // The value read, or nullopt when nothing was read.
  std::optional<std::string> Get(std::string_view section,
                                 std::string_view key) const;

 private:
  // Upper-cased section -> upper-cased key -> value (first ones win).
  std::map<std::string, std::map<std::string, std::string>> sections_;
};

// The value read, or def when nothing was read; without def, the missing
// marker "ERROR: no value for key K in section [S] of F".
std::string GetIniValue(const IniFile& ini, std::string_view file,
                        std::string_view section, std::string_view key,
                        std::optional<std::string_view> def = std::nullopt);

}  // namespace zarn

#endif  // ZARN_SUPPORT_INI_H_
