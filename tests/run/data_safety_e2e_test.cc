// The real binary against what other users and programs do to a tree while
// it runs: names built to forge log lines, set-id files of another owner, a
// second run, a full disk, a memory limit, signals and predictable
// temporary names. Every byte inside and outside the tree, the mode bits,
// the log, standard error and the exit status are checked.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

#include "run/e2e_fixture.h"
#include "support/file_system.h"

namespace zarn::testing {
namespace {

using DataSafety = E2eTest;

std::string Name(int i) { return "f" + std::to_string(1000 + i) + ".txt"; }

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st.st_mode & 07777;
}

// A name with a line end, a forged log line, a terminal escape sequence
// and a backslash: the log shows it in one escaped form, so no line is
// forged; the copy on standard error and the diff carry no control
// character either.
TEST_F(DataSafety, NamesCannotForgeLogLinesOrDriveTheTerminal) {
  const std::string name =
      "a\r\n2026-01-01|00:00:00 ZARNPFI006CI forged\x1b[2J\\b.txt";
  const std::string shown =
      data_ +
      "/a\\x0D\\x0A2026-01-01|00:00:00 ZARNPFI006CI forged\\x1B[2J"
      "\\\\b.txt";
  PutData(name, "foo");
  WriteJob(kFooToBar);
  RunResult r = Run({"--log-stderr"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Data(name), "bar");
  const std::vector<std::string> log = LogLines(RunLog());
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[1], "ZARNPFI003CI Processing file '" + shown + "'");
  EXPECT_EQ(log[3],
            "ZARNPFI006CI End of run: 1 files processed, 1 changes "
            "in all.");
  EXPECT_NE(r.err.find(shown), std::string::npos) << r.err;
  PutData(name, "foo");
  const RunResult diff = Run({"--diff"});
  EXPECT_EQ(diff.status, 0);
  for (const std::string& out : {r.err, diff.out}) {
    EXPECT_EQ(std::count_if(
                  out.begin(), out.end(),
                  [](char c) { return (c < 0x20 && c != '\n') || c == 0x7f; }),
              0)
        << out;
  }
}

// Run by another user (uid 65534), Zarn cannot give a rewritten file of
// root back to root: the new file is that user's, so its set-uid and
// set-gid bits are cleared and the log says so. A file of the user itself
// keeps its bits.
TEST_F(DataSafety, RewriteThatCannotKeepTheOwnerClearsSetIdBits) {
  if (::geteuid() != 0 || ::access("/usr/bin/setpriv", X_OK) != 0) {
    GTEST_SKIP() << "needs root and setpriv to run as a second user";
  }
  ASSERT_EQ(::chmod(root_.c_str(), 0755), 0);
  ASSERT_EQ(::chown(data_.c_str(), 65534, 65534), 0);
  PutData("tool.txt", "foo");
  PutData("own.txt", "foo");
  ASSERT_EQ(::chown((data_ + "/own.txt").c_str(), 65534, 65534), 0);
  ASSERT_EQ(::chmod((data_ + "/tool.txt").c_str(), 06755), 0);
  ASSERT_EQ(::chmod((data_ + "/own.txt").c_str(), 04755), 0);
  WriteParams("Files=\\.txt$\r\n");
  WriteProgram(kFooToBar);
  RunResult r =
      RunProgram({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                  "--clear-groups", Binary(), ParamPath()},
                 root_);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Data("tool.txt"), "bar");
  EXPECT_EQ(ModeOf(data_ + "/tool.txt"), 0755u);
  EXPECT_EQ(ModeOf(data_ + "/own.txt"), 04755u);
  const std::vector<std::string> log = LogLines();
  EXPECT_EQ(std::count(log.begin(), log.end(),
                       "ZARNPFI009CI File '" + data_ +
                           "/tool.txt': its owner or group could not be kept, "
                           "so its set-user-ID and set-group-ID bits were "
                           "cleared."),
            1);
  EXPECT_EQ(log.size(), 7u);  // no such line for own.txt
}

// While another run holds the data folder, a run stops at start-up before
// it touches the log or a file; a preview takes no lock, and once the other
// run is gone its lock is gone too.
TEST_F(DataSafety, SecondRunOnTheSameDataFolderStopsAtStartUp) {
  PutData("a.txt", "foo");
  WriteJob(kFooToBar);
  UniqueFd other(::open(data_.c_str(), O_RDONLY | O_DIRECTORY));
  ASSERT_EQ(::flock(other.get(), LOCK_EX | LOCK_NB), 0);
  RunResult r = Run();
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Zarn 2.0: ZARNCPA009CT The data folder '" + data_ +
                       "' is in use by another run of Zarn (error 11). "
                       "Execution canceled.\n");
  EXPECT_FALSE(Exists(RunLog()));
  EXPECT_EQ(Data("a.txt"), "foo");
  EXPECT_EQ(Run({"--dry-run"}).status, 0);
  EXPECT_EQ(Data("a.txt"), "foo");
  other.Reset();
  EXPECT_EQ(Run().status, 0);
  EXPECT_EQ(Data("a.txt"), "bar");
}

// The log on a small file system that fills in the middle of the run: every
// file is still processed, standard error says once that log lines are
// lost, and the run ends with status 3. Once it is full, the next run stops
// at start-up and says the disk is full.
TEST_F(DataSafety, FullDiskOfTheLogIsSaidOnceAndAtStartUpByName) {
  const std::string logs = root_ + "/logs";
  ASSERT_EQ(::mkdir(logs.c_str(), 0755), 0);
  if (::mount("tmpfs", logs.c_str(), "tmpfs", 0, "size=16k") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
  }
  struct Unmount {
    std::string path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
  } unmount{logs};
  for (int i = 0; i < 200; ++i) PutData(Name(i), "foo");
  WriteParams("Files=\\.txt$\r\n", "[Log]\r\nLog=" + logs + "/run.log\r\n");
  WriteProgram(kFooToBar);
  RunResult r = Run();
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "Zarn 2.0: ZARNPFI011CE The log '" + logs +
                       "/run.log' cannot be written (error 28); lines are "
                       "being lost, and the run will end with status 3.\n");
  for (int i = 0; i < 200; ++i) ASSERT_EQ(Data(Name(i)), "bar") << Name(i);
  WriteFile(logs + "/filler", std::string(64 * 1024, 'x'));  // what is left
  r = Run();
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Zarn 2.0: ZARNCPA010CT The folder '" + logs +
                       "' given by parameter Log has no space left (error "
                       "28). Execution canceled.\n");
}

// Under a memory limit, a program that grows a text without end fails the
// file it works on (logged, status 3), not the run: the next file is
// processed and the summary written.
TEST_F(DataSafety, OutOfMemoryFailsTheFileNotTheRun) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer reserves more address space than the limit";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  GTEST_SKIP() << "the sanitizer reserves more address space than the limit";
#endif
#endif
  if (::access("/usr/bin/prlimit", X_OK) != 0) GTEST_SKIP() << "no prlimit";
  PutData("a.txt", "foo grow");
  PutData("b.txt", "foo");
  WriteJob(std::string(kFooToBar) +
           "setc g,grow\r\nfind g,x,y,z\r\nif *rcf\r\nsetc t,0123456789\r\n"
           "loop\r\ncat t,t,t\r\nlend\r\nendif\r\n");
  RunResult r = RunProgram(
      {"/usr/bin/prlimit", "--as=536870912", Binary(), ParamPath()}, root_);
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_EQ(Data("a.txt"), "foo grow");
  EXPECT_EQ(Data("b.txt"), "bar");
  EXPECT_EQ(
      LogLines(RunLog()),
      (std::vector<std::string>{
          "=================== Zarn 2.0 -- unattended batch editing log "
          "===================",
          "ZARNPFI003CI Processing file '" + data_ + "/a.txt'",
          "ZARNPFI012CE File '" + data_ +
              "/a.txt' failed: not enough memory to process it; it keeps its "
              "previous content.",
          "ZARNPFI005CI File done, changes: 1",
          "ZARNPFI003CI Processing file '" + data_ + "/b.txt'",
          "ZARNPFI005CI File done, changes: 1",
          "ZARNPFI006CI End of run: 2 files processed, 1 changes in all."}));
}

// SIGTERM while the program runs on b.txt (it would never end there): b.txt
// is left as it was, no temporary file stays, the log says where the run
// stopped and gives the summary, and the status is 128 + 15.
TEST_F(DataSafety, SigtermAbandonsTheFileInHandAndEndsWithTheSummary) {
  PutData("a.txt", "foo");
  PutData("b.txt", "foo stall");
  PutData("c.txt", "foo");
  WriteJob(std::string(kFooToBar) +
           "setc *pos,1\r\nsetc s,stall\r\nfind s,x,y,z\r\nif *rcf\r\n"
           "loop\r\nlend\r\nendif\r\n");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::string bin = Binary(), params = ParamPath();
  char* argv[] = {bin.data(), params.data(), nullptr};
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  const std::string stalled =
      "ZARNPFI003CI Processing file '" + data_ + "/b.txt'\r\n";
  for (int i = 0;
       i < 60000 && ReadFile(RunLog()).find(stalled) == std::string::npos;
       ++i) {
    ::usleep(1000);
  }
  ::kill(pid, SIGTERM);
  int wstatus = 0;
  ASSERT_EQ(::waitpid(pid, &wstatus, 0), pid);
  ASSERT_TRUE(WIFEXITED(wstatus)) << wstatus;
  EXPECT_EQ(WEXITSTATUS(wstatus), 128 + SIGTERM);
  EXPECT_EQ(Data("a.txt"), "bar");
  EXPECT_EQ(Data("b.txt"), "foo stall");
  EXPECT_EQ(Data("c.txt"), "foo");
  EXPECT_EQ(Entries(data_),
            (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
  const std::vector<std::string> log = LogLines(RunLog());
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[4], "ZARNPFI010CT Run interrupted by SIGTERM at file '" +
                        data_ +
                        "/b.txt': that file and the files after it are left "
                        "as they were.");
  EXPECT_EQ(log[5],
            "ZARNPFI006CI End of run: 1 files processed, 1 changes "
            "in all.");
}

// Links planted at every temporary name a generator seeded with the
// process id would give (the process keeps its id across exec) do not make
// the write-back fail.
TEST_F(DataSafety, TemporaryNamesCannotBeForeseen) {
  PutData("a.txt", "foo");
  WriteJob(kFooToBar);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::minstd_rand guess(static_cast<unsigned>(::getpid()));
    for (int i = 0; i <= 100; ++i) {  // the log's banner, then a.txt's
      char suffix[16];
      std::snprintf(suffix, sizeof suffix, "%06x",
                    static_cast<unsigned>(guess() & 0xffffff));
      ::symlink("/nowhere", TemporaryName(data_ + "/a.txt", suffix).c_str());
    }
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 2);
    const std::string bin = Binary(), params = ParamPath();
    ::execl(bin.c_str(), bin.c_str(), params.c_str(), nullptr);
    ::_exit(127);
  }
  int wstatus = 0;
  ASSERT_EQ(::waitpid(pid, &wstatus, 0), pid);
  ASSERT_TRUE(WIFEXITED(wstatus));
  EXPECT_EQ(WEXITSTATUS(wstatus), 0);
  EXPECT_EQ(Data("a.txt"), "bar");
}

}  // namespace
}  // namespace zarn::testing
