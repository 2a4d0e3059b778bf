// Loading the program file into the operation list, and the lines of the
// program listing. Loading only reads and checks: it logs nothing and
// reports through its result; the run decides what to log and report.
#ifndef ZARN_PROGRAM_PROGRAM_H_
#define ZARN_PROGRAM_PROGRAM_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "program/oper.h"
#include "program/structure_check.h"
#include "support/file_system.h"

namespace zarn {

// The outcome of LoadProgram: the checked operation list (OperList[0] is
// operation 1), or why there is none.
struct LoadedProgram {
  std::vector<Oper> OperList;
  // The program file could not be read: its error number, else 0.
  int read_error = 0;
  // The first structure error (no code: none).
  StructureFinding finding;

  bool ok() const { return read_error == 0 && finding.code.empty(); }
};

// Reads the program file at path and runs the structure check on it.
LoadedProgram LoadProgram(FileSystem& fs, const std::string& path);
// The same for a program text given whole (the operations of -e).
LoadedProgram LoadProgramText(std::string_view content);

// The operations of a program text, one per line that is neither blank nor
// a comment only, before the structure check.
std::vector<Oper> ReadProgramText(std::string_view content);

// The lines of the program listing: the header line naming the program
// file, then one "[nnn]line" per operation.
std::vector<std::string> ProgramListing(const std::vector<Oper>& opers,
                                        std::string_view path);

// The text with each tab replaced by one blank.
std::string NormalizeLine(std::string_view text);

}  // namespace zarn

#endif  // ZARN_PROGRAM_PROGRAM_H_
