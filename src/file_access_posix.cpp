#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "file_access.h"

namespace sectify::file_access {
namespace {

int fd_of(const File& file) { return static_cast<int>(file.get()); }

}  // namespace

bool File::close() {
  if (!is_open()) return true;
  // The descriptor is gone after close() even when it reports EINTR, so it
  // is never retried.
  return ::close(static_cast<int>(release())) == 0;
}

std::string_view path_separators() { return "/"; }

File open_for_reading(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  File file(fd);
  struct stat st;
  if (!file.is_open() || ::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    return File();
  }
  return file;
}

bool size_of(const File& file, std::uint64_t& size) {
  struct stat st;
  if (::fstat(fd_of(file), &st) != 0) return false;
  size = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
  return true;
}

std::ptrdiff_t read_some(const File& file, char* buffer, std::size_t capacity) {
  ssize_t got;
  do {
    got = ::read(fd_of(file), buffer, capacity);
  } while (got < 0 && errno == EINTR);
  return got;
}

CreateStatus create_new(const std::string& path, const std::string& like, File& file) {
  struct stat st;
  const bool replaces_file = ::lstat(like.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  // A file its owner made read-only is not replaced behind their back.
  if (replaces_file && ::access(like.c_str(), W_OK) != 0) {
    return CreateStatus::failed;
  }
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    return errno == EEXIST ? CreateStatus::exists : CreateStatus::failed;
  }
  if (replaces_file && ::fchmod(fd, st.st_mode & 07777) != 0) {
    ::close(fd);
    ::unlink(path.c_str());
    return CreateStatus::failed;
  }
  file = File(fd);
  return CreateStatus::created;
}

bool write_all(const File& file, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t put = ::write(fd_of(file), data, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    data += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

void start_writeback(const File& file) {
#ifdef SYNC_FILE_RANGE_WRITE
  static_cast<void>(::sync_file_range(fd_of(file), 0, 0, SYNC_FILE_RANGE_WRITE));
#else
  static_cast<void>(file);
#endif
}

bool sync(const File& file) { return ::fsync(fd_of(file)) == 0; }

bool rename_over(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool remove_file(const std::string& path) { return ::unlink(path.c_str()) == 0; }

}  // namespace sectify::file_access
