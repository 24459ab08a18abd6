#include "output_name.h"

namespace sectify {

std::optional<std::string> output_name_for(std::string_view argument, std::string_view separators) {
  constexpr std::string_view kInputExtension = ".fxml";
  constexpr std::string_view kOutputExtension = ".flt";
  const std::size_t last_separator = argument.find_last_of(separators);
  const std::size_t name_start = last_separator == std::string_view::npos ? 0 : last_separator + 1;
  const std::size_t at = argument.find(kInputExtension, name_start);
  if (at == std::string_view::npos || at == name_start) {
    return std::nullopt;
  }
  std::string output(argument);
  output.replace(at, kInputExtension.size(), kOutputExtension);
  return output;
}

}  // namespace sectify
