// Streaming conversion of an XML flight file into a plain-text flight file,
// block by block, with the layout checks on the way.

#ifndef SECTIFY_CONVERSION_FLIGHT_FILE_CONVERTER_H_
#define SECTIFY_CONVERSION_FLIGHT_FILE_CONVERTER_H_

#include <cstddef>
#include <memory>
#include <string_view>

#include "conversion/layout_findings.h"

namespace sectify {

// Converts the bytes of an XML flight file, given in blocks of any size, into
// the bytes of the plain-text flight file: the result of convert_flight_text
// on the file's text with each CR LF read as LF (a lone CR is data), and
// each LF written as CR LF.
//
// Only the unfinished last line of the input and the lines that a closing
// line may still join are kept from one block to the next, so memory stays
// within a few times the block size unless a single line, joined or not,
// is larger: then within about twice that line.
//
//   FlightFileConverter converter;
//   while (read a block) write(converter.convert(block));
//   write(converter.finish());
//   report(converter.findings());
class FlightFileConverter {
 public:
  // With `check_layout`, the converter also checks each line against the
  // layout the conversion expects, as it becomes final (see findings()).
  explicit FlightFileConverter(bool check_layout = true);
  ~FlightFileConverter();

  // The longest line the converter takes, in bytes: a line whose length no
  // flight needs, and which would otherwise take memory until the system
  // has none left.
  static constexpr std::size_t kMaxLineSize = std::size_t{1} << 30;

  // Takes the next block of the input. Returns the output that no later
  // input can change, valid until the next call. Throws std::length_error
  // as soon as a line, with the lines that closing lines join to it, grows
  // longer than kMaxLineSize, std::bad_alloc if a line does not fit in
  // memory.
  std::string_view convert(std::string_view block);

  // Ends the input and returns the rest of the output, valid until the
  // object goes. Throws std::bad_alloc as convert does.
  std::string_view finish();

  // Returns whether the output begins with the Main section. Until
  // finish(), false also means that the marker may still arrive.
  bool main_found() const;

  // Returns what the layout checks found so far; complete after finish().
  const LayoutFindings& findings() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace sectify

#endif  // SECTIFY_CONVERSION_FLIGHT_FILE_CONVERTER_H_
