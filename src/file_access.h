// The few file calls the driver needs from the operating system, each with a
// POSIX and a Windows version. Every call reports failure instead of
// throwing; paths are byte strings passed on as they are.

#ifndef SECTIFY_FILE_ACCESS_H_
#define SECTIFY_FILE_ACCESS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sectify::file_access {

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

  // Closes the file; returns false if the system reports an error. The
  // file is closed afterwards either way.
  bool close();

 private:
  NativeHandle release() {
    const NativeHandle handle = handle_;
    handle_ = kNoHandle;
    return handle;
  }

  NativeHandle handle_ = kNoHandle;
};

// The bytes that end a directory part in a path: "/" on POSIX systems, and
// "/", "\" and a drive's ":" on Windows.
std::string_view path_separators();

// Opens an existing file for reading. The result is not open if the file
// cannot be opened or is a directory.
File open_for_reading(const std::string& path);

// Stores the size of `file` in `size`; returns false on failure. Files
// whose size is unknown (pipes, devices) report 0.
bool size_of(const File& file, std::uint64_t& size);

// Reads up to `capacity` bytes into `buffer`. Returns the count read, 0 at
// the end of the file, or -1 on failure.
std::ptrdiff_t read_some(const File& file, char* buffer, std::size_t capacity);

enum class CreateStatus { created, exists, failed };

// Creates `path` for writing, failing with CreateStatus::exists if any
// file of that name exists. The new file gets the permission bits of the
// regular file `like`, or those of a plain new file where there is none.
CreateStatus create_new(const std::string& path, const std::string& like, File& file);

// Writes all `size` bytes; returns false on failure.
bool write_all(const File& file, const char* data, std::size_t size);

// Asks the system to start writing what was written to `file` to the disk,
// without waiting, so that a later sync has less left to do. Only a matter
// of speed: where the system cannot, nothing changes.
void start_writeback(const File& file);

// Forces what was written to `file` onto the disk; returns false on failure.
bool sync(const File& file);

// Renames `from` to `to` in one step, replacing what `to` names (a
// symbolic link itself, not its target). Returns false on failure.
bool rename_over(const std::string& from, const std::string& to);

// Removes the file `path`; returns false on failure.
bool remove_file(const std::string& path);

}  // namespace sectify::file_access

#endif  // SECTIFY_FILE_ACCESS_H_
