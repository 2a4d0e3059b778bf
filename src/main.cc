// zarn: applies a Zarn program to every selected file of a folder tree.
// main only reads the options and hands over to Main.
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "common/run_state.h"
#include "run/zarn_main.h"
#include "support/clock.h"
#include "support/file_system.h"
#include "support/text.h"

namespace {

constexpr const char* kUsage =
    "Usage: zarn [OPTIONS] PARAMETER-FILE\n"
    "Applies the Zarn program named in the parameter file to every selected\n"
    "file of the data folder tree and logs every step.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this text and exit\n"
    "  --version      show the version and exit\n"
    "\n"
    "Exit status: 0 all files processed; 1 stopped during start-up;\n"
    "2 stopped on a failed operation; 3 completed, but a file failed;\n"
    "64 wrong command line.\n";

// The folder of the running program, without a trailing separator.
std::string ExecutableFolder(const char* argv0) {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  std::string path;
  if (n > 0) {
    path.assign(buf, static_cast<size_t>(n));
  } else if (char* real = ::realpath(argv0, nullptr)) {
    path = real;
    std::free(real);
  }
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string() : path.substr(0, slash);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> words;
  int i = 1;
  for (; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (arg == "-h" || arg == "--help") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "--version") {
      std::cout << "Zarn 2.0\n";
      return 0;
    }
    if (arg.size() > 1 && arg[0] == '-' && (arg[1] == '-' || arg == "-h")) {
      std::cerr << "zarn: unknown option '" << arg << "'\n" << kUsage;
      return zarn::kExitUsage;
    }
    break;
  }
  // The remaining words, joined by single blanks, are the parameter-file
  // path: a path with blanks works quoted or unquoted.
  std::string path;
  for (; i < argc; ++i) {
    if (!path.empty()) path.push_back(' ');
    path.append(argv[i]);
  }

  zarn::RealFileSystem fs;
  zarn::RealClock clock;
  zarn::RunState st(fs, clock);
  st.AppFolder = ExecutableFolder(argv[0]);
  st.ParmFile = zarn::Trimmed(path);
  int status = zarn::Main(st, std::cerr);
  if (status == zarn::kExitStartup && st.ParmFile.empty()) {
    std::cerr << "Usage: zarn [OPTIONS] PARAMETER-FILE (zarn --help)\n";
  }
  return status;
}
