// Whether the program ends by waiting for a key, so that a console window
// opened for it alone does not close before its messages can be read.

#ifndef SECTIFY_CONSOLE_CONSOLE_WINDOW_H_
#define SECTIFY_CONSOLE_CONSOLE_WINDOW_H_

#include "console/console.h"

namespace sectify::console {

// Returns whether a run with the console `console` ends by waiting for a
// key: only where someone can answer, where the program is the one process
// on a console whose window is visible, on the interactive window
// station, as when Explorer opens a window for it (a double-click, a drop,
// the right-click menu, Send to), and both its standard input and output
// are that console. Never in a console that other processes share (cmd,
// PowerShell, Windows Terminal, a script), with either stream redirected,
// without a console or a visible window (CREATE_NO_WINDOW, a hidden
// window, a scheduled task, a service, POSIX systems), so that no
// automated run waits.
inline bool waits_for_key(const ConsoleFacts& console) {
  return console.processes == 1 && console.input_is_console && console.output_is_console &&
         console.window_visible && console.interactive;
}

}  // namespace sectify::console

#endif  // SECTIFY_CONSOLE_CONSOLE_WINDOW_H_
