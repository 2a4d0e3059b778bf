// Runs every case file of tests/cases (the format is in README.md there):
// each is a run of the real zarn binary on a temporary folder tree with a
// real parameter file, program and data, whose files, log, standard output
// and error and exit status are compared with what the case expects.
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "run/e2e_fixture.h"

namespace zarn::testing {
namespace {

namespace fs = std::filesystem;

const std::string kCaseFolder = std::string(ZARN_SOURCE_DIR) + "/tests/cases";
const std::set<std::string> kFlags = {"crlf", "noeol", "escaped"};
const std::set<std::string> kKinds = {
    "program",   "file",    "folder",  "link",       "hardlink", "parameters",
    "parameter", "message", "options", "args",       "expect",   "log",
    "stdout",    "stderr",  "status",  "expressions"};

// "\r", "\n", "\t", "\\" and "\xHH" turned into their bytes; any other
// backslash stays as it is (a pattern's "\d" needs no doubling).
std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    const char next = i + 1 < s.size() ? s[i + 1] : '\0';
    if (s[i] != '\\' || !std::strchr("rnt\\x", next) || next == '\0') {
      out.push_back(s[i]);
    } else if (next == 'x' && i + 3 < s.size() && std::isxdigit(s[i + 2]) &&
               std::isxdigit(s[i + 3])) {
      out.push_back(
          static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16)));
      i += 3;
    } else if (next != 'x') {
      out.push_back(next == 'r'   ? '\r'
                    : next == 'n' ? '\n'
                    : next == 't' ? '\t'
                                  : '\\');
      ++i;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

// One section: the words of its "===" line and the lines below it.
struct Section {
  std::vector<std::string> words;
  std::vector<std::string> lines;

  bool Flag(const std::string& flag) const {
    return std::find(words.begin() + 1, words.end(), flag) != words.end();
  }
  // The words after the kind (and after "contains" of a log), flags left out.
  std::string Name() const {
    std::string name;
    size_t first = words.size() > 1 && words[1] == "contains" ? 2 : 1;
    for (size_t i = first; i < words.size() && !kFlags.count(words[i]); ++i) {
      name += (name.empty() ? "" : " ") + words[i];
    }
    return name;
  }
  // The lines as bytes: each ended by LF (CR LF with crlf) but the last
  // with noeol; escapes read with escaped.
  std::string Text() const {
    std::string text;
    for (const std::string& line : lines) {
      text += (Flag("escaped") ? Unescape(line) : line) +
              (Flag("crlf") ? "\r\n" : "\n");
    }
    if (Flag("noeol") && !text.empty()) {
      text.resize(text.size() - (Flag("crlf") ? 2 : 1));
    }
    return text;
  }
};

std::vector<Section> ParseCase(const std::string& text) {
  std::vector<Section> sections;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("=== ", 0) == 0) {
      Section s;
      std::istringstream words(line.substr(4));
      for (std::string w; words >> w;) s.words.push_back(w);
      if (!s.words.empty() && kKinds.count(s.words[0])) {
        sections.push_back(std::move(s));
        continue;
      }
      ADD_FAILURE() << "unknown section: " << line;
    } else if (!sections.empty()) {
      sections.back().lines.push_back(line);
    }  // lines before the first section describe the case
  }
  // Blank lines that end a section only space the case out.
  for (Section& s : sections) {
    while (!s.lines.empty() && s.lines.back().empty()) s.lines.pop_back();
  }
  return sections;
}

// Standard error without the time stamps that begin its log lines.
std::string StripStamps(const std::string& text) {
  std::string out;
  for (size_t pos = 0, end; pos < text.size(); pos = end) {
    end = std::min(text.find('\n', pos), text.size() - 1) + 1;
    std::string line = text.substr(pos, end - pos);
    if (line.size() >= 20 && line[4] == '-' && line[7] == '-' &&
        line[10] == '|' && line[13] == ':' && line[19] == ' ') {
      line.erase(0, 20);
    }
    out += line;
  }
  return out;
}

// What a run must leave: files by name (relative to the data folder),
// standard output and error, the exit status and the log.
struct Expected {
  std::map<std::string, std::string> files;
  std::string out, err;
  bool out_contains = false, err_contains = false;  // a part of it
  int status = 0;
  const Section* log = nullptr;
  std::string log_name = "../run.log";
};

// A data file as it was before the run.
struct Input {
  std::string bytes;
  ino_t inode = 0;
  int64_t mtime_ns = 0;
};

class CaseTest : public E2eTest,
                 public ::testing::WithParamInterface<std::string> {
 protected:
  std::string Fill(std::string s) const {
    s = ReplaceEvery(s, "{root}", root_);
    s = ReplaceEvery(s, "{data}", data_);
    s = ReplaceEvery(s, "{prog}", prog_);
    return ReplaceEvery(s, "{params}", ParamPath());
  }
  std::string Path(const std::string& name) const { return data_ + "/" + name; }

  // The parameter file: the case's lines first in each section (the first
  // value of a key counts), then the defaults.
  std::string Parameters() const {
    std::vector<std::string> order = {"DATA", "LOG"};
    std::map<std::string, std::string> body;
    std::string current = "DATA";
    for (const Section& s : sections_) {
      if (s.words[0] != "parameters") continue;
      for (const std::string& line : s.lines) {
        if (line.empty() || line[0] != '[') {
          body[current] +=
              Fill(s.Flag("escaped") ? Unescape(line) : line) + "\n";
          continue;
        }
        current = line.substr(1, line.find(']') - 1);
        for (char& ch : current) ch = static_cast<char>(std::toupper(ch));
        if (std::find(order.begin(), order.end(), current) == order.end()) {
          order.push_back(current);
        }
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

  // Lays out the tree of the case, with the program and one line after
  // it, and records every input.
  void Prepare(const std::string& last_line) {
    std::string program, params = Parameters();
    inputs_.clear();
    folders_.clear();
    links_.clear();
    binary_ = Binary();
    for (const Section& s : sections_) {
      const std::string& kind = s.words[0];
      const std::string name = s.Name();
      if (kind == "program") program = s.Text();
      if (kind == "parameter") params = Fill(s.Text());
      if (kind == "file" || kind == "folder") {
        fs::create_directories(fs::path(Path(name)).parent_path());
      }
      if (kind == "file") WriteFile(Path(name), s.Text());
      if (kind == "folder") fs::create_directories(Path(name));
      if (kind == "folder") folders_.insert(name);
      if (kind == "link" || kind == "hardlink") {
        // The target is the last word; the name may hold blanks.
        std::string link = s.words[1];
        for (size_t i = 2; i + 1 < s.words.size(); ++i) link += " " + s.words[i];
        const std::string target = Fill(s.words.back());
        fs::create_directories(fs::path(Path(link)).parent_path());
        if (kind == "link") links_[link] = target;
        EXPECT_EQ(kind == "link"
                      ? ::symlink(target.c_str(), Path(link).c_str())
                      : ::link(Path(target).c_str(), Path(link).c_str()),
                  0)
            << link;
      }
      if (kind == "message") {
        const std::string bin = root_ + "/bin";
        fs::create_directories(bin);
        fs::copy_file(Binary(), bin + "/zarn");
        if (!s.Flag("missing")) WriteFile(bin + "/zarn_msg.ini", s.Text());
        binary_ = bin + "/zarn";
      }
    }
    WriteProgram(program + last_line);
    WriteFile(ParamPath(), params);
    for (const Section& s : sections_) {
      const std::string name = s.words[0] == "hardlink" ? s.words[1] : s.Name();
      if (s.words[0] != "file" && s.words[0] != "hardlink") continue;
      struct stat st {};
      ::stat(Path(name).c_str(), &st);
      inputs_[name] =
          Input{ReadFile(Path(name)), st.st_ino,
                st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
    }
  }

  RunResult RunCase() {
    std::vector<std::string> argv{binary_};
    bool own_args = false;
    for (const Section& s : sections_) {
      if (s.words[0] == "options") {
        for (size_t i = 1; i < s.words.size(); ++i)
          argv.push_back(Fill(s.words[i]));
      }
      if (s.words[0] == "args") {
        own_args = true;
        for (const std::string& line : s.lines) argv.push_back(Fill(line));
      }
    }
    if (!own_args) argv.push_back(ParamPath());
    return RunProgram(argv, root_);
  }

  void Check(const RunResult& r, const Expected& want) {
    EXPECT_EQ(r.status, want.status) << r.err;
    const std::string err = StripStamps(r.err);
    if (want.out_contains) {
      EXPECT_NE(r.out.find(want.out), std::string::npos) << r.out;
    } else {
      EXPECT_EQ(r.out, want.out);
    }
    if (want.err_contains) {
      EXPECT_NE(err.find(want.err), std::string::npos) << err;
    } else {
      EXPECT_EQ(err, want.err);
    }
    if (want.log)
      CheckLog(*want.log, LogLinesOf(ReadFile(Path(want.log_name))));
    // Every file and folder of the data tree is accounted for: an input
    // keeps its bytes and is not even rewritten unless the case expects
    // something of it; nothing else appears.
    std::set<std::string> seen;
    for (const auto& e : fs::recursive_directory_iterator(data_)) {
      const std::string name = e.path().string().substr(data_.size() + 1);
      seen.insert(name);
      if (e.is_symlink()) {
        EXPECT_TRUE(links_.count(name)) << "unexpected link " << name;
        if (links_.count(name)) {
          EXPECT_EQ(fs::read_symlink(e.path()), links_[name]);
        }
      } else if (e.is_directory()) {
        bool holds = folders_.count(name) > 0;
        for (const auto& [n, in] : inputs_)
          holds |= n.rfind(name + "/", 0) == 0;
        for (const std::string& n : folders_)
          holds |= n.rfind(name + "/", 0) == 0;
        EXPECT_TRUE(holds) << "unexpected folder " << name;
      } else if (!want.files.count(name) && !inputs_.count(name) &&
                 name != want.log_name) {
        ADD_FAILURE() << "unexpected file " << name;
      }
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
      EXPECT_EQ(st.st_ino, in.inode) << name << " was rewritten";
      EXPECT_EQ(st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec,
                in.mtime_ns)
          << name << " was rewritten";
    }
  }

  // The log after its banner line by line, or (contains) lines that turn
  // up in this order among the others.
  void CheckLog(const Section& s, std::vector<std::string> log) {
    std::vector<std::string> want;
    for (const std::string& line : s.lines) {
      want.push_back(Fill(s.Flag("escaped") ? Unescape(line) : line));
    }
    if (s.words.size() < 2 || s.words[1] != "contains") {
      ASSERT_FALSE(log.empty()) << "no log";
      EXPECT_EQ(log[0].rfind("=================== Zarn ", 0), 0u) << log[0];
      // Joined, so that a failure shows the differing lines.
      std::string got, expected;
      for (size_t i = 1; i < log.size(); ++i) got += log[i] + "\n";
      for (const std::string& line : want) expected += line + "\n";
      EXPECT_EQ(got, expected);
      return;
    }
    auto at = log.begin();
    for (const std::string& line : want) {
      at = std::find(at, log.end(), line);
      EXPECT_NE(at, log.end())
          << "not in the log (in this order): " << line << "\nlog:\n"
          << ::testing::PrintToString(log);
      if (at == log.end()) return;
      ++at;
    }
  }

  // One run per row "EXPRESSION => RESULT" of set *filestring,EXPRESSION
  // after the program: every data file then holds RESULT, or, for an error
  // result, the set is refused with it and the run stops.
  void RunExpressions(const Section rows) {  // a copy: sections_ grows
    if (std::none_of(sections_.begin(), sections_.end(),
                     [](const Section& s) { return s.words[0] == "file"; })) {
      sections_.push_back(Section{{"file", "in.txt"}, {}});
    }
    for (const std::string& row : rows.lines) {
      if (row.empty()) continue;
      // "EXPRESSION => RESULT", or "EXPRESSION =>" for an empty result.
      const size_t arrow = row.find(" =>");
      ASSERT_NE(arrow, std::string::npos) << "not a row: " << row;
      const std::string expression = Unescape(row.substr(0, arrow));
      const std::string result =
          Fill(Unescape(row.substr(std::min(arrow + 4, row.size()))));
      SCOPED_TRACE(row);
      ASSERT_EQ(std::system(("rm -rf '" + root_ + "'/*").c_str()), 0);
      fs::create_directories(data_);
      fs::create_directories(prog_);
      Prepare("set *filestring," + expression + "\n");
      Expected want;
      Section log{{"log", "contains"}, {}};
      if (result.rfind("*** ERROR", 0) == 0) {
        want.status = 2;
        log.lines = {"ZARNCMD006CT Expression '" + expression +
                     "' failed: " + result};
        want.log = &log;
      } else {
        for (const auto& [name, in] : inputs_) want.files[name] = result;
      }
      Check(RunCase(), want);
    }
  }

  std::vector<Section> sections_;
  std::map<std::string, Input> inputs_;
  std::set<std::string> folders_;
  std::map<std::string, std::string> links_;
  std::string binary_;
};

// The examples of the README, each a program, its input and its result in
// the fenced blocks after a line "<!-- example: NAME -->".
std::map<std::string, std::vector<Section>> ReadmeExamples() {
  const std::string readme = SourceFile("README.md");
  const std::string marker = "<!-- example: ";
  std::map<std::string, std::vector<Section>> examples;
  for (size_t at = readme.find(marker); at != std::string::npos;
       at = readme.find(marker, at + 1)) {
    const size_t end = readme.find(" -->", at);
    std::vector<Section> sections = {{{"program"}, {}},
                                     {{"file", "in.txt"}, {}},
                                     {{"expect", "in.txt"}, {}}};
    size_t pos = end;
    for (Section& s : sections) {
      const size_t open = readme.find("\n```", pos);
      const size_t body = readme.find('\n', open + 4);
      pos = readme.find("\n```", body);
      std::istringstream lines(readme.substr(body + 1, pos - body - 1));
      for (std::string line; std::getline(lines, line);)
        s.lines.push_back(line);
      pos += 4;
    }
    examples["README.md#" + readme.substr(at + marker.size(),
                                          end - at - marker.size())] = sections;
  }
  return examples;
}

TEST_P(CaseTest, Run) {
  sections_ = GetParam().rfind("README.md#", 0) == 0
                  ? ReadmeExamples()[GetParam()]
                  : ParseCase(ReadFile(kCaseFolder + "/" + GetParam()));
  Expected want;
  for (const Section& s : sections_) {
    const std::string& kind = s.words[0];
    if (kind == "expressions") return RunExpressions(s);
    if (kind == "expect") want.files[s.Name()] = Fill(s.Text());
    const bool contains = s.words.size() > 1 && s.words[1] == "contains";
    if (kind == "stdout") want.out = Fill(s.Text());
    if (kind == "stdout") want.out_contains = contains;
    if (kind == "stderr") want.err = Fill(s.Text());
    if (kind == "stderr") want.err_contains = contains;
    if (kind == "status") want.status = std::stoi(s.words.at(1));
    if (kind == "log") want.log = &s;
    if (kind == "log" && !s.Name().empty()) want.log_name = s.Name();
  }
  Prepare("");
  Check(RunCase(), want);
}

std::vector<std::string> CaseFiles() {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(kCaseFolder)) {
    if (e.path().extension() == ".case") {
      names.push_back(e.path().string().substr(kCaseFolder.size() + 1));
    }
  }
  std::sort(names.begin(), names.end());
  for (const auto& [name, sections] : ReadmeExamples()) names.push_back(name);
  return names;
}

TEST(CaseFiles, AreFound) {
  EXPECT_GE(CaseFiles().size(), 20u);
  EXPECT_GE(ReadmeExamples().size(), 4u);
}

// "commands/rep.case" runs as Cases/CaseTest.Run/commands_rep, the example
// "swap two fields" of the README as ..._README_md_swap_two_fields.
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
