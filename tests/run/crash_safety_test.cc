// The real binary killed (SIGKILL) at many moments of a run over a few
// hundred files: every file holds either its old bytes or its complete new
// bytes, nothing else is in the tree but hidden temporary files, and a later
// run ignores those and finishes the job.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>

#include <random>
#include <regex>

#include "run/e2e_fixture.h"

namespace zarn::testing {
namespace {

constexpr int kFiles = 200;
constexpr int kKills = 12;

std::string Name(int i) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "f%03d.txt", i);
  return buf;
}

// Old content of file i: some kilobytes, a different length for each file,
// so that a truncated or mixed file cannot pass for either version.
std::string OldContent(int i) {
  std::string text;
  for (int line = 0; line < 40 + i % 37; ++line) {
    text += "file " + std::to_string(i) + " line " + std::to_string(line) +
            ": foo, and some text around the foo\r\n";
  }
  return text;
}

size_t Processed(std::string log) {
  log.erase(log.rfind('\n') + 1);  // whole lines only
  size_t n = 0;
  for (size_t p = 0; (p = log.find("ZARNPFI003CI", p)) != std::string::npos;
       ++p) {
    ++n;
  }
  return n;
}

// The hidden entries of the data folder, each a temporary file of ours:
// ".fNNN.txt.zarn-" and six hexadecimal digits.
std::vector<std::string> Temporaries(const std::string& folder) {
  static const std::regex kTemporary("\\.f[0-9]{3}\\.txt\\.zarn-[0-9a-f]{6}");
  std::vector<std::string> hidden;
  for (const std::string& e : Entries(folder)) {
    if (e[0] != '.') continue;
    EXPECT_TRUE(std::regex_match(e, kTemporary)) << e;
    hidden.push_back(e);
  }
  return hidden;
}

// Run one file after another, and four at a time: the files written are
// at every moment a prefix of the order, so a file after an old one is
// old too.
class CrashSafety : public E2eTest,
                    public ::testing::WithParamInterface<const char*> {};

INSTANTIATE_TEST_SUITE_P(Jobs, CrashSafety, ::testing::Values("1", "4"));

TEST_P(CrashSafety, KilledRunLeavesEveryFileOldOrNewAndALaterRunFinishes) {
  WriteJob(kFooToBar);
  std::mt19937 rng(20261206);
  int killed_mid_run = 0;
  bool rerun_with_temporaries = false;
  for (int k = 0; k < kKills; ++k) {
    SCOPED_TRACE("kill " + std::to_string(k));
    // Every file back to its old content, nothing else in the tree.
    for (const std::string& e : Temporaries(data_)) {
      ::unlink((data_ + "/" + e).c_str());
    }
    for (int i = 0; i < kFiles; ++i) {
      if (Data(Name(i)) != OldContent(i)) PutData(Name(i), OldContent(i));
    }
    ::unlink(RunLog().c_str());
    // Killed once the run has begun file `target`, after a short random
    // pause, so that kills land in reads, edits, writes and renames.
    const size_t target = 1 + static_cast<size_t>(k) * (kFiles - 2) / kKills;
    std::string bin = Binary(), params = ParamPath(), jobs = GetParam();
    std::string option = "--jobs";
    char* argv[] = {bin.data(), option.data(), jobs.data(), params.data(),
                    nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ), 0);
    int wstatus = 0;
    bool exited = false;
    while (!exited && Processed(ReadFile(RunLog())) < target) {
      exited = ::waitpid(pid, &wstatus, WNOHANG) == pid;
      struct timespec poll = {0, 100000};
      ::nanosleep(&poll, nullptr);
    }
    if (!exited) {
      struct timespec pause = {0, static_cast<long>(rng() % 400000)};
      ::nanosleep(&pause, nullptr);
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &wstatus, 0);
    }
    if (WIFSIGNALED(wstatus) && WTERMSIG(wstatus) == SIGKILL) ++killed_mid_run;

    bool old_seen = false;
    for (int i = 0; i < kFiles; ++i) {
      const std::string bytes = Data(Name(i));
      if (bytes != ReplaceEvery(OldContent(i), "foo", "bar")) {
        ASSERT_EQ(bytes, OldContent(i)) << Name(i) << " is neither version";
        old_seen = true;
      } else {
        ASSERT_FALSE(old_seen) << Name(i) << " is new after an old file";
      }
    }
    const std::vector<std::string> temporaries = Temporaries(data_);
    EXPECT_EQ(Entries(data_).size(), kFiles + temporaries.size());

    // A later run over the same tree: hidden temporary files are not data.
    if (k % 4 == 0 || (!temporaries.empty() && !rerun_with_temporaries)) {
      rerun_with_temporaries = rerun_with_temporaries || !temporaries.empty();
      EXPECT_EQ(Run().status, 0);
      for (int i = 0; i < kFiles; ++i) {
        ASSERT_EQ(Data(Name(i)), ReplaceEvery(OldContent(i), "foo", "bar"));
      }
      EXPECT_EQ(Processed(ReadFile(RunLog())), static_cast<size_t>(kFiles));
      EXPECT_EQ(ReadFile(RunLog()).find(".zarn-"), std::string::npos);
      EXPECT_EQ(Temporaries(data_), temporaries);  // untouched, safe to delete
    }
  }
  // The kills landed inside runs, not only before or after them.
  EXPECT_GT(killed_mid_run, 0);
}

}  // namespace
}  // namespace zarn::testing
