// The access rights of a new output on a POSIX system: those of its input,
// as a copy that keeps them (cp -p) would have.

#ifndef SECTIFY_FILES_ACCESS_RIGHTS_POSIX_H_
#define SECTIFY_FILES_ACCESS_RIGHTS_POSIX_H_

#include <sys/stat.h>

namespace sectify {

// Gives the new file `fd` the rights of the open input `input`, whose
// status is `st`: its owner and group as far as the system lets the runner
// give them (else the runner's), and its permission bits and access ACL,
// never setuid, setgid or sticky. Where the input's group cannot be given,
// the owning group gets no rights and others no more than the input's
// group had. Where ACLs cannot be copied (the portable build, which cannot
// see whom an ACL denies), the file is readable and writable by its owner
// alone. Then no one reads the file whom the input does not let read it,
// but the runner, who has. Returns false on failure.
bool give_rights_of_input(int fd, int input, const struct stat& st);

}  // namespace sectify

#endif  // SECTIFY_FILES_ACCESS_RIGHTS_POSIX_H_
