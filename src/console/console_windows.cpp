#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <string>

#include "console/console.h"
#include "files/wtf8.h"

namespace sectify::console {

std::vector<std::string> arguments_of(int argc, NativeChar** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    const std::wstring_view argument(argv[i]);
    arguments.push_back(wtf8_from_utf16(std::u16string(argument.begin(), argument.end())));
  }
  return arguments;
}

bool write_message(Stream stream, std::string_view text) {
  std::FILE* const file = stream == Stream::output ? stdout : stderr;
  const HANDLE handle =
      GetStdHandle(stream == Stream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  // A process started without the stream has no one to tell.
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return true;
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode) == 0) {
    return std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
  }
  std::wstring wide;
  for (const char16_t c : utf16_from_wtf8(text)) {
    if (c == u'\n') wide += L'\r';
    wide += static_cast<wchar_t>(c);
  }
  DWORD written = 0;
  return WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) !=
             0 &&
         written == wide.size();
}

ConsoleFacts console_facts() {
  ConsoleFacts facts;
  DWORD processes[2];
  facts.processes = GetConsoleProcessList(processes, 2);
  DWORD mode = 0;
  facts.input_is_console = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
  facts.output_is_console = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
  const HWND window = GetConsoleWindow();
  facts.window_visible = window != nullptr && IsWindowVisible(window) != 0;
  USEROBJECTFLAGS station{};
  facts.interactive = GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &station,
                                                sizeof station, nullptr) != 0 &&
                      (station.dwFlags & WSF_VISIBLE) != 0;
  return facts;
}

void wait_for_key() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  // Keys pressed before the question do not answer it.
  FlushConsoleInputBuffer(input);
  INPUT_RECORD record;
  DWORD read = 0;
  while (ReadConsoleInputW(input, &record, 1, &read) != 0 && read == 1) {
    if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) return;
  }
}

}  // namespace sectify::console
