#include <array>

#include "eval/functions.h"

namespace zarn {

namespace {

// In the order of comparison; the names are distinct, so the order never
// changes a result.
constexpr std::array<FunctionRow, 26> kFunctions = {{
    {"ifs", Ifs, nullptr, IfsChoice},                     // functions_logic.cc
    {"ifn", Ifn, nullptr, IfnChoice, IfnOfKnownNumbers},  // functions_logic.cc
    {"sr", Sr},                                           // functions_text.cc
    {"len", Len},                                         // functions_text.cc
    {"mid", Mid},                                         // functions_text.cc
    {"pos", Pos},                                         // functions_text.cc
    {"gw", Gw},                                           // functions_word.cc
    {"rev", Rev},                                         // functions_text.cc
    {"lc", Lc},                                           // functions_text.cc
    {"uc", Uc},                                           // functions_text.cc
    // functions_arith.cc, with both whole-number shortcuts
    {"sum", Sum, SumOfIntegers, nullptr, SumOfKnownNumbers},
    {"mul", Mul},    // functions_arith.cc
    {"div", Div},    // functions_arith.cc
    {"ovl", Ovl},    // functions_word.cc
    {"fill", Fill},  // functions_word.cc
    {"cs", Cs},      // functions_text.cc
    {"gh", Gh},      // functions_word.cc
    {"gt", Gt},      // functions_word.cc
    {"cop", Cop},    // functions_word.cc
    {"chr", Chr},    // functions_word.cc
    {"and", And},    // functions_logic.cc
    {"or", Or},      // functions_logic.cc
    {"not", Not},    // functions_logic.cc
    {"v", V},        // functions_text.cc
    {"rgs", Rgs},    // functions_word.cc
    {"rr", Rr},      // functions_regex.cc
}};

}  // namespace

std::span<const FunctionRow> FunctionTable() { return kFunctions; }

const FunctionRow* FindFunction(std::string_view lower_name) {
  for (const FunctionRow& row : kFunctions) {
    if (row.name == lower_name) return &row;
  }
  return nullptr;
}

}  // namespace zarn
