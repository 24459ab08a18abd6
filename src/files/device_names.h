// The names that Windows keeps for devices, which a path must not reach:
// opening one opens the device, which may wait for input without end or
// change the state of a port.

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
bool names_windows_device(std::string_view path);

}  // namespace sectify

#endif  // SECTIFY_FILES_DEVICE_NAMES_H_
