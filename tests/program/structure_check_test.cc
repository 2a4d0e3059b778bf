#include "program/structure_check.h"

#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "program/program_fixture.h"
#include "support/number.h"

namespace zarn {
namespace testing_program {
namespace {

using StructureCheckTest = ProgramFixture;

// The fields the check gives one record: "command|parm|looplevel iflevel
// blockop nparm".
std::string Show(const Oper& o) {
  return o.command + "|" + o.parm + "|" + std::to_string(o.looplevel) + " " +
         std::to_string(o.iflevel) + " " + std::to_string(o.blockop) + " " +
         std::to_string(o.nparm);
}

TEST_F(StructureCheckTest, LevelsPartnersAndParameters) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"setc a,1", "setc|a,1|0 0 1 0"},
      {"  SetC   b, Two  words ", "setc|b, Two  words|0 0 2 0"},
      {"xyz", "xyz||0 0 3 0"},
      {"endif,", "endif,||0 0 4 0"},  // a keyword needs a blank after it
      {"LOOP 3", "loop|3|0 0 5 3"},
      {"IF XyZ", "if|XyZ|1 0 6 0"},
      {"else", "else||1 1 6 0"},
      {"Else", "else||1 1 6 0"},  // a second else is accepted
      {"EndIf", "endif||1 0 6 0"},
      {"loop", "loop||1 0 10 1"},
      {"lcont", "lcont||2 0 10 0"},
      {"if\tb", "if|b|2 0 12 0"},
      {"loop y", "loop|y|2 1 13 0"},
      {"lexit 3", "lexit|3|3 1 13 3"},
      {"lend", "lend||2 1 13 0"},
      {"endif", "endif||2 0 12 0"},
      {"lExit", "lexit||2 0 10 1"},
      {"lexit 2", "lexit|2|2 0 10 2"},
      {"LEnd AbC", "lend|AbC|1 0 10 0"},
      {"lexit 0", "lexit|0|1 0 5 0"},
      {"lexit +1", "lexit|+1|1 0 5 1"},
      {"lend", "lend||0 0 5 0"},
      {"loop 0", "loop|0|0 0 23 0"},
      {"loop 1e2", "loop|1e2|1 0 24 100"},
      {"loop 4.0", "loop|4.0|2 0 25 4"},
      {"loop ifn(a,eq,b,1,0)", "loop|ifn(a,eq,b,1,0)|3 0 26 0"},
      {"loop 2 3", "loop|2 3|4 0 27 0"},
      {"lend", "lend||4 0 27 0"},
      {"lend", "lend||3 0 26 0"},
  };
  std::string program;
  for (const auto& row : rows) program += row.first + "\r\n";
  Load(program + "lend\r\nlend\r\nlend\r\n");
  ASSERT_EQ(st_.FinalMsg, "");
  EXPECT_EQ(st_.ErrFlag, 0);
  ASSERT_EQ(st_.OperCount, 32);
  for (int32_t i = 1; i <= 29; ++i) {
    EXPECT_EQ(Show(Op(i)), rows[i - 1].second) << "operation " << i;
  }
  EXPECT_EQ(Show(Op(32)), "lend||0 0 23 0");
}

// The first structure error of a program ("|" between lines): the code
// (ZARNCTP...CT) and the operation reported (0: reported without one). The
// comparison with the backward scan below meets every code many times.
TEST_F(StructureCheckTest, ReportsTheFirstErrorAtItsOperation) {
  struct Row {
    const char* program;
    const char* code;
    int32_t at;
  };
  const std::vector<Row> rows = {
      {"if a|endif|endif|setc a,1", "001", 3},
      {"if a|endif|else", "002", 3},
      {"if a|loop|endif|lend", "003", 3},
      {"loop 2.5|lend", "005", 1},
      {"loop 3000000000|lend", "005", 1},
      {"setc a,1|lend", "006", 2},
      {"lexit 0", "006", 1},
      {"loop|if a|lend|endif", "007", 3},
      {"loop|lexit x|lend", "008", 2},
      {"loop|lexit 2|lend", "009", 2},
      {"loop|if a|lcont|endif|lend", "010", 3},
      {"if a|setc b,1", "011", 0},
      {"loop|setc b,1", "012", 0},
      {"setc a|setc b|endif|setc c|if x|setc d|loop|setc e|endif|lend|endif",
       "001", 3},
      {"loop|loop|loop|loop|loop|loop|a|b|c|d|e|lexit 7", "009", 12},
  };
  for (const Row& r : rows) {
    Load(Lines(r.program));
    const std::string code = std::string("ZARNCTP") + r.code + "CT";
    EXPECT_EQ(st_.ErrFlag, 1) << r.program;
    EXPECT_EQ(st_.FinalMsg,
              r.at == 0 ? Raw(code) : ErrorAt(code, r.at, Op(r.at).line))
        << r.program;
    // The records after the failing one keep their initial values.
    for (int32_t i = r.at + 1; r.at > 0 && i <= st_.OperCount; ++i) {
      EXPECT_EQ(Show(Op(i)), "||0 0 0 0") << r.program << " " << i;
    }
  }
}

TEST_F(StructureCheckTest, ReportOfOperationOneThousandShowsItsText) {
  std::string program;
  for (int i = 1; i < 1000; ++i) program += "setc a,1\r\n";
  Load(program + "\telse\t/a|b/c  ");
  EXPECT_EQ(st_.FinalMsg, ErrorAt("ZARNCTP002CT", 1000, " else /a|b/c  "));
}

TEST_F(StructureCheckTest, TenThousandNestedLevels) {
  constexpr int kDepth = 10000;
  std::string program;
  for (int i = 0; i < kDepth; ++i) program += "if c\r\nloop\r\n";
  program += "lexit 0\r\n";
  for (int i = 0; i < kDepth; ++i) program += "lend\r\nendif\r\n";
  Load(program);
  ASSERT_EQ(st_.FinalMsg, "");
  const int32_t inner = 2 * kDepth + 1;  // the lexit
  EXPECT_EQ(Show(Op(inner)), "lexit|0|10000 10000 20000 0");
  EXPECT_EQ(Show(Op(inner + 1)), "lend||9999 10000 20000 0");
  EXPECT_EQ(Show(Op(inner + 2)), "endif||9999 9999 19999 0");
  EXPECT_EQ(Show(Op(4 * kDepth + 1)), "endif||0 0 1 0");
}

TEST_F(StructureCheckTest, HundredThousandBlocksInSequence) {
  std::string program;
  for (int i = 0; i < 25000; ++i)
    program += "if a\r\nendif\r\nloop\r\nlend\r\n";
  Load(program);
  ASSERT_EQ(st_.FinalMsg, "");
  ASSERT_EQ(st_.OperCount, 100000);
  EXPECT_EQ(Op(99998).blockop, 99997);
  EXPECT_EQ(Op(100000).blockop, 99999);
}

// The check as the rules state it, with every partner found by scanning
// backwards: slow and obviously right. Fills ops and returns the code of
// the first error ("" when none) and its operation in at.
std::string ReferenceCheck(std::vector<Oper>& ops, int32_t& at) {
  const int32_t n = static_cast<int32_t>(ops.size());
  int32_t if_level = 0, loop_level = 0, ifs = 0, endifs = 0, loops = 0;
  int32_t lends = 0;
  auto find_back = [&](int32_t m, const char* cmd, bool by_if, int32_t lvl) {
    for (int32_t i = m; i >= 1; --i) {
      const Oper& o = ops[i - 1];
      if (o.command == cmd && (by_if ? o.iflevel : o.looplevel) == lvl) {
        return i;
      }
    }
    return 0;
  };
  auto whole = [](const std::string& p) {
    return IsNumeric(p) && IsWholeNumber(p) && *ToDouble(p) >= 0;
  };
  for (at = 1; at <= n; ++at) {
    Oper& o = ops[at - 1];
    size_t blank = o.text.find(' ');  // the generated texts: single blanks
    o.command = o.text.substr(0, blank);
    o.parm = blank == std::string::npos ? "" : o.text.substr(blank + 1);
    o.iflevel = if_level;
    o.looplevel = loop_level;
    o.blockop = at;
    const std::string p = o.parm.empty() ? "1" : o.parm;
    bool by_if = true;
    int32_t f = -1;  // the opener, when one is looked for
    if (o.command == "if") {
      ++ifs;
      ++if_level;
    } else if (o.command == "endif") {
      ++endifs;
      if (--if_level < 0) return "ZARNCTP001CT";
      o.iflevel = if_level;
      f = find_back(at, "if", true, o.iflevel);
    } else if (o.command == "else") {
      f = find_back(at, "if", true, o.iflevel - 1);
    } else if (o.command == "loop") {
      ++loops;
      ++loop_level;
      if (IsNumeric(p) && !whole(p)) return "ZARNCTP005CT";
      if (IsNumeric(p)) o.nparm = static_cast<int32_t>(*ToDouble(p));
    } else if (o.command == "lend") {
      ++lends;
      o.looplevel = --loop_level;
      by_if = false;
      f = find_back(at, "loop", false, o.looplevel);
    } else if (o.command == "lexit" || o.command == "lcont") {
      if (o.command == "lexit" && !whole(p)) return "ZARNCTP008CT";
      if (o.command == "lexit" && *ToDouble(p) > loop_level) {
        return "ZARNCTP009CT";
      }
      by_if = false;
      f = find_back(at, "loop", false, o.looplevel - 1);
    }
    if (f == 0) return by_if ? "ZARNCTP002CT" : "ZARNCTP006CT";
    if (f > 0) {
      o.blockop = f;
      const Oper& opener = ops[f - 1];
      if (by_if && opener.looplevel != o.looplevel) return "ZARNCTP003CT";
      if (!by_if && opener.iflevel != o.iflevel) {
        return o.command == "lend" ? "ZARNCTP007CT" : "ZARNCTP010CT";
      }
      if (o.command == "lexit") o.nparm = static_cast<int32_t>(*ToDouble(p));
    }
  }
  at = 0;
  if (ifs != endifs) return "ZARNCTP011CT";
  return loops != lends ? "ZARNCTP012CT" : "";
}

// Programs that mostly nest properly, with an occasional stray keyword, so
// that errors turn up at every depth and after long correct stretches.
std::vector<std::string> GenerateProgram(std::mt19937& rng) {
  static const std::vector<std::string> kStray = {
      "if a",     "else",    "endif",   "loop",    "lend",
      "lexit",    "lcont",   "lexit 0", "lexit 2", "lexit 3",
      "loop 2.5", "loop -1", "lexit x", "x"};
  std::vector<std::string> program;
  std::vector<char> open;  // 'i' or 'l'
  const int length = std::uniform_int_distribution<int>(0, 60)(rng);
  std::uniform_int_distribution<int> pick(0, 99);
  for (int i = 0; i < length; ++i) {
    const int p = pick(rng);
    int loops = 0;
    for (char c : open) loops += c == 'l';
    if (p < 3) {
      program.push_back(kStray[rng() % kStray.size()]);
    } else if (p < 20) {
      program.push_back("if a");
      open.push_back('i');
    } else if (p < 35) {
      program.push_back(p < 25 ? "loop" : p < 30 ? "loop 4" : "loop v");
      open.push_back('l');
    } else if (p < 60 && !open.empty()) {
      program.push_back(open.back() == 'i' ? "endif" : "lend");
      open.pop_back();
    } else if (p < 68 && !open.empty() && open.back() == 'i') {
      program.push_back("else");
    } else if (p < 76 && !open.empty() && open.back() == 'l') {
      program.push_back(p % 2 ? "lcont"
                              : "lexit " + std::to_string(rng() % (loops + 1)));
    } else {
      program.push_back("setc v,1");
    }
  }
  for (; pick(rng) < 80 && !open.empty(); open.pop_back()) {
    program.push_back(open.back() == 'i' ? "endif" : "lend");
  }
  return program;
}

TEST_F(StructureCheckTest, AgreesWithTheBackwardScan) {
  std::mt19937 rng(20240107);
  int failures = 0;
  std::set<std::string> codes;
  for (int round = 0; round < 3000; ++round) {
    const std::vector<std::string> program = GenerateProgram(rng);
    st_.OperList.clear();
    for (const std::string& t : program) {
      st_.OperList.push_back(Oper{t, t, "", ""});
    }
    std::vector<Oper> ref = st_.OperList;
    int32_t at = 0;
    const std::string code = ReferenceCheck(ref, at);
    st_.OperCount = static_cast<int32_t>(program.size());
    const StructureFinding finding = CheckZarnProgStructure(st_.OperList);

    if (!code.empty()) {
      ++failures;
      codes.insert(code);
    }
    ASSERT_EQ(finding.code, code) << "round " << round;
    ASSERT_EQ(finding.oper, at) << "round " << round;
    // The reference leaves the records after a failure untouched too.
    for (int32_t i = 1; i <= st_.OperCount; ++i) {
      ASSERT_EQ(Show(Op(i)), Show(ref[i - 1])) << "round " << round;
    }
  }
  // Both outcomes and every code must turn up.
  EXPECT_GT(failures, 300);
  EXPECT_LT(failures, 2700);
  EXPECT_EQ(codes.size(), 11u);
}

}  // namespace
}  // namespace testing_program
}  // namespace zarn
