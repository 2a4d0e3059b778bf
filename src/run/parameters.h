// The parameter file: reading and checking every setting at start-up, and
// the parameter listing written to the log when a run stops on an error.
#ifndef ZARN_RUN_PARAMETERS_H_
#define ZARN_RUN_PARAMETERS_H_

#include <cstdint>
#include <string>

#include "commands/run_state.h"

namespace zarn {

// Reads and checks the parameter file st.ParmFile; on the first failing
// setting FinalMsg holds the report.
void CheckParameters(RunState& st);

// Writes the settings as stored, one log line each.
void WriteParmListing(RunState& st, const std::string& logfile,
                      int32_t* status);

}  // namespace zarn

#endif  // ZARN_RUN_PARAMETERS_H_
