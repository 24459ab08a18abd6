#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

#include "files/interruption.h"

namespace sectify {
namespace {

// The name of the new file while it has one, for the signal handler to
// remove. The string it points into is built before it is published.
std::atomic<const char*> name_to_remove{nullptr};
static_assert(std::atomic<const char*>::is_always_lock_free);

// The signals whose default action ends a process and that come from
// outside it: not the faults of the program itself, nor SIGPIPE and
// SIGXFSZ, which it ignores, nor SIGKILL and SIGSTOP, which no process can
// handle.
constexpr int kEndingSignals[] = {
    SIGINT,  SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU,
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
};

// The ones of kEndingSignals that the handler takes: all that were not
// ignored at start-up. Set once, before any of them is handled.
sigset_t handled;

extern "C" void remove_and_end(int signal_number) {
  // Only what is safe in a signal handler: unlink, signal and raise. The
  // signal is held until the handler returns, then ends the process with
  // its default action, as the shell expects.
  const char* name = name_to_remove.load();
  if (name != nullptr) ::unlink(name);
  std::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

}  // namespace

void prepare_for_interruption() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  sigemptyset(&handled);
  for (const int s : kEndingSignals) {
    struct sigaction old {};
    if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) sigaddset(&handled, s);
  }
  struct sigaction action {};
  action.sa_handler = remove_and_end;
  // One handler at a time: a second signal waits until the first has ended
  // the process.
  action.sa_mask = handled;
  for (const int s : kEndingSignals) {
    if (sigismember(&handled, s) == 1) ::sigaction(s, &action, nullptr);
  }
}

void remove_on_interruption(const char* name) { name_to_remove.store(name); }

void hold_interruptions() { ::sigprocmask(SIG_BLOCK, &handled, nullptr); }

void release_interruptions() { ::sigprocmask(SIG_UNBLOCK, &handled, nullptr); }

}  // namespace sectify
