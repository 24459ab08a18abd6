// What the conversion found where its input departs from the layout it
// expects, so that a user hears of an output that is not a faithful
// conversion.

#ifndef SECTIFY_CONVERSION_LAYOUT_FINDINGS_H_
#define SECTIFY_CONVERSION_LAYOUT_FINDINGS_H_

#include <cstdint>
#include <string>

namespace sectify {

// Each kind of departure with its first instance and its count. Line
// numbers count the lines of the input from 1, as an editor shows them (a
// line ends with LF or CR LF); an output line that closing lines joined
// from several input lines is named by the first that gave it a byte. A
// name or reference longer than 256 bytes is quoted by its first 256 and
// "...".
struct LayoutFindings {
  bool utf16 = false;  // the input begins with a UTF-16 byte order mark

  // What tells why no Main section was found: how many lines the input
  // has, and the first section header line that the cut dropped whose
  // indentation holds a tab (0 if none).
  std::uint64_t input_lines = 0;
  std::uint64_t first_section_indented_with_tabs = 0;

  // Section header lines before "[Main]" that the cut dropped, where it
  // found "[Main]".
  std::uint64_t sections_left_out = 0;
  std::string first_section_left_out;  // its name

  // Output lines not in the plain-text form: neither empty, nor "[" ... "]"
  // without "<", nor a line holding "=" without "<" that begins with
  // neither a blank nor a tab.
  std::uint64_t lines_not_in_form = 0;
  std::uint64_t first_line_not_in_form = 0;

  // Output lines that keep a character reference: "&", ASCII letters,
  // digits or "#", then ";".
  std::uint64_t lines_with_references = 0;
  std::uint64_t first_line_with_reference = 0;
  std::string first_reference;  // the first one on that line

  // Output lines that hold a character beyond ASCII in valid UTF-8, which
  // programs that read .flt files take as Windows-1252.
  std::uint64_t lines_with_utf8 = 0;
  std::uint64_t first_line_with_utf8 = 0;
  std::string first_utf8_character;  // the first one on that line

  // Input lines that hold, after their leading blanks, four or more blanks
  // in a row, which the conversion shortens.
  std::uint64_t lines_with_blank_runs = 0;
  std::uint64_t first_line_with_blank_run = 0;
};

}  // namespace sectify

#endif  // SECTIFY_CONVERSION_LAYOUT_FINDINGS_H_
