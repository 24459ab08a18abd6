// The access rights that a new file takes over from the file it replaces on
// a POSIX system: owner, group, permission bits and access ACL.

#ifndef SECTIFY_FILES_ACCESS_RIGHTS_POSIX_H_
#define SECTIFY_FILES_ACCESS_RIGHTS_POSIX_H_

#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <string_view>

namespace sectify {

// Who may read a file: its owner, group, permission bits and access ACL,
// as the system stores it (empty for none).
struct Readers {
  uid_t uid = 0;
  gid_t gid = 0;
  mode_t mode = 0;
  std::string acl;
};

// The access rights that the system gave a new file as it created it: its
// permission bits, under the umask or the folder's default ACL, and its
// access ACL, as the system stores it (empty for none).
struct CreatedRights {
  mode_t mode = 0;
  std::string acl;
};

// Records in `created` the rights that the system gave the new file `fd`,
// then makes it readable and writable by its owner alone. Returns false on
// failure.
bool keep_private(int fd, CreatedRights& created);

// Whether a new file of `owner` that takes the place of the entry `old` of
// a folder whose own status is `folder`, with content from a file of
// `input_owner`, takes over that entry's rights: a regular file of `owner`
// or, outside a folder with the sticky bit, of `input_owner`. A file that
// someone else planted under the output's name never hands them the
// output.
bool takes_over_rights(const struct stat& folder, const struct stat& old, uid_t owner,
                       uid_t input_owner);

// Gives the open new file `fd` the access rights it must have to take the
// place of the entry `name` of the open folder `folder`, with the content
// of a file that `input` may read:
// - where that entry does not hand over its rights (takes_over_rights()),
//   the rights that the system gave the new file when it created it with
//   the input's permission bits, `created`: those a new copy of the input
//   gets there;
// - else its permission bits (read, write, execute) and access ACL, or
//   where the ACL cannot be carried over, no ACL and permission bits that
//   give no one more than the ACL gave; and, outside a folder with the
//   sticky bit, its owner and group as far as the system allows. Where the
//   group is not carried over, its bits and the ACL's entry for it are
//   dropped rather than given to the new file's group.
// Either way narrowed by narrow_to_readers(). Returns false on failure.
bool take_over_access_rights(int fd, int folder, const char* name, const CreatedRights& created,
                             const Readers& input);

// Takes the right to read away from every class of users of a file of
// group `gid`, with permission bits `mode` and access ACL `acl`, that
// `input` does not let read: its group, the named users and groups of its
// ACL, others. A user or group counts as a reader of `input` by its own
// entry (owner, owning group, a named entry, within the mask), or as one of
// the others where it has none; group membership is not looked up, so the
// narrowing errs towards less. The owner keeps its bits.
void narrow_to_readers(gid_t gid, mode_t& mode, std::string& acl, const Readers& input);

// Returns permission bits that give no class of users more than `mode` and
// the access ACL `acl`, as the system stores it, gave: the owner its bits,
// the owning group its own entry within the mask (which `mode` shows as the
// group's bits), others their bits. Named users and groups get nothing.
// Without an ACL (`acl` empty), that is `mode`'s access bits.
mode_t narrowest_mode(mode_t mode, std::string_view acl);

// Returns the access ACL `acl` with nothing left in the owning group's
// entry.
std::string without_owning_group(std::string acl);

}  // namespace sectify

#endif  // SECTIFY_FILES_ACCESS_RIGHTS_POSIX_H_
