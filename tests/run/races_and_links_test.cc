// Whole runs over a real folder on disk with the real file system, and
// links, files and writers planted at chosen moments through its hooks, a
// log that stops taking lines, signals after a rename: nothing outside the
// tree is read or written, a file changed by another is left to it, and
// the log and the exit status say what happened.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <functional>
#include <sstream>
#include <thread>

#include "run/e2e_fixture.h"
#include "run/interrupt.h"
#include "run/zarn_main.h"
#include "support/clock.h"
#include "support/faulty_real_file_system.h"

namespace zarn::testing {
namespace {

class RacesAndLinks : public E2eTest {
 protected:
  // Runs Main in this process over the real tree, with fs_ as its file
  // system and the shipped message file.
  int RunMain(bool sync_writes = false, const std::string& data_extra = "") {
    WriteParams(data_extra);
    WriteProgram(program_);
    fs_.set_sync_writes(sync_writes);
    FakeClock clock(LocalTime{2026, 12, 6, 12, 0, 0});
    RunState st(fs_, clock);
    st.AppFolder = std::string(ZARN_SOURCE_DIR) + "/data";
    st.ParmFile = ParamPath();
    st.options = options_;
    st.machine.max_text_size = max_text_size_;
    std::ostringstream report;
    int status = Main(st, report);
    report_ = report.str();
    return status;
  }
  // Runs action once, when the file at `path` reaches the step (kOpen,
  // kCommit, or after its rename for the step -1).
  void At(int step, const std::string& path, std::function<void()> action) {
    auto once = [path, action, done = false](const std::string& p) mutable {
      if (p != path || done) return;
      done = true;
      action();
    };
    (step == static_cast<int>(FileStep::kOpen)     ? fs_.before_open
     : step == static_cast<int>(FileStep::kCommit) ? fs_.before_commit
                                                   : fs_.after_rename) = once;
  }
  // The log line of a code about the file, without its stamp, as logged.
  int Count(const std::string& line) {
    std::vector<std::string> log = LogLines();
    return static_cast<int>(std::count(log.begin(), log.end(), line));
  }
  FaultyRealFileSystem fs_;
  std::string program_ = kFooToBar;
  int64_t max_text_size_ = kMaxFileSize;  // lowered: no texts of 2 GB
  RunOptions options_;
  std::string report_;
};

constexpr int kOpen = static_cast<int>(FileStep::kOpen);
constexpr int kCommit = static_cast<int>(FileStep::kCommit);
constexpr int kAfterRename = -1;

std::string LinkTarget(const std::string& path) {
  char buf[PATH_MAX];
  ssize_t n = ::readlink(path.c_str(), buf, sizeof buf);
  return n < 0 ? "<not a link>" : std::string(buf, static_cast<size_t>(n));
}

// A file or a folder of the tree swapped, after the listing or between the
// read and the rename, for a link to something outside or for another file:
// nothing outside the tree is read or written, a file that is not the one
// listed is a file that cannot be read, and the run says so.
TEST_F(RacesAndLinks, SwapsDuringTheRunAreNeverFollowed) {
  const std::string out = root_ + "/outside";
  struct Case {
    const char* name;
    int step;
    const char* file;  // below the data folder
    std::function<void()> swap;
    std::string line;  // the log line that reports it, if any
    int status;
  };
  const Case cases[] = {
      {"b.txt becomes a link to a private file", kOpen, "b.txt",
       [&] {
         ::unlink((data_ + "/b.txt").c_str());
         ::symlink((out + "/secret.txt").c_str(), (data_ + "/b.txt").c_str());
       },
       "ZARNPFI001CE '" + data_ + "/b.txt' cannot be read (error 40).", 3},
      {"sub becomes a link to a folder outside", kOpen, "sub/c.txt",
       [&] {
         ::rename((data_ + "/sub").c_str(), (root_ + "/sub.old").c_str());
         ::symlink((out + "/dir").c_str(), (data_ + "/sub").c_str());
       },
       "ZARNPFI001CE '" + data_ + "/sub/c.txt' cannot be read (error 40).", 3},
      {"b.txt becomes another file", kOpen, "b.txt",
       [&] {
         WriteFile(root_ + "/other", "foo other");
         ::rename((root_ + "/other").c_str(), (data_ + "/b.txt").c_str());
       },
       "ZARNPFI001CE '" + data_ + "/b.txt' cannot be read (error 116).", 3},
      {"sub becomes a link between read and rename", kCommit, "sub/c.txt",
       [&] {
         ::rename((data_ + "/sub").c_str(), (data_ + "/sub.moved").c_str());
         ::symlink((out + "/dir").c_str(), (data_ + "/sub").c_str());
       },
       "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs_ = FaultyRealFileSystem();
    ASSERT_EQ(std::system(("rm -rf '" + data_ + "' '" + out + "' '" + root_ +
                           "/sub.old' && mkdir -p '" + data_ + "/sub' '" + out +
                           "/dir'")
                              .c_str()),
              0);
    PutData("a.txt", "foo a");
    PutData("b.txt", "foo b");
    PutData("sub/c.txt", "foo c");
    WriteFile(out + "/secret.txt", "foo secret");
    ::chmod((out + "/secret.txt").c_str(), 0600);
    WriteFile(out + "/dir/c.txt", "foo outside");
    At(c.step, data_ + "/" + c.file, c.swap);

    EXPECT_EQ(RunMain(false, "Files=\\.txt$\r\n"), c.status);
    // Nothing outside the tree was read into it or written.
    EXPECT_EQ(ReadFile(out + "/secret.txt"), "foo secret");
    struct stat st {};
    ASSERT_EQ(::stat((out + "/secret.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(ReadFile(out + "/dir/c.txt"), "foo outside");
    EXPECT_EQ(Entries(out + "/dir"), std::vector<std::string>{"c.txt"});
    EXPECT_EQ(Data("a.txt"), "bar a");
    if (!c.line.empty()) {
      EXPECT_EQ(Count(c.line), 1) << c.line;
    }
  }
  // The last case: the file was written into the folder it was read from,
  // wherever that folder went.
  EXPECT_EQ(Data("sub.moved/c.txt"), "bar c");
  EXPECT_EQ(Entries(data_ + "/sub.moved"), std::vector<std::string>{"c.txt"});
  EXPECT_EQ(LinkTarget(data_ + "/sub"), out + "/dir");
}

// A tree deeper than PATH_MAX: every folder is listed and every file edited
// (walked from folder to folder), and a folder deep down swapped for a link
// is refused like any other.
TEST_F(RacesAndLinks, TreeDeeperThanThePathLimitIsWalkedWhole) {
  const std::string name(200, 'd');
  std::string deep = data_;  // the path of the deepest folder
  UniqueFd folder(::open(data_.c_str(), O_RDONLY | O_DIRECTORY));
  for (int level = 0; level < 25; ++level) {
    ASSERT_EQ(::mkdirat(folder.get(), name.c_str(), 0755), 0);
    folder = UniqueFd(::openat(folder.get(), name.c_str(), O_RDONLY));
    deep += "/" + name;
  }
  ASSERT_GT(deep.size(), static_cast<size_t>(PATH_MAX));
  auto put = [&](const char* file, const char* text) {
    UniqueFd fd(::openat(folder.get(), file, O_WRONLY | O_CREAT, 0644));
    ASSERT_EQ(::write(fd.get(), text, std::strlen(text)),
              static_cast<ssize_t>(std::strlen(text)));
  };
  auto get = [&](const char* file) {
    char buf[64] = {};
    UniqueFd fd(::openat(folder.get(), file, O_RDONLY));
    return std::string(buf, static_cast<size_t>(std::max<ssize_t>(
                                0, ::read(fd.get(), buf, 63))));
  };
  ASSERT_EQ(::mkdirat(folder.get(), "x", 0755), 0);
  ASSERT_EQ(::mkdirat(folder.get(), "y", 0755), 0);
  put("f.txt", "foo deep");
  put("x/g.txt", "foo x");
  put("y/h.txt", "foo y");
  const std::string out = root_ + "/outside";
  ::mkdir(out.c_str(), 0755);
  WriteFile(out + "/g.txt", "foo outside");
  At(kOpen, deep + "/x/g.txt", [&] {
    ASSERT_EQ(::renameat(folder.get(), "x", folder.get(), "x.old"), 0);
    ASSERT_EQ(::symlinkat(out.c_str(), folder.get(), "x"), 0);
  });
  EXPECT_EQ(RunMain(false, "Files=\\.txt$\r\n"), 3);
  EXPECT_EQ(get("f.txt"), "bar deep");
  EXPECT_EQ(get("y/h.txt"), "bar y");
  EXPECT_EQ(get("x.old/g.txt"), "foo x");
  EXPECT_EQ(ReadFile(out + "/g.txt"), "foo outside");
  EXPECT_EQ(Count("ZARNPFI001CE '" + deep +
                  "/x/g.txt' cannot be read (error "
                  "40)."),
            1);
  EXPECT_EQ(Count("ZARNPFI006CI End of run: 3 files processed, 2 changes in "
                  "all."),
            1);
}

// The log replaced by a link in the middle of the run: every later line
// still goes into the log the run opened, never into the link's target.
TEST_F(RacesAndLinks, LogCannotBeRedirectedByALinkDuringTheRun) {
  PutData("a.txt", "foo");
  PutData("b.txt", "foo");
  const std::string target = root_ + "/target";
  WriteFile(target, "root's file\n");
  At(kOpen, data_ + "/b.txt", [&] {
    ::rename(LogPath().c_str(), (root_ + "/moved.log").c_str());
    ::symlink(target.c_str(), LogPath().c_str());
  });
  EXPECT_EQ(RunMain(false, "Files=\\.txt$\r\n"), 0);
  EXPECT_EQ(ReadFile(target), "root's file\n");
  EXPECT_EQ(LinkTarget(LogPath()), target);
  std::vector<std::string> log = LogLines(root_ + "/moved.log");
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[3], "ZARNPFI003CI Processing file '" + data_ + "/b.txt'");
  EXPECT_EQ(log[5],
            "ZARNPFI006CI End of run: 2 files processed, 2 changes "
            "in all.");
}

// Another program appends to a.txt between its read and its rename: a.txt
// is not replaced, keeps the appended line, loses its backup, and the run
// says so and ends with status 3; the next file is processed as usual.
TEST_F(RacesAndLinks, FileChangedDuringTheRunIsNotReplaced) {
  PutData("a.txt", "foo\n");
  PutData("b.txt", "foo\n");
  options_.backup_suffix = ".orig";
  At(kCommit, data_ + "/a.txt", [&] {
    std::ofstream(data_ + "/a.txt", std::ios::app) << "appended meanwhile\n";
  });
  EXPECT_EQ(RunMain(false, "Files=\\.txt$\r\n"), 3);
  EXPECT_EQ(Data("a.txt"), "foo\nappended meanwhile\n");
  EXPECT_EQ(Data("b.txt"), "bar\n");
  EXPECT_EQ(Data("b.txt.orig"), "foo\n");
  EXPECT_EQ(Entries(data_), (std::vector<std::string>{
                                "a.txt", "b.txt", "b.txt.orig", "zarn.log"}));
  EXPECT_EQ(Count("ZARNPFI008CE File '" + data_ +
                  "/a.txt' changed during the run (another program wrote "
                  "to it after it was read); it is not replaced and keeps "
                  "what the other program wrote."),
            1);
}

// Another program makes a.txt private between its read and its rename: the
// new text, which would carry the mode the read saw, does not replace it.
TEST_F(RacesAndLinks, ModeChangedDuringTheRunIsNotUndone) {
  PutData("a.txt", "foo\n");
  At(kCommit, data_ + "/a.txt", [&] {
    // Past the clock tick of the file's own change time, which a change
    // within the same tick would not move.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(::chmod((data_ + "/a.txt").c_str(), 0600), 0);
  });
  EXPECT_EQ(RunMain(false, "Files=\\.txt$\r\n"), 3);
  EXPECT_EQ(Data("a.txt"), "foo\n");
  struct stat st {};
  ASSERT_EQ(::stat((data_ + "/a.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(Count("ZARNPFI008CE File '" + data_ +
                  "/a.txt' changed during the "
                  "run (another program wrote to it after it was read); it is "
                  "not replaced and keeps what the other program wrote."),
            1);
}

// Two signals right after a.txt is renamed over its original, in a child
// process with the run's handlers: the second ends the process, but only
// once a.txt's File done line is in the log.
TEST_F(RacesAndLinks, SignalsAfterARenameWaitForTheFileDoneLine) {
  PutData("a.txt", "foo");
  PutData("b.txt", "foo");
  At(kAfterRename, data_ + "/a.txt", [] {
    ::raise(SIGINT);
    ::raise(SIGTERM);
  });
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    InstallInterruptHandlers();
    ::_exit(RunMain(false, "Files=\\.txt$\r\n"));
  }
  int wstatus = 0;
  ASSERT_EQ(::waitpid(pid, &wstatus, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(wstatus)) << wstatus;
  EXPECT_EQ(WTERMSIG(wstatus), SIGTERM);  // the one delivered second
  EXPECT_EQ(Data("a.txt"), "bar");
  EXPECT_EQ(Data("b.txt"), "foo");
  EXPECT_EQ(LogLines().back(), "ZARNPFI005CI File done, changes: 1");
}

// The banner goes through a temporary file; the appended lines fail (a full
// disk). The run goes on over every file, says once on standard error that
// the log is losing lines, and ends with status 3.
TEST_F(RacesAndLinks, LogThatCannotBeWrittenIsReportedOnceAndFailsTheRun) {
  for (bool file_fails : {false, true}) {
    SCOPED_TRACE(file_fails);
    fs_ = FaultyRealFileSystem();
    PutData("a.txt", "foo");
    PutData("b.txt", "foo");
    fs_.Fail(FaultyRealFileSystem::Op::kWrite, "/data/zarn.log", ENOSPC);
    if (file_fails)
      fs_.Fail(FaultyRealFileSystem::Op::kRename, "/data/b.txt", EIO);
    EXPECT_EQ(RunMain(), 3);
    EXPECT_EQ(report_, "Zarn 2.0: ZARNPFI011CE The log '" + LogPath() +
                           "' cannot be written (error 28); lines are being "
                           "lost, and the run will end with status 3.\n");
    EXPECT_EQ(Data("a.txt"), "bar");
    EXPECT_EQ(Data("b.txt"), file_fails ? "foo" : "bar");
    EXPECT_EQ(Entries(data_),
              (std::vector<std::string>{"a.txt", "b.txt", "zarn.log"}));
    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{
                  "=================== Zarn 2.0 -- unattended batch editing "
                  "log ==================="}));
  }
}

// A text longer than the largest file a run reads back is refused by rep
// and by every assignment of *filestring: the run stops (status 2) with the
// file untouched.
TEST_F(RacesAndLinks, TextLongerThanAReadableFileIsRefused) {
  const struct {
    const char* program;
    const char* command;  // empty: accepted
    int length;
  } cases[] = {
      {"setc p,c\r\nfind p,b,h,a\r\nsetc x,XXXXXXX\r\nrep h,x\r\n", "rep", 12},
      {"set *filestring,cs(*filestring,*filestring)\r\n", "set", 12},
      {"setc *filestring,0123456789A\r\n", "setc", 11},
      {"cat *filestring,*filestring,*filestring\r\n", "cat", 12},
      {"set *filestring,cs(*filestring,1234)\r\n", "", 10},
  };
  max_text_size_ = 10;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program);
    fs_ = FaultyRealFileSystem();  // a new run: its own lock
    PutData("a.txt", "abcdef");
    ::unlink(LogPath().c_str());
    program_ = c.program;
    if (*c.command == 0) {
      EXPECT_EQ(RunMain(false, "Files=\\.txt$\r\n"), 0);
      EXPECT_EQ(Data("a.txt"), "abcdef1234");
      continue;
    }
    EXPECT_EQ(RunMain(false, "Files=\\.txt$\r\n"), 2);
    EXPECT_EQ(Data("a.txt"), "abcdef");
    EXPECT_EQ(Count("ZARNCMD009CT Command " + std::string(c.command) +
                    ": the file text would be " + std::to_string(c.length) +
                    " bytes long, more than the 10 bytes of the largest file "
                    "Zarn can read back."),
              1);
  }
}

}  // namespace
}  // namespace zarn::testing
