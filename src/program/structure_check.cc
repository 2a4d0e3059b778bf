#include "program/structure_check.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/number.h"
#include "support/text.h"

namespace zarn {

namespace {

// For each nesting level, the number of the latest opener (if or loop) seen
// so far whose record carries that level. The opener's level in its record
// never changes once set, so the latest one of a level is exactly what a
// scan backwards from the current operation would find first; keeping it
// per level makes every lookup constant-time, however long or deeply nested
// the program is.
class OpenerTable {
 public:
  void Record(int32_t level, int32_t number) {
    const size_t index = static_cast<size_t>(level);
    if (index >= latest_.size()) latest_.resize(index + 1, 0);
    latest_[index] = number;
  }
  // The number of the latest opener with that level, or 0 for none.
  int32_t Find(int32_t level) const {
    if (level < 0 || static_cast<size_t>(level) >= latest_.size()) return 0;
    return latest_[static_cast<size_t>(level)];
  }

 private:
  std::vector<int32_t> latest_;
};

// Working state of one check.
struct CheckState {
  int32_t if_level = 0;
  int32_t loop_level = 0;
  int32_t if_count = 0;
  int32_t endif_count = 0;
  int32_t loop_count = 0;
  int32_t lend_count = 0;
  OpenerTable ifs;    // by the iflevel of the if
  OpenerTable loops;  // by the looplevel of the loop
};

// The parameter of loop and lexit, an empty one counting as "1".
std::string_view ParmOrDefault(const std::string& parm) {
  return parm.empty() ? std::string_view("1") : std::string_view(parm);
}

// Applies the effect of operation m, whose record already holds its command,
// parm, levels and blockop, and completes the record. Returns the code of the
// first error found, or an empty view when the operation fits the structure.
// Whenever an opener is found, blockop points to it before the levels are
// compared, so the failing record shows the partner it was checked against.
std::string_view CheckOperation(std::vector<Oper>& opers, CheckState& cs,
                                int32_t m) {
  auto at = [&opers](int32_t n) -> Oper& { return opers[n - 1]; };
  Oper& op = at(m);
  const std::string& cmd = op.command;
  if (cmd == "if") {
    ++cs.if_count;
    cs.ifs.Record(op.iflevel, m);
    ++cs.if_level;
  } else if (cmd == "endif") {
    ++cs.endif_count;
    --cs.if_level;
    if (cs.if_level < 0) return "ZARNCTP001CT";
    // The endif carries the level of its if.
    op.iflevel = cs.if_level;
    const int32_t opener = cs.ifs.Find(op.iflevel);
    if (opener == 0) return "ZARNCTP002CT";
    op.blockop = opener;
    // An if block must lie wholly inside or outside each loop.
    if (at(opener).looplevel != op.looplevel) return "ZARNCTP003CT";
  } else if (cmd == "else") {
    // The else carries the level inside its block, one above its if.
    const int32_t opener = cs.ifs.Find(op.iflevel - 1);
    if (opener == 0) return "ZARNCTP002CT";
    op.blockop = opener;
    if (at(opener).looplevel != op.looplevel) return "ZARNCTP003CT";
  } else if (cmd == "loop") {
    ++cs.loop_count;
    cs.loops.Record(op.looplevel, m);
    ++cs.loop_level;
    const std::string_view parm = ParmOrDefault(op.parm);
    // A parameter that is not a number is an expression, evaluated on every
    // pass at run time; nparm then stays 0.
    if (IsNumeric(parm)) {
      int32_t value = 0;
      if (!ToWholeNumber(parm, &value) || value < 0) return "ZARNCTP005CT";
      op.nparm = value;
    }
  } else if (cmd == "lend") {
    ++cs.lend_count;
    --cs.loop_level;
    // The lend carries the level of its loop.
    op.looplevel = cs.loop_level;
    const int32_t opener = cs.loops.Find(op.looplevel);
    if (opener == 0) return "ZARNCTP006CT";
    op.blockop = opener;
    // A loop must lie wholly inside or outside each if block.
    if (at(opener).iflevel != op.iflevel) return "ZARNCTP007CT";
  } else if (cmd == "lexit" || cmd == "lcont") {
    int32_t levels = 0;
    if (cmd == "lexit") {
      // The number of loops to leave is a literal, never evaluated.
      const std::string_view parm = ParmOrDefault(op.parm);
      if (!ToWholeNumber(parm, &levels) || levels < 0) return "ZARNCTP008CT";
      if (levels > cs.loop_level) return "ZARNCTP009CT";
    }
    // The innermost open loop: the lexit or lcont carries the level inside.
    const int32_t opener = cs.loops.Find(op.looplevel - 1);
    if (opener == 0) return "ZARNCTP006CT";
    op.blockop = opener;
    // The jump must not leave an if block that lies inside the loop.
    if (at(opener).iflevel != op.iflevel) return "ZARNCTP010CT";
    op.nparm = levels;
  }
  return std::string_view();
}

}  // namespace

void CutOperation(Oper& op) {
  std::string t = Trimmed(op.text);
  t.push_back(' ');
  op.command = AsciiLower(LeftOf(t, " "));
  op.parm = Trimmed(RightOf(t, " "));
}

StructureFinding CheckZarnProgStructure(std::vector<Oper>& opers) {
  CheckState cs;
  const auto count = static_cast<int32_t>(opers.size());
  for (int32_t m = 1; m <= count; ++m) {
    Oper& op = opers[m - 1];
    CutOperation(op);
    op.iflevel = cs.if_level;
    op.looplevel = cs.loop_level;
    op.blockop = m;
    op.nparm = 0;

    const std::string_view code = CheckOperation(opers, cs, m);
    if (!code.empty()) return StructureFinding{std::string(code), m};
  }

  if (cs.if_count != cs.endif_count) return StructureFinding{"ZARNCTP011CT"};
  if (cs.loop_count != cs.lend_count) return StructureFinding{"ZARNCTP012CT"};
  return StructureFinding{};
}

}  // namespace zarn
