// What Linux offers beyond POSIX that the file layer uses where it can:
// files without a name, folder handles for search alone, ACLs (through
// libacl) and early write-back. Built where SECTIFY_LINUX_EXTRAS is set;
// elsewhere (SECTIFY_PORTABLE_POSIX, or another system) each function
// below says it cannot, and the caller takes the portable path. Each
// reports failure as POSIX calls do, with errno.

#ifndef SECTIFY_FILES_LINUX_EXTRAS_H_
#define SECTIFY_FILES_LINUX_EXTRAS_H_

#include <cerrno>

namespace sectify::linux_extras {

#ifdef SECTIFY_LINUX_EXTRAS

// Creates a file without a name in the folder `folder`, open for writing,
// with the permission bits `mode` (under the umask or the folder's default
// ACL). Returns its descriptor, or -1 where the file system has
// no such files or link_unnamed() could not name it later (no /proc).
int open_unnamed(int folder, unsigned mode);

// Gives the file `fd` from open_unnamed() the name `name` in `folder`.
// Returns false on failure (EEXIST: the name is taken).
bool link_unnamed(int fd, int folder, const char* name);

// Opens the folder at `path` for use as a folder handle only, which needs
// no right to read it. Returns the descriptor, or -1 (the stand-in below
// leaves errno as it was).
int open_folder_path(const char* path);

// Opens the file that `path`, relative to `folder`, leads to, following
// links as the kernel follows them for any program (fs.protected_symlinks
// applies), as a handle that reads, writes and acts on nothing (O_PATH).
// Returns the descriptor, or -1.
int open_path(int folder, const char* path);

// Opens the file that the handle `fd` from open_path() holds for reading,
// through /proc, so that it is the same file whatever its name leads to
// now, without waiting (O_NONBLOCK, which the caller clears): a lease
// held on it makes the open fail at once. Returns the descriptor, or -1
// (ENOENT without /proc).
int reopen_for_reading(int fd);

// Returns whether `fd` lies on a file system whose regular files are views
// of the kernel rather than stores of data (procfs, sysfs, debugfs, mqueue,
// nsfs, binfmt_misc and the like), which may act on being opened or read.
// A file system stacked on folders (overlayfs, ecryptfs) counts as one
// unless each folder it stacks on, as this process's mount table names
// it, lies on a store of data: one whose mount lies in another mount
// namespace cannot be told, and counts. Sets `pseudo`; returns false if
// the system cannot tell whether the file lies on a view of the kernel.
bool on_pseudo_file_system(int fd, bool& pseudo);

// Gives the file `to` the access ACL of the file `from`, and so its
// permission bits (never setuid, setgid or sticky); without `group_given`
// (`to`'s group is not `from`'s), its owning group's entry gets no rights
// and others no more than that entry had, since members of `from`'s group
// whom it denies would read `to` as others. Where `to`'s file system has
// no ACLs, `from`'s permission bits alone do, if its ACL holds nothing
// more. Returns false on failure: ENOTSUP where ACLs cannot be copied.
bool copy_access_acl(int from, int to, bool group_given);

// Asks the system to start writing what was written to `fd` to disk.
void start_writeback(int fd);

#else

inline int open_unnamed(int, unsigned) {
  errno = ENOTSUP;
  return -1;
}
inline bool link_unnamed(int, int, const char*) {
  errno = ENOTSUP;
  return false;
}
inline int open_folder_path(const char*) { return -1; }
inline int open_path(int, const char*) {
  errno = ENOTSUP;
  return -1;
}
inline int reopen_for_reading(int) {
  errno = ENOTSUP;
  return -1;
}
inline bool on_pseudo_file_system(int, bool& pseudo) {
  pseudo = false;
  return true;
}
// A system's ACLs, if it has any, cannot be read or set here, and the
// caller gives the file rights that no ACL it cannot see could widen.
inline bool copy_access_acl(int, int, bool) {
  errno = ENOTSUP;
  return false;
}
inline void start_writeback(int) {}

#endif

}  // namespace sectify::linux_extras

#endif  // SECTIFY_FILES_LINUX_EXTRAS_H_
