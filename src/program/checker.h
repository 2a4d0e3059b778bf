// The checker of a loaded program: the mistakes that can be seen in the
// program text before any file is touched, which a run would otherwise
// meet only on a file, half edited, or never report at all (a misspelt
// command, a function name that does not exist, a pattern cut at a comma,
// a condition of which only the first word counts, a loop that cannot end).
//
// It is a pure analysis: it reads the operations and compiles patterns,
// and changes nothing. Commands and functions are defined by the layers
// above; it asks them through a Vocabulary instead of keeping lists of
// its own.
#ifndef ZARN_PROGRAM_CHECKER_H_
#define ZARN_PROGRAM_CHECKER_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "program/oper.h"
#include "support/regex.h"

namespace zarn {

enum class Severity { kError, kWarning };

// One finding: the line of its file (0: the file as a whole), that line as
// written, and what is wrong with it.
struct Finding {
  int32_t line = 0;
  std::string text;
  Severity severity = Severity::kError;
  std::string message;
};

// The names defined above this layer, asked in lower case: the command
// keywords of the dispatcher and the function names of the evaluator.
struct Vocabulary {
  std::function<bool(std::string_view)> is_command;
  std::function<bool(std::string_view)> is_function;
};

// The findings on the program opers, ordered by line. structure_ok says
// that the structure check passed (levels and block partners are filled),
// so that blocks and loops can be judged too; otherwise only single
// operations are. Patterns are compiled through regex.
std::vector<Finding> CheckProgram(const std::vector<Oper>& opers,
                                  bool structure_ok,
                                  const Vocabulary& vocabulary,
                                  RegularExpressions& regex);

}  // namespace zarn

#endif  // ZARN_PROGRAM_CHECKER_H_
