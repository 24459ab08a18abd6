#include "conversion/flight_file_converter.h"

#include <cstring>
#include <stdexcept>
#include <string>

#include "conversion/internal/layout_checks.h"
#include "conversion/internal/line_engine.h"

namespace sectify {

struct FlightFileConverter::State {
  // Makes room for `bound` bytes of output after the output kept so far and
  // returns where the output begins.
  char* output_for(std::size_t bound);

  // The bytes of output that closing lines have joined into the line under
  // way, which the next input line continues.
  std::size_t held() const { return lines.w - lines.pending[1]; }

  // Where the layout checks record what they find, if they run.
  LayoutFindings* checks() { return check_layout ? &findings : nullptr; }

  std::string carry;   // the input's unfinished last line
  std::string output;  // the output; [0, returned) went to the caller
  std::size_t returned = 0;
  internal::LineState lines;
  bool check_layout = true;
  LayoutFindings findings;
  std::string first_bytes;  // of the input, up to the two of a byte order mark
};

char* FlightFileConverter::State::output_for(std::size_t bound) {
  // What the caller has taken goes; all of it lies before both pending
  // lines.
  const std::size_t kept = lines.w - returned;
  std::memmove(output.data(), output.data() + returned, kept);
  lines.w = kept;
  for (std::size_t& p : lines.pending) p -= returned;
  returned = 0;
  const std::size_t need = kept + bound + internal::kOutputSlack;
  if (output.size() < need) output.resize(need);
  return output.data();
}

FlightFileConverter::FlightFileConverter(bool check_layout) : state_(std::make_unique<State>()) {
  state_->check_layout = check_layout;
}

FlightFileConverter::~FlightFileConverter() = default;

std::string_view FlightFileConverter::convert(std::string_view block) {
  State& s = *state_;
  constexpr std::size_t kMarkSize = 2;
  if (s.first_bytes.size() < kMarkSize) {
    s.first_bytes.append(block.substr(0, kMarkSize - s.first_bytes.size()));
    s.findings.utf16 = internal::is_utf16_byte_order_mark(s.first_bytes);
  }
  // Only complete lines are converted; the rest waits for its line end.
  const std::size_t last_lf = block.rfind('\n');
  const std::size_t first =
      s.carry.empty() || last_lf == std::string_view::npos ? 0 : block.find('\n') + 1;
  const std::size_t unfinished = last_lf == std::string_view::npos ? block.size() : first;
  // A line counts without its line end, LF or CR LF, as the last line of a
  // text may have none, and with what closing lines joined to it so far.
  std::size_t line = s.carry.size() + unfinished;
  if (first > 0) line -= (first > 1 ? block[first - 2] : s.carry.back()) == '\r' ? 2 : 1;
  if (line > kMaxLineSize - s.held()) throw std::length_error("line too long");
  if (last_lf == std::string_view::npos) {
    s.carry.append(block);
    return {};
  }
  // The carried line is completed before the output grows, so that a long
  // line is never in memory three times: where the carry moves to grow,
  // its old and new copies are there without the output.
  s.carry.append(block.substr(0, first));
  // No rule lengthens anything, so a line gives at most its own bytes and
  // one more, where its LF becomes CR LF: the line that the carry ends, and
  // each line of the block, which is at most two bytes of output a byte.
  // Bounding the carried line by its own size keeps a long line's output
  // within the line's size.
  const std::size_t carried = first == 0 ? 0 : s.carry.size() + 1;
  char* const out = s.output_for(carried + 2 * (block.size() - first));
  std::size_t complete = last_lf + 1;
  if (first > 0) {
    internal::convert_lines(s.carry.data(), s.carry.size(), out, s.lines, s.checks());
    s.carry.clear();
    block.remove_prefix(first);
    complete -= first;
  }
  internal::convert_lines(block.data(), complete, out, s.lines, s.checks());
  if (s.held() > kMaxLineSize) throw std::length_error("line too long");
  s.carry.append(block.substr(complete));
  // Until the marker is found, the output is a line end and the lines
  // still open; after it, everything before the last line end is final.
  s.returned = s.lines.main_found ? s.lines.pending[1] : 0;
  return std::string_view(s.output.data(), s.returned);
}

std::string_view FlightFileConverter::finish() {
  State& s = *state_;
  char* const out = s.output_for(s.carry.size());
  internal::convert_lines(s.carry.data(), s.carry.size(), out, s.lines, s.checks());
  s.carry.clear();
  internal::cut_at_end(out, s.lines, s.checks());
  s.findings.input_lines = s.lines.input_lines;
  if (!s.lines.main_found) {
    // Without the marker the whole text is cut: no section went astray.
    s.findings.sections_left_out = 0;
    s.findings.first_section_left_out.clear();
  }
  s.returned = s.lines.w;
  return std::string_view(s.output.data(), s.returned);
}

bool FlightFileConverter::main_found() const { return state_->lines.main_found; }

const LayoutFindings& FlightFileConverter::findings() const { return state_->findings; }

}  // namespace sectify
