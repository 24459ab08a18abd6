#include "files/access_rights_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "files/linux_extras.h"
#include "files/system_call.h"

namespace sectify {
namespace {

// An access ACL as Linux stores it: a 4-byte version, then 8-byte entries
// (tag, permission bits, user or group id), little-endian.
constexpr std::size_t kAclHeaderSize = 4;
constexpr std::size_t kAclEntrySize = 8;
// The entries' tags.
constexpr unsigned kAclUser = 0x02;         // a named user's
constexpr unsigned kAclGroupObject = 0x04;  // the owning group's
constexpr unsigned kAclGroup = 0x08;        // a named group's
constexpr unsigned kAclOther = 0x20;        // everyone else's
constexpr unsigned kRead = 4;

constexpr mode_t kAccessBits = 0777;  // read, write, execute for each class
constexpr mode_t kGroupBits = 0070;

unsigned little_endian_16(std::string_view bytes, std::size_t at) {
  const auto byte = [bytes](std::size_t i) {
    return unsigned{static_cast<unsigned char>(bytes[i])};
  };
  return byte(at) | byte(at + 1) << 8;
}

// Calls `f` with the offset, tag and id of each entry of `acl`.
template <typename F>
void for_each_entry(std::string_view acl, F f) {
  for (std::size_t at = kAclHeaderSize; at + kAclEntrySize <= acl.size(); at += kAclEntrySize) {
    f(at, little_endian_16(acl, at),
      little_endian_16(acl, at + 4) | little_endian_16(acl, at + 6) << 16);
  }
}

// Returns the permission bits of the entry of `acl` with `tag` and `id`
// (named users' and groups'), or -1 if there is none.
int named_entry_bits(std::string_view acl, unsigned tag, unsigned id) {
  int bits = -1;
  for_each_entry(acl, [&](std::size_t at, unsigned entry_tag, unsigned entry_id) {
    if (entry_tag == tag && entry_id == id) {
      bits = static_cast<int>(little_endian_16(acl, at + 2) & 07);
    }
  });
  return bits;
}

// Whether `input` lets the named user or group (`tag` kAclUser or
// kAclGroup) `id` read it: by its own entry where it has one (the owner's
// bits, the owning group's entry, a named entry, within the mask), else as
// one of the others.
bool lets_read(const Readers& input, unsigned tag, unsigned id) {
  if (tag == kAclUser && id == input.uid) return (input.mode & S_IRUSR) != 0;
  if (tag == kAclGroup && id == input.gid) {
    return (narrowest_mode(input.mode, input.acl) & S_IRGRP) != 0;
  }
  const int bits = named_entry_bits(input.acl, tag, id);
  if (bits < 0) return (input.mode & S_IROTH) != 0;
  // Within the mask, which the bits show as the group's.
  return (static_cast<unsigned>(bits) & input.mode >> 3 & kRead) != 0;
}

// Removes any ACL from `fd` and gives it the permission bits `bits`; where
// ACLs cannot be removed (ENOTSUP), without the group's bits, which would
// also be the mask of any ACL entries left. Returns false on failure.
bool set_bits_alone(int fd, mode_t bits) {
  if (!linux_extras::remove_access_acl(fd)) {
    if (errno != ENOTSUP) return false;
    bits &= ~kGroupBits;
  }
  return SECTIFY_CALL(-1, fchmod, fd, bits) == 0;
}

// Gives `fd` the permission bits `bits` and the access ACL `acl`, or where the ACL cannot be set,
// no ACL and bits that give no one more. Returns false on failure.
bool set_rights(int fd, mode_t bits, const std::string& acl) {
  if (acl.empty()) return set_bits_alone(fd, bits);
  // Setting the ACL sets the permission bits that go with it.
  return linux_extras::set_access_acl(fd, acl) || set_bits_alone(fd, narrowest_mode(bits, acl));
}

}  // namespace

mode_t narrowest_mode(mode_t mode, std::string_view acl) {
  if (acl.empty()) return mode & kAccessBits;
  mode_t group = 0;
  for_each_entry(acl, [&](std::size_t at, unsigned tag, unsigned) {
    if (tag == kAclGroupObject) group = (little_endian_16(acl, at + 2) & 07) << 3;
  });
  return (mode & kAccessBits & ~kGroupBits) | (mode & group);
}

std::string without_owning_group(std::string acl) {
  for_each_entry(acl, [&](std::size_t at, unsigned tag, unsigned) {
    if (tag == kAclGroupObject) acl[at + 2] = acl[at + 3] = '\0';
  });
  return acl;
}

void narrow_to_readers(gid_t gid, mode_t& mode, std::string& acl, const Readers& input) {
  const bool others = (input.mode & S_IROTH) != 0;
  const bool group = lets_read(input, kAclGroup, gid);
  if (!others) mode &= ~static_cast<mode_t>(S_IROTH);
  if (!group && acl.empty()) mode &= ~static_cast<mode_t>(S_IRGRP);
  for_each_entry(acl, [&](std::size_t at, unsigned tag, unsigned id) {
    const bool reads = tag == kAclGroupObject                ? group
                       : tag == kAclOther                    ? others
                       : tag == kAclUser || tag == kAclGroup ? lets_read(input, tag, id)
                                                             : true;
    if (!reads) acl[at + 2] = static_cast<char>(static_cast<unsigned char>(acl[at + 2]) & ~kRead);
  });
}

bool keep_private(int fd, CreatedRights& created) {
  struct stat st {};
  if (SECTIFY_CALL(-1, fstat, fd, &st) != 0 ||
      (!linux_extras::read_file_acl(fd, created.acl) && errno != ENOTSUP)) {
    return false;
  }
  created.mode = st.st_mode & kAccessBits;
  // With an ACL, these bits leave its named entries nothing either.
  return SECTIFY_CALL(-1, fchmod, fd, 0600) == 0;
}

bool takes_over_rights(const struct stat& folder, const struct stat& old, uid_t owner,
                       uid_t input_owner) {
  const bool sticky = (folder.st_mode & S_ISVTX) != 0;
  return S_ISREG(old.st_mode) && (old.st_uid == owner || (!sticky && old.st_uid == input_owner));
}

bool take_over_access_rights(int fd, int folder, const char* name, const CreatedRights& created,
                             const Readers& input) {
  struct stat where {};
  struct stat now {};
  struct stat old {};
  if (SECTIFY_CALL(-1, fstat, folder, &where) != 0 || SECTIFY_CALL(-1, fstat, fd, &now) != 0) {
    return false;
  }
  if (SECTIFY_CALL(-1, fstatat, folder, name, &old, AT_SYMLINK_NOFOLLOW) != 0 && errno != ENOENT) {
    return false;
  }
  if (!takes_over_rights(where, old, now.st_uid, input.uid)) {
    mode_t bits = created.mode;
    std::string acl = created.acl;
    narrow_to_readers(now.st_gid, bits, acl, input);
    return set_rights(fd, bits, acl);
  }
  const bool sticky = (where.st_mode & S_ISVTX) != 0;
  // Only root may give a file away, and only to a group of theirs may an
  // ordinary user; whatever is not allowed stays the runner's.
  if (!sticky && (now.st_uid != old.st_uid || now.st_gid != old.st_gid)) {
    if (SECTIFY_CALL(-1, fchown, fd, old.st_uid, old.st_gid) != 0) {
      static_cast<void>(SECTIFY_CALL(-1, fchown, fd, static_cast<uid_t>(-1), old.st_gid));
    }
    if (SECTIFY_CALL(-1, fstat, fd, &now) != 0) return false;
  }
  const bool group_kept = now.st_gid == old.st_gid;
  // Setuid and setgid would give new content rights that its owner never
  // saw, and the sticky bit means nothing on a file.
  mode_t bits = old.st_mode & kAccessBits & (group_kept ? kAccessBits : ~kGroupBits);
  std::string acl;
  if (!linux_extras::read_access_acl(folder, name, acl)) {
    bits &= ~kGroupBits;
    acl.clear();
  } else if (!acl.empty() && !group_kept) {
    acl = without_owning_group(acl);
  }
  // An old file without an ACL leaves none that the folder's default ACL
  // gave the new file.
  narrow_to_readers(now.st_gid, bits, acl, input);
  return set_rights(fd, bits, acl);
}

}  // namespace sectify
