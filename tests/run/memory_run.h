// Runs a whole job in memory: a program text over given file contents, with
// the real message file, through Main. Most run-level cases become one line:
// {program, files, expected files / log lines}.
#ifndef ZARN_TESTS_RUN_MEMORY_RUN_H_
#define ZARN_TESTS_RUN_MEMORY_RUN_H_

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "commands/run_state.h"
#include "common/test_support.h"
#include "run/zarn_main.h"
#include "support/memory_file_system.h"

namespace zarn::testing {

struct MemoryRun {
  MemoryFileSystem fs;
  FakeClock clock{LocalTime{2026, 12, 6, 12, 0, 0}};
  std::string params_extra;  // appended to the [Data] section
  std::string log_section = "\n[Log]\nLog=/logs/zarn.log\n";
  RunOptions options;
  int64_t max_text_size = kMaxFileSize;
  int status = -1;
  std::string report;

  MemoryRun() {
    fs.AddFile("/app/zarn_msg.ini", ShippedMessageFile());
    fs.AddFolder("/data");
    fs.AddFolder("/logs");
  }

  // Runs the program over the files of /data (names relative to /data).
  // The log goes to /logs/zarn.log.
  void Run(const std::string& program,
           const std::map<std::string, std::string>& files = {}) {
    fs.AddFile("/prog/p.zarn", program);
    for (const auto& [name, content] : files) fs.AddFile("/data/" + name, content);
    fs.AddFile("/p.ini",
               "[Data]\nDatafolder=/data\nZarnfolder=/prog\nStart=p.zarn\n" +
                   params_extra + log_section);
    RunState st(fs, clock);
    st.AppFolder = "/app";
    st.ParmFile = "/p.ini";
    st.options = options;
    st.max_text_size = max_text_size;
    std::ostringstream out;
    status = Main(st, out);
    report = out.str();
  }

  std::string File(const std::string& name) const {
    const std::string* c = fs.Content("/data/" + name);
    return c ? *c : "<missing>";
  }

  // Log lines without their stamps; the banner is line 0.
  std::vector<std::string> Log() const {
    const std::string* text = fs.Content("/logs/zarn.log");
    return text ? LogLinesOf(*text) : std::vector<std::string>();
  }
  // The log without the banner.
  std::vector<std::string> Body() const {
    std::vector<std::string> log = Log();
    if (!log.empty()) log.erase(log.begin());
    return log;
  }
  // The replacements of data files, in order.
  std::vector<std::string> DataWrites() const {
    std::vector<std::string> out;
    for (const std::string& w : fs.writes()) {
      if (w.rfind("/data/", 0) == 0) out.push_back(w);
    }
    return out;
  }
  // Temporary files still present anywhere.
  std::vector<std::string> TemporariesLeft() const {
    std::vector<std::string> out;
    for (const std::string& path : fs.AllFiles()) {
      if (path.find(".zarn-") != std::string::npos) out.push_back(path);
    }
    return out;
  }
};

}  // namespace zarn::testing

#endif  // ZARN_TESTS_RUN_MEMORY_RUN_H_
