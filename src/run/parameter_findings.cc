#include "run/parameter_findings.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <set>

#include "support/file_io.h"
#include "support/ini.h"
#include "support/text.h"

namespace zarn {

namespace {

// A flag that takes one value exactly: Recursion is on only for Yes,
// Logappend off only for No; every other value means the opposite.
struct FlagRule {
  std::string_view key;
  std::string_view exact;      // the one value that sets `exactly`
  std::string_view opposite;   // the value meant to set `otherwise`
  std::string_view what;       // what the flag turns on or off
  std::string_view exactly;    // "on" or "off"
  std::string_view otherwise;  // the state of every other value
};
constexpr FlagRule kFlagRules[] = {
    {"Recursion", "Yes", "No", "recursion", "on", "off"},
    {"Logappend", "No", "Yes", "appending", "off", "on"},
};

struct KnownSection {
  std::string_view name;
  std::vector<std::string_view> keys;  // empty: the string parameters
};

const std::array<KnownSection, 3>& KnownSections() {
  static const std::array<KnownSection, 3> kSections = {{
      {"Data",
       {"Datafolder", "Files", "Zarnfolder", "Start", "Recursion", "Encoding"}},
      {"Log", {"Log", "Logappend"}},
      {"String_parm", {}},
  }};
  return kSections;
}

std::string_view TrimBlanksAndTabs(std::string_view s) {
  const size_t b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// The value as the INI reader returns it.
std::string ValueOf(std::string_view raw) {
  std::string_view value = TrimBlanksAndTabs(raw);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value.substr(0, kIniValueMax));
}

// As the parameter check reads a value: empty, or beginning with ERR in
// any letter case, counts as not given.
bool IsUndefined(std::string_view value) {
  return value.empty() || AsciiUpper(value.substr(0, 3)) == "ERR";
}

// "Parm" and a number from 1 without leading zeros, in its canonical
// spelling; empty for anything else.
std::string ParmKey(std::string_view key) {
  if (key.size() < 5 || !EqualsIgnoreCase(key.substr(0, 4), "parm") ||
      key[4] == '0') {
    return "";
  }
  for (char c : key.substr(4)) {
    if (c < '0' || c > '9') return "";
  }
  return "Parm" + std::string(key.substr(4));
}

// The letters two names differ by (Levenshtein, ignoring letter case).
size_t Distance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t up = row[j];
      const bool same = AsciiLowerChar(a[i - 1]) == AsciiLowerChar(b[j - 1]);
      row[j] =
          std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

// " (Files?)" for a key close to a known one of the section, else empty.
std::string Suggestion(const KnownSection& section, std::string_view key) {
  for (std::string_view known : section.keys) {
    if (Distance(key, known) <= 2) return " (" + std::string(known) + "?)";
  }
  if (section.keys.empty()) return " (Parm1, Parm2, ...?)";
  return "";
}

}  // namespace

ParameterFindings CheckParameterFile(FileSystem& fs, std::string_view text) {
  ParameterFindings out;
  std::map<std::string, std::string> values;
  std::set<std::string> sections_seen;
  const KnownSection* section = nullptr;  // the section being read, if any
  int32_t number = 0;
  std::string raw;
  auto add = [&](Severity severity, std::string message) {
    out.findings.push_back(Finding{number, raw, severity, std::move(message)});
  };

  for (size_t pos = 0; pos <= text.size();) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string_view::npos) eol = text.size();
    std::string_view line = text.substr(pos, eol - pos);
    pos = eol + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    raw = std::string(line);
    const std::string_view t = TrimBlanksAndTabs(line);
    if (t.empty() || t[0] == ';') continue;

    if (t[0] == '[') {
      const size_t close = t.find(']');
      if (close == std::string_view::npos) continue;
      const std::string name(TrimBlanksAndTabs(t.substr(1, close - 1)));
      section = nullptr;
      if (!sections_seen.insert(AsciiUpper(name)).second) {
        add(Severity::kWarning, "section [" + name +
                                    "] appears again: only the first one "
                                    "of a name is read");
        continue;
      }
      for (const KnownSection& known : KnownSections()) {
        if (EqualsIgnoreCase(name, known.name)) section = &known;
      }
      if (section == nullptr) {
        add(Severity::kWarning,
            "unknown section [" + name + "]: nothing in it is read");
      }
      continue;
    }
    if (section == nullptr) continue;  // reported with its section
    const size_t eq = t.find('=');
    if (eq == std::string_view::npos) {
      add(Severity::kWarning, "no key=value: the line is ignored");
      continue;
    }
    const std::string key(TrimBlanksAndTabs(t.substr(0, eq)));
    std::string canonical;
    for (std::string_view known : section->keys) {
      if (EqualsIgnoreCase(key, known)) canonical = std::string(known);
    }
    if (section->keys.empty()) canonical = ParmKey(key);
    if (canonical.empty()) {
      add(Severity::kError, "unknown key '" + key + "' in section [" +
                                std::string(section->name) +
                                "]: it is not read" +
                                Suggestion(*section, key));
      continue;
    }
    // A key given again is not read (the first one counts).
    if (out.key_lines.count(canonical) > 0) continue;
    out.key_lines[canonical] = number;
    out.key_texts[canonical] = raw;
    const std::string value = ValueOf(t.substr(eq + 1));
    values[canonical] = value;

    // The two flags compare exactly, in opposite senses.
    for (const FlagRule& flag : kFlagRules) {
      if (canonical != flag.key || value == "Yes" || value == "No") continue;
      const std::string given = std::string(flag.key) + "=" + value;
      if (EqualsIgnoreCase(value, flag.exact)) {
        add(Severity::kError, given + " turns " + std::string(flag.what) + " " +
                                  std::string(flag.otherwise) +
                                  ": only exactly " + std::string(flag.exact) +
                                  " turns it " + std::string(flag.exactly));
      } else if (EqualsIgnoreCase(value, flag.opposite)) {
        add(Severity::kWarning,
            given + " is read as " + std::string(flag.otherwise) +
                ", as is every value but " + std::string(flag.exact));
      }
    }
  }

  // A finding at the line of a key that was read.
  auto at_key = [&](const std::string& key, Severity severity,
                    std::string message) {
    out.findings.push_back(Finding{out.key_lines[key], out.key_texts[key],
                                   severity, std::move(message)});
    if (severity == Severity::kError) out.key_errors[key] = true;
  };

  // The string parameters end at the first missing number.
  int32_t first_missing = 1;
  while (out.key_lines.count("Parm" + std::to_string(first_missing)) > 0 &&
         !IsUndefined(values["Parm" + std::to_string(first_missing)])) {
    ++first_missing;
  }
  for (const auto& [key, line] : out.key_lines) {
    if (key.substr(0, 4) != "Parm") continue;
    // Beyond the range of a number: surely past the gap.
    int64_t n = INT64_MAX;
    std::from_chars(key.data() + 4, key.data() + key.size(), n);
    if (n > first_missing) {
      at_key(key, Severity::kWarning,
             key + " is not read: the string parameters end before Parm" +
                 std::to_string(first_missing) + ", which is missing");
    }
  }

  auto defined = [&](const std::string& key) {
    return out.key_lines.count(key) > 0 && !IsUndefined(values[key]);
  };
  for (const char* key : {"Datafolder", "Zarnfolder"}) {
    if (defined(key) && !IsFolderPresent(fs, values[key])) {
      at_key(key, Severity::kError,
             "the folder '" + values[key] + "' does not exist");
    }
  }
  if (defined("Zarnfolder") && defined("Start") &&
      !out.key_errors["Zarnfolder"]) {
    const std::string program =
        values["Zarnfolder"] + std::string(kPathSepText) + values["Start"];
    if (!IsFilePresent(fs, program)) {
      at_key("Start", Severity::kError,
             "the program file '" + program + "' does not exist");
    }
  }
  if (defined("Log")) {
    std::string log = values["Log"];
    if (log.find(kPathSep) == std::string::npos) {
      log = "." + std::string(kPathSepText) + log;
    }
    const std::string folder = FolderOfPath(log);
    if (!IsFolderPresent(fs, folder)) {
      at_key("Log", Severity::kError,
             "the folder '" + folder + "' of the log does not exist");
    }
  }
  std::stable_sort(
      out.findings.begin(), out.findings.end(),
      [](const Finding& a, const Finding& b) { return a.line < b.line; });
  return out;
}

}  // namespace zarn
