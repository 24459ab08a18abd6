// The names that Windows keeps for devices and pipes, which a path must not
// reach: opening one opens the device, which may wait for input without
// end or change the state of a port, or connects to the pipe's server.

#ifndef SECTIFY_FILES_DEVICE_NAMES_H_
#define SECTIFY_FILES_DEVICE_NAMES_H_

#include <string_view>

namespace sectify {

// Returns whether any part of `path`, a UTF-8 path in Windows form, is a
// device name in a form in which Windows would open the device: each
// folder and file name, and each part before or after a ':' ("COM1:",
// "x\LPT1:a.fxml"), in any case, with or without an extension, trailing
// dots or blanks ("nul .txt", "CON."): CON, PRN, AUX, NUL, CONIN$, CONOUT$,
// and COM or LPT followed by a digit or one of the superscripts ¹ ² ³.
// Paths that reach devices and pipes through their namespaces are
// opens_as_file()'s to refuse.
bool names_windows_device(std::string_view path);

// Returns whether a path that the user typed as `typed`, whose full form
// (what GetFullPathNameW makes of it, which resolves "." and ".." as
// CreateFileW does) is `full`, both UTF-8, is opened as a file on a drive
// or a network share: "X:\...", "\\server\share\..." (but the shares "pipe"
// and "mailslot") and their forms "\\?\X:\..." and "\\?\UNC\server\share\...".
// Every other form reaches something else: a path typed with "\??\", which
// CreateFileW hands to the object manager as it is, "\\.\" before anything,
// "\\?\" before anything but a drive letter or "UNC\" (GLOBALROOT, volume
// devices), pipes and mailslots.
bool opens_as_file(std::string_view typed, std::string_view full);

}  // namespace sectify

#endif  // SECTIFY_FILES_DEVICE_NAMES_H_
