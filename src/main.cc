// zarn: applies a Zarn program to every selected file of a folder tree.
// main only reads the options and hands over to Main.
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "commands/run_state.h"
#include "run/interrupt.h"
#include "run/job_check.h"
#include "run/progress_line.h"
#include "run/zarn_main.h"
#include "support/clock.h"
#include "support/file_system.h"
#include "support/messages.h"
#include "support/text.h"
#include "support/version.h"

namespace {

// What the command line asks for besides the parameter file.
struct CommandLine {
  zarn::RunOptions run;
  bool diff = false;
  bool quiet = false;
  bool log_stderr = false;
  bool fsync = false;
  bool check = false;
  int64_t max_steps = 0;  // 0: no limit
  bool help = false;
  bool version = false;
};

// One row per option: adding an option is one row here and one line where
// main hands it to the run. apply returns an error text for a wrong value.
struct Option {
  std::string_view name;
  std::string_view short_name;  // "-h", or empty
  std::string_view value;       // "SUFFIX" in --backup=SUFFIX; empty: none
  std::string_view help;
  std::string (*apply)(CommandLine& cl, std::string_view value);
};

const Option kOptions[] = {
    {"--help", "-h", "", "show this text and exit",
     [](CommandLine& cl, std::string_view) {
       cl.help = true;
       return std::string();
     }},
    {"--version", "", "", "show the version and exit",
     [](CommandLine& cl, std::string_view) {
       cl.version = true;
       return std::string();
     }},
    {"--check", "", "",
     "check the parameter file and the program; touch no file",
     [](CommandLine& cl, std::string_view) {
       cl.check = true;
       return std::string();
     }},
    {"--dry-run", "", "", "run and log everything, but write no data file back",
     [](CommandLine& cl, std::string_view) {
       cl.run.dry_run = true;
       return std::string();
     }},
    {"--diff", "", "", "dry run; print a unified diff of what would change",
     [](CommandLine& cl, std::string_view) {
       cl.diff = true;
       return std::string();
     }},
    {"--backup", "", "SUFFIX",
     "keep each changed file's original as NAME+SUFFIX",
     [](CommandLine& cl, std::string_view value) {
       // A separator would put the backup into another folder, or nowhere.
       if (value.empty() || value.find('/') != std::string_view::npos) {
         return std::string("--backup needs a SUFFIX without '/'");
       }
       cl.run.backup_suffix = std::string(value);
       return std::string();
     }},
    {"--log-stderr", "", "",
     "copy every log line to standard error as it is logged",
     [](CommandLine& cl, std::string_view) {
       cl.log_stderr = true;
       return std::string();
     }},
    {"--quiet", "", "", "no progress line on the terminal",
     [](CommandLine& cl, std::string_view) {
       cl.quiet = true;
       return std::string();
     }},
    {"--max-steps", "", "N",
     "end the run when the program runs more than N operations on a file",
     [](CommandLine& cl, std::string_view value) {
       int64_t n = 0;
       const auto [end, ec] =
           std::from_chars(value.data(), value.data() + value.size(), n);
       if (ec != std::errc() || end != value.data() + value.size() || n < 1) {
         return std::string("--max-steps needs a whole number N above 0");
       }
       cl.max_steps = n;
       return std::string();
     }},
    {"--fsync", "", "", "force each rewritten file, then its folder, to disk",
     [](CommandLine& cl, std::string_view) {
       cl.fsync = true;
       return std::string();
     }},
};

std::string Usage() {
  std::string text =
      "Usage: zarn [OPTIONS] PARAMETER-FILE\n"
      "Applies the Zarn program named in the parameter file to every selected\n"
      "file of the data folder tree and logs every step.\n"
      "\n"
      "Options:\n";
  for (const Option& o : kOptions) {
    std::string names = "  ";
    if (!o.short_name.empty()) names += std::string(o.short_name) + ", ";
    names += o.name;
    if (!o.value.empty()) names += "=" + std::string(o.value);
    names.resize(std::max<size_t>(names.size() + 2, 20), ' ');
    text += names + std::string(o.help) + "\n";
  }
  text +=
      "\n"
      "Exit status: 0 all files processed; 1 stopped during start-up\n"
      "(--check: an error found);\n"
      "2 stopped on a failed operation; 3 completed, but a file failed;\n"
      "64 wrong command line; 128 + N stopped by signal N (SIGINT, SIGTERM,\n"
      "SIGHUP).\n";
  return text;
}

const Option* FindOption(std::string_view name) {
  for (const Option& o : kOptions) {
    if (name == o.name || (!o.short_name.empty() && name == o.short_name)) {
      return &o;
    }
  }
  return nullptr;
}

// Reads the options, which come first; *next is the first word of the
// parameter-file path. Returns an error text for a wrong command line.
std::string ParseOptions(int argc, char** argv, CommandLine* cl, int* next) {
  int i = 1;
  for (; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (!(arg.size() > 2 && arg.substr(0, 2) == "--") && arg != "-h") break;
    const size_t eq = arg.find('=');
    const std::string_view name = arg.substr(0, eq);
    const Option* option = FindOption(name);
    if (option == nullptr) return "unknown option '" + std::string(arg) + "'";
    if (option->value.empty() && eq != std::string_view::npos) {
      return "option '" + std::string(name) + "' takes no value";
    }
    if (!option->value.empty() && eq == std::string_view::npos) {
      return "option '" + std::string(name) +
             "' needs a value: " + std::string(name) + "=" +
             std::string(option->value);
    }
    std::string error = option->apply(
        *cl, eq == std::string_view::npos ? "" : arg.substr(eq + 1));
    if (!error.empty()) return error;
    if (cl->help || cl->version) break;
  }
  *next = i;
  return "";
}

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
  CommandLine cl;
  int i = 1;
  if (std::string error = ParseOptions(argc, argv, &cl, &i); !error.empty()) {
    std::cerr << "zarn: " << error << "\n" << Usage();
    return zarn::kExitUsage;
  }
  if (cl.help) {
    std::cout << Usage();
    return 0;
  }
  if (cl.version) {
    std::cout << zarn::kAppTitle << "\n";
    return 0;
  }
  // The remaining words, joined by single blanks, are the parameter-file
  // path: a path with blanks works quoted or unquoted.
  std::string path;
  for (; i < argc; ++i) {
    if (!path.empty()) path.push_back(' ');
    path.append(argv[i]);
  }

  zarn::RealFileSystem fs;
  fs.set_sync_writes(cl.fsync);
  zarn::RealClock clock;
  zarn::RunState st(fs, clock);
  st.AppFolder = ExecutableFolder(argv[0]);
  st.ParmFile = zarn::Trimmed(path);
  st.options = cl.run;
  st.machine.step_limit = cl.max_steps;
  if (cl.diff) {
    st.options.dry_run = true;
    st.options.diff_out = &std::cout;
  }
  if (cl.check) return zarn::CheckOnly(st, std::cerr);
  // What the checker finds is said before anything is touched.
  if (!cl.quiet) zarn::ReportFindings(st, std::cerr);
  std::optional<zarn::ProgressLine> progress;
  if (!cl.quiet && ::isatty(STDERR_FILENO)) {
    progress.emplace(std::cerr, zarn::TerminalWidth(STDERR_FILENO));
    st.options.progress = &*progress;
  }
  if (cl.log_stderr) {
    st.log_tee = [&progress](std::string_view line) {
      zarn::EchoLogLine(std::cerr, zarn::TerminalText(line),
                        progress ? &*progress : nullptr);
    };
  }
  st.notice = [&st, &progress](std::string_view text) {
    if (progress) progress->Hide();
    zarn::ShowFinalReport(st, std::cerr, std::string(text));
    if (progress) progress->Show();
  };
  // From here on the first SIGINT, SIGTERM or SIGHUP ends the run at the
  // next file or operation, with a log line and the summary.
  zarn::InstallInterruptHandlers();

  int status = zarn::Main(st, std::cerr);
  if (status == zarn::kExitStartup && st.ParmFile.empty()) {
    std::cerr << "Usage: zarn [OPTIONS] PARAMETER-FILE (zarn --help)\n";
  }
  // A diff cut short (a full disk) must not pass for a complete one.
  if (cl.diff && !std::cout.flush()) {
    std::cerr << "zarn: the diff could not be written to standard output\n";
    if (status == zarn::kExitOk) status = zarn::kExitFileFailed;
  }
  return status;
}
