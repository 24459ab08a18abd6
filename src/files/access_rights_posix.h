// The access rights that a new file takes over from the file it replaces on
// a POSIX system: owner, group, permission bits and access ACL.

#ifndef SECTIFY_FILES_ACCESS_RIGHTS_POSIX_H_
#define SECTIFY_FILES_ACCESS_RIGHTS_POSIX_H_

#include <sys/types.h>

#include <string>
#include <string_view>

namespace sectify {

// Gives the open new file `fd` the access rights it must have to take the
// place of the entry `name` of the open folder `folder`:
// - where that entry is no regular file, or, in a folder with the sticky
//   bit, one that another user owns (and so chose its rights), the rights
//   of any new file there: what the umask leaves of 0666;
// - else its permission bits (read, write, execute) and access ACL, or
//   where the ACL cannot be carried over, no ACL and permission bits that
//   give no one more than the ACL gave; and, outside a folder with the
//   sticky bit, its owner and group as far as the system allows. Where the
//   group is not carried over, its bits and the ACL's entry for it are
//   dropped rather than given to the new file's group.
// Returns false on failure.
bool take_over_access_rights(int fd, int folder, const char* name);

// Returns permission bits that give no class of users more than `mode` and
// the access ACL `acl`, as the system stores it, gave: the owner its bits,
// the owning group its own entry within the mask (which `mode` shows as the
// group's bits), others their bits. Named users and groups get nothing.
mode_t narrowest_mode(mode_t mode, std::string_view acl);

// Returns the access ACL `acl` with nothing left in the owning group's
// entry.
std::string without_owning_group(std::string acl);

}  // namespace sectify

#endif  // SECTIFY_FILES_ACCESS_RIGHTS_POSIX_H_
