#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
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

bool hold_standard_streams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (SECTIFY_CALL(-1, fcntl, fd, F_GETFD) >= 0 || errno != EBADF) continue;
    // The lowest free descriptor is this one.
    if (SECTIFY_CALL(-1, open, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd) return false;
  }
  return true;
}

std::string_view path_separators() { return "/"; }

namespace {

// Opens the folder at `path` as the handle that the whole run works in,
// even where its user may write and enter it but not read it. Returns its
// descriptor, or -1.
int open_folder(const std::string& path) {
  const int fd = SECTIFY_CALL(-1, open, path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0 || errno != EACCES) return fd;
#ifdef O_SEARCH
  return SECTIFY_CALL(-1, open, path.c_str(), O_SEARCH | O_DIRECTORY | O_CLOEXEC);
#else
  return linux_extras::open_folder_path(path.c_str());  // O_PATH, where Linux has it
#endif
}

// Whether `st` is a regular file of data, with `fd` open on it.
bool is_data_file(int fd, const struct stat& st) {
  bool pseudo = true;
  return S_ISREG(st.st_mode) && linux_extras::on_pseudo_file_system(fd, pseudo) && !pseudo;
}

// Another program's lease on the input is waited for this often, this far
// apart, about a second in all.
constexpr int kLeaseAttempts = 20;
constexpr timespec kLeasePause = {0, 50'000'000};

// Returns open(), which opens without waiting, tried again while another
// program holds a lease on the file (EWOULDBLOCK): the first attempt asks
// that program to let go, and one that heeds it does so within moments.
template <typename Open>
int open_past_lease(Open open) {
  int fd;
  for (int attempt = 1; (fd = open()) < 0 && errno == EWOULDBLOCK && attempt < kLeaseAttempts;
       ++attempt) {
    nanosleep(&kLeasePause, nullptr);
  }
  return fd;
}

// Clears O_NONBLOCK on `fd`, with which it was opened so that no open
// waits (for a FIFO's writer, or a lease's holder). Returns false on
// failure.
bool blocking(int fd) {
  const int flags = SECTIFY_CALL(-1, fcntl, fd, F_GETFL);
  return flags >= 0 && SECTIFY_CALL(-1, fcntl, fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

// Opens `name` of `folder` for reading, links followed as the kernel
// follows them for any program of the runner, once it is known to be a
// data file; refuses anything else before opening it for reading. Where
// the system has handles that act on nothing (O_PATH), the file is held so
// first, looked at, and opened through that very handle; else it is looked
// at (stat), opened without waiting and looked at again once open, which
// leaves the moment between the two to a special file swapped in, opened
// but never read.
int open_data_file(int folder, const char* name) {
  struct stat st {};
  const File held(linux_extras::open_path(folder, name));
  if (held.is_open()) {
    const int fd = static_cast<int>(held.get());
    if (SECTIFY_CALL(-1, fstat, fd, &st) != 0 || !is_data_file(fd, st)) return -1;
    File opened(open_past_lease([fd] { return linux_extras::reopen_for_reading(fd); }));
    if (opened.is_open()) return blocking(fd_of(opened)) ? static_cast<int>(opened.release()) : -1;
    if (errno != ENOENT) return -1;
  } else if (errno != ENOTSUP) {
    return -1;
  }
  if (SECTIFY_CALL(-1, fstatat, folder, name, &st, 0) != 0 || !S_ISREG(st.st_mode)) return -1;
  // No open is interrupted: every signal the program handles ends it.
  const int fd = open_past_lease([folder, name] {
    return SECTIFY_CALL(-1, openat, folder, name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  });
  File file(fd);
  struct stat opened {};
  if (!file.is_open() || SECTIFY_CALL(-1, fstat, fd, &opened) != 0 || opened.st_dev != st.st_dev ||
      opened.st_ino != st.st_ino || !is_data_file(fd, opened) || !blocking(fd)) {
    return -1;
  }
  return static_cast<int>(file.release());
}

}  // namespace

File open_for_reading(const std::string& path, File& folder) {
  const std::string folder_path = folder_of(path);
  folder = File(open_folder(folder_path.empty() ? "." : folder_path));
  if (!folder.is_open()) return File();
  return File(open_data_file(static_cast<int>(folder.get()), path.c_str() + folder_path.size()));
}

bool is_folder(const std::string& path) {
  struct stat st {};
  return SECTIFY_CALL(-1, stat, path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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
