#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>

#include "file_access.h"

namespace sectify::file_access {
namespace {

HANDLE handle_of(const File& file) { return reinterpret_cast<HANDLE>(file.get()); }

File adopt(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? File() : File(reinterpret_cast<NativeHandle>(handle));
}

// ReadFile and WriteFile take a 32-bit count; larger requests go in parts.
constexpr std::size_t kMaxChunk = 1u << 30;

}  // namespace

bool File::close() {
  if (!is_open()) return true;
  return CloseHandle(reinterpret_cast<HANDLE>(release())) != 0;
}

std::string_view path_separators() { return "/\\:"; }

File open_for_reading(const std::string& path) {
  // Without FILE_FLAG_BACKUP_SEMANTICS a directory cannot be opened at all.
  return adopt(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool size_of(const File& file, std::uint64_t& size) {
  if (GetFileType(handle_of(file)) != FILE_TYPE_DISK) {
    size = 0;
    return true;
  }
  LARGE_INTEGER value;
  if (GetFileSizeEx(handle_of(file), &value) == 0) return false;
  size = static_cast<std::uint64_t>(value.QuadPart);
  return true;
}

std::ptrdiff_t read_some(const File& file, char* buffer, std::size_t capacity) {
  DWORD got = 0;
  const DWORD want = static_cast<DWORD>(std::min(capacity, kMaxChunk));
  if (ReadFile(handle_of(file), buffer, want, &got, nullptr) == 0) {
    // A pipe whose writer has closed reports its end this way.
    return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
  }
  return static_cast<std::ptrdiff_t>(got);
}

CreateStatus create_new(const std::string& path, const std::string& like, File& file) {
  // A read-only file keeps the attribute, and the rename over it fails.
  static_cast<void>(like);
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? CreateStatus::exists
                                                                       : CreateStatus::failed;
  }
  file = adopt(handle);
  return CreateStatus::created;
}

bool write_all(const File& file, const char* data, std::size_t size) {
  while (size > 0) {
    DWORD put = 0;
    const DWORD want = static_cast<DWORD>(std::min(size, kMaxChunk));
    if (WriteFile(handle_of(file), data, want, &put, nullptr) == 0 || put == 0) {
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

bool sync(const File& file) { return FlushFileBuffers(handle_of(file)) != 0; }

bool rename_over(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool remove_file(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

}  // namespace sectify::file_access
