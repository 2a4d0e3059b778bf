// Runs every case file of tests/cases (the format is in README.md there),
// and the examples of the README: each a run of the real zarn binary on a
// temporary folder tree with a real parameter file, program and data, whose
// files, log, standard output and error and exit status are compared with
// what the case expects.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "run/e2e_fixture.h"

namespace zarn::testing {
namespace {

namespace fs = std::filesystem;

const std::string kCaseFolder = std::string(ZARN_SOURCE_DIR) + "/tests/cases";
const std::set<std::string> kFlags = {"crlf", "noeol", "escaped", "contains"};
// The name of a case's second run in UTF-8 mode.
const std::string kUtf8Run = " (UTF-8)";

bool IsAscii(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x80;
  });
}

// "\r", "\n", "\t", "\\" and "\xHH" as bytes; any other backslash stays.
std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = i + 1 < s.size() && s[i] == '\\' ? s[i + 1] : '\0';
    if (c == 'x' && i + 3 < s.size() && std::isxdigit(s[i + 2]) &&
        std::isxdigit(s[i + 3])) {
      out += static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else if (c == 'r' || c == 'n' || c == 't' || c == '\\') {
      out += c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : '\\';
      ++i;
    } else {
      out += s[i];
    }
  }
  return out;
}

// One section: the words of its "===" line and the lines below it.
struct Section {
  std::vector<std::string> words;
  std::vector<std::string> lines;

  const std::string& Kind() const { return words[0]; }
  bool Flag(const std::string& flag) const {
    return std::find(words.begin() + 1, words.end(), flag) != words.end();
  }
  // The words after the kind, flags left out.
  std::string Name() const {
    std::string name;
    for (size_t i = 1; i < words.size(); ++i) {
      if (!kFlags.count(words[i])) name += (name.empty() ? "" : " ") + words[i];
    }
    return name;
  }
  std::string Line(const std::string& line) const {
    return Flag("escaped") ? Unescape(line) : line;
  }
  // The lines as bytes: each ended by LF (CR LF with crlf), the last one
  // not with noeol.
  std::string Text() const {
    std::string text, eol = Flag("crlf") ? "\r\n" : "\n";
    for (const std::string& line : lines) text += Line(line) + eol;
    if (Flag("noeol") && !text.empty()) text.resize(text.size() - eol.size());
    return text;
  }
};

std::vector<Section> ParseCase(const std::string& text) {
  static const std::set<std::string> kinds = {
      "program",   "file",    "folder", "link",        "hardlink", "parameters",
      "parameter", "options", "args",   "expect",      "log",      "stdout",
      "stderr",    "status",  "rows",   "expressions", "stdin"};
  std::vector<Section> sections;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("=== ", 0) != 0) {
      // Lines before the first section describe the case.
      if (!sections.empty()) sections.back().lines.push_back(line);
      continue;
    }
    Section s;
    std::istringstream words(line.substr(4));
    for (std::string w; words >> w;) s.words.push_back(w);
    EXPECT_TRUE(!s.words.empty() && kinds.count(s.Kind())) << line;
    if (!s.words.empty()) sections.push_back(std::move(s));
  }
  for (Section& s : sections) {  // blank lines at the end only space it out
    while (!s.lines.empty() && s.lines.back().empty()) s.lines.pop_back();
  }
  return sections;
}

// The examples of the README: a program, its input and its result in the
// fenced blocks after a line "<!-- example: NAME -->", each also run on
// its input with CR LF line ends and no line end after the last line.
std::map<std::string, std::vector<Section>> ReadmeExamples() {
  const std::string readme = SourceFile("README.md"), mark = "<!-- example: ";
  std::map<std::string, std::vector<Section>> examples;
  for (size_t at = readme.find(mark); at != std::string::npos;
       at = readme.find(mark, at + 1)) {
    size_t end = readme.find(" -->", at), pos = end;
    std::string text = "=== program\n";
    for (const char* next : {"=== file in.txt\n", "=== expect in.txt\n", ""}) {
      const size_t body = readme.find('\n', readme.find("\n```", pos) + 4);
      pos = readme.find("\n```", body);
      text += readme.substr(body + 1, pos - body) + next;
      pos += 4;
    }
    const std::string name =
        "README.md#" + readme.substr(at + mark.size(), end - at - mark.size());
    examples[name] = ParseCase(text);
    // The same with CR LF line ends and no line end after the last line.
    std::vector<Section> crlf = examples[name];
    for (Section& s : crlf) {
      if (s.Kind() != "program")
        s.words.insert(s.words.end(), {"crlf", "noeol"});
    }
    examples[name + " (CR LF, no final line end)"] = crlf;
  }
  return examples;
}

// What a run must leave.
struct Expected {
  std::map<std::string, std::string> files;  // by name below the data folder
  std::string out, err;
  bool err_part = false;  // err is a part of standard error
  int status = 0;
  std::vector<const Section*> logs;
  std::string log_name = "../run.log";
};

class CaseTest : public E2eTest,
                 public ::testing::WithParamInterface<std::string> {
 protected:
  std::string Fill(const std::string& s) const {
    return ReplaceEvery(
        ReplaceEvery(
            ReplaceEvery(ReplaceEvery(s, "{root}", root_), "{data}", data_),
            "{prog}", prog_),
        "{params}", ParamPath());
  }
  std::string Path(const std::string& name) const { return data_ + "/" + name; }

  // The case's lines of each section go first (the first value of a key
  // counts), then the defaults.
  std::string Parameters() const {
    std::vector<std::string> order = {"DATA", "LOG"};
    std::map<std::string, std::string> body;
    std::string at = "DATA";
    for (const Section& s : sections_) {
      for (const std::string& line :
           s.Kind() == "parameters" ? s.lines : std::vector<std::string>{}) {
        if (line.empty() || line[0] != '[') {
          body[at] += Fill(s.Line(line)) + "\n";
          continue;
        }
        at = line.substr(1, line.find(']') - 1);
        for (char& c : at) c = static_cast<char>(std::toupper(c));
        if (std::count(order.begin(), order.end(), at) == 0)
          order.push_back(at);
      }
    }
    body["DATA"] +=
        "Datafolder=" + data_ + "\nZarnfolder=" + prog_ + "\nStart=prog.zarn\n";
    body["LOG"] += "Log=" + root_ + "/run.log\n";
    std::string text;
    for (const std::string& name : order)
      text += "[" + name + "]\n" + body[name];
    return text;
  }

  // Lays out the tree, with the row (if any) in the program, and runs it.
  RunResult RunCase(const std::string& row) {
    std::string program, params = Parameters();
    std::vector<std::string> args;
    for (const Section& s : sections_) {
      const std::string& kind = s.Kind();
      // A link's target is its last word; its name may hold blanks.
      std::string name = s.Name(), target;
      if (kind == "link" || kind == "hardlink") {
        target = Fill(s.words.back());
        name = name.substr(0, name.size() - s.words.back().size() - 1);
      }
      if (kind == "file" || kind == "folder" || kind == "link" ||
          kind == "hardlink") {
        fs::create_directories(fs::path(Path(name)).parent_path());
      }
      if (kind == "program") program = s.Text();
      if (kind == "parameter") params = Fill(s.Text());
      if (kind == "file") WriteFile(Path(name), s.Text());
      if (kind == "folder") fs::create_directories(Path(name));
      if (kind == "folder" || kind == "link") folders_or_links_[name] = target;
      if ((kind == "link" && ::symlink(target.c_str(), Path(name).c_str())) ||
          (kind == "hardlink" &&
           ::link(Path(target).c_str(), Path(name).c_str()))) {
        ADD_FAILURE() << "cannot make " << name;
      }
      for (size_t i = 1; kind == "options" && i < s.words.size(); ++i)
        args.push_back(s.words[i]);
      if (kind == "args")
        for (const std::string& line : s.lines) args.push_back(s.Line(line));
      if (kind != "file" && kind != "hardlink") continue;
      struct stat st {};
      ::stat(Path(name).c_str(), &st);
      inputs_[name] = {ReadFile(Path(name)), st.st_ino, st.st_mtim.tv_nsec,
                       st.st_mtim.tv_sec};
    }
    const size_t at = program.find("{row}");
    WriteProgram(at == std::string::npos ? program + row
                                         : program.replace(at, 5, row));
    WriteFile(ParamPath(), params);
    std::vector<std::string> argv{Binary()};
    for (const std::string& a : args) argv.push_back(Fill(a));
    if (std::none_of(sections_.begin(), sections_.end(),
                     [](const Section& s) { return s.Kind() == "args"; })) {
      argv.push_back(ParamPath());
    }
    // In the root folder, so that relative paths name its entries.
    std::string input;
    const Section* stdin_section = nullptr;
    for (const Section& s : sections_) {
      if (s.Kind() == "stdin") stdin_section = &s;
    }
    if (stdin_section) input = stdin_section->Text();
    return RunProgram(argv, root_, stdin_section ? &input : nullptr, root_);
  }

  void Check(const RunResult& r, const Expected& want) {
    EXPECT_EQ(r.status, want.status) << r.err;
    EXPECT_EQ(r.out, want.out);
    // Standard error without the time stamps that begin its log lines.
    std::string err = r.err;
    for (size_t pos = 0; pos < err.size(); ++pos) {
      const std::string_view rest = std::string_view(err).substr(pos);
      if ((pos == 0 || err[pos - 1] == '\n') && rest.size() >= 20 &&
          rest[4] == '-' && rest[7] == '-' && rest[10] == '|' &&
          rest[13] == ':' && rest[19] == ' ') {
        err.erase(pos, 20);
      }
    }
    if (want.err_part) {
      EXPECT_NE(err.find(want.err), std::string::npos) << err;
    } else {
      EXPECT_EQ(err, want.err);
    }
    for (const Section* log : want.logs) {
      CheckLog(*log, LogLinesOf(ReadFile(Path(want.log_name))));
    }
    // Every entry of the data tree is accounted for: an input keeps its
    // bytes and is not even rewritten unless the case expects something
    // of it; nothing else appears.
    std::set<std::string> seen, known = {want.log_name};
    for (const auto& [name, bytes] : want.files) known.insert(name);
    for (const auto& [name, in] : inputs_) known.insert(name);
    for (const auto& [name, target] : folders_or_links_) known.insert(name);
    for (const auto& e : fs::recursive_directory_iterator(data_)) {
      const std::string name = e.path().string().substr(data_.size() + 1);
      seen.insert(name);
      const auto below = known.lower_bound(name + "/");
      EXPECT_TRUE(known.count(name) ||
                  (below != known.end() && below->rfind(name + "/", 0) == 0))
          << "unexpected " << name;
      EXPECT_TRUE(!e.is_symlink() ||
                  fs::read_symlink(e.path()) == folders_or_links_[name])
          << name;
    }
    for (const auto& [name, bytes] : want.files) {
      EXPECT_TRUE(name.rfind("../", 0) == 0 || seen.count(name))
          << "missing " << name;
      EXPECT_EQ(ReadFile(Path(name)), bytes) << name;
    }
    for (const auto& [name, in] : inputs_) {
      if (want.files.count(name) || name == want.log_name) continue;
      struct stat st {};
      EXPECT_EQ(::lstat(Path(name).c_str(), &st), 0) << "missing " << name;
      EXPECT_EQ(ReadFile(Path(name)), in.bytes) << name;
      EXPECT_TRUE(st.st_ino == in.inode && st.st_mtim.tv_nsec == in.mtime_ns &&
                  st.st_mtim.tv_sec == in.mtime_s)
          << name << " was rewritten";
    }
  }

  // The log after its banner line by line, or (contains) lines that turn
  // up in this order among the others.
  void CheckLog(const Section& s, const std::vector<std::string>& log) {
    std::string want, got;
    for (const std::string& line : s.lines) want += Fill(s.Line(line)) + "\n";
    if (!s.Flag("contains")) {
      ASSERT_FALSE(log.empty()) << "no log";
      EXPECT_EQ(log[0].rfind("=================== Zarn ", 0), 0u) << log[0];
      for (size_t i = 1; i < log.size(); ++i) got += log[i] + "\n";
      EXPECT_EQ(got, want);
      return;
    }
    auto at = log.begin();
    for (const std::string& line : s.lines) {
      at = std::find(at, log.end(), Fill(s.Line(line)));
      ASSERT_NE(at++, log.end())
          << "not in the log (in this order): " << s.Line(line) << "\nlog:\n"
          << ::testing::PrintToString(log);
    }
  }

  // One run per row "ROW => RESULT": the row's operations (" | " between
  // them) at "{row}" of the program or after it, or for an expression
  // "set *filestring,ROW" after it. Every data file then holds RESULT; a
  // RESULT that is a message (or an expression's error) stops the run.
  void RunRows(const Section rows,
               bool expressions) {  // a copy: sections_ grows
    if (std::none_of(sections_.begin(), sections_.end(),
                     [](const Section& s) { return s.Kind() == "file"; })) {
      sections_.push_back(Section{{"file", "in.txt"}, {}});
    }
    for (const std::string& row : rows.lines) {
      if (row.empty()) continue;
      const size_t arrow = row.find(" =>");
      ASSERT_NE(arrow, std::string::npos) << "not a row: " << row;
      const std::string left = Unescape(row.substr(0, arrow));
      const std::string result =
          Fill(Unescape(row.substr(std::min(arrow + 4, row.size()))));
      // The UTF-8 run counts as the byte run where everything is ASCII.
      if (utf8_run_ && (!IsAscii(left) || !IsAscii(result))) continue;
      SCOPED_TRACE(row);
      ASSERT_EQ(std::system(("rm -rf '" + root_ + "'/*").c_str()), 0);
      fs::create_directories(data_);
      fs::create_directories(prog_);
      inputs_.clear();
      const RunResult r =
          RunCase(expressions ? "set *filestring," + left + "\n"
                              : ReplaceEvery(left, " | ", "\n") + "\n");
      Expected want;
      Section log{{"log", "contains"}, {result}};
      if (expressions && result.rfind("*** ERROR", 0) == 0) {
        log.lines = {"ZARNCMD006CT Expression '" + left +
                     "' failed: " + result};
      }
      if (log.lines[0].rfind("ZARN", 0) == 0) {
        want.status = 2;  // or as the case says
        for (const Section& s : sections_) {
          if (s.Kind() == "status") want.status = std::stoi(s.words.at(1));
        }
        // Standard error shows the report of a stop during start-up, and
        // the message that stopped a run.
        want.err = (want.status == 1 ? result : log.lines[0]) + "\n";
        want.err_part = true;
        want.logs.push_back(&log);
      } else {
        for (const auto& [name, in] : inputs_) want.files[name] = result;
      }
      Check(r, want);
    }
  }

  struct Input {
    std::string bytes;
    ino_t inode;
    int64_t mtime_ns, mtime_s;
  };
  std::vector<Section> sections_;
  bool utf8_run_ = false;
  std::map<std::string, Input> inputs_;
  std::map<std::string, std::string> folders_or_links_;  // to the target
};

TEST_P(CaseTest, Run) {
  std::string name = GetParam();
  utf8_run_ = name.size() > kUtf8Run.size() &&
              name.substr(name.size() - kUtf8Run.size()) == kUtf8Run;
  if (utf8_run_) name.resize(name.size() - kUtf8Run.size());
  sections_ = name.rfind("README.md#", 0) == 0
                  ? ReadmeExamples()[name]
                  : ParseCase(ReadFile(kCaseFolder + "/" + name));
  if (utf8_run_) {
    // Its parameter goes before the defaults; the listing shows it.
    sections_.insert(sections_.begin(),
                     Section{{"parameters"}, {"Encoding=UTF-8"}});
  }
  Expected want;
  for (const Section& s : sections_) {
    const std::string& kind = s.Kind();
    if (kind == "rows" || kind == "expressions")
      return RunRows(s, kind == "expressions");
    if (kind == "expect") want.files[s.Name()] = Fill(s.Text());
    if (kind == "stdout") want.out = Fill(s.Text());
    if (kind == "stderr") want.err = Fill(s.Text());
    if (kind == "stderr") want.err_part = s.Flag("contains");
    if (kind == "status") want.status = std::stoi(s.words.at(1));
    if (kind == "log") want.logs.push_back(&s);
    if (kind == "log" && !s.Name().empty()) want.log_name = s.Name();
  }
  Check(RunCase(""), want);
}

std::vector<std::string> CaseFiles() {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(kCaseFolder)) {
    const std::string path = e.path().string();
    if (e.path().extension() != ".case") continue;
    names.push_back(path.substr(kCaseFolder.size() + 1));
    // The language's examples (rows) over ASCII run in UTF-8 mode too.
    bool rows = false, ascii = true;
    for (const Section& s : ParseCase(ReadFile(path))) {
      const bool row = s.Kind() == "rows" || s.Kind() == "expressions";
      rows = rows || row;
      ascii = ascii && (row || IsAscii(s.Text()));
    }
    if (rows && ascii) names.push_back(names.back() + kUtf8Run);
  }
  std::sort(names.begin(), names.end());
  for (const auto& [name, sections] : ReadmeExamples()) {
    names.push_back(name);
    if (std::all_of(sections.begin(), sections.end(),
                    [](const Section& s) { return IsAscii(s.Text()); }))
      names.push_back(name + kUtf8Run);
  }
  return names;
}

TEST(CaseFiles, AreFound) {
  EXPECT_GE(CaseFiles().size(), 50u);
  EXPECT_GE(ReadmeExamples().size(), 8u);
}

// "commands/rep.case" runs as Cases/CaseTest.Run/commands_rep, the README's
// example "swap two fields" as Cases/CaseTest.Run/README_md_swap_two_fields.
std::string CaseName(const ::testing::TestParamInfo<std::string>& param) {
  std::string name = ReplaceEvery(param.param, ".case", "");
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, CaseTest, ::testing::ValuesIn(CaseFiles()),
                         CaseName);

}  // namespace
}  // namespace zarn::testing
