// The checker's findings on the text of a parameter file: what the
// parameter check lets pass but the writer surely did not mean (a key Zarn
// does not read, such as File= for Files=; a flag written yes or no; a
// string parameter after a gap in the numbering) and every folder that
// does not exist, each with its line.
#ifndef ZARN_RUN_PARAMETER_FINDINGS_H_
#define ZARN_RUN_PARAMETER_FINDINGS_H_

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "program/checker.h"
#include "support/file_system.h"

namespace zarn {

struct ParameterFindings {
  std::vector<Finding> findings;
  // The line of each key that is read (first one wins), by its name as the
  // parameter check spells it (Datafolder, Files, ..., Parm1, ...).
  std::map<std::string, int32_t> key_lines;
  std::map<std::string, std::string> key_texts;
  // The keys with an error among the findings.
  std::map<std::string, bool> key_errors;
};

// Reads the parameter file text. Folders (Datafolder, Zarnfolder, the
// folder of Log) and the program file are looked up through fs.
ParameterFindings CheckParameterFile(FileSystem& fs, std::string_view text);

}  // namespace zarn

#endif  // ZARN_RUN_PARAMETER_FINDINGS_H_
