#include "commands/machine.h"

#include <algorithm>
#include <limits>

#include "commands/compiled_program.h"
#include "support/number.h"

namespace zarn {

void Machine::Use(const CompiledProgram& compiled) {
  program_ = &compiled;
  eval.keep_results = compiled.funr_observable();
  eval.env.regex = &regex;
}

void Machine::SetEncoding(TextEncoding encoding) {
  StrVars.file_text().SetEncoding(encoding);
  regex.set_search_encoding(encoding);
  eval.env.utf8 = encoding == TextEncoding::kUtf8;
}

int32_t IntVar(const Machine& m, std::string_view name) {
  return ToInt32(m.StrVars.ValueOrEmpty(name));
}

int32_t IntVarText(const Machine& m, const VarName& name) {
  if (std::optional<int64_t> n = m.StrVars.Number(name)) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(*n, std::numeric_limits<int32_t>::min(),
                            std::numeric_limits<int32_t>::max()));
  }
  return ToInt32(m.StrVars.ValueOrEmpty(name));
}

}  // namespace zarn
