#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <utility>

#include "files/access_rights_posix.h"
#include "files/interruption.h"
#include "files/linux_extras.h"
#include "files/replacement_file.h"
#include "files/system_call.h"

namespace sectify {
namespace {

// How often a new name is tried when the one before was taken.
constexpr int kNameAttempts = 100;

int fd_of(const file_access::File& file) { return static_cast<int>(file.get()); }

// Returns a hidden name for a new file, ".Sectify-" eight letters and
// digits ".tmp", a different one at each call. The name need only be
// unlikely to be taken: the file is created only where it is not.
std::string new_name() {
  static std::uint64_t state =
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
      static_cast<std::uint64_t>(::getpid()) << 32;
  // splitmix64: every call a well-mixed value of the next state.
  std::uint64_t bits = state += 0x9E3779B97F4A7C15u;
  bits = (bits ^ bits >> 30) * 0xBF58476D1CE4E5B9u;
  bits = (bits ^ bits >> 27) * 0x94D049BB133111EBu;
  bits ^= bits >> 31;
  constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string name = ".Sectify-";
  for (int i = 0; i < 8; ++i, bits >>= 6) name += kAlphabet[bits % (sizeof kAlphabet - 1)];
  return name + ".tmp";
}

// Makes `name` a new name in `folder` for the file that `make` creates or
// links there, and publishes it for an interruption to remove. `make`
// takes the name and returns false on failure; it is tried again with
// another name while the name was taken (EEXIST). Interruptions wait
// meanwhile, so that none removes a file of that name that is not ours.
// Returns false on failure.
template <typename Make>
bool make_named(int folder, std::string& name, Make make) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    name = new_name();
    hold_interruptions();
    const bool made = make(name.c_str());
    if (made) remove_on_interruption(folder, name.c_str());
    release_interruptions();
    if (made) return true;
    if (errno != EEXIST) break;
  }
  name.clear();
  return false;
}

// Writes what was written to `fd` through to the disk itself, not only to
// its cache where the system tells the two apart (F_FULLFSYNC). Returns
// false on failure.
bool sync_to_disk(int fd) {
#ifdef F_FULLFSYNC
  // Not every file system takes it; fsync is what they have.
  if (SECTIFY_CALL(-1, fcntl, fd, F_FULLFSYNC) == 0) return true;
#endif
  return SECTIFY_CALL(-1, fsync, fd) == 0;
}

}  // namespace

ReplacementFile::Status ReplacementFile::create(const std::string& path, file_access::File folder,
                                                const file_access::File& input) {
  name_ = file_access::file_name_of(path);
  folder_ = std::move(folder);
  const int at = fd_of(folder_);
  struct stat read {};
  if (SECTIFY_CALL(-1, fstat, fd_of(input), &read) != 0) return creation_failed();
  struct stat old {};
  if (SECTIFY_CALL(-1, fstatat, at, name_.c_str(), &old, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno != ENOENT) return creation_failed();
  } else if (!S_ISLNK(old.st_mode)) {
    if (read.st_dev == old.st_dev && read.st_ino == old.st_ino) return Status::is_input;
    // What the rename would refuse, or what is no file to replace.
    if (!S_ISREG(old.st_mode)) {
      error_ = S_ISDIR(old.st_mode) ? EISDIR : EEXIST;
      return Status::failed;
    }
    if ((old.st_mode & S_IWUSR) == 0) return Status::read_only;
    replaces_data_ = old.st_size > 0;
  }

  // A file without a name, which even a process killed before commit()
  // leaves nowhere, where the system has them; else one named from the
  // start. Either way it is created readable and writable by its owner
  // alone and given the input's rights before a byte is written, so that
  // no one whom the input does not let read it ever reads a byte of it.
  int fd = linux_extras::open_unnamed(at, 0600);
  if (fd < 0) {
    make_named(at, temp_, [at, &fd](const char* name) {
      fd = SECTIFY_CALL(-1, openat, at, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        0600);
      return fd >= 0;
    });
  }
  file_ = file_access::File(fd);
  if (fd < 0 || !give_rights_of_input(fd, fd_of(input), read)) return creation_failed();
  return Status::created;
}

bool ReplacementFile::commit() {
  const int fd = fd_of(file_);
  const int at = fd_of(folder_);
  if (!sync_to_disk(fd)) return failed();
  // A file without a name gets one only now, just before the rename.
  if (temp_.empty() && !make_named(at, temp_, [fd, at](const char* name) {
        return linux_extras::link_unnamed(fd, at, name);
      })) {
    return failed();
  }
  if (!file_.close()) return failed();
  hold_interruptions();
  if (SECTIFY_CALL(-1, renameat, at, temp_.c_str(), at, name_.c_str()) != 0) {
    failed();
    release_interruptions();
    return false;
  }
  remove_on_interruption(at, nullptr);
  temp_.clear();
  // The new file is in place whatever happens now. A folder opened for
  // search alone cannot be synced, which is no failure.
  static_cast<void>(sync_to_disk(at));
  return true;
}

void ReplacementFile::discard() {
  // If even the removal fails there is nothing more to report than the
  // failure that led here.
  static_cast<void>(file_.close());
  if (!temp_.empty()) {
    static_cast<void>(SECTIFY_CALL(-1, unlinkat, fd_of(folder_), temp_.c_str(), 0));
  }
  remove_on_interruption(fd_of(folder_), nullptr);
  temp_.clear();
}

}  // namespace sectify
