// Replacing a file safely: the new content goes to a new file beside the
// old one, which takes the old one's name in one step only when complete.

#ifndef SECTIFY_REPLACEMENT_FILE_H_
#define SECTIFY_REPLACEMENT_FILE_H_

#include <string>

#include "file_access.h"

namespace sectify {

// A new file that is to replace the file at a path. Until commit() has
// succeeded, the path names its old file, if any, and the new file is
// removed when the object goes.
class ReplacementFile {
 public:
  ReplacementFile() = default;
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  ~ReplacementFile() { discard(); }

  // Creates the new file in the folder of `path`, with the permission bits
  // of the regular file it will replace. Returns false if it cannot be
  // created.
  bool create(const std::string& path);

  // The new file, open for writing.
  const file_access::File& file() const { return file_; }

  // Syncs the new file to disk, closes it and renames it over the path.
  // Returns false on failure, having removed the new file.
  bool commit();

 private:
  void discard();

  std::string path_;
  std::string temp_;  // the new file's name until it is renamed
  file_access::File file_;
};

}  // namespace sectify

#endif  // SECTIFY_REPLACEMENT_FILE_H_
