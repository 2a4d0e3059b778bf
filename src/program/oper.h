// One operation of the loaded program.
#ifndef ZARN_PROGRAM_OPER_H_
#define ZARN_PROGRAM_OPER_H_

#include <cstdint>
#include <string>
#include <vector>

namespace zarn {

struct Oper {
  std::string line;     // the program line as read, comment removed
  std::string text;     // line with every tab replaced by a blank
  std::string command;  // first word of the trimmed text, lower case
  std::string parm;     // the rest after the first blank, trimmed
  int32_t looplevel = 0;
  int32_t iflevel = 0;
  int32_t blockop = 0;      // number of the operation that opens the block
  int32_t nparm = 0;        // numeric parameter worked out at load time
  int32_t line_number = 0;  // of the line in the program file, from 1
};

}  // namespace zarn

#endif  // ZARN_PROGRAM_OPER_H_
