// The log command wlog: writes the range and the string variable of one
// name, or every variable for "=all=", to the log, after a header line that
// says where the program is.
#include <string>
#include <string_view>

#include "commands/command_support.h"
#include "commands/compiled_program.h"
#include "commands/handlers.h"
#include "support/messages.h"
#include "support/text.h"

namespace zarn {

namespace {

constexpr std::string_view kAllVariables = "=all=";
// 20 blanks and the kind, padded to 28 characters; the values below them
// are indented by the 20 blanks.
constexpr std::string_view kRangeLabel = "                    Range   ";
constexpr std::string_view kStringLabel = "                    String  ";
constexpr std::string_view kIndent = "                    ";

}  // namespace

void WlogCommand(Machine& m, const CompiledOper& op) {
  const std::string& name = op.words[0];
  if (name.empty()) {
    // Only the current file fails; the next operation is still named.
    ReportMissingArgument(m, op.keyword(), "", ErrorState::kFileFailed);
    SetNextOper(m, NextInSequence(m));
    return;
  }

  // *oper and *n_oper as the operation reads them, whether or not the
  // run loop writes the variables (see CompiledProgram::oper_observable):
  // *oper is always the text of the operation being executed.
  const std::string file = EscapeName(m.StrVars.ValueOrEmpty("*file"));
  LogMessage(m, kCommandsSection, "ZARNCMD003LI", "|{1}|{2}|{3}|",
             MsgValues({file, NextOperText(m), op.oper->text}));

  const bool all = name == kAllVariables;
  bool shown = false;
  if (all || m.RangeVars.FindRangeVar(name) != 0) {
    Log(m, m.RangeVars.DumpRangeVars(name, kRangeLabel, kIndent,
                                     m.StrVars.file_text()));
    shown = true;
  }
  if (all || m.StrVars.FindStrVar(name) != 0) {
    Log(m, m.StrVars.DumpStrVars(name, kStringLabel, kIndent));
    shown = true;
  }
  if (!shown) Log(m, "<?>");

  SetNextOper(m, NextInSequence(m));
}

}  // namespace zarn
