#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <initializer_list>
#include <string>

#include "files/replacement_file.h"

namespace sectify {
namespace {

// The name of the new file while it has one, for the signal handler to
// remove. The string it points into is built before it is published.
std::atomic<const char*> name_to_remove{nullptr};
static_assert(std::atomic<const char*>::is_always_lock_free);

// The template of the new file's name: a hidden name that the system makes
// unique in place of the X's.
constexpr const char* kNameTemplate = ".Sectify-XXXXXX.tmp";
constexpr int kNameSuffixLength = 4;  // ".tmp"

extern "C" void remove_and_end(int signal_number) {
  // Only what is safe in a signal handler: unlink, signal and raise. The
  // signal is held until the handler returns, then ends the process with
  // its default action, as the shell expects.
  const char* name = name_to_remove.load();
  if (name != nullptr) ::unlink(name);
  std::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

int fd_of(const file_access::File& file) { return static_cast<int>(file.get()); }

// Creates a new file under a unique name made from folder + kNameTemplate,
// stored in `name`, which is published for the signal handler before the
// file exists. Returns its descriptor, or -1.
int create_named(const std::string& folder, std::string& name) {
  name = folder + kNameTemplate;
  name_to_remove.store(name.c_str());
  const int fd = ::mkostemps(name.data(), kNameSuffixLength, O_CLOEXEC);
  if (fd < 0) {
    name_to_remove.store(nullptr);
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
    name_to_remove.store(nullptr);
    name.clear();
    if (!taken) return false;
  }
  return false;
}

// Syncs the folder `folder` ("" for the current one), so that a rename in
// it lasts. Returns false on failure.
bool sync_folder(const std::string& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  return ::close(fd) == 0 && ok;
}

}  // namespace

void prepare_for_interruption() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  struct sigaction action {};
  action.sa_handler = remove_and_end;
  sigemptyset(&action.sa_mask);
  for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, s);
  for (const int s : {SIGINT, SIGTERM, SIGHUP}) {
    // A signal ignored from the start, as in a job started in the
    // background, stays ignored.
    struct sigaction old {};
    if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) {
      ::sigaction(s, &action, nullptr);
    }
  }
}

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
    if (S_ISREG(old.st_mode) && (old.st_mode & S_IWUSR) == 0) return Status::read_only;
  }
  path_ = path;
  folder_ = file_access::folder_of(path);

  int fd = -1;
#if defined(O_TMPFILE) && !defined(SECTIFY_NAMED_TEMPORARY)
  // A file without a name, which even a process killed before commit()
  // leaves nowhere; not every file system has them.
  fd = ::open(folder_.empty() ? "." : folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
#endif
  const bool named = fd < 0;
  if (named) fd = create_named(folder_, temp_);
  if (fd < 0) return Status::failed;
  file_ = file_access::File(fd);
  if (named) {
    // mkostemps gives 0600; a new file gets what the umask leaves of 0666.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd, 0666 & ~mask) != 0) {
      discard();
      return Status::failed;
    }
  }
  if (exists && S_ISREG(old.st_mode)) {
    struct stat now {};
    // Only root may give a file away; an ordinary user keeps the new file
    // as their own, which is no failure.
    if (::fstat(fd, &now) == 0 && (now.st_uid != old.st_uid || now.st_gid != old.st_gid)) {
      static_cast<void>(::fchown(fd, old.st_uid, old.st_gid));
    }
    if (::fchmod(fd, old.st_mode & 07777) != 0) {
      discard();
      return Status::failed;
    }
  }
  return Status::created;
}

bool ReplacementFile::commit() {
  bool ok = ::fsync(fd_of(file_)) == 0;
  // A file without a name gets one only now, just before the rename.
  if (ok && temp_.empty()) ok = link_unnamed(fd_of(file_), folder_, temp_);
  ok = file_.close() && ok;
  ok = ok && std::rename(temp_.c_str(), path_.c_str()) == 0;
  if (ok) {
    name_to_remove.store(nullptr);
    temp_.clear();
    ok = sync_folder(folder_);
  }
  discard();
  return ok;
}

void ReplacementFile::discard() {
  // If even the removal fails there is nothing more to report than the
  // failure that led here.
  static_cast<void>(file_.close());
  if (!temp_.empty()) ::unlink(temp_.c_str());
  name_to_remove.store(nullptr);
  temp_.clear();
}

}  // namespace sectify
