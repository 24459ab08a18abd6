#include <acl/libacl.h>
#include <fcntl.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "files/linux_extras.h"
#include "files/system_call.h"

namespace sectify::linux_extras {
namespace {

// The path through /proc by which `fd` can be named.
std::string through_proc(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// Whether `type`, a file system's magic number (<linux/magic.h>), is that
// of a view of the kernel rather than a store of data.
bool is_pseudo(unsigned long type) {
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
  return std::find(std::begin(kPseudo), std::end(kPseudo), type) != std::end(kPseudo);
}

constexpr unsigned long kOverlay = 0x794c7630;
constexpr unsigned long kEcryptfs = 0xf15f;

// Whether `type` is that of a file system stacked on other folders, whose
// files are theirs.
bool is_stacked(unsigned long type) { return type == kOverlay || type == kEcryptfs; }

// Returns the text of the small file `path`, or nothing if it cannot be
// read.
std::optional<std::string> text_of(const std::string& path) {
  const int fd = SECTIFY_CALL(-1, open, path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string text;
  char buffer[4096];
  ssize_t got;
  while ((got = SECTIFY_CALL(-1, read, fd, buffer, sizeof buffer)) > 0) {
    text.append(buffer, static_cast<std::size_t>(got));
  }
  static_cast<void>(SECTIFY_CALL(-1, ::close, fd));
  if (got < 0) return std::nullopt;
  return text;
}

// Calls `f` with each part of `text` that `separator` parts.
template <typename F>
void for_each_part(std::string_view text, char separator, F f) {
  for (std::size_t at = 0; at <= text.size();) {
    const std::size_t end = std::min(text.find(separator, at), text.size());
    f(text.substr(at, end - at));
    at = end + 1;
  }
}

// Returns the folders that the stacked file system (of magic number
// `type`) of the file `fd` lies on, as this process's
// /proc/self/mountinfo names them: overlayfs's layers, ecryptfs's
// encrypted folder. Returns nothing if its mount is not there (another
// mount namespace's) or cannot be read. A folder whose name mountinfo
// escapes (a blank, a comma, a colon) is named as escaped, which names no
// folder: it cannot be told, which errs towards refusing.
std::optional<std::vector<std::string>> layers_of(int fd, unsigned long type) {
  const std::optional<std::string> info = text_of("/proc/self/fdinfo/" + std::to_string(fd));
  const std::optional<std::string> mounts = text_of("/proc/self/mountinfo");
  const std::size_t id = info ? info->find("mnt_id:") : std::string::npos;
  if (!mounts || id == std::string::npos) return std::nullopt;
  // A line: ID PARENT DEVICE ROOT POINT OPTIONS [TAGS...] - TYPE SOURCE SUPER_OPTIONS
  const std::string table = "\n" + *mounts;
  const std::size_t line =
      table.find("\n" + std::to_string(std::strtoul(info->c_str() + id + 7, nullptr, 10)) + " ");
  const std::size_t fields = table.find(" - ", line);
  if (line == std::string::npos || fields > table.find('\n', line + 1)) return std::nullopt;
  std::vector<std::string_view> tail;
  for_each_part(std::string_view(table).substr(fields + 3, table.find('\n', fields) - fields - 3),
                ' ', [&tail](std::string_view field) { tail.push_back(field); });
  if (tail.size() < 3) return std::nullopt;
  if (type == kEcryptfs) return std::vector<std::string>{std::string(tail[1])};
  std::vector<std::string> layers;
  for_each_part(tail[2], ',', [&layers](std::string_view option) {
    const std::string_view name = option.substr(0, option.find('=') + 1);
    if (name == "lowerdir=" || name == "upperdir=" || name == "lowerdir+=" || name == "datadir+=") {
      for_each_part(option.substr(name.size()), ':',
                    [&layers](std::string_view folder) { layers.emplace_back(folder); });
    }
  });
  return layers;
}

// An ACL from libacl, freed when it goes out of scope.
using Acl = std::unique_ptr<std::remove_pointer_t<acl_t>, int (*)(void*)>;

// Returns the permission set of the entry of `acl` with `tag`, through
// which the entry's permissions change, or null if it has none.
acl_permset_t permissions_of(acl_t acl, acl_tag_t tag) {
  acl_entry_t entry;
  acl_tag_t entry_tag;
  acl_permset_t permissions;
  for (int which = ACL_FIRST_ENTRY; acl_get_entry(acl, which, &entry) == 1;
       which = ACL_NEXT_ENTRY) {
    if (acl_get_tag_type(entry, &entry_tag) == 0 && entry_tag == tag &&
        acl_get_permset(entry, &permissions) == 0) {
      return permissions;
    }
  }
  return nullptr;
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
  struct statfs where {};
  if (SECTIFY_CALL(-1, fstatfs, fd, &where) != 0) return false;
  const auto type = static_cast<unsigned long>(where.f_type);
  pseudo = is_pseudo(type);
  if (pseudo || !is_stacked(type)) return true;
  // A stacked file system is what lies beneath it, and where that cannot
  // be told, it counts as a view of the kernel.
  const std::optional<std::vector<std::string>> layers = layers_of(fd, type);
  pseudo = !layers || layers->empty();
  for (std::size_t i = 0; !pseudo && i < layers->size(); ++i) {
    struct statfs layer {};
    pseudo = SECTIFY_CALL(-1, statfs, (*layers)[i].c_str(), &layer) != 0 ||
             is_pseudo(static_cast<unsigned long>(layer.f_type)) ||
             is_stacked(static_cast<unsigned long>(layer.f_type));
  }
  return true;
}

bool copy_access_acl(int from, int to, bool group_given) {
  // libacl reads a file without an ACL as the ACL its bits make.
  const Acl acl(SECTIFY_CALL(nullptr, acl_get_fd, from), acl_free);
  if (acl == nullptr) return false;
  if (!group_given) {
    const acl_permset_t group = permissions_of(acl.get(), ACL_GROUP_OBJ);
    const acl_permset_t mask = permissions_of(acl.get(), ACL_MASK);
    const acl_permset_t other = permissions_of(acl.get(), ACL_OTHER);
    if (group == nullptr || other == nullptr) return false;
    for (const acl_perm_t bit :
         {acl_perm_t{ACL_READ}, acl_perm_t{ACL_WRITE}, acl_perm_t{ACL_EXECUTE}}) {
      // Others keep only what the group had, as the mask left it.
      const bool group_had =
          acl_get_perm(group, bit) == 1 && (mask == nullptr || acl_get_perm(mask, bit) == 1);
      if ((!group_had && acl_delete_perm(other, bit) != 0) || acl_delete_perm(group, bit) != 0) {
        return false;
      }
    }
  }
  if (SECTIFY_CALL(-1, acl_set_fd, to, acl.get()) == 0) return true;
  mode_t bits = 0;
  if (errno != ENOTSUP || acl_equiv_mode(acl.get(), &bits) != 0) return false;
  return SECTIFY_CALL(-1, fchmod, to, bits) == 0;
}

void start_writeback(int fd) {
  static_cast<void>(SECTIFY_CALL(-1, sync_file_range, fd, 0, 0, SYNC_FILE_RANGE_WRITE));
}

}  // namespace sectify::linux_extras
