// What interrupts a run: the signals (POSIX) or console events (Windows)
// that end a process. Until the new output file starts taking the output's
// name, an interruption removes the new file and ends the run; from then
// on it waits until the run has ended by itself.

#ifndef SECTIFY_FILES_INTERRUPTION_H_
#define SECTIFY_FILES_INTERRUPTION_H_

#include "files/file_access.h"

namespace sectify {

// Prepares the process for interruptions: each removes the file named by
// remove_on_interruption(), if any, and ends the process as interrupted,
// by the same signal (POSIX) or with status 0xC000013A (Windows). On POSIX
// systems that is every signal whose default action ends a process: those
// of faults (SIGSEGV, SIGBUS, ...) only when another process sends them,
// as a fault of the program's own keeps its default action. A signal
// ignored at start-up, as in a job started in the background, stays
// ignored. Also makes a write past the file size limit or to a closed pipe
// fail as an error instead of ending the process. Call once, at start-up.
void prepare_for_interruption();

// Names the file that an interruption removes, or none for nullptr: the
// entry `name` of the open folder `folder` on POSIX systems; on Windows
// `name` is a full path and `folder` is not used. The name must stay valid
// until it is replaced.
void remove_on_interruption(file_access::NativeHandle folder,
                            const file_access::NativePath::value_type* name);

// Holds off interruptions until release_interruptions() or the end of the
// process: one that arrives meanwhile neither removes anything nor ends
// the run yet. On POSIX systems every signal that can be blocked is. Once
// it returns, no interruption is removing a file.
void hold_interruptions();

// Lets interruptions through again after hold_interruptions(): one that
// arrived while they were held now ends the run.
void release_interruptions();

}  // namespace sectify

#endif  // SECTIFY_FILES_INTERRUPTION_H_
