#include <fcntl.h>
#include <linux/limits.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <string>

#include "files/linux_extras.h"
#include "files/system_call.h"

namespace sectify::linux_extras {
namespace {

// Where Linux keeps a file's access ACL.
constexpr const char* kAccessAcl = "system.posix_acl_access";

// The path through /proc by which `fd`, or the entry `name` of the folder
// `fd`, can be named.
std::string through_proc(int fd, const char* name = nullptr) {
  std::string path = "/proc/self/fd/" + std::to_string(fd);
  if (name != nullptr) path.append("/").append(name);
  return path;
}

// Reads the extended attribute kAccessAcl into `acl` with `get`, which
// takes a buffer and its size as getxattr does, into a buffer that no
// attribute outgrows. Returns false on failure.
template <typename Get>
bool read_acl_with(Get get, std::string& acl) {
  acl.resize(XATTR_SIZE_MAX);
  const ssize_t got = get(acl.data(), acl.size());
  acl.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return got >= 0 || errno == ENODATA || errno == ENOTSUP;
}

}  // namespace

int open_unnamed(int folder, unsigned mode) {
  const int fd = SECTIFY_CALL(-1, openat, folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
  if (fd < 0) return -1;
  // Linking needs /proc, which a chroot or a container may lack.
  struct stat st {};
  if (SECTIFY_CALL(-1, stat, through_proc(fd).c_str(), &st) != 0) {
    static_cast<void>(SECTIFY_CALL(-1, ::close, fd));
    return -1;
  }
  return fd;
}

bool link_unnamed(int fd, int folder, const char* name) {
  return SECTIFY_CALL(-1, linkat, AT_FDCWD, through_proc(fd).c_str(), folder, name,
                      AT_SYMLINK_FOLLOW) == 0;
}

int open_folder_path(const char* path) {
  return SECTIFY_CALL(-1, open, path, O_PATH | O_DIRECTORY | O_CLOEXEC);
}

int open_path(int folder, const char* path) {
  return SECTIFY_CALL(-1, openat, folder, path, O_PATH | O_CLOEXEC);
}

int reopen_for_reading(int fd) {
  // Through /proc the handle's own file is opened, never a name's.
  return SECTIFY_CALL(-1, open, through_proc(fd).c_str(),
                      O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

bool on_pseudo_file_system(int fd, bool& pseudo) {
  // The magic numbers of <linux/magic.h> of the file systems that are
  // views of the kernel rather than stores of data.
  constexpr unsigned long kPseudo[] = {
      0x9fa0,      // procfs
      0x62656572,  // sysfs
      0x64626720,  // debugfs
      0x74726163,  // tracefs
      0x73636673,  // securityfs
      0x62656570,  // configfs
      0x27e0eb,    // cgroup
      0x63677270,  // cgroup2
      0x42494e4d,  // binfmt_misc
      0x19800202,  // mqueue
      0x6e736673,  // nsfs
      0xcafe4a11,  // bpf
      0x6165676c,  // pstore
      0xde5e81e4,  // efivarfs
      0x65735543,  // fusectl
      0xf97cff8c,  // selinuxfs
      0x43415d53,  // smackfs
      0x09041934,  // anon_inode
      0x67596969,  // rpc_pipefs
      0x6e667364,  // nfsd
      0xabba1974,  // xenfs
  };
  struct statfs where {};
  if (SECTIFY_CALL(-1, fstatfs, fd, &where) != 0) return false;
  const auto type = static_cast<unsigned long>(where.f_type);
  pseudo = std::find(std::begin(kPseudo), std::end(kPseudo), type) != std::end(kPseudo);
  return true;
}

bool read_file_acl(int fd, std::string& acl) {
  return read_acl_with(
      [fd](char* buffer, std::size_t size) {
        return SECTIFY_CALL(-1, fgetxattr, fd, kAccessAcl, buffer, size);
      },
      acl);
}

bool read_access_acl(int folder, const char* name, std::string& acl) {
  // Through /proc the ACL can be read without the right to read the file;
  // without /proc, from the file opened for reading.
  const std::string path = through_proc(folder, name);
  const bool read = read_acl_with(
      [&path](char* buffer, std::size_t size) {
        return SECTIFY_CALL(-1, lgetxattr, path.c_str(), kAccessAcl, buffer, size);
      },
      acl);
  if (read || errno != ENOENT) return read;
  const int fd = SECTIFY_CALL(-1, openat, folder, name,
                              O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool read_open = read_file_acl(fd, acl);
  static_cast<void>(SECTIFY_CALL(-1, ::close, fd));
  return read_open;
}

bool set_access_acl(int fd, const std::string& acl) {
  return SECTIFY_CALL(-1, fsetxattr, fd, kAccessAcl, acl.data(), acl.size(), 0) == 0;
}

bool remove_access_acl(int fd) {
  return SECTIFY_CALL(-1, fremovexattr, fd, kAccessAcl) == 0 || errno == ENODATA ||
         errno == ENOTSUP;
}

void start_writeback(int fd) {
  static_cast<void>(SECTIFY_CALL(-1, sync_file_range, fd, 0, 0, SYNC_FILE_RANGE_WRITE));
}

}  // namespace sectify::linux_extras
