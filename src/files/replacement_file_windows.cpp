#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <objbase.h>
#include <windows.h>

#include <atomic>
#include <string>

#include "files/replacement_file.h"

namespace sectify {
namespace {

// The name of the new file while it has one, for the console handler, which
// runs on a thread of its own, to remove. The string it points into is
// complete before it is published.
std::atomic<const wchar_t*> name_to_remove{nullptr};

// How a console program ends when Ctrl+C interrupts it.
constexpr UINT kInterrupted = 0xC000013A;

BOOL WINAPI remove_and_end(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  // A new file still open is marked to go when it closes, which ending the
  // process does; one already closed goes here.
  const wchar_t* name = name_to_remove.load();
  if (name != nullptr) DeleteFileW(name);
  ExitProcess(kInterrupted);
}

HANDLE handle_of(const file_access::File& file) { return reinterpret_cast<HANDLE>(file.get()); }

// The GUID that StringFromGUID2 wrote, "{...}", without its braces, in
// ASCII.
std::string narrow_guid(const wchar_t* text) {
  std::string narrow;
  for (const wchar_t* c = text; *c != L'\0'; ++c) {
    if (*c != L'{' && *c != L'}') narrow += static_cast<char>(*c);
  }
  return narrow;
}

// Marks the open file `handle` to be deleted when it is closed, or clears
// the mark. Returns false on failure.
bool delete_on_close(HANDLE handle, bool on) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = on ? TRUE : FALSE;
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                    sizeof disposition) != 0;
}

}  // namespace

void prepare_for_interruption() {
  // Writes that fail come back as errors on Windows anyway.
  SetConsoleCtrlHandler(remove_and_end, TRUE);
}

ReplacementFile::Status ReplacementFile::create(const std::string& path,
                                                const file_access::File& input) {
  const file_access::NativePath wide_path = file_access::native_path(path);
  // The entry itself: a link there is replaced, never what it leads to.
  const HANDLE existing =
      CreateFileW(wide_path.c_str(), FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (existing != INVALID_HANDLE_VALUE) {
    BY_HANDLE_FILE_INFORMATION old{};
    BY_HANDLE_FILE_INFORMATION read{};
    const bool known = GetFileInformationByHandle(existing, &old) != 0;
    CloseHandle(existing);
    if (known && !(old.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      if (GetFileInformationByHandle(handle_of(input), &read) != 0 &&
          read.dwVolumeSerialNumber == old.dwVolumeSerialNumber &&
          read.nFileIndexHigh == old.nFileIndexHigh && read.nFileIndexLow == old.nFileIndexLow) {
        return Status::is_input;
      }
      // The rename over such a file is not refused everywhere.
      if (!(old.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          (old.dwFileAttributes & FILE_ATTRIBUTE_READONLY)) {
        return Status::read_only;
      }
    }
  }
  path_ = path;
  folder_ = file_access::folder_of(path);

  // A name that no other file has, from a GUID the system makes, which
  // also serves a folder too deep for GetTempFileNameW.
  for (int attempt = 0; attempt < 100 && !file_.is_open(); ++attempt) {
    GUID guid;
    wchar_t text[40];
    if (CoCreateGuid(&guid) != S_OK || StringFromGUID2(guid, text, 40) == 0) break;
    name_to_remove.store(nullptr);
    temp_ = file_access::native_path(folder_ + ".Sectify-" + narrow_guid(text) + ".tmp");
    name_to_remove.store(temp_.c_str());
    file_ = file_access::File(reinterpret_cast<file_access::NativeHandle>(
        CreateFileW(temp_.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!file_.is_open() && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (!file_.is_open()) {
    name_to_remove.store(nullptr);
    temp_.clear();
    return Status::failed;
  }
  // Whatever ends the process before commit(), the file goes with it.
  if (!delete_on_close(handle_of(file_), true)) {
    discard();
    return Status::failed;
  }
  return Status::created;
}

bool ReplacementFile::commit() {
  bool ok = FlushFileBuffers(handle_of(file_)) != 0;
  ok = ok && delete_on_close(handle_of(file_), false);
  ok = file_.close() && ok;
  ok = ok && MoveFileExW(temp_.c_str(), file_access::native_path(path_).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (ok) {
    name_to_remove.store(nullptr);
    temp_.clear();
  }
  discard();
  return ok;
}

void ReplacementFile::discard() {
  // If even the removal fails there is nothing more to report than the
  // failure that led here.
  static_cast<void>(file_.close());
  if (!temp_.empty()) DeleteFileW(temp_.c_str());
  name_to_remove.store(nullptr);
  temp_.clear();
}

}  // namespace sectify
