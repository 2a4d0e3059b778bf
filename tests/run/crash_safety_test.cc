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

std::string NewContent(int i) {
  return ReplaceEvery(OldContent(i), "foo", "bar");
}

// ".fNNN.txt.zarn-" and six hexadecimal digits: a temporary file of ours.
bool IsTemporaryName(const std::string& name) {
  static const std::regex kTemporary("\\.f[0-9]{3}\\.txt\\.zarn-[0-9a-f]{6}");
  return std::regex_match(name, kTemporary);
}

size_t CountOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t p = text.find(what); p != std::string::npos;
       p = text.find(what, p + 1)) {
    ++n;
  }
  return n;
}

class CrashSafety : public E2eTest {
 protected:
  // Puts every file back to its old content (writing only those that
  // changed) and removes everything else.
  void MakeTree() {
    for (const std::string& e : Entries(data_)) {
      if (e[0] == '.') ::unlink((data_ + "/" + e).c_str());
    }
    for (int i = 0; i < kFiles; ++i) {
      std::string old = OldContent(i);
      if (Data(Name(i)) != old) PutData(Name(i), old);
    }
    ::unlink(RunLog().c_str());
  }

  pid_t Start() {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string bin = Binary(), params = ParamPath();
    char* argv[] = {bin.data(), params.data(), nullptr};
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
  }
};

TEST_F(CrashSafety, KilledRunLeavesEveryFileOldOrNewAndALaterRunFinishes) {
  WriteJob(kFooToBar);
  std::mt19937 rng(20261206);
  int killed_mid_run = 0;
  bool rerun_with_temporaries = false;
  for (int k = 0; k < kKills; ++k) {
    SCOPED_TRACE("kill " + std::to_string(k));
    MakeTree();
    // Kill once the run has begun file `target`, after a short random
    // pause, so that kills land in reads, edits, writes and renames.
    const size_t target = 1 + static_cast<size_t>(k) * (kFiles - 2) / kKills;
    const long pause_ns = static_cast<long>(rng() % 400000);
    pid_t pid = Start();
    ASSERT_GT(pid, 0);
    int wstatus = 0;
    bool exited = false;
    while (!exited) {
      // Only whole lines of the growing log are counted.
      std::string log = ReadFile(RunLog());
      log.erase(log.rfind('\n') + 1);
      if (CountOf(log, "ZARNPFI003CI") >= target) break;
      exited = ::waitpid(pid, &wstatus, WNOHANG) == pid;
      struct timespec poll = {0, 100000};
      ::nanosleep(&poll, nullptr);
    }
    if (!exited) {
      struct timespec pause = {0, pause_ns};
      ::nanosleep(&pause, nullptr);
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &wstatus, 0);
    }
    if (WIFSIGNALED(wstatus) && WTERMSIG(wstatus) == SIGKILL) ++killed_mid_run;

    for (int i = 0; i < kFiles; ++i) {
      if (std::string bytes = Data(Name(i)); bytes != NewContent(i)) {
        ASSERT_EQ(bytes, OldContent(i)) << Name(i) << " is neither version";
      }
    }
    std::vector<std::string> temporaries;
    for (const std::string& e : Entries(data_)) {
      if (e[0] != '.') continue;
      ASSERT_TRUE(IsTemporaryName(e)) << e;
      temporaries.push_back(e);
    }
    EXPECT_EQ(Entries(data_).size(), kFiles + temporaries.size());

    // A later run over the same tree: hidden temporary files are not data.
    if (k % 4 == 0 || (!temporaries.empty() && !rerun_with_temporaries)) {
      rerun_with_temporaries = rerun_with_temporaries || !temporaries.empty();
      EXPECT_EQ(Run().status, 0);
      for (int i = 0; i < kFiles; ++i) {
        ASSERT_EQ(Data(Name(i)), NewContent(i)) << Name(i);
      }
      std::string log = ReadFile(RunLog());
      EXPECT_EQ(CountOf(log, "ZARNPFI003CI"), static_cast<size_t>(kFiles));
      EXPECT_EQ(CountOf(log, ".zarn-"), 0u);
      std::vector<std::string> left;
      for (const std::string& e : Entries(data_)) {
        if (e[0] == '.') left.push_back(e);
      }
      EXPECT_EQ(left, temporaries);  // untouched, and safe to delete
    }
  }
  // The kills landed inside runs, not only before or after them.
  EXPECT_GT(killed_mid_run, 0);
}

}  // namespace
}  // namespace zarn::testing
