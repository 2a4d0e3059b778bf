// Runs the real zarn binary on a temporary folder tree with a real
// parameter file, program and data, and collects what it produced.
#ifndef ZARN_TESTS_RUN_E2E_FIXTURE_H_
#define ZARN_TESTS_RUN_E2E_FIXTURE_H_

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/test_support.h"

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

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

// Runs a program with arguments; standard output and error are captured
// through temporary files.
inline RunResult RunProgram(const std::vector<std::string>& argv,
                            const std::string& scratch) {
  std::string out_path = scratch + "/.stdout", err_path = scratch + "/.stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  RunResult r;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return r;
  }
  posix_spawn_file_actions_destroy(&actions);
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  r.out = ReadFile(out_path);
  r.err = ReadFile(err_path);
  ::unlink(out_path.c_str());
  ::unlink(err_path.c_str());
  return r;
}

// A temporary tree: root/data (the data folder), root/prog (the program
// folder), root/params.ini.
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
    std::string cmd = "rm -rf '" + root_ + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }

  std::string Binary() const { return ZARN_BINARY; }
  std::string ParamPath() const { return root_ + "/params.ini"; }
  std::string LogPath() const { return data_ + "/zarn.log"; }

  // Writes a parameter file for the data and program folders, with extra
  // lines appended to [Data] and the other sections given whole.
  void WriteParams(const std::string& data_extra = "",
                   const std::string& other_sections = "") {
    WriteFile(ParamPath(), "[Data]\r\nDatafolder=" + data_ +
                               "\r\nZarnfolder=" + prog_ +
                               "\r\nStart=prog.zarn\r\n" + data_extra +
                               other_sections);
  }
  // A job whose log is root/run.log, outside the data folder.
  std::string RunLog() const { return root_ + "/run.log"; }
  void WriteJob(const std::string& program,
                const std::string& data_extra = "Files=\\.txt$\r\n") {
    WriteParams(data_extra, "[Log]\r\nLog=" + RunLog() + "\r\n");
    WriteProgram(program);
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
  std::string Data(const std::string& rel) { return ReadFile(data_ + "/" + rel); }

  RunResult Run(std::vector<std::string> extra = {}) {
    std::vector<std::string> argv{Binary()};
    for (auto& e : extra) argv.push_back(e);
    argv.push_back(ParamPath());
    return RunProgram(argv, root_);
  }

  // The log lines without their time stamps ("yyyy-mm-dd|hh:mm:ss ").
  std::vector<std::string> LogLines(const std::string& path = "") {
    return LogLinesOf(ReadFile(path.empty() ? LogPath() : path));
  }

  std::string root_, data_, prog_;
};

}  // namespace zarn::testing

#endif  // ZARN_TESTS_RUN_E2E_FIXTURE_H_
