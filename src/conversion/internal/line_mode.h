// The two ways the conversion's lines are read and written: a text in
// place, and a file from its input into a separate output.

#ifndef SECTIFY_CONVERSION_INTERNAL_LINE_MODE_H_
#define SECTIFY_CONVERSION_INTERNAL_LINE_MODE_H_

#include <cstddef>
#include <string_view>

namespace sectify::internal {

// A text is converted in place: a line ends with LF, a CR is data, and each
// line end is written as LF. A file is converted from its input into a
// separate output: a CR LF also ends a line, as a LF does, and each line
// end is written as CR LF.
struct Mode {
  bool crlf_read;                // a CR right before a LF belongs to the line end
  std::string_view written;      // what each line end of the output is
  std::string_view main_marker;  // the cut marker, with that line end
  bool separate_output;          // the output overlaps no input, and has
                                 // kOutputSlack bytes to spare after its end
};
inline constexpr Mode kTextInPlace{false, "\n", "\n[Main]", false};
inline constexpr Mode kFileStream{true, "\r\n", "\r\n[Main]", true};

// Fields are copied into a separate output a chunk of sixteen bytes at a
// time, which may write up to this many bytes past the end of the result.
inline constexpr std::size_t kOutputSlack = 16;

}  // namespace sectify::internal

#endif  // SECTIFY_CONVERSION_INTERNAL_LINE_MODE_H_
