// The block-structure check of the loaded program.
#ifndef ZARN_PROGRAM_STRUCTURE_CHECK_H_
#define ZARN_PROGRAM_STRUCTURE_CHECK_H_

#include <cstdint>
#include <string>
#include <vector>

#include "program/oper.h"

namespace zarn {

// The first error of the structure check: its message code (empty: none)
// and, for an error found at an operation, that operation's number (0 for
// the counts checked after the last operation).
struct StructureFinding {
  std::string code;
  int32_t oper = 0;
};

// Fills the command (the first word of the trimmed text, lower case) and
// parm (the rest, trimmed) of an operation.
void CutOperation(Oper& op);

// Fills command, parm, levels, blockop and nparm of every operation and
// verifies the nesting of if/else/endif and loop/lend/lexit/lcont.
StructureFinding CheckZarnProgStructure(std::vector<Oper>& opers);

}  // namespace zarn

#endif  // ZARN_PROGRAM_STRUCTURE_CHECK_H_
