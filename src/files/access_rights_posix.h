// The access rights that a new file takes over from the file it replaces on
// a POSIX system: owner, group, permission bits and access ACL.

#ifndef SECTIFY_FILES_ACCESS_RIGHTS_POSIX_H_
#define SECTIFY_FILES_ACCESS_RIGHTS_POSIX_H_

#include <sys/types.h>

#include <string>
#include <string_view>

namespace sectify {

// Gives the open file `fd` the access rights of the regular file at `path`,
// if there is one: its owner and group where the system allows it, and its
// access ACL where it has one, else its read, write and execute bits alone.
// Where the ACL cannot be carried over, the bits give no one more than the
// ACL gave. Returns false on failure.
bool take_over_access_rights(int fd, const std::string& path);

// Returns permission bits that give no class of users more than `mode` and
// the access ACL `acl`, as the system stores it, gave: the owner its bits,
// the owning group its own entry within the mask (which `mode` shows as the
// group's bits), others their bits. Named users and groups get nothing.
mode_t narrowest_mode(mode_t mode, std::string_view acl);

}  // namespace sectify

#endif  // SECTIFY_FILES_ACCESS_RIGHTS_POSIX_H_
