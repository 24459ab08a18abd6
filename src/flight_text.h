// Conversion of a flight file's XML text into its sectioned plain-text form.
//
// The conversion is textual: twelve literal substitutions applied in a fixed
// order, each until no occurrence of its pattern is left, followed by a cut
// that keeps the text from the line end before the "[Main]" section header
// onward. Every byte that no rule matches passes through unchanged.

#ifndef SECTIFY_FLIGHT_TEXT_H_
#define SECTIFY_FLIGHT_TEXT_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "layout_checks.h"

namespace sectify {

namespace detail {

// What the conversion carries from one line to the next: where its output
// ends, where the lines that the two closing-line rules may still join
// begin, and whether the Main marker has been found.
struct LineState {
  std::size_t w = 0;
  std::array<std::size_t, 2> pending{};
  bool main_found = false;
  std::uint64_t lines = 0;  // lines of the output made final, once the marker is found
};

}  // namespace detail

// Rewrites `text`, whose line ends are single LF bytes, in place into the
// plain-text flight: applies the twelve rewrite rules in order, then drops
// everything before the first "\n[Main]". If there is no such marker the
// text becomes empty. Never allocates and never fails.
void convert_flight_text(std::string& text);

// Replaces the leftmost occurrence of `pattern` in `text` by `replacement`,
// again and again, each search starting over at the first byte, until
// `text` holds no occurrence of `pattern`. Occurrences that a replacement
// creates together with its neighbours are therefore replaced too.
//
// Requires a non-empty `pattern` and a `replacement` shorter than it, which
// is what makes the process end. Runs in place in O(text.size() *
// pattern.size()) time and never allocates.
void replace_all(std::string& text, std::string_view pattern, std::string_view replacement);

// Converts the bytes of an XML flight file, given in blocks of any size, into
// the bytes of the plain-text flight file: the result of convert_flight_text
// on the file's text with each CR LF read as LF (a lone CR is data), and
// each LF written as CR LF.
//
// Only the unfinished last line of the input and the lines that a closing
// line may still join are kept from one block to the next, so memory stays
// within a few times the block size unless a single line is larger.
//
//   FlightFileConverter converter;
//   while (read a block) write(converter.convert(block));
//   write(converter.finish());
//   report(converter.findings());
class FlightFileConverter {
 public:
  // With `check_layout`, the converter also checks each line against the
  // layout the conversion expects, as it becomes final (see findings()).
  explicit FlightFileConverter(bool check_layout = true) : check_layout_(check_layout) {}

  // Takes the next block of the input. Returns the output that no later
  // input can change, valid until the next call. Throws std::bad_alloc if a
  // line does not fit in memory.
  std::string_view convert(std::string_view block);

  // Ends the input and returns the rest of the output, valid until the
  // object goes. Throws std::bad_alloc as convert does.
  std::string_view finish();

  // Whether the output begins with the Main section. Until finish(), false
  // also means that the marker may still arrive.
  bool main_found() const { return state_.main_found; }

  // What the layout checks found so far; complete after finish().
  const LayoutFindings& findings() const { return findings_; }

 private:
  // Makes room for `input` bytes of input after the output kept so far.
  char* output_for(std::size_t input);

  // Where the layout checks record what they find, if they run.
  LayoutFindings* checks() { return check_layout_ ? &findings_ : nullptr; }

  std::string carry_;   // the input's unfinished last line
  std::string output_;  // the output; [0, returned_) went to the caller
  std::size_t returned_ = 0;
  detail::LineState state_;
  bool check_layout_;
  LayoutFindings findings_;
  std::size_t bytes_seen_ = 0;  // of the input, up to the two of a byte order mark
  std::array<unsigned char, 2> first_bytes_{};
};

}  // namespace sectify

#endif  // SECTIFY_FLIGHT_TEXT_H_
