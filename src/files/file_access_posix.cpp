#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>

#include "files/file_access.h"
#include "files/linux_extras.h"
#include "files/system_call.h"

namespace sectify::file_access {
namespace {

int fd_of(const File& file) { return static_cast<int>(file.get()); }

}  // namespace

bool File::close() {
  if (!is_open()) return true;
  // The descriptor is gone after close() even when it reports EINTR, so it
  // is never retried.
  return SECTIFY_CALL(-1, ::close, static_cast<int>(release())) == 0;
}

std::vector<std::string> arguments_of(int argc, NativeChar** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

ErrorCode last_error() { return static_cast<ErrorCode>(errno); }

void set_last_error(ErrorCode code) { errno = static_cast<int>(code); }

std::string describe(ErrorCode code) {
  // The user's language, loaded only now that a failure needs it: a run
  // that succeeds pays nothing for it. All categories, as a statically
  // linked C library translates nothing for less; the program works on
  // bytes and formats no number that the other categories could change.
  static const bool localized = std::setlocale(LC_ALL, "") != nullptr;
  static_cast<void>(localized);
  return std::strerror(static_cast<int>(code));
}

bool write_message(Stream stream, std::string_view text) {
  std::FILE* const file = stream == Stream::output ? stdout : stderr;
  return std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
}

ConsoleFacts console_facts() { return {}; }

void wait_for_key() {}

std::string_view path_separators() { return "/"; }

File open_for_reading(const std::string& path) {
  // Only a regular file is opened: a device may act on being opened. Then
  // without blocking, and checked again, so that a FIFO put in its place
  // meanwhile cannot hold the run.
  struct stat st;
  if (SECTIFY_CALL(-1, stat, path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return File();
  int fd;
  do {
    fd = SECTIFY_CALL(-1, open, path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  File file(fd);
  if (!file.is_open() || SECTIFY_CALL(-1, fstat, fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    return File();
  }
  const int flags = SECTIFY_CALL(-1, fcntl, fd, F_GETFL);
  if (flags < 0 || SECTIFY_CALL(-1, fcntl, fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return File();
  return file;
}

bool size_of(const File& file, std::uint64_t& size) {
  struct stat st;
  if (SECTIFY_CALL(-1, fstat, fd_of(file), &st) != 0) return false;
  size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

std::ptrdiff_t read_some(const File& file, char* buffer, std::size_t capacity) {
  ssize_t got;
  do {
    got = SECTIFY_CALL(-1, read, fd_of(file), buffer, capacity);
  } while (got < 0 && errno == EINTR);
  return got;
}

bool write_all(const File& file, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t put = SECTIFY_CALL(-1, write, fd_of(file), data, size);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return false;
    // A write that takes nothing has no error of its own: a full disk is
    // what stops it.
    if (put == 0) {
      errno = ENOSPC;
      return false;
    }
    data += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

void start_writeback(const File& file) { linux_extras::start_writeback(fd_of(file)); }

}  // namespace sectify::file_access
