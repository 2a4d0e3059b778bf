// The real binary killed (SIGKILL) at many moments of a run over a few
// hundred files: every file holds either its old bytes or its complete new
// bytes, nothing else is in the tree but hidden temporary files, and a later
// run ignores those and finishes the job.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string_view>

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
  std::string text = OldContent(i);
  for (size_t p; (p = text.find("foo")) != std::string::npos;) {
    text.replace(p, 3, "bar");
  }
  return text;
}

// ".fNNN.txt.zarn-" and six hexadecimal digits: a temporary file of ours.
bool IsTemporaryName(const std::string& name) {
  auto digits = [&](size_t from, size_t n, const char* set) {
    if (name.size() < from + n) return false;
    for (size_t i = from; i < from + n; ++i) {
      if (std::string_view(set).find(name[i]) == std::string_view::npos) {
        return false;
      }
    }
    return true;
  };
  return name.size() == 21 && name.compare(0, 2, ".f") == 0 &&
         digits(2, 3, "0123456789") && name.compare(5, 10, ".txt.zarn-") == 0 &&
         digits(15, 6, "0123456789abcdef");
}

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> out;
  DIR* d = ::opendir(folder.c_str());
  while (struct dirent* e = ::readdir(d)) {
    std::string n = e->d_name;
    if (n != "." && n != "..") out.push_back(n);
  }
  ::closedir(d);
  std::sort(out.begin(), out.end());
  return out;
}

// Counts the lines a growing log has gained, reading only what is new.
class LogWatch {
 public:
  explicit LogWatch(std::string path) : path_(std::move(path)) {}
  size_t Count(const std::string& what) {
    std::ifstream in(path_, std::ios::binary);
    if (!in) return count_;
    in.seekg(static_cast<std::streamoff>(read_));
    std::string more((std::istreambuf_iterator<char>(in)),
                     std::istreambuf_iterator<char>());
    read_ += more.size();
    pending_ += more;
    // Only whole lines are counted; the rest waits for its line end.
    size_t last = pending_.rfind('\n');
    if (last == std::string::npos) return count_;
    for (size_t p = pending_.find(what); p != std::string::npos && p < last;
         p = pending_.find(what, p + 1)) {
      ++count_;
    }
    pending_.erase(0, last + 1);
    return count_;
  }

 private:
  std::string path_;
  size_t read_ = 0;
  size_t count_ = 0;
  std::string pending_;
};

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
  std::string Log() const { return root_ + "/run.log"; }

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
    ::unlink(Log().c_str());
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
  WriteParams("Files=\\.txt$\r\n", "[Log]\r\nLog=" + Log() + "\r\n");
  WriteProgram(kFooToBar);
  ASSERT_TRUE(IsTemporaryName(".f007.txt.zarn-0a1b2c"));
  ASSERT_FALSE(IsTemporaryName(".f007.txt.zarn-0a1b2"));
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
    LogWatch watch(Log());
    int wstatus = 0;
    bool exited = false;
    while (!exited) {
      if (watch.Count("ZARNPFI003CI") >= target) break;
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

    int now_new = 0;
    for (int i = 0; i < kFiles; ++i) {
      std::string bytes = Data(Name(i));
      if (bytes == NewContent(i)) {
        ++now_new;
      } else {
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
      RunResult r = RunProgram({Binary(), ParamPath()}, root_);
      EXPECT_EQ(r.status, 0);
      for (int i = 0; i < kFiles; ++i) {
        ASSERT_EQ(Data(Name(i)), NewContent(i)) << Name(i);
      }
      std::string log = ReadFile(Log());
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
