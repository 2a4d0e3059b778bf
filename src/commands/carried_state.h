// What a program can read on one file of what the files before it left
// behind. Variables and ranges live for the whole run, so a program that
// counts across files, or reads a variable that an earlier file created,
// gives each file a result that depends on the files before it. A program
// that reads on every file only what it has assigned on that same file
// earlier (or what the file loop sets fresh for each file) gives every file
// the same result whatever ran before it: its files may run in any order,
// on any machine, and be committed in their order afterwards.
//
// The decision is made from the compiled program alone, conservatively: a
// read counts as carried unless the name is certainly assigned earlier on
// every path through the control flow to that read (the jumps are known),
// or no operation can ever store a variable of that name (the word then
// always stays literal text, or the variable a constant of the run). An
// argument word names a variable whenever one of that name exists, so a
// word that some operation may turn into a variable counts as a read of it.
// Immutable result; thread-safe as the compiled program is.
#ifndef ZARN_COMMANDS_CARRIED_STATE_H_
#define ZARN_COMMANDS_CARRIED_STATE_H_

#include <cstdint>
#include <optional>
#include <string>

#include "commands/compiled_program.h"

namespace zarn {

// The first read (by operation number) of something a file may find as the
// files before it left it.
struct CarriedRead {
  enum class What {
    kVariable,       // a string variable (a run-wide one included)
    kRange,          // a range variable
    kEveryVariable,  // wlog =all= lists every variable and range
    kRangeByValue,   // a function reads a range whose name is a value
  };
  int32_t oper = 0;
  What what = What::kVariable;
  std::string name;  // as the operation writes it
};

// The first carried read of the program, or nullopt when each file's run
// depends on that file alone.
std::optional<CarriedRead> FindCarriedRead(const CompiledProgram& program);

// "operation 7 reads n left by the previous file", and the like.
std::string DescribeCarriedRead(const CarriedRead& read);

}  // namespace zarn

#endif  // ZARN_COMMANDS_CARRIED_STATE_H_
