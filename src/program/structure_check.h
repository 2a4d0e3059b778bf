// The block-structure check of the loaded program.
#ifndef ZARN_PROGRAM_STRUCTURE_CHECK_H_
#define ZARN_PROGRAM_STRUCTURE_CHECK_H_

#include "common/run_state.h"

namespace zarn {

// Fills command, parm, levels, blockop and nparm of every operation and
// verifies the nesting of if/else/endif and loop/lend/lexit/lcont; the
// first error leaves its report in FinalMsg.
void CheckZarnProgStructure(RunState& st);

}  // namespace zarn

#endif  // ZARN_PROGRAM_STRUCTURE_CHECK_H_
