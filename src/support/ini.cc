#include "support/ini.h"

#include "support/text.h"

namespace zarn {

namespace {

std::string_view TrimBlanksAndTabs(std::string_view s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

}  // namespace

IniFile IniFile::Parse(std::string_view text) {
  IniFile ini;
  std::map<std::string, std::string>* current = nullptr;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string_view::npos) eol = text.size();
    std::string_view line = text.substr(pos, eol - pos);
    pos = eol + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = TrimBlanksAndTabs(line);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      size_t close = line.find(']');
      if (close == std::string_view::npos) continue;
      std::string name =
          AsciiUpper(TrimBlanksAndTabs(line.substr(1, close - 1)));
      if (ini.sections_.count(name)) {
        current = nullptr;  // a later section of the same name is ignored
      } else {
        current = &ini.sections_[name];
      }
      continue;
    }
    if (current == nullptr) continue;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::string key = AsciiUpper(TrimBlanksAndTabs(line.substr(0, eq)));
    if (key.empty() || current->count(key)) continue;
    std::string_view value = TrimBlanksAndTabs(line.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    if (value.size() > kIniValueMax) value = value.substr(0, kIniValueMax);
    (*current)[key] = std::string(value);
  }
  return ini;
}

IniFile IniFile::Load(FileSystem& fs, const std::string& path) {
  std::string text;
  if (fs.ReadWholeFile(path, &text) != 0) return IniFile();
  return Parse(text);
}

std::optional<std::string> IniFile::Get(std::string_view section,
                                        std::string_view key) const {
  auto s = sections_.find(AsciiUpper(Trimmed(section)));
  if (s == sections_.end()) return std::nullopt;
  auto k = s->second.find(AsciiUpper(Trimmed(key)));
  if (k == s->second.end() || k->second.empty()) return std::nullopt;
  return k->second;
}

std::string GetIniValue(const IniFile& ini, std::string_view file,
                        std::string_view section, std::string_view key,
                        std::optional<std::string_view> def) {
  if (std::optional<std::string> v = ini.Get(section, key)) return *v;
  if (def) return std::string(*def);
  std::string marker = "ERROR: no value for key ";
  marker.append(key);
  marker.append(" in section [");
  marker.append(section);
  marker.append("] of ");
  marker.append(file);
  return marker;
}

}  // namespace zarn
