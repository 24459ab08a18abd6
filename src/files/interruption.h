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
// by the same signal (POSIX) or with status 0xC000013A (Windows). A signal
// ignored at start-up, as in a job started in the background, stays
// ignored. Also makes a write past the file size limit or to a closed pipe
// fail as an error instead of ending the process. Call once, at start-up.
void prepare_for_interruption();

// Names the file that an interruption removes, or none for nullptr. The
// name must stay valid until it is replaced.
void remove_on_interruption(const file_access::NativePath::value_type* name);

// Holds off interruptions from now until the process ends: an
// interruption that arrives meanwhile neither removes anything nor ends
// the run. Once it returns, no interruption is removing a file.
void hold_interruptions();

// Lets interruptions through again after hold_interruptions(), as when the
// output could not take its new name after all: one that arrived while
// they were held now ends the run.
void release_interruptions();

}  // namespace sectify

#endif  // SECTIFY_FILES_INTERRUPTION_H_
