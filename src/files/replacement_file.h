// Replacing a file safely: the new content goes to a new file beside the
// old one, which takes the old one's name in one step only when complete,
// and which nothing leaves behind: neither a failure nor an interruption.

#ifndef SECTIFY_FILES_REPLACEMENT_FILE_H_
#define SECTIFY_FILES_REPLACEMENT_FILE_H_

#include <string>

#include "files/file_access.h"

namespace sectify {

// Prepares the process for the signals (POSIX) or console events (Windows)
// that interrupt a run: each removes the new file of a ReplacementFile, if
// it has a name yet, and ends the process as interrupted. Also makes a
// write past the file size limit or to a closed pipe fail as an error
// instead of ending the process. Call once, at start-up.
void prepare_for_interruption();

// A new file that is to replace the file at a path. Until commit() has
// succeeded, the path names its old file, if any, and the new file is
// removed when the object goes.
class ReplacementFile {
 public:
  enum class Status { created, failed, is_input, read_only };

  ReplacementFile() = default;
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  ~ReplacementFile() { discard(); }

  // Creates the new file in the folder of `path`, with the permission bits,
  // and where the system allows it the owner and group, of the regular file
  // it will replace. Creates nothing and returns Status::is_input if the
  // entry at `path` itself (not a file that a symbolic link there leads to)
  // is the file `input` reads, and Status::read_only if it is a file its
  // owner may not write.
  Status create(const std::string& path, const file_access::File& input);

  // The new file, open for writing.
  const file_access::File& file() const { return file_; }

  // Syncs the new file to disk, closes it and renames it over the path,
  // and syncs the folder, so that the name holds the new file even after
  // a power cut. Returns false on failure, having removed the new file.
  bool commit();

 private:
  // Closes and removes the new file, if it is still there.
  void discard();

  std::string path_;
  std::string folder_;            // the path's folder part, with its separator
  file_access::NativePath temp_;  // the new file's name, while it has one
  file_access::File file_;
};

}  // namespace sectify

#endif  // SECTIFY_FILES_REPLACEMENT_FILE_H_
