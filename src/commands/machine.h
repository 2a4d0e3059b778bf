// A machine runs the compiled program on one file at a time. It owns what
// changes while the program runs: the variable stores, the current
// operation, the error state, the trace level, the counter of result
// variables, the regular-expression engine with its match data and the
// search scratch. It shares the compiled program (immutable) and reaches
// its run only through MachineHost: the log, standard error and the
// message file.
//
// The variables a machine leaves after one file are the variables the next
// file starts from (a counter carried across files): the run hands them
// over by running the next file on the same machine.
//
// Thread-safety: a machine belongs to one thread at a time.
#ifndef ZARN_COMMANDS_MACHINE_H_
#define ZARN_COMMANDS_MACHINE_H_

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "eval/evaluator.h"
#include "support/file_system.h"
#include "support/regex.h"
#include "variables/range_vars.h"
#include "variables/str_vars.h"
#include "variables/var_name.h"

namespace zarn {

class CompiledProgram;  // compiled_program.h

// The run-error flag, the one failure channel between the parts of a run.
enum class ErrorState {
  kNone,        // no failure
  kStopRun,     // stop the run: the current file is finished, the loop ends
  kFileFailed,  // only the current file failed; the loop goes on
};

// What a machine needs of the run it belongs to. Called by one machine at
// a time.
class MachineHost {
 public:
  // Appends a line to the run's log.
  virtual void LogLine(std::string_view text) = 0;
  // Says a line on standard error (a search that hit the engine's limit).
  virtual void Notice(std::string_view text) = 0;
  // The message of a code in a section of the message file, with the
  // template's placeholders filled from values.
  virtual std::string MessageText(std::string_view section,
                                  std::string_view code, std::string_view tmpl,
                                  std::string_view values) = 0;
  // Writes the program listing to the log, once per run.
  virtual void ListProgramOnce() = 0;

  virtual ~MachineHost() = default;
};

class Machine {
 public:
  Machine(MachineHost& machine_host, const CompiledProgram& compiled)
      : host(machine_host) {
    Use(compiled);
  }
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  MachineHost& host;
  const CompiledProgram& Program() const { return *program_; }
  // Makes compiled the program the machine runs (before the first file).
  void Use(const CompiledProgram& compiled);
  // How the program counts the text (before the first file): the file
  // text, the searches and the functions.
  void SetEncoding(TextEncoding encoding);

  // The largest text *filestring may hold: the largest file a run reads
  // back (lowered by tests, which cannot build texts of 2 GB).
  int64_t max_text_size = kMaxFileSize;
  // The most operations the program may execute on one file (0: no limit);
  // the program ends for the file when it is reached.
  int64_t step_limit = 0;
  // The note of a stopping signal, looked at between operations (nullptr:
  // none); the program then ends for the file.
  const std::atomic<int>* interrupt = nullptr;

  ErrorState ErrFlag = ErrorState::kNone;
  int32_t CurOper = 0;
  // The next operation, as the handlers name it, while nothing can read
  // *n_oper (see CompiledProgram::n_oper_observable); the run loop writes
  // it to the variable when the program ends for the file.
  int32_t next_oper = 0;
  bool next_oper_named = false;
  int32_t ErrLogLevel = 0;
  int32_t FunrCount = 0;
  // An engine limit of a search has been reported for the current file.
  bool LimitReported = false;

  StrVarStore StrVars;
  RangeVarStore RangeVars;
  // The system variables that every operation reads or writes.
  struct HotNames {
    VarName oper{"*oper"};
    VarName errloglev{"*errloglev"};
    VarName n_oper{"*n_oper"};
    VarName pos{"*pos"};
    VarName changes{"*changes"};
    VarName rcf{"*rcf"};
    VarName nctx{"*nctx"};
  } names;

  // The regular-expression engine, with the compiled patterns of the run,
  // and the result of the last search, reused so that a scan loop does not
  // allocate.
  RegularExpressions regex;
  SearchResult search_result;

  // What the evaluator reads and writes: the stores, the result counter,
  // the engine, and whether the program can read result variables.
  EvalContext eval{StrVars, RangeVars, FunrCount};

 private:
  const CompiledProgram* program_ = nullptr;
};

// Appends text to the log of the machine's run.
inline void Log(Machine& m, std::string_view text) { m.host.LogLine(text); }
// The text of a coded message (see MachineHost::MessageText).
inline std::string MessageText(Machine& m, std::string_view section,
                               std::string_view code,
                               std::string_view tmpl = {},
                               std::string_view values = {}) {
  return m.host.MessageText(section, code, tmpl, values);
}
// Logs a coded message.
inline void LogMessage(Machine& m, std::string_view section,
                       std::string_view code, std::string_view tmpl = {},
                       std::string_view values = {}) {
  Log(m, MessageText(m, section, code, tmpl, values));
}
// Says a coded message on standard error.
inline void Notify(Machine& m, std::string_view section, std::string_view code,
                   std::string_view tmpl = {}, std::string_view values = {}) {
  m.host.Notice(MessageText(m, section, code, tmpl, values));
}

// Value of a string variable as a 32-bit integer.
int32_t IntVar(const Machine& m, std::string_view name);
int32_t IntVarText(const Machine& m, const VarName& name);
inline int32_t IntVar(const Machine& m, const VarName& name) {
  // A number written by SetIntVar reads back as ToInt32 of its text would.
  if (std::optional<int64_t> n = m.StrVars.Number(name)) {
    if (*n >= INT32_MIN && *n <= INT32_MAX) return static_cast<int32_t>(*n);
  }
  return IntVarText(m, name);
}
inline void SetIntVar(Machine& m, std::string_view name, int64_t value) {
  m.StrVars.SetNumber(name, value);
}
inline void SetIntVar(Machine& m, const VarName& name, int64_t value) {
  m.StrVars.SetNumber(name, value);
}

}  // namespace zarn

#endif  // ZARN_COMMANDS_MACHINE_H_
