#include "files/access_rights_posix.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "files/linux_extras.h"
#include "files/system_call.h"

namespace sectify {

bool give_rights_of_input(int fd, int input, const struct stat& st) {
  // Only root may give a file away, and only to a group of theirs may an
  // ordinary user; what the system does not allow (EPERM, or EINVAL for an
  // id that the runner's user namespace does not map) stays the runner's.
  const auto refused = [] { return errno == EPERM || errno == EINVAL; };
  if (SECTIFY_CALL(-1, fchown, fd, st.st_uid, st.st_gid) != 0) {
    if (!refused()) return false;
    if (SECTIFY_CALL(-1, fchown, fd, static_cast<uid_t>(-1), st.st_gid) != 0 && !refused()) {
      return false;
    }
  }
  struct stat now {};
  if (SECTIFY_CALL(-1, fstat, fd, &now) != 0) return false;
  if (linux_extras::copy_access_acl(input, fd, now.st_gid == st.st_gid)) return true;
  return errno == ENOTSUP && SECTIFY_CALL(-1, fchmod, fd, 0600) == 0;
}

}  // namespace sectify
