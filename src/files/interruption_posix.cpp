#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstring>

#include "files/interruption.h"

namespace sectify {
namespace {

// The new file while it has a name, for the signal handler to remove: the
// folder's descriptor and the name in it. The string is built before it is
// published.
std::atomic<int> folder_to_remove_in{AT_FDCWD};
std::atomic<const char*> name_to_remove{nullptr};
static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<const char*>::is_always_lock_free);

// The signals whose default action ends a process, but for SIGPIPE and
// SIGXFSZ, which the program ignores, and SIGKILL and SIGSTOP, which no
// process can handle. The last seven also come from faults of the program
// itself, which is_own_fault() tells apart (an abort() of its own counts
// as sent: it leaves the program in order).
constexpr int kEndingSignals[] = {
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
    SIGINT,    SIGTERM, SIGHUP,  SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF,
    SIGXCPU,   SIGABRT, SIGSEGV, SIGSYS,  SIGTRAP, SIGBUS,  SIGFPE,  SIGILL};

// Whether `signal_number`, with the code `code` from its siginfo_t, reports
// a fault of the program itself rather than a signal another process sent
// (whose code is SI_USER, SI_QUEUE or SI_TKILL, none above 0).
bool is_own_fault(int signal_number, int code) {
  switch (signal_number) {
    case SIGSEGV:
    case SIGBUS:
    case SIGFPE:
    case SIGILL:
    case SIGTRAP:
    case SIGSYS:
      return code > 0;
    default:
      return false;
  }
}

// The signals that the handler takes: those of for_each_ending_signal()
// that were not ignored at start-up. Set once, before any of them is
// handled.
sigset_t handled;

// The signal mask before hold_interruptions(), for release_interruptions().
sigset_t before_hold;

extern "C" void remove_and_end(int signal_number, siginfo_t* info, void*) {
  // Only what is safe in a signal handler: unlinkat, signal and raise. A
  // fault of the program's own removes nothing: the program is not in a
  // state to be trusted. The signal is held until the handler returns,
  // then ends the process with its default action, as the shell expects.
  const char* name = name_to_remove.load();
  if (name != nullptr && !is_own_fault(signal_number, info->si_code)) {
    ::unlinkat(folder_to_remove_in.load(), name, 0);
  }
  std::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

// Calls `f` with each of kEndingSignals and each real-time signal.
template <typename F>
void for_each_ending_signal(F f) {
  for (const int s : kEndingSignals) f(s);
#ifdef SIGRTMIN
  for (int s = SIGRTMIN; s <= SIGRTMAX; ++s) f(s);
#endif
}

}  // namespace

void prepare_for_interruption() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  sigemptyset(&handled);
  for_each_ending_signal([](int s) {
    struct sigaction old {};
    if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) sigaddset(&handled, s);
  });
  struct sigaction action {};
  action.sa_sigaction = remove_and_end;
  action.sa_flags = SA_SIGINFO;
  // One handler at a time: a second signal waits until the first has ended
  // the process.
  action.sa_mask = handled;
  for_each_ending_signal([&action](int s) {
    if (sigismember(&handled, s) == 1) ::sigaction(s, &action, nullptr);
  });
}

void remove_on_interruption(file_access::NativeHandle folder, const char* name) {
  if (name != nullptr) folder_to_remove_in.store(static_cast<int>(folder));
  name_to_remove.store(name);
}

namespace {

// Sets the signal mask to `mask`, and, for the rest of the run, blocks the
// two signals below SIGRTMIN that glibc keeps for its threads (32 and 33),
// whose default action ends the process too and which glibc's sigprocmask
// leaves out of every mask it sets (and so unblocks). Asked of the kernel
// directly, since the program has no threads that need them.
void set_mask_with_reserved_blocked(const sigset_t& mask) {
#if defined(__linux__) && defined(SYS_rt_sigprocmask)
  // The kernel's mask is the first 64 bits of glibc's: bit N - 1 for
  // signal N.
  std::uint64_t bits = 0;
  std::memcpy(&bits, &mask, sizeof bits);
  bits |= std::uint64_t{3} << 31;
  ::syscall(SYS_rt_sigprocmask, SIG_SETMASK, &bits, nullptr, sizeof bits);
#else
  ::sigprocmask(SIG_SETMASK, &mask, nullptr);
#endif
}

}  // namespace

void hold_interruptions() {
  sigset_t all;
  sigfillset(&all);
  ::sigprocmask(SIG_BLOCK, nullptr, &before_hold);
  // The first hold comes as the new file takes a name: from then on 32 and
  // 33 stay blocked too, so that no signal leaves a named new file behind
  // or makes the run's status hide a new output.
  set_mask_with_reserved_blocked(all);
}

void release_interruptions() { set_mask_with_reserved_blocked(before_hold); }

}  // namespace sectify
