// The few calls the driver needs from the operating system for its files
// and the errors they meet, each with a POSIX and a Windows version. Every
// call reports failure instead of throwing. Paths and texts are UTF-8 on
// Windows and bytes as they are elsewhere; only this layer turns them into
// what the system takes.

#ifndef SECTIFY_FILES_FILE_ACCESS_H_
#define SECTIFY_FILES_FILE_ACCESS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sectify::file_access {

// The code of a failure as the system reports it: errno on POSIX systems,
// GetLastError's code on Windows.
using ErrorCode = unsigned long;

// Returns the code of the last failure of a system call on this thread.
ErrorCode last_error();

// Sets the code that last_error() returns, for a failure that the system
// reports without one.
void set_last_error(ErrorCode code);

// Returns the system's description of `code`, in the user's language where
// the system has one, as UTF-8 without a final line end.
std::string describe(ErrorCode code);

// Opens those of the standard streams' descriptors (0 to 2 on POSIX
// systems) that are closed on /dev/null, so that no file the run opens
// takes one of them and gets its messages. Returns false on failure; on
// Windows there is nothing to do.
bool hold_standard_streams();

// A file descriptor or Windows HANDLE, stored as an integer.
using NativeHandle = std::intptr_t;
inline constexpr NativeHandle kNoHandle = -1;

// An open file, closed when it goes out of scope unless closed before.
class File {
 public:
  File() = default;
  explicit File(NativeHandle handle) : handle_(handle) {}
  File(File&& other) noexcept : handle_(other.release()) {}
  File& operator=(File&& other) noexcept {
    if (this != &other) {
      close();
      handle_ = other.release();
    }
    return *this;
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File() { close(); }

  bool is_open() const { return handle_ != kNoHandle; }
  NativeHandle get() const { return handle_; }

  // Gives up the handle without closing it, and returns it.
  NativeHandle release() {
    const NativeHandle handle = handle_;
    handle_ = kNoHandle;
    return handle;
  }

  // Closes the file; returns false if the system reports an error. The
  // file is closed afterwards either way.
  bool close();

 private:
  NativeHandle handle_ = kNoHandle;
};

// The bytes that end a directory part in a path: "/" on POSIX systems, and
// "/", "\" and a drive's ":" on Windows.
std::string_view path_separators();

// Returns the folder part of `path` with its last separator, or "" for a
// name in the current folder.
inline std::string folder_of(const std::string& path) {
  const std::size_t end = path.find_last_of(path_separators());
  return end == std::string::npos ? std::string() : path.substr(0, end + 1);
}

// Returns the file-name part of `path`: what follows its last separator.
inline std::string_view file_name_of(std::string_view path) {
  const std::size_t end = path.find_last_of(path_separators());
  return end == std::string_view::npos ? path : path.substr(end + 1);
}

// A path in the form the system's calls take: the bytes as they are on
// POSIX systems, UTF-16 on Windows.
#ifdef _WIN32
using NativePath = std::wstring;

// Returns `path` in the form the system's calls take: UTF-16, and where its
// full form is too long for the plain calls, that full form behind the
// "\\?\" prefix, which lifts their limit of 260 characters.
NativePath native_path(const std::string& path);

// Returns `path` as native_path() does, but always in its full form, which
// some calls (ReplaceFileW) need.
NativePath full_native_path(const std::string& path);
#else
using NativePath = std::string;
#endif

// Opens the folder that holds `path` into `folder`, the one folder that the
// whole run reads from and writes to, then the existing regular file
// `path` in it for reading. The result is not open if the file cannot be
// opened or is anything else: a folder, a pipe, a device, a kernel's view
// such as a file of /proc (on Windows also a reserved device name such as
// "nul.fxml", or a pipe), which are refused before they are opened. On
// POSIX systems the file is opened relative to `folder`, and a symbolic
// link that another user owns is followed only to a file that user could
// read. On Windows `folder` is not open where its user may not list it.
File open_for_reading(const std::string& path, File& folder);

#ifdef _WIN32
// Opens the existing file or folder `path` with CreateFileW, with `access`,
// `sharing` and `flags` as it takes them, and so that a pipe's server
// behind the path could not act as the user. The result is not open on
// failure.
File open_existing(const NativePath& path, unsigned long access, unsigned long sharing,
                   unsigned long flags);
#endif

// Returns whether `path` names a folder, as a user who gives a folder
// instead of a flight hears; false where it cannot be told.
bool is_folder(const std::string& path);

// Stores the size of `file` in `size`; returns false on failure.
bool size_of(const File& file, std::uint64_t& size);

// Reads up to `capacity` bytes into `buffer`. Returns the count read, 0 at
// the end of the file, or -1 on failure.
std::ptrdiff_t read_some(const File& file, char* buffer, std::size_t capacity);

// Writes all `size` bytes; returns false on failure.
bool write_all(const File& file, const char* data, std::size_t size);

// Asks the system to start writing what was written to `file` to the disk,
// without waiting, so that a later sync has less left to do. Only a matter
// of speed: where the system cannot, nothing changes.
void start_writeback(const File& file);

}  // namespace sectify::file_access

#endif  // SECTIFY_FILES_FILE_ACCESS_H_
