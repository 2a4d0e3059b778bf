#include "run/interrupt.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>

namespace zarn {

namespace {

// Lock-free, so that the handler may write them. Only the thread of the
// file loop receives the signals (the workers keep them away), so the
// handler and that thread never run at once: the handler only interrupts it.
std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);
// Set while a file's commit holds the signals back; then a second signal is
// kept in g_held instead of ending the process, until AllowInterrupts.
std::atomic<bool> g_deferred{false};
std::atomic<int> g_held{0};
static_assert(std::atomic<bool>::is_always_lock_free);

// What the signal would have done without a handler: it is held back until
// the handler (or the caller) returns, then ends the process.
void EndBySignal(int sig) {
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void OnSignal(int sig) {
  if (g_signal.load(std::memory_order_relaxed) != 0) {
    // The second signal ends the process, once the commit in hand is
    // logged.
    if (g_deferred.load(std::memory_order_relaxed)) {
      g_held.store(sig, std::memory_order_relaxed);
    } else {
      EndBySignal(sig);
    }
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

// Without a system call: a file's commit is held together by a flag the
// handler reads, which costs nothing per file. The fences keep the compiler
// from moving the flag's writes across the work they guard.
void DeferInterrupts() {
  g_deferred.store(true, std::memory_order_relaxed);
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

void AllowInterrupts() {
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_deferred.store(false, std::memory_order_relaxed);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  if (const int sig = g_held.exchange(0, std::memory_order_relaxed)) {
    EndBySignal(sig);
  }
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
