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
#include "run/command_job.h"
#include "run/files_ahead.h"
#include "run/interrupt.h"
#include "run/job_check.h"
#include "run/progress_line.h"
#include "run/run_report.h"
#include "run/shard.h"
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
  // A job of the command line (-e or -f), and whether any of its options
  // was given.
  zarn::CommandJob job;
  bool job_option = false;
};

// One row per option: adding an option is one row here and one line where
// main hands it to the run. apply returns an error text for a wrong value.
struct Option {
  std::string_view name;
  std::string_view short_name;  // "-h", or empty
  std::string_view value;       // "SUFFIX" in --backup=SUFFIX; empty: none
  // The value may also be the next word (-e OPERATION, --files REGEX).
  bool next_word = false;
  std::string_view help;
  std::string (*apply)(CommandLine& cl, std::string_view value);
};

const Option kOptions[] = {
    {"--help", "-h", "", false, "show this text and exit",
     [](CommandLine& cl, std::string_view) {
       cl.help = true;
       return std::string();
     }},
    {"--version", "", "", false, "show the version and exit",
     [](CommandLine& cl, std::string_view) {
       cl.version = true;
       return std::string();
     }},
    {"--check", "", "", false,
     "check the job (parameter file, or -e or -f) and its program; touch "
     "no file",
     [](CommandLine& cl, std::string_view) {
       cl.check = true;
       return std::string();
     }},
    {"--dry-run", "", "", false,
     "run and log everything, but write no data file back",
     [](CommandLine& cl, std::string_view) {
       cl.run.dry_run = true;
       return std::string();
     }},
    {"--diff", "", "", false,
     "dry run; print a unified diff of what would change",
     [](CommandLine& cl, std::string_view) {
       cl.diff = true;
       return std::string();
     }},
    {"--backup", "", "SUFFIX", false,
     "keep each changed file's original as NAME+SUFFIX",
     [](CommandLine& cl, std::string_view value) {
       // A separator would put the backup into another folder, or nowhere.
       if (value.empty() || value.find('/') != std::string_view::npos) {
         return std::string("--backup needs a SUFFIX without '/'");
       }
       cl.run.backup_suffix = std::string(value);
       return std::string();
     }},
    {"--log-stderr", "", "", false,
     "copy every log line to standard error as it is logged",
     [](CommandLine& cl, std::string_view) {
       cl.log_stderr = true;
       return std::string();
     }},
    {"--quiet", "", "", false, "no progress line on the terminal",
     [](CommandLine& cl, std::string_view) {
       cl.quiet = true;
       return std::string();
     }},
    {"--max-steps", "", "N", true,
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
    {"--jobs", "", "N", true,
     "run the program on up to N files at once (default: the cores this "
     "process may use; 1: one file after another)",
     [](CommandLine& cl, std::string_view value) {
       int64_t n = 0;
       const auto [end, ec] =
           std::from_chars(value.data(), value.data() + value.size(), n);
       if (ec != std::errc() || end != value.data() + value.size() || n < 1 ||
           n > 1024) {
         return std::string("--jobs needs a whole number N from 1 to 1024");
       }
       cl.run.jobs = static_cast<int>(n);
       cl.run.jobs_given = true;
       return std::string();
     }},
    {"--shard", "", "K/N", true,
     "process only the files of shard K (from 0) of N, split by a hash of "
     "their path",
     [](CommandLine& cl, std::string_view value) {
       return zarn::ParseShard(value, &cl.run.shard, &cl.run.shards);
     }},
    {"--fsync", "", "", false,
     "force each rewritten file, then its folder, to disk",
     [](CommandLine& cl, std::string_view) {
       cl.fsync = true;
       return std::string();
     }},
    {"-e", "", "OPERATION", true,
     "one operation of the program of a command-line job (repeatable)",
     [](CommandLine& cl, std::string_view value) {
       cl.job.operations.emplace_back(value);
       cl.job_option = true;
       return std::string();
     }},
    {"-f", "", "PROGRAM-FILE", true, "the program file of a command-line job",
     [](CommandLine& cl, std::string_view value) {
       if (value.empty()) return std::string("-f needs a PROGRAM-FILE");
       cl.job.program_file = std::string(value);
       cl.job_option = true;
       return std::string();
     }},
    {"--files", "", "REGEX", true,
     "with -e or -f: the names to edit in a folder (default every name)",
     [](CommandLine& cl, std::string_view value) {
       cl.job.files = std::string(value);
       cl.job_option = true;
       return std::string();
     }},
    {"--parm", "", "TEXT", true,
     "with -e or -f: the next string parameter, *parm1, *parm2, ...",
     [](CommandLine& cl, std::string_view value) {
       cl.job.parms.emplace_back(value);
       cl.job_option = true;
       return std::string();
     }},
    {"--encoding", "", "NAME", false,
     "with -e or -f: how texts are counted, bytes (default) or utf-8",
     [](CommandLine& cl, std::string_view value) {
       // A wrong name is the job's parameter error, reported by its check.
       cl.job.encoding = std::string(value);
       cl.job_option = true;
       return std::string();
     }},
    {"--log", "", "FILE", true, "with -e or -f: the log file (default none)",
     [](CommandLine& cl, std::string_view value) {
       if (value.empty()) return std::string("--log needs a FILE");
       cl.job.log = std::string(value);
       cl.job_option = true;
       return std::string();
     }},
};

std::string Usage() {
  std::string text =
      "Usage: zarn [OPTIONS] PARAMETER-FILE\n"
      "       zarn [OPTIONS] -e OPERATION [-e OPERATION ...] [PATH ...]\n"
      "       zarn [OPTIONS] -f PROGRAM-FILE [PATH ...]\n"
      "Applies the Zarn program named in the parameter file to every selected\n"
      "file of the data folder tree and logs every step. With -e or -f, "
      "applies\n"
      "the program given to each PATH: a file is edited, a folder is walked\n"
      "with its subfolders; no PATH, or -, edits standard input to standard\n"
      "output.\n"
      "\n"
      "Options:\n";
  for (const Option& o : kOptions) {
    std::string names = "  ";
    if (!o.short_name.empty()) names += std::string(o.short_name) + ", ";
    names += o.name;
    if (!o.value.empty()) {
      names += (o.name.size() == 2 ? " " : "=") + std::string(o.value);
    }
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
    const bool word = arg == "-h" || arg == "-e" || arg == "-f";
    if (!(arg.size() > 2 && arg.substr(0, 2) == "--") && !word) break;
    // -e and -f take the next word whole: an operation may hold a "=".
    const size_t eq = word ? std::string_view::npos : arg.find('=');
    const std::string_view name = arg.substr(0, eq);
    const Option* option = FindOption(name);
    if (option == nullptr) return "unknown option '" + std::string(arg) + "'";
    if (option->value.empty() && eq != std::string_view::npos) {
      return "option '" + std::string(name) + "' takes no value";
    }
    std::string_view value;
    if (eq != std::string_view::npos) {
      value = arg.substr(eq + 1);
    } else if (!option->value.empty() && option->next_word && i + 1 < argc) {
      value = argv[++i];
    } else if (!option->value.empty()) {
      return "option '" + std::string(name) +
             "' needs a value: " + std::string(name) +
             (option->next_word ? " " : "=") + std::string(option->value);
    }
    std::string error = option->apply(*cl, value);
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
  const bool job = cl.job_option;
  if (job && cl.job.operations.empty() == cl.job.program_file.empty()) {
    std::cerr << "zarn: "
              << (cl.job.operations.empty()
                      ? "--files, --parm, --encoding and --log need a program: "
                        "-e or -f"
                      : "give the program either by -e or by -f")
              << "\n"
              << Usage();
    return zarn::kExitUsage;
  }
  // A job's remaining words are its paths; otherwise they are, joined by
  // single blanks, the parameter-file path: a path with blanks works quoted
  // or unquoted.
  std::string path;
  for (; i < argc; ++i) {
    if (job) {
      cl.job.paths.emplace_back(argv[i]);
      continue;
    }
    if (!path.empty()) path.push_back(' ');
    path.append(argv[i]);
  }

  if (!cl.run.jobs_given) cl.run.jobs = zarn::UsableCores();
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
  const zarn::CommandJob* command_job = job ? &cl.job : nullptr;
  if (cl.check) return zarn::CheckOnly(st, std::cerr, command_job);
  // What the checker finds is said before anything is touched.
  if (!cl.quiet) zarn::ReportFindings(st, std::cerr, command_job);
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
  zarn::RunReport run_report(st);
  // From here on the first SIGINT, SIGTERM or SIGHUP ends the run at the
  // next file or operation, with a log line and the summary.
  zarn::InstallInterruptHandlers();

  // Standard input is read whole, in large blocks.
  if (job) std::ios::sync_with_stdio(false);
  int status = zarn::Main(st, std::cerr, command_job,
                          zarn::Filter{&std::cin, &std::cout});
  if (status == zarn::kExitStartup && !job && st.ParmFile.empty()) {
    std::cerr << "Usage: zarn [OPTIONS] PARAMETER-FILE (zarn --help)\n";
  }
  // A diff cut short (a full disk) must not pass for a complete one.
  if (cl.diff && !std::cout.flush()) {
    std::cerr << "zarn: the diff could not be written to standard output\n";
    if (status == zarn::kExitOk) status = zarn::kExitFileFailed;
  }
  // The end of a run that got to its files: on a terminal, what it did;
  // on a stop or a failure, whatever standard error is, what caused it.
  if (status != zarn::kExitStartup) {
    if (!cl.quiet && ::isatty(STDERR_FILENO)) {
      std::cerr << run_report.Summary() << "\n";
    }
    if (const std::string cause = run_report.Cause(status); !cause.empty()) {
      std::cerr << cause << "\n";
    }
  }
  return status;
}
