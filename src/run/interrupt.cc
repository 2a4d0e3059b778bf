#include "run/interrupt.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>

namespace zarn {

namespace {

// Lock-free, so that the handler may write it.
std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void OnSignal(int sig) {
  if (g_signal.load(std::memory_order_relaxed) != 0) {
    // The second signal: what it would have done without a handler. It is
    // held back until this handler returns, then ends the process.
    ::signal(sig, SIG_DFL);
    ::raise(sig);
    return;
  }
  g_signal.store(sig, std::memory_order_relaxed);
}

sigset_t Signals() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kSignals) sigaddset(&set, s);
  return set;
}

}  // namespace

void InstallInterruptHandlers() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  // One handler at a time, and system calls that a signal interrupts go
  // on: reads and writes are never cut short by the first signal.
  action.sa_mask = Signals();
  action.sa_flags = SA_RESTART;
  for (int s : kSignals) ::sigaction(s, &action, nullptr);
}

int InterruptSignal() { return g_signal.load(std::memory_order_relaxed); }

const std::atomic<int>& InterruptNote() { return g_signal; }

void DeferInterrupts() {
  const sigset_t set = Signals();
  ::sigprocmask(SIG_BLOCK, &set, nullptr);
}

void AllowInterrupts() {
  const sigset_t set = Signals();
  ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

void KeepInterruptsFromThisThread() {
  const sigset_t set = Signals();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

const char* SignalName(int sig) {
  switch (sig) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "?";
  }
}

}  // namespace zarn
