// Every stored fuzz input (fuzz/corpus/<target>/: the seed corpus and each
// input that once crashed, hung or leaked) fed through its target's entry
// point, built without libFuzzer: a fixed crash stays fixed. Under the
// sanitizer build this also checks memory errors and leaks.
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "fuzz/fuzz_targets.h"
#include "run/e2e_fixture.h"

namespace zarn::fuzz {

// Names a target in test output.
void PrintTo(const FuzzTarget& target, std::ostream* os) { *os << target.name; }

namespace {

class CorpusReplay : public ::testing::TestWithParam<FuzzTarget> {};

TEST_P(CorpusReplay, EveryStoredInputRunsCleanly) {
  const FuzzTarget& target = GetParam();
  const std::string folder =
      std::string(ZARN_SOURCE_DIR) + "/fuzz/corpus/" + target.name;
  const std::vector<std::string> files = testing::Entries(folder);
  // An empty or missing corpus would make this test pass without testing.
  ASSERT_GE(files.size(), 5u) << "no corpus for " << target.name;
  for (const std::string& file : files) {
    // Named before the run: a crash ends the process without a report.
    std::fprintf(stderr, "replaying %s\n", file.c_str());
    target.run(testing::ReadFile(folder + "/" + file));
  }
}

std::string TargetName(const ::testing::TestParamInfo<FuzzTarget>& target) {
  return target.param.name;
}

INSTANTIATE_TEST_SUITE_P(Targets, CorpusReplay,
                         ::testing::ValuesIn(kFuzzTargets), TargetName);

}  // namespace
}  // namespace zarn::fuzz
