// Coded messages and the log writer.
//
// A message text comes from the message file, looked up by section and
// message code, and may hold the placeholders {1}, {2}, {3}. A placeholder
// template and a value list are texts of the form D item D item ... D whose
// first character D is their delimiter.
//
// Thread-safety: composing a message only reads the message file, which is
// never changed once loaded, so any number of threads may compose at once;
// the log has one writer, the run's file loop.
#ifndef ZARN_SUPPORT_MESSAGES_H_
#define ZARN_SUPPORT_MESSAGES_H_

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "support/clock.h"
#include "support/file_system.h"

namespace zarn {

// The delimiter of every value list the system builds: paths, patterns and
// operation texts contain "/" and "|", never the unit separator.
inline constexpr char kValueDelim = '\x1F';

// A value list of the given values, delimited by kValueDelim.
std::string MsgValues(std::initializer_list<std::string_view> values);

// Replaces the n-th template item by the n-th value, item by item, until
// both lists are used up.
std::string FillPlaceholders(std::string_view text, std::string_view tmpl,
                             std::string_view values);

// "yyyy-mm-dd|hh:mm:ss " for the time t.
std::string LogStamp(const LocalTime& t);

// A second destination for every log line as it is logged: --log-stderr
// copies the log to standard error for schedulers that collect it. It
// receives the whole line (stamp, text, CR LF); an empty function is none.
using LogTee = std::function<void(std::string_view line)>;

// Appends one time-stamped line (text, CR LF) to the log; status receives
// 0 or the errno of the failure. The log path "n" means no log: nothing is
// written and status is left as it was. The line also goes to the tee,
// when there is one, whether or not the log accepted it or there is a log.
void WriteLog(FileSystem& fs, Clock& clock, std::string_view logfile,
              std::string_view text, int32_t* status,
              const LogTee& tee = LogTee());

}  // namespace zarn

#endif  // ZARN_SUPPORT_MESSAGES_H_
