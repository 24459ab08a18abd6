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
// Also whether it reaches anything but a file through the prefixes "\\.\"
// and "\\?\" (with either separator): all but a path on a drive letter
// ("\\?\C:\..."), a volume ("\\?\Volume{...}\...") or a network share
// ("\\?\UNC\server\share\..."); and whether it is a server's pipe
// ("\\server\pipe\...").
bool names_windows_device(std::string_view path);

}  // namespace sectify

#endif  // SECTIFY_FILES_DEVICE_NAMES_H_
