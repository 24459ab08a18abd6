#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <objbase.h>
#include <windows.h>

#include <string>

#include "files/interruption.h"
#include "files/replacement_file.h"

namespace sectify {
namespace {

// "An operation is not supported on a directory", which the headers of
// some compilers lack.
constexpr DWORD kErrorDirectoryNotSupported = 336;

// The attributes the new file takes over from the file it replaces, which
// ReplaceFileW is not documented to carry.
constexpr DWORD kCarriedAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

// Another program, such as a virus scanner or the search indexer, may hold
// the output open for a moment: the rename is tried this often, this many
// milliseconds apart, about a second in all.
constexpr int kRenameAttempts = 20;
constexpr DWORD kRenamePause = 50;

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

// Returns whether another program holds `path` open so that it cannot be
// replaced: opening it for deletion fails with a sharing violation.
bool is_held(const std::wstring& path) {
  const HANDLE handle =
      CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
  CloseHandle(handle);
  return false;
}

// Returns whether `error`, from renaming over `path`, may pass once another
// program lets go of `path`.
bool may_pass(DWORD error, const std::wstring& path) {
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
      error == ERROR_UNABLE_TO_REMOVE_REPLACED) {
    return true;
  }
  if (error != ERROR_ACCESS_DENIED) return false;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_READONLY);
}

// Renames `from` over `to` in one step: with ReplaceFileW where `to` is a
// file, which keeps its permissions, streams, creation time and short name,
// else with MoveFileExW. Tries again for about a second while another
// program holds `to`. Returns false on failure, with the system's error.
bool rename_over(const std::wstring& from, const std::wstring& to, bool replace) {
  for (int attempt = 1;; ++attempt) {
    DWORD error = ERROR_SHARING_VIOLATION;
    // A held file is waited for before ReplaceFileW is called, which on
    // some systems leaves a temporary file behind each time it fails.
    if (!replace || !is_held(to)) {
      if (replace ? ReplaceFileW(to.c_str(), from.c_str(), nullptr, 0, nullptr, nullptr) != 0
                  : MoveFileExW(from.c_str(), to.c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
        return true;
      }
      error = GetLastError();
      // Without a backup name, ReplaceFileW has removed the old file by now.
      if (replace && error == ERROR_UNABLE_TO_MOVE_REPLACEMENT) return rename_over(from, to, false);
    }
    if (attempt == kRenameAttempts || !may_pass(error, to)) {
      SetLastError(error);
      return false;
    }
    Sleep(kRenamePause);
  }
}

}  // namespace

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
      if (old.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        error_ = kErrorDirectoryNotSupported;
        return Status::failed;
      }
      // The rename over such a file is not refused everywhere.
      if (old.dwFileAttributes & FILE_ATTRIBUTE_READONLY) return Status::read_only;
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
    remove_on_interruption(nullptr);
    // In full, as ReplaceFileW needs it.
    temp_ = file_access::full_native_path(folder_ + ".Sectify-" + narrow_guid(text) + ".tmp");
    remove_on_interruption(temp_.c_str());
    file_ = file_access::File(reinterpret_cast<file_access::NativeHandle>(
        CreateFileW(temp_.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!file_.is_open() && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (!file_.is_open()) {
    failed();
    return Status::failed;
  }
  // Whatever ends the process before commit(), the file goes with it.
  if (!delete_on_close(handle_of(file_), true)) {
    failed();
    return Status::failed;
  }
  return Status::created;
}

bool ReplacementFile::commit() {
  const std::wstring to = file_access::full_native_path(path_);
  const DWORD old = GetFileAttributesW(to.c_str());
  const bool replace = old != INVALID_FILE_ATTRIBUTES &&
                       !(old & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
  if (replace && (old & kCarriedAttributes) != 0) {
    FILE_BASIC_INFO basic{};  // times of 0 stay as they are
    basic.FileAttributes = old & kCarriedAttributes;
    if (SetFileInformationByHandle(handle_of(file_), FileBasicInfo, &basic, sizeof basic) == 0) {
      return failed();
    }
  }
  if (FlushFileBuffers(handle_of(file_)) == 0 || !delete_on_close(handle_of(file_), false) ||
      !file_.close()) {
    return failed();
  }
  // The console handler removes nothing once the rename has begun.
  hold_interruptions();
  if (!rename_over(temp_, to, replace)) {
    failed();
    release_interruptions();
    return false;
  }
  remove_on_interruption(nullptr);
  temp_.clear();
  return true;
}

void ReplacementFile::discard() {
  // If even the removal fails there is nothing more to report than the
  // failure that led here.
  static_cast<void>(file_.close());
  if (!temp_.empty()) DeleteFileW(temp_.c_str());
  remove_on_interruption(nullptr);
  temp_.clear();
}

}  // namespace sectify
