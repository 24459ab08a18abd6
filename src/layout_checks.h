// Checks of a converted flight against the layout the conversion expects,
// so that a user hears of an output that is not a faithful conversion. The
// conversion runs them on each line as it becomes final.

#ifndef SECTIFY_LAYOUT_CHECKS_H_
#define SECTIFY_LAYOUT_CHECKS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sectify {

// What the checks found, each kind with its first instance and its count.
// Line numbers count the lines of the output from 1: the empty first line
// is line 1, the "[Main]" line is line 2.
struct LayoutFindings {
  bool utf16 = false;  // the input begins with a UTF-16 byte order mark

  // Section header lines before "[Main]" that the cut dropped, where it
  // found "[Main]".
  std::uint64_t sections_left_out = 0;
  std::string first_section_left_out;  // its name

  // Output lines not in the plain-text form (see in_plain_form).
  std::uint64_t lines_not_in_form = 0;
  std::uint64_t first_line_not_in_form = 0;

  // Output lines that keep a character reference (see first_reference).
  std::uint64_t lines_with_references = 0;
  std::uint64_t first_line_with_reference = 0;
  std::string first_reference;  // the first one on that line
};

// Whether `line`, without its line end, is in the plain-text form: empty; or
// "[" ... "]" holding no "<"; or holding "=", holding no "<" and beginning
// with neither a blank nor a tab.
bool in_plain_form(std::string_view line);

// Returns the first character reference in `line`: "&", one or more ASCII
// letters, digits or "#", then ";". Returns an empty view if there is none.
std::string_view first_reference(std::string_view line);

// Returns the name of the section that `line` opens, if it is one once its
// leading blanks and tabs are left aside: "[" NAME "]".
std::optional<std::string_view> section_header_name(std::string_view line);

// Records output line `number`, `line`, whose form is known: its reference
// is looked for only if it `may_hold_reference`.
void check_output_line(std::string_view line, std::uint64_t number, bool in_form,
                       bool may_hold_reference, LayoutFindings& findings);

// Records `line`, which the cut drops.
void check_dropped_line(std::string_view line, LayoutFindings& findings);

}  // namespace sectify

#endif  // SECTIFY_LAYOUT_CHECKS_H_
