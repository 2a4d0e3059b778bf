#include "program/checker.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>
#include <utility>

#include "program/structure_check.h"
#include "support/text.h"

namespace zarn {

namespace {

// The characters of a function name, as the evaluator reads them.
bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         (c >= '0' && c <= '9') || c == '_';
}

std::string Quoted(std::string_view text) {
  return "'" + std::string(text) + "'";
}

// Word n (from 1) of a parameter cut as a word list, trimmed.
std::string Word(std::string_view parm, int32_t n) {
  return Trimmed(GetWord("," + std::string(parm) + ",", ",", n));
}

// The parts of name-and-rest cutting (set, setc, cat).
std::string NameOf(std::string_view parm) { return Trimmed(LeftOf(parm, ",")); }
std::string RestOf(std::string_view parm) {
  return Trimmed(RightOf(parm, ","));
}

// Whether the parentheses of an expression pair up.
bool Balanced(std::string_view expr) {
  int64_t depth = 0;
  for (char c : expr) {
    if (c == '(') ++depth;
    if (c == ')' && --depth < 0) return false;
  }
  return depth == 0;
}

// One operation with its command and parameter cut as the dispatcher cuts
// them (the structure check may have stopped before it).
struct Line {
  const Oper* op;
  std::string command;
  std::string parm;
};

// How a string variable gets its value in the program.
struct Assignments {
  std::vector<size_t> setc;  // the setc lines (indices) that assign it
  bool otherwise = false;    // set or cat assign it too
};

// A place where a variable's value is used as a pattern.
struct PatternUse {
  size_t line;  // index of the using line
  RegexOptions options;
};

class ProgramChecker {
 public:
  ProgramChecker(const std::vector<Oper>& opers, const Vocabulary& vocabulary,
                 RegularExpressions& regex)
      : opers_(opers), vocabulary_(vocabulary), regex_(regex) {
    for (const Oper& op : opers) {
      Oper cut = op;
      CutOperation(cut);
      lines_.push_back(Line{&op, cut.command, cut.parm});
    }
  }

  std::vector<Finding> Run(bool structure_ok) {
    CollectAssignments();
    for (size_t i = 0; i < lines_.size(); ++i) CheckLine(i);
    CheckPatterns();
    if (structure_ok) {
      CheckIfs();
      CheckLoops();
    }
    std::stable_sort(
        findings_.begin(), findings_.end(),
        [](const Finding& a, const Finding& b) { return a.line < b.line; });
    return std::move(findings_);
  }

 private:
  void Add(size_t i, Severity severity, std::string message) {
    findings_.push_back(Finding{lines_[i].op->line_number, lines_[i].op->line,
                                severity, std::move(message)});
  }

  // The evaluated expression of a line, or empty (with *has one false).
  std::string ExpressionOf(const Line& line, bool* has) const {
    *has = true;
    const std::string& c = line.command;
    if (c == "set") return RestOf(line.parm);
    if (c == "gback" || c == "gforw" || c == "loop" || c == "lend" ||
        c == "if") {
      return Word(line.parm, 1);
    }
    *has = false;
    return std::string();
  }

  static bool IsCondition(const std::string& command) {
    return command == "loop" || command == "lend" || command == "if";
  }

  // A name is a variable of the program when something assigns it, or when
  // it is a system variable.
  bool IsVariable(const std::string& name) const {
    return (!name.empty() && name[0] == '*') || assigned_.count(name) > 0;
  }

  void CollectAssignments() {
    for (size_t i = 0; i < lines_.size(); ++i) {
      const Line& line = lines_[i];
      const std::string& c = line.command;
      if (c == "setc" || c == "set" || c == "cat") {
        const std::string name = NameOf(line.parm);
        if (name.empty()) continue;
        Assignments& a = assigned_[name];
        if (c == "setc") {
          a.setc.push_back(i);
        } else {
          a.otherwise = true;
        }
      }
    }
    for (size_t i = 0; i < lines_.size(); ++i) {
      const Line& line = lines_[i];
      const std::string& c = line.command;
      if (c == "find" || c == "findnoup" || c == "findup") {
        const std::string name = Word(line.parm, 1);
        if (name.empty()) continue;
        pattern_uses_[name].push_back(
            PatternUse{i, RegexOptions{.ignore_case = c != "findup",
                                       .utf = regex_.search_utf()}});
        if (!IsVariable(name)) {
          Add(i, Severity::kWarning,
              "the pattern variable " + Quoted(name) +
                  " is assigned nowhere in the program: the search uses "
                  "an empty pattern, which matches at once");
        }
      }
      bool has = false;
      const std::string expr = ExpressionOf(line, &has);
      if (has) CollectRrPatterns(i, expr);
    }
  }

  // The pattern arguments of the rr calls of an expression: a variable is
  // checked where setc assigns it, a literal here.
  void CollectRrPatterns(size_t i, std::string_view expr) {
    const RegexOptions kValue = {.ignore_case = true,
                                 .multiline = true,
                                 .crlf_line_ends_only = true,
                                 .utf = regex_.search_utf()};
    for (size_t at = expr.find('('); at != std::string_view::npos;
         at = expr.find('(', at + 1)) {
      size_t start = at;
      while (start > 0 && IsNameChar(expr[start - 1])) --start;
      if (AsciiLower(expr.substr(start, at - start)) != "rr") continue;
      // The second argument at the call's own level.
      int depth = 0;
      size_t arg = 1;
      size_t from = at + 1;
      std::string pattern;
      bool found = false;
      for (size_t k = at + 1; k < expr.size() && depth >= 0; ++k) {
        const char c = expr[k];
        if (c == '(') ++depth;
        if (c == ')') --depth;
        if ((c == ',' && depth == 0) || depth < 0) {
          if (arg == 2) {
            pattern = Trimmed(expr.substr(from, k - from));
            found = true;
            break;
          }
          ++arg;
          from = k + 1;
        }
      }
      if (!found || pattern.empty()) continue;
      if (IsVariable(pattern)) {
        pattern_uses_[pattern].push_back(PatternUse{i, kValue});
      } else if (pattern.find_first_of("()") == std::string::npos) {
        CheckPattern(i, pattern, kValue, "");
      }
    }
  }

  void CheckPattern(size_t i, const std::string& pattern, RegexOptions options,
                    const std::string& used_at) {
    if (!checked_.insert({i, pattern, options.ignore_case, options.multiline})
             .second) {
      return;
    }
    std::string error;
    if (regex_.CheckPattern(pattern, options, &error)) return;
    Add(i, Severity::kError,
        "the pattern " + Quoted(pattern) + " does not compile (" + error + ")" +
            used_at);
  }

  void CheckLine(size_t i) {
    const Line& line = lines_[i];
    const std::string& c = line.command;
    if (!vocabulary_.is_command(c)) {
      Add(i, Severity::kError, "unknown command " + Quoted(c));
      return;
    }
    if (c == "setc") CheckSetc(i);
    bool has = false;
    const std::string expr = ExpressionOf(line, &has);
    if (!has) return;
    if (IsCondition(c) && line.parm.find(',') != std::string::npos) {
      if (!Balanced(expr)) {
        Add(i, Severity::kError,
            "the condition holds a comma, and only its first word " +
                Quoted(expr) +
                " counts, which is no complete expression (it is never "
                "true); compute the condition into a variable first (set "
                "c,EXPRESSION) and write " +
                c + " c");
        return;
      }
      Add(i, Severity::kWarning,
          "only the first word " + Quoted(expr) +
              " of the condition counts; what follows the comma is ignored");
    }
    CheckExpression(i, expr);
  }

  // What the evaluator would refuse in an expression: a name before "("
  // that is no function, a "(" after no name, unbalanced parentheses.
  void CheckExpression(size_t i, std::string_view expr) {
    std::set<std::string> reported;
    bool stray = false;
    for (size_t at = expr.find('('); at != std::string_view::npos;
         at = expr.find('(', at + 1)) {
      size_t start = at;
      while (start > 0 && IsNameChar(expr[start - 1])) --start;
      if (start == at) {
        stray = true;
        continue;
      }
      const std::string name(expr.substr(start, at - start));
      if (vocabulary_.is_function(AsciiLower(name))) continue;
      if (reported.insert(name).second) {
        Add(i, Severity::kError, "unknown function " + Quoted(name));
      }
    }
    if (!Balanced(expr)) {
      Add(i, Severity::kError,
          "unbalanced parentheses in " + Quoted(expr) +
              " (a text with parentheses or commas comes from a variable, "
              "such as *lb, *rb and *comma)");
    } else if (stray) {
      Add(i, Severity::kError,
          "a parenthesis in " + Quoted(expr) +
              " follows no function name (a blank before it, or text that "
              "belongs in a variable)");
    }
  }

  // setc assigns the first word of its value only.
  void CheckSetc(size_t i) {
    const Line& line = lines_[i];
    const std::string rest = "," + RestOf(line.parm) + ",";
    if (Trimmed(GetWord(rest, ",", 2)).empty()) return;
    const std::string literal = GetWord(rest, ",", 1);
    const std::string name = NameOf(line.parm);
    if (pattern_uses_.count(name) > 0) {
      Add(i, Severity::kError,
          "the pattern is cut at its comma: setc assigns only " +
              Quoted(literal) +
              "; build a pattern with a comma with cs and *comma");
    } else {
      Add(i, Severity::kWarning,
          "setc assigns only " + Quoted(literal) +
              "; what follows the comma is ignored");
    }
  }

  // Patterns whose text is known before the run: variables assigned by
  // setc alone, compiled as each search or rr uses them.
  void CheckPatterns() {
    for (const auto& [name, uses] : pattern_uses_) {
      auto found = assigned_.find(name);
      if (found == assigned_.end() || found->second.otherwise) continue;
      for (const PatternUse& use : uses) {
        for (size_t setc : found->second.setc) {
          const std::string literal =
              GetWord("," + RestOf(lines_[setc].parm) + ",", ",", 1);
          CheckPattern(setc, literal, use.options,
                       ", used at line " +
                           std::to_string(lines_[use.line].op->line_number));
        }
      }
    }
  }

  // The else of the if at index i, if it has one.
  bool HasElse(size_t i) const {
    const int32_t number = static_cast<int32_t>(i) + 1;
    for (size_t k = i + 1; k < opers_.size(); ++k) {
      if (opers_[k].command == "else" && opers_[k].blockop == number) {
        return true;
      }
    }
    return false;
  }

  void CheckIfs() {
    for (size_t i = 0; i < opers_.size(); ++i) {
      if (opers_[i].command != "if" || HasElse(i)) continue;
      Add(i, Severity::kWarning,
          "if without else: when its condition is false the program ends "
          "for the file (the operations after endif are skipped too); add "
          "an empty else before endif to go on");
    }
  }

  // A condition that can never be exactly "1": none at all, a literal
  // other than 1, or a first word cut from a longer expression.
  bool NeverTrue(const std::string& cond) const {
    if (cond.empty()) return true;
    if (!Balanced(cond)) return true;
    if (cond.find('(') != std::string::npos || IsVariable(cond)) return false;
    return cond != "1";
  }

  // Whether an operation between the loop at index l and its lend at
  // index e can end the loop other than through the conditions: a lexit
  // that leaves it, or an if without else that ends the program.
  bool CanLeave(size_t l, size_t e) const {
    for (size_t k = l + 1; k < e; ++k) {
      const Oper& op = opers_[k];
      if (op.command == "lexit" && op.nparm > 0 &&
          op.looplevel - op.nparm <= opers_[l].looplevel) {
        return true;
      }
      if (op.command == "if" && !HasElse(k)) return true;
    }
    return false;
  }

  void CheckLoops() {
    for (size_t e = 0; e < opers_.size(); ++e) {
      if (opers_[e].command != "lend" || opers_[e].blockop < 1) continue;
      const size_t l = static_cast<size_t>(opers_[e].blockop) - 1;
      const std::string head = Word(opers_[l].parm, 1);
      const std::string end = Word(opers_[e].parm, 1);
      if ((head.empty() || head == "1") && NeverTrue(end) && !CanLeave(l, e)) {
        Add(e, Severity::kError,
            "the loop of line " + std::to_string(opers_[l].line_number) +
                " never ends: this lend's condition can never be 1, the "
                "loop's own is always 1, and no lexit or if without else "
                "leaves it");
      }
    }
  }

  const std::vector<Oper>& opers_;
  const Vocabulary& vocabulary_;
  RegularExpressions& regex_;
  std::vector<Line> lines_;
  std::map<std::string, Assignments> assigned_;
  std::map<std::string, std::vector<PatternUse>> pattern_uses_;
  std::set<std::tuple<size_t, std::string, bool, bool>> checked_;
  std::vector<Finding> findings_;
};

}  // namespace

std::vector<Finding> CheckProgram(const std::vector<Oper>& opers,
                                  bool structure_ok,
                                  const Vocabulary& vocabulary,
                                  RegularExpressions& regex) {
  return ProgramChecker(opers, vocabulary, regex).Run(structure_ok);
}

}  // namespace zarn
