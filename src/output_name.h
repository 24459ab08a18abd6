#ifndef SECTIFY_OUTPUT_NAME_H_
#define SECTIFY_OUTPUT_NAME_H_

#include <optional>
#include <string>
#include <string_view>

namespace sectify {

// Returns the name of the plain-text flight for the XML flight `argument`:
// the argument with the leftmost ".fxml" of its file-name part (what
// follows the last of the `separators`) replaced by ".flt", so that the
// output lies beside the input. Returns nothing if the file-name part
// holds no ".fxml" or begins with it; the folder part is never looked at.
std::optional<std::string> output_name_for(std::string_view argument, std::string_view separators);

}  // namespace sectify

#endif  // SECTIFY_OUTPUT_NAME_H_
