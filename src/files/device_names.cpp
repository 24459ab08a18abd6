#include "files/device_names.h"

#include <algorithm>
#include <string>

namespace sectify {
namespace {

// Returns whether `name`, one part of a path, is a device name.
bool is_device_name(std::string_view name) {
  // Windows ignores an extension and the blanks before it.
  name = name.substr(0, name.find('.'));
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  std::string upper(name);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (upper == device) return true;
  }
  if (upper.rfind("COM", 0) != 0 && upper.rfind("LPT", 0) != 0) return false;
  const std::string_view number = std::string_view(upper).substr(3);
  // The digits, and the superscripts one, two and three in UTF-8.
  return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
         number == "\xC2\xB2" || number == "\xC2\xB3";
}

}  // namespace

bool names_windows_device(std::string_view path) {
  constexpr std::string_view kSeparators = "/\\:";
  for (std::size_t begin = 0; begin <= path.size();) {
    const std::size_t end = std::min(path.find_first_of(kSeparators, begin), path.size());
    if (is_device_name(path.substr(begin, end - begin))) return true;
    begin = end + 1;
  }
  return false;
}

}  // namespace sectify
