#include "conversion/internal/line_engine.h"

#include <cstring>
#include <string>
#include <string_view>

#include "conversion/internal/byte_scan.h"
#include "conversion/internal/layout_checks.h"
#include "conversion/internal/line_shapes.h"
#include "conversion/internal/rewrite_rules.h"

namespace sectify::internal {
namespace {

// Each line end of the output is CR LF, and so the cut marker begins with
// one.
constexpr std::string_view kWrittenLineEnd = "\r\n";
constexpr std::string_view kMainMarker = "\r\n[Main]";
static_assert(kMainMarker.substr(1) == kCutMarker);

// Applies rules 1 to 10, one after the other, to `line`, which holds no line
// end, and writes the result at out + w. Returns the end of the result.
std::size_t convert_any_line(std::string_view line, char* out, std::size_t w) {
  std::memcpy(out + w, line.data(), line.size());
  std::size_t size = line.size();
  for (std::size_t order = 1; order <= kLineRuleCount; ++order) {
    size = rewrite_span(out + w, size, rule(order).pattern, rule(order).replacement);
  }
  return w + size;
}

// Runs rules 11 and 12 at the line end that follows out[.., state.w).
// `state.pending[i]` is where the unfinished line of rule 11 + i begins:
// the bytes it has taken in since the last line end it let through.
// Returns true if the line end was written, which makes everything before
// it final; false if a rule removed it, joining the line to the next.
//
// Run over the text as a cascade, rule 11 passes each line end it keeps on
// to rule 12. Their patterns hold a line end only as their last byte, so
// they can match only when a line end arrives, and never reach back past
// the last line end they let through.
bool end_line(char* out, LineState& state) {
  std::size_t& w = state.w;
  for (std::size_t i = 0; i < kLineEndRuleCount; ++i) {
    std::string_view head = rule(kLineRuleCount + 1 + i).pattern;
    head.remove_suffix(1);
    // Most lines end in another byte than a closing tag's last one.
    if (w - state.pending[i] >= head.size() && out[w - 1] == head.back() &&
        std::memcmp(out + w - head.size(), head.data(), head.size()) == 0) {
      w -= head.size();
      for (std::size_t j = 0; j < i; ++j) state.pending[j] = w;
      return false;
    }
  }
  std::memcpy(out + w, kWrittenLineEnd.data(), kWrittenLineEnd.size());
  w += kWrittenLineEnd.size();
  state.pending.fill(w);
  return true;
}

}  // namespace

// Rules 1 to 10 neither match nor make a line end, so running each over the
// whole text is the same as running all ten over each line in turn. Rules
// 11 and 12 then see the lines one after the other (see end_line).
//
// A line that end_line makes final is never changed again, and it holds a
// single line end, at its end, so the cut marker can only begin at the line
// end of one final line and run into the next one. Until the marker is
// found, each final line is therefore dropped but for its line end, kept at
// out[0]; the marker is found when the output starts with it.
void convert_lines(const char* in, std::size_t n, char* out, LineState& state,
                   LayoutFindings* findings) {
  std::size_t r = 0;
  while (r < n) {
    const std::size_t start = state.w;
    std::size_t line_end;
    unsigned char classes = kPlain;
    const bool shaped = convert_shaped_line(in, r, n, out, state.w, line_end, r, classes);
    ++state.input_lines;
    // A shaped line's blank runs after its indentation lie in its fields.
    bool blank_run_cut = (classes & kBlankRunCut) != 0;
    if (!shaped) {
      const void* lf = std::memchr(in + r, '\n', n - r);
      const std::size_t e =
          lf != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lf) - in) : n;
      line_end = e < n && e > r && in[e - 1] == '\r' ? e - 1 : e;
      const std::string_view input_line(in + r, line_end - r);
      blank_run_cut = findings != nullptr && cuts_blank_run(input_line);
      state.w = convert_any_line(input_line, out, state.w);
      r = e + 1;
    }
    if (findings != nullptr && blank_run_cut) check_blank_run(state.input_lines, *findings);
    if (line_end == n) break;  // the text's last line, without a line end
    const std::size_t begin = state.pending[1];
    const std::string_view line(out + begin, state.w - begin);
    const std::uint64_t line_number = state.line_start;
    if (!end_line(out, state)) {
      // A closing line that left nothing of the line names the next one.
      if (state.w == state.pending[1]) state.line_start = state.input_lines + 1;
      continue;
    }
    // `line` is final now.
    state.line_start = state.input_lines + 1;
    if (!state.main_found) {
      if (starts_with(out, state.w, 0, kMainMarker)) {
        state.main_found = true;
      } else {
        if (findings != nullptr) check_dropped_line(line, line_number, *findings);
        std::memcpy(out, kWrittenLineEnd.data(), kWrittenLineEnd.size());
        state.w = kWrittenLineEnd.size();
        state.pending.fill(state.w);
        continue;
      }
    }
    if (findings == nullptr) continue;
    // A line of a common shape that no closing line joined to another is in
    // the form unless its indentation left blanks, and can keep a reference
    // only if a field kept a '&'.
    const bool alone = shaped && begin == start;
    const bool in_form =
        alone ? line.empty() || (line.front() != ' ' && line.front() != '\t') : in_plain_form(line);
    const bool may_hold_reference = !alone || (classes & kAmpersand) != 0;
    const bool may_hold_utf8 = !alone || (classes & kBeyondAscii) != 0;
    if (!in_form || may_hold_reference || may_hold_utf8) {
      check_output_line(line, line_number, in_form, may_hold_reference, may_hold_utf8, *findings);
    }
  }
}

void cut_at_end(const char* out, LineState& state, LayoutFindings* findings) {
  if (!state.main_found && starts_with(out, state.w, 0, kMainMarker)) {
    state.main_found = true;
  }
  if (!state.main_found) {
    state.w = 0;
    return;
  }
  const std::size_t begin = state.pending[1];
  if (begin == state.w) return;
  const std::string_view line(out + begin, state.w - begin);
  if (findings != nullptr) {
    check_output_line(line, state.line_start, in_plain_form(line), true, true, *findings);
  }
}

}  // namespace sectify::internal
