// Every stored fuzz input (fuzz/corpus/<target>/: the seed corpus and each
// input that once crashed, hung or leaked) fed through its target's entry
// point, built without libFuzzer: a fixed crash stays fixed. Under the
// sanitizer build this also checks memory errors and leaks.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "fuzz/fuzz_targets.h"

namespace zarn::fuzz {
namespace {

std::vector<std::string> CorpusFiles(const std::string& folder) {
  std::vector<std::string> files;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return files;
  while (struct dirent* e = ::readdir(dir)) {
    if (e->d_name[0] != '.') files.push_back(folder + "/" + e->d_name);
  }
  ::closedir(dir);
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

// Names a target in test output.
void PrintTo(const FuzzTarget& target, std::ostream* os) { *os << target.name; }

namespace {

class CorpusReplay : public ::testing::TestWithParam<FuzzTarget> {};

TEST_P(CorpusReplay, EveryStoredInputRunsCleanly) {
  const FuzzTarget& target = GetParam();
  const std::vector<std::string> files =
      CorpusFiles(std::string(ZARN_SOURCE_DIR) + "/fuzz/corpus/" + target.name);
  // An empty or missing corpus would make this test pass without testing.
  ASSERT_GE(files.size(), 5u) << "no corpus for " << target.name;
  for (const std::string& file : files) {
    std::ifstream in(file, std::ios::binary);
    ASSERT_TRUE(in) << file;
    const std::string data((std::istreambuf_iterator<char>(in)),
                           std::istreambuf_iterator<char>());
    // Named before the run: a crash ends the process without a report.
    std::fprintf(stderr, "replaying %s\n", file.c_str());
    target.run(data);
  }
}

std::string TargetName(const ::testing::TestParamInfo<FuzzTarget>& target) {
  return target.param.name;
}

INSTANTIATE_TEST_SUITE_P(Targets, CorpusReplay,
                         ::testing::ValuesIn(kFuzzTargets), TargetName);

}  // namespace
}  // namespace zarn::fuzz
