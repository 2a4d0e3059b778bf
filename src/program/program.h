// Loading the program file into the operation list, and the program
// listing written to the log.
#ifndef ZARN_PROGRAM_PROGRAM_H_
#define ZARN_PROGRAM_PROGRAM_H_

#include <string>
#include <string_view>

#include "common/run_state.h"

namespace zarn {

// Reads ZarnFolder/ZarnStart into OperList and runs the structure check; on
// failure ErrFlag is 1 and FinalMsg holds the report.
void LoadProgram(RunState& st);

// Writes the header line and one "[nnn]line" per operation.
void WriteProgramListing(RunState& st, const std::string& logfile);

// The text with each tab replaced by one blank.
std::string NormalizeLine(std::string_view text);

}  // namespace zarn

#endif  // ZARN_PROGRAM_PROGRAM_H_
