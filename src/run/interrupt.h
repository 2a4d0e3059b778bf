// SIGINT, SIGTERM and SIGHUP during a run.
//
// The first of them does not end the process: its handler only notes the
// signal, and the file loop, which looks at the note between files and
// between operations, abandons the file in hand (its original untouched),
// logs where the run stopped and writes the summary. A second one ends the
// process at once, as the signal would without a handler.
//
// A signal is a matter of the whole process, so the note is the one piece
// of global state of the run layer. Not for use from several threads.
#ifndef ZARN_RUN_INTERRUPT_H_
#define ZARN_RUN_INTERRUPT_H_

#include <atomic>

namespace zarn {

// Installs the handlers; from then on the three signals are noted.
void InstallInterruptHandlers();

// The signal noted (SIGINT, SIGTERM or SIGHUP), or 0.
int InterruptSignal();
// The note itself, for a machine to look at between operations.
const std::atomic<int>& InterruptNote();

// Holds the second signal back from the moment a changed file is about to
// be renamed over its original until its "File done" line is in the log,
// so that no signal ends the process between the two (the first one is
// noted as always, and the file loop stops before the next file).
void DeferInterrupts();
// Lets it through again; a second signal that came meanwhile ends the
// process now.
void AllowInterrupts();
// Keeps the signals away from the calling thread for good (a worker's), so
// that they all reach the thread of the file loop, which defers them.
void KeepInterruptsFromThisThread();

// "SIGTERM" for SIGTERM, and so on for the three signals.
const char* SignalName(int sig);

}  // namespace zarn

#endif  // ZARN_RUN_INTERRUPT_H_
