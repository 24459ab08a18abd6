// Converting an XML flight file into a plain-text flight file, streamed from
// one open file to the other in blocks of a fixed size.

#ifndef SECTIFY_FILES_FLIGHT_FILE_H_
#define SECTIFY_FILES_FLIGHT_FILE_H_

#include <cstddef>

#include "conversion/layout_findings.h"
#include "files/file_access.h"

namespace sectify {

enum class StreamStatus { ok, cannot_read, cannot_write };

struct StreamResult {
  StreamStatus status;
  file_access::ErrorCode error = 0;  // why, where status is not ok
  bool main_found = false;           // false: the output is empty
  LayoutFindings findings;           // where the input departs from the expected layout
};

// Reads `input` to its end in blocks of `block_size` bytes and writes the
// converted flight to `output` as it becomes final. Memory stays within a
// few times `block_size` unless a single line is larger. Throws
// std::bad_alloc if a line does not fit in memory, or std::length_error if
// it is longer than a string can be.
StreamResult convert_file(const file_access::File& input, const file_access::File& output,
                          std::size_t block_size);

}  // namespace sectify

#endif  // SECTIFY_FILES_FLIGHT_FILE_H_
