// The entry points of the fuzz targets. Each takes arbitrary bytes and must
// return without crashing, hanging, leaking or touching anything outside
// memory. The libFuzzer programs (fuzz/*_fuzzer.cc) call them, and so does
// the test that replays the stored corpus (tests/fuzz), built without
// libFuzzer, so that every input ever found stays a regression test.
#ifndef ZARN_FUZZ_FUZZ_TARGETS_H_
#define ZARN_FUZZ_FUZZ_TARGETS_H_

#include <string_view>

namespace zarn::fuzz {

// The INI reader: the bytes are an INI file; a few sections and keys are
// looked up, some named by the input itself, and the values filled into a
// message template.
void FuzzIniReader(std::string_view data);

// The program loader and the structure check, over an in-memory file
// system: the bytes are a program file.
void FuzzProgramLoader(std::string_view data);

// The evaluator: the bytes are an expression, evaluated over a small store
// of string variables and ranges.
void FuzzEvaluator(std::string_view data);

// The search of the find commands and the file-name test: the first bytes
// choose the options, the start position and the pattern's length; the
// pattern and the text follow.
void FuzzSearch(std::string_view data);

// A whole program run on one file text, in memory: the bytes before the
// first NUL are the program, the rest the file. A loaded program runs for
// at most a fixed number of operations (a program may loop for ever by
// design), so every command, the evaluator and the search meet what the
// fuzzer invents.
void FuzzProgramRun(std::string_view data);

// The same run in UTF-8 mode, where every position is a character and the
// file text may hold any bytes.
void FuzzProgramRunUtf8(std::string_view data);

struct FuzzTarget {
  const char* name;  // also the folder of its corpus: fuzz/corpus/<name>
  void (*run)(std::string_view data);
};

inline constexpr FuzzTarget kFuzzTargets[] = {
    {"ini", FuzzIniReader},  {"program", FuzzProgramLoader},
    {"eval", FuzzEvaluator}, {"search", FuzzSearch},
    {"run", FuzzProgramRun}, {"utf8run", FuzzProgramRunUtf8},
};

}  // namespace zarn::fuzz

#endif  // ZARN_FUZZ_FUZZ_TARGETS_H_
