#include "support/messages.h"

#include <cstdio>

#include "support/text.h"

namespace zarn {

std::string MsgValues(std::initializer_list<std::string_view> values) {
  std::string out(1, kValueDelim);
  for (std::string_view v : values) {
    out.append(v);
    out.push_back(kValueDelim);
  }
  return out;
}

namespace {

// The first item of a list led by its delimiter d.
std::string_view FirstItem(std::string_view list, char d) {
  if (list.size() < 2) return {};
  size_t end = list.find(d, 1);
  if (end == std::string_view::npos) return {};
  return list.substr(1, end - 1);
}

// The list without its first item, led again by its delimiter.
std::string DropFirstItem(std::string_view list, char d) {
  std::string out(1, d);
  size_t first = list.find(d);
  if (first == std::string_view::npos) return out;
  size_t second = list.find(d, first + 1);
  if (second == std::string_view::npos) return out;
  out.append(list.substr(second + 1));
  return out;
}

}  // namespace

std::string FillPlaceholders(std::string_view text, std::string_view tmpl,
                             std::string_view values) {
  std::string result(text);
  if (tmpl.empty() || values.empty()) return result;
  const char p = tmpl[0];
  const char v = values[0];
  std::string t(tmpl);
  t.push_back(p);
  std::string vals(values);
  vals.push_back(v);
  while (true) {
    std::string_view placeholder = FirstItem(t, p);
    std::string_view value = FirstItem(vals, v);
    if (placeholder.empty() && value.empty()) return result;
    if (!placeholder.empty()) result = ReplaceAll(result, placeholder, value);
    t = DropFirstItem(t, p);
    vals = DropFirstItem(vals, v);
  }
}

std::string LogStamp(const LocalTime& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d|%02d:%02d:%02d ",
                t.year % 10000, t.month % 100, t.day % 100, t.hour % 100,
                t.minute % 100, t.second % 100);
  return buf;
}

void WriteLog(FileSystem& fs, Clock& clock, std::string_view logfile,
              std::string_view text, int32_t* status, const LogTee& tee) {
  if (logfile == "n" && !tee) return;
  std::string line = LogStamp(clock.Now());
  line.append(text);
  line.append("\r\n");
  if (logfile != "n") *status = fs.AppendToFile(std::string(logfile), line);
  if (tee) tee(line);
}

}  // namespace zarn
