#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>

#include "files/device_names.h"
#include "files/file_access.h"
#include "files/system_call.h"
#include "files/wtf8.h"

namespace sectify::file_access {
namespace {

HANDLE handle_of(const File& file) { return reinterpret_cast<HANDLE>(file.get()); }

File adopt(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? File() : File(reinterpret_cast<NativeHandle>(handle));
}

// ReadFile and WriteFile take a 32-bit count; larger requests go in parts.
constexpr std::size_t kMaxChunk = 1u << 30;

// The length, with its final NUL, from which a full path is too long for
// every plain call: some (creating a folder) stop 12 short of MAX_PATH.
constexpr DWORD kPlainPathLimit = MAX_PATH - 12;

// The program's UTF-8 is WTF-8 (see wtf8.h), so that every name the system
// gives comes back to it as the same UTF-16.
std::wstring to_utf16(std::string_view text) {
  const std::u16string wide = utf16_from_wtf8(text);
  return std::wstring(wide.begin(), wide.end());
}

std::string to_utf8(std::wstring_view text) {
  return wtf8_from_utf16(std::u16string(text.begin(), text.end()));
}

// Returns the full path `full` behind the prefix that lifts the length
// limit: "\\?\C:\..." for a drive, "\\?\UNC\server\share\..." for a network
// path; a path that has a prefix already stays as it is.
std::wstring long_form(const std::wstring& full) {
  if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0) return full;
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

}  // namespace

bool File::close() {
  if (!is_open()) return true;
  return SECTIFY_CALL(FALSE, CloseHandle, reinterpret_cast<HANDLE>(release())) != 0;
}

std::string_view path_separators() { return "/\\:"; }

ErrorCode last_error() { return GetLastError(); }

void set_last_error(ErrorCode code) { SetLastError(static_cast<DWORD>(code)); }

namespace {

// The program's own words for the codes it can meet for which a system may
// have no text (Windows 7 and wine have none for 336).
struct OwnText {
  DWORD code;
  const char* text;
};
constexpr OwnText kOwnTexts[] = {
    {336, "A folder has this name."},
    {ERROR_UNABLE_TO_REMOVE_REPLACED, "The file to be replaced could not be removed."},
    {ERROR_UNABLE_TO_MOVE_REPLACEMENT, "The new file could not take the name of the old one."},
    {ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, "The new file could not take the name of the old one."},
};

}  // namespace

std::string describe(ErrorCode code) {
  wchar_t* text = nullptr;
  // Language 0: the user's language where the system has the message in it.
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (length == 0) {
    for (const OwnText& own : kOwnTexts) {
      if (own.code == code) return own.text;
    }
    return "error " + std::to_string(code);
  }
  std::wstring_view message(text, length);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r')) {
    message.remove_suffix(1);
  }
  std::string narrow = to_utf8(message);
  LocalFree(text);
  return narrow;
}

bool hold_standard_streams() { return true; }

namespace {

// Returns the full form of `wide`, a relative path resolved against the
// current folder, or nothing if the system cannot give it.
std::optional<std::wstring> full_form(const std::wstring& wide) {
  const DWORD size = SECTIFY_CALL(0, GetFullPathNameW, wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return std::nullopt;
  std::wstring full(size, L'\0');
  const DWORD length = SECTIFY_CALL(0, GetFullPathNameW, wide.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return std::nullopt;
  full.resize(length);
  return full;
}

// Whether the full path `full` is too long for the plain calls.
bool too_long(const std::wstring& full) { return full.size() + 1 >= kPlainPathLimit; }

}  // namespace

NativePath native_path(const std::string& path) {
  NativePath wide = to_utf16(path);
  // Only the full form tells whether the plain calls can take a path.
  const std::optional<std::wstring> full = full_form(wide);
  return full && too_long(*full) ? long_form(*full) : wide;
}

NativePath full_native_path(const std::string& path) {
  NativePath wide = to_utf16(path);
  const std::optional<std::wstring> full = full_form(wide);
  if (!full) return wide;
  return too_long(*full) ? long_form(*full) : *full;
}

File open_for_reading(const std::string& path, File& folder) {
  // Decided on what the system will open, before anything is opened.
  const std::optional<std::wstring> full = full_form(to_utf16(path));
  if (!full || !opens_as_file(path, to_utf8(*full)) || names_windows_device(path)) return File();
  // Held open without sharing its deletion, so that the folder cannot be
  // renamed, removed or replaced while the run works in it; one that its
  // user may not list is not held.
  const std::string folder_path = folder_of(path);
  folder =
      open_existing(full_native_path(folder_path.empty() ? "." : folder_path), FILE_LIST_DIRECTORY,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_FLAG_BACKUP_SEMANTICS);
  // Without FILE_FLAG_BACKUP_SEMANTICS a directory cannot be opened at all.
  File file = open_existing(native_path(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0);
  if (file.is_open() &&
      SECTIFY_CALL(FILE_TYPE_UNKNOWN, GetFileType, handle_of(file)) != FILE_TYPE_DISK) {
    return File();
  }
  return file;
}

File open_existing(const NativePath& path, unsigned long access, unsigned long sharing,
                   unsigned long flags) {
  // A pipe's server could act as the user who opens it; at this level it
  // can only learn who that is.
  return adopt(SECTIFY_CALL(INVALID_HANDLE_VALUE, CreateFileW, path.c_str(), access, sharing,
                            nullptr, OPEN_EXISTING,
                            flags | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
}

bool is_folder(const std::string& path) {
  const DWORD attributes =
      SECTIFY_CALL(INVALID_FILE_ATTRIBUTES, GetFileAttributesW, native_path(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool size_of(const File& file, std::uint64_t& size) {
  LARGE_INTEGER value;
  if (SECTIFY_CALL(FALSE, GetFileSizeEx, handle_of(file), &value) == 0) return false;
  size = static_cast<std::uint64_t>(value.QuadPart);
  return true;
}

std::ptrdiff_t read_some(const File& file, char* buffer, std::size_t capacity) {
  DWORD got = 0;
  const DWORD want = static_cast<DWORD>(std::min(capacity, kMaxChunk));
  if (SECTIFY_CALL(FALSE, ReadFile, handle_of(file), buffer, want, &got, nullptr) == 0) return -1;
  return static_cast<std::ptrdiff_t>(got);
}

bool write_all(const File& file, const char* data, std::size_t size) {
  while (size > 0) {
    DWORD put = 0;
    const DWORD want = static_cast<DWORD>(std::min(size, kMaxChunk));
    if (SECTIFY_CALL(FALSE, WriteFile, handle_of(file), data, want, &put, nullptr) == 0) {
      return false;
    }
    // A write that takes nothing has no error of its own: a full disk is
    // what stops it.
    if (put == 0) {
      SetLastError(ERROR_DISK_FULL);
      return false;
    }
    data += put;
    size -= put;
  }
  return true;
}

void start_writeback(const File& file) {
  // Windows writes back on its own; FlushFileBuffers waits for it.
  static_cast<void>(file);
}

}  // namespace sectify::file_access
