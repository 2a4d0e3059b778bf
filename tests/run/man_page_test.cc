// The manual page renders without a warning and says what the README and
// --help say: the same options, parameter keys and exit statuses.
#include <regex>
#include <set>

#include "run/e2e_fixture.h"

namespace zarn::testing {
namespace {

using ManPage = E2eTest;

// The page's source with the roff escapes of plain text undone, and the
// argument of .BI joined to the word before it.
std::string PageText() {
  std::string page = SourceFile("docs/zarn.1");
  page = ReplaceEvery(page, "\\-", "-");
  page = ReplaceEvery(page, "\\e", "\\");
  page = ReplaceEvery(page, "= ", "=");
  return page;
}

// The first cells of the README table that begins with the given heading
// row, backquotes removed.
std::set<std::string> ReadmeFirstCells(const std::string& heading) {
  std::string readme = SourceFile("README.md");
  size_t pos = readme.find(heading);
  EXPECT_NE(pos, std::string::npos) << heading;
  std::set<std::string> cells;
  std::regex row("^\\| ([^|]+) \\|");
  while (pos != std::string::npos && pos < readme.size() &&
         readme[pos] == '|') {
    size_t end = readme.find('\n', pos);
    std::string line = readme.substr(pos, end - pos);
    std::smatch m;
    if (line != heading && std::regex_search(line, m, row)) {
      cells.insert(ReplaceEvery(m[1].str(), "`", ""));
    }
    pos = end == std::string::npos ? end : end + 1;
  }
  return cells;
}

TEST_F(ManPage, RendersWithoutWarnings) {
  RunResult r = RunProgram({"/bin/sh", "-c",
                            "groff -man -Tutf8 -ww -z '" +
                                std::string(ZARN_SOURCE_DIR) + "/docs/zarn.1'"},
                           root_);
  EXPECT_EQ(r.status, 0) << "groff is installed by scripts/setup.sh";
  EXPECT_EQ(r.err, "");
  r = RunProgram({"/bin/sh", "-c",
                  // Plain text, without the overstriking of bold and underline.
                  "groff -man -Tutf8 -P-c -P-b -P-u -P-o '" +
                      std::string(ZARN_SOURCE_DIR) +
                      "/docs/zarn.1' | grep -c '^PARAMETER FILE$'"},
                 root_);
  EXPECT_EQ(r.out, "1\n");
}

TEST_F(ManPage, NamesEveryOptionOfHelpAndReadme) {
  const std::string page = PageText();
  RunResult help = RunProgram({Binary(), "--help"}, root_);
  std::regex option("(^|[ ,])(-h|--[a-z-]+(=[A-Z]+)?)");
  int seen = 0;
  for (std::sregex_iterator it(help.out.begin(), help.out.end(), option), end;
       it != end; ++it) {
    const std::string name = (*it)[2].str();
    EXPECT_NE(page.find(name), std::string::npos) << name << " not in zarn.1";
    ++seen;
  }
  EXPECT_GE(seen, 8);
  const std::set<std::string> readme = ReadmeFirstCells("| Option | Meaning |");
  EXPECT_GE(readme.size(), 7u);
  for (const std::string& cell : readme) {
    // "-h, --help" names two.
    for (std::sregex_iterator it(cell.begin(), cell.end(), option), end;
         it != end; ++it) {
      const std::string name = (*it)[2].str();
      EXPECT_NE(page.find(name), std::string::npos) << name;
      EXPECT_NE(help.out.find(name), std::string::npos)
          << name << " in the README but not in --help";
    }
  }
}

TEST_F(ManPage, NamesEveryExitStatusAndParameterKey) {
  const std::string page = PageText();
  const std::set<std::string> statuses =
      ReadmeFirstCells("| Status | Meaning |");
  EXPECT_EQ(statuses,
            (std::set<std::string>{"0", "1", "2", "3", "64", "128+N"}));
  size_t exit_section = page.find(".SH EXIT STATUS");
  ASSERT_NE(exit_section, std::string::npos);
  for (const std::string& s : statuses) {
    EXPECT_NE(page.find(".TP\n.B " + s + "\n", exit_section), std::string::npos)
        << s;
  }
  for (const char* key :
       {"[Data] Datafolder", "[Data] Files", "[Data] Recursion",
        "[Data] Zarnfolder", "[Data] Start", "[Log] Log\n", "[Log] Logappend",
        "[String_parm] Parm1"}) {
    EXPECT_NE(page.find(key), std::string::npos) << key;
  }
}

}  // namespace
}  // namespace zarn::testing
