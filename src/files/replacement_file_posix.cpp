#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "files/access_rights_posix.h"
#include "files/interruption.h"
#include "files/replacement_file.h"

namespace sectify {
namespace {

// The template of the new file's name: a hidden name that the system makes
// unique in place of the X's.
constexpr const char* kNameTemplate = ".Sectify-XXXXXX.tmp";
constexpr int kNameSuffixLength = 4;  // ".tmp"

int fd_of(const file_access::File& file) { return static_cast<int>(file.get()); }

// Creates a new file under a unique name made from folder + kNameTemplate,
// stored in `name`, which is published for an interruption to remove
// before the file exists. Returns its descriptor, or -1.
int create_named(const std::string& folder, std::string& name) {
  name = folder + kNameTemplate;
  remove_on_interruption(name.c_str());
  const int fd = ::mkostemps(name.data(), kNameSuffixLength, O_CLOEXEC);
  if (fd < 0) {
    remove_on_interruption(nullptr);
    name.clear();
  }
  return fd;
}

// Gives the file `fd`, which has no name yet, a unique name in `folder`,
// stored in `name` and published as create_named does: the name the system
// makes unique by creating a file under it, which gives way at once.
// Linking through /proc works for every user, unlike AT_EMPTY_PATH. Returns
// false on failure.
bool link_unnamed(int fd, const std::string& folder, std::string& name) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int placeholder = create_named(folder, name);
    if (placeholder < 0) return false;
    if (::close(placeholder) != 0 || ::unlink(name.c_str()) != 0) return false;
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      return true;
    }
    // Another process may have taken the name in between: then try again.
    const bool taken = errno == EEXIST;
    remove_on_interruption(nullptr);
    name.clear();
    if (!taken) return false;
  }
  return false;
}

}  // namespace

ReplacementFile::Status ReplacementFile::create(const std::string& path,
                                                const file_access::File& input) {
  struct stat old {};
  const bool exists = ::lstat(path.c_str(), &old) == 0;
  if (exists && !S_ISLNK(old.st_mode)) {
    struct stat read {};
    if (::fstat(fd_of(input), &read) == 0 && read.st_dev == old.st_dev &&
        read.st_ino == old.st_ino) {
      return Status::is_input;
    }
    // What the rename would refuse, or what is no file to replace.
    if (!S_ISREG(old.st_mode)) {
      error_ = S_ISDIR(old.st_mode) ? EISDIR : EEXIST;
      return Status::failed;
    }
    if ((old.st_mode & S_IWUSR) == 0) return Status::read_only;
  }
  path_ = path;
  folder_ = file_access::folder_of(path);

  int fd = -1;
#if defined(O_TMPFILE) && !defined(SECTIFY_NAMED_TEMPORARY)
  // A file without a name, which even a process killed before commit()
  // leaves nowhere; not every file system has them. It gets what any new
  // file gets, and the rights of the file it replaces only in commit().
  fd = ::open(folder_.empty() ? "." : folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
#endif
  if (fd < 0) fd = create_named(folder_, temp_);
  if (fd < 0) {
    failed();
    return Status::failed;
  }
  file_ = file_access::File(fd);
  // mkostemps gives 0600, which the new file keeps until commit() where it
  // replaces a file; a file new to the folder gets what the umask leaves
  // of 0666.
  if (!temp_.empty() && !(exists && S_ISREG(old.st_mode))) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd, 0666 & ~mask) != 0) {
      failed();
      return Status::failed;
    }
  }
  return Status::created;
}

bool ReplacementFile::commit() {
  const int fd = fd_of(file_);
  // After the last write, so that no write changes what is set.
  if (!take_over_access_rights(fd, path_)) return failed();
  if (::fsync(fd) != 0) return failed();
  // A file without a name gets one only now, just before the rename.
  if (temp_.empty() && !link_unnamed(fd, folder_, temp_)) return failed();
  if (!file_.close()) return failed();
  // Opened before the rename, which nothing may fail after: a folder that
  // its user may write but not read is not synced.
  const file_access::File folder(
      ::open(folder_.empty() ? "." : folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  hold_interruptions();
  if (std::rename(temp_.c_str(), path_.c_str()) != 0) {
    failed();
    release_interruptions();
    return false;
  }
  remove_on_interruption(nullptr);
  temp_.clear();
  // The new file is in place whatever happens now.
  if (folder.is_open()) static_cast<void>(::fsync(fd_of(folder)));
  return true;
}

void ReplacementFile::discard() {
  // If even the removal fails there is nothing more to report than the
  // failure that led here.
  static_cast<void>(file_.close());
  if (!temp_.empty()) ::unlink(temp_.c_str());
  remove_on_interruption(nullptr);
  temp_.clear();
}

}  // namespace sectify
