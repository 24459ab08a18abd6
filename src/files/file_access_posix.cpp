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

namespace {

#ifdef O_SEARCH
constexpr int kSearchOnly = O_SEARCH;
#else
constexpr int kSearchOnly = 0;  // none: Linux's O_PATH serves instead
#endif

// Opens the folder at `path` as the handle that the whole run works in,
// even where its user may write and enter it but not read it. Returns its
// descriptor, or -1.
int open_folder(const std::string& path) {
  const int fd = SECTIFY_CALL(-1, open, path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0 || errno != EACCES) return fd;
  if (kSearchOnly != 0) {
    return SECTIFY_CALL(-1, open, path.c_str(), kSearchOnly | O_DIRECTORY | O_CLOEXEC);
  }
  return linux_extras::open_folder_path(path.c_str());
}

// Reads the text of the symbolic link `name` of `folder` ("" names the
// link that `folder` itself holds) into `text`. Returns false on failure.
bool read_link(int folder, const char* name, std::string& text) {
  text.resize(256);
  for (;;) {
    const ssize_t size = SECTIFY_CALL(-1, readlinkat, folder, name, text.data(), text.size());
    if (size < 0) return false;
    if (static_cast<std::size_t>(size) < text.size()) {
      text.resize(static_cast<std::size_t>(size));
      return true;
    }
    text.resize(text.size() * 2);
  }
}

// Whether the file `target` may be read through a symbolic link that
// `link_owner` made: a link of the runner's own, or one to a file that its
// owner could read as well (theirs, or one that anyone may read), so that
// no link hands its owner what only the runner may read.
bool may_follow(uid_t link_owner, const struct stat& target) {
  return link_owner == ::geteuid() || target.st_uid == link_owner ||
         (target.st_mode & S_IROTH) != 0;
}

// Whether `st` is a regular file of data, with `fd` open on it.
bool is_data_file(int fd, const struct stat& st) {
  bool pseudo = true;
  return S_ISREG(st.st_mode) && linux_extras::on_pseudo_file_system(fd, pseudo) && !pseudo;
}

// Opens `path` of `folder` for reading, without following a link unless
// `follow`, once it is known to be a data file that `link_owner` may lead
// to. Refuses anything else before opening it for reading: through
// `held`, a handle on it that acts on nothing (O_PATH), where the system
// has such handles (else errno is ENOTSUP); else after stat and with
// O_NONBLOCK, checked again once open, which leaves the moment between the
// two to a FIFO swapped in.
int open_data_file(int folder, const char* path, bool follow, uid_t link_owner, const File& held) {
  struct stat st {};
  if (held.is_open()) {
    const int fd = static_cast<int>(held.get());
    if (SECTIFY_CALL(-1, fstat, fd, &st) != 0 || !is_data_file(fd, st) ||
        !may_follow(link_owner, st)) {
      return -1;
    }
    const int opened = linux_extras::reopen_for_reading(fd);
    if (opened >= 0 || errno != ENOENT) return opened;
  } else if (errno != ENOTSUP) {
    return -1;
  }
  const int nofollow = follow ? 0 : O_NOFOLLOW;
  if (SECTIFY_CALL(-1, fstatat, folder, path, &st, follow ? 0 : AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISREG(st.st_mode) || !may_follow(link_owner, st)) {
    return -1;
  }
  int fd;
  do {
    fd = SECTIFY_CALL(-1, openat, folder, path,
                      O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | nofollow);
  } while (fd < 0 && errno == EINTR);
  File file(fd);
  struct stat opened {};
  if (!file.is_open() || SECTIFY_CALL(-1, fstat, fd, &opened) != 0 || opened.st_dev != st.st_dev ||
      opened.st_ino != st.st_ino || !is_data_file(fd, opened)) {
    return -1;
  }
  const int flags = SECTIFY_CALL(-1, fcntl, fd, F_GETFL);
  if (flags < 0 || SECTIFY_CALL(-1, fcntl, fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return -1;
  return static_cast<int>(file.release());
}

}  // namespace

File open_for_reading(const std::string& path, File& folder) {
  const std::string folder_path = folder_of(path);
  folder = File(open_folder(folder_path.empty() ? "." : folder_path));
  if (!folder.is_open()) return File();
  const int at = static_cast<int>(folder.get());
  const std::string name = path.substr(folder_path.size());
  // The entry itself: a link is followed by the text of the very link
  // looked at, where the system can hold it, so that its owner is known.
  struct stat entry {};
  std::string text;
  File link(linux_extras::open_entry(at, name.c_str()));
  if (link.is_open()) {
    const int fd = static_cast<int>(link.get());
    if (SECTIFY_CALL(-1, fstat, fd, &entry) != 0 ||
        (S_ISLNK(entry.st_mode) && !read_link(fd, "", text))) {
      return File();
    }
  } else if (errno != ENOTSUP ||
             SECTIFY_CALL(-1, fstatat, at, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0 ||
             (S_ISLNK(entry.st_mode) && !read_link(at, name.c_str(), text))) {
    return File();
  }
  if (!S_ISLNK(entry.st_mode)) {
    return File(open_data_file(at, name.c_str(), false, ::geteuid(), link));
  }
  const File target(link.is_open() ? linux_extras::open_path(at, text.c_str()) : -1);
  return File(open_data_file(at, text.c_str(), true, entry.st_uid, target));
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
