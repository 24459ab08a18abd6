// Reading and writing whole text files with the line ends of Windows text
// mode, the same on every platform: CR LF is read as LF, and LF is written
// as CR LF. No other byte is translated.

#ifndef SECTIFY_TEXT_FILE_H_
#define SECTIFY_TEXT_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sectify {

enum class ReadStatus { ok, cannot_open, cannot_read, too_large };

// Reads the whole file at `path` into `text`, each CR LF turned into LF.
// Returns ReadStatus::too_large when the file does not fit in memory.
ReadStatus read_text_file(const std::string& path, std::string& text);

// Replaces the file at `path` with one holding `text`, each LF written as
// CR LF. The text goes to a new file beside it, which is synced and then
// renamed over `path`, so `path` names either its old file or the whole new
// one. Returns false on any failure, having removed the new file.
bool replace_text_file(const std::string& path, std::string_view text);

// Turns each CR LF in s[0, n) into LF, in place, and returns the new length.
// A CR without a LF after it stays.
std::size_t crlf_to_lf(char* s, std::size_t n);

// Copies the front of `text` into out[0, capacity), each LF as CR LF, and
// drops what it copied from `text`. Returns the count of bytes written,
// which is not 0 while `text` is not empty and `capacity` is at least 2.
std::size_t lf_to_crlf(std::string_view& text, char* out, std::size_t capacity);

}  // namespace sectify

#endif  // SECTIFY_TEXT_FILE_H_
