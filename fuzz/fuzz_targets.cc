#include "fuzz/fuzz_targets.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

#include "commands/command_support.h"
#include "commands/dispatcher.h"
#include "commands/run_state.h"
#include "eval/evaluator.h"
#include "program/program.h"
#include "run/file_loop.h"
#include "run/zarn_main.h"
#include "support/clock.h"
#include "support/ini.h"
#include "support/memory_file_system.h"
#include "support/messages.h"
#include "support/regex.h"
#include "variables/range_vars.h"
#include "variables/str_vars.h"
#include "variables/sys_vars.h"

namespace zarn::fuzz {

namespace {

// The shipped message file, read once: the loader's reports go through it,
// so the fuzzer also exercises the placeholder filling of real messages.
const std::string& MessageFile() {
  static const std::string* text = [] {
    std::ifstream in(ZARN_SOURCE_DIR "/data/zarn_msg.ini", std::ios::binary);
    return new std::string(std::istreambuf_iterator<char>(in),
                           std::istreambuf_iterator<char>());
  }();
  return *text;
}

// The first line of data (up to LF), and data moved past it.
std::string_view TakeLine(std::string_view* data) {
  size_t lf = data->find('\n');
  std::string_view line = data->substr(0, lf);
  data->remove_prefix(lf == std::string_view::npos ? data->size() : lf + 1);
  return line;
}

}  // namespace

void FuzzIniReader(std::string_view data) {
  IniFile ini = IniFile::Parse(data);
  // Fixed names, then the first lines of the input read as "section" and
  // "key", so that names the fuzzer invents are looked up too.
  std::string out = GetIniValue(ini, "f.ini", "Data", "Datafolder");
  std::string_view rest = data;
  for (int i = 0; i < 3 && !rest.empty(); ++i) {
    std::string_view section = TakeLine(&rest);
    std::string_view key = TakeLine(&rest);
    out += GetIniValue(ini, "f.ini", section, key, "default");
    if (std::optional<std::string> v = ini.Get(key, section)) out += *v;
  }
  // The values as a message text, the input as its value list.
  out = FillPlaceholders(out, "/{1}/{2}/{3}/", data.substr(0, 300));
  out = FillPlaceholders(out, data.substr(0, 40), data.substr(0, 300));
}

namespace {

// A run state over an in-memory tree holding the message file and the
// program, its settings as a parameter file would give them.
struct MemoryJob {
  MemoryFileSystem fs;
  FakeClock clock{LocalTime{2026, 1, 2, 3, 4, 5}};
  RunState st{fs, clock};

  explicit MemoryJob(std::string_view program) {
    fs.AddFile("/app/zarn_msg.ini", MessageFile());
    fs.AddFile("/prog/p.zarn", std::string(program));
    fs.AddFolder("/data");
    st.MsgFile = "/app/zarn_msg.ini";
    st.ParmFile = "/p.ini";
    st.DataFolder = "/data";
    st.FilesMask = ".*";
    st.ZarnFolder = "/prog";
    st.ZarnStart = "p.zarn";
    st.LogFile = "/data/zarn.log";
    st.LogFolder = "/data";
  }
};

}  // namespace

void FuzzProgramLoader(std::string_view data) {
  MemoryJob job(data);
  RunState& st = job.st;
  InstallProgram(st);
  // A loaded program is listed like the trace does; a refused one already
  // was, with its report.
  if (st.machine.ErrFlag == ErrorState::kNone) st.ListProgramOnce();
}

void FuzzEvaluator(std::string_view data) {
  StrVarStore str_vars;
  RangeVarStore range_vars;
  int32_t funr_count = 0;
  for (const auto& [name, value] :
       {std::pair<const char*, const char*>{"*comma", ","},
        {"*blank", " "},
        {"*null", ""},
        {"*lb", "("},
        {"*rb", ")"},
        {"*crlf", "\r\n"},
        {"*pos", "3"},
        {"a", "abc"},
        {"n", "12"},
        {"x", "-2.5e1"},
        {"d", "1,5"},
        {"w", "one two;three"},
        {"e", ""},
        {"t", "1"},
        {"f", "0"}}) {
    str_vars.Set(name, value);
  }
  str_vars.Set(kFileStringName,
               std::string("line one\r\nline two\r\n\0tail", 25));
  range_vars.SetRangeVar({"hit", 6, 3});
  range_vars.SetRangeVar({"all", 1, 25});
  range_vars.SetRangeVar({"beyond", 40, 5});
  range_vars.SetRangeVar({"empty", 3, 0});
  EvalContext ctx{str_vars, range_vars, funr_count};
  Evaluate(data, ctx);
  // A second expression over what the first one stored: results are
  // variables, and variables are looked up as arguments.
  Evaluate(data, ctx);
}

void FuzzSearch(std::string_view data) {
  if (data.size() < 3) return;
  const uint8_t flags = static_cast<uint8_t>(data[0]);
  const int32_t start = static_cast<int32_t>(static_cast<uint8_t>(data[1])) -
                        (flags & 4 ? 128 : 0);
  const size_t pattern_size =
      std::min<size_t>(static_cast<uint8_t>(data[2]), data.size() - 3);
  const std::string_view pattern = data.substr(3, pattern_size);
  const std::string_view text = data.substr(3 + pattern_size);

  RegularExpressions regex;
  SearchResult result;
  regex.Search(text, start, pattern, flags & 1, flags & 2, &result);
  // A second search from the match, as a scan loop does, reusing the
  // compiled pattern and the result's storage.
  if (result.count > 0) {
    regex.Search(text, result.position + std::max(result.length, 1), pattern,
                 flags & 1, flags & 2, &result);
  }
  std::string err;
  regex.Test(text, pattern, flags & 8, &err);
}

namespace {

void RunProgram(std::string_view data, TextEncoding encoding) {
  // Enough operations for loops to run a while, few enough that a program
  // looping for ever still ends quickly.
  constexpr int kOperationBudget = 2000;
  const size_t nul = data.find('\0');
  MemoryJob job(data.substr(0, nul));
  RunState& st = job.st;
  // As a run does it: the system variables, then the program.
  InitSysVars(
      st.machine.StrVars, st.SysVars,
      SysVarSettings{"/app", "/data", "/prog", "p.zarn", "/data/zarn.log", 0});
  InstallProgram(st);
  if (st.machine.ErrFlag != ErrorState::kNone) return;
  st.machine.SetEncoding(encoding);
  std::string text(nul == std::string_view::npos ? std::string_view()
                                                 : data.substr(nul + 1));
  // The file loop's own preparation and operation loop, with a budget.
  st.machine.step_limit = kOperationBudget;
  st.machine.StrVars.Set("*file", "/data/a.txt");
  st.machine.StrVars.Set("*allchanges", "0");
  int32_t changes = 0;
  RunOnFile(st.machine, text, changes);
}

}  // namespace

void FuzzProgramRun(std::string_view data) {
  RunProgram(data, TextEncoding::kBytes);
}

void FuzzProgramRunUtf8(std::string_view data) {
  RunProgram(data, TextEncoding::kUtf8);
}

}  // namespace zarn::fuzz
