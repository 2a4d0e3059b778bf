// The progress line on a real pseudo-terminal: it shows the total of
// selected files, rewrites itself in place, keeps out of the way of log
// lines and diffs written to the same terminal, and leaves nothing behind.
#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "run/e2e_fixture.h"

namespace zarn::testing {
namespace {

struct PtyResult {
  int status = -1;
  std::string terminal;  // every byte the terminal received
};

// Runs the binary with standard error (and, when asked, standard output)
// on a new pseudo-terminal of the given width.
PtyResult RunOnTerminal(const std::vector<std::string>& argv, int columns,
                        bool stdout_too) {
  PtyResult result;
  int master = -1, slave = -1;
  struct winsize ws {};
  ws.ws_row = 24;
  ws.ws_col = static_cast<unsigned short>(columns);
  if (::openpty(&master, &slave, nullptr, nullptr, &ws) != 0) {
    ADD_FAILURE() << "openpty failed: " << errno;
    return result;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  if (stdout_too) posix_spawn_file_actions_adddup2(&actions, slave, 1);
  posix_spawn_file_actions_adddup2(&actions, slave, 2);
  posix_spawn_file_actions_addclose(&actions, master);
  posix_spawn_file_actions_addclose(&actions, slave);
  std::vector<char*> args;
  for (const std::string& a : argv) {
    args.push_back(const_cast<char*>(a.c_str()));
  }
  args.push_back(nullptr);
  pid_t pid;
  int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(slave);
  // Read until the last holder of the terminal is gone (EIO), so that the
  // program never blocks on a full terminal buffer.
  char buf[4096];
  for (ssize_t n; rc == 0 && ((n = ::read(master, buf, sizeof buf)) > 0 ||
                              (n < 0 && errno == EINTR));) {
    if (n > 0) result.terminal.append(buf, static_cast<size_t>(n));
  }
  ::close(master);
  if (rc != 0) {
    ADD_FAILURE() << "spawn failed: " << rc;
    return result;
  }
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  return result;
}

// What a terminal shows after receiving the bytes: carriage return, line
// feed, "erase to the end of the line" and plain characters.
std::vector<std::string> Screen(const std::string& bytes) {
  std::vector<std::string> lines(1);
  size_t row = 0, col = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    char c = bytes[i];
    if (c == '\r') {
      col = 0;
    } else if (c == '\n') {
      ++row;
      if (lines.size() <= row) lines.emplace_back();
    } else if (c == '\x1b' && bytes.compare(i, 3, "\x1b[K") == 0) {
      lines[row].resize(std::min(lines[row].size(), col));
      i += 2;
    } else {
      std::string& line = lines[row];
      if (line.size() <= col) line.resize(col + 1, ' ');
      line[col++] = c;
    }
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

// The progress texts drawn: what follows each carriage return up to the
// erase sequence, when it begins with a digit.
std::vector<std::string> Drawn(const std::string& bytes) {
  std::vector<std::string> texts;
  size_t pos = 0;
  while ((pos = bytes.find('\r', pos)) != std::string::npos) {
    size_t end = bytes.find("\x1b[K", pos);
    if (end == std::string::npos) break;
    std::string text = bytes.substr(pos + 1, end - pos - 1);
    if (!text.empty() && text[0] >= '0' && text[0] <= '9') {
      texts.push_back(text);
    }
    pos = pos + 1;
  }
  return texts;
}

// The lines of a text, each ended by end.
std::vector<std::string> Lines(const std::string& text,
                               const std::string& end) {
  std::vector<std::string> lines;
  for (size_t pos = 0, at; pos < text.size(); pos = at + end.size()) {
    at = text.find(end, pos);
    lines.push_back(text.substr(pos, at - pos));
  }
  return lines;
}

class ProgressOnTerminal : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    MakeFolder("sub");
    PutData("a.txt", "foo\n");
    PutData("b.txt", "foo foo\n");
    PutData("sub/a-rather-long-file-name-for-the-line.txt", "foo\n");
    // A name that would clear the screen if written to it as it is.
    PutData("sub/b\x1b[2J.txt", "foo\n");
    WriteJob("set *filestring,sr(*filestring,foo,bar)\n", "");
  }
  std::vector<std::string> Args(std::vector<std::string> options) {
    std::vector<std::string> argv{Binary()};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(ParamPath());
    return argv;
  }
};

TEST_F(ProgressOnTerminal, LineAppearsWithTheTotalAndIsErasedAtTheEnd) {
  PtyResult r = RunOnTerminal(Args({"--dry-run"}), 40, false);
  ASSERT_EQ(r.status, 0);
  std::vector<std::string> drawn = Drawn(r.terminal);
  ASSERT_FALSE(drawn.empty()) << r.terminal;
  // The total is known from the first drawing on.
  EXPECT_EQ(drawn.front(), "0/4 files, 0 changes");
  EXPECT_EQ(r.terminal.find("\x1b[2J"), std::string::npos);
  for (const std::string& text : drawn) {
    EXPECT_NE(text.find("/4 files, "), std::string::npos) << text;
    EXPECT_LE(text.size(), 39u) << text;  // never wraps on 40 columns
  }
  // It ends erased, and the terminal shows nothing at all.
  ASSERT_GE(r.terminal.size(), 4u);
  EXPECT_EQ(r.terminal.substr(r.terminal.size() - 4), "\r\x1b[K");
  EXPECT_EQ(Screen(r.terminal), std::vector<std::string>{});

  // --quiet draws nothing.
  r = RunOnTerminal(Args({"--quiet"}), 80, false);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.terminal, "");
  EXPECT_EQ(Data("a.txt"), "bar\n");
}

TEST_F(ProgressOnTerminal, LogLinesAndDiffStayReadable) {
  PtyResult r = RunOnTerminal(Args({"--dry-run", "--log-stderr"}), 200, false);
  ASSERT_EQ(r.status, 0);
  EXPECT_FALSE(Drawn(r.terminal).empty());
  // Exactly the log lines are left on the screen.
  EXPECT_EQ(Screen(r.terminal), Lines(ReadFile(RunLog()), "\r\n"));

  // A diff on the same terminal: the screen holds the diff alone.
  RunResult plain = Run({"--diff"});
  ASSERT_EQ(plain.status, 0);
  ASSERT_NE(plain.out, "");
  r = RunOnTerminal(Args({"--diff"}), 200, true);
  ASSERT_EQ(r.status, 0);
  EXPECT_FALSE(Drawn(r.terminal).empty());
  EXPECT_EQ(Screen(r.terminal), Lines(plain.out, "\n"));
}

}  // namespace
}  // namespace zarn::testing
