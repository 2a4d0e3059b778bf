// The expression evaluator: nested calls of the built-in functions are
// evaluated innermost first, each result stored in a result variable
// *funr1, *funr2, ... and the call replaced by that variable's name.
#ifndef ZARN_EVAL_EVALUATOR_H_
#define ZARN_EVAL_EVALUATOR_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "variables/range_vars.h"
#include "variables/str_vars.h"

namespace zarn {

// What an evaluation reads and writes: the two variable stores and the
// counter of result variables. The evaluator knows nothing else of the run.
struct EvalContext {
  StrVarStore& str_vars;
  RangeVarStore& range_vars;
  int32_t& FunrCount;
};

// The result text of an expression; an error is a text beginning with
// "*** ERROR.".
std::string Evaluate(std::string_view expression, EvalContext& ctx);

}  // namespace zarn

#endif  // ZARN_EVAL_EVALUATOR_H_
