// Conversion of a flight file's XML text into its sectioned plain-text form.
//
// The conversion is textual: twelve literal substitutions applied in a fixed
// order, each until no occurrence of its pattern is left, followed by a cut
// that keeps the text from the line end before the "[Main]" section header
// onward. Every byte that no rule matches passes through unchanged.

#ifndef SECTIFY_CONVERSION_FLIGHT_TEXT_H_
#define SECTIFY_CONVERSION_FLIGHT_TEXT_H_

#include <string>
#include <string_view>

namespace sectify {

// Rewrites `text`, whose line ends are single LF bytes, in place into the
// plain-text flight: applies the twelve rewrite rules in order, each with
// replace_all over the whole text, then drops everything before the first
// "\n[Main]". If there is no such marker the text becomes empty. Runs in
// O(text.size()) time per rule, never allocates and never fails. (Files
// are converted by FlightFileConverter, which streams; this is the
// operation the rules describe, on a text in memory.)
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

}  // namespace sectify

#endif  // SECTIFY_CONVERSION_FLIGHT_TEXT_H_
