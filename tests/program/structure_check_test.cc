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

// A record as loaded from a line without tabs.
Oper OperOf(const std::string& text) {
  Oper op;
  op.line = text;
  op.text = text;
  return op;
}

// The fields the check gives one record.
struct Fields {
  std::string command;
  std::string parm;
  int32_t looplevel;
  int32_t iflevel;
  int32_t blockop;
  int32_t nparm;
};

void ExpectFields(const Oper& op, const Fields& f, int32_t number) {
  EXPECT_EQ(op.command, f.command) << "operation " << number;
  EXPECT_EQ(op.parm, f.parm) << "operation " << number;
  EXPECT_EQ(op.looplevel, f.looplevel) << "operation " << number;
  EXPECT_EQ(op.iflevel, f.iflevel) << "operation " << number;
  EXPECT_EQ(op.blockop, f.blockop) << "operation " << number;
  EXPECT_EQ(op.nparm, f.nparm) << "operation " << number;
}

TEST_F(StructureCheckTest, PlainProgramGetsOwnNumbersAndLevelZero) {
  Load(Lines({"setc a,1", "  SetC   b, Two  words ", "find a,b,c,d", "xyz"}));
  EXPECT_EQ(st_.ErrFlag, 0);
  EXPECT_EQ(st_.FinalMsg, "");
  ExpectFields(Op(1), {"setc", "a,1", 0, 0, 1, 0}, 1);
  ExpectFields(Op(2), {"setc", "b, Two  words", 0, 0, 2, 0}, 2);
  ExpectFields(Op(3), {"find", "a,b,c,d", 0, 0, 3, 0}, 3);
  ExpectFields(Op(4), {"xyz", "", 0, 0, 4, 0}, 4);
}

TEST_F(StructureCheckTest, NestedBlocksGetLevelsAndPartners) {
  Load(Lines({
      "loop 3",    // 1
      "if a",      // 2
      "setc x,1",  // 3
      "else",      // 4
      "else",      // 5: a second else is accepted
      "endif",     // 6
      "loop",      // 7
      "lcont",     // 8
      "if b",      // 9
      "loop y",    // 10
      "lexit 3",   // 11
      "lend",      // 12
      "endif",     // 13
      "lexit 2",   // 14
      "lend x",    // 15
      "lexit 0",   // 16
      "lend",      // 17
  }));
  ASSERT_EQ(st_.FinalMsg, "");
  EXPECT_EQ(st_.ErrFlag, 0);
  const std::vector<Fields> expected = {
      {"loop", "3", 0, 0, 1, 3},   {"if", "a", 1, 0, 2, 0},
      {"setc", "x,1", 1, 1, 3, 0}, {"else", "", 1, 1, 2, 0},
      {"else", "", 1, 1, 2, 0},    {"endif", "", 1, 0, 2, 0},
      {"loop", "", 1, 0, 7, 1},    {"lcont", "", 2, 0, 7, 0},
      {"if", "b", 2, 0, 9, 0},     {"loop", "y", 2, 1, 10, 0},
      {"lexit", "3", 3, 1, 10, 3}, {"lend", "", 2, 1, 10, 0},
      {"endif", "", 2, 0, 9, 0},   {"lexit", "2", 2, 0, 7, 2},
      {"lend", "x", 1, 0, 7, 0},   {"lexit", "0", 1, 0, 1, 0},
      {"lend", "", 0, 0, 1, 0},
  };
  ASSERT_EQ(st_.OperCount, static_cast<int32_t>(expected.size()));
  for (int32_t i = 1; i <= st_.OperCount; ++i) {
    ExpectFields(Op(i), expected[i - 1], i);
  }
}

TEST_F(StructureCheckTest, KeywordsInAnyCaseParameterKeepsCase) {
  Load(Lines({"LOOP", "IF XyZ", "Else", "EndIf", "lExit", "LEnd AbC"}));
  ASSERT_EQ(st_.FinalMsg, "");
  ExpectFields(Op(1), {"loop", "", 0, 0, 1, 1}, 1);
  ExpectFields(Op(2), {"if", "XyZ", 1, 0, 2, 0}, 2);
  ExpectFields(Op(3), {"else", "", 1, 1, 2, 0}, 3);
  ExpectFields(Op(4), {"endif", "", 1, 0, 2, 0}, 4);
  ExpectFields(Op(5), {"lexit", "", 1, 0, 1, 1}, 5);
  ExpectFields(Op(6), {"lend", "AbC", 0, 0, 1, 0}, 6);
}

TEST_F(StructureCheckTest, KeywordNeedsABlankAfterIt) {
  // A tab became a blank, so it separates; a comma does not.
  Load(Lines({"if\tx", "endif,", "endif"}));
  ASSERT_EQ(st_.FinalMsg, "");
  EXPECT_EQ(Op(1).command, "if");
  EXPECT_EQ(Op(2).command, "endif,");
  EXPECT_EQ(Op(2).blockop, 2);
  EXPECT_EQ(Op(3).blockop, 1);
}

// The numeric parameter of loop and lexit.
struct NparmCase {
  std::vector<std::string> program;
  int32_t number;  // the operation whose nparm is checked
  int32_t nparm;
};

class NparmTest : public ProgramFixture,
                  public ::testing::WithParamInterface<NparmCase> {};

TEST_P(NparmTest, WorkedOutInAdvance) {
  Load(Lines(GetParam().program));
  ASSERT_EQ(st_.FinalMsg, "");
  EXPECT_EQ(Op(GetParam().number).nparm, GetParam().nparm);
}

INSTANTIATE_TEST_SUITE_P(
    LoopAndLexit, NparmTest,
    ::testing::Values(NparmCase{{"loop", "lend"}, 1, 1},
                      NparmCase{{"loop 7", "lend"}, 1, 7},
                      NparmCase{{"loop 0", "lend"}, 1, 0},
                      NparmCase{{"loop 1e2", "lend"}, 1, 100},
                      NparmCase{{"loop 4.0", "lend"}, 1, 4},
                      NparmCase{{"loop x", "lend"}, 1, 0},
                      NparmCase{{"loop ifn(a,eq,b,1,0)", "lend"}, 1, 0},
                      NparmCase{{"loop 2 3", "lend"}, 1, 0},
                      NparmCase{{"loop", "lexit", "lend"}, 2, 1},
                      NparmCase{{"loop", "lexit 0", "lend"}, 2, 0},
                      NparmCase{
                          {"loop", "loop", "lexit 2", "lend", "lend"}, 3, 2},
                      NparmCase{{"loop", "lexit +1", "lend"}, 2, 1}));

// One structure error: the program, the code, the operation reported (0 for
// the codes reported without an operation).
struct ErrorCase {
  const char* name;
  std::vector<std::string> program;
  const char* code;
  int32_t at;
};

class StructureErrorTest : public ProgramFixture,
                           public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(StructureErrorTest, ReportsTheFirstErrorAtItsOperation) {
  const ErrorCase& c = GetParam();
  Load(Lines(c.program));
  EXPECT_EQ(st_.ErrFlag, 1);
  if (c.at == 0) {
    EXPECT_EQ(st_.FinalMsg, Raw("CheckZarnProgStructure", c.code));
    return;
  }
  const std::string text = Op(c.at).text;
  std::string number = std::to_string(c.at);
  while (number.size() < 3) number.insert(0, "0");
  EXPECT_EQ(st_.FinalMsg, ErrorAt(c.code, number, text));
  // The records after the failing one keep their initial values.
  for (int32_t i = c.at + 1; i <= st_.OperCount; ++i) {
    ExpectFields(Op(i), {"", "", 0, 0, 0, 0}, i);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, StructureErrorTest,
    ::testing::Values(
        ErrorCase{"EndifWithoutIf", {"setc a,1", "endif"}, "ZARNCTP001CT", 2},
        ErrorCase{"SecondEndif",
                  {"if a", "endif", "endif", "setc a,1"},
                  "ZARNCTP001CT",
                  3},
        ErrorCase{
            "ElseAfterEndif", {"if a", "endif", "else"}, "ZARNCTP002CT", 3},
        ErrorCase{
            "ElseOutsideEveryIf", {"else", "if a", "endif"}, "ZARNCTP002CT", 1},
        ErrorCase{"EndifInterleavedWithLoop",
                  {"if a", "loop", "endif", "lend"},
                  "ZARNCTP003CT",
                  3},
        ErrorCase{"ElseInsideInnerLoop",
                  {"if a", "loop", "else", "lend", "endif"},
                  "ZARNCTP003CT",
                  3},
        ErrorCase{"LoopFraction", {"loop 2.5", "lend"}, "ZARNCTP005CT", 1},
        ErrorCase{"LoopCommaFraction", {"loop 2,5", "lend"}, "ZARNCTP005CT", 1},
        ErrorCase{"LoopNegative", {"loop -1", "lend"}, "ZARNCTP005CT", 1},
        ErrorCase{
            "LoopBeyondRange", {"loop 3000000000", "lend"}, "ZARNCTP005CT", 1},
        ErrorCase{"LendWithoutLoop", {"setc a,1", "lend"}, "ZARNCTP006CT", 2},
        ErrorCase{"SecondLend", {"loop", "lend", "lend"}, "ZARNCTP006CT", 3},
        ErrorCase{"LcontOutsideLoops", {"lcont"}, "ZARNCTP006CT", 1},
        ErrorCase{"LexitZeroOutsideLoops", {"lexit 0"}, "ZARNCTP006CT", 1},
        ErrorCase{"LendInterleavedWithIf",
                  {"loop", "if a", "lend", "endif"},
                  "ZARNCTP007CT",
                  3},
        ErrorCase{"LexitName", {"loop", "lexit x", "lend"}, "ZARNCTP008CT", 2},
        ErrorCase{
            "LexitNegative", {"loop", "lexit -1", "lend"}, "ZARNCTP008CT", 2},
        ErrorCase{
            "LexitFraction", {"loop", "lexit 1.5", "lend"}, "ZARNCTP008CT", 2},
        ErrorCase{
            "LexitTwoOfOne", {"loop", "lexit 2", "lend"}, "ZARNCTP009CT", 2},
        ErrorCase{
            "LexitOutsideLoops", {"setc a,1", "lexit"}, "ZARNCTP009CT", 2},
        ErrorCase{"LexitInsideIf",
                  {"loop", "if a", "lexit", "endif", "lend"},
                  "ZARNCTP010CT",
                  3},
        ErrorCase{"LcontInsideIf",
                  {"loop", "if a", "lcont", "endif", "lend"},
                  "ZARNCTP010CT",
                  3},
        ErrorCase{"EndsInsideIf", {"if a", "setc b,1"}, "ZARNCTP011CT", 0},
        ErrorCase{"EndsInsideLoop", {"loop", "setc b,1"}, "ZARNCTP012CT", 0},
        ErrorCase{"EndsInsideBoth", {"loop", "if a"}, "ZARNCTP011CT", 0},
        ErrorCase{"FirstErrorOnly",
                  {"setc a,1", "setc b,2", "endif", "setc c,3", "if x",
                   "setc d,4", "loop", "setc e,5", "endif", "lend", "endif"},
                  "ZARNCTP001CT",
                  3},
        ErrorCase{"NumberPaddedToThreeDigits",
                  {"loop", "loop", "loop", "loop", "loop", "loop", "setc a,1",
                   "setc b,2", "setc c,3", "setc d,4", "setc e,5", "lexit 7"},
                  "ZARNCTP009CT",
                  12}),
    [](const ::testing::TestParamInfo<ErrorCase>& case_info) {
      return std::string(case_info.param.name);
    });

TEST_F(StructureCheckTest, ReportCarriesTheTextWithBlanksForTabs) {
  Load(Lines({"loop", "\tlexit\t9  "}));
  EXPECT_EQ(st_.FinalMsg, ErrorAt("ZARNCTP009CT", "002", " lexit 9  "));
}

TEST_F(StructureCheckTest, ReportOfOperationOneThousand) {
  std::vector<std::string> program(999, "setc a,1");
  program.push_back("else /a|b/c");
  Load(Lines(program));
  EXPECT_EQ(st_.FinalMsg, ErrorAt("ZARNCTP002CT", "1000", "else /a|b/c"));
}

TEST_F(StructureCheckTest, FailingRecordShowsThePartnerItWasCheckedAgainst) {
  Load(Lines({"if a", "loop", "endif", "lend"}));
  ASSERT_EQ(st_.ErrFlag, 1);
  ExpectFields(Op(3), {"endif", "", 1, 0, 1, 0}, 3);
  ExpectFields(Op(4), {"", "", 0, 0, 0, 0}, 4);
}

TEST_F(StructureCheckTest, FailingLexitKeepsNparmZero) {
  Load(Lines({"loop", "if a", "lexit 1", "endif", "lend"}));
  ASSERT_EQ(st_.ErrFlag, 1);
  ExpectFields(Op(3), {"lexit", "1", 1, 1, 1, 0}, 3);
}

TEST_F(StructureCheckTest, DoesNotTouchMsgText) {
  st_.OperList = {OperOf("endif")};
  st_.OperCount = 1;
  st_.MsgText = "unchanged";
  st_.FinalMsg.clear();
  CheckZarnProgStructure(st_);
  EXPECT_EQ(st_.MsgText, "unchanged");
  EXPECT_EQ(st_.FinalMsg, ErrorAt("ZARNCTP001CT", "001", "endif"));
}

TEST_F(StructureCheckTest, EmptyProgramPasses) {
  st_.OperList.clear();
  st_.OperCount = 0;
  st_.FinalMsg.clear();
  CheckZarnProgStructure(st_);
  EXPECT_EQ(st_.FinalMsg, "");
}

TEST_F(StructureCheckTest, TenThousandNestedLevels) {
  constexpr int kDepth = 10000;
  std::vector<std::string> program;
  for (int i = 0; i < kDepth; ++i) {
    program.push_back("if c");
    program.push_back("loop");
  }
  program.push_back("lexit 0");
  for (int i = 0; i < kDepth; ++i) {
    program.push_back("lend");
    program.push_back("endif");
  }
  Load(Lines(program));
  ASSERT_EQ(st_.FinalMsg, "");
  const int32_t inner = 2 * kDepth + 1;  // the lexit
  ExpectFields(Op(inner), {"lexit", "0", kDepth, kDepth, inner - 1, 0}, inner);
  ExpectFields(Op(inner + 1), {"lend", "", kDepth - 1, kDepth, inner - 1, 0},
               inner + 1);
  ExpectFields(Op(inner + 2),
               {"endif", "", kDepth - 1, kDepth - 1, inner - 2, 0}, inner + 2);
  const int32_t last = 4 * kDepth + 1;
  ExpectFields(Op(last), {"endif", "", 0, 0, 1, 0}, last);
  ExpectFields(Op(last - 1), {"lend", "", 0, 1, 2, 0}, last - 1);
}

TEST_F(StructureCheckTest, HundredThousandBlocksInSequence) {
  std::vector<std::string> program;
  for (int i = 0; i < 25000; ++i) {
    program.insert(program.end(), {"if a", "endif", "loop", "lend"});
  }
  Load(Lines(program));
  ASSERT_EQ(st_.FinalMsg, "");
  ASSERT_EQ(st_.OperCount, 100000);
  EXPECT_EQ(Op(99998).blockop, 99997);
  EXPECT_EQ(Op(100000).blockop, 99999);
}

// The check as the rules state it, with every partner found by scanning
// backwards from the operation: slow and obviously right, used to check the
// constant-time lookups of the real check. Returns the code and operation of
// the first error ("" when none; operation 0 for the count errors).
struct ReferenceResult {
  std::vector<Oper> ops;
  std::string code;
  int32_t at = 0;
};

ReferenceResult ReferenceCheck(const std::vector<std::string>& texts) {
  ReferenceResult r;
  for (const std::string& t : texts) r.ops.push_back(OperOf(t));
  const int32_t n = static_cast<int32_t>(r.ops.size());
  int32_t if_level = 0, loop_level = 0;
  int32_t ifs = 0, endifs = 0, loops = 0, lends = 0;
  auto find_back = [&](int32_t m, const std::string& cmd, bool by_if,
                       int32_t level) {
    for (int32_t i = m; i >= 1; --i) {
      const Oper& o = r.ops[i - 1];
      if (o.command == cmd && (by_if ? o.iflevel : o.looplevel) == level) {
        return i;
      }
    }
    return 0;
  };
  auto fail = [&](const char* code, int32_t m) {
    r.code = code;
    r.at = m;
    return r;
  };
  for (int32_t m = 1; m <= n; ++m) {
    Oper& o = r.ops[m - 1];
    // The generated texts hold single blanks only.
    size_t blank = o.text.find(' ');
    o.command = o.text.substr(0, blank);
    o.parm = blank == std::string::npos ? "" : o.text.substr(blank + 1);
    o.iflevel = if_level;
    o.looplevel = loop_level;
    o.blockop = m;
    o.nparm = 0;
    if (o.command == "if") {
      ++ifs;
      ++if_level;
    } else if (o.command == "endif") {
      ++endifs;
      if (--if_level < 0) return fail("ZARNCTP001CT", m);
      o.iflevel = if_level;
      int32_t f = find_back(m, "if", true, o.iflevel);
      if (f == 0) return fail("ZARNCTP002CT", m);
      o.blockop = f;
      if (r.ops[f - 1].looplevel != o.looplevel) {
        return fail("ZARNCTP003CT", m);
      }
    } else if (o.command == "else") {
      int32_t f = find_back(m, "if", true, o.iflevel - 1);
      if (f == 0) return fail("ZARNCTP002CT", m);
      o.blockop = f;
      if (r.ops[f - 1].looplevel != o.looplevel) {
        return fail("ZARNCTP003CT", m);
      }
    } else if (o.command == "loop") {
      ++loops;
      ++loop_level;
      std::string p = o.parm.empty() ? "1" : o.parm;
      if (IsNumeric(p)) {
        if (!IsWholeNumber(p) || *ToDouble(p) < 0) {
          return fail("ZARNCTP005CT", m);
        }
        o.nparm = static_cast<int32_t>(*ToDouble(p));
      }
    } else if (o.command == "lend") {
      ++lends;
      o.looplevel = --loop_level;
      int32_t f = find_back(m, "loop", false, o.looplevel);
      if (f == 0) return fail("ZARNCTP006CT", m);
      o.blockop = f;
      if (r.ops[f - 1].iflevel != o.iflevel) {
        return fail("ZARNCTP007CT", m);
      }
    } else if (o.command == "lexit" || o.command == "lcont") {
      double levels = 0;
      if (o.command == "lexit") {
        std::string p = o.parm.empty() ? "1" : o.parm;
        if (!IsNumeric(p) || !IsWholeNumber(p) || *ToDouble(p) < 0) {
          return fail("ZARNCTP008CT", m);
        }
        levels = *ToDouble(p);
        if (levels > loop_level) return fail("ZARNCTP009CT", m);
      }
      int32_t f = find_back(m, "loop", false, o.looplevel - 1);
      if (f == 0) return fail("ZARNCTP006CT", m);
      o.blockop = f;
      if (r.ops[f - 1].iflevel != o.iflevel) {
        return fail("ZARNCTP010CT", m);
      }
      o.nparm = static_cast<int32_t>(levels);
    }
  }
  if (ifs != endifs) {
    fail("ZARNCTP011CT", 0);
  } else if (loops != lends) {
    fail("ZARNCTP012CT", 0);
  }
  return r;
}

// Programs that mostly nest properly, with an occasional stray keyword, so
// that errors turn up at every depth and after long correct stretches.
std::vector<std::string> GenerateProgram(std::mt19937& rng) {
  static const std::vector<std::string> kStray = {
      "if a",     "else",    "endif",   "loop",    "lend",
      "lexit",    "lcont",   "lexit 0", "lexit 2", "lexit 3",
      "loop 2.5", "loop -1", "lexit x", "setc a,1"};
  std::vector<std::string> program;
  std::vector<char> open;  // 'i' or 'l'
  const int length = std::uniform_int_distribution<int>(0, 60)(rng);
  std::uniform_int_distribution<int> pick(0, 99);
  for (int i = 0; i < length; ++i) {
    const int p = pick(rng);
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
      int loops = 0;
      for (char c : open) loops += c == 'l';
      program.push_back(p % 2 ? "lcont"
                              : "lexit " + std::to_string(rng() % (loops + 1)));
    } else {
      program.push_back("setc v,1");
    }
  }
  if (pick(rng) < 80) {
    while (!open.empty()) {
      program.push_back(open.back() == 'i' ? "endif" : "lend");
      open.pop_back();
    }
  }
  return program;
}

TEST_F(StructureCheckTest, AgreesWithTheBackwardScan) {
  std::mt19937 rng(20240107);
  int failures = 0;
  std::set<std::string> codes;
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::string> program = GenerateProgram(rng);
    ReferenceResult ref = ReferenceCheck(program);
    st_.OperList.clear();
    for (const std::string& t : program) st_.OperList.push_back(OperOf(t));
    st_.OperCount = static_cast<int32_t>(program.size());
    st_.FinalMsg.clear();
    CheckZarnProgStructure(st_);

    std::string expected;
    if (!ref.code.empty()) {
      ++failures;
      codes.insert(ref.code);
      if (ref.at == 0) {
        expected = Raw("CheckZarnProgStructure", ref.code);
      } else {
        std::string number = std::to_string(ref.at);
        while (number.size() < 3) number.insert(0, "0");
        expected = ErrorAt(ref.code, number, program[ref.at - 1]);
      }
    }
    ASSERT_EQ(st_.FinalMsg, expected) << "round " << round;
    // The reference leaves the records after a failure untouched too.
    for (int32_t i = 1; i <= st_.OperCount; ++i) {
      const Oper& o = ref.ops[i - 1];
      ExpectFields(
          Op(i),
          {o.command, o.parm, o.looplevel, o.iflevel, o.blockop, o.nparm}, i);
      if (HasFailure()) FAIL() << "round " << round;
    }
  }
  // The generator must exercise both outcomes and every code (an endif
  // always finds its if once the level is not negative, so ZARNCTP002CT
  // comes from an else).
  EXPECT_GT(failures, 300);
  EXPECT_LT(failures, 2700);
  EXPECT_EQ(codes,
            (std::set<std::string>{
                "ZARNCTP001CT", "ZARNCTP002CT", "ZARNCTP003CT", "ZARNCTP005CT",
                "ZARNCTP006CT", "ZARNCTP007CT", "ZARNCTP008CT", "ZARNCTP009CT",
                "ZARNCTP010CT", "ZARNCTP011CT", "ZARNCTP012CT"}));
}

}  // namespace
}  // namespace testing_program
}  // namespace zarn
