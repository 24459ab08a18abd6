// The checks behind LayoutFindings, which the conversion runs on each line
// as it becomes final, and on the first bytes of its input.

#ifndef SECTIFY_CONVERSION_INTERNAL_LAYOUT_CHECKS_H_
#define SECTIFY_CONVERSION_INTERNAL_LAYOUT_CHECKS_H_

#include <cstdint>
#include <optional>
#include <string_view>

#include "conversion/layout_findings.h"

namespace sectify::internal {

// Returns whether `line`, without its line end, is in the plain-text form:
// empty; or "[" ... "]" holding no "<"; or holding "=", holding no "<" and
// beginning with neither a blank nor a tab.
bool in_plain_form(std::string_view line);

// Returns the first character reference in `line`: "&", one or more ASCII
// letters, digits or "#", then ";". Returns an empty view if there is none.
std::string_view first_reference(std::string_view line);

// Returns the first character beyond ASCII in `line` that is valid UTF-8
// (two to four bytes, no overlong form, no surrogate, at most U+10FFFF).
// Returns an empty view if there is none.
std::string_view first_utf8_character(std::string_view line);

// Returns the name of the section that `line` opens, if it is one once its
// leading blanks and tabs are left aside: "[" NAME "]".
std::optional<std::string_view> section_header_name(std::string_view line);

// Returns whether `first_bytes`, the first two bytes of an input, are a
// UTF-16 byte order mark, little- or big-endian.
bool is_utf16_byte_order_mark(std::string_view first_bytes);

// Returns whether `line` holds, after its leading blanks, a run of four or
// more blanks, which rule 1 shortens.
bool cuts_blank_run(std::string_view line);

// Records input line `number`, which holds a blank run that rule 1
// shortens.
void check_blank_run(std::uint64_t number, LayoutFindings& findings);

// Records `line`, an output line that began on input line `number`, whose
// form is known: its reference is looked for only if it
// `may_hold_reference`, and its UTF-8 only if it `may_hold_utf8`.
void check_output_line(std::string_view line, std::uint64_t number, bool in_form,
                       bool may_hold_reference, bool may_hold_utf8, LayoutFindings& findings);

// Records `line`, which began on input line `number` and which the cut
// drops.
void check_dropped_line(std::string_view line, std::uint64_t number, LayoutFindings& findings);

}  // namespace sectify::internal

#endif  // SECTIFY_CONVERSION_INTERNAL_LAYOUT_CHECKS_H_
