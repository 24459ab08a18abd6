// The line engine of the streaming file converter: converts complete lines
// from its input into a separate output, runs the two closing-line rules at
// each line end, and makes the cut at the Main section as lines become
// final. A CR LF ends a line as a LF does, and each line end is written as
// CR LF.

#ifndef SECTIFY_CONVERSION_INTERNAL_LINE_ENGINE_H_
#define SECTIFY_CONVERSION_INTERNAL_LINE_ENGINE_H_

#include <array>
#include <cstddef>
#include <cstdint>

#include "conversion/layout_findings.h"

namespace sectify::internal {

// Fields are copied into the output a chunk of sixteen bytes at a time,
// which may write up to this many bytes past the end of the result: the
// output needs this much room to spare after its end.
inline constexpr std::size_t kOutputSlack = 16;

// What the conversion carries from one line to the next: where its output
// ends, where the lines that the two closing-line rules may still join
// begin, whether the Main marker has been found, and which input line the
// output line under way began on.
struct LineState {
  std::size_t w = 0;
  std::array<std::size_t, 2> pending{};
  bool main_found = false;
  std::uint64_t input_lines = 0;  // lines of the input converted so far
  std::uint64_t line_start = 1;   // the input line that began out[pending[1], w)
};

// Converts the lines of in[0, n) and writes the result at out + state.w,
// a separate output with kOutputSlack bytes to spare after the result.
// Every line ends with a LF but the last, which may end the text without
// one and then requires in[n] == '\0'. Records what the layout checks find
// in `findings`, unless it is null.
void convert_lines(const char* in, std::size_t n, char* out, LineState& state,
                   LayoutFindings* findings);

// Makes the cut once the whole text is converted: whatever follows the last
// line end is final as it stands, and is the output's last line if it is
// not empty. Without the Main marker the output becomes empty.
void cut_at_end(const char* out, LineState& state, LayoutFindings* findings);

}  // namespace sectify::internal

#endif  // SECTIFY_CONVERSION_INTERNAL_LINE_ENGINE_H_
