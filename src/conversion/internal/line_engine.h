// The line engine: converts complete lines, runs the two closing-line rules
// at each line end, and makes the cut at the Main section as lines become
// final. The in-place text conversion and the streaming file converter are
// its two users, one per Mode.

#ifndef SECTIFY_CONVERSION_INTERNAL_LINE_ENGINE_H_
#define SECTIFY_CONVERSION_INTERNAL_LINE_ENGINE_H_

#include <array>
#include <cstddef>
#include <cstdint>

#include "conversion/internal/line_mode.h"
#include "conversion/layout_findings.h"

namespace sectify::internal {

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

// Converts the lines of in[0, n) and writes the result at out + state.w.
// Every line ends with a LF but the last, which may end the text without
// one and then requires in[n] == '\0'. `out` may be `in` itself when each
// line end is written as a single LF. Records what the layout checks find
// in `findings`, unless it is null.
template <const Mode& kMode>
void convert_lines(const char* in, std::size_t n, char* out, LineState& state,
                   LayoutFindings* findings);

// Makes the cut once the whole text is converted: whatever follows the last
// line end is final as it stands, and is the output's last line if it is
// not empty. Without the Main marker the output becomes empty.
template <const Mode& kMode>
void cut_at_end(const char* out, LineState& state, LayoutFindings* findings);

}  // namespace sectify::internal

#endif  // SECTIFY_CONVERSION_INTERNAL_LINE_ENGINE_H_
