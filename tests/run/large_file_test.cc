// A data file of 1 GB through the real binary: edited exactly, with the
// peak memory and the time of the run printed. It writes and reads several
// GB and needs about 3 GB of memory, so it runs only when asked for:
//   ZARN_LARGE_TESTS=1 ctest --test-dir build/test -R LargeFile
// and is skipped when the machine has less memory available than it needs.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "run/e2e_fixture.h"

namespace zarn::testing {
namespace {

constexpr size_t kBlock = 1 << 20;    // 1 MB
constexpr size_t kBlocks = 1024;      // 1 GB in all
constexpr long kNeededKb = 6L << 20;  // 6 GB available

long AvailableMemoryKb() {
  std::ifstream in("/proc/meminfo");
  std::string key;
  long value = 0;
  std::string unit;
  while (in >> key >> value >> unit) {
    if (key == "MemAvailable:") return value;
  }
  return 0;
}

// Block i of the file: lines of text, one "foo" in every block.
std::string Block(size_t i, bool edited) {
  std::string block;
  block.reserve(kBlock);
  char line[64];
  for (size_t n = 0; block.size() + 64 <= kBlock; ++n) {
    std::snprintf(line, sizeof line, "block %06zu line %06zu some text\r\n", i,
                  n);
    block += line;
  }
  block += edited ? "bar" : "foo";
  block.resize(kBlock, '.');
  return block;
}

class LargeFile : public E2eTest {};

TEST_F(LargeFile, OneGigabyteFileIsEditedExactly) {
  if (std::getenv("ZARN_LARGE_TESTS") == nullptr) {
    GTEST_SKIP() << "set ZARN_LARGE_TESTS=1 to run the 1 GB file";
  }
  if (AvailableMemoryKb() < kNeededKb) {
    GTEST_SKIP() << "needs " << kNeededKb / 1024 << " MB of available memory";
  }
  {
    std::ofstream out(data_ + "/big.txt", std::ios::binary);
    for (size_t i = 0; i < kBlocks; ++i) out << Block(i, false);
  }
  // Every "foo" becomes "bar": a scan of the whole text, 1024 replacements.
  WriteJob(kFooToBar);

  std::string bin = Binary(), params = ParamPath();
  char* argv[] = {bin.data(), params.data(), nullptr};
  const auto start = std::chrono::steady_clock::now();
  pid_t pid;
  ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ), 0);
  int wstatus = 0;
  struct rusage usage {};
  ASSERT_EQ(::wait4(pid, &wstatus, 0, &usage), pid);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
          .count();
  ASSERT_TRUE(WIFEXITED(wstatus));
  EXPECT_EQ(WEXITSTATUS(wstatus), 0);
  std::printf("1 GB file: %.1f s, peak memory %ld MB\n", seconds,
              usage.ru_maxrss / 1024);
  RecordProperty("seconds", std::to_string(seconds));
  RecordProperty("peak_mb", std::to_string(usage.ru_maxrss / 1024));

  std::ifstream in(data_ + "/big.txt", std::ios::binary);
  std::string block(kBlock, '\0');
  for (size_t i = 0; i < kBlocks; ++i) {
    ASSERT_TRUE(in.read(block.data(), kBlock)) << "short at block " << i;
    ASSERT_EQ(block, Block(i, true)) << "block " << i;
  }
  EXPECT_EQ(in.get(), EOF);
  EXPECT_NE(ReadFile(RunLog()).find(
                "ZARNPFI006CI End of run: 1 files processed, 1024 "
                "changes in all."),
            std::string::npos);
}

}  // namespace
}  // namespace zarn::testing
