#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>

#include "files/interruption.h"

namespace sectify {
namespace {

// The name of the new file while it has one, for the console handler, which
// runs on a thread of its own, to remove. The string it points into is
// complete before it is published.
std::atomic<const wchar_t*> name_to_remove{nullptr};

// The handler and the rename exclude each other: the handler removes the
// new file and ends the process only while interruptions are not held,
// holding the lock until the process has ended; one that comes while they
// are held is kept for release_interruptions().
SRWLOCK lock = SRWLOCK_INIT;
bool held = false;     // guarded by `lock`
bool pending = false;  // guarded by `lock`

// How a console program ends when Ctrl+C interrupts it.
constexpr UINT kInterrupted = 0xC000013A;

// Removes the new file and ends the process as interrupted. Call with
// `lock` held.
[[noreturn]] void remove_and_exit() {
  // A new file still open is marked to go when it closes, which ending the
  // process does; one already closed goes here.
  const wchar_t* name = name_to_remove.load();
  if (name != nullptr) DeleteFileW(name);
  ExitProcess(kInterrupted);
}

BOOL WINAPI remove_and_end(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  AcquireSRWLockExclusive(&lock);
  if (!held) remove_and_exit();
  pending = true;
  ReleaseSRWLockExclusive(&lock);
  // The run ends by itself, or in release_interruptions(). A closed
  // console ends the process as soon as the handler returns, so the
  // handler waits for the run instead.
  if (event == CTRL_CLOSE_EVENT) Sleep(INFINITE);
  return TRUE;
}

}  // namespace

void prepare_for_interruption() {
  // Writes that fail come back as errors on Windows anyway.
  SetConsoleCtrlHandler(remove_and_end, TRUE);
}

void remove_on_interruption(file_access::NativeHandle, const wchar_t* name) {
  name_to_remove.store(name);
}

void hold_interruptions() {
  AcquireSRWLockExclusive(&lock);
  held = true;
  ReleaseSRWLockExclusive(&lock);
}

void release_interruptions() {
  AcquireSRWLockExclusive(&lock);
  held = false;
  if (pending) remove_and_exit();
  ReleaseSRWLockExclusive(&lock);
}

}  // namespace sectify
