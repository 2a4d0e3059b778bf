// The one fixture of the tests that are not case files: a temporary folder
// tree with a real parameter file, program and data, on which the real zarn
// binary runs (or Main, in the process, over a file system with faults).
#ifndef ZARN_TESTS_RUN_E2E_FIXTURE_H_
#define ZARN_TESTS_RUN_E2E_FIXTURE_H_

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/test_support.h"

extern char** environ;

namespace zarn::testing {

struct RunResult {
  int status = -1;  // exit status
  std::string out;  // standard output
  std::string err;  // standard error
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

inline bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// Every entry of a folder, hidden ones included, sorted.
inline std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> out;
  DIR* d = ::opendir(folder.c_str());
  while (struct dirent* e = d ? ::readdir(d) : nullptr) {
    std::string n = e->d_name;
    if (n != "." && n != "..") out.push_back(n);
  }
  if (d) ::closedir(d);
  std::sort(out.begin(), out.end());
  return out;
}

// Runs a program with arguments, standard input empty (or the bytes of
// input), in the current folder (or in cwd); standard output and error
// are captured through files in scratch.
inline RunResult RunProgram(const std::vector<std::string>& argv,
                            const std::string& scratch,
                            const std::string* input = nullptr,
                            const std::string& cwd = "") {
  const std::string out = scratch + "/.stdout", err = scratch + "/.stderr";
  const std::string in = input ? scratch + "/.stdin" : "/dev/null";
  if (input) WriteFile(in, *input);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> args;
  for (const std::string& a : argv)
    args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  RunResult r;
  const int rc =
      posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return r;
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  r.status =
      WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  r.out = ReadFile(out);
  r.err = ReadFile(err);
  ::unlink(out.c_str());
  ::unlink(err.c_str());
  if (input) ::unlink(in.c_str());
  return r;
}

// The tree: root/data (the data folder), root/prog (the program folder),
// root/params.ini, and the log root/run.log.
class E2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/zarn-e2e-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    data_ = root_ + "/data";
    prog_ = root_ + "/prog";
    ::mkdir(data_.c_str(), 0755);
    ::mkdir(prog_.c_str(), 0755);
  }
  void TearDown() override {
    ASSERT_EQ(std::system(("rm -rf '" + root_ + "'").c_str()), 0);
  }

  // The binary under test: ZARN_TEST_BINARY when set (another build of
  // it, such as the one under ThreadSanitizer), else this build's.
  std::string Binary() const {
    const char* other = std::getenv("ZARN_TEST_BINARY");
    return other != nullptr && *other != '\0' ? other : ZARN_BINARY;
  }
  std::string ParamPath() const { return root_ + "/params.ini"; }
  std::string RunLog() const { return root_ + "/run.log"; }
  // The default log, in the data folder.
  std::string LogPath() const { return data_ + "/zarn.log"; }

  // A parameter file for the data and program folders, with extra lines
  // appended to [Data] and the other sections given whole.
  void WriteParams(const std::string& data_extra = "",
                   const std::string& other_sections = "") {
    WriteFile(ParamPath(),
              "[Data]\r\nDatafolder=" + data_ + "\r\nZarnfolder=" + prog_ +
                  "\r\nStart=prog.zarn\r\n" + data_extra + other_sections);
  }
  // A job over the data folder with this program, the log outside it.
  void WriteJob(const std::string& program,
                const std::string& data_extra = "Files=\\.txt$\r\n") {
    WriteParams(data_extra, "[Log]\r\nLog=" + RunLog() + "\r\n");
    WriteProgram(program);
  }
  // The lines of a log without their time stamps.
  std::vector<std::string> LogLines(const std::string& path = "") {
    return LogLinesOf(ReadFile(path.empty() ? LogPath() : path));
  }
  void WriteProgram(const std::string& text) {
    WriteFile(prog_ + "/prog.zarn", text);
  }
  void MakeFolder(const std::string& rel) {
    ::mkdir((data_ + "/" + rel).c_str(), 0755);
  }
  void PutData(const std::string& rel, const std::string& content) {
    WriteFile(data_ + "/" + rel, content);
  }
  std::string Data(const std::string& rel) {
    return ReadFile(data_ + "/" + rel);
  }

  RunResult Run(std::vector<std::string> options = {}) {
    options.insert(options.begin(), Binary());
    options.push_back(ParamPath());
    return RunProgram(options, root_);
  }

  std::string root_, data_, prog_;
};

}  // namespace zarn::testing

#endif  // ZARN_TESTS_RUN_E2E_FIXTURE_H_
