// Replacing a file safely: the new content goes to a new file beside the
// old one, which takes the old one's name in one step only when complete,
// and which nothing leaves behind: neither a failure nor an interruption.

#ifndef SECTIFY_FILES_REPLACEMENT_FILE_H_
#define SECTIFY_FILES_REPLACEMENT_FILE_H_

#include <string>

#include "files/file_access.h"

namespace sectify {

// A new file that is to replace the file at a path. Until commit() has
// succeeded, the path names its old file, if any, and the new file is
// removed when the object goes or an interruption ends the run (see
// interruption.h).
class ReplacementFile {
 public:
  enum class Status { created, failed, is_input, read_only };

  ReplacementFile() = default;
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  ~ReplacementFile() { discard(); }

  // Takes `folder`, the folder of `path` as open_for_reading() opened it,
  // which every later step uses however its path changes meanwhile, and
  // creates the new file there: on POSIX systems with the rights of
  // `input` (see give_rights_of_input()), on Windows readable and writable
  // by its owner alone until commit(). Creates nothing and returns Status::is_input if the
  // entry at `path` itself (not a file that a symbolic link there leads
  // to) is the file `input` reads, Status::read_only if it is a file its
  // owner may not write (on Windows, one with the read-only attribute),
  // and Status::failed, with error() telling why, if it is a folder or
  // anything else that is neither a regular file nor a symbolic link, or
  // the new file cannot be made.
  Status create(const std::string& path, file_access::File folder, const file_access::File& input);

  // Whether the output's name holds a file with at least one byte, which
  // commit() would replace; known from create() on.
  bool replaces_data() const { return replaces_data_; }

  // The new file, open for writing.
  const file_access::File& file() const { return file_; }

  // On Windows gives the new file the access rights of the file it
  // replaces (its attributes, permissions, streams and creation time);
  // syncs it to disk and renames it over the
  // output's name in the folder. From the moment the rename begins,
  // interruptions are held off until the process ends: the output is the
  // new file, and the run goes on to report it. The folder is synced
  // after, where the system allows, so that the name holds the new file
  // even after a power cut. Returns false, with error() telling why and
  // the new file removed, if the name still holds the old file.
  bool commit();

  // The system's code for the last failure of create() or commit().
  file_access::ErrorCode error() const { return error_; }

  // Where the earlier output was left, as a path beside the output's, if
  // not at the output's name: after a commit() that could neither finish
  // nor be undone, or that succeeded but could not remove it; else empty.
  // Only on Windows, where the old file is moved aside on the way.
  const std::string& earlier_output_left_in() const { return earlier_left_in_; }

  // Where the new output was left, likewise, after a commit() that failed
  // with the earlier output left elsewhere, or that failed and could not
  // remove the new file (Windows); else empty.
  const std::string& new_output_left_in() const { return new_left_in_; }

 private:
  // Records the system's code for the failure at hand, removes the new
  // file and returns false.
  bool failed() {
    error_ = file_access::last_error();
    discard();
    return false;
  }

  // Reports a failure of create() as failed() does; returns Status::failed.
  Status creation_failed() {
    failed();
    return Status::failed;
  }

  // Closes and removes the new file, if it is still there.
  void discard();

  file_access::File folder_;      // the output's folder, from create() on
  file_access::NativePath name_;  // the output's name in folder_ (Windows: its full path)
  file_access::NativePath temp_;  // the new file's name, likewise, while it has one
#ifdef _WIN32
  std::string shown_;               // the new file's path as typed, without ".tmp"
  file_access::NativePath backup_;  // where the old file goes during the replacement
#endif
  std::string earlier_left_in_;
  std::string new_left_in_;
  file_access::File file_;
  file_access::ErrorCode error_ = 0;
  bool replaces_data_ = false;
};

}  // namespace sectify

#endif  // SECTIFY_FILES_REPLACEMENT_FILE_H_
