// What the user reads and answers: the program's arguments, its messages on
// standard output and standard error, and the console window that may be
// its own. Each call has a POSIX and a Windows version; texts are UTF-8 on
// Windows and bytes as they are elsewhere.

#ifndef SECTIFY_CONSOLE_CONSOLE_H_
#define SECTIFY_CONSOLE_CONSOLE_H_

#include <string>
#include <string_view>
#include <vector>

namespace sectify::console {

// A character of the program's own arguments: UTF-16 on Windows (wmain).
#ifdef _WIN32
using NativeChar = wchar_t;
#else
using NativeChar = char;
#endif

// Returns the program's arguments, its own name left out: turned from
// UTF-16 into UTF-8 on Windows, the bytes as they are elsewhere.
std::vector<std::string> arguments_of(int argc, NativeChar** argv);

enum class Stream { output, error };

// Writes `text` to standard output or standard error, and flushes it, so
// that the messages keep their order whatever the two streams are. On a
// Windows console it goes as UTF-16, each LF as CR LF, so that every name
// shows as typed whatever the console's code page; anywhere else as its
// bytes. Returns false, with the system's last error telling why, if the
// system reports it lost; a Windows process started without the stream at
// all has no one to tell, which is no loss.
bool write_message(Stream stream, std::string_view text);

// What a Windows program knows of its console: how many processes are
// attached to it, whether its standard input and output are it, whether
// it has a window that is visible (none under CREATE_NO_WINDOW), and
// whether the program runs on the interactive window station, where a user
// can see it (a service's or a task's has none). All zero and false
// without a console, and on POSIX systems.
struct ConsoleFacts {
  unsigned long processes = 0;
  bool input_is_console = false;
  bool output_is_console = false;
  bool window_visible = false;
  bool interactive = false;
};

// Returns the facts of the program's console.
ConsoleFacts console_facts();

// Waits until a key is pressed on the console; returns at once if there is
// none to wait on.
void wait_for_key();

}  // namespace sectify::console

#endif  // SECTIFY_CONSOLE_CONSOLE_H_
