#include "files/access_rights_posix.h"

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace sectify {
namespace {

// Where Linux keeps a file's access ACL: a 4-byte version, then 8-byte
// entries (tag, permission bits, user or group id), little-endian.
constexpr const char* kAccessAcl = "system.posix_acl_access";
constexpr std::size_t kAclHeaderSize = 4;
constexpr std::size_t kAclEntrySize = 8;
constexpr unsigned kAclGroupObject = 0x04;  // the owning group's entry

constexpr mode_t kAccessBits = 0777;  // read, write, execute for each class
constexpr mode_t kGroupBits = 0070;

unsigned little_endian_16(std::string_view bytes, std::size_t at) {
  const auto byte = [bytes](std::size_t i) {
    return unsigned{static_cast<unsigned char>(bytes[i])};
  };
  return byte(at) | byte(at + 1) << 8;
}

// Reads the access ACL of the file at `path` into `acl`: empty where the
// file has none beyond its permission bits, or its system has no ACLs.
// Returns false if it cannot be read.
bool read_access_acl(const std::string& path, std::string& acl) {
  for (;;) {
    const ssize_t size = ::lgetxattr(path.c_str(), kAccessAcl, nullptr, 0);
    if (size < 0) {
      acl.clear();
      return errno == ENODATA || errno == ENOTSUP;
    }
    acl.resize(static_cast<std::size_t>(size));
    const ssize_t got = ::lgetxattr(path.c_str(), kAccessAcl, acl.data(), acl.size());
    if (got >= 0) {
      acl.resize(static_cast<std::size_t>(got));
      return true;
    }
    if (errno != ERANGE) return false;  // else it grew in between: again
  }
}

}  // namespace

mode_t narrowest_mode(mode_t mode, std::string_view acl) {
  mode_t group = 0;
  for (std::size_t at = kAclHeaderSize; at + kAclEntrySize <= acl.size(); at += kAclEntrySize) {
    if (little_endian_16(acl, at) == kAclGroupObject) {
      group = static_cast<mode_t>(little_endian_16(acl, at + 2) & 07) << 3;
    }
  }
  return (mode & kAccessBits & ~kGroupBits) | (mode & group);
}

bool take_over_access_rights(int fd, const std::string& path) {
  struct stat old {};
  if (::lstat(path.c_str(), &old) != 0 || !S_ISREG(old.st_mode)) return true;
  struct stat now {};
  // Only root may give a file away; an ordinary user keeps the new file as
  // their own, which is no failure.
  if (::fstat(fd, &now) == 0 && (now.st_uid != old.st_uid || now.st_gid != old.st_gid)) {
    static_cast<void>(::fchown(fd, old.st_uid, old.st_gid));
  }
  // Setuid and setgid would give new content rights that its owner never
  // saw, and the sticky bit means nothing on a file.
  const mode_t bits = old.st_mode & kAccessBits;
  std::string acl;
  if (!read_access_acl(path, acl)) return ::fchmod(fd, bits & ~kGroupBits) == 0;
  if (!acl.empty()) {
    // Setting the ACL sets the permission bits that go with it.
    if (::fsetxattr(fd, kAccessAcl, acl.data(), acl.size(), 0) == 0) return true;
    return ::fchmod(fd, narrowest_mode(bits, acl)) == 0;
  }
  // The old file had no ACL, so none that the folder's default ACL gave
  // the new file stays.
  if (::fremovexattr(fd, kAccessAcl) != 0 && errno != ENODATA && errno != ENOTSUP) return false;
  return ::fchmod(fd, bits) == 0;
}

}  // namespace sectify
