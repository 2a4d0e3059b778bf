// The progress line on a real pseudo-terminal: it shows the total of
// selected files, fits the width, rewrites itself in place, keeps out of
// the way of log lines and diffs written to the same terminal, cannot be
// made to drive the terminal by a file name, and leaves nothing behind.
#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>

#include "run/e2e_fixture.h"

namespace zarn::testing {
namespace {

// Every byte a pseudo-terminal of the given width receives while the binary
// runs with its standard error (and, when asked, output) there; the status
// goes to *status.
std::string RunOnTerminal(std::vector<std::string> argv, int columns,
                          bool stdout_too, int* status) {
  int master = -1, slave = -1;
  struct winsize ws {};
  ws.ws_row = 24;
  ws.ws_col = static_cast<unsigned short>(columns);
  EXPECT_EQ(::openpty(&master, &slave, nullptr, nullptr, &ws), 0) << errno;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  if (stdout_too) posix_spawn_file_actions_adddup2(&actions, slave, 1);
  posix_spawn_file_actions_adddup2(&actions, slave, 2);
  posix_spawn_file_actions_addclose(&actions, master);
  posix_spawn_file_actions_addclose(&actions, slave);
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  pid_t pid;
  const int rc =
      posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(slave);
  // Read until the last holder of the terminal is gone (EIO), so that the
  // program never blocks on a full terminal buffer.
  std::string terminal;
  char buf[4096];
  for (ssize_t n; rc == 0 && ((n = ::read(master, buf, sizeof buf)) > 0 ||
                              (n < 0 && errno == EINTR));) {
    if (n > 0) terminal.append(buf, static_cast<size_t>(n));
  }
  ::close(master);
  int wstatus = 0;
  if (rc == 0) ::waitpid(pid, &wstatus, 0);
  *status = rc == 0 && WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  return terminal;
}

// What the terminal shows after receiving the bytes: carriage return, line
// feed, "erase to the end of the line" and plain characters; one text per
// line, each ended by LF.
std::string Screen(const std::string& bytes) {
  std::vector<std::string> lines(1);
  size_t col = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::string& line = lines.back();
    if (bytes[i] == '\r') {
      col = 0;
    } else if (bytes[i] == '\n') {
      lines.emplace_back();
    } else if (bytes.compare(i, 3, "\x1b[K") == 0) {
      line.resize(std::min(line.size(), col));
      i += 2;
    } else {
      if (line.size() <= col) line.resize(col + 1, ' ');
      line[col++] = bytes[i];
    }
  }
  std::string screen;
  for (const std::string& line : lines) screen += line + "\n";
  while (screen.size() >= 2 && screen.substr(screen.size() - 2) == "\n\n") {
    screen.pop_back();
  }
  return screen == "\n" ? "" : screen;
}

// The progress texts drawn: what follows each carriage return up to the
// erase sequence, when it begins with a digit.
std::vector<std::string> Drawn(const std::string& bytes) {
  std::vector<std::string> texts;
  for (size_t pos = bytes.find('\r'); pos != std::string::npos;
       pos = bytes.find('\r', pos + 1)) {
    const size_t end = bytes.find("\x1b[K", pos);
    if (end != std::string::npos && std::isdigit(bytes[pos + 1])) {
      texts.push_back(bytes.substr(pos + 1, end - pos - 1));
    }
  }
  return texts;
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
  std::string Terminal(const std::string& option, int columns,
                       bool stdout_too = false) {
    int status = -1;
    const std::string bytes = RunOnTerminal({Binary(), option, ParamPath()},
                                            columns, stdout_too, &status);
    EXPECT_EQ(status, 0);
    return bytes;
  }
};

// Drawn with the total from the start, never wrapping, erased at the end;
// the log lines copied to the same terminal and the run's summary line are
// all that stays on it.
TEST_F(ProgressOnTerminal, LineFitsStaysOutOfTheWayAndIsErasedAtTheEnd) {
  const std::string bytes = Terminal("--log-stderr", 40);
  const std::vector<std::string> drawn = Drawn(bytes);
  ASSERT_FALSE(drawn.empty()) << bytes;
  EXPECT_EQ(drawn.front(), "0/4 files, 0 changes");
  for (const std::string& text : drawn) {
    EXPECT_NE(text.find("/4 files, "), std::string::npos) << text;
    EXPECT_LE(text.size(), 39u) << text;
    EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
  }
  // Erased, and followed by the one line that says what the run did.
  const std::string summary =
      "zarn: 4 files, 4 changes, 0 failures; log: " + RunLog() + "\n";
  EXPECT_EQ(bytes.substr(bytes.size() - summary.size() - 5),
            "\r\x1b[K" + ReplaceEvery(summary, "\n", "\r\n"));
  EXPECT_EQ(Screen(bytes),
            ReplaceEvery(ReadFile(RunLog()), "\r\n", "\n") + summary);
  EXPECT_EQ(Data("a.txt"), "bar\n");
  // A diff on the same terminal leaves the diff alone; --quiet draws
  // nothing.
  for (const char* name : {"a.txt", "b.txt"}) PutData(name, "foo\n");
  const std::string diff = Run({"--diff"}).out;
  ASSERT_NE(diff, "");
  EXPECT_EQ(Screen(Terminal("--diff", 200, /*stdout_too=*/true)),
            diff + summary);
  EXPECT_EQ(Terminal("--quiet", 80), "");
}

}  // namespace
}  // namespace zarn::testing
