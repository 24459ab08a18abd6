// A Windows program that the command-line tests run beside Sectify under
// wine, for what only another Windows process can do:
//   windows_helper hold FILE MILLISECONDS   opens FILE sharing nothing, says
//                                           "held" on standard output, keeps
//                                           it open that long, then closes it
//   windows_helper detached PROGRAM ARG...  runs PROGRAM with no console and
//                                           no standard handles, and ends
//                                           with its exit status
//   windows_helper nowindow PROGRAM ARG...  the same with a console of its own
//                                           that has no window
//                                           (CREATE_NO_WINDOW), and
//   windows_helper hidden PROGRAM ARG...    with one whose window is hidden;
//                                           each ends with 3 if PROGRAM is
//                                           still running after 20 s
//   windows_helper explorer COMMAND_LINE    runs COMMAND_LINE as Explorer runs
//                                           a program: in a new console with
//                                           a window; while it runs, presses
//                                           Enter in that console every 2 s
//                                           (saying "waiting" the first time);
//                                           says the lines that console shows
//                                           once it asks for a key, empty ones
//                                           left out; ends with its exit
//                                           status, or 3
//                                           if it still runs after 30 s
//   windows_helper serve PIPE MILLISECONDS  makes the named pipe PIPE, says
//                                           "serving", waits that long for a
//                                           client, then says "client" if one
//                                           came, else "no client"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

int hold(const wchar_t* name, DWORD milliseconds) {
  const HANDLE file = CreateFileW(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  std::puts("held");
  std::fflush(stdout);
  Sleep(milliseconds);
  CloseHandle(file);
  return 0;
}

// Returns the lines of the console this process is attached to, without
// their trailing blanks and without empty ones, once its last line asks
// for a key; else "".
std::string window_text() {
  const HANDLE output =
      CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  CONSOLE_SCREEN_BUFFER_INFO screen{};
  std::string shown, last;
  if (output == INVALID_HANDLE_VALUE || GetConsoleScreenBufferInfo(output, &screen) == 0) {
    return shown;
  }
  for (SHORT row = 0; row <= screen.dwCursorPosition.Y; ++row) {
    std::string text(static_cast<std::size_t>(screen.dwSize.X), ' ');
    DWORD read = 0;
    ReadConsoleOutputCharacterA(output, text.data(), static_cast<DWORD>(text.size()), {0, row},
                                &read);
    const std::string line = text.substr(0, text.find_last_not_of(' ') + 1);
    if (line.empty()) continue;
    shown += line + "\n";
    last = line;
  }
  CloseHandle(output);
  return last.rfind("Press any key", 0) == 0 ? shown : "";
}

// Presses and lets go of Enter in the console of process `id`, and notes
// in `shown` what the console shows where it is empty.
bool press_enter(DWORD id, std::string& shown) {
  FreeConsole();
  if (AttachConsole(id) == 0) return false;
  if (shown.empty()) shown = window_text();
  const HANDLE input =
      CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  INPUT_RECORD keys[2]{};
  for (int i = 0; i < 2; ++i) {
    keys[i].EventType = KEY_EVENT;
    keys[i].Event.KeyEvent.bKeyDown = i == 0;
    keys[i].Event.KeyEvent.wRepeatCount = 1;
    keys[i].Event.KeyEvent.wVirtualKeyCode = VK_RETURN;
    keys[i].Event.KeyEvent.uChar.UnicodeChar = L'\r';
  }
  DWORD written = 0;
  return input != INVALID_HANDLE_VALUE && WriteConsoleInputW(input, keys, 2, &written) != 0;
}

// Waits for `process` to end, pressing Enter in its console every 2 s
// meanwhile and saying "waiting" the first time: a key pressed while the
// program still works may be flushed by its wait. Then says what its
// console showed when it asked for a key. Returns false if it still runs
// after 30 s.
bool ends_when_answered(const PROCESS_INFORMATION& process) {
  std::string shown;
  for (int round = 0; WaitForSingleObject(process.hProcess, 2000) != WAIT_OBJECT_0; ++round) {
    if (round == 0) {
      std::puts("waiting");
      std::fflush(stdout);
    }
    if (round == 15 || !press_enter(process.dwProcessId, shown)) return false;
  }
  std::fputs(shown.c_str(), stdout);
  return true;
}

int start(const wchar_t* how, int argc, wchar_t** argv) {
  // Explorer's command line comes whole; the others' is made of the words.
  const bool explorer = std::wcscmp(how, L"explorer") == 0;
  std::wstring command = explorer ? argv[0] : L"";
  for (int i = 0; !explorer && i < argc; ++i) {
    command += std::wstring(i == 0 ? L"\"" : L" \"") + argv[i] + L"\"";
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  DWORD flags = CREATE_NEW_CONSOLE;
  if (std::wcscmp(how, L"detached") == 0) {
    startup.dwFlags = STARTF_USESTDHANDLES;  // all three null
    flags = DETACHED_PROCESS;
  } else if (std::wcscmp(how, L"nowindow") == 0) {
    flags = CREATE_NO_WINDOW;
  } else if (!explorer) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  }
  PROCESS_INFORMATION process{};
  if (CreateProcessW(explorer ? nullptr : argv[0], command.data(), nullptr, nullptr, FALSE, flags,
                     nullptr, nullptr, &startup, &process) == 0) {
    return 2;
  }
  if (explorer ? !ends_when_answered(process)
               : WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 3);
    return 3;
  }
  DWORD status = 2;
  GetExitCodeProcess(process.hProcess, &status);
  return static_cast<int>(status);
}

int serve(const wchar_t* name, DWORD milliseconds) {
  const HANDLE pipe = CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                       PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr);
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (pipe == INVALID_HANDLE_VALUE || overlapped.hEvent == nullptr) return 2;
  const bool at_once =
      ConnectNamedPipe(pipe, &overlapped) == 0 && GetLastError() == ERROR_PIPE_CONNECTED;
  std::puts("serving");
  std::fflush(stdout);
  const bool client =
      at_once || WaitForSingleObject(overlapped.hEvent, milliseconds) == WAIT_OBJECT_0;
  std::puts(client ? "client" : "no client");
  CloseHandle(pipe);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && std::wcscmp(argv[1], L"hold") == 0) {
    return hold(argv[2], static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)));
  }
  for (const wchar_t* how : {L"detached", L"nowindow", L"hidden", L"explorer"}) {
    if (argc >= 3 && std::wcscmp(argv[1], how) == 0) return start(how, argc - 2, argv + 2);
  }
  if (argc == 4 && std::wcscmp(argv[1], L"serve") == 0) {
    return serve(argv[2], static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)));
  }
  std::fputs(
      "usage: windows_helper hold FILE MILLISECONDS | detached|nowindow|hidden PROGRAM ARG... | "
      "explorer COMMAND_LINE | serve PIPE MILLISECONDS\n",
      stderr);
  return 2;
}
