#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <objbase.h>
#include <windows.h>

#include <string>
#include <utility>

#include "files/interruption.h"
#include "files/replacement_file.h"
#include "files/system_call.h"

namespace sectify {
namespace {

// "An operation is not supported on a directory", which the headers of
// some compilers lack.
constexpr DWORD kErrorDirectoryNotSupported = 336;

// The attributes the new file takes over from the file it replaces; it
// gets FILE_ATTRIBUTE_ARCHIVE besides, as every file Windows writes.
constexpr DWORD kCarriedAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Another program, such as a virus scanner or the search indexer, may hold
// the output open for a moment: the rename is tried this often, this many
// milliseconds apart, about a second in all.
constexpr int kRenameAttempts = 20;
constexpr DWORD kRenamePause = 50;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

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
  return SECTIFY_CALL(FALSE, SetFileInformationByHandle, handle, FileDispositionInfo, &disposition,
                      sizeof disposition) != 0;
}

// Returns the attributes of `path`, or INVALID_FILE_ATTRIBUTES with the
// system's error.
DWORD attributes_of(const std::wstring& path) {
  return SECTIFY_CALL(INVALID_FILE_ATTRIBUTES, GetFileAttributesW, path.c_str());
}

// Returns whether `error` says that a path names nothing.
bool means_missing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Returns whether nothing has the name `path`, as the system says for sure.
bool is_missing(const std::wstring& path) {
  return attributes_of(path) == INVALID_FILE_ATTRIBUTES && means_missing(GetLastError());
}

// Returns whether another program holds `path` open so that it cannot be
// replaced: opening it for deletion fails with a sharing violation.
bool is_held(const std::wstring& path) {
  const file_access::File file =
      file_access::open_existing(path, DELETE, kShareAll, FILE_FLAG_OPEN_REPARSE_POINT);
  return !file.is_open() && GetLastError() == ERROR_SHARING_VIOLATION;
}

// Returns whether `error`, from renaming over `path`, may pass once another
// program lets go of `path`.
bool may_pass(DWORD error, const std::wstring& path) {
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
      error == ERROR_UNABLE_TO_REMOVE_REPLACED) {
    return true;
  }
  if (error != ERROR_ACCESS_DENIED) return false;
  const DWORD attributes = attributes_of(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_READONLY);
}

// Where one attempt to put the new file at the output's name leaves the
// two files.
enum class Outcome {
  done,      // the output's name holds the new file; the old one is gone or in the backup
  failed,    // the output's name holds what it held before; the system's error is set
  stranded,  // it holds neither: the old file is in the backup, the new one at its name
};

// Puts the file `from` at the name `to` in one step: with ReplaceFileW
// where `replace` (`to` is a file), which keeps its permissions, streams,
// creation time and short name and moves it to `backup` on the way, else
// with MoveFileExW. Every failure ReplaceFileW documents leaves the old
// file at `to` or at `backup`: from `backup` it is put back, or failing
// that the new file is moved to `to` after all.
Outcome replace_once(const std::wstring& from, const std::wstring& to, const std::wstring& backup,
                     bool replace) {
  if (!replace) {
    return SECTIFY_CALL(FALSE, MoveFileExW, from.c_str(), to.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0
               ? Outcome::done
               : Outcome::failed;
  }
  if (SECTIFY_CALL(faults::failed_replace(to.c_str(), backup.c_str()), ReplaceFileW, to.c_str(),
                   from.c_str(), backup.c_str(), 0, nullptr, nullptr) != 0) {
    return Outcome::done;
  }
  const DWORD error = GetLastError();
  Outcome outcome = Outcome::failed;
  // Where the old file is, the moves find out, rather than a look at a
  // name that may fail: the move back, unless the backup's name is free
  // (the old file never left); else the new file takes the output's name
  // if it is free, and where it cannot, the old file is at the output's
  // name or in the backup, which a look tells apart, naming both if unsure.
  if (SECTIFY_CALL(FALSE, MoveFileExW, backup.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) == 0 &&
      !means_missing(GetLastError())) {
    outcome =
        SECTIFY_CALL(FALSE, MoveFileExW, from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0
            ? Outcome::done
        : is_missing(backup) ? Outcome::failed
                             : Outcome::stranded;
  }
  SetLastError(error);
  return outcome;
}

// Puts `from` at `to` as replace_once() does, tried again for about a
// second while another program holds `to`. Interruptions are held from
// each attempt on and let through again after one that failed, so that
// Ctrl+C ends the wait; they stay held once an attempt has done anything.
Outcome rename_over(const std::wstring& from, const std::wstring& to, const std::wstring& backup,
                    bool replace) {
  for (int attempt = 1;; ++attempt) {
    DWORD error = ERROR_SHARING_VIOLATION;
    // A held file is waited for before ReplaceFileW is called, which on
    // some systems leaves a temporary file behind each time it fails.
    if (!replace || !is_held(to)) {
      hold_interruptions();
      const Outcome outcome = replace_once(from, to, backup, replace);
      if (outcome != Outcome::failed) return outcome;
      error = GetLastError();
      release_interruptions();
    }
    if (attempt == kRenameAttempts || !may_pass(error, to)) {
      SetLastError(error);
      return Outcome::failed;
    }
    Sleep(kRenamePause);
  }
}

}  // namespace

ReplacementFile::Status ReplacementFile::create(const std::string& path, file_access::File folder,
                                                const file_access::File& input) {
  // In full, as ReplaceFileW needs it.
  const file_access::NativePath output = file_access::full_native_path(path);
  // The entry itself: a link there is replaced, never what it leads to.
  const file_access::File existing =
      file_access::open_existing(output, FILE_READ_ATTRIBUTES, kShareAll,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
  BY_HANDLE_FILE_INFORMATION old{};
  if (existing.is_open() &&
      SECTIFY_CALL(FALSE, GetFileInformationByHandle, handle_of(existing), &old) != 0 &&
      !(old.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    BY_HANDLE_FILE_INFORMATION read{};
    if (SECTIFY_CALL(FALSE, GetFileInformationByHandle, handle_of(input), &read) != 0 &&
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
    replaces_data_ = old.nFileSizeHigh != 0 || old.nFileSizeLow != 0;
  }
  name_ = output;
  const std::string folder_path = file_access::folder_of(path);
  folder_ = std::move(folder);

  // A name that no other file has, from a GUID the system makes, which
  // also serves a folder too deep for GetTempFileNameW. Hidden, and kept
  // from the search index, while it is not the output yet.
  for (int attempt = 0; attempt < 100 && !file_.is_open(); ++attempt) {
    GUID guid;
    wchar_t text[40];
    if (SECTIFY_CALL(E_FAIL, CoCreateGuid, &guid) != S_OK || StringFromGUID2(guid, text, 40) == 0) {
      break;
    }
    shown_ = folder_path + ".Sectify-" + narrow_guid(text);
    temp_ = file_access::full_native_path(shown_ + ".tmp");
    backup_ = file_access::full_native_path(shown_ + ".bak");
    hold_interruptions();
    file_ = file_access::File(reinterpret_cast<file_access::NativeHandle>(
        SECTIFY_CALL(INVALID_HANDLE_VALUE, CreateFileW, temp_.c_str(), GENERIC_WRITE | DELETE,
                     FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                     FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED, nullptr)));
    const DWORD error = GetLastError();
    if (file_.is_open()) remove_on_interruption(folder_.get(), temp_.c_str());
    release_interruptions();
    if (!file_.is_open() && error != ERROR_FILE_EXISTS) break;
  }
  if (!file_.is_open()) {
    temp_.clear();
    return creation_failed();
  }
  // Whatever ends the process before commit(), the file goes with it.
  if (!delete_on_close(handle_of(file_), true)) return creation_failed();
  return Status::created;
}

bool ReplacementFile::commit() {
  const DWORD old = attributes_of(name_);
  if (old == INVALID_FILE_ATTRIBUTES && !means_missing(GetLastError())) return failed();
  const bool replace = old != INVALID_FILE_ATTRIBUTES &&
                       !(old & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
  // No longer hidden: the attributes the output is to have, which
  // ReplaceFileW is not documented to carry.
  FILE_BASIC_INFO basic{};  // times of 0 stay as they are
  basic.FileAttributes = (replace ? old & kCarriedAttributes : 0) | FILE_ATTRIBUTE_ARCHIVE;
  if (SECTIFY_CALL(FALSE, SetFileInformationByHandle, handle_of(file_), FileBasicInfo, &basic,
                   sizeof basic) == 0 ||
      SECTIFY_CALL(FALSE, FlushFileBuffers, handle_of(file_)) == 0 ||
      !delete_on_close(handle_of(file_), false) || !file_.close()) {
    return failed();
  }
  const Outcome outcome = rename_over(temp_, name_, backup_, replace);
  if (outcome == Outcome::failed) return failed();
  const DWORD error = GetLastError();
  // The new file is no longer one to remove: it has the output's name, or
  // it is kept for the message.
  remove_on_interruption(folder_.get(), nullptr);
  temp_.clear();
  if (outcome == Outcome::stranded) {
    // Interruptions stay held, so that the run can say where both are.
    error_ = error;
    earlier_left_in_ = shown_ + ".bak";
    new_left_in_ = shown_ + ".tmp";
    return false;
  }
  if (replace && SECTIFY_CALL(FALSE, DeleteFileW, backup_.c_str()) == 0 && !is_missing(backup_)) {
    earlier_left_in_ = shown_ + ".bak";
  }
  return true;
}

void ReplacementFile::discard() {
  // If even the removal fails there is nothing more to report than the
  // failure that led here.
  static_cast<void>(file_.close());
  // Before commit() the file goes as it closes; after a rename that failed
  // it holds the whole new output, and if it cannot go (a scanner holds
  // it), it is hidden again and named.
  if (!temp_.empty() && SECTIFY_CALL(FALSE, DeleteFileW, temp_.c_str()) == 0 &&
      !is_missing(temp_)) {
    static_cast<void>(SECTIFY_CALL(FALSE, SetFileAttributesW, temp_.c_str(),
                                   FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED));
    new_left_in_ = shown_ + ".tmp";
  }
  remove_on_interruption(folder_.get(), nullptr);
  temp_.clear();
}

}  // namespace sectify
