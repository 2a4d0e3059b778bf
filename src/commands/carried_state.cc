#include "commands/carried_state.h"

#include <deque>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "eval/args.h"
#include "eval/evaluator.h"
#include "eval/functions.h"
#include "support/text.h"

namespace zarn {

namespace {

// Names are compared as the stores' keys are: letter case ignored. An
// assignment gives the variable its name's letter case too, so a name
// assigned on the file is this file's in every respect.
std::string Key(std::string_view name) { return AsciiUpper(name); }

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The capture ranges, which every search removes and makes anew.
constexpr std::string_view kCaptureKey = "*CTX";
constexpr std::string_view kCapturePrefix = "*ctx";

// What is certainly assigned on the file when an operation is reached, on
// every path to it.
struct Assigned {
  bool reached = false;
  std::set<std::string> vars;    // keys of string variables
  std::set<std::string> ranges;  // keys of range variables
  // The capture ranges are those of a search on this file.
  bool captures = false;
  // The ranges the last search assigns when it found a match, that is
  // when *rcf is "1".
  std::set<std::string> if_found;

  // Keeps what both hold; true when this changed.
  bool Meet(const Assigned& other) {
    if (!other.reached) return false;
    if (!reached) {
      *this = other;
      return true;
    }
    bool changed = false;
    changed |= Intersect(&vars, other.vars);
    changed |= Intersect(&ranges, other.ranges);
    changed |= Intersect(&if_found, other.if_found);
    if (captures && !other.captures) {
      captures = false;
      changed = true;
    }
    return changed;
  }

  static bool Intersect(std::set<std::string>* into,
                        const std::set<std::string>& keep) {
    bool changed = false;
    for (auto it = into->begin(); it != into->end();) {
      if (keep.count(*it) == 0) {
        it = into->erase(it);
        changed = true;
      } else {
        ++it;
      }
    }
    return changed;
  }
};

class Analysis {
 public:
  explicit Analysis(const CompiledProgram& program) : program_(program) {
    for (int32_t i = 1; i <= program.OperCount(); ++i) Collect(program.At(i));
  }

  std::optional<CarriedRead> Run() {
    const int32_t count = program_.OperCount();
    if (count == 0) return std::nullopt;
    std::vector<Assigned> in(static_cast<size_t>(count) + 1);
    Assigned& start = in[1];
    start.reached = true;
    // Set by the file loop before the program runs on a file.
    start.vars = {"*FILE", "*CHANGES", "*POS", "*FILESTRING"};
    start.ranges = {"*FILERANGE"};
    std::deque<int32_t> work{1};
    while (!work.empty()) {
      const int32_t number = work.front();
      work.pop_front();
      const CompiledOper& op = program_.At(number);
      Assigned out = in[static_cast<size_t>(number)];
      Step(op, &out);
      for (const auto& [next, found] : Successors(op)) {
        if (next < 1 || next > count) continue;
        Assigned edge = out;
        if (found) edge.ranges.insert(out.if_found.begin(), out.if_found.end());
        if (in[static_cast<size_t>(next)].Meet(edge)) work.push_back(next);
      }
    }
    // Every read checked against what is known where it happens.
    for (int32_t number = 1; number <= count; ++number) {
      Assigned state = in[static_cast<size_t>(number)];
      if (!state.reached) continue;
      finding_.reset();
      checking_ = true;
      Step(program_.At(number), &state);
      checking_ = false;
      if (finding_) return finding_;
    }
    return std::nullopt;
  }

 private:
  // Every name some operation may store, whether or not it runs on a
  // given file.
  void Collect(const CompiledOper& op) {
    written_vars_.insert("*OPER");
    written_vars_.insert("*N_OPER");
    const std::string_view keyword = op.keyword();
    if (keyword == "set" || keyword == "setc" || keyword == "cat") {
      if (Stores(op)) written_vars_.insert(Key(op.cut.name));
    } else if (keyword == "rep") {
      // Created when missing.
      written_vars_.insert(Key(op.words[1]));
      WrittenRange(op.words[0]);
    } else if (IsSearch(keyword)) {
      written_vars_.insert("*RCF");
      written_vars_.insert("*NCTX");
      for (int w = 1; w < 4; ++w) WrittenRange(op.words[w]);
      any_search_ = true;
    }
    for (const ExpressionPlan* plan : {op.word_plan, op.rest_plan}) {
      for (const PlannedCall& call : plan->calls) {
        written_vars_.insert(Key(call.result.str()));
      }
    }
  }

  void WrittenRange(std::string_view name) {
    const std::string key = Key(name);
    // A capture range made by another command is not removed by the
    // searches of the files after it (they remove by exact prefix).
    if (StartsWith(key, kCaptureKey)) captures_clean_ = false;
    written_ranges_.insert(key);
  }

  static bool IsSearch(std::string_view keyword) {
    return keyword == "find" || keyword == "findnoup" || keyword == "findup";
  }

  // An assignment to a protected system variable is refused.
  static bool Stores(const CompiledOper& op) {
    return op.target_entry == nullptr || op.target_entry->writable;
  }

  // Where the program may continue after op, each with whether the edge is
  // taken only when the condition "*rcf" held.
  std::vector<std::pair<int32_t, bool>> Successors(
      const CompiledOper& op) const {
    const std::string_view keyword = op.keyword();
    const int32_t next = op.number + 1;
    if (op.handler == UnknownCommand) return {};
    const bool on_found = op.words[0] == "*rcf";
    if (keyword == "loop" || keyword == "if") {
      if (op.words[0].empty()) return {{next, false}};
      return {{next, on_found}, {op.jump, false}};
    }
    if (keyword == "lend") return {{next, on_found}, {op.jump, false}};
    if (keyword == "lcont" || keyword == "lexit") return {{op.jump, false}};
    return {{next, false}};
  }

  // Applies the effects of op on what is assigned, checking its reads
  // when checking_.
  void Step(const CompiledOper& op, Assigned* s) {
    // The dispatcher writes *oper before each operation and reads
    // *errloglev, unless nothing ever changes it.
    s->vars.insert("*OPER");
    ReadVar(*s, op, "*errloglev");
    const std::string_view keyword = op.keyword();
    if (keyword == "set") {
      ReadPlan(s, op, *op.rest_plan);
      Store(s, op);
    } else if (keyword == "setc") {
      Store(s, op);
    } else if (keyword == "cat") {
      const std::string list = "," + op.cut.rest + ",";
      for (int32_t i = 1;; ++i) {
        const std::string name = Trimmed(GetWord(list, ",", i));
        if (name.empty()) break;
        ReadVar(*s, op, name);
      }
      Store(s, op);
    } else if (IsSearch(keyword)) {
      ReadVar(*s, op, op.words[0]);
      s->vars.insert("*RCF");
      s->vars.insert("*NCTX");
      s->captures = true;
      s->if_found.clear();
      for (int w = 1; w < 4; ++w) s->if_found.insert(Key(op.words[w]));
    } else if (keyword == "rep") {
      ReadRange(*s, op, op.words[0]);
      ReadVar(*s, op, op.words[1]);
    } else if (keyword == "gback" || keyword == "gforw") {
      if (!op.words[0].empty()) ReadPlan(s, op, *op.word_plan);
    } else if (keyword == "gbeg" || keyword == "gend") {
      ReadRange(*s, op, op.words[0]);
    } else if (keyword == "wlog") {
      if (op.words[0] == "=all=") {
        Found(op, CarriedRead::What::kEveryVariable, "");
      } else if (!op.words[0].empty()) {
        ReadVar(*s, op, "*n_oper");
        ReadVar(*s, op, op.words[0]);
        ReadRange(*s, op, op.words[0]);
      }
    } else if (keyword == "loop" || keyword == "if") {
      if (!op.words[0].empty()) ReadPlan(s, op, *op.word_plan);
    } else if (keyword == "lend") {
      ReadPlan(s, op, *op.word_plan);
    }
    s->vars.insert("*N_OPER");
  }

  void Store(Assigned* s, const CompiledOper& op) {
    if (!Stores(op) || op.cut.name.empty()) return;
    const std::string key = Key(op.cut.name);
    s->vars.insert(key);
    if (key == "*RCF") s->if_found.clear();
    if (op.target_kind == TargetKind::kFileString) {
      s->vars.insert("*POS");
      s->ranges.insert("*FILERANGE");
    }
  }

  // The arguments an evaluation looks up, call by call; each call leaves
  // its result variable.
  void ReadPlan(Assigned* s, const CompiledOper& op,
                const ExpressionPlan& plan) {
    for (const PlannedCall& call : plan.calls) {
      const std::vector<ArgPiece>& pieces = call.args.pieces();
      for (size_t i = 0; i < pieces.size(); ++i) {
        const ArgPiece& piece = pieces[i];
        if (i == 0 && call.row != nullptr && call.row->name == "rgs") {
          // The range named by the argument's value: its text, unless a
          // variable of that name may exist.
          const std::string key = Key(piece.name.str());
          if (piece.literal ||
              (s->vars.count(key) == 0 && written_vars_.count(key) == 0)) {
            ReadRange(*s, op, piece.name.str());
          } else {
            Found(op, CarriedRead::What::kRangeByValue, piece.name.str());
          }
        }
        if (!piece.literal) ReadVar(*s, op, piece.name.str());
      }
      s->vars.insert(Key(call.result.str()));
    }
    if (plan.end == RewriteEnd::kText && !plan.ends_in_last_result) {
      ReadVar(*s, op, plan.text.str());
    }
  }

  void ReadVar(const Assigned& s, const CompiledOper& op,
               std::string_view name) {
    if (!checking_ || finding_ || name.empty()) return;
    const std::string key = Key(name);
    if (s.vars.count(key) != 0) return;
    const bool run_wide = key == "*ALLFILES" || key == "*ALLCHANGES";
    if (run_wide || written_vars_.count(key) != 0) {
      Found(op, CarriedRead::What::kVariable, name);
    }
  }

  void ReadRange(const Assigned& s, const CompiledOper& op,
                 std::string_view name) {
    if (!checking_ || finding_ || name.empty()) return;
    const std::string key = Key(name);
    if (s.ranges.count(key) != 0) return;
    if (StartsWith(key, kCaptureKey) && any_search_) {
      if (s.captures && captures_clean_ && StartsWith(name, kCapturePrefix)) {
        return;
      }
      Found(op, CarriedRead::What::kRange, name);
      return;
    }
    if (written_ranges_.count(key) != 0) {
      Found(op, CarriedRead::What::kRange, name);
    }
  }

  void Found(const CompiledOper& op, CarriedRead::What what,
             std::string_view name) {
    if (!checking_ || finding_) return;
    finding_ = CarriedRead{op.number, what, std::string(name)};
  }

  const CompiledProgram& program_;
  std::set<std::string> written_vars_;
  std::set<std::string> written_ranges_;
  bool any_search_ = false;
  bool captures_clean_ = true;
  bool checking_ = false;
  std::optional<CarriedRead> finding_;
};

}  // namespace

std::optional<CarriedRead> FindCarriedRead(const CompiledProgram& program) {
  return Analysis(program).Run();
}

std::string DescribeCarriedRead(const CarriedRead& read) {
  const std::string oper = "operation " + std::to_string(read.oper);
  switch (read.what) {
    case CarriedRead::What::kVariable:
      return oper + " reads " + read.name + " left by the previous file";
    case CarriedRead::What::kRange:
      return oper + " reads the range " + read.name +
             " left by the previous file";
    case CarriedRead::What::kEveryVariable:
      return oper + " lists every variable, as the previous file left them";
    case CarriedRead::What::kRangeByValue:
      return oper + " reads a range whose name is the value of " + read.name;
  }
  return oper;
}

}  // namespace zarn
